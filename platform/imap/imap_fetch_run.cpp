// ImapClient's fetching: one message on its own, and fetch runs, the
// messages of a range read by UID, with a lost connection opened again so
// the run goes on with the same messages.
#include "platform/imap/imap_client.h"

#include "platform/imap/imap_client_call.h"
#include "platform/imap/imap_command.h"
#include "platform/imap/imap_fetch_items.h"
#include "platform/imap/imap_internal_date.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QThread>

#include <limits>

namespace tallyhive::platform {
namespace {

constexpr int kReconnectPollMs = 25;

bool isFetchOf(const ImapResponse& response, int number, bool isUid)
{
    if (!isFetch(response))
        return false;
    const auto found = numberOf(isUid ? fetchItem(response, "UID") : &response.data[0]);
    return found && *found == number;
}

}  // namespace

MailReply<ImapClient::RawMessage> ImapClient::fetchRaw(int number, bool isUid)
{
    const QString operation = QStringLiteral("fetchRaw %1").arg(number);
    Call call(*this, operation);
    if (!call.ok())
        return {answer(MailStatus::Failed)};
    if (number < 1) {
        setError(QStringLiteral("%1 failed: message numbers start at 1").arg(operation));
        return {answer(MailStatus::Failed)};
    }

    progress_.lastPercent = -1;
    if (sink_) {
        sink_->percentDone(0);
        progress_.lastPercent = 0;
    }
    const auto pieces = ImapCommandBuilder(nextTag(), isUid ? "UID FETCH" : "FETCH")
                            .atom(QByteArray::number(number))
                            .atom(isUid ? "(UID INTERNALDATE BODY.PEEK[])" : "(INTERNALDATE BODY.PEEK[])")
                            .pieces();
    std::optional<RawMessage> message;
    progress_.reporting = true;
    const auto exchange = run(operation, pieces, [&](ImapResponse&& response) {
        if (!isFetchOf(response, number, isUid))
            return;
        // A server may spread one message's items over several FETCH responses.
        if (const ImapToken* body = fetchItem(response, "BODY[]"); body && body->isString()) {
            if (!message)
                message.emplace();
            message->bytes = body->value;
        }
        if (const ImapToken* date = fetchItem(response, "INTERNALDATE"); date && date->isString()) {
            if (!message)
                message.emplace();
            message->internalDate = parseInternalDate(date->value);
        }
    });
    progress_.reporting = false;
    if (!exchange)
        return {answer(MailStatus::Failed)};
    recordReply(operation, *exchange);
    if (!exchange->ok())
        return {answer(MailStatus::Failed)};
    if (!message || message->bytes.isNull()) {
        setError(QStringLiteral("%1 failed: the server sent no message (%2)").arg(operation, lineText(exchange->tagged.raw)));
        return {answer(MailStatus::Failed)};
    }
    if (sink_)
        sink_->percentDone(100);
    return answer(std::move(*message));
}


MailResult ImapClient::beginFetchRun(int first, int last)
{
    const QString operation = QStringLiteral("beginFetchRun %1 to %2").arg(first).arg(last);
    Call call(*this, operation);
    if (!call.ok())
        return answer(MailStatus::Failed);
    if (selected_.name.isEmpty()) {
        setError(QStringLiteral("%1 failed: no mailbox is selected").arg(operation));
        return answer(MailStatus::Failed);
    }
    std::vector<ImapFetchWindow::Entry> entries;
    // Only numbers the mailbox has are asked about: servers refuse a set that
    // reaches beyond them.
    const qint64 low = qMax(first, 1);
    const qint64 high = qMin(last, selected_.count);
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
            entries.push_back({*number, static_cast<quint32>(*uid), size.value_or(0)});
        }, 0);  // a listing holds no message worth completing after a stop
        if (!exchange)
            return answer(MailStatus::Failed);
        recordReply(operation, *exchange);
        if (!exchange->ok())
            return answer(MailStatus::Failed);
    }
    run_.emplace(first, last, std::move(entries), selected_.uidValidity, options_.window);
    setError(QStringLiteral("%1: the server lists %2 of these messages").arg(operation).arg(run_->listed()));
    return answer(MailStatus::Ok);
}

std::vector<ImapFetchWindow::Entry> ImapClient::runEntries() const
{
    return run_ ? run_->entries() : std::vector<ImapFetchWindow::Entry>();
}

void ImapClient::leaveOutOfRun(const std::vector<qint64>& numbers)
{
    if (run_)
        run_->leaveOut(numbers);
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
    if (run_->inFlight() && connected()) {
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
    if (!run_ || !run_->covers(number))
        return endRun(QStringLiteral("%1 failed: no fetch run covers this number").arg(operation));
    ImapFetchWindow& window = *run_;
    window.forgetBelow(number);
    if (number > window.highestListed())
        return endRun(QStringLiteral("%1 failed: messages %2 to %3 are not in the folder, which holds %4")
                          .arg(operation)
                          .arg(number)
                          .arg(window.last())
                          .arg(window.highestListed()));
    if (!window.entry(number)) {
        ImapFetchWindow::Arrival missing;
        missing.status = MailStatus::MessageBad;
        missing.text = QStringLiteral("%1 failed: the server did not list this message").arg(operation);
        return finishRunMessage(std::move(missing));
    }

    progress_.lastPercent = -1;
    if (sink_) {
        sink_->percentDone(0);
        progress_.lastPercent = 0;
    }
    Watch watch(*this);
    while (true) {
        if (auto arrival = window.takeWhole(number))
            return finishRunMessage(std::move(*arrival));
        if (!connected() || !unusableReason_.isEmpty()) {
            if (runMayNotReconnect() || watch.stopRequested() || !reopen(watch))
                return endRun(lastError_);
            continue;
        }
        // What has come already is filed first: it may change what to ask next.
        if (!reader_.hasResponse())
            requestMore(number, watch);
        if (!pump(operation, watch, number))
            window.lose(number, lastError_);
    }
}

bool ImapClient::runMessageReady(int number)
{
    const QString operation = QStringLiteral("fetch %1").arg(number);
    Call call(*this, operation, Call::Needs::Connection, true);
    if (!call.ok() || !run_ || !run_->covers(number))
        return false;
    Watch watch(*this);
    // What is not read stays with the network, which then slows the server
    // down: the bytes that came count, whatever sizes the server listed.
    const auto roomLeft = [this] {
        const auto literal = reader_.literalInProgress();
        return run_->arrivedBytes() + (literal ? literal->received : 0) < options_.window.bytes;
    };
    while (connected()) {
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
            run_->lose(number, lastError_);
            return false;
        }
    }
    if (connected())
        requestMore(number, watch);
    return run_->arrivedWhole(number);
}

// Keeps the window full: the next messages of the range are asked for before
// the one the caller waits for has come.
void ImapClient::requestMore(qint64 wanted, Watch& watch)
{
    const QByteArray requests = run_->requestMore(wanted, pipelineRefused_, [this] { return nextTag(); });
    if (!requests.isEmpty()) {
        transport_->write(requests);
        watch.activity();
    }
}

// Reads one response and files it; false when the connection was lost.
bool ImapClient::pump(const QString& operation, Watch& watch, qint64 wanted)
{
    ImapFetchWindow& window = *run_;
    if (!window.inFlight() && !reader_.hasResponse())
        return true;
    // Replies come in the order asked, so the literal arriving is the wanted message's.
    progress_.reporting = window.firstInFlight(wanted);
    auto response = awaitResponse(operation, watch, options_.readTimeoutMs);
    progress_.reporting = false;
    if (!response)
        return false;
    switch (response->kind) {
    case ImapResponse::Kind::Continuation:
        return true;
    case ImapResponse::Kind::Tagged:
        switch (window.settle(*response)) {
        case ImapFetchWindow::Settled::Foreign:
            breakConnection(QStringLiteral("%1 failed: reply with a foreign tag: %2").arg(operation, lineText(response->raw)));
            return false;
        case ImapFetchWindow::Settled::PipelineRefused:
            pipelineRefused_ = true;
            break;
        case ImapFetchWindow::Settled::Done:
            break;
        }
        untaggedBytes_ = 0;
        return true;
    case ImapResponse::Kind::Untagged:
        break;
    }
    const ImapToken* body = isFetch(*response) ? fetchItem(*response, "BODY[]") : nullptr;
    const bool carriesBody = body && body->isString();
    const ImapFetchWindow::Request* owner =
        isFetch(*response) ? window.ownerOf(numberOf(fetchItem(*response, "UID")), carriesBody) : nullptr;
    const qint64 exempt = owner && carriesBody ? bodyBytes(*response) : 0;
    if (!countUntagged(operation, response->wireBytes - exempt))
        return false;
    noteUntagged(*response);
    if (!owner) {
        if (carriesBody)
            window.noteStray(lineText(response->raw));
        return true;
    }
    if (carriesBody)
        window.noteBody(*owner, body->value);
    if (const ImapToken* date = fetchItem(*response, "INTERNALDATE"); date && date->isString())
        window.noteInternalDate(owner->number, parseInternalDate(date->value));
    window.noteResponseEnd(*owner);
    return true;
}

// The attempts are the run's, not the message's: reconnects that bring no
// message between them end the run after kReconnectAttempts in a row, so a
// server that drops every fetch costs a few waits, not a few per message.
bool ImapClient::reopen(Watch& watch)
{
    const QString lost = lastError_;
    if (!run_->mayReconnect()) {
        setError(QStringLiteral("%1; %2 reconnects in a row brought no message").arg(lost).arg(kReconnectAttempts));
        return false;
    }
    do {
        const int attempt = run_->reconnectsInRow();
        if (sink_)
            sink_->reconnecting(attempt, kReconnectAttempts);
        QElapsedTimer waited;
        waited.start();
        const qint64 delay = static_cast<qint64>(options_.reconnectDelayMs) << (attempt - 1);
        while (waited.elapsed() < delay) {
            watch.poll();
            if (watch.stopRequested() || disconnectedInCall()) {
                setError(QStringLiteral("%1; %2 while waiting to reconnect").arg(lost, watch.stopRequested() ? QStringLiteral("stopped") : QStringLiteral("disconnected")));
                return false;
            }
            QThread::msleep(static_cast<unsigned long>(qBound<qint64>(1, delay - waited.elapsed(), qint64(kReconnectPollMs))));
        }
        if (openAgain(watch))
            return true;
        if (run_->folderChanged() || runMayNotReconnect() || watch.stopRequested())
            return false;
    } while (run_->mayReconnect());
    setError(QStringLiteral("%1; %2 attempts to reconnect failed, the last with: %3").arg(lost).arg(kReconnectAttempts).arg(lastError_));
    return false;
}

// The same opening as the lost connection's, then a check that the mailbox
// still numbers its messages the same way.
bool ImapClient::openAgain(Watch& watch)
{
    const QString operation = QStringLiteral("reconnect");
    const Activity outer = activity_;
    activity_ = Activity::Reopening;
    const auto restore = qScopeGuard([this, outer] { activity_ = outer; });
    const QString mailbox = selected_.name;
    if (!openConnection(operation, watch))
        return false;
    if (disconnectedInCall()) {
        closeQuietly();
        return false;
    }
    for (const QString& command : opened_.preamble) {
        if (!run(operation, {nextTag() + ' ' + command.toUtf8() + "\r\n"}))
            return false;
    }
    // A copy: signing in sets the member anew.
    const auto signInAgain = opened_.signInAgain;
    if (signInAgain && !signInAgain().ok())
        return false;
    if (!select(mailbox).ok())
        return false;
    if (selected_.uidValidity != run_->uidValidity()) {
        run_->noteFolderChanged();
        breakConnection(QStringLiteral("the folder %1 was renumbered on the server while it was read (UIDVALIDITY %2, now %3)")
                            .arg(mailbox)
                            .arg(run_->uidValidity())
                            .arg(selected_.uidValidity));
        return false;
    }
    return true;
}

ImapClient::RawRunMessage ImapClient::finishRunMessage(ImapFetchWindow::Arrival arrival)
{
    setError(arrival.text + run_->takeStrayNote());
    if (arrival.status != MailStatus::Ok)
        return {arrival.status, {}, lastError_};
    if (sink_)
        sink_->percentDone(100);
    return {MailStatus::Ok, {std::move(arrival.bytes), std::move(arrival.internalDate)}, lastError_};
}

ImapClient::RawRunMessage ImapClient::endRun(const QString& text)
{
    setError(text);
    return {MailStatus::RunEnded, {}, lastError_};
}

}  // namespace tallyhive::platform
