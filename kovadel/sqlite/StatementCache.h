// The prepared statements of one connection. Nothing is prepared on the hot
// path: the fixed statements are prepared when the database is opened, the
// statements of the list filters and delete patterns at their first use, one
// per kind and combination of conditions; every call only binds and steps.
#pragma once

#include "Conditions.h"
#include "Sqlite.h"

#include <string_view>
#include <unordered_map>
#include <vector>

namespace kovadel {

class StatementCache {
public:
    StatementCache() = default;
    StatementCache(const StatementCache&) = delete;
    StatementCache& operator=(const StatementCache&) = delete;

    // Prepares the fixed statements on `db`; a failure means that the file
    // lacks a table or column of ours (or is busy).
    Status prepare(sqlite3* db);
    // Finalises every statement, before the connection closes.
    void clear();

    // The statement `head WHERE <conditions> tail`, where only the conditions
    // that are not `any` appear, each compared with ?N (N its place in the
    // list). Null, with `status`, when it cannot be prepared.
    Statement* pattern(PatternKind kind, std::string_view head, const std::vector<Condition>& conditions,
        std::string_view tail, Status& status);
    // Binds the values of the conditions that are not `any`.
    static void bind(StatementRun& run, const std::vector<Condition>& conditions);

    Statement begin, commit, rollback;
    Statement savepoint, release, rollbackTo;
    Statement getModule, insertModule;
    Statement insertTopic, getTopic, setTopic, nextTopicId, largestTopicId;
    Statement getCodingSystem, insertCode, setCode, setCodeInSystem, setCodeRow;
    Statement getTopics, getCode, codesInOrder;
    Statement getDefaults, updateDefaults, insertDefaults;

private:
    sqlite3* m_db = nullptr;
    std::unordered_map<unsigned, Statement> m_patterns;
};

} // namespace kovadel
