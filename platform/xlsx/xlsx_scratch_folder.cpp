#include "platform/xlsx/xlsx_scratch_folder.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tallyhive::platform {

ScratchFolder::ScratchFolder() : dir_(QDir::tempPath() + QStringLiteral("/tallyhive-XXXXXX"))
{
    if (dir_.isValid())
        fd_ = ::open(QFile::encodeName(dir_.path()).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat status {};
    if (fd_ >= 0 && (::fstat(fd_, &status) != 0 || status.st_uid != ::geteuid() || (status.st_mode & (S_IRWXG | S_IRWXO)) != 0)) {
        ::close(fd_);
        fd_ = -1;
    }
}

ScratchFolder::~ScratchFolder()
{
    if (fd_ >= 0)
        ::close(fd_);
}

QString ScratchFolder::path() const { return QStringLiteral("/proc/self/fd/%1").arg(fd_); }

}  // namespace tallyhive::platform
