// Which engine keeps a database, told by the database argument of StartVelk:
// a postgresql:// or postgres:// URI (libpq's own syntax) names a library on
// a PostgreSQL server; anything else is an SQLite file path.
#include "Engine.h"

#include "kovadel/DatabaseUri.h"
#include "postgres/PostgresEngine.h"
#include "sqlite/SqliteFactory.h"

namespace kovadel {

std::unique_ptr<Engine> chooseEngine(std::string_view database)
{
    if (isPostgresUri(database))
        return std::make_unique<PostgresEngine>();
    return makeSqliteEngine();
}

} // namespace kovadel
