// The tables of a VELKINDEX database, and how an opened file is recognised.
#pragma once

#include "Sqlite.h"
#include "Status.h"

#include <string>

namespace kovadel {

// Written into the file header so that other tools can tell the file apart.
inline constexpr int32_t kApplicationId = 0x564B4458; // "VKDX"
inline constexpr int32_t kSchemaVersion = 1;

enum class SchemaState {
    Empty, // no schema object at all: a new or empty file
    Ours, // every table of ours is there
    Foreign, // something else; `why` says what is missing
};

// Reads the schema. Fails when the file is not a database at all.
Status inspectSchema(sqlite3* db, SchemaState& state, std::string& why);

// Creates the tables, their indexes and the one defaults row (blank key),
// and stamps the file. Runs inside the caller's transaction.
Status createSchema(Connection& db);

} // namespace kovadel
