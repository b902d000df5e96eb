#include "QueryGuard.h"

namespace kovadel {
namespace {

    // Settings that would weaken durability or take the file from the library
    // if a statement passed to ExecuteQuery could change them.
    bool isGuardedPragma(const char* name)
    {
        static constexpr const char* guarded[]
            = { "journal_mode", "synchronous", "locking_mode", "writable_schema", "cell_size_check" };
        for (const char* g : guarded)
            if (sqlite3_stricmp(name, g) == 0)
                return true;
        return false;
    }

} // namespace

Status QueryGuard::install(sqlite3* db)
{
    if (int rc = sqlite3_set_authorizer(db, &QueryGuard::authorize, this); rc != SQLITE_OK)
        return Status::failure(sqliteReason(db, rc));
    return {};
}

int QueryGuard::authorize(void* guard, int action, const char* first, const char* second, const char*, const char*)
{
    QueryGuard* g = static_cast<QueryGuard*>(guard);
    if (!g->active)
        return SQLITE_OK;
    switch (action) {
    case SQLITE_TRANSACTION:
    case SQLITE_SAVEPOINT:
        g->denied = "a statement that opens or ends a transaction is refused (units of work do that)";
        return SQLITE_DENY;
    case SQLITE_ATTACH:
    case SQLITE_DETACH:
        g->denied = "a statement that attaches or detaches a database is refused";
        return SQLITE_DENY;
    case SQLITE_INSERT:
    case SQLITE_UPDATE:
        if (first && sqlite3_stricmp(first, "topics") == 0)
            g->writesTopics = true;
        return SQLITE_OK;
    case SQLITE_PRAGMA:
        if (first && second && isGuardedPragma(first)) {
            g->denied
                = "a statement that changes the journal, synchronous, locking, schema or page-check pragmas is refused";
            return SQLITE_DENY;
        }
        return SQLITE_OK;
    default:
        return SQLITE_OK;
    }
}

} // namespace kovadel
