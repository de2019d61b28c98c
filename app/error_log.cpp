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

void appendErrorLogEntry(const QString& lastErrorText)
{
    const QByteArray entry = (general_date::format(QDateTime::currentDateTime()) + QStringLiteral(" : ")
                              + lastErrorText + QStringLiteral("\r\n") + texts::ErrorLogRule + QStringLiteral("\r\n"))
                                 .toUtf8();
    QFile log(errorLogPath());
    if (!log.open(QIODevice::WriteOnly | QIODevice::Append))
        throw AppError(QStringLiteral("Cannot open the error log %1: %2").arg(log.fileName(), log.errorString()));
    if (log.write(entry) != entry.size() || !log.flush())
        throw AppError(QStringLiteral("Cannot write the error log %1: %2").arg(log.fileName(), log.errorString()));
}

}  // namespace tallyhive
