#pragma once

#include <QByteArray>
#include <QString>

#include <sqlite3.h>

namespace tallyhive::platform::sqlite {

// What became of the file, in the store's own terms.
enum class StoreStatus {
    Busy,     // another program holds or is making the file: asking again later may do
    Damaged,  // the file is no database, or a damaged one
    Failed,   // any other failure: the file refused, of someone else's, of a newer program
};

// A failure and its text; SQLite's own code stays inside the text.
struct Failure {
    StoreStatus status;
    QString text;
};

inline StoreStatus statusOf(int rc)
{
    switch (rc & 0xff) {
    case SQLITE_BUSY:
        return StoreStatus::Busy;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return StoreStatus::Damaged;
    default:
        return StoreStatus::Failed;
    }
}

inline void check(sqlite3* db, int rc)
{
    if (rc != SQLITE_OK && rc != SQLITE_ROW && rc != SQLITE_DONE)
        throw Failure{statusOf(rc), QStringLiteral("%1 (SQLite code %2)").arg(QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc))).arg(rc)};
}

inline void exec(sqlite3* db, const char* sql) { check(db, sqlite3_exec(db, sql, nullptr, nullptr, nullptr)); }

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

inline qint64 scalar(sqlite3* db, const char* sql)
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
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit()
    {
        exec(db_, "COMMIT");
        committed_ = true;
    }

private:
    sqlite3* db_;
    bool committed_ = false;
};

}  // namespace tallyhive::platform::sqlite
