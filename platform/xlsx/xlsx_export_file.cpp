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
#include <sys/stat.h>
#include <unistd.h>

namespace tallyhive::platform {
namespace {

// The file's name inside the program's own folder, where no one else can
// put anything.
constexpr char kStagedName[] = "workbook.xlsx.part";

QString nativePath(const QString& path) { return QDir::toNativeSeparators(path); }

void closeIfOpen(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// Errors of a filesystem or kernel that makes no nameless files.
bool namelessUnsupported(int error) { return error == EOPNOTSUPP || error == EISDIR || error == EINVAL; }

}  // namespace

ExportFile::ExportFile(const QString& folder, const QDateTime& startedAt)
{
    QDir dir(folder);
    if (!folder.isEmpty() && dir.mkpath(QStringLiteral(".")) && QFileInfo(dir.absolutePath()).isWritable()) {
        folderFd_ = ::open(QFile::encodeName(dir.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        // A descriptor number held for the file, so that its path can be
        // told before the file is made.
        slotFd_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    }
    if (folderFd_ < 0 || slotFd_ < 0) {
        closeIfOpen(folderFd_);
        closeIfOpen(slotFd_);
        throw AppError(texts::ExportFolderUnavailable.arg(nativePath(folder)));
    }
    folder_ = dir.absolutePath();
    stem_ = texts::AppTitle + u' ' + startedAt.toString(QStringLiteral("yyyy-MM-dd HH.mm.ss"));
}

ExportFile::~ExportFile()
{
    discard();
    closeIfOpen(slotFd_);
    closeIfOpen(folderFd_);
}

QString ExportFile::writePath() const { return QStringLiteral("/proc/self/fd/%1").arg(slotFd_); }

QString ExportFile::displayPath() const { return nativePath(QDir(folder_).filePath(stem_ + QStringLiteral(".xlsx"))); }

void ExportFile::create()
{
    int fd = ::openat(folderFd_, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (fd < 0 && namelessUnsupported(errno)) {
        // Random, so exports started in the same second by two programs stage apart.
        const QByteArray name = ".Tallyhive " + QByteArray::number(QRandomGenerator::global()->generate64(), 16);
        if (::mkdirat(folderFd_, name.constData(), S_IRWXU) == 0) {
            privateFd_ = ::openat(folderFd_, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            struct stat status {};
            // Between making and opening it, another user could have put a folder of theirs at the name.
            if (privateFd_ >= 0 && (::fstat(privateFd_, &status) != 0 || status.st_uid != ::geteuid())) {
                closeIfOpen(privateFd_);
                errno = EACCES;
            }
            if (privateFd_ >= 0) {
                privateName_ = name;
                fd = ::openat(privateFd_, kStagedName, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
            }
        }
    }
    int error = errno;
    if (fd >= 0) {
        created_ = true;
        // The file takes the held number's place.
        if (::dup3(fd, slotFd_, O_CLOEXEC) >= 0)
            error = 0;
        else
            error = errno;
        ::close(fd);
    }
    if (error != 0) {
        discard();
        throw AppError(texts::WorkbookNotWritten.arg(displayPath(), qt_error_string(error)));
    }
}

// Gives the file the name only if nothing has it, a link included (no link
// is followed), and never by copying. Returns 0 or the errno; EEXIST when
// the name is taken.
int ExportFile::claimAs(const QString& name)
{
    const QByteArray target = QFile::encodeName(name);
    if (privateFd_ < 0) {
        // The nameless file, reached through its descriptor, gets its first name.
        const QByteArray self = QFile::encodeName(writePath());
        return ::linkat(AT_FDCWD, self.constData(), folderFd_, target.constData(), AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
    }
    if (::renameat2(privateFd_, kStagedName, folderFd_, target.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    // Filesystems without the flag still make a hard link only under a free name.
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return errno;
    if (::linkat(privateFd_, kStagedName, folderFd_, target.constData(), 0) != 0)
        return errno;
    ::unlinkat(privateFd_, kStagedName, 0);
    return 0;
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
        const int error = claimAs(name);
        if (error == 0) {
            created_ = false;
            removePrivateFolder();
            return path;
        }
        if (error != EEXIST)
            throw AppError(texts::WorkbookNotWritten.arg(nativePath(path), qt_error_string(error)));
    }
    throw AppError(texts::ExportFolderUnavailable.arg(nativePath(folder_)));
}

void ExportFile::discard()
{
    if (created_) {
        if (privateFd_ >= 0)
            ::unlinkat(privateFd_, kStagedName, 0);
        // A nameless file goes when its last descriptor does; the number stays held.
        const int empty = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (empty >= 0) {
            ::dup3(empty, slotFd_, O_CLOEXEC);
            ::close(empty);
        }
    }
    created_ = false;
    removePrivateFolder();
}

void ExportFile::removePrivateFolder()
{
    if (privateFd_ < 0)
        return;
    closeIfOpen(privateFd_);
    // Only an empty folder goes: should another user have swapped the name,
    // nothing of theirs is lost.
    ::unlinkat(folderFd_, privateName_.constData(), AT_REMOVEDIR);
    privateName_.clear();
}

}  // namespace tallyhive::platform
