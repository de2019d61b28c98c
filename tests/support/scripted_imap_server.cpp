#include "scripted_imap_server.h"

#include "interfaces/error.h"
#include "platform/imap/imap_command.h"
#include "platform/imap/imap_internal_date.h"
#include "platform/imap/imap_mailbox_name.h"
#include "platform/imap/imap_token.h"
#include "support/server_thread.h"

#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QProcess>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <deque>
#include <functional>
#include <set>

namespace tallyhive::testing {

using platform::ImapCommandBuilder;
using platform::ImapToken;

namespace {

struct CertificateFiles {
    QString certificate;
    QString key;
};

// One certificate per host name for the whole test run: making keys is slow.
CertificateFiles certificateFor(const QString& host)
{
    static QTemporaryDir directory;
    static std::map<QString, CertificateFiles> made;
    static QMutex guard;
    QMutexLocker lock(&guard);
    if (auto found = made.find(host); found != made.end())
        return found->second;

    const QString base = directory.filePath(QString::number(made.size()));
    CertificateFiles files{base + QStringLiteral("-cert.pem"), base + QStringLiteral("-key.pem")};
    QString names = QStringLiteral("subjectAltName=DNS:") + host;
    if (host == u"localhost")
        names += QStringLiteral(",IP:127.0.0.1");
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("rsa:2048"),
                   QStringLiteral("-nodes"), QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                   QStringLiteral("/CN=") + host, QStringLiteral("-addext"), names, QStringLiteral("-keyout"), files.key,
                   QStringLiteral("-out"), files.certificate});
    if (!openssl.waitForFinished(60000) || openssl.exitCode() != 0)
        throw AppError(QStringLiteral("openssl could not make a test certificate: ")
                       + QString::fromLocal8Bit(openssl.readAllStandardError()));
    made[host] = files;
    return files;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw AppError(QStringLiteral("cannot read ") + path);
    return file.readAll();
}

}  // namespace

struct ScriptedImapServer::State {
    struct Message {
        quint32 uid = 0;
        QByteArray bytes;
        qint64 generatedSize = 0;  // when not 0, the bytes are made while they are sent
        qint64 size() const { return generatedSize > 0 ? generatedSize : bytes.size(); }
    };

    Script script;
    CertificateFiles certificate;
    QThread thread;
    int port = 0;
    mutable QMutex guard;
    QStringList commands;
    std::map<QString, std::set<int>> seen;
    int connections = 0;
    std::atomic<bool> calm{false};
    // The mailboxes as they are now; touched only on the server thread.
    std::map<QString, std::vector<Message>> mailboxes;
    bool expunged = false;

    void record(const QString& command)
    {
        QMutexLocker lock(&guard);
        commands << command;
    }
    void markSeen(const QString& mailbox, int number)
    {
        QMutexLocker lock(&guard);
        seen[mailbox].insert(number);
    }
    int connectionNumber()
    {
        QMutexLocker lock(&guard);
        return ++connections;
    }
};

namespace {

// A generated message: its head, a line repeated to fill it, and its end.
struct GeneratedShape {
    QByteArray head;
    QByteArray line;
    QByteArray tail;
};

GeneratedShape generatedShape(bool attachment, bool emptyLines)
{
    const QByteArray headers = "From: Big Sender <big@example.org>\r\nTo: tester@example.org\r\nSubject: Big one\r\n"
                               "Date: Tue, 19 Mar 2024 10:00:00 +0000\r\nMIME-Version: 1.0\r\n";
    if (!attachment)
        return {headers + "Content-Type: text/plain; charset=us-ascii\r\n\r\n",
                emptyLines ? QByteArray(64, '\n') : "The quick brown fox jumps over the lazy dog, again and again..\r\n", "\r\n"};
    return {headers + "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\n"
                      "Content-Type: text/plain; charset=us-ascii\r\n\r\nSee the attachment.\r\n--b\r\n"
                      "Content-Type: application/octet-stream\r\nContent-Transfer-Encoding: base64\r\n"
                      "Content-Disposition: attachment; filename=\"big.bin\"\r\n\r\n",
            QByteArray("QUJD").repeated(19) + "\r\n", "\r\n--b--\r\n"};
}

// Bytes [offset, offset + length) of a generated message `total` bytes long.
QByteArray generatedPiece(bool attachment, bool emptyLines, qint64 total, qint64 offset, qint64 length)
{
    const GeneratedShape shape = generatedShape(attachment, emptyLines);
    const qint64 tailStart = total - shape.tail.size();
    QByteArray piece;
    piece.reserve(static_cast<qsizetype>(length));
    while (length > 0) {
        qint64 taken = 0;
        if (offset < shape.head.size()) {
            taken = qMin<qint64>(length, shape.head.size() - offset);
            piece += shape.head.mid(offset, taken);
        } else if (offset >= tailStart) {
            taken = length;
            piece += shape.tail.mid(offset - tailStart, taken);
        } else {
            const qint64 at = (offset - shape.head.size()) % shape.line.size();
            taken = std::min<qint64>({length, shape.line.size() - at, tailStart - offset});
            piece += shape.line.mid(at, taken);
        }
        offset += taken;
        length -= taken;
    }
    return piece;
}

constexpr qint64 kStreamPiece = 256 * 1024;
constexpr qint64 kHighWater = 2 * 1024 * 1024;

// One client connection, living on the server thread.
class Connection {
public:
    Connection(ScriptedImapServer::State& state, QSslSocket* socket) : state_(state), socket_(socket)
    {
        number_ = state.connectionNumber();
        QObject::connect(socket_, &QSslSocket::encrypted, socket_, [this] { send(state_.script.greeting + "\r\n"); });
        QObject::connect(socket_, &QSslSocket::readyRead, socket_, [this] { onData(); });
        QObject::connect(socket_, &QSslSocket::encryptedBytesWritten, socket_, [this](qint64) {
            if (streaming_ && !pieceTimer_)
                pump();
        });
    }
    ~Connection()
    {
        socket_->disconnect();
        delete socket_;
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

private:
    struct Command {
        QByteArray bytes;
        bool pipelined = false;  // it came before the reply to an earlier command was complete
        int leftOfSet = -1;      // one UID of a UID FETCH of several: those after it; -1: a command as sent
    };

    // The tagged line ends the command: only the last UID of a set sends it.
    QByteArray tagged(const QByteArray& line) const { return leftOfSet_ > 0 ? QByteArray() : line; }

    void send(const QByteArray& bytes) { socket_->write(bytes); }
    bool open() const { return socket_->state() == QAbstractSocket::ConnectedState; }

    // Cuts the input into commands as it arrives, then answers them in turn.
    void onData()
    {
        input_ += socket_->readAll();
        while (true) {
            if (literalNeeded_ >= 0) {
                if (input_.size() < literalNeeded_)
                    break;
                command_ += input_.left(literalNeeded_);
                input_.remove(0, literalNeeded_);
                literalNeeded_ = -1;
            }
            const qsizetype end = input_.indexOf("\r\n");
            if (end < 0)
                break;
            const QByteArray line = input_.left(end);
            command_ += input_.left(end + 2);
            input_.remove(0, end + 2);
            if (line.endsWith('}') && line.contains('{')) {
                QByteArray size = line.mid(line.lastIndexOf('{') + 1);
                size.chop(1);
                const bool synchronising = !size.endsWith('+');
                if (!synchronising)
                    size.chop(1);
                bool ok = false;
                literalNeeded_ = size.toLongLong(&ok);
                if (ok) {
                    if (synchronising)
                        send("+ Ready for literal data\r\n");
                    continue;
                }
                literalNeeded_ = -1;
            }
            queue_.push_back({command_, unanswered_ > 0});
            ++unanswered_;
            command_.clear();
        }
        answerQueued();
    }

    void answerQueued()
    {
        while (!stalled_ && !streaming_ && !queue_.empty()) {
            const Command command = queue_.front();
            queue_.pop_front();
            handle(command);
            if (!streaming_)
                --unanswered_;
        }
    }

    void handle(const Command& command)
    {
        if (!authenticatingTag_.isEmpty()) {
            continueAuthentication(command.bytes.left(command.bytes.indexOf("\r\n")));
            return;
        }
        const auto tokens = platform::parseImapTokens(command.bytes);
        if (!tokens || tokens->size() < 2) {
            send("* BAD Error in IMAP command\r\n");
            return;
        }
        const QByteArray tag = (*tokens)[0].value;
        const QByteArray verb = (*tokens)[1].value.toUpper();
        const std::vector<ImapToken> args(tokens->begin() + 2, tokens->end());
        const QByteArray verbLine = command.bytes.left(command.bytes.indexOf("\r\n")).mid(tag.size() + 1);
        if (verb == "LOGIN" && !args.empty())
            state_.record(QStringLiteral("LOGIN ") + QString::fromUtf8(args[0].value));
        else if (verb == "AUTHENTICATE" && !args.empty())
            state_.record(QStringLiteral("AUTHENTICATE ") + QString::fromUtf8(args[0].value));
        else if (command.leftOfSet < 0)
            state_.record(QString::fromUtf8(verbLine));
        leftOfSet_ = command.leftOfSet;
        const bool fetch = verb == "FETCH" || (verb == "UID" && !args.empty() && args[0].isAtom("FETCH"));
        if (fetch && command.pipelined && state_.script.badToPipelined) {
            send(tag + " BAD Commands may not be pipelined here\r\n");
            return;
        }

        if (verb == "CAPABILITY") {
            send(QByteArray("* CAPABILITY IMAP4rev1 ID AUTH=PLAIN AUTH=XOAUTH2")
                 + (state_.script.initialResponse ? " SASL-IR" : "") + "\r\n" + tag + " OK Capability completed.\r\n");
        } else if (verb == "AUTHENTICATE" && !args.empty() && args[0].isAtom("XOAUTH2")) {
            authenticatingTag_ = tag;
            if (args.size() > 1)
                continueAuthentication(args[1].value);
            else
                send("+ \r\n");
        } else if (verb == "NOOP") {
            send(tag + " OK NOOP completed.\r\n");
        } else if (verb == "ID") {
            answerId(tag);
        } else if (verb == "LOGIN" && args.size() == 2) {
            login(tag, args[0].value, args[1].value);
        } else if (verb == "SELECT" && args.size() == 1 && loggedIn_) {
            select(tag, args[0].value);
        } else if (verb == "LIST" && args.size() == 2 && loggedIn_) {
            list(tag);
        } else if (verb == "FETCH" && args.size() == 2 && !selected_.isEmpty()) {
            fetchSet(tag, args[0].value, args[1]);
        } else if (verb == "UID" && args.size() == 3 && args[0].isAtom("FETCH") && !selected_.isEmpty()) {
            // The other UIDs of a set are answered next, as commands of one UID each.
            QList<QByteArray> uids;
            for (const QByteArray& item : args[1].value.split(',')) {
                const QList<QByteArray> ends = item.split(':');
                for (quint32 uid = ends.first().toUInt(); uid <= ends.last().toUInt() && uids.size() < 100000; ++uid)
                    uids << QByteArray::number(uid);
            }
            for (qsizetype i = uids.size() - 1; i > 0; --i)
                queue_.push_front({tag + " UID FETCH " + uids[i] + verbLine.mid(verbLine.indexOf(" (")) + "\r\n", false, int(uids.size() - 1 - i)});
            unanswered_ += int(uids.size() - 1);
            leftOfSet_ = qMax(leftOfSet_, int(uids.size() - 1));
            fetchUid(tag, uids[0].toUInt(), args[2]);
        } else if (verb == "LOGOUT") {
            send("* BYE Logging out\r\n" + tag + " OK Logout completed.\r\n");
            socket_->disconnectFromHost();
        } else {
            send(tag + " BAD Error in IMAP command " + verb + "\r\n");
        }
    }

    void answerId(const QByteArray& tag)
    {
        switch (state_.script.idAnswer) {
        case ScriptedImapServer::IdAnswer::Normal:
            send("* ID (\"name\" \"Scripted\")\r\n" + tag + " OK ID completed.\r\n");
            break;
        case ScriptedImapServer::IdAnswer::Refuse:
            send(tag + " BAD ID not supported.\r\n");
            break;
        case ScriptedImapServer::IdAnswer::Hangup:
            socket_->disconnectFromHost();
            break;
        }
    }

    void login(const QByteArray& tag, const QByteArray& user, const QByteArray& password)
    {
        loggedIn_ = user == state_.script.user.toUtf8() && password == state_.script.password.toUtf8();
        sendSignInAnswer(tag + (loggedIn_ ? " OK Logged in\r\n" : " NO [AUTHENTICATIONFAILED] Authentication failed.\r\n"));
    }

    // The client's line after "+": first the XOAUTH2 response, then, after a
    // refusal with reasons, the empty line that ends the exchange.
    void continueAuthentication(const QByteArray& line)
    {
        const QByteArray tag = authenticatingTag_;
        if (refusing_) {
            refusing_ = false;
            authenticatingTag_.clear();
            send(tag + (line.isEmpty() ? " NO [AUTHENTICATIONFAILED] Authentication failed.\r\n"
                                       : " BAD Expected an empty line\r\n"));
            return;
        }
        const QList<QByteArray> fields = QByteArray::fromBase64(line).split('\x01');
        const bool accepted = fields.size() == 4 && fields[0] == "user=" + state_.script.user.toUtf8()
                              && fields[1].startsWith("auth=Bearer ")
                              && state_.script.acceptedTokens.contains(QString::fromUtf8(fields[1].mid(12)));
        if (accepted) {
            authenticatingTag_.clear();
            loggedIn_ = true;
            sendSignInAnswer(tag + " OK AUTHENTICATE completed.\r\n");
        } else {
            // A refused token gets the reasons first, then NO after the client's empty line.
            refusing_ = true;
            sendSignInAnswer("+ " + QByteArray(R"({"status":"401","schemes":"bearer","scope":"mail"})").toBase64() + "\r\n");
        }
    }

    void sendSignInAnswer(const QByteArray& answer)
    {
        if (state_.script.signInDelayMs <= 0) {
            send(answer);
            return;
        }
        QTimer::singleShot(state_.script.signInDelayMs, socket_, [this, answer] { send(answer); });
    }

    std::vector<ScriptedImapServer::State::Message>& messages() { return state_.mailboxes.at(selected_); }

    void select(const QByteArray& tag, const QByteArray& wireName)
    {
        QString name = platform::decodeMailboxName(wireName);
        if (name.compare(QStringLiteral("INBOX"), Qt::CaseInsensitive) == 0)
            name = QStringLiteral("INBOX");  // the one name that ignores case
        const auto& listedAs = state_.script.listedAs;
        const auto asListed = std::find_if(listedAs.begin(), listedAs.end(), [&](const auto& l) { return l.second == wireName; });
        if (asListed != listedAs.end())
            name = asListed->first;
        else if (listedAs.count(name) > 0)
            name.clear();
        const auto found = state_.mailboxes.find(name);
        if (found == state_.mailboxes.end()) {
            selected_.clear();
            send(tag + " NO Mailbox doesn't exist: " + wireName.toPercentEncoding(" /&") + "\r\n");
            return;
        }
        selected_ = name;
        const auto& script = state_.script;
        const quint32 validity = number_ > 1 && script.uidValidityAfterReconnect ? script.uidValidityAfterReconnect : script.uidValidity;
        const qint64 count = script.announcedCount >= 0 ? script.announcedCount : static_cast<qint64>(found->second.size());
        send("* FLAGS (\\Answered \\Flagged \\Deleted \\Seen \\Draft)\r\n* " + QByteArray::number(count)
             + " EXISTS\r\n* 0 RECENT\r\n* OK [UIDVALIDITY " + QByteArray::number(validity) + "] UIDs valid\r\n" + tag
             + " OK [READ-WRITE] Select completed.\r\n");
    }

    void list(const QByteArray& tag)
    {
        QByteArray reply;
        std::vector<std::pair<QByteArray, QByteArray>> names;  // wire name, special-use flag
        for (const auto& [name, messages] : state_.mailboxes) {
            const auto flag = state_.script.specialUse.find(name);
            const auto listedAs = state_.script.listedAs.find(name);
            names.emplace_back(listedAs != state_.script.listedAs.end() ? listedAs->second : platform::encodeMailboxName(name),
                               flag == state_.script.specialUse.end() ? QByteArray() : ' ' + flag->second);
        }
        if (state_.script.longListName > 0)
            names.insert(names.begin(), {QByteArray(static_cast<qsizetype>(state_.script.longListName), 'L'), QByteArray()});
        for (const auto& [wire, flag] : names) {
            reply += "* LIST (\\HasNoChildren" + flag + ") \"/\" ";
            reply += state_.script.literalMailboxNames || !ImapCommandBuilder::quotable(wire)
                         ? "{" + QByteArray::number(wire.size()) + "}\r\n" + wire
                         : ImapCommandBuilder::quoted(wire);
            reply += "\r\n";
        }
        send(reply + tag + " OK List completed.\r\n");
    }

    static bool wantsBody(const ImapToken& items)
    {
        for (const ImapToken& item : items.isList() ? items.children : std::vector<ImapToken>{items}) {
            if (item.isAtom("BODY[]") || item.isAtom("BODY.PEEK[]"))
                return true;
        }
        return false;
    }

    void fetchSet(const QByteArray& tag, const QByteArray& set, const ImapToken& items)
    {
        const auto& script = state_.script;
        if (script.fetchAnswer == ScriptedImapServer::FetchAnswer::RefuseAll) {
            send(tag + " NO Fetch refused.\r\n");
            return;
        }
        const qsizetype colon = set.indexOf(':');
        const qint64 low = set.left(colon < 0 ? set.size() : colon).toLongLong();
        const qint64 high = colon < 0 ? low : set.mid(colon + 1).toLongLong();
        const qint64 count = static_cast<qint64>(messages().size());
        const qint64 announced = script.announcedCount >= 0 ? script.announcedCount : count;
        if (low < 1 || high < low || high > announced) {
            send(tag + " BAD Error in IMAP command FETCH: Invalid messageset\r\n");
            return;
        }
        if (wantsBody(items)) {
            fetchMessage(tag, static_cast<int>(low), items, false);
            return;
        }
        QByteArray reply;
        for (qint64 n = low; n <= qMin(high, count); ++n) {
            const auto& message = messages()[static_cast<size_t>(n - 1)];
            reply += "* " + QByteArray::number(n) + " FETCH (UID " + QByteArray::number(message.uid) + " RFC822.SIZE "
                + QByteArray::number(script.listedSize >= 0 ? script.listedSize : message.size()) + ")\r\n";
        }
        reply += tag + " OK Fetch completed.\r\n";
        if (script.listingDelayMs > 0 && !state_.calm) {
            QTimer::singleShot(script.listingDelayMs, socket_, [this, reply] { send(reply); });
            return;
        }
        send(reply);
    }

    void fetchUid(const QByteArray& tag, quint32 uid, const ImapToken& items)
    {
        if (state_.script.fetchAnswer == ScriptedImapServer::FetchAnswer::RefuseAll) {
            send(tagged(tag + " NO Fetch refused.\r\n"));
            return;
        }
        expungeOnce();
        const auto& list = messages();
        for (size_t i = 0; i < list.size(); ++i) {
            if (list[i].uid == uid) {
                fetchMessage(tag, static_cast<int>(i + 1), items, true);
                return;
            }
        }
        send(tagged(tag + " OK Fetch completed.\r\n"));  // a UID that is gone is no error
    }

    // Another client deletes a message: this connection learns it now.
    void expungeOnce()
    {
        const int number = state_.script.expungeBeforeFetch;
        if (number < 1 || state_.expunged || number > static_cast<int>(messages().size()))
            return;
        state_.expunged = true;
        messages().erase(messages().begin() + (number - 1));
        send("* " + QByteArray::number(number) + " EXPUNGE\r\n");
    }

    void fetchMessage(const QByteArray& tag, int number, const ImapToken& items, bool byUid)
    {
        const auto& script = state_.script;
        if (!byUid)
            expungeOnce();
        if (number < 1 || number > static_cast<int>(messages().size())) {
            send(tag + (byUid ? " OK Fetch completed.\r\n" : " BAD Error in IMAP command FETCH: Invalid messageset\r\n"));
            return;
        }
        if (script.fetchAnswer == ScriptedImapServer::FetchAnswer::RefuseMessages) {
            send(tagged(tag + " NO [UNAVAILABLE] Message " + QByteArray::number(number) + " is refused.\r\n"));
            return;
        }
        if (script.fetchAnswer == ScriptedImapServer::FetchAnswer::Endless) {
            const QByteArray line = "* OK still thinking " + QByteArray(1000, '.') + "\r\n";
            stream([line](qint64, qint64) { return line.repeated(256); }, -1, {});
            return;
        }
        bool peek = true;
        for (const ImapToken& item : items.children) {
            if (item.isAtom("BODY[]"))
                peek = false;
        }
        if (!peek)
            state_.markSeen(selected_, number);

        const auto& message = messages()[static_cast<size_t>(number - 1)];
        const QByteArray date = platform::formatInternalDate(QDateTime(QDate(2024, 3, 19), QTime(9, 0).addSecs(60 * number), Qt::UTC));
        const QByteArray head = "* " + QByteArray::number(number) + " FETCH (" + (byUid ? "UID " + QByteArray::number(message.uid) + " " : QByteArray())
            + "INTERNALDATE \"" + date + "\" BODY[] {" + QByteArray::number(message.size()) + "}\r\n";
        if ((number == script.dropAtFetch || script.dropEveryFetch) && !state_.calm) {
            send(head + message.bytes.left(message.bytes.size() / 2));
            socket_->flush();
            socket_->disconnectFromHost();
            stalled_ = true;
            return;
        }
        if (number == script.stallAtFetch) {
            send(head + message.bytes.left(message.bytes.size() / 2));
            stalled_ = true;
            return;
        }
        send(head);
        const QByteArray trailer = ")\r\n" + tagged(tag + " OK Fetch completed.\r\n");
        if (message.generatedSize > 0) {
            const bool attachment = script.generatedAttachment;
            const bool emptyLines = script.generatedEmptyLines;
            const qint64 total = message.generatedSize;
            stream([=](qint64 offset, qint64 length) { return generatedPiece(attachment, emptyLines, total, offset, length); },
                   total, trailer);
            return;
        }
        const QByteArray bytes = message.bytes;
        stream([bytes](qint64 offset, qint64 length) { return bytes.mid(offset, length); }, bytes.size(), trailer);
    }

    // Sends total bytes from source (without end when total is negative) in
    // pieces, as fast as the socket takes them or at the script's pace, then the trailer.
    void stream(std::function<QByteArray(qint64, qint64)> source, qint64 total, QByteArray trailer)
    {
        source_ = std::move(source);
        total_ = total;
        sent_ = 0;
        trailer_ = std::move(trailer);
        streaming_ = true;
        pump();
    }

    void pump()
    {
        const int pieceSize = state_.script.pieceSize;
        const int delay = state_.calm ? 0 : state_.script.pieceDelayMs;
        while (open() && (total_ < 0 || sent_ < total_) && socket_->encryptedBytesToWrite() + socket_->bytesToWrite() < kHighWater) {
            const qint64 size = pieceSize > 0 ? pieceSize : kStreamPiece;
            const qint64 length = total_ < 0 ? size : qMin(size, total_ - sent_);
            send(source_(sent_, length));
            sent_ += length;
            if (delay > 0) {
                pieceTimer_ = true;
                QTimer::singleShot(delay, socket_, [this] {
                    pieceTimer_ = false;
                    pump();
                });
                return;
            }
        }
        if (!open() || total_ < 0 || sent_ < total_)
            return;  // more when the socket has taken these
        send(trailer_);
        streaming_ = false;
        source_ = nullptr;
        --unanswered_;
        QTimer::singleShot(0, socket_, [this] { answerQueued(); });
    }

    ScriptedImapServer::State& state_;
    QSslSocket* socket_;
    int number_ = 0;
    QByteArray input_;
    QByteArray command_;
    qint64 literalNeeded_ = -1;
    std::deque<Command> queue_;
    int unanswered_ = 0;
    bool loggedIn_ = false;
    QByteArray authenticatingTag_;
    bool refusing_ = false;
    bool stalled_ = false;
    bool streaming_ = false;
    bool pieceTimer_ = false;
    std::function<QByteArray(qint64, qint64)> source_;
    qint64 total_ = 0;
    qint64 sent_ = 0;
    QByteArray trailer_;
    QString selected_;
    int leftOfSet_ = -1;
};

class TlsServer : public QTcpServer {
public:
    explicit TlsServer(ScriptedImapServer::State& state)
        : state_(state),
          certificate_(readFile(state.certificate.certificate), QSsl::Pem),
          key_(readFile(state.certificate.key), QSsl::Rsa, QSsl::Pem)
    {
    }
    ~TlsServer() override { connections_.clear(); }

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto* socket = new QSslSocket;
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        socket->setLocalCertificate(certificate_);
        socket->setPrivateKey(key_);
        socket->setPeerVerifyMode(QSslSocket::VerifyNone);  // clients show no certificate
        connections_.push_back(std::make_unique<Connection>(state_, socket));
        socket->startServerEncryption();
    }

private:
    ScriptedImapServer::State& state_;
    QSslCertificate certificate_;
    QSslKey key_;
    std::vector<std::unique_ptr<Connection>> connections_;
};

}  // namespace

ScriptedImapServer::ScriptedImapServer() : ScriptedImapServer(Script{}) {}

ScriptedImapServer::ScriptedImapServer(Script script) : state_(std::make_unique<State>())
{
    state_->script = std::move(script);
    for (const auto& [name, messages] : state_->script.mailboxes) {
        auto& live = state_->mailboxes[name];
        for (const QByteArray& bytes : messages)
            live.push_back({kFirstUid + static_cast<quint32>(live.size()), bytes, 0});
    }
    for (int n = state_->script.generatedNumber; n > 0 && n < state_->script.generatedNumber + state_->script.generatedCount; ++n) {
        auto& inbox = state_->mailboxes[QStringLiteral("INBOX")];
        const size_t index = static_cast<size_t>(n - 1);
        while (inbox.size() <= index)
            inbox.push_back({kFirstUid + static_cast<quint32>(inbox.size()), sampleMessage(static_cast<int>(inbox.size()) + 1), 0});
        inbox[index].bytes.clear();
        inbox[index].generatedSize = state_->script.generatedBytes;
    }
    state_->certificate = certificateFor(state_->script.certificateHost);
    state_->port = listenOnOwnThread(state_->thread, [this] { return new TlsServer(*state_); }, QStringLiteral("the scripted IMAP server"));
}

ScriptedImapServer::~ScriptedImapServer()
{
    state_->thread.quit();
    state_->thread.wait();
}

int ScriptedImapServer::port() const { return state_->port; }

QString ScriptedImapServer::caFile() const { return state_->certificate.certificate; }

void ScriptedImapServer::applyEnvironment() const
{
    qputenv("TALLYHIVE_CA_FILE", caFile().toUtf8());
    qputenv("TALLYHIVE_IMAP_HOST", host().toUtf8());
    qputenv("TALLYHIVE_IMAP_PORT", QByteArray::number(port()));
}

QStringList ScriptedImapServer::commands() const
{
    QMutexLocker lock(&state_->guard);
    return state_->commands;
}

std::vector<int> ScriptedImapServer::seen(const QString& mailbox) const
{
    QMutexLocker lock(&state_->guard);
    const auto found = state_->seen.find(mailbox);
    return found == state_->seen.end() ? std::vector<int>{} : std::vector<int>(found->second.begin(), found->second.end());
}

void ScriptedImapServer::calmDown() { state_->calm = true; }

int ScriptedImapServer::connections() const
{
    QMutexLocker lock(&state_->guard);
    return state_->connections;
}

ScriptedImapServer::Script ScriptedImapServer::normalMailbox(int count)
{
    Script script;
    auto& inbox = script.mailboxes[QStringLiteral("INBOX")];
    for (int n = 1; n <= count; ++n)
        inbox.push_back(sampleMessage(n));
    for (const char* name : {"Drafts", "Sent", "Junk", "Deleted"})
        script.mailboxes[QString::fromLatin1(name)];
    return script;
}

QByteArray ScriptedImapServer::sampleMessage(int n)
{
    const QByteArray number = QByteArray::number(n);
    return "From: \"Sender " + number + "\" <s" + number + "@example.org>\r\n"
           "To: tester@example.org\r\n"
           "Subject: Subject " + number + "\r\n"
           "Date: Tue, 19 Mar 2024 10:" + QByteArray::number(n % 60).rightJustified(2, '0') + ":00 +0000\r\n"
           "Message-ID: <" + number + "@example.org>\r\n"
           "MIME-Version: 1.0\r\n"
           "Content-Type: text/plain; charset=utf-8\r\n"
           "\r\n"
           "Body " + number + "\r\n";
}

}  // namespace tallyhive::testing
