#include "StatementCache.h"

#include "Records.h"

#include <string>

namespace kovadel {
namespace {

    std::string defaultsColumnList()
    {
        std::string list;
        for (const DefaultsColumn& c : kDefaultsColumns) {
            if (!list.empty())
                list += ", ";
            list += c.name;
        }
        return list;
    }

} // namespace

Status StatementCache::prepare(sqlite3* db)
{
    m_db = db;
    const std::string defaultsColumns = defaultsColumnList();
    std::string updateDefaultsSql = "UPDATE patEdDefaults SET ";
    std::string insertDefaultsSql = "INSERT INTO patEdDefaults (" + defaultsColumns + ") VALUES (";
    for (size_t i = 0; i < kDefaultsColumnCount; ++i) {
        const std::string param = "?" + std::to_string(i + 1);
        if (i > 0) {
            updateDefaultsSql += std::string(i > 1 ? ", " : "") + kDefaultsColumns[i].name + " = " + param;
            insertDefaultsSql += ", ";
        }
        insertDefaultsSql += param;
    }
    updateDefaultsSql += " WHERE trim(DefaultsKey) = ?1";
    insertDefaultsSql += ")";
    const std::string getDefaultsSql
        = "SELECT " + defaultsColumns + " FROM patEdDefaults WHERE trim(DefaultsKey) = ?1 ORDER BY rowid LIMIT 1";

    const struct {
        Statement& statement;
        std::string sql;
    } statements[] = {
        { begin, "BEGIN IMMEDIATE" },
        { commit, "COMMIT" },
        { rollback, "ROLLBACK" },
        { savepoint, "SAVEPOINT kovadel_operation" },
        { release, "RELEASE kovadel_operation" },
        { rollbackTo, "ROLLBACK TO kovadel_operation" },
        { getModule,
            "SELECT ModuleID, ModuleName, DirectoryPrefix FROM modules"
            " WHERE trim(ModuleName) = ?1 ORDER BY ModuleID LIMIT 1" },
        { insertModule, "INSERT INTO modules (ModuleName, DirectoryPrefix) VALUES (?1, ?2)" },
        { insertTopic,
            "INSERT INTO topics (ModuleID, ParentID, HasChild, PatEdDocument, Description)"
            " VALUES (?1, ?2, ?3, ?4, ?5)" },
        { getTopic,
            "SELECT TopicID FROM topics WHERE ModuleID = ?1 AND trim(PatEdDocument) = ?2"
            " AND trim(Description) = ?3 ORDER BY TopicID DESC LIMIT 1" },
        { setTopic, "UPDATE topics SET HasChild = ?2 WHERE TopicID = ?1" },
        // AUTOINCREMENT numbers past both the largest number ever given and
        // the largest row.
        { nextTopicId,
            "SELECT max(coalesce((SELECT seq FROM sqlite_sequence WHERE name = 'topics'), 0),"
            " coalesce((SELECT max(TopicID) FROM topics), 0)) + 1" },
        { largestTopicId, "SELECT max(TopicID) FROM topics" },
        { getCodingSystem,
            "SELECT CodingSystemID, CodingSystemName FROM codingsystems"
            " WHERE trim(CodingSystemName) = ?1 ORDER BY CodingSystemID LIMIT 1" },
        { insertCode,
            "INSERT INTO codes (Code, CodingSystemID, CodeFlag, Description, PatEdDocument)"
            " VALUES (?1, ?2, ?3, ?4, ?5)" },
        { setCode, "UPDATE codes SET Description = ?1 WHERE trim(Code) = ?2" },
        { setCodeInSystem, "UPDATE codes SET Description = ?1 WHERE trim(Code) = ?2 AND CodingSystemID = ?3" },
        // One waiting description (code, description, coding system or 0 for
        // every system), in the column order of its batch.
        { setCodeRow, "UPDATE codes SET Description = ?2 WHERE trim(Code) = ?1 AND (?3 = 0 OR CodingSystemID = ?3)" },
        { getTopics,
            "SELECT TopicID, ModuleID, ParentID, HasChild, PatEdDocument, Description FROM topics"
            " WHERE ModuleID = ?1 ORDER BY TopicID" },
        { getCode,
            "SELECT CodeID, Code, CodingSystemID, CodeFlag, Description, PatEdDocument FROM codes"
            " WHERE trim(Code) = ?2 AND CodingSystemID = ?1 ORDER BY CodeID LIMIT 1" },
        // Code order is the order of the index on (trim(Code), CodingSystemID)
        // and the row's identifier, so the rows come from the index in order,
        // none sorted, from the cursor on. The + keeps the planner off the
        // index by coding system, which would need the whole system sorted.
        { codesInOrder,
            "SELECT CodeID, Code, CodingSystemID, CodeFlag, Description, PatEdDocument FROM codes"
            " WHERE +CodingSystemID = ?1 AND trim(Code) >= ?2 AND (trim(Code) > ?2 OR CodeID > ?3)"
            " ORDER BY trim(Code), CodingSystemID, CodeID" },
        { getDefaults, getDefaultsSql },
        { updateDefaults, updateDefaultsSql },
        { insertDefaults, insertDefaultsSql },
    };
    for (const auto& s : statements)
        if (Status st = s.statement.prepare(db, s.sql); !st)
            return st;
    return {};
}

void StatementCache::clear()
{
    m_patterns.clear();
    for (Statement* s : { &begin, &commit, &rollback, &savepoint, &release, &rollbackTo, &getModule, &insertModule,
             &insertTopic, &getTopic, &setTopic, &nextTopicId, &largestTopicId, &getCodingSystem, &insertCode, &setCode,
             &setCodeInSystem, &setCodeRow, &getTopics, &getCode, &codesInOrder, &getDefaults, &updateDefaults, &insertDefaults })
        s->finalize();
    m_db = nullptr;
}

Statement* StatementCache::pattern(PatternKind kind, std::string_view head, const std::vector<Condition>& conditions,
    std::string_view tail, Status& status)
{
    unsigned mask = 0;
    for (size_t i = 0; i < conditions.size(); ++i)
        if (!conditions[i].any)
            mask |= 1u << i;
    const unsigned key = (static_cast<unsigned>(kind) << 8) | mask;
    auto found = m_patterns.find(key);
    if (found != m_patterns.end())
        return &found->second;

    // Only column names go into the text; values are bound as ?N, N being
    // the condition's place in the pattern.
    std::string sql(head);
    const char* joint = " WHERE ";
    for (size_t i = 0; i < conditions.size(); ++i) {
        if (conditions[i].any)
            continue;
        sql += joint;
        sql += conditions[i].column;
        sql += " = ?" + std::to_string(i + 1);
        joint = " AND ";
    }
    sql += tail;
    Statement statement;
    status = statement.prepare(m_db, sql);
    if (!status)
        return nullptr;
    return &m_patterns.emplace(key, std::move(statement)).first->second;
}

void StatementCache::bind(StatementRun& run, const std::vector<Condition>& conditions)
{
    for (size_t i = 0; i < conditions.size(); ++i) {
        const Condition& c = conditions[i];
        if (c.any)
            continue;
        if (c.text)
            run.text(static_cast<int>(i + 1), *c.text);
        else
            run.integer(static_cast<int>(i + 1), c.number);
    }
}

} // namespace kovadel
