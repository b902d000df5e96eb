// Coding systems (listed, found by name) and their codes (stored, given a
// description, deleted).
#include "SqliteEngine.h"

namespace kovadel {

Status SqliteEngine::getCodingSystems(const CodingSystemFields& filter, std::vector<CodingSystemFields>& rows)
{
    if (Status st = ready(); !st)
        return st;
    return listRows(kListCodingSystems, "SELECT CodingSystemID, CodingSystemName FROM codingsystems",
        codingSystemFilter(filter), " ORDER BY CodingSystemID", "the coding system identifier", rows,
        [](const StatementRun& r, int32_t id) {
            return CodingSystemFields { id, r.columnText(1) };
        });
}

Status SqliteEngine::getCodingSystem(const std::string& name, CodingSystemFields& row)
{
    if (Status st = ready(); !st)
        return st;
    return findByName(m_statements.getCodingSystem, name, "the coding system identifier",
        "no coding system is named " + name, [&row](const StatementRun& r, int32_t id) {
            row = { id, r.columnText(1) };
        });
}

Status SqliteEngine::insertCode(const CodeFields& code)
{
    if (Status st = m_unit.writable(); !st)
        return st;
    if (m_unit.depth() > 0) {
        // Descriptions given before the code came must not reach it.
        if (!m_pendingDescriptions.empty())
            if (Status st = settle(); !st)
                return st;
        m_pendingCodes.addText(code.code);
        m_pendingCodes.addInteger(code.codingSystemId);
        m_pendingCodes.addInteger(code.codeFlag);
        m_pendingCodes.addText(code.description);
        m_pendingCodes.addText(code.patEdDocument);
        m_pendingCodes.endRow();
        return m_pendingCodes.full() ? settle() : Status();
    }
    StatementRun r(m_statements.insertCode);
    r.text(1, code.code).integer(2, code.codingSystemId).integer(3, code.codeFlag);
    r.text(4, code.description).text(5, code.patEdDocument);
    return m_unit.checked(r.execute());
}

Status SqliteEngine::setCode(const CodeFields& code)
{
    if (Status st = m_unit.writable(); !st)
        return st;
    if (m_unit.depth() > 0) {
        // The codes inserted before must be there, and a code already given
        // a description in this batch gets the later one in the next.
        if (!m_pendingCodes.empty() || m_pendingDescriptions.holdsKey(code.code))
            if (Status st = settle(); !st)
                return st;
        m_pendingDescriptions.addText(code.code);
        m_pendingDescriptions.addText(code.description);
        m_pendingDescriptions.addInteger(code.codingSystemId);
        m_pendingDescriptions.endRow();
        return m_pendingDescriptions.full() ? settle() : Status();
    }
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
    if (Status st = readyToWrite(); !st)
        return st;
    return runPattern(kDeleteCodes, "DELETE FROM codes", codePattern(pattern), "");
}

} // namespace kovadel
