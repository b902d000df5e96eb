// Which engine keeps a database, told by the database argument of StartVelk.
// A server engine claims the URIs of its server here (a postgresql:// or
// postgres:// URI, say); anything else is an SQLite file path.
#include "Engine.h"

#include "sqlite/SqliteFactory.h"

namespace kovadel {

std::unique_ptr<Engine> chooseEngine(std::string_view database)
{
    (void)database; // every database is an SQLite file for now
    return makeSqliteEngine();
}

} // namespace kovadel
