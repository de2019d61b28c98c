#pragma once

#include <QDateTime>
#include <QString>

namespace tallyhive::platform {

// One workbook file in the export folder that takes its name only once it is
// complete. The folder may be one other users can write to, so the workbook
// is written through a descriptor of the file itself, never through a name
// in the folder that someone could swap for a link: where the filesystem
// allows, the file has no name at all until it is claimed; elsewhere it is
// made in a folder of this program's own (0700) inside the export folder.
// A program that ends in the middle of an export leaves nothing behind (or,
// without nameless files, at most its own hidden folder), and no reader ever
// sees a half-written workbook.
class ExportFile {
public:
    // Creates the folder when missing and opens it. Throws AppError when the
    // folder cannot be made, opened or written to. No file is made yet.
    ExportFile(const QString& folder, const QDateTime& startedAt);
    // A file that never got its name is removed.
    ~ExportFile();
    ExportFile(const ExportFile&) = delete;
    ExportFile& operator=(const ExportFile&) = delete;

    // The path to write the workbook through, valid from construction on: it
    // reaches the file create() makes, whatever becomes of names meanwhile.
    QString writePath() const;
    // What the workbook is called in reports until it has its name.
    QString displayPath() const;
    // Makes the empty file that writePath() reaches. Throws AppError.
    void create();
    // Gives the written file its name after the moment the export started,
    // e.g. "Tallyhive 2026-12-07 20.55.01.xlsx", then "... (2).xlsx" and so
    // on: nothing is ever overwritten, not an earlier export started in the
    // same second, not a file that appears under the name at the last moment,
    // and a link at the name is never followed. Returns the path; throws AppError.
    QString claimName();
    // Removes the file, if it has no name yet.
    void discard();

private:
    int claimAs(const QString& name);
    void removePrivateFolder();

    QString folder_;
    QString stem_;
    int folderFd_ = -1;
    int slotFd_ = -1;           // the descriptor writePath() names; the file once created
    bool created_ = false;
    int privateFd_ = -1;        // the program's own folder, when the file could not be nameless
    QByteArray privateName_;    // its name in the export folder
};

}  // namespace tallyhive::platform
