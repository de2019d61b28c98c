#pragma once

#include <QDateTime>
#include <QString>

namespace tallyhive::platform {

// One workbook file in the export folder that takes its name only once it is
// complete. While the workbook is made it is written under a hidden staging
// name in the same folder, and that file is created only when the workbook is
// written out; so a program that ends in the middle of an export leaves
// nothing in the folder, and no reader ever sees a half-written workbook.
class ExportFile {
public:
    // Creates the folder when missing. Throws AppError when the folder cannot
    // be made or written to. No file is made yet.
    ExportFile(const QString& folder, const QDateTime& startedAt);
    // A staging file that never got its name is removed.
    ~ExportFile();
    ExportFile(const ExportFile&) = delete;
    ExportFile& operator=(const ExportFile&) = delete;

    // Where the workbook is written out.
    QString stagingPath() const { return staging_; }
    // Creates the staging file, empty, so nothing else holds that name.
    // Throws AppError.
    void reserveStaging();
    // Gives the written file its name after the moment the export started,
    // e.g. "Tallyhive 2026-12-07 20.55.01.xlsx", then "... (2).xlsx" and so
    // on: nothing is ever overwritten, not an earlier export started in the
    // same second, not a file that appears under the name at the last moment,
    // and a link at the name is never followed. Returns the path; throws AppError.
    QString claimName();
    // Removes the staging file, if any.
    void discard();

private:
    QString folder_;
    QString stem_;
    QString staging_;
    bool reserved_ = false;
};

}  // namespace tallyhive::platform
