// ExecuteQuery: one statement of the caller's SQL text, prepared under the
// query guard; the program's bulk topic insert goes to the prepared insert.
#include "SqliteEngine.h"

#include "Identifiers.h"
#include "SqlText.h"

namespace kovadel {

Status SqliteEngine::executeQuery(std::string_view sql)
{
    if (Status st = m_unit.usable(); !st)
        return st;

    // The program's topic insert is the one statement sent in bulk. Its
    // values are bound to the prepared insert instead of the text being
    // compiled anew: the row stored is the one the text would store.
    TopicInsertValues& values = m_topicInsert;
    if (parseTopicInsert(sql, values)) {
        if (Status st = m_unit.writable(); !st)
            return st;
        if (!fitsRecord(values.moduleId))
            return beyondRecord("the module identifier", values.moduleId);
        if (!fitsRecord(values.parentId))
            return beyondRecord("the parent topic identifier", values.parentId);
        return storeTopic(values.moduleId, values.parentId, values.hasChild, values.patEdDocument, values.description);
    }
    if (Status st = settle(); !st)
        return st;

    sqlite3* db = m_db.handle();
    const char* rest = sql.data();
    const char* const end = sql.data() + sql.size();
    sqlite3_stmt* prepared = nullptr;
    // Empty statements (a lone semicolon) before the first one are skipped.
    while (!prepared) {
        if (holdsNoStatement(std::string_view(rest, static_cast<size_t>(end - rest))))
            return Status::failure("the SQL text holds no statement");
        const char* tail = nullptr;
        m_guard.arm();
        const int rc = sqlite3_prepare_v3(db, rest, static_cast<int>(end - rest), 0, &prepared, &tail);
        m_guard.active = false;
        if (rc != SQLITE_OK) {
            sqlite3_finalize(prepared);
            if (m_guard.denied)
                return Status::failure(m_guard.denied);
            return sqliteFailure(db, rc);
        }
        rest = tail ? tail : end;
    }
    Statement statement;
    statement.adopt(prepared);
    // Exactly one statement: anything but blanks and comments after it is
    // refused before the first one runs.
    if (!holdsNoStatement(std::string_view(rest, static_cast<size_t>(end - rest))))
        return Status::failure("the SQL text holds more than one statement; none was run");
    if (!sqlite3_stmt_readonly(statement.handle()))
        if (Status st = m_unit.writable(); !st)
            return st;
    if (!m_guard.writesTopics) {
        StatementRun r(statement);
        return m_unit.checked(r.execute());
    }

    // A statement that writes topics may number them (or set their numbers)
    // past what a record holds: it runs in a savepoint that is undone then.
    m_unit.nextTopicId = 0;
    return m_unit.inSavepoint([&]() -> Status {
        Status st;
        {
            StatementRun r(statement);
            st = r.execute();
        }
        if (st) {
            StatementRun r(m_statements.largestTopicId);
            if (r.next() && !fitsRecord(r.columnInteger(0)))
                st = beyondRecord("the topic identifier", r.columnInteger(0));
            else if (!r.status())
                st = r.status();
        }
        return st;
    });
}

} // namespace kovadel
