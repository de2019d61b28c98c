#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace tallyhive::testing {

// A throw-away Dovecot on 127.0.0.1, started through scripts/dovecot (found
// through TALLYHIVE_SOURCE_DIR) and stopped by its PID when this object goes.
// The server speaks implicit TLS with a certificate of its own; caFile()
// names it so the client can verify the server.
class DovecotServer {
public:
    // mailSource: a folder with one subfolder of .eml files per mailbox, a
    // folder of .eml files for the Inbox, or empty for an empty mailbox.
    // Throws AppError (holding the end of the server log) when it cannot start.
    // introspectionUrl: when given, the server also takes AUTHENTICATE
    // XOAUTH2 and checks each token there (see FakeIdentityProvider).
    explicit DovecotServer(const QString& mailSource = {},
                           const QString& user = QStringLiteral("tester@example.org"),
                           const QString& password = QStringLiteral("Correct-Horse-7"),
                           const QString& introspectionUrl = {});
    ~DovecotServer();
    DovecotServer(const DovecotServer&) = delete;
    DovecotServer& operator=(const DovecotServer&) = delete;

    QString host() const { return QStringLiteral("127.0.0.1"); }
    int port() const { return port_; }
    QString caFile() const { return caFile_; }
    QString user() const { return user_; }
    QString password() const { return password_; }
    QString maildir() const { return maildir_; }
    qint64 pid() const { return pid_; }

    // Points the program's IMAP settings of this process at the server.
    void applyEnvironment() const;

    // Runs scripts/make-mailbox with the given arguments into outDir.
    static void makeMailbox(const QString& outDir, const QStringList& arguments);
    static QString sourceDir();

private:
    void stop();

    QTemporaryDir stateDir_;
    QString user_;
    QString password_;
    int port_ = 0;
    qint64 pid_ = 0;
    QString caFile_;
    QString maildir_;
    QString runtimeDir_;
};

}  // namespace tallyhive::testing
