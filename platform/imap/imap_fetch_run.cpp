// ImapClient's fetch runs: the messages of a range read by UID, and a lost
// connection opened again so the run goes on with the same messages.
#include "platform/imap/imap_client.h"

#include "platform/imap/imap_client_call.h"
#include "platform/imap/imap_command.h"
#include "platform/imap/imap_fetch_items.h"
#include "platform/imap/imap_internal_date.h"

#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <limits>

namespace tallyhive::platform {
namespace {

constexpr int kReconnectPollMs = 25;
constexpr qint64 kUnderstatementSlack = 64 * 1024;

// Scoped: true while a lost connection is opened again.
class Flag {
public:
    explicit Flag(bool& flag) : flag_(flag), was_(flag) { flag_ = true; }
    ~Flag() { flag_ = was_; }
    Flag(const Flag&) = delete;
    Flag& operator=(const Flag&) = delete;

private:
    bool& flag_;
    bool was_;
};

}  // namespace

int ImapClient::beginFetchRun(int first, int last)
{
    const QString operation = QStringLiteral("beginFetchRun %1 to %2").arg(first).arg(last);
    Call call(*this, operation);
    if (!call.ok())
        return 0;
    if (mailbox_.isEmpty()) {
        setError(QStringLiteral("%1 failed: no mailbox is selected").arg(operation));
        return 0;
    }
    FetchRun fetchRun;
    fetchRun.first = first;
    fetchRun.last = last;
    fetchRun.nextRequest = first;
    fetchRun.uidValidity = uidValidity_;
    fetchRun.depth = options_.window.requests;
    // Only numbers the mailbox has are asked about: servers refuse a set that
    // reaches beyond them.
    const qint64 low = qMax(first, 1);
    const qint64 high = qMin(last, messageCount_);
    if (low <= high) {
        const auto pieces = ImapCommandBuilder(nextTag(), "FETCH")
                                .atom(QByteArray::number(low) + ':' + QByteArray::number(high))
                                .atom("(UID RFC822.SIZE)")
                                .pieces();
        const auto exchange = run(operation, pieces, [&](ImapResponse&& response) {
            if (!isFetch(response))
                return;
            const auto number = numberOf(&response.data[0]);
            const auto uid = numberOf(fetchItem(response, "UID"));
            if (!number || !uid || *number < low || *number > high || *uid == 0 || *uid > std::numeric_limits<quint32>::max())
                return;
            const auto size = numberOf(fetchItem(response, "RFC822.SIZE"));
            fetchRun.entries.push_back({*number, static_cast<quint32>(*uid), size.value_or(0)});
        }, 0);  // a listing holds no message worth completing after a stop
        if (!exchange)
            return 0;
        recordReply(operation, *exchange);
        if (!exchange->ok())
            return 0;
    }
    auto& entries = fetchRun.entries;
    std::stable_sort(entries.begin(), entries.end(), [](const RunEntry& a, const RunEntry& b) { return a.number < b.number; });
    entries.erase(std::unique(entries.begin(), entries.end(), [](const RunEntry& a, const RunEntry& b) { return a.number == b.number; }),
                  entries.end());
    fetchRun.highestListed = entries.empty() ? first - 1 : entries.back().number;
    setError(QStringLiteral("%1: the server lists %2 of these messages").arg(operation).arg(entries.size()));
    run_ = std::move(fetchRun);
    return 1;
}

void ImapClient::endFetchRun()
{
    Call call(*this, QStringLiteral("endFetchRun"), Call::Needs::Nothing, true);
    if (call.ok())
        dropRun();
}

void ImapClient::dropRun()
{
    if (!run_)
        return;
    if (!run_->outstanding.empty() && connected_) {
        // Waiting for their replies could take a while; closing costs nothing.
        closeQuietly();
        unusableReason_ = QStringLiteral("a fetch run ended with requests outstanding");
    }
    run_.reset();
}

ImapClient::RawRunMessage ImapClient::fetchRunRaw(int number)
{
    const QString operation = QStringLiteral("fetch %1").arg(number);
    Call call(*this, operation, Call::Needs::Nothing, true);
    if (!call.ok())
        return endRun(lastError_);
    if (!run_ || number < run_->first || number > run_->last)
        return endRun(QStringLiteral("%1 failed: no fetch run covers this number").arg(operation));
    FetchRun& fetchRun = *run_;
    // Numbers below this one are never asked for again.
    fetchRun.arrived.erase(fetchRun.arrived.begin(), fetchRun.arrived.lower_bound(number));
    if (number > fetchRun.highestListed)
        return endRun(QStringLiteral("%1 failed: messages %2 to %3 are not in the folder, which holds %4")
                          .arg(operation)
                          .arg(number)
                          .arg(fetchRun.last)
                          .arg(fetchRun.highestListed));
    if (!runEntry(number)) {
        Arrival missing;
        missing.status = FetchStatus::Skipped;
        missing.text = QStringLiteral("%1 failed: the server did not list this message").arg(operation);
        return finishRunMessage(std::move(missing));
    }

    lastPercent_ = -1;
    if (sink_) {
        sink_->percentDone(0);
        lastPercent_ = 0;
    }
    Watch watch(*this);
    while (true) {
        if (auto found = fetchRun.arrived.find(number); found != fetchRun.arrived.end() && found->second.complete) {
            Arrival arrival = std::move(found->second);
            fetchRun.arrived.erase(found);
            return finishRunMessage(std::move(arrival));
        }
        if (!connected_ || !unusableReason_.isEmpty()) {
            if (abandoned_ || disconnectedInCall_ || watch.stopRequested() || !reopen(watch))
                return endRun(lastError_);
            continue;
        }
        // What has come already is filed first: it may change what to ask next.
        if (!reader_.hasResponse())
            requestMore(number, watch);
        if (!pump(operation, watch, number))
            loseRun(number);
    }
}

bool ImapClient::runMessageReady(int number)
{
    const QString operation = QStringLiteral("fetch %1").arg(number);
    Call call(*this, operation, Call::Needs::Connection, true);
    if (!call.ok() || !run_ || number < run_->first || number > run_->last)
        return false;
    Watch watch(*this);
    // What is not read stays with the network, which then slows the server
    // down: the bytes that came count, whatever sizes the server listed.
    const auto roomLeft = [this] {
        const auto literal = reader_.literalInProgress();
        return arrivedBytes() + (literal ? literal->received : 0) < options_.window.bytes;
    };
    while (connected_) {
        if (!reader_.hasResponse()) {
            if (!roomLeft())
                break;
            const QByteArray bytes = transport_->read(0);
            if (bytes.isEmpty())
                break;
            watch.activity();
            reader_.feed(bytes);
            continue;
        }
        if (!pump(operation, watch, number)) {
            loseRun(number);
            return false;
        }
    }
    if (connected_)
        requestMore(number, watch);
    const auto found = run_->arrived.find(number);
    return found != run_->arrived.end() && found->second.complete;
}

const ImapClient::RunEntry* ImapClient::runEntry(qint64 number) const
{
    const auto& entries = run_->entries;
    const auto found = std::lower_bound(entries.begin(), entries.end(), number,
                                        [](const RunEntry& entry, qint64 n) { return entry.number < n; });
    return found != entries.end() && found->number == number ? &*found : nullptr;
}

qint64 ImapClient::lowestIncomplete(qint64 from) const
{
    qint64 n = from;
    while (n <= run_->highestListed) {
        const auto found = run_->arrived.find(n);
        if (runEntry(n) && (found == run_->arrived.end() || !found->second.complete))
            break;
        ++n;
    }
    return n;
}

bool ImapClient::isOutstanding(qint64 number) const
{
    return std::any_of(run_->outstanding.begin(), run_->outstanding.end(), [number](const Request& r) { return r.number == number; });
}

qint64 ImapClient::heldBytes() const
{
    qint64 held = arrivedBytes();
    for (const Request& request : run_->outstanding)
        held += run_->sizesUnderstated ? qMax(request.size, run_->largestBody) : request.size;
    return held;
}

qint64 ImapClient::arrivedBytes() const
{
    qint64 held = 0;
    for (const auto& [number, arrival] : run_->arrived)
        held += arrival.message.bytes.size();
    return held;
}

// Keeps the window full: the next messages of the range are asked for before
// the one the caller waits for has come. The window holds what was asked for
// and not yet delivered, up to the depth in messages and the bytes allowed.
void ImapClient::requestMore(qint64 wanted, Watch& watch)
{
    FetchRun& fetchRun = *run_;
    fetchRun.nextRequest = qMax(fetchRun.nextRequest, wanted);
    const size_t depth = pipelineRefused_ ? 1 : static_cast<size_t>(fetchRun.depth);
    qint64 held = heldBytes();
    QByteArray requests;
    const auto inWindow = [&fetchRun] { return fetchRun.outstanding.size() + fetchRun.arrived.size(); };
    // Whatever the window holds, the message awaited is always asked for.
    const bool starved = fetchRun.outstanding.empty() && !fetchRun.arrived.count(wanted);
    while ((inWindow() < depth || (starved && fetchRun.outstanding.empty())) && fetchRun.nextRequest <= fetchRun.highestListed) {
        const qint64 number = fetchRun.nextRequest;
        const RunEntry* entry = runEntry(number);
        if (!entry || fetchRun.arrived.count(number) || isOutstanding(number)) {
            ++fetchRun.nextRequest;  // unlisted numbers are skipped when asked for; the others are on their way or here
            continue;
        }
        const qint64 size = fetchRun.sizesUnderstated ? qMax(entry->size, fetchRun.largestBody) : entry->size;
        if (!fetchRun.outstanding.empty() && held + size > options_.window.bytes)
            break;
        ++fetchRun.nextRequest;
        Request request{nextTag(), number, entry->uid, entry->size, !fetchRun.outstanding.empty()};
        requests += request.tag + " UID FETCH " + QByteArray::number(entry->uid) + " (UID INTERNALDATE BODY.PEEK[])\r\n";
        held += size;
        fetchRun.outstanding.push_back(std::move(request));
    }
    if (!requests.isEmpty()) {
        transport_->write(requests);
        watch.activity();
    }
}

// Reads one response and files it; false when the connection was lost.
bool ImapClient::pump(const QString& operation, Watch& watch, qint64 wanted)
{
    FetchRun& fetchRun = *run_;
    if (fetchRun.outstanding.empty() && !reader_.hasResponse())
        return true;
    // Replies come in the order asked, so the literal arriving is the wanted message's.
    reportingProgress_ = !fetchRun.outstanding.empty() && fetchRun.outstanding.front().number == wanted;
    auto response = awaitResponse(operation, watch, options_.readTimeoutMs);
    reportingProgress_ = false;
    if (!response)
        return false;
    switch (response->kind) {
    case ImapResponse::Kind::Continuation:
        return true;
    case ImapResponse::Kind::Tagged: {
        const auto request = std::find_if(fetchRun.outstanding.begin(), fetchRun.outstanding.end(),
                                          [&](const Request& r) { return r.tag == response->tag; });
        if (request == fetchRun.outstanding.end()) {
            breakConnection(QStringLiteral("%1 failed: reply with a foreign tag: %2").arg(operation, lineText(response->raw)));
            return false;
        }
        settle(*request, *response);
        fetchRun.outstanding.erase(request);
        untaggedBytes_ = 0;
        return true;
    }
    case ImapResponse::Kind::Untagged:
        break;
    }
    const Request* owner = nullptr;
    if (isFetch(*response)) {
        const auto uid = numberOf(fetchItem(*response, "UID"));
        for (const Request& request : fetchRun.outstanding) {
            if (uid ? request.uid == *uid : fetchRun.outstanding.size() == 1)
                owner = &request;
        }
    }
    qint64 exempt = 0;
    if (owner && !fetchRun.arrived[owner->number].bodySeen)
        exempt = bodyBytes(*response);
    if (!countUntagged(operation, response->wireBytes - exempt))
        return false;
    noteUntagged(*response);
    if (!owner)
        return true;
    Arrival& arrival = fetchRun.arrived[owner->number];
    if (const ImapToken* body = fetchItem(*response, "BODY[]"); body && body->isString()) {
        arrival.message.bytes = body->value;
        arrival.bodySeen = true;
        const qint64 size = arrival.message.bytes.size();
        fetchRun.largestBody = qMax(fetchRun.largestBody, size);
        // Servers round their sizes a little; a body many times its size is no rounding.
        if (size > 2 * owner->size + kUnderstatementSlack)
            fetchRun.sizesUnderstated = true;
    }
    if (const ImapToken* date = fetchItem(*response, "INTERNALDATE"); date && date->isString())
        arrival.message.internalDate = parseInternalDate(date->value);
    return true;
}

void ImapClient::settle(const Request& request, const ImapResponse& tagged)
{
    if (tagged.isStatus("BAD") && request.pipelined) {
        // This server takes one command at a time: ask again, alone.
        pipelineRefused_ = true;
        run_->arrived.erase(request.number);
        run_->nextRequest = qMin(run_->nextRequest, request.number);
        return;
    }
    Arrival& arrival = run_->arrived[request.number];
    arrival.complete = true;
    const QString operation = QStringLiteral("fetch %1").arg(request.number);
    const QString reply = lineText(tagged.raw);
    if (tagged.isStatus("OK") && arrival.bodySeen) {
        arrival.status = FetchStatus::Fetched;
        run_->reconnectsInRow = 0;
        arrival.text = QStringLiteral("%1: %2").arg(operation, reply);
        return;
    }
    // Refused, or gone from the folder since the run began: this message only.
    arrival.status = FetchStatus::Skipped;
    arrival.message = {};
    arrival.text = tagged.isStatus("OK")
        ? QStringLiteral("%1 failed: the server sent no message (%2)").arg(operation, reply)
        : QStringLiteral("%1 failed: %2").arg(operation, reply);
}

// The connection is gone: whatever was outstanding is asked for again, and a
// message that keeps losing the connection is given up.
void ImapClient::loseRun(qint64 wanted)
{
    FetchRun& fetchRun = *run_;
    fetchRun.outstanding.clear();
    for (auto it = fetchRun.arrived.begin(); it != fetchRun.arrived.end();)
        it = it->second.complete ? std::next(it) : fetchRun.arrived.erase(it);
    const qint64 culprit = lowestIncomplete(wanted);
    fetchRun.nextRequest = culprit;
    if (culprit > fetchRun.highestListed || ++fetchRun.losses[culprit] < kLossesPerMessage)
        return;
    Arrival given;
    given.complete = true;
    given.status = FetchStatus::Skipped;
    given.text = QStringLiteral("fetch %1 failed: the connection was lost %2 times while reading it (%3)")
                     .arg(culprit)
                     .arg(kLossesPerMessage)
                     .arg(lastError_);
    fetchRun.arrived[culprit] = std::move(given);
}

// The attempts are the run's, not the message's: reconnects that bring no
// message between them end the run after kReconnectAttempts in a row, so a
// server that drops every fetch costs a few waits, not a few per message.
bool ImapClient::reopen(Watch& watch)
{
    const QString lost = lastError_;
    if (run_->reconnectsInRow >= kReconnectAttempts) {
        setError(QStringLiteral("%1; %2 reconnects in a row brought no message").arg(lost).arg(kReconnectAttempts));
        return false;
    }
    while (run_->reconnectsInRow < kReconnectAttempts) {
        const int attempt = ++run_->reconnectsInRow;
        if (sink_)
            sink_->reconnecting(attempt, kReconnectAttempts);
        QElapsedTimer waited;
        waited.start();
        const qint64 delay = static_cast<qint64>(options_.reconnectDelayMs) << (attempt - 1);
        while (waited.elapsed() < delay) {
            watch.poll();
            if (watch.stopRequested() || disconnectedInCall_) {
                setError(QStringLiteral("%1; %2 while waiting to reconnect").arg(lost, watch.stopRequested() ? QStringLiteral("stopped") : QStringLiteral("disconnected")));
                return false;
            }
            QThread::msleep(static_cast<unsigned long>(qBound<qint64>(1, delay - waited.elapsed(), qint64(kReconnectPollMs))));
        }
        if (openAgain(watch))
            return true;
        if (run_->folderChanged || abandoned_ || watch.stopRequested() || disconnectedInCall_)
            return false;
    }
    setError(QStringLiteral("%1; %2 attempts to reconnect failed, the last with: %3").arg(lost).arg(kReconnectAttempts).arg(lastError_));
    return false;
}

// The same opening as the lost connection's, then a check that the mailbox
// still numbers its messages the same way.
bool ImapClient::openAgain(Watch& watch)
{
    const QString operation = QStringLiteral("reconnect");
    Flag reopening(reopening_);
    const QString mailbox = mailbox_;
    if (!openConnection(operation, watch))
        return false;
    if (disconnectedInCall_) {
        closeQuietly();
        return false;
    }
    for (const QString& command : preamble_) {
        if (!run(operation, {nextTag() + ' ' + command.toUtf8() + "\r\n"}))
            return false;
    }
    // A copy: signing in sets the member anew.
    const auto signInAgain = signInAgain_;
    if (signInAgain && signInAgain() != 1)
        return false;
    if (select(mailbox) != 1)
        return false;
    if (uidValidity_ != run_->uidValidity) {
        run_->folderChanged = true;
        breakConnection(QStringLiteral("the folder %1 was renumbered on the server while it was read (UIDVALIDITY %2, now %3)")
                            .arg(mailbox)
                            .arg(run_->uidValidity)
                            .arg(uidValidity_));
        return false;
    }
    return true;
}

ImapClient::RawRunMessage ImapClient::finishRunMessage(Arrival arrival)
{
    setError(arrival.text);
    if (arrival.status != FetchStatus::Fetched)
        return {arrival.status, {}, lastError_};
    if (sink_)
        sink_->percentDone(100);
    return {FetchStatus::Fetched, std::move(arrival.message), lastError_};
}

ImapClient::RawRunMessage ImapClient::endRun(const QString& text)
{
    setError(text);
    return {FetchStatus::Ended, {}, lastError_};
}

}  // namespace tallyhive::platform
