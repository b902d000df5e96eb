// Whether a database is damaged, as SQLite's own quick_check finds it.
#pragma once

#include "Sqlite.h"

#include <string>

namespace kovadel {

struct CheckVerdict {
    enum Kind {
        Sound,
        Damaged, // detail: what SQLite found (one line)
        Unchecked, // the check could not run; detail says why
    };
    Kind kind = Unchecked;
    std::string detail;
};

// True for the results with which SQLite reports a damaged file.
bool isDamageCode(int rc);

// PRAGMA quick_check of one table with its indexes; of "sqlite_schema", the
// schema and the list of free pages.
CheckVerdict quickCheck(sqlite3* db, const char* table);

} // namespace kovadel
