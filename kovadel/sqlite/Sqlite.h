// Owning wrappers for an SQLite connection and its prepared statements.
//
// This is the one header of the library that includes <sqlite3.h>. Every
// sqlite3_* result is turned into a Status whose reason is one line of text.
#pragma once

#include "Status.h"

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace kovadel {

// Every SQLITE_BUSY is told with kBusyReason (Status.h), whichever statement met it.

// One line describing why a call on `db` returned `rc`.
std::string sqliteReason(sqlite3* db, int rc);
// That reason as a failure; SQLITE_BUSY gives a busy one.
Status sqliteFailure(sqlite3* db, int rc);

class Connection {
public:
    Connection() = default;
    ~Connection() { close(); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Opens (creating when missing) the file for reading and writing, or for
    // reading only when the file is write-protected.
    Status open(const std::string& utf8Path);
    void close();
    sqlite3* handle() const { return m_db; }
    // Whether a transaction is open (SQLite is out of autocommit mode).
    bool inTransaction() const { return m_db && !sqlite3_get_autocommit(m_db); }

    // Runs SQL text written by the library itself; it never holds values.
    Status exec(const char* sql);

private:
    sqlite3* m_db = nullptr;
};

class Statement {
public:
    Statement() = default;
    ~Statement() { finalize(); }
    Statement(Statement&& other) noexcept
        : m_stmt(other.m_stmt)
    {
        other.m_stmt = nullptr;
    }
    Statement& operator=(Statement&& other) noexcept;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Prepares SQL text written by the library; kept for the connection's life.
    Status prepare(sqlite3* db, std::string_view sql);
    void finalize();
    bool prepared() const { return m_stmt != nullptr; }
    sqlite3_stmt* handle() const { return m_stmt; }
    // Takes ownership of a statement prepared elsewhere.
    void adopt(sqlite3_stmt* stmt);

private:
    sqlite3_stmt* m_stmt = nullptr;
};

// One use of a prepared statement: values are bound, the statement is
// stepped, and it is reset when the run goes away so that it keeps no lock.
// The first failing bind or step is kept; later binds are skipped.
class StatementRun {
public:
    explicit StatementRun(Statement& statement)
        : m_stmt(statement.handle())
    {
    }
    ~StatementRun() { sqlite3_reset(m_stmt); }
    StatementRun(const StatementRun&) = delete;
    StatementRun& operator=(const StatementRun&) = delete;

    StatementRun& integer(int index, int64_t value);
    // UTF-8 text, bound without a copy: it must outlive the run, so a
    // temporary is refused.
    StatementRun& text(int index, const std::string& value);
    StatementRun& text(int index, std::string&&) = delete;

    // Steps to the end, passing over any rows.
    Status execute();
    // Steps once: true while a row is there. After false, status() says
    // whether the end was reached or a step failed.
    bool next();
    const Status& status() const { return m_status; }

    int64_t columnInteger(int column) const { return sqlite3_column_int64(m_stmt, column); }
    std::string columnText(int column) const; // UTF-8
    // Rows changed by the last execute().
    int changes() const { return sqlite3_changes(sqlite3_db_handle(m_stmt)); }

private:
    void fail(int rc);

    sqlite3_stmt* m_stmt;
    Status m_status;
    bool m_done = false;
};

// Runs a statement that returns no rows once.
inline Status execute(Statement& statement)
{
    StatementRun run(statement);
    return run.execute();
}

} // namespace kovadel
