#pragma once

#include <QByteArray>
#include <QString>

// The files behind the error log. It holds server texts about the user's
// mail and may lie in a folder other users can write to, so nothing here
// follows a link or writes to a file that is not the user's own.
namespace tallyhive::error_log_file {

// An open descriptor, or why there is none.
struct Opened {
    int fd = -1;
    QString path;
    QString refusal;  // empty when fd is open
};

// Makes the folder (0700) when missing. Returns why it may not hold the log,
// or an empty text: it must be a real folder, not a link, of this user's,
// and it is closed to others when it is not.
QString refuseFolder(const QString& folder);

// Opens path for appending, making it 0600 when missing. Refuses a link, any
// other kind of file than a plain one, a file of another user and one with
// more names than this one. A file others may read is closed to them.
Opened openForAppend(const QString& path);

// A file of a name no one has taken, made 0600 beside path: for
// ".../errorlog.txt" something like ".../errorlog-k3Xz9Q.txt".
Opened createBeside(const QString& path);

// Closes the open file to everyone but its owner, also when someone made it
// readable to others since it was opened. False with errno set on failure.
bool keepToOwner(int fd);

// Whether path names the file fd has open, without following a link there.
bool isOpenAt(int fd, const QString& path);

// Writes all of data; false with errno set when that could not be done.
bool writeAll(int fd, const QByteArray& data);

}  // namespace tallyhive::error_log_file
