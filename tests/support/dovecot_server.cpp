#include "support/dovecot_server.h"

#include "interfaces/error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <csignal>
#include <unistd.h>

namespace tallyhive::testing {
namespace {

constexpr int kScriptTimeoutMs = 120000;
// A benchmark's mailbox of 100,000 messages takes several minutes to make.
constexpr int kMailboxTimeoutMs = 30 * 60 * 1000;

QString runScript(const QString& script, const QStringList& arguments, int timeoutMs = kScriptTimeoutMs)
{
    QProcess process;
    process.setProgram(QDir(DovecotServer::sourceDir()).filePath(script));
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start();
    // Arguments may hold a password, so the failure texts never repeat them.
    if (!process.waitForStarted())
        throw AppError(QStringLiteral("Cannot run %1: %2").arg(script, process.errorString()));
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        throw AppError(QStringLiteral("%1 did not finish in time").arg(script));
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        throw AppError(QStringLiteral("%1 failed:\n%2").arg(script, QString::fromUtf8(process.readAllStandardError())));
    return QString::fromUtf8(process.readAllStandardOutput());
}

// A finished master stays a zombie until something reaps it, so a successful
// kill(pid, 0) does not mean it still runs.
bool isRunning(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("State:"))
            return !line.mid(6).trimmed().startsWith('Z');
    }
    return false;
}

bool isMasterOf(qint64 pid, const QString& config)
{
    QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
    return cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().contains(config.toUtf8());
}

}  // namespace

QString DovecotServer::sourceDir()
{
    const QString dir = qEnvironmentVariable("TALLYHIVE_SOURCE_DIR");
    if (dir.isEmpty())
        throw AppError(QStringLiteral("TALLYHIVE_SOURCE_DIR is not set; it names the source tree holding scripts/"));
    return dir;
}

void DovecotServer::makeMailbox(const QString& outDir, const QStringList& arguments)
{
    runScript(QStringLiteral("scripts/make-mailbox"), QStringList{outDir} + arguments, kMailboxTimeoutMs);
}

DovecotServer::DovecotServer(const QString& mailSource, const QString& user, const QString& password,
                             const QString& introspectionUrl)
    : user_(user), password_(password)
{
    if (!stateDir_.isValid())
        throw AppError(QStringLiteral("Cannot make a folder for the test server: %1").arg(stateDir_.errorString()));
    const QString dir = stateDir_.path();
    QString output;
    try {
        QStringList arguments{QStringLiteral("start"), dir, mailSource, user_, password_};
        if (!introspectionUrl.isEmpty())
            arguments << introspectionUrl;
        output = runScript(QStringLiteral("scripts/dovecot"), arguments);
    } catch (const AppError&) {
        QFile runtime(QDir(dir).filePath(QStringLiteral("runtime")));
        if (runtime.open(QIODevice::ReadOnly))
            runtimeDir_ = QString::fromUtf8(runtime.readAll()).trimmed();
        stop();
        throw;
    }
    for (const QString& line : output.split(u'\n', Qt::SkipEmptyParts)) {
        const QString key = line.section(u'=', 0, 0);
        const QString value = line.section(u'=', 1);
        if (key == u"port")
            port_ = value.toInt();
        else if (key == u"pid")
            pid_ = value.toLongLong();
        else if (key == u"ca")
            caFile_ = value;
        else if (key == u"maildir")
            maildir_ = value;
    }
    runtimeDir_ = QFileInfo(maildir_).absolutePath().section(u'/', 0, -2);
    if (port_ <= 0 || pid_ <= 0 || caFile_.isEmpty() || maildir_.isEmpty()) {
        stop();
        throw AppError(QStringLiteral("scripts/dovecot gave no port, pid, ca or maildir:\n") + output);
    }
}

DovecotServer::~DovecotServer() { stop(); }

void DovecotServer::stop()
{
    if (pid_ > 0 && isMasterOf(pid_, QDir(stateDir_.path()).filePath(QStringLiteral("dovecot.conf")))) {
        ::kill(static_cast<pid_t>(pid_), SIGTERM);
        for (int i = 0; i < 200 && isRunning(pid_); ++i)
            QThread::msleep(50);
        if (isRunning(pid_))
            ::kill(static_cast<pid_t>(pid_), SIGKILL);
    }
    pid_ = 0;
    if (runtimeDir_.startsWith(QStringLiteral("/tmp/thdv.")))
        QDir(runtimeDir_).removeRecursively();
    runtimeDir_.clear();
}

void DovecotServer::applyEnvironment() const
{
    qputenv("TALLYHIVE_IMAP_HOST", host().toUtf8());
    qputenv("TALLYHIVE_IMAP_PORT", QByteArray::number(port_));
    qputenv("TALLYHIVE_CA_FILE", QFile::encodeName(caFile_));
}

}  // namespace tallyhive::testing
