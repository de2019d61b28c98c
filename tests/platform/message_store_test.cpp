// The store on its own: what each folder gets back, records it must not
// trust, files it did not make, its cap, forgetting, and two programs
// writing at once.
#include "platform/store/sqlite_message_store.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sqlite3.h>
#include <zlib.h>
#include <zstd.h>

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

// Message `uid`: an HTML body that repeats its plain text, so that it is packed beside it.
EmailRecord message(quint32 uid)
{
    const QString plain = QStringLiteral("Plain text of message %1, long enough to be packed. ").arg(uid).repeated(8);
    EmailRecord record{QStringLiteral("A <a@example.org>"), QStringLiteral("A"), QStringLiteral("a@example.org"),
                       QStringLiteral("Subject of message %1").arg(uid), {}, plain,
                       QStringLiteral("<html><p>%1</p></html>").arg(plain), QDateTime::fromMSecsSinceEpoch(1700000000000 + uid)};
    record.to = QStringLiteral("B <b@example.org>");
    record.cc = QStringLiteral("c@example.org");
    record.messageId = QStringLiteral("<%1@example.org>").arg(uid);
    record.attachments = QStringLiteral("report.pdf; Übersicht.xlsx");
    record.size = 5000000000LL + uid;
    return record;
}

// Every byte of every file in the folder.
QByteArray filesIn(const QString& dir)
{
    QByteArray all;
    for (const QString& name : QDir(dir).entryList(QDir::Files)) {
        QFile file(QDir(dir).filePath(name));
        if (file.open(QIODevice::ReadOnly))
            all += file.readAll();
    }
    return all;
}

void appendNumber(QByteArray& out, quint64 number, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.append(char((number >> (8 * i)) & 0xff));
}

// A kept record as another program could have written it, with its
// checksum right: empty fields, and a plain body of `bytes` that claims
// `claimed` units and bytes of text.
QByteArray craftedRecord(quint64 claimed, char flags, const QByteArray& bytes)
{
    QByteArray out(1, char(2));
    for (int field = 0; field < 8; ++field)
        appendNumber(out, 0, 4);
    appendNumber(out, 1700000000000, 8);
    appendNumber(out, 0, 8);
    out.append(char(0));
    appendNumber(out, quint64(17 + bytes.size()), 4);
    appendNumber(out, claimed, 8);
    appendNumber(out, claimed, 8);
    out += flags + bytes;
    appendNumber(out, 17, 4);
    out += QByteArray(17, '\0');
    appendNumber(out, crc32(0, reinterpret_cast<const Bytef*>(out.constData()), uInt(out.size())), 4);
    return out;
}

// A zstd frame of `size` letters: a few hundred bytes that unpack to all of them.
QByteArray bomb(qint64 size)
{
    const QByteArray letters(size, 'a');
    QByteArray out(qsizetype(ZSTD_compressBound(size_t(size))), Qt::Uninitialized);
    out.resize(qsizetype(ZSTD_compress(out.data(), size_t(out.size()), letters.constData(), size_t(size), 1)));
    return out;
}

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

// Records 1 to 3 kept under one folder's key, read under another's: only
// the key they were kept under gives them, and a folder renumbered, read
// under other rules, or whose message was deleted keeps nothing of what it
// no longer has, in the file or beside it.
TEST(MessageStore, AFolderGetsBackOnlyWhatWasKeptUnderItsKeyAndWhatItStillHolds)
{
    const QTemporaryDir logs;
    qputenv("TEMP", logs.path().toUtf8());
    const StoredFolder kept = folder("Name");
    const auto changed = [&kept](const std::function<void(StoredFolder&)>& change) {
        StoredFolder readAs = kept;
        change(readAs);
        return readAs;
    };
    struct Case {
        const char* what;
        StoredFolder readAs;
        ListedUids listed;
        std::vector<quint32> given;
        std::vector<quint32> goneFromDisk;
    };
    const Case cases[] = {
        {"the same folder", kept, kAll, {1, 2, 3}, {}},
        {"the user typed with capitals", changed([](StoredFolder& f) { f.user = QStringLiteral("ME"); }), kAll, {1, 2, 3}, {}},
        {"a folder shown alike, listed by other bytes", changed([](StoredFolder& f) { f.mailbox = "Name "; }), kAll, {}, {}},
        {"the same host on another port", changed([](StoredFolder& f) { f.port = 1993; }), kAll, {}, {}},
        {"newer conversion rules", changed([](StoredFolder& f) { f.rules = 2; }), kAll, {}, {1, 2, 3}},
        {"a renumbered folder", changed([](StoredFolder& f) { f.uidValidity = 8; }), kAll, {}, {1, 2, 3}},
        {"message 2 deleted on the server", kept, {{1, 3}, 0, 0xffffffff}, {1, 3}, {2}},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.what);
        QTemporaryDir dir;
        {
            SqliteMessageStore store({dir.path()});
            store.setInUse(true);
            for (quint32 uid : {1, 2, 3})
                store.keep(kept, uid, message(uid));
            store.flush();
            const auto given = store.recordsFor(row.readAs, row.listed);
            ASSERT_TRUE(given);
            std::vector<quint32> uids;
            for (const auto& [uid, record] : *given) {
                uids.push_back(uid);
                EXPECT_EQ(record.s_Subject, message(uid).s_Subject);
                EXPECT_EQ(record.s_PlainText.text(), message(uid).s_PlainText.text());
                EXPECT_EQ(record.s_HTMLText.text(), message(uid).s_HTMLText.text());
                EXPECT_EQ(record.receivedAt, message(uid).receivedAt);
                EXPECT_EQ(record.to + record.cc + record.messageId + record.attachments,
                          QStringLiteral("B <b@example.org>c@example.org<%1@example.org>report.pdf; Übersicht.xlsx").arg(uid));
                EXPECT_EQ(record.size, 5000000000LL + uid);
            }
            EXPECT_EQ(uids, row.given);
            // While the store is open: closing it folds the log of changes in.
            const QByteArray files = filesIn(dir.path());
            for (quint32 uid : {1u, 2u, 3u}) {
                const bool gone = std::find(row.goneFromDisk.begin(), row.goneFromDisk.end(), uid) != row.goneFromDisk.end();
                EXPECT_NE(files.contains(message(uid).s_Subject.toUtf8()), gone) << uid;
            }
        }
    }
}

// A record whose checksum holds is still checked before it is unpacked: one
// that claims more than it could hold is dropped, so its message is read
// from the server again, and the others are given.
TEST(MessageStore, ARecordClaimingMoreThanItHoldsIsDroppedAndTheOthersGiven)
{
    const QTemporaryDir logs;
    qputenv("TEMP", logs.path().toUtf8());
    const QByteArray abc = "abc";
    const struct {
        const char* what;
        QByteArray piece;
    } cases[] = {
        {"2^62 bytes claimed by three", craftedRecord(1ULL << 62, 0, abc)},
        {"a terabyte claimed by a frame", craftedRecord(1ULL << 40, 1, QByteArray::fromHex("28b52ffde0000000000001000009000061"))},
        {"a few hundred bytes unpacking to 8 MB", craftedRecord(8 << 20, 1, bomb(8 << 20))},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.what);
        QTemporaryDir dir;
        SqliteMessageStore store({dir.path()});
        store.setInUse(true);
        for (quint32 uid : {1, 2, 3})
            store.keep(folder("Inbox"), uid, message(uid));
        store.flush();
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(QFile::encodeName(dir.filePath(QStringLiteral("messages.sqlite"))).constData(), &db), SQLITE_OK);
        sqlite3_stmt* plant = nullptr;
        sqlite3_prepare_v2(db, "UPDATE messages SET record=? WHERE uid=2", -1, &plant, nullptr);
        sqlite3_bind_blob(plant, 1, row.piece.constData(), int(row.piece.size()), SQLITE_STATIC);
        EXPECT_EQ(sqlite3_step(plant), SQLITE_DONE);
        sqlite3_finalize(plant);
        sqlite3_close(db);
        const auto given = store.recordsFor(folder("Inbox"), kAll);
        ASSERT_TRUE(given);
        EXPECT_EQ(given->size(), 2u);
        EXPECT_EQ(given->count(2), 0u);
        EXPECT_EQ(store.recordsFor(folder("Inbox"), kAll)->size(), 2u);  // gone from the file, not given again
    }
}

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

// Another program holding the file for a moment is waited out: the store
// is asked again later instead of being given up for the run.
TEST(MessageStore, AFileHeldForAMomentIsAskedForAgainNotGivenUp)
{
    const QTemporaryDir logs;
    qputenv("TEMP", logs.path().toUtf8());
    QTemporaryDir dir;
    ASSERT_EQ(keptAndReadBack(dir.path(), "Inbox"), 3u);
    SqliteMessageStore store({dir.path()});
    store.setInUse(true);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(dir.filePath(QStringLiteral("messages.sqlite"))).constData(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_FALSE(store.recordsFor(folder("Inbox"), kAll).has_value());
    sqlite3_close(db);
    EXPECT_EQ(store.recordsFor(folder("Inbox"), kAll).value_or(std::map<quint32, EmailRecord>()).size(), 3u);
    EXPECT_TRUE(store.inUse());
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
        // The log of changes is held by the cap too.
        EXPECT_LE(QFileInfo(dir.filePath(QStringLiteral("messages.sqlite"))).size()
                      + QFileInfo(dir.filePath(QStringLiteral("messages.sqlite-wal"))).size(),
                  160 * 1024);
        EXPECT_EQ(store.recordsFor(folder("Old"), kAll)->size(), 0u);
        EXPECT_EQ(store.recordsFor(folder("New"), kAll)->size(), 3u);
    }
    // A folder larger than the cap fills the file up to the cap less the log's eighth.
    {
        QTemporaryDir full;
        SqliteMessageStore store({full.path(), 160 * 1024});
        store.setInUse(true);
        for (quint32 uid = 1; uid <= 20; ++uid)
            store.keep(folder("Big"), uid, record(20 * 1024));
        store.flush();
        EXPECT_LE(QFileInfo(full.filePath(QStringLiteral("messages.sqlite"))).size(), 140 * 1024);
    }
    // A later run forgets before it has opened the store, and one that gave up on it forgets all the same.
    for (const bool gaveUp : {false, true}) {
        keptAndReadBack(dir.path(), "Inbox");
        SqliteMessageStore store({dir.path()});
        if (gaveUp) {
            sqlite3* db = nullptr;
            ASSERT_EQ(sqlite3_open(QFile::encodeName(dir.filePath(QStringLiteral("messages.sqlite"))).constData(), &db), SQLITE_OK);
            sqlite3_exec(db, "PRAGMA user_version=9", nullptr, nullptr, nullptr);
            sqlite3_close(db);
            store.setInUse(true);
            store.recordsFor(folder("Inbox"), kAll);
            ASSERT_FALSE(store.inUse());
        }
        store.forget();
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList()) << gaveUp;
    }
    // --forget says so when it could not remove the store.
    keptAndReadBack(dir.path(), "Inbox");
    EXPECT_TRUE(SqliteMessageStore::removeAll(dir.path()).ok());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList());
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("messages.sqlite/inside")));
    const MailResult stays = SqliteMessageStore::removeAll(dir.path());
    EXPECT_EQ(stays.status, MailStatus::Failed);
    EXPECT_EQ(stays.text, dir.filePath(QStringLiteral("messages.sqlite")) + QStringLiteral(" could not be removed"));
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
