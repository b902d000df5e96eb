// Reads: a module's topics, one code, and the codes of a coding system that
// match a pattern, page by page.
//
// None of them begins a transaction: each statement reads in a read
// transaction of its own (or in the open unit's), which in write-ahead
// logging neither takes the write lock nor waits for the process that holds
// it; it sees what was last committed.
#include "SqliteEngine.h"

#include "CodeSearch.h"
#include "Identifiers.h"

namespace kovadel {
namespace {

    // CodeID, Code, CodingSystemID, CodeFlag, Description, PatEdDocument.
    CodeFields codeOf(const StatementRun& r, int32_t id)
    {
        return CodeFields { id, r.columnText(1), toInt32(r.columnInteger(2)), toInt32(r.columnInteger(3)),
            r.columnText(4), r.columnText(5) };
    }

} // namespace

Status SqliteEngine::getTopics(int32_t moduleId, std::vector<TopicFields>& rows)
{
    rows.clear();
    if (Status st = ready(); !st)
        return st;
    StatementRun r(m_statements.getTopics);
    r.integer(1, moduleId);
    while (r.next()) {
        const int64_t id = r.columnInteger(0);
        if (!fitsRecord(id)) {
            rows.clear();
            return beyondRecord("the topic identifier", id);
        }
        rows.push_back(TopicFields { toInt32(id), toInt32(r.columnInteger(1)), toInt32(r.columnInteger(2)),
            toInt32(r.columnInteger(3)), r.columnText(4), r.columnText(5) });
    }
    if (!r.status()) {
        rows.clear();
        return m_unit.checked(r.status());
    }
    return {};
}

Status SqliteEngine::getCode(int32_t codingSystemId, const std::string& code, CodeFields& row)
{
    if (Status st = ready(); !st)
        return st;
    StatementRun r(m_statements.getCode);
    r.integer(1, codingSystemId).text(2, code);
    if (r.next()) {
        if (!fitsRecord(r.columnInteger(0)))
            return beyondRecord("the code identifier", r.columnInteger(0));
        row = codeOf(r, toInt32(r.columnInteger(0)));
        return {};
    }
    if (!r.status())
        return m_unit.checked(r.status());
    return Status::failure("coding system " + std::to_string(codingSystemId) + " has no code " + code);
}

Status SqliteEngine::searchCodes(
    const CodeFields& after, const std::string& pattern, int32_t limit, std::vector<CodeFields>& rows)
{
    rows.clear();
    if (Status st = ready(); !st)
        return st;
    const CodePattern match(pattern);
    // From the start: every code is at or after the empty text, and after
    // identifier 0.
    const bool continuing = after.codeId > 0;
    const std::string from = continuing ? after.code : std::string();
    StatementRun r(m_statements.codesInOrder);
    r.integer(1, after.codingSystemId).text(2, from).integer(3, continuing ? after.codeId : 0);
    while ((limit <= 0 || rows.size() < static_cast<size_t>(limit)) && r.next()) {
        const int64_t id = r.columnInteger(0);
        CodeFields code = codeOf(r, toInt32(id));
        if (!match.matches(code.code, code.description))
            continue;
        if (!fitsRecord(id)) {
            rows.clear();
            return beyondRecord("the code identifier", id);
        }
        rows.push_back(std::move(code));
    }
    if (!r.status()) {
        rows.clear();
        return m_unit.checked(r.status());
    }
    return {};
}

} // namespace kovadel
