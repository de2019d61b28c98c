// The store on its own: what it does with files it did not make, its cap,
// and two programs writing at once.
#include "platform/store/sqlite_message_store.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sqlite3.h>

using namespace tallyhive;
using namespace tallyhive::platform;

namespace {

EmailRecord record(int bodyBytes)
{
    QString body;
    for (int i = 0; i < bodyBytes / 8; ++i)
        body += QString::number(QRandomGenerator::global()->generate64() | (1ULL << 63), 16).left(8);
    return EmailRecord{QStringLiteral("A <a@example.org>"), QStringLiteral("A"), QStringLiteral("a@example.org"), QStringLiteral("Hello"),
                       {}, body, {}, QDateTime::fromMSecsSinceEpoch(1700000000000)};
}

StoredFolder folder(const char* mailbox) { return {QStringLiteral("me"), QStringLiteral("127.0.0.1"), 993, mailbox, 7, 1}; }

const ListedUids kAll{{1, 2, 3}, 0, 0xffffffff};

// Keeps records 1 to 3 of the folder in a store of its own, then reads them back through another.
size_t keptAndReadBack(const QString& dir, const char* mailbox, int bodyBytes = 100)
{
    {
        SqliteMessageStore store({dir});
        store.setInUse(true);
        store.recordsFor(folder(mailbox), kAll);
        for (quint32 uid : {1, 2, 3})
            store.keep(folder(mailbox), uid, record(bodyBytes));
    }
    SqliteMessageStore store({dir});
    store.setInUse(true);
    return store.recordsFor(folder(mailbox), kAll).value_or(std::map<quint32, EmailRecord>()).size();
}

}  // namespace

TEST(MessageStore, AFileItDidNotMakeIsLeftAloneOrReplacedAndTheRunFallsBack)
{
    const QTemporaryDir logs;  // the store's one log entry per case goes here
    qputenv("TEMP", logs.path().toUtf8());
    struct Case {
        const char* what;
        const char* sql;   // run on a new database at the store's name; nothing: `bytes` is written there
        QByteArray bytes;
        size_t kept;       // records the store then keeps and gives back
        bool fileLeft;     // the file is still what was put there
        bool heldLocked = false;  // the database stays open, in a transaction, while the store runs
    };
    const Case cases[] = {
        {"another program's database", "CREATE TABLE t(x)", {}, 0, true},
        {"a newer version's store", "PRAGMA application_id=1414026801; PRAGMA user_version=9; CREATE TABLE t(x)", {}, 0, true},
        {"a damaged file", nullptr, QByteArray(4096, '\x5a'), 0, false},
        {"an empty file", nullptr, QByteArray(), 3, false},
        {"a store another program holds locked past the wait", "PRAGMA application_id=1414026801; BEGIN EXCLUSIVE", {}, 0, true, true},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.what);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("messages.sqlite"));
        sqlite3* db = nullptr;
        if (row.sql) {
            ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
            ASSERT_EQ(sqlite3_exec(db, row.sql, nullptr, nullptr, nullptr), SQLITE_OK);
            if (!row.heldLocked)
                sqlite3_close(db);
        } else {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(row.bytes) == row.bytes.size());
        }
        const QByteArray before = [&] { QFile file(path); return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray(); }();
        EXPECT_EQ(keptAndReadBack(dir.path(), "Inbox"), row.kept);
        if (row.heldLocked)
            sqlite3_close(db);
        QFile after(path);
        EXPECT_EQ(after.open(QIODevice::ReadOnly) && after.readAll() == before, row.fileLeft);
        EXPECT_EQ(QFileInfo(path).permissions() & (QFile::ReadGroup | QFile::ReadOther), 0);
    }
}

TEST(MessageStore, BeyondItsCapTheFolderUsedLeastRecentlyGoesAndForgettingLeavesNoFile)
{
    QTemporaryDir dir;
    {
        SqliteMessageStore store({dir.path(), 160 * 1024});
        store.setInUse(true);
        for (const char* mailbox : {"Old", "New"}) {
            store.recordsFor(folder(mailbox), kAll);
            for (quint32 uid : {1, 2, 3})
                store.keep(folder(mailbox), uid, record(60 * 1024));
            store.flush();
        }
        EXPECT_EQ(store.recordsFor(folder("Old"), kAll)->size(), 0u);
        EXPECT_EQ(store.recordsFor(folder("New"), kAll)->size(), 3u);
        store.forget();
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList());
    }
    // Two programs at once, each with its own folder.
    QTemporaryDir shared;
    SqliteMessageStore one({shared.path()}), two({shared.path()});
    for (SqliteMessageStore* store : {&one, &two})
        store->setInUse(true);
    for (quint32 uid : {1, 2, 3}) {
        one.keep(folder("One"), uid, record(5000));
        two.keep(folder("Two"), uid, record(5000));
    }
    one.flush();
    two.flush();
    EXPECT_EQ(one.recordsFor(folder("Two"), kAll)->size(), 3u);
    EXPECT_EQ(two.recordsFor(folder("One"), kAll)->size(), 3u);
}
