#include "platform/mailbox/mailbox_fetch_run.h"

namespace tallyhive::platform {

MailboxFetchRun::MailboxFetchRun(ImapClient& client, MessageConverter& converter, int first, std::map<quint32, EmailRecord> stored,
                                 Keep keep)
    : client_(client), converter_(converter), nextAhead_(first), stored_(std::move(stored)), keep_(std::move(keep))
{
}

MailboxFetchRun::~MailboxFetchRun() { converter_.clear(); }

void MailboxFetchRun::end(const QString& reason)
{
    if (!ended())
        endReason_ = reason;
}

FetchedMessage MailboxFetchRun::next(int number)
{
    ahead_.erase(ahead_.begin(), ahead_.lower_bound(number));
    stored_.erase(stored_.begin(), stored_.lower_bound(static_cast<quint32>(number)));
    if (ended())
        return endedAt(number);
    nextAhead_ = qMax(nextAhead_, number + 1);
    if (const auto kept = stored_.find(static_cast<quint32>(number)); kept != stored_.end()) {
        FetchedMessage fetched;
        fetched.status = MailStatus::Ok;
        fetched.value = std::move(kept->second);
        fetched.text = QStringLiteral("fetch %1: kept from an earlier read of the folder").arg(number);
        stored_.erase(kept);
        // Kept records go out far faster than the server answers: asking it
        // after each would cost more than the messages it sends.
        if (!sinceReadAhead_.isValid() || sinceReadAhead_.elapsed() >= kReadAheadBetweenKeptMs) {
            readAhead();
            sinceReadAhead_.start();
        }
        return fetched;
    }
    if (!ahead_.count(number))
        handOver(number, client_.fetchRunRaw(number));
    readAhead();
    // A disconnect handled while the client waited: the run is over.
    if (ended())
        return endedAt(number);
    FetchedMessage fetched;
    static_cast<MailResult&>(fetched) = std::move(ahead_.at(number));
    ahead_.erase(number);
    if (!fetched.ok())
        return fetched;
    ImapNotifications* sink = client_.notifications();
    bool stopped = false;
    auto message = converter_.take(number, [&] {
        // The poll lets the window breathe; a stop or a disconnect ends the wait.
        if (sink)
            sink->abortCheck(stopped);
        return !stopped && !ended();
    });
    if (message) {
        if (keep_)
            keep_(number, *message);
        fetched.value = std::move(*message);
        return fetched;
    }
    if (ended())
        return endedAt(number);
    fetched.status = MailStatus::RunEnded;
    fetched.text = QStringLiteral("fetch %1: stopped while the message was converted").arg(number);
    return fetched;
}

// Whatever has come already goes to the converter before the caller's
// message is waited for, so the second thread works while the caller
// handles it. Messages the server refused count too: one that refuses
// every message as fast as it is asked must not keep the caller, and the
// user's Stop, waiting for the whole folder.
void MailboxFetchRun::readAhead()
{
    const FetchWindowLimits& limits = client_.options().window;
    int handed = 0;
    while (!ended() && handed < limits.convertAhead && converter_.queued() < static_cast<size_t>(limits.convertAhead)
           && converter_.queuedBytes() < limits.convertAheadBytes) {
        if (stored_.count(static_cast<quint32>(nextAhead_))) {
            ++nextAhead_;
            continue;
        }
        if (!client_.runMessageReady(nextAhead_))
            break;
        handOver(nextAhead_, client_.fetchRunRaw(nextAhead_));
        ++nextAhead_;
        ++handed;
    }
}

FetchedMessage MailboxFetchRun::endedAt(int number) const
{
    FetchedMessage fetched;
    fetched.status = MailStatus::RunEnded;
    fetched.text = QStringLiteral("fetch %1 failed: %2").arg(number).arg(endReason_);
    return fetched;
}

void MailboxFetchRun::handOver(int number, ImapClient::RawRunMessage raw)
{
    ahead_[number] = {raw.status, raw.text};
    if (raw.status == MailStatus::Ok)
        converter_.submit(number, std::move(raw.message.bytes), raw.message.internalDate);
}

}  // namespace tallyhive::platform
