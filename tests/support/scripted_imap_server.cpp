#include "scripted_imap_server.h"

#include "platform/error.h"
#include "platform/imap/imap_command.h"
#include "platform/imap/imap_internal_date.h"
#include "platform/imap/imap_mailbox_name.h"
#include "platform/imap/imap_token.h"

#include <QCoreApplication>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QProcess>
#include <QSemaphore>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

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
    Script script;
    CertificateFiles certificate;
    QThread thread;
    int port = 0;
    mutable QMutex guard;
    QStringList commands;
    std::map<QString, std::set<int>> seen;

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
};

namespace {

// One client connection, living on the server thread.
class Connection {
public:
    Connection(ScriptedImapServer::State& state, QSslSocket* socket) : state_(state), socket_(socket)
    {
        QObject::connect(socket_, &QSslSocket::encrypted, socket_, [this] { send(state_.script.greeting + "\r\n"); });
        QObject::connect(socket_, &QSslSocket::readyRead, socket_, [this] { onData(); });
    }
    ~Connection()
    {
        socket_->disconnect();
        delete socket_;
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

private:
    void send(const QByteArray& bytes) { socket_->write(bytes); }

    void onData()
    {
        input_ += socket_->readAll();
        while (!stalled_ && !streaming_) {
            if (literalNeeded_ >= 0) {
                if (input_.size() < literalNeeded_)
                    return;
                command_ += input_.left(literalNeeded_);
                input_.remove(0, literalNeeded_);
                literalNeeded_ = -1;
            }
            const qsizetype end = input_.indexOf("\r\n");
            if (end < 0)
                return;
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
            handle(command_);
            command_.clear();
        }
    }

    void handle(const QByteArray& command)
    {
        if (!authenticatingTag_.isEmpty()) {
            continueAuthentication(command.left(command.indexOf("\r\n")));
            return;
        }
        const auto tokens = platform::parseImapTokens(command);
        if (!tokens || tokens->size() < 2) {
            send("* BAD Error in IMAP command\r\n");
            return;
        }
        const QByteArray tag = (*tokens)[0].value;
        const QByteArray verb = (*tokens)[1].value.toUpper();
        const std::vector<ImapToken> args(tokens->begin() + 2, tokens->end());
        const QByteArray verbLine = command.left(command.indexOf("\r\n")).mid(tag.size() + 1);
        if (verb == "LOGIN" && !args.empty())
            state_.record(QStringLiteral("LOGIN ") + QString::fromUtf8(args[0].value));
        else if (verb == "AUTHENTICATE" && !args.empty())
            state_.record(QStringLiteral("AUTHENTICATE ") + QString::fromUtf8(args[0].value));
        else
            state_.record(QString::fromUtf8(verbLine));

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
            select(tag, QString::fromUtf8(args[0].value));
        } else if (verb == "LIST" && args.size() == 2 && loggedIn_) {
            list(tag);
        } else if (verb == "FETCH" && args.size() == 2 && !selected_.isEmpty()) {
            fetch(tag, args[0].value.toInt(), args[1], false);
        } else if (verb == "UID" && args.size() == 3 && args[0].isAtom("FETCH") && !selected_.isEmpty()) {
            fetch(tag, args[1].value.toInt(), args[2], true);
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
        loggedIn_ = !state_.script.refuseLogin && user == state_.script.user.toUtf8() && password == state_.script.password.toUtf8();
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
        } else if (state_.script.tokenRefusal == ScriptedImapServer::TokenRefusal::Challenge) {
            refusing_ = true;
            sendSignInAnswer("+ " + QByteArray(R"({"status":"401","schemes":"bearer","scope":"mail"})").toBase64() + "\r\n");
        } else {
            authenticatingTag_.clear();
            sendSignInAnswer(tag + " NO AUTHENTICATE failed.\r\n");
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

    void select(const QByteArray& tag, const QString& wireName)
    {
        QString name = platform::decodeMailboxName(wireName.toUtf8());
        if (name.compare(u"INBOX", Qt::CaseInsensitive) == 0)
            name = QStringLiteral("INBOX");  // the one name that is case-insensitive
        const auto found = state_.script.mailboxes.find(name);
        if (found == state_.script.mailboxes.end()) {
            selected_.clear();
            send(tag + " NO Mailbox doesn't exist: " + wireName.toUtf8() + "\r\n");
            return;
        }
        selected_ = name;
        send("* FLAGS (\\Answered \\Flagged \\Deleted \\Seen \\Draft)\r\n* " + QByteArray::number(found->second.size())
             + " EXISTS\r\n* 0 RECENT\r\n" + tag + " OK [READ-WRITE] Select completed.\r\n");
    }

    void list(const QByteArray& tag)
    {
        QByteArray reply;
        for (const auto& [name, messages] : state_.script.mailboxes) {
            const QByteArray wire = platform::encodeMailboxName(name);
            const auto flag = state_.script.specialUse.find(name);
            reply += "* LIST (\\HasNoChildren" + (flag == state_.script.specialUse.end() ? QByteArray() : ' ' + flag->second) + ") \"/\" ";
            reply += state_.script.literalMailboxNames ? "{" + QByteArray::number(wire.size()) + "}\r\n" + wire
                                                       : ImapCommandBuilder::quoted(wire);
            reply += "\r\n";
        }
        send(reply + tag + " OK List completed.\r\n");
    }

    void fetch(const QByteArray& tag, int number, const ImapToken& items, bool byUid)
    {
        const auto& messages = state_.script.mailboxes.at(selected_);
        if (number < 1 || number > static_cast<int>(messages.size())) {
            send(tag + (byUid ? " OK Fetch completed.\r\n" : " BAD Error in IMAP command FETCH: Invalid messageset\r\n"));
            return;
        }
        bool peek = true;
        for (const ImapToken& item : items.children) {
            if (item.isAtom("BODY[]"))
                peek = false;
        }
        if (!peek)
            state_.markSeen(selected_, number);

        const QByteArray& body = messages[static_cast<size_t>(number - 1)];
        const QByteArray date = platform::formatInternalDate(QDateTime(QDate(2024, 3, 19), QTime(9, 0).addSecs(60 * number), Qt::UTC));
        const QByteArray head = "* " + QByteArray::number(number) + " FETCH (" + (byUid ? "UID " + QByteArray::number(number) + " " : QByteArray())
            + "INTERNALDATE \"" + date + "\" BODY[] {" + QByteArray::number(body.size()) + "}\r\n";
        if (number == state_.script.dropAtFetch) {
            send(head + body.left(body.size() / 2));
            socket_->flush();
            socket_->disconnectFromHost();
            stalled_ = true;
            return;
        }
        if (number == state_.script.stallAtFetch) {
            send(head + body.left(body.size() / 2));
            stalled_ = true;
            return;
        }
        send(head);
        streaming_ = true;
        streamPieces(body, ")\r\n" + tag + " OK Fetch completed.\r\n");
    }

    void streamPieces(QByteArray rest, QByteArray trailer)
    {
        const int size = state_.script.pieceSize > 0 ? state_.script.pieceSize : static_cast<int>(rest.size());
        send(rest.left(size));
        rest.remove(0, size);
        if (rest.isEmpty()) {
            send(trailer);
            streaming_ = false;
            QTimer::singleShot(0, socket_, [this] { onData(); });
            return;
        }
        QTimer::singleShot(state_.script.pieceDelayMs, socket_, [this, rest, trailer] { streamPieces(rest, trailer); });
    }

    ScriptedImapServer::State& state_;
    QSslSocket* socket_;
    QByteArray input_;
    QByteArray command_;
    qint64 literalNeeded_ = -1;
    bool loggedIn_ = false;
    QByteArray authenticatingTag_;
    bool refusing_ = false;
    bool stalled_ = false;
    bool streaming_ = false;
    QString selected_;
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
    if (!QCoreApplication::instance()) {
        // The server thread's event loop needs an application object.
        static int argc = 1;
        static char name[] = "tallyhive-test";
        static char* argv[] = {name, nullptr};
        static QCoreApplication application(argc, argv);
    }
    state_->script = std::move(script);
    state_->certificate = certificateFor(state_->script.certificateHost);
    QSemaphore listening;
    QObject::connect(&state_->thread, &QThread::started, [this, &listening] {
        // Lives on the server thread until its event loop ends.
        auto* server = new TlsServer(*state_);
        if (server->listen(QHostAddress::LocalHost, 0))
            state_->port = server->serverPort();
        QObject::connect(&state_->thread, &QThread::finished, server, [server] { delete server; }, Qt::DirectConnection);
        listening.release();
    });
    state_->thread.start();
    listening.acquire();
    if (state_->port == 0)
        throw AppError(QStringLiteral("the scripted IMAP server could not listen on 127.0.0.1"));
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
