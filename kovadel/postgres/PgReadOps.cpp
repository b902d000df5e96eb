// Reads: a module's topics, one code, and the codes of a coding system that
// match a pattern, page by page.
//
// None takes the library's lock: outside a unit each statement sees what was
// last committed, inside one it also sees the unit's own changes (what was
// held back or only sent is settled first).
#include "PostgresEngine.h"

#include "CodeSearch.h"
#include "Identifiers.h"

namespace kovadel {
namespace {

    constexpr const char* kCodeColumns = "SELECT CodeID, Code, CodingSystemID, CodeFlag, Description, PatEdDocument";
    // Codes fetched at a time while a search filters them.
    constexpr int kSearchPage = 500;

    CodeFields codeOf(const PGresult* r, int row, int32_t id)
    {
        return CodeFields { id, pgText(r, row, 1), toInt32(pgInteger(r, row, 2)), toInt32(pgInteger(r, row, 3)),
            pgText(r, row, 4), pgText(r, row, 5) };
    }

    std::string untilNul(const std::string& text) { return text.substr(0, text.find('\0')); }

} // namespace

Status PostgresEngine::getTopics(int32_t moduleId, std::vector<TopicFields>& rows)
{
    rows.clear();
    return read([&]() -> Status {
        PgResult r;
        if (Status st = m_link.run("SELECT TopicID, ModuleID, ParentID, HasChild, PatEdDocument, Description"
                                   " FROM topics WHERE ModuleID = $1 ORDER BY TopicID",
                PgValues().integer(moduleId), &r);
            !st)
            return st;
        for (int i = 0; i < PQntuples(r.get()); ++i) {
            const int64_t id = pgInteger(r.get(), i, 0);
            if (!fitsRecord(id)) {
                rows.clear();
                return beyondRecord("the topic identifier", id);
            }
            rows.push_back(TopicFields { toInt32(id), toInt32(pgInteger(r.get(), i, 1)), toInt32(pgInteger(r.get(), i, 2)),
                toInt32(pgInteger(r.get(), i, 3)), pgText(r.get(), i, 4), pgText(r.get(), i, 5) });
        }
        return {};
    });
}

Status PostgresEngine::getCode(int32_t codingSystemId, const std::string& code, CodeFields& row)
{
    return read([&]() -> Status {
        PgResult r;
        if (Status st = m_link.run(std::string(kCodeColumns)
                    + " FROM codes WHERE trim(Code) = $2 AND CodingSystemID = $1 ORDER BY CodeID LIMIT 1",
                PgValues().integer(codingSystemId).text(untilNul(code)), &r);
            !st)
            return st;
        if (PQntuples(r.get()) == 0)
            return Status::failure("coding system " + std::to_string(codingSystemId) + " has no code " + code);
        const int64_t id = pgInteger(r.get(), 0, 0);
        if (!fitsRecord(id))
            return beyondRecord("the code identifier", id);
        row = codeOf(r.get(), 0, toInt32(id));
        return {};
    });
}

Status PostgresEngine::searchCodes(
    const CodeFields& after, const std::string& pattern, int32_t limit, std::vector<CodeFields>& rows)
{
    rows.clear();
    return read([&]() -> Status {
        const CodePattern match(pattern);
        // Code order compares bytes (COLLATE "C"), as on a file. The codes
        // come a page at a time, each page after the last code read, so that
        // a search of a large system holds one page.
        std::string from = after.codeId > 0 ? untilNul(after.code) : std::string();
        int64_t fromId = after.codeId > 0 ? after.codeId : 0;
        const std::string sql = std::string(kCodeColumns)
            + " FROM codes WHERE CodingSystemID = $1 AND trim(Code) COLLATE \"C\" >= $2"
              " AND (trim(Code) COLLATE \"C\" > $2 OR CodeID > $3)"
              " ORDER BY trim(Code) COLLATE \"C\", CodeID LIMIT "
            + std::to_string(kSearchPage);
        for (;;) {
            PgResult r;
            if (Status st = m_link.run(sql, PgValues().integer(after.codingSystemId).text(from).integer(fromId), &r);
                !st) {
                rows.clear();
                return st;
            }
            const int count = PQntuples(r.get());
            for (int i = 0; i < count; ++i) {
                if (limit > 0 && rows.size() >= static_cast<size_t>(limit))
                    return {};
                const int64_t id = pgInteger(r.get(), i, 0);
                CodeFields code = codeOf(r.get(), i, toInt32(id));
                from = code.code;
                while (!from.empty() && from.back() == ' ')
                    from.pop_back();
                while (!from.empty() && from.front() == ' ')
                    from.erase(0, 1);
                fromId = id;
                if (!match.matches(code.code, code.description))
                    continue;
                if (!fitsRecord(id)) {
                    rows.clear();
                    return beyondRecord("the code identifier", id);
                }
                rows.push_back(std::move(code));
            }
            if (count < kSearchPage || (limit > 0 && rows.size() >= static_cast<size_t>(limit)))
                return {};
        }
    });
}

} // namespace kovadel
