#include "platform/imap/imap_client.h"

#include "platform/imap/imap_client_call.h"
#include "platform/imap/imap_command.h"
#include "platform/imap/imap_fetch_items.h"

#include <QThread>
#include <QtGlobal>

#include <algorithm>
#include <array>

namespace tallyhive::platform {

namespace {

// Abort polls hand control to the user interface, which runs its events at
// most every 30 ms; polling a little more often keeps the window's longest
// wait near that, and a poll between two event passes costs next to nothing.
constexpr int kPollIntervalMs = 10;
constexpr qint64 kLogoutWaitMs = 1000;

}  // namespace

// The first poll waits a poll interval: a quick call never hands control to
// the user interface, which would otherwise cost every message a round of events.
ImapClient::Watch::Watch(ImapClient& client, int graceMs) : client_(client), graceMs_(graceMs)
{
    idle_.start();
    sincePoll_.start();
}

// Polling goes on after a request: each poll also lets the user interface
// breathe while a message that was already flowing is completed.
void ImapClient::Watch::poll()
{
    if (sincePoll_.elapsed() < kPollIntervalMs)
        return;
    sincePoll_.restart();
    if (client_.pollAbort() && !stopped_) {
        stopped_ = true;
        sinceStop_.start();
    }
}

ImapClient::ImapClient(std::unique_ptr<ImapTransport> transport, ImapOptions options)
    : transport_(std::move(transport)), options_(std::move(options))
{
}

MailResult ImapClient::connect(const ImapServer& server)
{
    const QString operation = QStringLiteral("connect");
    Call call(*this, operation, Call::Needs::Nothing);
    if (!call.ok())
        return answer(MailStatus::Failed);
    opened_.server = server;
    secrets_.clear();
    opened_.preamble.clear();
    opened_.signInAgain = nullptr;
    pipelineRefused_ = false;
    selected_.name.clear();
    tagCounter_ = 0;
    Watch watch(*this);
    return answer(openConnection(operation, watch) ? MailStatus::Ok : MailStatus::Failed);
}

bool ImapClient::openConnection(const QString& operation, Watch& watch)
{
    closeQuietly();
    // A disconnect during a reconnect must still end the run.
    if (link_ != Link::Disconnected || activity_ != Activity::Reopening)
        link_ = Link::Closed;
    reader_ = ImapResponseReader();
    unusableReason_.clear();
    byeText_.clear();
    selected_.count = 0;
    selected_.uidValidity = 0;

    watch.activity();
    const auto keepWaiting = [this, &watch] {
        watch.poll();
        return !watch.abandonDue() && !disconnectedInCall();
    };
    if (!transport_->open(opened_.server.host, opened_.server.port, options_.connectTimeoutMs, keepWaiting)) {
        setError(QStringLiteral("%1 to %2 port %3 failed: %4").arg(operation, opened_.server.host).arg(opened_.server.port).arg(transport_->errorText()));
        transport_->close();
        return false;
    }
    link_ = link_ == Link::Disconnected ? Link::OpenedAfterDisconnect : Link::Open;
    const auto greeting = awaitResponse(operation, watch, options_.readTimeoutMs);
    if (!greeting)
        return false;
    if (greeting->kind != ImapResponse::Kind::Untagged || !(greeting->isStatus("OK") || greeting->isStatus("PREAUTH"))) {
        breakConnection(QStringLiteral("%1 to %2 failed: the server greeted with: %3").arg(operation, opened_.server.host, lineText(greeting->raw)));
        return false;
    }
    setError(QStringLiteral("%1: %2").arg(operation, lineText(greeting->raw)));
    return true;
}

MailReply<QString> ImapClient::sendRawCommand(const QString& command)
{
    const QString operation = QStringLiteral("sendRawCommand");
    Call call(*this, operation);
    if (!call.ok())
        return {answer(MailStatus::Failed)};
    if (command.contains(u'\r') || command.contains(u'\n')) {
        setError(QStringLiteral("sendRawCommand refused: the command holds a line break"));
        return {answer(MailStatus::Failed)};
    }
    const auto exchange = run(operation, {nextTag() + ' ' + command.toUtf8() + "\r\n"});
    if (!exchange)
        return {answer(MailStatus::Failed)};
    recordReply(operation, *exchange);
    if (link_ != Link::SignedIn && activity_ != Activity::Reopening)
        opened_.preamble.push_back(command);
    // A refusal is an answer too; only no answer at all is a failure.
    QByteArray text;
    for (const ImapResponse& response : exchange->untagged)
        text += response.wire();
    return answer(QString::fromUtf8(text + exchange->tagged.raw));
}

MailResult ImapClient::login(const QString& user, const QString& password)
{
    if (!password.isEmpty()) {
        keepSecret(password);
        keepSecret(QString::fromUtf8(ImapCommandBuilder::quoted(password.toUtf8())));
    }
    Call call(*this, QStringLiteral("login"));
    if (!call.ok())
        return answer(MailStatus::Failed);
    const MailResult status = signIn(user, password);
    if (status.ok() && activity_ != Activity::Reopening)
        opened_.signInAgain = [this, user, password] { return signIn(user, password); };
    return status;
}

// Added to, never replaced: a call that is still running may echo an earlier one.
void ImapClient::keepSecret(const QString& secret)
{
    if (secret.isEmpty() || std::find(secrets_.begin(), secrets_.end(), secret) != secrets_.end())
        return;
    secrets_.push_back(secret);
    // Longest first, so a shorter form never leaves part of a longer one behind.
    std::sort(secrets_.begin(), secrets_.end(), [](const QString& a, const QString& b) { return a.size() > b.size(); });
}

MailResult ImapClient::signIn(const QString& user, const QString& password)
{
    const QString operation = QStringLiteral("login");
    const auto pieces = ImapCommandBuilder(nextTag(), "LOGIN").string(user.toUtf8()).string(password.toUtf8()).pieces();
    const auto exchange = run(operation, pieces);
    if (!exchange)
        return answer(MailStatus::Failed);
    recordReply(operation, *exchange);
    noteSignedIn(exchange->ok());
    return answer(exchange->ok() ? MailStatus::Ok : MailStatus::Failed);
}

void ImapClient::disconnect()
{
    if (activity_ != Activity::Idle) {
        // Called from inside another call's abort poll: that call finds the
        // connection gone and fails at once, and a run does not reconnect.
        transport_->close();
        link_ = Link::Disconnected;
        unusableReason_ = QStringLiteral("disconnected during another call");
        return;
    }
    Call call(*this, QStringLiteral("disconnect"), Call::Needs::Nothing);
    if (connected() && unusableReason_.isEmpty()) {
        transport_->write(nextTag() + " LOGOUT\r\n");
        Watch watch(*this);
        while (const auto response = awaitResponse(QStringLiteral("disconnect"), watch, kLogoutWaitMs)) {
            if (response->kind == ImapResponse::Kind::Tagged)
                break;
        }
    }
    closeQuietly();
    selected_.count = 0;
    setError(QStringLiteral("disconnect: connection closed"));
}

std::optional<ImapClient::Exchange> ImapClient::run(const QString& operation, const std::vector<QByteArray>& pieces,
                                                    const UntaggedSink& sink, int graceMs)
{
    const QByteArray tag = pieces.front().left(pieces.front().indexOf(' '));
    const qint64 idleLimit = options_.readTimeoutMs;
    Watch watch(*this, graceMs);
    Exchange exchange;
    bool bodyExempted = false;
    untaggedBytes_ = 0;
    for (size_t i = 0; i < pieces.size(); ++i) {
        transport_->write(pieces[i]);
        const bool literalFollows = i + 1 < pieces.size();
        while (true) {
            auto response = awaitResponse(operation, watch, idleLimit);
            if (!response)
                return std::nullopt;
            if (response->kind == ImapResponse::Kind::Continuation) {
                if (literalFollows)
                    break;
                continue;  // nothing of ours is waiting for it
            }
            if (response->kind == ImapResponse::Kind::Tagged) {
                if (response->tag != tag) {
                    breakConnection(QStringLiteral("%1 failed: reply with a foreign tag: %2").arg(operation, lineText(response->raw)));
                    return std::nullopt;
                }
                exchange.tagged = std::move(*response);
                return exchange;  // also when the server refused a literal
            }
            qint64 exempt = 0;
            if (!bodyExempted) {
                exempt = bodyBytes(*response);
                bodyExempted = exempt > 0;
            }
            if (!countUntagged(operation, response->wireBytes - exempt))
                return std::nullopt;
            noteUntagged(*response);
            if (sink)
                sink(std::move(*response));
            else
                exchange.untagged.push_back(std::move(*response));
        }
    }
    return std::nullopt;  // not reached: the last piece ends with the tagged reply
}

// A server that keeps sending untagged data without ever finishing the
// command would otherwise fill memory or hold the call for ever; the message
// a fetch asked for does not count.
bool ImapClient::countUntagged(const QString& operation, qint64 bytes)
{
    untaggedBytes_ += bytes;
    if (untaggedBytes_ <= kMaxUntaggedBytes)
        return true;
    breakConnection(QStringLiteral("%1 failed: the server sent more than %2 bytes of other data without finishing the command")
                        .arg(operation)
                        .arg(kMaxUntaggedBytes));
    return false;
}

std::optional<ImapResponse> ImapClient::awaitResponse(const QString& operation, Watch& watch, qint64 idleLimitMs)
{
    while (true) {
        if (auto response = reader_.next()) {
            // A reply of thousands of lines is read without waiting: the
            // window still gets its passes.
            watch.poll();
            return response;
        }
        if (reader_.failed()) {
            breakConnection(QStringLiteral("%1 failed: unreadable reply: %2").arg(operation, reader_.errorText()));
            return std::nullopt;
        }
        if (progress_.reporting)
            reportFetchProgress();
        watch.poll();
        if (watch.abandonDue()) {
            breakConnection(QStringLiteral("%1 abandoned: stop requested and the reply still unfinished after %2 ms")
                                .arg(operation)
                                .arg(watch.graceMs()));
            if (link_ == Link::Closed)
                link_ = Link::Abandoned;
            return std::nullopt;
        }
        if (watch.idleMs() >= idleLimitMs) {
            breakConnection(QStringLiteral("%1 failed: no reply from the server for %2 ms").arg(operation).arg(idleLimitMs));
            return std::nullopt;
        }
        if (!connected() || !transport_->isOpen()) {
            QString reason = unusableReason_.isEmpty() ? transport_->errorText() : unusableReason_;
            if (!byeText_.isEmpty())
                reason = QStringLiteral("the server said: ") + lineText(byeText_);
            breakConnection(QStringLiteral("%1 failed: connection lost: %2").arg(operation, reason));
            return std::nullopt;
        }
        const qint64 wait = qMin<qint64>(kPollIntervalMs, idleLimitMs - watch.idleMs() + 1);
        const QByteArray bytes = transport_->read(static_cast<int>(qMax<qint64>(wait, 1)));
        if (!bytes.isEmpty()) {
            watch.activity();
            reader_.feed(bytes);
        }
    }
}

void ImapClient::noteUntagged(const ImapResponse& response)
{
    if (response.isStatus("BYE")) {
        byeText_ = response.raw;
        return;
    }
    if (response.isStatus("OK") && response.text.startsWith("[UIDVALIDITY ")) {
        const QByteArray value = response.text.mid(13, response.text.indexOf(']') - 13);
        selected_.uidValidity = value.toUInt();
        return;
    }
    const auto& data = response.data;
    if (data.size() != 2 || data[0].type != ImapToken::Type::Atom)
        return;
    bool isNumber = false;
    const int number = data[0].value.toInt(&isNumber);
    if (!isNumber)
        return;
    if (data[1].isAtom("EXISTS"))
        selected_.count = number;
    else if (data[1].isAtom("EXPUNGE") && selected_.count > 0)
        --selected_.count;
}

void ImapClient::reportFetchProgress()
{
    const auto progress = reader_.literalInProgress();
    if (!sink_ || !progress || progress->total <= 0)
        return;
    // 100 is kept for the finished message.
    const int percent = static_cast<int>(qMin<qint64>(99, progress->received * 100 / progress->total));
    if (percent > progress_.lastPercent) {
        progress_.lastPercent = percent;
        sink_->percentDone(percent);
    }
}

void ImapClient::breakConnection(const QString& text)
{
    setError(text);
    unusableReason_ = lastError_;
    noteClosed();
    transport_->close();
}

void ImapClient::closeQuietly()
{
    transport_->close();
    noteClosed();
}

// Whatever stops a run from reconnecting outlives the connection.
void ImapClient::noteClosed()
{
    if (link_ == Link::Open || link_ == Link::SignedIn)
        link_ = Link::Closed;
    else if (link_ == Link::OpenedAfterDisconnect)
        link_ = Link::Disconnected;
}

// Only an open connection can be signed in; a lost one opens again unsigned.
void ImapClient::noteSignedIn(bool signedIn)
{
    if (link_ == Link::Open || link_ == Link::SignedIn)
        link_ = signedIn ? Link::SignedIn : Link::Open;
}

void ImapClient::recordReply(const QString& operation, const Exchange& exchange)
{
    const QString reply = lineText(exchange.tagged.raw);
    setError(exchange.ok() ? QStringLiteral("%1: %2").arg(operation, reply) : QStringLiteral("%1 failed: %2").arg(operation, reply));
}

void ImapClient::setError(const QString& text)
{
    QString safe = text;
    for (const QString& secret : secrets_)
        safe.replace(secret, QStringLiteral("********"));
    lastError_ = safe;
}

QByteArray ImapClient::nextTag() { return 'A' + QByteArray::number(++tagCounter_); }

bool ImapClient::pollAbort()
{
    bool abort = false;
    if (sink_)
        sink_->abortCheck(abort);
    return abort;
}

}  // namespace tallyhive::platform
