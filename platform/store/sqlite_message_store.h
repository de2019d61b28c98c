#pragma once

#include "interfaces/mail_result.h"
#include "interfaces/message_store.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

struct sqlite3;

namespace tallyhive::platform {

namespace sqlite {
struct Failure;
}

struct MessageStoreOptions {
    QString folder;                               // the store's own folder; made 0700 when missing
    qint64 capBytes = 2LL * 1024 * 1024 * 1024;   // the files together, log of changes included; the folders used least recently go first beyond it
};

// The store in one SQLite database, messages.sqlite in its folder. Several
// windows may use it at once: it is written in WAL mode, in transactions,
// waiting a while for another's, though never the window itself for longer
// than a repaint. Records are written on a thread of the store's own, in
// batches. Once anything goes wrong with the file (a full disk, a lock held
// too long, a damaged, foreign or newer file) the store says so in the log
// once and holds nothing for the rest of the run; a damaged file is removed,
// so the next run starts a new one.
class SqliteMessageStore : public MessageStore {
public:
    explicit SqliteMessageStore(MessageStoreOptions options);
    ~SqliteMessageStore() override;
    SqliteMessageStore(const SqliteMessageStore&) = delete;
    SqliteMessageStore& operator=(const SqliteMessageStore&) = delete;

    void setInUse(bool inUse) override;
    bool inUse() const override;
    std::optional<std::map<quint32, EmailRecord>> recordsFor(const StoredFolder& folder, const ListedUids& listed) override;
    void keep(const StoredFolder& folder, quint32 uid, const EmailRecord& record) override;
    void flush() override;
    void forget() override;

    // Removes the whole store of every account; Failed, saying which, when a file stays.
    static MailResult removeAll(const QString& folder);

private:
    struct Pending {
        StoredFolder folder;
        quint32 uid = 0;
        EmailRecord record;
    };

    // All of these run with dbGuard_ held.
    bool open();
    bool openFile();
    qint64 checkedLayout();
    void applySettings();
    void fail(const sqlite::Failure& failure);
    void noteOnce(bool& noted, const QString& text);
    std::map<quint32, EmailRecord> readKept(const StoredFolder& folder, const ListedUids& listed, bool& removed);
    qint64 folderId(const StoredFolder& folder, bool create);
    void writeBatch(std::deque<Pending>& batch);
    bool makeRoom(qint64 folder, qint64 bytes);
    qint64 fileBytes();
    qint64 logBytes() const;
    qint64 logAllowance() const;
    qint64 fileAllowance() const;  // the cap less the log's share
    void emptyLog();
    void close();

    void writeLoop();
    bool flushedWithin(int ms);
    static int waitWhileBusy(void* store, int tries);

    const MessageStoreOptions options_;
    const QString path_;

    std::timed_mutex dbGuard_;
    sqlite3* db_ = nullptr;
    // Read without the lock: keep() must not wait for a batch being written.
    std::atomic<bool> failed_ = false;
    std::atomic<bool> inUse_ = false;
    // How long a statement waits for another program's lock: the writer's
    // thread may wait a while, the window only as long as a repaint.
    std::atomic<int> waitMs_;
    // Set while forgetting: a batch waiting for a lock gives up at once.
    std::atomic<bool> stopWaiting_ = false;
    bool busyNoted_ = false;
    bool damagedNoted_ = false;

    std::mutex queueGuard_;  // never taken while dbGuard_ is held
    std::condition_variable queueChanged_;
    std::deque<Pending> queue_;
    bool writing_ = false;
    bool stopping_ = false;
    std::thread writer_;
};

}  // namespace tallyhive::platform
