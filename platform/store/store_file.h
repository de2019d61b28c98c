#pragma once

#include <QString>

namespace tallyhive::platform::store_file {

// The store holds the user's mail, so its folder and files are the user's
// alone and no link is followed to or inside them.

// Makes the folder (0700) when missing; why it may not hold the store, or
// an empty text: it must be a real folder of this user's, not a link.
QString refuseFolder(const QString& folder);

// Makes the file (0600) when missing; why it may not be the store, or an
// empty text: a plain file of this user's with no other name, not a link.
QString refuseFile(const QString& path);

// Removes the store file and the files SQLite keeps beside it.
void remove(const QString& path);

}  // namespace tallyhive::platform::store_file
