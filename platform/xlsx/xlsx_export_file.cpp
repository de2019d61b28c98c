#include "platform/xlsx/xlsx_export_file.h"

#include "app/texts.h"
#include "interfaces/error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace tallyhive::platform {
namespace {

QString nativePath(const QString& path) { return QDir::toNativeSeparators(path); }

// Gives the file at `from` the name `to` only if nothing has that name, a
// link included (no link is followed), and never by copying. Returns 0 or
// the errno; EEXIST when the name is taken.
int moveToFreeName(const QString& from, const QString& to)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    // Filesystems without the flag still make a hard link only under a free name.
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return errno;
    if (::link(source.constData(), target.constData()) != 0)
        return errno;
    ::unlink(source.constData());
    return 0;
}

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
        // Asked of the system in one step, not checked first: a file that
        // appears under the name meanwhile is never replaced.
        const int error = moveToFreeName(staging_, path);
        if (error == 0) {
            reserved_ = false;
            return path;
        }
        if (error != EEXIST)
            throw AppError(texts::WorkbookNotWritten.arg(nativePath(path), qt_error_string(error)));
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
