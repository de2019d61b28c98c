#include "app/error_log.h"

#include "app/general_date.h"
#include "app/texts.h"
#include "platform/error.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

namespace tallyhive {
namespace {

constexpr QFileDevice::Permissions OwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
constexpr QFileDevice::Permissions GroupOrOthers = QFileDevice::ReadGroup | QFileDevice::WriteGroup
    | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;

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

}  // namespace

void appendErrorLogEntry(const QString& lastErrorText)
{
    const QByteArray entry = (timeStamp() + QStringLiteral(" : ") + oneLine(lastErrorText) + QStringLiteral("\r\n")
                              + texts::ErrorLogRule + QStringLiteral("\r\n"))
                                 .toUtf8();
    // The log holds server texts about the user's mail: the owner's alone,
    // also when an earlier version made it readable by others.
    QFile log(errorLogPath());
    if (!log.open(QIODevice::WriteOnly | QIODevice::Append, OwnerOnly))
        throw AppError(texts::ErrorLogNotOpened.arg(log.fileName(), log.errorString()));
    if (log.permissions().testAnyFlags(GroupOrOthers))
        log.setPermissions(OwnerOnly);
    if (log.write(entry) != entry.size() || !log.flush())
        throw AppError(texts::ErrorLogNotWritten.arg(log.fileName(), log.errorString()));
}

}  // namespace tallyhive
