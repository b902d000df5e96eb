#include "Sqlite.h"

#include "OwnLockVfs.h"

#include <algorithm>

namespace kovadel {

std::string sqliteReason(sqlite3* db, int rc)
{
    if ((rc & 0xff) == SQLITE_BUSY)
        return kBusyReason;
    // The connection's message is more specific than the code's general text,
    // but only when it belongs to this very result.
    std::string reason = (db && sqlite3_extended_errcode(db) == rc) ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    std::replace_if(
        reason.begin(), reason.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return reason;
}

Status sqliteFailure(sqlite3* db, int rc)
{
    if ((rc & 0xff) == SQLITE_BUSY)
        return Status::busyFailure(kBusyReason);
    return Status::failure(sqliteReason(db, rc));
}

Status Connection::open(const std::string& utf8Path)
{
    close();
    // NOMUTEX: the library serialises its calls itself. EXRESCODE: extended
    // codes tell a read-only file from other failures.
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE;
    sqlite3* db = nullptr;
    // The library's own VFS, so that no other open or close of the files in
    // this process can drop the connection's locks (see OwnLockVfs.h).
    const int rc = sqlite3_open_v2(utf8Path.c_str(), &db, flags, ownLockVfsName());
    if (rc != SQLITE_OK) {
        Status failed = sqliteFailure(db, rc);
        sqlite3_close_v2(db);
        return failed;
    }
    m_db = db;
    return {};
}

void Connection::close()
{
    if (m_db) {
        // close_v2 defers the close until every statement is finalised, so a
        // statement that outlives the connection object cannot dangle.
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}

Status Connection::exec(const char* sql)
{
    const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        return sqliteFailure(m_db, rc);
    return {};
}

Statement& Statement::operator=(Statement&& other) noexcept
{
    if (this != &other) {
        finalize();
        m_stmt = other.m_stmt;
        other.m_stmt = nullptr;
    }
    return *this;
}

Status Statement::prepare(sqlite3* db, std::string_view sql)
{
    finalize();
    const int rc
        = sqlite3_prepare_v3(db, sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT, &m_stmt, nullptr);
    if (rc != SQLITE_OK) {
        finalize();
        return sqliteFailure(db, rc);
    }
    return {};
}

void Statement::finalize()
{
    if (m_stmt) {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
    }
}

void Statement::adopt(sqlite3_stmt* stmt)
{
    finalize();
    m_stmt = stmt;
}

void StatementRun::fail(int rc)
{
    if (m_status.ok())
        m_status = sqliteFailure(sqlite3_db_handle(m_stmt), rc);
}

StatementRun& StatementRun::integer(int index, int64_t value)
{
    if (m_status.ok()) {
        const int rc = sqlite3_bind_int64(m_stmt, index, value);
        if (rc != SQLITE_OK)
            fail(rc);
    }
    return *this;
}

StatementRun& StatementRun::text(int index, const std::string& value)
{
    if (m_status.ok()) {
        const int rc = sqlite3_bind_text(m_stmt, index, value.data(), static_cast<int>(value.size()), SQLITE_STATIC);
        if (rc != SQLITE_OK)
            fail(rc);
    }
    return *this;
}

Status StatementRun::execute()
{
    while (next()) { }
    return m_status;
}

bool StatementRun::next()
{
    // Stepping again after the end would run the statement once more.
    if (m_done || !m_status.ok())
        return false;
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    m_done = true;
    if (rc != SQLITE_DONE)
        fail(rc);
    return false;
}

std::string StatementRun::columnText(int column) const
{
    const unsigned char* text = sqlite3_column_text(m_stmt, column);
    const int bytes = sqlite3_column_bytes(m_stmt, column);
    if (!text || bytes <= 0)
        return {};
    return std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(bytes));
}

} // namespace kovadel
