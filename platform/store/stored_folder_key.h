#pragma once

#include "interfaces/message_store.h"
#include "platform/store/sqlite_statement.h"

#include <QDateTime>

namespace tallyhive::platform::stored_folder_key {

// A folder is kept under whose it is (the user and host in lower case), the
// port and the bytes the server listed it by.
inline const char* const kFind = "SELECT id, uidvalidity, rules FROM folders WHERE user=? AND host=? AND port=? AND mailbox=?";

inline void bind(sqlite::Statement& statement, const StoredFolder& folder)
{
    statement.bind(1, folder.user.toLower()).bind(2, folder.host.toLower()).bind(3, folder.port).bindBlob(4, folder.mailbox);
}

// When a folder was used last, for the cap to drop the oldest first.
inline qint64 now() { return QDateTime::currentMSecsSinceEpoch(); }

}  // namespace tallyhive::platform::stored_folder_key
