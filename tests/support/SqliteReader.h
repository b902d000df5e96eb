// An independent reader of the database file: a raw SQLite connection that
// shares no code with the data-access library.
#pragma once

#include <sqlite3.h>

#include <string>
#include <vector>

class SqliteReader {
public:
    explicit SqliteReader(const std::string& path)
    {
        if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
            m_error = m_db ? sqlite3_errmsg(m_db) : "out of memory";
        }
    }
    ~SqliteReader() { sqlite3_close(m_db); }
    SqliteReader(const SqliteReader&) = delete;
    SqliteReader& operator=(const SqliteReader&) = delete;

    const std::string& error() const { return m_error; }

    // Every row of the query, each column as text ("NULL" for null), joined by '|'.
    std::vector<std::string> rows(const std::string& sql)
    {
        std::vector<std::string> out;
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
            m_error = sqlite3_errmsg(m_db);
            out.push_back("error: " + m_error);
            return out;
        }
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            std::string row;
            for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
                if (i)
                    row += '|';
                const unsigned char* text = sqlite3_column_text(stmt, i);
                row += text ? reinterpret_cast<const char*>(text) : "NULL";
            }
            out.push_back(row);
        }
        sqlite3_finalize(stmt);
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
            m_error = message ? message : "?";
        sqlite3_free(message);
        return ok;
    }

private:
    sqlite3* m_db = nullptr;
    std::string m_error;
};
