#include "app/error_log.h"

#include "app/general_date.h"
#include "app/texts.h"
#include "platform/error.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

namespace tallyhive {

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
    const QByteArray entry = (timeStamp() + QStringLiteral(" : ")
                              + lastErrorText + QStringLiteral("\r\n") + texts::ErrorLogRule + QStringLiteral("\r\n"))
                                 .toUtf8();
    QFile log(errorLogPath());
    if (!log.open(QIODevice::WriteOnly | QIODevice::Append))
        throw AppError(QStringLiteral("Cannot open the error log %1: %2").arg(log.fileName(), log.errorString()));
    if (log.write(entry) != entry.size() || !log.flush())
        throw AppError(QStringLiteral("Cannot write the error log %1: %2").arg(log.fileName(), log.errorString()));
}

}  // namespace tallyhive
