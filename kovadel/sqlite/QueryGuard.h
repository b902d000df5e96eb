// What SQL text handed to ExecuteQuery may not do, told to SQLite through
// the connection's authorizer while that text is prepared: open or end a
// transaction (units of work do that), attach a database, or change the
// settings that keep the file durable and the library's own.
#pragma once

#include "Sqlite.h"

namespace kovadel {

struct QueryGuard {
    bool active = false; // only while ExecuteQuery prepares; nothing is refused otherwise
    const char* denied = nullptr; // why the last prepare was refused
    bool writesTopics = false; // the statement inserts or updates topics

    // Installs the guard on `db` once, as it opens: changing the authorizer
    // later would expire every prepared statement.
    Status install(sqlite3* db);
    // Readies the guard for one prepare.
    void arm()
    {
        active = true;
        denied = nullptr;
        writesTopics = false;
    }

private:
    static int authorize(void* guard, int action, const char* first, const char* second, const char*, const char*);
};

} // namespace kovadel
