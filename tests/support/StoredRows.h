// The rows that a batch run stored, read back independently on either
// engine: SqliteReader for a file, PgReader for a database of the test
// server. The same SQL serves both.
#pragma once

#include "support/EngineDatabase.h"
#include "support/PgServer.h"
#include "support/SqliteReader.h"

#include <memory>
#include <string>
#include <vector>

class StoredRows {
public:
    explicit StoredRows(const std::string& database)
    {
        if (enginetest::isServerDatabase(database))
            m_pg = std::make_unique<pgtest::PgReader>(database);
        else
            m_file = std::make_unique<SqliteReader>(database);
    }

    // Every row, its columns joined by '|'; a failure as a last row "error: ...".
    std::vector<std::string> rows(const std::string& sql)
    {
        if (m_file)
            return m_file->rows(sql);
        bool ok = false;
        std::vector<std::string> out;
        for (const auto& row : m_pg->table(sql, {}, &ok)) {
            std::string joined;
            for (size_t i = 0; i < row.size(); ++i)
                joined += (i ? "|" : "") + row[i];
            out.push_back(std::move(joined));
        }
        if (!ok)
            out.push_back("error: " + m_pg->error());
        return out;
    }

    std::string value(const std::string& sql)
    {
        const auto r = rows(sql);
        return r.empty() ? std::string() : r.front();
    }

    bool exec(const std::string& sql) { return m_file ? m_file->exec(sql) : m_pg->exec(sql); }
    std::string error() const { return m_file ? m_file->error() : m_pg->error(); }

    // Everything the library keeps: on a file, SqliteReader's dump; on the
    // server, every row of every table in identifier order and where each
    // table's numbering stands.
    std::vector<std::string> dump()
    {
        if (m_file)
            return m_file->dump();
        std::vector<std::string> all;
        const char* tables[][2] = { { "modules", "ModuleID" }, { "topics", "TopicID" },
            { "codingsystems", "CodingSystemID" }, { "codes", "CodeID" }, { "patEdDefaults", "DefaultsKey" } };
        for (const auto& t : tables) {
            for (const std::string& row : rows(std::string("SELECT * FROM ") + t[0] + " ORDER BY " + t[1]))
                all.push_back(std::string(t[0]) + ": " + row);
        }
        for (const std::string& row : rows("SELECT sequencename, last_value FROM pg_sequences ORDER BY 1"))
            all.push_back("sequence: " + row);
        return all;
    }

private:
    std::unique_ptr<SqliteReader> m_file;
    std::unique_ptr<pgtest::PgReader> m_pg;
};
