#include "platform/store/sqlite_message_store.h"

#include "app/error_log.h"
#include "platform/store/sqlite_statement.h"
#include "platform/store/store_file.h"
#include "platform/store/stored_folder_key.h"
#include "platform/store/stored_record.h"

#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>

#include <algorithm>
#include <chrono>
#include <thread>

namespace tallyhive::platform {
namespace {

using sqlite::exec;
using sqlite::Failure;
using sqlite::scalar;
using sqlite::Statement;
using sqlite::Transaction;

const char* const kFileName = "messages.sqlite";
constexpr int kApplicationId = 0x54485631;
// The layout of the tables; a store of a higher one is a newer program's,
// one of a lower one is emptied: it holds only what can be read again.
constexpr int kLayoutVersion = 2;
// Another window may be writing a batch meanwhile; batches are short.
constexpr int kWriterWaitMs = 2000;
// The window itself waits no longer than a repaint takes, then lets its
// events run and asks again.
constexpr int kWindowWaitMs = 50;
constexpr int kBusyStepMs = 5;

const char* const kTables =
    "CREATE TABLE IF NOT EXISTS folders(id INTEGER PRIMARY KEY, user TEXT NOT NULL, host TEXT NOT NULL, port INTEGER NOT NULL,"
    " mailbox BLOB NOT NULL, uidvalidity INTEGER NOT NULL, rules INTEGER NOT NULL, used INTEGER NOT NULL,"
    " UNIQUE(user, host, port, mailbox));"
    "CREATE TABLE IF NOT EXISTS messages(folder INTEGER NOT NULL, uid INTEGER NOT NULL, record BLOB NOT NULL,"
    " PRIMARY KEY(folder, uid));";
}  // namespace

SqliteMessageStore::SqliteMessageStore(MessageStoreOptions options)
    : options_(std::move(options)), path_(QDir(options_.folder).filePath(QLatin1String(kFileName))), waitMs_(kWriterWaitMs)
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

int SqliteMessageStore::waitWhileBusy(void* store, int tries)
{
    const auto* self = static_cast<const SqliteMessageStore*>(store);
    if (self->stopWaiting_ || qint64(tries) * kBusyStepMs >= self->waitMs_)
        return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(kBusyStepMs));
    return 1;
}

bool SqliteMessageStore::open()
{
    if (failed_)
        return false;
    if (db_)
        return true;
    try {
        return openFile();
    } catch (const Failure& failure) {
        if (failure.status == sqlite::StoreStatus::Busy) {
            close();  // another program is making the file: the next call tries again
            throw;
        }
        fail(failure);
        return false;
    }
}

bool SqliteMessageStore::openFile()
{
    if (QString why = store_file::refuseFolder(options_.folder); !why.isEmpty())
        throw Failure{sqlite::StoreStatus::Failed, why};
    if (QString why = store_file::refuseFile(path_); !why.isEmpty())
        throw Failure{sqlite::StoreStatus::Failed, why};
    const int rc = sqlite3_open_v2(QFile::encodeName(path_).constData(), &db_,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_NOMUTEX, nullptr);
    sqlite::check(db_, rc);
    sqlite3_busy_handler(db_, &SqliteMessageStore::waitWhileBusy, this);
    const qint64 layout = checkedLayout();
    applySettings();
    Transaction transaction(db_);
    if (layout != 0 && layout < kLayoutVersion)
        exec(db_, "DROP TABLE IF EXISTS messages; DROP TABLE IF EXISTS folders");
    exec(db_, kTables);
    exec(db_, QStringLiteral("PRAGMA application_id=%1; PRAGMA user_version=%2").arg(kApplicationId).arg(kLayoutVersion).toUtf8().constData());
    transaction.commit();
    return true;
}

// The file's layout version, once it is known to be this program's store
// of a layout it can read (0 for a file still empty).
qint64 SqliteMessageStore::checkedLayout()
{
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
        throw Failure{sqlite::StoreStatus::Failed, QStringLiteral("%1 is not a store of this program's").arg(path_)};
    if (layout > kLayoutVersion)
        throw Failure{sqlite::StoreStatus::Failed, QStringLiteral("%1 was made by a newer version of this program").arg(path_)};
    if (tables == 0)
        exec(db_, "PRAGMA auto_vacuum=INCREMENTAL");
    return layout;
}

// Deleted mail is overwritten, so forgetting a message leaves nothing of it.
// A small cache: records are read once per run and written once, and the
// window that holds them all must not grow for the store.
void SqliteMessageStore::applySettings()
{
    const qint64 logPages = qMax<qint64>(1, logAllowance() / 2 / scalar(db_, "PRAGMA page_size"));
    const QByteArray settings = QStringLiteral("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA secure_delete=ON;"
                                               " PRAGMA journal_size_limit=%1; PRAGMA wal_autocheckpoint=%2; PRAGMA cache_size=-512")
                                    .arg(logAllowance() / 2)
                                    .arg(logPages)
                                    .toUtf8();
    // Turning a file to write-ahead logging takes it alone for a moment:
    // another program opening it then hears "busy" at once, without the busy
    // handler, so this waits as the handler would.
    int rc = sqlite3_exec(db_, settings.constData(), nullptr, nullptr, nullptr);
    for (int tries = 0; rc == SQLITE_BUSY && waitWhileBusy(this, tries); ++tries)
        rc = sqlite3_exec(db_, settings.constData(), nullptr, nullptr, nullptr);
    sqlite::check(db_, rc);
}

void SqliteMessageStore::fail(const sqlite::Failure& failure)
{
    if (failed_)
        return;
    failed_ = true;
    close();
    // A damaged file helps no one: the next run starts a new one.
    const bool damaged = failure.status == sqlite::StoreStatus::Damaged;
    if (damaged)
        store_file::remove(path_);
    const QString what = damaged ? QStringLiteral("%1 was damaged (%2) and is removed").arg(path_, failure.text) : failure.text;
    appendErrorLogEntry(QStringLiteral("The message store is not used for the rest of this run, every message is read from the server: %1").arg(what));
}

void SqliteMessageStore::noteOnce(bool& noted, const QString& text)
{
    if (!noted)
        appendErrorLogEntry(text);
    noted = true;
}

void SqliteMessageStore::close()
{
    if (db_)
        sqlite3_close_v2(db_);
    db_ = nullptr;
}

bool SqliteMessageStore::flushedWithin(int ms)
{
    std::unique_lock lock(queueGuard_);
    return queueChanged_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return queue_.empty() && !writing_; });
}

std::optional<std::map<quint32, EmailRecord>> SqliteMessageStore::recordsFor(const StoredFolder& folder, const ListedUids& listed)
{
    if (!inUse())
        return std::map<quint32, EmailRecord>();
    // What an earlier run read is in the file before this one looks.
    std::unique_lock lock(dbGuard_, std::defer_lock);
    if (!flushedWithin(kWindowWaitMs) || !lock.try_lock_for(std::chrono::milliseconds(kWindowWaitMs)))
        return std::nullopt;
    waitMs_ = kWindowWaitMs;
    const auto restore = qScopeGuard([this] { waitMs_ = kWriterWaitMs; });
    try {
        if (!open())
            return std::map<quint32, EmailRecord>();
        bool removed = false;
        auto records = readKept(folder, listed, removed);
        // Nothing of a deleted message stays behind in the log of changes
        // either; with the statements that read it done.
        if (removed)
            emptyLog();
        return records;
    } catch (const Failure& failure) {
        if (failure.status == sqlite::StoreStatus::Busy)
            return std::nullopt;
        fail(failure);
    }
    return std::map<quint32, EmailRecord>();
}

std::map<quint32, EmailRecord> SqliteMessageStore::readKept(const StoredFolder& folder, const ListedUids& listed, bool& removed)
{
    std::map<quint32, EmailRecord> records;
    Transaction transaction(db_);
    Statement find(db_, stored_folder_key::kFind);
    stored_folder_key::bind(find, folder);
    if (!find.step())
        return records;
    const qint64 id = find.integer(0);
    bool dropped = false;
    if (find.integer(1) != folder.uidValidity || find.integer(2) != folder.rules) {
        // Renumbered, or made by other rules: nothing kept is of use.
        Statement drop(db_, "DELETE FROM messages WHERE folder=?");
        drop.bind(1, id).step();
        dropped = sqlite3_changes(db_) > 0;
    }
    Statement touch(db_, "UPDATE folders SET uidvalidity=?, rules=?, used=? WHERE id=?");
    touch.bind(1, folder.uidValidity).bind(2, folder.rules).bind(3, stored_folder_key::now()).bind(4, id).step();

    std::vector<quint32> uids = listed.uids;
    std::sort(uids.begin(), uids.end());
    std::vector<quint32> gone;
    int damaged = 0;
    Statement read(db_, "SELECT uid, record FROM messages WHERE folder=? AND uid BETWEEN ? AND ? ORDER BY uid");
    read.bind(1, id).bind(2, listed.low).bind(3, listed.high);
    while (read.step()) {
        const auto uid = static_cast<quint32>(read.integer(0));
        if (!std::binary_search(uids.begin(), uids.end(), uid)) {
            gone.push_back(uid);  // deleted on the server
        } else if (auto record = stored_record::restored(read.blob(1))) {
            records.emplace(uid, std::move(*record));
        } else {
            gone.push_back(uid);  // damaged here, or claiming more than a message can hold: read again
            ++damaged;
        }
    }
    Statement drop(db_, "DELETE FROM messages WHERE folder=? AND uid=?");
    for (const quint32 uid : gone) {
        drop.bind(1, id).bind(2, uid).step();
        drop.reset();
    }
    transaction.commit();
    if (damaged > 0)
        noteOnce(damagedNoted_, QStringLiteral("%1 kept messages could not be read back from the message store and are read from the server again")
                                    .arg(damaged));
    removed = dropped || !gone.empty();
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

// The files go whole, whatever became of the store in this run: nothing of
// the mail is left in the database, its log of changes or its free pages.
void SqliteMessageStore::forget()
{
    stopWaiting_ = true;
    {
        std::lock_guard lock(queueGuard_);
        queue_.clear();
    }
    flush();
    std::lock_guard lock(dbGuard_);
    stopWaiting_ = false;
    close();
    store_file::remove(path_);
}

MailResult SqliteMessageStore::removeAll(const QString& folder)
{
    const QString path = QDir(folder).filePath(QLatin1String(kFileName));
    store_file::remove(path);
    if (QFileInfo::exists(path))
        return {MailStatus::Failed, QStringLiteral("%1 could not be removed").arg(path)};
    return {MailStatus::Ok, {}};
}

}  // namespace tallyhive::platform
