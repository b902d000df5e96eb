#include "DamageCheck.h"

#include <string_view>

namespace kovadel {

namespace {

    // The first finding of "*** in database main ***\nOn tree page 5 cell 3:
    // ...\nPage 9 is never used ...".
    std::string firstFinding(std::string text)
    {
        constexpr std::string_view head = "*** in database main ***";
        if (text.compare(0, head.size(), head) == 0)
            text.erase(0, head.size());
        const size_t first = text.find_first_not_of("\r\n ");
        if (first == std::string::npos)
            return {};
        text.erase(0, first);
        const size_t end = text.find_first_of("\r\n");
        return end == std::string::npos ? text : text.substr(0, end);
    }

} // namespace

bool isDamageCode(int rc)
{
    const int primary = rc & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

CheckVerdict quickCheck(sqlite3* db, const char* table)
{
    // The table is one of the library's own names, never the caller's text.
    const std::string sql = std::string("PRAGMA quick_check(\"") + table + "\")";
    CheckVerdict verdict;
    Statement check;
    if (Status st = check.prepare(db, sql); !st) {
        verdict.kind = isDamageCode(sqlite3_extended_errcode(db)) ? CheckVerdict::Damaged : CheckVerdict::Unchecked;
        verdict.detail = st.reason();
        return verdict;
    }
    const int rc = sqlite3_step(check.handle());
    if (rc == SQLITE_ROW) {
        const unsigned char* text = sqlite3_column_text(check.handle(), 0);
        const std::string found = text ? reinterpret_cast<const char*>(text) : "";
        verdict.kind = found == "ok" ? CheckVerdict::Sound : CheckVerdict::Damaged;
        verdict.detail = firstFinding(found);
        return verdict;
    }
    const int error = sqlite3_reset(check.handle());
    verdict.kind = isDamageCode(error) ? CheckVerdict::Damaged : CheckVerdict::Unchecked;
    verdict.detail = sqliteReason(db, error);
    return verdict;
}

} // namespace kovadel
