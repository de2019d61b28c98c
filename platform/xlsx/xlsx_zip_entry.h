#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace tallyhive::platform {

// Rewrites one entry of a finished zip archive (an .xlsx is one): the entry's
// contents go through edit, every other entry is copied byte for byte. The
// file is replaced only once the new archive is complete. Throws AppError.
void editZipEntry(const QString& archivePath, const QByteArray& entryName,
                  const std::function<QByteArray(const QByteArray&)>& edit);

}  // namespace tallyhive::platform
