// SqliteMessageStore's writing side: batches from the queue on a thread of
// its own, within the cap, the database file and its log of changes each
// held to their share.
#include "platform/store/sqlite_message_store.h"

#include "platform/store/sqlite_statement.h"
#include "platform/store/stored_folder_key.h"
#include "platform/store/stored_record.h"

#include <QFileInfo>

namespace tallyhive::platform {
namespace {

// A transaction's pages wait in the cache until it commits: batches stay
// small, so the store does not make the window larger.
constexpr size_t kBatchRecords = 32;
// The log of changes may take this share of the cap, and at most this much.
constexpr qint64 kLogShare = 8;
constexpr qint64 kLargestLog = 64LL * 1024 * 1024;

bool sameFolder(const StoredFolder& a, const StoredFolder& b)
{
    return a.user == b.user && a.host == b.host && a.port == b.port && a.mailbox == b.mailbox && a.uidValidity == b.uidValidity
        && a.rules == b.rules;
}

}  // namespace

void SqliteMessageStore::writeLoop()
{
    std::unique_lock lock(queueGuard_);
    while (true) {
        queueChanged_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty())
            return;
        std::deque<Pending> batch;
        // A batch's pages pass through the log of changes: it stays within the log's share.
        qint64 batchBytes = 0;
        while (!queue_.empty() && batch.size() < kBatchRecords && (batch.empty() || batchBytes < logAllowance() / 2)) {
            batchBytes += 2 * (queue_.front().record.s_PlainText.size() + queue_.front().record.s_HTMLText.size());
            batch.push_back(std::move(queue_.front()));
            queue_.pop_front();
        }
        writing_ = true;
        lock.unlock();
        {
            std::lock_guard db(dbGuard_);
            try {
                if (inUse_ && open())
                    writeBatch(batch);
            } catch (const sqlite::Failure& failure) {
                fail(failure);
            }
        }
        batch.clear();
        lock.lock();
        writing_ = false;
        queueChanged_.notify_all();
    }
}

// -1 when the folder is kept under another numbering or rules: a record of
// an earlier run that reaches the file after a later one looked is stale.
qint64 SqliteMessageStore::folderId(const StoredFolder& folder, bool create)
{
    sqlite::Statement find(db_, stored_folder_key::kFind);
    stored_folder_key::bind(find, folder);
    if (find.step())
        return find.integer(1) == folder.uidValidity && find.integer(2) == folder.rules ? find.integer(0) : -1;
    if (!create)
        return -1;
    sqlite::Statement add(db_, "INSERT INTO folders(user, host, port, mailbox, uidvalidity, rules, used) VALUES(?, ?, ?, ?, ?, ?, ?)");
    stored_folder_key::bind(add, folder);
    add.bind(5, folder.uidValidity).bind(6, folder.rules).bind(7, stored_folder_key::now()).step();
    return sqlite3_last_insert_rowid(db_);
}

void SqliteMessageStore::writeBatch(std::deque<Pending>& batch)
{
    try {
        sqlite::Transaction transaction(db_);
        sqlite::Statement insert(db_, "INSERT OR REPLACE INTO messages(folder, uid, record) VALUES(?, ?, ?)");
        sqlite::Statement touch(db_, "UPDATE folders SET used=? WHERE id=?");
        const StoredFolder* lastFolder = nullptr;
        qint64 id = -1;
        qint64 used = fileBytes();
        const qint64 budget = fileAllowance();
        for (const Pending& pending : batch) {
            if (!lastFolder || !sameFolder(pending.folder, *lastFolder)) {
                id = folderId(pending.folder, true);
                lastFolder = &pending.folder;
                if (id >= 0) {
                    touch.bind(1, stored_folder_key::now()).bind(2, id).step();
                    touch.reset();
                }
            }
            const QByteArray piece = stored_record::serialised(pending.record);
            // What could not be read back is not kept: it is read from the server each time.
            if (id < 0 || !stored_record::restored(piece))
                continue;
            if (used + piece.size() > budget) {
                if (!makeRoom(id, piece.size()))
                    continue;  // beyond the cap even alone: the rest of the folder is read each time
                used = fileBytes();
            }
            insert.bind(1, id).bind(2, pending.uid).bindBlob(3, piece).step();
            insert.reset();
            used += piece.size();
        }
        transaction.commit();
    } catch (const sqlite::Failure& failure) {
        // Forgetting cut the wait for another program's lock short: what was
        // to be written is to be forgotten anyway.
        if (!stopWaiting_)
            fail(failure);
        return;
    }
    if (logBytes() > logAllowance() / 2)
        emptyLog();
}

// The file's size, free pages included: what the cap holds is what is on disk.
qint64 SqliteMessageStore::fileBytes() { return sqlite::scalar(db_, "PRAGMA page_count") * sqlite::scalar(db_, "PRAGMA page_size"); }

qint64 SqliteMessageStore::logBytes() const { return QFileInfo(path_ + QStringLiteral("-wal")).size(); }

qint64 SqliteMessageStore::logAllowance() const { return qMin(kLargestLog, options_.capBytes / kLogShare); }

qint64 SqliteMessageStore::fileAllowance() const { return options_.capBytes - logAllowance(); }

// Copies the log of changes into the file and empties it; left for later
// while another program reads.
void SqliteMessageStore::emptyLog() { sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr); }

// The folders used least recently go until `bytes` more fit under the cap;
// false when only `keepFolder` is left and they still do not.
bool SqliteMessageStore::makeRoom(qint64 keepFolder, qint64 bytes)
{
    const qint64 budget = fileAllowance();
    while (true) {
        // Pages freed earlier go back first: they may be room enough.
        sqlite::exec(db_, "PRAGMA incremental_vacuum");
        if (fileBytes() + bytes <= budget)
            return true;
        sqlite::Statement oldest(db_, "SELECT id FROM folders WHERE id<>? ORDER BY used, id LIMIT 1");
        oldest.bind(1, keepFolder);
        if (!oldest.step())
            return false;
        const qint64 id = oldest.integer(0);
        sqlite::Statement dropMessages(db_, "DELETE FROM messages WHERE folder=?");
        dropMessages.bind(1, id).step();
        sqlite::Statement dropFolder(db_, "DELETE FROM folders WHERE id=?");
        dropFolder.bind(1, id).step();
    }
}

}  // namespace tallyhive::platform
