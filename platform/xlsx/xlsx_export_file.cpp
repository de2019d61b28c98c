#include "platform/xlsx/xlsx_export_file.h"

#include "app/texts.h"
#include "platform/error.h"

#include <QDir>
#include <QFile>

namespace tallyhive::platform {

QString claimExportFile(const QString& folder, const QDateTime& now)
{
    QDir dir(folder);
    if (folder.isEmpty() || !dir.mkpath(QStringLiteral(".")))
        throw AppError(texts::ExportFolderUnavailable.arg(QDir::toNativeSeparators(folder)));

    const QString stem = texts::AppTitle + u' ' + now.toString(QStringLiteral("yyyy-MM-dd HH.mm.ss"));
    constexpr int MaxAttempts = 1000;
    for (int attempt = 1; attempt <= MaxAttempts; ++attempt) {
        const QString name = attempt == 1 ? stem + QStringLiteral(".xlsx")
                                          : stem + QStringLiteral(" (%1).xlsx").arg(attempt);
        QFile file(dir.filePath(name));
        // Creating it exclusively claims the name against any other export.
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return file.fileName();
        if (!file.exists())
            break;
    }
    throw AppError(texts::ExportFolderUnavailable.arg(QDir::toNativeSeparators(folder)));
}

}  // namespace tallyhive::platform
