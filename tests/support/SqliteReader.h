// An independent reader of the database file: a raw SQLite connection that
// shares no code with the data-access library. Every test that reads or
// prepares a database file besides the library uses it: directly, or through
// SqliteTextReader (QString texts) and the library tests' RawDb (failures
// reported to GoogleTest), which are views of it.
#pragma once

#include <sqlite3.h>

#include <string>
#include <utility>
#include <vector>

class SqliteReader {
public:
    using Row = std::vector<std::string>;

    // `create`: a file that does not exist is made.
    explicit SqliteReader(const std::string& path, bool readOnly = false, bool create = false)
    {
        const int flags = (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | (create ? SQLITE_OPEN_CREATE : 0);
        if (sqlite3_open_v2(path.c_str(), &m_db, flags, nullptr) != SQLITE_OK)
            m_error = m_db ? sqlite3_errmsg(m_db) : "out of memory";
        else
            sqlite3_busy_timeout(m_db, 10000);
    }
    ~SqliteReader() { sqlite3_close(m_db); }
    SqliteReader(const SqliteReader&) = delete;
    SqliteReader& operator=(const SqliteReader&) = delete;

    const std::string& error() const { return m_error; }
    sqlite3* handle() const { return m_db; }

    // Every row of a query, each column as text: NULL as "NULL", a blob as
    // x'..'. `values` are bound to ?1, ?2, ..., never pasted into the SQL.
    // `ok`, when given, tells whether the query ran to its end; error() then
    // says why not.
    std::vector<Row> table(const std::string& sql, const std::vector<std::string>& values = {}, bool* ok = nullptr)
    {
        std::vector<Row> out;
        if (ok)
            *ok = false;
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
            m_error = sqlite3_errmsg(m_db);
            return out;
        }
        for (size_t i = 0; i < values.size(); ++i)
            sqlite3_bind_text(stmt, static_cast<int>(i + 1), values[i].c_str(), -1, SQLITE_TRANSIENT);
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            Row row;
            for (int i = 0; i < sqlite3_column_count(stmt); ++i)
                row.push_back(cell(stmt, i));
            out.push_back(std::move(row));
        }
        if (rc != SQLITE_DONE)
            m_error = sqlite3_errmsg(m_db);
        else if (ok)
            *ok = true;
        sqlite3_finalize(stmt);
        return out;
    }

    // Every row, its columns joined by '|'; a failure as a last row "error: ...".
    std::vector<std::string> rows(const std::string& sql)
    {
        bool ok = false;
        std::vector<std::string> out;
        for (const Row& row : table(sql, {}, &ok)) {
            std::string joined;
            for (size_t i = 0; i < row.size(); ++i)
                joined += (i ? "|" : "") + row[i];
            out.push_back(std::move(joined));
        }
        if (!ok)
            out.push_back("error: " + m_error);
        return out;
    }

    std::string value(const std::string& sql)
    {
        const auto r = rows(sql);
        return r.empty() ? std::string() : r.front();
    }

    bool exec(const std::string& sql)
    {
        char* message = nullptr;
        const bool ok = sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK;
        if (!ok)
            m_error = message ? message : sqlite3_errmsg(m_db);
        sqlite3_free(message);
        return ok;
    }

    // The schema and every row of every table (sqlite_sequence included), in
    // storage order: two databases with equal dumps hold the same data.
    std::vector<std::string> dump()
    {
        std::vector<std::string> all = rows("SELECT type, name, tbl_name, sql FROM sqlite_master ORDER BY type, name");
        for (auto& line : all)
            line = "schema: " + line;
        for (const std::string& table : rows("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name")) {
            for (const std::string& row : rows("SELECT * FROM \"" + table + "\" ORDER BY rowid"))
                all.push_back(table + ": " + row);
        }
        return all;
    }

    // PRAGMA integrity_check, its lines joined: "ok" for a sound file.
    std::string integrity()
    {
        std::string joined;
        for (const std::string& line : rows("PRAGMA integrity_check"))
            joined += (joined.empty() ? "" : "; ") + line;
        return joined;
    }

private:
    static std::string cell(sqlite3_stmt* stmt, int column)
    {
        switch (sqlite3_column_type(stmt, column)) {
        case SQLITE_NULL:
            return "NULL";
        case SQLITE_BLOB: {
            static const char hex[] = "0123456789abcdef";
            const auto* b = static_cast<const unsigned char*>(sqlite3_column_blob(stmt, column));
            std::string text = "x'";
            for (int k = 0; k < sqlite3_column_bytes(stmt, column); ++k) {
                text += hex[b[k] >> 4];
                text += hex[b[k] & 15];
            }
            return text + "'";
        }
        default: {
            const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
            return std::string(t ? t : "", static_cast<size_t>(sqlite3_column_bytes(stmt, column)));
        }
        }
    }

    sqlite3* m_db = nullptr;
    std::string m_error;
};
