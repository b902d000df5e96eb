// Coding systems (listed, found by name) and their codes (stored, given a
// description, deleted).
#include "SqliteEngine.h"

#include "Identifiers.h"

namespace kovadel {

Status SqliteEngine::getCodingSystems(const CodingSystemFields& filter, std::vector<CodingSystemFields>& rows)
{
    if (Status st = m_unit.usable(); !st)
        return st;
    rows.clear();
    int64_t beyond = 0;
    Status st = runPattern(kListCodingSystems, "SELECT CodingSystemID, CodingSystemName FROM codingsystems",
        codingSystemFilter(filter), " ORDER BY CodingSystemID", [&rows, &beyond](const StatementRun& r) {
            const int64_t id = r.columnInteger(0);
            if (!fitsRecord(id))
                beyond = id;
            rows.push_back({ toInt32(id), r.columnText(1) });
        });
    if (st && beyond != 0) {
        rows.clear();
        return beyondRecord("the coding system identifier", beyond);
    }
    return st;
}

Status SqliteEngine::getCodingSystem(const std::string& name, CodingSystemFields& row)
{
    if (Status st = m_unit.usable(); !st)
        return st;
    StatementRun r(m_statements.getCodingSystem);
    r.text(1, name);
    if (r.next()) {
        if (!fitsRecord(r.columnInteger(0)))
            return beyondRecord("the coding system identifier", r.columnInteger(0));
        row = { toInt32(r.columnInteger(0)), r.columnText(1) };
        return {};
    }
    if (!r.status())
        return m_unit.checked(r.status());
    return Status::failure("no coding system is named " + name);
}

Status SqliteEngine::insertCode(const CodeFields& code)
{
    if (Status st = m_unit.writable(); !st)
        return st;
    StatementRun r(m_statements.insertCode);
    r.text(1, code.code).integer(2, code.codingSystemId).integer(3, code.codeFlag);
    r.text(4, code.description).text(5, code.patEdDocument);
    return m_unit.checked(r.execute());
}

Status SqliteEngine::setCode(const CodeFields& code)
{
    if (Status st = m_unit.writable(); !st)
        return st;
    // Every code of that name gets the description: within one coding system
    // when the record names one, in all of them when its identifier is 0. A
    // code that is not stored is no failure: no row then differs from what
    // the caller asked for.
    if (code.codingSystemId != 0) {
        StatementRun r(m_statements.setCodeInSystem);
        r.text(1, code.description).text(2, code.code).integer(3, code.codingSystemId);
        return m_unit.checked(r.execute());
    }
    StatementRun r(m_statements.setCode);
    r.text(1, code.description).text(2, code.code);
    return m_unit.checked(r.execute());
}

Status SqliteEngine::deleteCodes(const CodeFields& pattern)
{
    if (Status st = m_unit.writable(); !st)
        return st;
    return runPattern(kDeleteCodes, "DELETE FROM codes", codePattern(pattern), "");
}

} // namespace kovadel
