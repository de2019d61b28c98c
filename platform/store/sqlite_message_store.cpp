#include "platform/store/sqlite_message_store.h"

#include "app/error_log.h"
#include "platform/store/store_file.h"
#include "platform/store/stored_record.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace tallyhive::platform {
namespace {

const char* const kFileName = "messages.sqlite";
constexpr int kApplicationId = 0x54485631;
// The layout of the tables; a store of a higher one is a newer program's.
constexpr int kLayoutVersion = 1;
// Another window may be writing a batch meanwhile; batches are short, and
// the window waits while a run reads back what is kept.
constexpr int kBusyTimeoutMs = 2000;
// A transaction's pages wait in the cache until it commits: batches stay
// small, so the store does not make the window larger.
constexpr size_t kBatchRecords = 32;
constexpr int kForeign = -1;
constexpr int kNewer = -2;
constexpr int kRefused = -3;

const char* const kTables =
    "CREATE TABLE IF NOT EXISTS folders(id INTEGER PRIMARY KEY, user TEXT NOT NULL, host TEXT NOT NULL,"
    " mailbox TEXT NOT NULL, uidvalidity INTEGER NOT NULL, rules INTEGER NOT NULL, used INTEGER NOT NULL,"
    " UNIQUE(user, host, mailbox));"
    "CREATE TABLE IF NOT EXISTS messages(folder INTEGER NOT NULL, uid INTEGER NOT NULL, record BLOB NOT NULL,"
    " PRIMARY KEY(folder, uid));";

struct Failure {
    int code;
    QString text;
};

QString lowered(const QString& text) { return text.toLower(); }

qint64 now() { return QDateTime::currentMSecsSinceEpoch(); }

void check(sqlite3* db, int rc)
{
    if (rc != SQLITE_OK && rc != SQLITE_ROW && rc != SQLITE_DONE)
        throw Failure{rc, QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc))};
}

void exec(sqlite3* db, const char* sql) { check(db, sqlite3_exec(db, sql, nullptr, nullptr, nullptr)); }

// Turning a file to write-ahead logging takes it alone for a moment, and
// another program opening the same file then hears "busy" at once, without
// the busy timeout's wait: it waits here the same way.
void execWaitingForOthers(sqlite3* db, const char* sql)
{
    QElapsedTimer waited;
    waited.start();
    int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    while (rc == SQLITE_BUSY && !waited.hasExpired(kBusyTimeoutMs)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    }
    check(db, rc);
}

class Statement {
public:
    Statement(sqlite3* db, const char* sql) : db_(db) { check(db_, sqlite3_prepare_v2(db_, sql, -1, &statement_, nullptr)); }
    ~Statement() { sqlite3_finalize(statement_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, qint64 value)
    {
        check(db_, sqlite3_bind_int64(statement_, index, value));
        return *this;
    }
    Statement& bind(int index, const QString& text)
    {
        const QByteArray utf8 = text.toUtf8();
        check(db_, sqlite3_bind_text(statement_, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT));
        return *this;
    }
    Statement& bindBlob(int index, const QByteArray& bytes)
    {
        check(db_, sqlite3_bind_blob(statement_, index, bytes.constData(), int(bytes.size()), SQLITE_STATIC));
        return *this;
    }
    // True while it gives a row.
    bool step()
    {
        const int rc = sqlite3_step(statement_);
        check(db_, rc);
        return rc == SQLITE_ROW;
    }
    void reset()
    {
        sqlite3_reset(statement_);
        sqlite3_clear_bindings(statement_);
    }
    qint64 integer(int column) const { return sqlite3_column_int64(statement_, column); }
    // Not a copy: valid until the next step.
    QByteArray blob(int column) const
    {
        const void* data = sqlite3_column_blob(statement_, column);
        return QByteArray::fromRawData(static_cast<const char*>(data), sqlite3_column_bytes(statement_, column));
    }

private:
    sqlite3* db_;
    sqlite3_stmt* statement_ = nullptr;
};

qint64 scalar(sqlite3* db, const char* sql)
{
    Statement statement(db, sql);
    return statement.step() ? statement.integer(0) : 0;
}

// Rolls back unless committed, so a failure leaves the file as it was.
class Transaction {
public:
    explicit Transaction(sqlite3* db) : db_(db) { exec(db_, "BEGIN IMMEDIATE"); }
    ~Transaction()
    {
        if (!committed_)
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    void commit()
    {
        exec(db_, "COMMIT");
        committed_ = true;
    }

private:
    sqlite3* db_;
    bool committed_ = false;
};

}  // namespace

SqliteMessageStore::SqliteMessageStore(MessageStoreOptions options)
    : options_(std::move(options)), path_(QDir(options_.folder).filePath(QLatin1String(kFileName)))
{
}

SqliteMessageStore::~SqliteMessageStore()
{
    {
        std::lock_guard lock(queueGuard_);
        stopping_ = true;
    }
    queueChanged_.notify_all();
    if (writer_.joinable())
        writer_.join();
    std::lock_guard lock(dbGuard_);
    close();
}

void SqliteMessageStore::setInUse(bool inUse) { inUse_ = inUse; }

bool SqliteMessageStore::inUse() const { return inUse_ && !failed_; }

bool SqliteMessageStore::open()
{
    if (failed_)
        return false;
    if (db_)
        return true;
    try {
        return openFile();
    } catch (const Failure& failure) {
        fail(failure.code, failure.text);
        return false;
    }
}

bool SqliteMessageStore::openFile()
{
    if (QString why = store_file::refuseFolder(options_.folder); !why.isEmpty())
        throw Failure{kRefused, why};
    if (QString why = store_file::refuseFile(path_); !why.isEmpty())
        throw Failure{kRefused, why};
    const int rc = sqlite3_open_v2(QFile::encodeName(path_).constData(), &db_,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_NOMUTEX, nullptr);
    check(db_, rc);
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    // Read in one statement, so from one state of the file: another program
    // may be making it meanwhile, and its tables without its mark would look
    // like a file of someone else's.
    qint64 application = 0;
    qint64 layout = 0;
    qint64 tables = 0;
    {
        Statement facts(db_,
                        "SELECT (SELECT application_id FROM pragma_application_id), (SELECT user_version FROM pragma_user_version),"
                        " (SELECT count(*) FROM sqlite_master)");
        if (facts.step()) {
            application = facts.integer(0);
            layout = facts.integer(1);
            tables = facts.integer(2);
        }
    }
    if (application != kApplicationId && (application != 0 || tables != 0))
        throw Failure{kForeign, QStringLiteral("%1 is not a store of this program's").arg(path_)};
    if (layout > kLayoutVersion)
        throw Failure{kNewer, QStringLiteral("%1 was made by a newer version of this program").arg(path_)};
    if (tables == 0)
        exec(db_, "PRAGMA auto_vacuum=INCREMENTAL");
    // Deleted mail is overwritten, so forgetting an account leaves nothing of it.
    // A small cache: records are read once per run and written once, and the
    // window that holds them all must not grow for the store.
    execWaitingForOthers(db_, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA secure_delete=ON;"
                              " PRAGMA journal_size_limit=67108864; PRAGMA cache_size=-512");
    Transaction transaction(db_);
    exec(db_, kTables);
    exec(db_, QStringLiteral("PRAGMA application_id=%1; PRAGMA user_version=%2").arg(kApplicationId).arg(kLayoutVersion).toUtf8().constData());
    transaction.commit();
    return true;
}

void SqliteMessageStore::fail(int code, const QString& text)
{
    if (failed_)
        return;
    failed_ = true;
    close();
    // A damaged file helps no one: the next run starts a new one.
    const bool damaged = code == SQLITE_CORRUPT || code == SQLITE_NOTADB;
    if (damaged)
        store_file::remove(path_);
    const QString what = damaged ? QStringLiteral("%1 was damaged (%2) and is removed").arg(path_, text) : text;
    appendErrorLogEntry(QStringLiteral("The message store is not used for the rest of this run, every message is read from the server: %1").arg(what));
}

void SqliteMessageStore::close()
{
    if (db_)
        sqlite3_close_v2(db_);
    db_ = nullptr;
}

std::map<quint32, EmailRecord> SqliteMessageStore::recordsFor(const StoredFolder& folder, const ListedUids& listed)
{
    // What an earlier run read is in the file before this one looks.
    flush();
    std::map<quint32, EmailRecord> records;
    std::lock_guard lock(dbGuard_);
    if (!inUse_ || !open())
        return records;
    try {
        Transaction transaction(db_);
        Statement find(db_, "SELECT id, uidvalidity, rules FROM folders WHERE user=? AND host=? AND mailbox=?");
        find.bind(1, lowered(folder.user)).bind(2, lowered(folder.host)).bind(3, folder.mailbox);
        if (!find.step())
            return records;
        const qint64 id = find.integer(0);
        if (find.integer(1) != folder.uidValidity || find.integer(2) != folder.rules) {
            // Renumbered, or made by other rules: nothing kept is of use.
            Statement drop(db_, "DELETE FROM messages WHERE folder=?");
            drop.bind(1, id).step();
        }
        Statement touch(db_, "UPDATE folders SET uidvalidity=?, rules=?, used=? WHERE id=?");
        touch.bind(1, folder.uidValidity).bind(2, folder.rules).bind(3, now()).bind(4, id).step();

        std::vector<quint32> uids = listed.uids;
        std::sort(uids.begin(), uids.end());
        std::vector<quint32> gone;
        Statement read(db_, "SELECT uid, record FROM messages WHERE folder=? AND uid BETWEEN ? AND ? ORDER BY uid");
        read.bind(1, id).bind(2, listed.low).bind(3, listed.high);
        while (read.step()) {
            const auto uid = static_cast<quint32>(read.integer(0));
            std::optional<EmailRecord> record;
            if (std::binary_search(uids.begin(), uids.end(), uid))
                record = stored_record::restored(read.blob(1));
            if (record)
                records.emplace(uid, std::move(*record));
            else
                gone.push_back(uid);  // deleted on the server, or damaged here
        }
        Statement drop(db_, "DELETE FROM messages WHERE folder=? AND uid=?");
        for (const quint32 uid : gone) {
            drop.bind(1, id).bind(2, uid).step();
            drop.reset();
        }
        transaction.commit();
    } catch (const Failure& failure) {
        fail(failure.code, failure.text);
        records.clear();
    }
    return records;
}

void SqliteMessageStore::keep(const StoredFolder& folder, quint32 uid, const EmailRecord& record)
{
    if (!inUse())
        return;
    {
        std::lock_guard lock(queueGuard_);
        if (!writer_.joinable())
            writer_ = std::thread([this] { writeLoop(); });
        queue_.push_back({folder, uid, record});
    }
    queueChanged_.notify_all();
}

void SqliteMessageStore::flush()
{
    std::unique_lock lock(queueGuard_);
    queueChanged_.wait(lock, [this] { return queue_.empty() && !writing_; });
}

void SqliteMessageStore::writeLoop()
{
    std::unique_lock lock(queueGuard_);
    while (true) {
        queueChanged_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty())
            return;
        std::deque<Pending> batch;
        while (!queue_.empty() && batch.size() < kBatchRecords) {
            batch.push_back(std::move(queue_.front()));
            queue_.pop_front();
        }
        writing_ = true;
        lock.unlock();
        {
            std::lock_guard db(dbGuard_);
            if (inUse_ && open())
                writeBatch(batch);
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
    Statement find(db_, "SELECT id, uidvalidity, rules FROM folders WHERE user=? AND host=? AND mailbox=?");
    find.bind(1, lowered(folder.user)).bind(2, lowered(folder.host)).bind(3, folder.mailbox);
    if (find.step())
        return find.integer(1) == folder.uidValidity && find.integer(2) == folder.rules ? find.integer(0) : -1;
    if (!create)
        return -1;
    Statement add(db_, "INSERT INTO folders(user, host, mailbox, uidvalidity, rules, used) VALUES(?, ?, ?, ?, ?, ?)");
    add.bind(1, lowered(folder.user)).bind(2, lowered(folder.host)).bind(3, folder.mailbox);
    add.bind(4, folder.uidValidity).bind(5, folder.rules).bind(6, now()).step();
    return sqlite3_last_insert_rowid(db_);
}

void SqliteMessageStore::writeBatch(std::deque<Pending>& batch)
{
    try {
        Transaction transaction(db_);
        Statement insert(db_, "INSERT OR REPLACE INTO messages(folder, uid, record) VALUES(?, ?, ?)");
        Statement touch(db_, "UPDATE folders SET used=? WHERE id=?");
        const StoredFolder* lastFolder = nullptr;
        qint64 id = -1;
        qint64 used = usedBytes();
        for (const Pending& pending : batch) {
            const StoredFolder& folder = pending.folder;
            if (!lastFolder || folder.user != lastFolder->user || folder.host != lastFolder->host || folder.mailbox != lastFolder->mailbox
                || folder.uidValidity != lastFolder->uidValidity || folder.rules != lastFolder->rules) {
                id = folderId(folder, true);
                lastFolder = &folder;
                if (id >= 0) {
                    touch.bind(1, now()).bind(2, id).step();
                    touch.reset();
                }
            }
            if (id < 0)
                continue;
            const QByteArray piece = stored_record::serialised(pending.record);
            if (used + piece.size() > options_.capBytes) {
                if (!makeRoom(id, piece.size()))
                    continue;  // beyond the cap even alone: the rest of the folder is read each time
                used = usedBytes();
            }
            insert.bind(1, id).bind(2, pending.uid).bindBlob(3, piece).step();
            insert.reset();
            used += piece.size();
        }
        transaction.commit();
    } catch (const Failure& failure) {
        fail(failure.code, failure.text);
    }
}

qint64 SqliteMessageStore::usedBytes()
{
    return (scalar(db_, "PRAGMA page_count") - scalar(db_, "PRAGMA freelist_count")) * scalar(db_, "PRAGMA page_size");
}

// The folders used least recently go until `bytes` more fit under the cap;
// false when only `keepFolder` is left and they still do not.
bool SqliteMessageStore::makeRoom(qint64 keepFolder, qint64 bytes)
{
    while (usedBytes() + bytes > options_.capBytes) {
        Statement oldest(db_, "SELECT id FROM folders WHERE id<>? ORDER BY used, id LIMIT 1");
        oldest.bind(1, keepFolder);
        if (!oldest.step())
            return false;
        const qint64 id = oldest.integer(0);
        Statement dropMessages(db_, "DELETE FROM messages WHERE folder=?");
        dropMessages.bind(1, id).step();
        Statement dropFolder(db_, "DELETE FROM folders WHERE id=?");
        dropFolder.bind(1, id).step();
    }
    return true;
}

void SqliteMessageStore::forget(const QString& user, const QString& host)
{
    {
        std::lock_guard lock(queueGuard_);
        std::erase_if(queue_, [&](const Pending& pending) {
            return lowered(pending.folder.user) == lowered(user) && lowered(pending.folder.host) == lowered(host);
        });
    }
    flush();
    std::lock_guard lock(dbGuard_);
    if ((!db_ && !QFileInfo::exists(path_)) || !open())
        return;
    try {
        qint64 left = 0;
        {
            Transaction transaction(db_);
            Statement dropMessages(db_, "DELETE FROM messages WHERE folder IN (SELECT id FROM folders WHERE user=? AND host=?)");
            dropMessages.bind(1, lowered(user)).bind(2, lowered(host)).step();
            Statement dropFolders(db_, "DELETE FROM folders WHERE user=? AND host=?");
            dropFolders.bind(1, lowered(user)).bind(2, lowered(host)).step();
            left = scalar(db_, "SELECT count(*) FROM folders");
            transaction.commit();
        }
        if (left == 0) {
            close();
            store_file::remove(path_);
            return;
        }
        // The pages that held the mail go back, and the log of changes with them.
        exec(db_, "PRAGMA incremental_vacuum; PRAGMA wal_checkpoint(TRUNCATE)");
    } catch (const Failure& failure) {
        fail(failure.code, failure.text);
    }
}

bool SqliteMessageStore::removeAll(const QString& folder, QString* why)
{
    const QString path = QDir(folder).filePath(QLatin1String(kFileName));
    store_file::remove(path);
    if (QFileInfo::exists(path)) {
        if (why)
            *why = QStringLiteral("%1 could not be removed").arg(path);
        return false;
    }
    return true;
}

}  // namespace tallyhive::platform
