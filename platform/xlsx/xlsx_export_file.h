#pragma once

#include <QDateTime>
#include <QString>

namespace tallyhive::platform {

// Creates the folder when missing and claims a new, empty file in it named
// after the moment, e.g. "Tallyhive 2026-12-07 20.55.01.xlsx", then
// "... (2).xlsx" and so on: an earlier export is never overwritten, not even
// by one started in the same second. Returns its path; throws AppError when
// the folder cannot be made or written.
QString claimExportFile(const QString& folder, const QDateTime& now);

}  // namespace tallyhive::platform
