// The tables of a VELKINDEX library on a PostgreSQL server: those of the
// SQLite engine (sqlite/Schema.cpp), same names (unquoted, so lower case on
// the server), same columns and indexes.
#pragma once

#include "PgLink.h"

#include <string>

namespace kovadel {

// The library's tables, in the order they are created.
inline constexpr const char* kPgTables[] = { "modules", "topics", "codingsystems", "codes", "patEdDefaults" };

// Makes sure that the tables are there and that the user may work with
// them: creates them all when none is there (as one transaction, under the
// library's lock), and fails with a reason that says what is missing when
// only some are, or when the user may not create them, or may not read and
// write them. `shown` names the database in reasons.
Status preparePgSchema(PgLink& link, const std::string& shown);

// The key of the library's advisory lock: one per database.
inline constexpr long long kPgLibraryLock = 0x56454C4B494E4458LL; // "VELKINDX"

} // namespace kovadel
