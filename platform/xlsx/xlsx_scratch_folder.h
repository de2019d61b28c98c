#pragma once

#include <QString>
#include <QTemporaryDir>

namespace tallyhive::platform {

// A folder of this program's own (0700) for the spreadsheet library's
// temporary files, which hold the user's mail: reached through its
// descriptor, so no one can swap it or its names for links while it is used.
// Removed with what is left in it.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // False when no such folder could be made.
    bool isValid() const { return fd_ >= 0; }
    QString path() const;

private:
    QTemporaryDir dir_;
    int fd_ = -1;
};

}  // namespace tallyhive::platform
