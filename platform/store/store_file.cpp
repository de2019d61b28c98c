#include "platform/store/store_file.h"

#include "app/error_log_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tallyhive::platform::store_file {

QString refuseFolder(const QString& folder)
{
    // The cache folder itself may not be there yet on a new account.
    QDir().mkpath(QFileInfo(folder).absolutePath());
    // The same rules as for the error log's folder: both hold the user's mail.
    const QString why = error_log_file::refuseFolder(folder);
    return why.isEmpty() ? why : QStringLiteral("%1: %2").arg(folder, why);
}

QString refuseFile(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC,
                          S_IRUSR | S_IWUSR);
    if (fd < 0)
        return errno == ELOOP ? QStringLiteral("%1 is a link").arg(path) : qt_error_string(errno);
    struct stat status {};
    QString why;
    if (::fstat(fd, &status) != 0)
        why = qt_error_string(errno);
    else if (!S_ISREG(status.st_mode))
        why = QStringLiteral("%1 is not a plain file").arg(path);
    else if (status.st_uid != ::geteuid())
        why = QStringLiteral("%1 belongs to another user").arg(path);
    else if (status.st_nlink != 1)
        why = QStringLiteral("%1 has other names").arg(path);
    else if ((status.st_mode & (S_IRWXG | S_IRWXO)) != 0 && ::fchmod(fd, S_IRUSR | S_IWUSR) != 0)
        why = qt_error_string(errno);
    ::close(fd);
    return why;
}

void remove(const QString& path)
{
    for (const char* suffix : {"", "-wal", "-shm", "-journal"})
        ::unlink(QFile::encodeName(path + QLatin1String(suffix)).constData());
}

}  // namespace tallyhive::platform::store_file
