#include "app/error_log.h"

#include "app/general_date.h"
#include "app/texts.h"
#include "interfaces/error.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <mutex>

#include <sys/stat.h>

namespace tallyhive {
namespace {

constexpr QFileDevice::Permissions OwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

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

}  // namespace

QString errorLogPath()
{
    QString folder = qEnvironmentVariable("TEMP");
    if (folder.isEmpty())
        folder = qEnvironmentVariable("TMPDIR");
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return QDir(folder).filePath(texts::ErrorLogFileName);
}

namespace {

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
// TEMP changed, or the file was removed or renamed meanwhile.
class OpenErrorLog {
public:
    void append(const QByteArray& entry)
    {
        std::lock_guard lock(guard_);
        const QString path = errorLogPath();
        struct stat opened {};
        if (!isOpenAt(path, opened))
            open(path, opened);
        // The log holds server texts about the user's mail: the owner's alone,
        // also when an earlier version or anyone since made it readable by others.
        if ((opened.st_mode & (S_IRWXG | S_IRWXO)) != 0)
            ::fchmod(file_.handle(), S_IRUSR | S_IWUSR);
        if (file_.write(entry) != entry.size() || !file_.flush()) {
            const QString reason = file_.errorString();
            file_.close();
            throw AppError(texts::ErrorLogNotWritten.arg(file_.fileName(), reason));
        }
    }

private:
    // Whether the open file is the one path names; opened gets its status.
    bool isOpenAt(const QString& path, struct stat& opened) const
    {
        if (!file_.isOpen() || file_.fileName() != path)
            return false;
        struct stat named {};
        return ::fstat(file_.handle(), &opened) == 0 && ::stat(QFile::encodeName(path).constData(), &named) == 0
            && named.st_dev == opened.st_dev && named.st_ino == opened.st_ino;
    }

    void open(const QString& path, struct stat& opened)
    {
        file_.close();
        file_.setFileName(path);
        if (!file_.open(QIODevice::WriteOnly | QIODevice::Append, OwnerOnly) || ::fstat(file_.handle(), &opened) != 0) {
            const QString reason = file_.errorString();
            file_.close();
            throw AppError(texts::ErrorLogNotOpened.arg(file_.fileName(), reason));
        }
    }

    std::mutex guard_;
    QFile file_;
};

}  // namespace

void appendErrorLogEntry(const QString& lastErrorText)
{
    static OpenErrorLog log;
    log.append((timeStamp() + QStringLiteral(" : ") + oneLine(lastErrorText) + QStringLiteral("\r\n") + texts::ErrorLogRule
                + QStringLiteral("\r\n"))
                   .toUtf8());
}

}  // namespace tallyhive
