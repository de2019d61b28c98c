#include "app/error_log.h"

#include "app/error_log_file.h"
#include "app/general_date.h"
#include "app/texts.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cerrno>
#include <mutex>

#include <unistd.h>

namespace tallyhive {
namespace {

// A server's text may carry line breaks (a literal echoed in a reply); each
// becomes one blank, so an entry never adds lines of its own.
QString oneLine(const QString& text)
{
    QString line;
    line.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            continue;  // the pair is one break
        const bool lineBreak = c == u'\r' || c == u'\n' || c == QChar(0x85) || c == QChar::LineSeparator
            || c == QChar::ParagraphSeparator;
        line += lineBreak ? QChar(u' ') : c;
    }
    return line;
}

struct LogPlace {
    QString path;
    bool ownFolder = false;  // ours to make and to check before use
};

// The shared temporary folder is writable by every user: anyone could take
// the log's name there first. A folder of the user's own cannot be taken.
QString ownFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtime) && ::access(QFile::encodeName(runtime).constData(), W_OK | X_OK) == 0)
        return QDir(runtime).filePath(QStringLiteral("tallyhive"));
    return QDir(QDir::tempPath()).filePath(QStringLiteral("tallyhive-%1").arg(::geteuid()));
}

LogPlace logPlace()
{
    for (const char* variable : {"TEMP", "TMPDIR"}) {
        const QString folder = qEnvironmentVariable(variable);
        if (!folder.isEmpty())
            return {QDir(folder).filePath(texts::ErrorLogFileName), false};
    }
    return {QDir(ownFolder()).filePath(texts::ErrorLogFileName), true};
}

// A fetch run writes an entry for every message, thousands a second; the
// time stamp only changes once a second, and working it out is the dear part.
QString timeStamp()
{
    static thread_local qint64 second = -1;
    static thread_local QString text;
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    if (now != second) {
        text = general_date::format(QDateTime::fromSecsSinceEpoch(now));
        second = now;
    }
    return text;
}

// A fetch run writes an entry for every message, thousands a second, so the
// log stays open between entries instead of being opened, checked and closed
// for each. It is opened again when it is no longer the file its path names:
// TEMP changed, or the file was removed, renamed or replaced meanwhile.
class OpenErrorLog {
public:
    ~OpenErrorLog() { close(); }

    void append(const QByteArray& entry)
    {
        std::lock_guard lock(guard_);
        const LogPlace place = logPlace();
        if (!isCurrent(place.path))
            open(place);
        if (fd_ < 0)
            return;
        // The log holds server texts about the user's mail: the owner's alone,
        // also when an earlier version or anyone since made it readable by others.
        if (!error_log_file::keepToOwner(fd_) || !error_log_file::writeAll(fd_, entry))
            note(texts::ErrorLogNotWritten.arg(writingTo_, qt_error_string(errno)));
    }

    QString takeTrouble()
    {
        std::lock_guard lock(guard_);
        const QString trouble = trouble_.join(QStringLiteral("\r\n"));
        trouble_.clear();
        if (movedAside_)
            close();
        return trouble;
    }

private:
    bool isCurrent(const QString& path) const
    {
        // A log moved aside stays where it went while the usual path is the same.
        return fd_ >= 0 && path == usualPath_ && (movedAside_ || error_log_file::isOpenAt(fd_, path));
    }

    void open(const LogPlace& place)
    {
        close();
        usualPath_ = place.path;
        const QString folder = QFileInfo(place.path).path();
        QString refused = place.path;
        QString why = place.ownFolder ? error_log_file::refuseFolder(folder) : QString();
        if (!why.isEmpty()) {
            refused = folder;
        } else {
            const error_log_file::Opened usual = error_log_file::openForAppend(place.path);
            if (usual.fd >= 0) {
                use(usual);
                return;
            }
            why = usual.refusal;
        }
        const QString besideRefused = QDir(QFileInfo(refused).path()).filePath(texts::ErrorLogFileName);
        const error_log_file::Opened fresh = error_log_file::createBeside(besideRefused);
        if (fresh.fd < 0) {
            note(texts::ErrorLogNotOpened.arg(refused, why));
            return;
        }
        use(fresh);
        movedAside_ = true;
        note(texts::ErrorLogMoved.arg(refused, why, fresh.path));
    }

    void use(const error_log_file::Opened& opened)
    {
        fd_ = opened.fd;
        writingTo_ = opened.path;
    }

    void close()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
        movedAside_ = false;
    }

    // Told once however many entries it hit.
    void note(const QString& trouble)
    {
        if (!trouble_.contains(trouble))
            trouble_.append(trouble);
    }

    std::mutex guard_;
    int fd_ = -1;
    QString usualPath_;
    QString writingTo_;
    bool movedAside_ = false;
    QStringList trouble_;
};

OpenErrorLog& theLog()
{
    static OpenErrorLog log;
    return log;
}

}  // namespace

QString errorLogPath() { return logPlace().path; }

void appendErrorLogEntry(const QString& text)
{
    theLog().append((timeStamp() + QStringLiteral(" : ") + oneLine(text) + QStringLiteral("\r\n")
                     + texts::ErrorLogRule + QStringLiteral("\r\n"))
                        .toUtf8());
}

QString takeErrorLogTrouble() { return theLog().takeTrouble(); }

}  // namespace tallyhive
