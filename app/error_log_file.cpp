#include "app/error_log_file.h"

#include "app/texts.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tallyhive::error_log_file {
namespace {

constexpr mode_t OthersBits = S_IRWXG | S_IRWXO;

QString reasonOf(int error) { return error == ELOOP ? texts::ErrorLogIsLink : qt_error_string(error); }

Opened refused(const QString& path, const QString& why) { return Opened{-1, path, why}; }

}  // namespace

QString refuseFolder(const QString& folder)
{
    const QByteArray name = QFile::encodeName(folder);
    if (::mkdir(name.constData(), S_IRWXU) != 0 && errno != EEXIST)
        return qt_error_string(errno);
    struct stat status {};
    if (::lstat(name.constData(), &status) != 0)
        return qt_error_string(errno);
    if (S_ISLNK(status.st_mode))
        return texts::ErrorLogIsLink;
    if (!S_ISDIR(status.st_mode))
        return texts::ErrorLogNotAFolder;
    if (status.st_uid != ::geteuid())
        return texts::ErrorLogOtherOwner;
    // Ours and no link: the folder cannot be swapped by anyone else meanwhile.
    if ((status.st_mode & OthersBits) != 0 && ::chmod(name.constData(), S_IRWXU) != 0)
        return qt_error_string(errno);
    return QString();
}

Opened openForAppend(const QString& path)
{
    // Non-blocking, so a pipe planted at the name cannot hold the run up.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd < 0)
        return refused(path, reasonOf(errno));
    struct stat status {};
    QString why;
    if (::fstat(fd, &status) != 0)
        why = qt_error_string(errno);
    else if (!S_ISREG(status.st_mode))
        why = texts::ErrorLogNotAFile;
    else if (status.st_uid != ::geteuid())
        why = texts::ErrorLogOtherOwner;
    else if (status.st_nlink != 1)
        why = texts::ErrorLogOtherNames;
    else if (!keepToOwner(fd))
        why = qt_error_string(errno);
    if (!why.isEmpty()) {
        ::close(fd);
        return refused(path, why);
    }
    return Opened{fd, path, QString()};
}

Opened createBeside(const QString& path)
{
    const QFileInfo info(path);
    const QString suffix = info.suffix().isEmpty() ? QString() : u'.' + info.suffix();
    QByteArray name = QFile::encodeName(info.path() + u'/' + info.completeBaseName() + QStringLiteral("-XXXXXX") + suffix);
    // Made new with O_EXCL: no link is followed and no file of another is opened.
    const int fd = ::mkostemps(name.data(), static_cast<int>(QFile::encodeName(suffix).size()), O_APPEND | O_CLOEXEC);
    if (fd < 0)
        return refused(path, qt_error_string(errno));
    return Opened{fd, QFile::decodeName(name), QString()};
}

bool keepToOwner(int fd)
{
    struct stat status {};
    if (::fstat(fd, &status) != 0)
        return false;
    return (status.st_mode & OthersBits) == 0 || ::fchmod(fd, S_IRUSR | S_IWUSR) == 0;
}

bool isOpenAt(int fd, const QString& path)
{
    struct stat opened {};
    struct stat named {};
    return ::fstat(fd, &opened) == 0 && ::lstat(QFile::encodeName(path).constData(), &named) == 0
        && named.st_dev == opened.st_dev && named.st_ino == opened.st_ino;
}

bool writeAll(int fd, const QByteArray& data)
{
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t wrote = ::write(fd, data.constData() + done, static_cast<size_t>(data.size() - done));
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote == 0)
            errno = EIO;
        if (wrote <= 0)
            return false;
        done += wrote;
    }
    return true;
}

}  // namespace tallyhive::error_log_file
