#include "SqliteEngine.h"

#include <utility>

namespace kovadel {

namespace {

    // How a refused waiting row is named in the reason.
    std::string quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }
    std::string describeTopic(const PendingRows& rows, size_t row) { return "the topic " + quoted(rows.text(row, 4)); }
    std::string describeCode(const PendingRows& rows, size_t row) { return "the code " + quoted(rows.text(row, 0)); }
    std::string describeDescription(const PendingRows& rows, size_t row)
    {
        return "the description of the code " + quoted(rows.text(row, 0));
    }

} // namespace

std::unique_ptr<Engine> makeSqliteEngine() { return std::make_unique<SqliteEngine>(); }

SqliteEngine::SqliteEngine()
    : m_unit(m_db, m_statements, m_trace, m_shownPath)
{
    m_pendingDescriptions.keyOn(0);
}

SqliteEngine::~SqliteEngine() { close(); }

void SqliteEngine::close() noexcept
{
    // An open unit is rolled back; every statement is finalised before the
    // connection closes, so that the file is let go at once, and only then
    // is a file that the library made put back.
    m_pendingTopics.reset();
    m_pendingCodes.reset();
    m_pendingDescriptions.reset();
    m_unit.abandon();
    m_statements.clear();
    m_db.close();
    undoMadeFile(std::exchange(m_made, MadeFile()));
}

Status SqliteEngine::beginUnit()
{
    // Rows never wait across a unit's edge.
    if (Status st = settle(); !st)
        return st;
    return m_unit.begin();
}

Status SqliteEngine::commitUnit()
{
    if (Status st = settle(); !st) {
        (void)m_unit.rollback();
        return st;
    }
    return m_unit.commit();
}

Status SqliteEngine::rollbackUnit()
{
    discardPending();
    return m_unit.rollback();
}

Status SqliteEngine::ready()
{
    if (Status st = m_unit.usable(); !st)
        return st;
    return settle();
}

Status SqliteEngine::readyToWrite()
{
    if (Status st = m_unit.writable(); !st)
        return st;
    return settle();
}

Status SqliteEngine::settle()
{
    if (m_pendingTopics.empty() && m_pendingCodes.empty() && m_pendingDescriptions.empty())
        return {};
    // Rows of a unit that has been rolled back (or whose transaction the
    // database ended) must never be stored outside it.
    if (Status st = m_unit.usable(); !st) {
        discardPending();
        return st;
    }
    if (!m_pendingTopics.empty()) {
        const int64_t last = m_unit.nextTopicId - 1; // the number of the last waiting topic
        if (Status st = m_pendingTopics.send(m_db.handle(), m_statements.insertTopic, describeTopic); !st)
            return batchFailed(st);
        // The numbers were counted as the topics were given (the program
        // marks parents by them); the database must have given the same.
        if (sqlite3_last_insert_rowid(m_db.handle()) != last)
            return batchFailed(Status::failure("the topics were not numbered as counted: the last is "
                + std::to_string(sqlite3_last_insert_rowid(m_db.handle())) + ", not " + std::to_string(last)));
    }
    // Codes before descriptions: a description given after a code was
    // inserted must reach it.
    if (!m_pendingCodes.empty())
        if (Status st = m_pendingCodes.send(m_db.handle(), m_statements.insertCode, describeCode); !st)
            return batchFailed(st);
    if (!m_pendingDescriptions.empty())
        if (Status st = m_pendingDescriptions.send(m_db.handle(), m_statements.setCodeRow, describeDescription); !st)
            return batchFailed(st);
    return {};
}

void SqliteEngine::discardPending()
{
    m_pendingTopics.discard();
    m_pendingCodes.discard();
    m_pendingDescriptions.discard();
}

Status SqliteEngine::batchFailed(Status failure)
{
    discardPending();
    failure = m_unit.checked(std::move(failure));
    m_unit.doom(failure.reason());
    return failure;
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
