#include "Schema.h"

#include "Records.h"

#include <algorithm>
#include <array>
#include <set>

namespace kovadel {

namespace {

    constexpr std::array<const char*, 5> kTables = { "modules", "topics", "codingsystems", "codes", "patEdDefaults" };

    // Names and codes are looked up by their trimmed text, so the indexes are on
    // that expression; a row stored with blanks around its name (by SQL text, for
    // instance) is still found, and still through the index.
    constexpr const char* kTablesSql = R"sql(
CREATE TABLE modules (
    ModuleID INTEGER PRIMARY KEY AUTOINCREMENT,
    ModuleName TEXT NOT NULL DEFAULT '',
    DirectoryPrefix TEXT NOT NULL DEFAULT ''
);
CREATE INDEX modules_name ON modules (trim(ModuleName));
CREATE TABLE topics (
    TopicID INTEGER PRIMARY KEY AUTOINCREMENT,
    ModuleID INTEGER NOT NULL DEFAULT 0,
    ParentID INTEGER NOT NULL DEFAULT 0,
    HasChild INTEGER NOT NULL DEFAULT 0,
    PatEdDocument TEXT NOT NULL DEFAULT '',
    Description TEXT NOT NULL DEFAULT ''
);
CREATE INDEX topics_module ON topics (ModuleID);
CREATE TABLE codingsystems (
    CodingSystemID INTEGER PRIMARY KEY AUTOINCREMENT,
    CodingSystemName TEXT NOT NULL DEFAULT ''
);
CREATE INDEX codingsystems_name ON codingsystems (trim(CodingSystemName));
CREATE TABLE codes (
    CodeID INTEGER PRIMARY KEY AUTOINCREMENT,
    Code TEXT NOT NULL DEFAULT '',
    CodingSystemID INTEGER NOT NULL DEFAULT 0,
    CodeFlag INTEGER NOT NULL DEFAULT 0,
    Description TEXT NOT NULL DEFAULT '',
    PatEdDocument TEXT NOT NULL DEFAULT ''
);
CREATE INDEX codes_code ON codes (trim(Code), CodingSystemID);
CREATE INDEX codes_system ON codes (CodingSystemID);
)sql";

    std::string lower(std::string text)
    {
        std::transform(text.begin(), text.end(), text.begin(),
            [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
        return text;
    }

    // The defaults table follows the record's fields in declaration order.
    std::string defaultsTableSql()
    {
        std::string sql = "CREATE TABLE patEdDefaults (\n    DefaultsKey TEXT NOT NULL UNIQUE";
        for (size_t i = 1; i < kDefaultsColumnCount; ++i) {
            const DefaultsColumn& c = kDefaultsColumns[i];
            sql += ",\n    ";
            sql += c.name;
            sql += c.width == 0 ? " INTEGER NOT NULL DEFAULT 0" : " TEXT NOT NULL DEFAULT ''";
        }
        sql += "\n);\nINSERT INTO patEdDefaults (DefaultsKey) VALUES ('');\n";
        return sql;
    }

} // namespace

Status inspectSchema(sqlite3* db, SchemaState& state, std::string& why)
{
    Statement objects;
    if (Status st = objects.prepare(db, "SELECT type, name FROM sqlite_master"); !st)
        return st;
    std::set<std::string> tables;
    size_t objectCount = 0;
    {
        StatementRun run(objects);
        while (run.next()) {
            ++objectCount;
            const unsigned char* type = sqlite3_column_text(objects.handle(), 0);
            const unsigned char* name = sqlite3_column_text(objects.handle(), 1);
            if (type && name && std::string(reinterpret_cast<const char*>(type)) == "table")
                tables.insert(lower(reinterpret_cast<const char*>(name)));
        }
        if (!run.status())
            return run.status();
    }
    if (objectCount == 0) {
        state = SchemaState::Empty;
        return {};
    }

    Statement header;
    if (Status st = header.prepare(db, "PRAGMA application_id"); !st)
        return st;
    int64_t applicationId = 0;
    {
        StatementRun run(header);
        if (run.next())
            applicationId = run.columnInteger(0);
        if (!run.status())
            return run.status();
    }
    if (applicationId != 0 && applicationId != kApplicationId) {
        state = SchemaState::Foreign;
        why = "its header names another application";
        return {};
    }
    for (const char* table : kTables) {
        if (!tables.count(lower(table))) {
            state = SchemaState::Foreign;
            why = std::string("it has no table ") + table;
            return {};
        }
    }
    state = SchemaState::Ours;
    return {};
}

Status createSchema(Connection& db)
{
    if (Status st = db.exec(kTablesSql); !st)
        return st;
    if (Status st = db.exec(defaultsTableSql().c_str()); !st)
        return st;
    const std::string stamp = "PRAGMA application_id = " + std::to_string(kApplicationId)
        + ";\nPRAGMA user_version = " + std::to_string(kSchemaVersion) + ";";
    return db.exec(stamp.c_str());
}

} // namespace kovadel
