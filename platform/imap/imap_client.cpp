#include "platform/imap/imap_client.h"

#include "app/config.h"
#include "platform/imap/imap_command.h"
#include "platform/imap/imap_internal_date.h"
#include "platform/imap/imap_mailbox_name.h"

#include <QtGlobal>

#include <algorithm>
#include <array>

namespace tallyhive::platform {
namespace {

// Abort polls hand control to the user interface; more often than this costs
// time without making Stop feel any quicker.
constexpr int kPollIntervalMs = 25;
constexpr qint64 kLogoutWaitMs = 1000;

QString lineText(const QByteArray& raw)
{
    QByteArray line = raw;
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return QString::fromUtf8(line);
}

const ImapToken* fetchItem(const ImapResponse& response, QByteArrayView name)
{
    if (response.data.size() < 3 || !response.data[2].isList())
        return nullptr;
    const auto& items = response.data[2].children;
    for (size_t i = 0; i + 1 < items.size(); i += 2) {
        if (items[i].isAtom(name))
            return &items[i + 1];
    }
    return nullptr;
}

bool isFetchOf(const ImapResponse& response, int number, bool isUid)
{
    if (response.kind != ImapResponse::Kind::Untagged || response.data.size() < 3 || !response.data[1].isAtom("FETCH"))
        return false;
    if (!isUid)
        return response.data[0].isAtom(QByteArray::number(number));
    const ImapToken* uid = fetchItem(response, "UID");
    return uid && uid->isAtom(QByteArray::number(number));
}

}  // namespace

// The first poll waits a poll interval: a quick call never hands control to
// the user interface, which would otherwise cost every message a round of events.
ImapClient::Watch::Watch(ImapClient& client) : client_(client)
{
    idle_.start();
    sincePoll_.start();
}

// Polling goes on after a request: each poll also lets the user interface
// breathe while a message that was already flowing is completed.
bool ImapClient::Watch::abortRequested()
{
    if (sincePoll_.elapsed() >= kPollIntervalMs) {
        sincePoll_.restart();
        if (client_.pollAbort() && !aborting_) {
            aborting_ = true;
            idle_.restart();  // the grace runs from the request
        }
    }
    return aborting_;
}

qint64 ImapClient::Watch::idleLimitMs(qint64 normalLimitMs) const
{
    return aborting_ ? qMin<qint64>(kAbortGraceMs, normalLimitMs) : normalLimitMs;
}

ImapClient::ImapClient(std::unique_ptr<ImapTransport> transport) : transport_(std::move(transport)) {}

int ImapClient::connect(const QString& host)
{
    const QString operation = QStringLiteral("connect");
    if (!enter(operation))
        return 0;
    BusyGuard busy(*this);
    closeQuietly();
    reader_ = ImapResponseReader();
    unusableReason_.clear();
    byeText_.clear();
    secrets_.clear();
    tagCounter_ = 0;
    messageCount_ = 0;

    Watch watch(*this);
    const auto keepWaiting = [&watch] { return !watch.abortRequested() || watch.idleMs() < kAbortGraceMs; };
    if (!transport_->open(host, port_, ssl_, kConnectTimeoutMs, keepWaiting)) {
        setError(QStringLiteral("connect to %1 port %2 failed: %3").arg(host).arg(port_).arg(transport_->errorText()));
        transport_->close();
        return 0;
    }
    connected_ = true;
    const auto greeting = awaitResponse(operation, watch, config::readTimeoutMs());
    if (!greeting)
        return 0;
    if (greeting->kind != ImapResponse::Kind::Untagged || !(greeting->isStatus("OK") || greeting->isStatus("PREAUTH"))) {
        breakConnection(QStringLiteral("connect to %1 failed: the server greeted with: %2").arg(host, lineText(greeting->raw)));
        return 0;
    }
    setError(QStringLiteral("connect: %1").arg(lineText(greeting->raw)));
    return 1;
}

QString ImapClient::sendRawCommand(const QString& command)
{
    const QString operation = QStringLiteral("sendRawCommand");
    if (!enter(operation))
        return {};
    BusyGuard busy(*this);
    if (!usable(operation))
        return {};
    if (command.contains(u'\r') || command.contains(u'\n')) {
        setError(QStringLiteral("sendRawCommand refused: the command holds a line break"));
        return {};
    }
    const auto exchange = run(operation, {nextTag() + ' ' + command.toUtf8() + "\r\n"});
    if (!exchange)
        return {};
    recordReply(operation, *exchange);
    if (!exchange->ok())
        return {};
    QByteArray text;
    for (const ImapResponse& response : exchange->untagged)
        text += response.raw;
    return QString::fromUtf8(text + exchange->tagged.raw);
}

int ImapClient::login(const QString& user, const QString& password)
{
    const QString operation = QStringLiteral("login");
    if (!enter(operation))
        return 0;
    BusyGuard busy(*this);
    if (!password.isEmpty()) {
        secrets_ = {password, QString::fromUtf8(ImapCommandBuilder::quoted(password.toUtf8()))};
        // Longest first, so a shorter form never leaves part of a longer one behind.
        std::sort(secrets_.begin(), secrets_.end(), [](const QString& a, const QString& b) { return a.size() > b.size(); });
    }
    if (!usable(operation))
        return 0;
    const auto pieces = ImapCommandBuilder(nextTag(), "LOGIN").string(user.toUtf8()).string(password.toUtf8()).pieces();
    const auto exchange = run(operation, pieces);
    if (!exchange)
        return 0;
    recordReply(operation, *exchange);
    return exchange->ok() ? 1 : 0;
}

int ImapClient::selectMailbox(const QString& mailbox)
{
    const QString operation = QStringLiteral("selectMailbox");
    if (!enter(operation))
        return 0;
    BusyGuard busy(*this);
    messageCount_ = 0;
    if (!usable(operation))
        return 0;
    const auto pieces = ImapCommandBuilder(nextTag(), "SELECT").string(encodeMailboxName(mailbox)).pieces();
    const auto exchange = run(operation, pieces);
    if (!exchange)
        return 0;
    recordReply(operation, *exchange);
    if (!exchange->ok()) {
        messageCount_ = 0;
        return 0;
    }
    return 1;
}

std::optional<QStringList> ImapClient::listMailboxes(const QString& reference, const QString& pattern)
{
    const QString operation = QStringLiteral("listMailboxes");
    if (!enter(operation))
        return std::nullopt;
    BusyGuard busy(*this);
    if (!usable(operation))
        return std::nullopt;
    const auto pieces = ImapCommandBuilder(nextTag(), "LIST")
                            .string(encodeMailboxName(reference))
                            .string(encodeMailboxName(pattern))
                            .pieces();
    const auto exchange = run(operation, pieces);
    if (!exchange)
        return std::nullopt;
    recordReply(operation, *exchange);
    if (!exchange->ok())
        return std::nullopt;
    QStringList names;
    specialUse_.clear();
    for (const ImapResponse& response : exchange->untagged) {
        const auto& data = response.data;
        if (data.size() == 4 && data[0].isAtom("LIST") && data[1].isList() && data[3].isText()) {
            names << decodeMailboxName(data[3].value);
            noteSpecialUse(data[1].children, names.last());
        }
    }
    return names;
}

std::optional<ImapClient::RawMessage> ImapClient::fetchRaw(int number, bool isUid)
{
    const QString operation = QStringLiteral("fetchSingle %1").arg(number);
    if (!enter(operation))
        return std::nullopt;
    BusyGuard busy(*this);
    if (!usable(operation))
        return std::nullopt;
    if (number < 1) {
        setError(QStringLiteral("%1 failed: message numbers start at 1").arg(operation));
        return std::nullopt;
    }

    lastPercent_ = -1;
    if (sink_) {
        sink_->percentDone(0);
        lastPercent_ = 0;
    }
    const auto pieces = ImapCommandBuilder(nextTag(), isUid ? "UID FETCH" : "FETCH")
                            .atom(QByteArray::number(number))
                            .atom(isUid ? "(UID INTERNALDATE BODY.PEEK[])" : "(INTERNALDATE BODY.PEEK[])")
                            .pieces();
    reportingProgress_ = true;
    const auto exchange = run(operation, pieces);
    reportingProgress_ = false;
    if (!exchange)
        return std::nullopt;
    recordReply(operation, *exchange);
    if (!exchange->ok())
        return std::nullopt;

    std::optional<RawMessage> message;
    for (const ImapResponse& response : exchange->untagged) {
        if (!isFetchOf(response, number, isUid))
            continue;
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
    }
    if (!message || message->bytes.isNull()) {
        setError(QStringLiteral("%1 failed: the server sent no message (%2)").arg(operation, lineText(exchange->tagged.raw)));
        return std::nullopt;
    }
    if (sink_)
        sink_->percentDone(100);
    return message;
}

void ImapClient::disconnect()
{
    if (busy_) {
        // Called from inside another call's abort poll: that call finds the
        // connection gone and fails at once.
        transport_->close();
        connected_ = false;
        unusableReason_ = QStringLiteral("disconnected during another call");
        return;
    }
    BusyGuard busy(*this);
    if (connected_ && unusableReason_.isEmpty()) {
        transport_->write(nextTag() + " LOGOUT\r\n");
        Watch watch(*this);
        while (const auto response = awaitResponse(QStringLiteral("disconnect"), watch, kLogoutWaitMs)) {
            if (response->kind == ImapResponse::Kind::Tagged)
                break;
        }
    }
    closeQuietly();
    messageCount_ = 0;
    setError(QStringLiteral("disconnect: connection closed"));
}

std::optional<ImapClient::Exchange> ImapClient::run(const QString& operation, const std::vector<QByteArray>& pieces)
{
    const QByteArray tag = pieces.front().left(pieces.front().indexOf(' '));
    const qint64 idleLimit = config::readTimeoutMs();
    Watch watch(*this);
    Exchange exchange;
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
            noteUntagged(*response);
            exchange.untagged.push_back(std::move(*response));
        }
    }
    return std::nullopt;  // not reached: the last piece ends with the tagged reply
}

std::optional<ImapResponse> ImapClient::awaitResponse(const QString& operation, Watch& watch, qint64 idleLimitMs)
{
    while (true) {
        if (auto response = reader_.next())
            return response;
        if (reader_.failed()) {
            breakConnection(QStringLiteral("%1 failed: unreadable reply: %2").arg(operation, reader_.errorText()));
            return std::nullopt;
        }
        if (reportingProgress_)
            reportFetchProgress();
        watch.abortRequested();
        const qint64 limit = watch.idleLimitMs(idleLimitMs);
        if (watch.idleMs() >= limit) {
            breakConnection(watch.aborting()
                                ? QStringLiteral("%1 abandoned: stop requested and the server sent nothing for %2 ms").arg(operation).arg(limit)
                                : QStringLiteral("%1 failed: no reply from the server for %2 ms").arg(operation).arg(limit));
            return std::nullopt;
        }
        if (!connected_ || !transport_->isOpen()) {
            QString reason = unusableReason_.isEmpty() ? transport_->errorText() : unusableReason_;
            if (!byeText_.isEmpty())
                reason = QStringLiteral("the server said: ") + lineText(byeText_);
            breakConnection(QStringLiteral("%1 failed: connection lost: %2").arg(operation, reason));
            return std::nullopt;
        }
        const QByteArray bytes = transport_->read(static_cast<int>(qMin<qint64>(kPollIntervalMs, limit - watch.idleMs() + 1)));
        if (!bytes.isEmpty()) {
            watch.sawBytes();
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
    const auto& data = response.data;
    if (data.size() != 2 || data[0].type != ImapToken::Type::Atom)
        return;
    bool isNumber = false;
    const int number = data[0].value.toInt(&isNumber);
    if (!isNumber)
        return;
    if (data[1].isAtom("EXISTS"))
        messageCount_ = number;
    else if (data[1].isAtom("EXPUNGE") && messageCount_ > 0)
        --messageCount_;
}

void ImapClient::reportFetchProgress()
{
    const auto progress = reader_.literalInProgress();
    if (!sink_ || !progress || progress->total <= 0)
        return;
    // 100 is kept for the finished message.
    const int percent = static_cast<int>(qMin<qint64>(99, progress->received * 100 / progress->total));
    if (percent > lastPercent_) {
        lastPercent_ = percent;
        sink_->percentDone(percent);
    }
}

bool ImapClient::enter(const QString& operation)
{
    if (!busy_)
        return true;
    setError(QStringLiteral("%1 refused: another call is in progress").arg(operation));
    return false;
}

bool ImapClient::usable(const QString& operation)
{
    if (connected_ && unusableReason_.isEmpty())
        return true;
    if (!unusableReason_.isEmpty())
        setError(QStringLiteral("%1 failed: the connection is unusable (%2); connect again").arg(operation, unusableReason_));
    else
        setError(QStringLiteral("%1 failed: not connected").arg(operation));
    return false;
}

void ImapClient::breakConnection(const QString& text)
{
    setError(text);
    unusableReason_ = lastError_;
    connected_ = false;
    transport_->close();
}

void ImapClient::closeQuietly()
{
    transport_->close();
    connected_ = false;
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

// RFC 6154 roles; the first mailbox that claims one keeps it.
void ImapClient::noteSpecialUse(const std::vector<ImapToken>& attributes, const QString& name)
{
    static const std::array<QByteArrayView, 4> roles{"\\DRAFTS", "\\SENT", "\\JUNK", "\\TRASH"};
    for (const ImapToken& attribute : attributes) {
        for (QByteArrayView role : roles) {
            if (attribute.isAtom(role))
                specialUse_.try_emplace(QString::fromLatin1(role.toByteArray().toLower()), name);
        }
    }
}

QString ImapClient::specialUseMailbox(const QString& role) const
{
    const auto found = specialUse_.find(role.toLower());
    return found == specialUse_.end() ? QString() : found->second;
}

}  // namespace tallyhive::platform
