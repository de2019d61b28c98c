#pragma once

#include "interfaces/email_record.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <map>
#include <optional>
#include <vector>

namespace tallyhive::platform {

// The folder a record was read from, and the numbering it was read under:
// IMAP promises that a message never changes under its UID while the
// folder's UIDVALIDITY stays the same.
struct StoredFolder {
    QString user;  // the login name, in any case
    QString host;
    int port = 993;
    // The bytes the server listed the folder by: two folders shown alike are
    // told apart by them whatever order the server lists them in.
    QByteArray mailbox;
    quint32 uidValidity = 0;
    int rules = 0;  // the version of the conversion rules that made the records
};

// The UIDs a fetch run found in one stretch of a folder: every UID from
// `low` to `high` that the folder still holds is among `uids`.
struct ListedUids {
    std::vector<quint32> uids;
    quint32 low = 0;
    quint32 high = 0;
};

// Converted records kept between runs, so that a folder read before costs
// only what is new in it. Never in the way: whatever goes wrong with the
// store, a call gives what a store that holds nothing would give, and the
// log says why once.
class MessageStore {
public:
    virtual ~MessageStore() = default;

    // Records are kept and given only while the user chose to be remembered.
    virtual void setInUse(bool inUse) = 0;
    virtual bool inUse() const = 0;
    // Drops what the folder no longer holds (records of another UIDVALIDITY
    // or rules, of UIDs within the stretch that were not listed, and any
    // that cannot be read back), then gives the records kept for the listed
    // UIDs, by UID. Nothing when the file is held by another program or
    // still being written at the moment: the caller lets the window breathe
    // and asks again, or reads those messages from the server.
    virtual std::optional<std::map<quint32, EmailRecord>> recordsFor(const StoredFolder& folder, const ListedUids& listed) = 0;
    // Keeps a record read from the folder; written later, off the caller's thread.
    virtual void keep(const StoredFolder& folder, quint32 uid, const EmailRecord& record) = 0;
    // Waits until every record kept so far is written, or given up.
    virtual void flush() = 0;
    // Removes every record of every account, leaving nothing of them on
    // disk, also when the store gave up earlier in the run or was never opened.
    virtual void forget() = 0;
};

}  // namespace tallyhive::platform
