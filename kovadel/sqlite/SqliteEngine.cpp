#include "SqliteEngine.h"

#include <utility>

namespace kovadel {

std::unique_ptr<Engine> makeSqliteEngine() { return std::make_unique<SqliteEngine>(); }

SqliteEngine::SqliteEngine()
    : m_unit(m_db, m_statements, m_trace, m_shownPath)
{
}

SqliteEngine::~SqliteEngine() { close(); }

void SqliteEngine::close() noexcept
{
    // An open unit is rolled back; every statement is finalised before the
    // connection closes, so that the file is let go at once, and only then
    // is a file that the library made put back.
    m_unit.abandon();
    m_statements.clear();
    m_db.close();
    undoMadeFile(std::exchange(m_made, MadeFile()));
}

Status SqliteEngine::runPattern(PatternKind kind, std::string_view head, const std::vector<Condition>& conditions,
    std::string_view tail, const std::function<void(const StatementRun&)>& onRow)
{
    Status st;
    Statement* statement = m_statements.pattern(kind, head, conditions, tail, st);
    if (!statement)
        return st;
    StatementRun r(*statement);
    StatementCache::bind(r, conditions);
    while (r.next())
        if (onRow)
            onRow(r);
    return m_unit.checked(r.status());
}

} // namespace kovadel
