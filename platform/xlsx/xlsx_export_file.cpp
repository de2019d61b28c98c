#include "platform/xlsx/xlsx_export_file.h"

#include "app/texts.h"
#include "interfaces/error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

namespace tallyhive::platform {
namespace {

QString nativePath(const QString& path) { return QDir::toNativeSeparators(path); }

}  // namespace

ExportFile::ExportFile(const QString& folder, const QDateTime& startedAt)
{
    QDir dir(folder);
    if (folder.isEmpty() || !dir.mkpath(QStringLiteral(".")) || !QFileInfo(dir.absolutePath()).isWritable())
        throw AppError(texts::ExportFolderUnavailable.arg(nativePath(folder)));
    folder_ = dir.absolutePath();
    stem_ = texts::AppTitle + u' ' + startedAt.toString(QStringLiteral("yyyy-MM-dd HH.mm.ss"));
    // Random, so exports started in the same second by two programs stage apart.
    staging_ = dir.filePath(QStringLiteral(".%1 %2.xlsx.part")
                                .arg(stem_)
                                .arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0')));
}

ExportFile::~ExportFile() { discard(); }

void ExportFile::reserveStaging()
{
    QFile file(staging_);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        throw AppError(texts::WorkbookNotWritten.arg(nativePath(staging_), file.errorString()));
    reserved_ = true;
}

QString ExportFile::claimName()
{
    constexpr int MaxAttempts = 1000;
    for (int attempt = 1; attempt <= MaxAttempts; ++attempt) {
        const QString name = attempt == 1 ? stem_ + QStringLiteral(".xlsx")
                                          : stem_ + QStringLiteral(" (%1).xlsx").arg(attempt);
        const QString path = QDir(folder_).filePath(name);
        // Renaming never replaces an existing file.
        QFile staged(staging_);
        if (staged.rename(path)) {
            reserved_ = false;
            return path;
        }
        if (!QFileInfo::exists(path))
            throw AppError(texts::WorkbookNotWritten.arg(nativePath(path), staged.errorString()));
    }
    throw AppError(texts::ExportFolderUnavailable.arg(nativePath(folder_)));
}

void ExportFile::discard()
{
    if (reserved_)
        QFile::remove(staging_);
    reserved_ = false;
}

}  // namespace tallyhive::platform
