// Opening a database file: recognising it before anything is written to it,
// creating the tables in a new or empty file, and keeping what a file the
// library made held, so that it can be put back when nothing was stored.
#include "SqliteEngine.h"

#include "Schema.h"
#include "Settings.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace kovadel {
namespace {

    // Checks that can be made before SQLite sees the path: SQLite would open a
    // folder or a device, or report a missing folder only vaguely.
    Status checkDatabasePath(const std::string& path)
    {
        const std::string cannot = "cannot open the database " + path + ": ";
        struct stat info { };
        if (::stat(path.c_str(), &info) == 0) {
            if (S_ISDIR(info.st_mode))
                return Status::failure(cannot + "it is a folder");
            if (!S_ISREG(info.st_mode))
                return Status::failure(cannot + "it is not a regular file");
            return {};
        }
        if (errno != ENOENT)
            return Status::failure(cannot + std::strerror(errno));
        // A new file: its folder must be there already; none is ever created.
        const size_t slash = path.find_last_of('/');
        const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
        if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
            return Status::failure(cannot + "the folder " + folder + " does not exist");
        return {};
    }

} // namespace

Status SqliteEngine::open(const std::string& database, const Credentials&)
{
    close();
    if (Status st = checkDatabasePath(database); !st)
        return st;
    return openFile(database, database, originOf(database));
}

Status SqliteEngine::openFile(const std::string& utf8Path, const std::string& shownPath, MadeFile::Origin origin)
{
    // Another run that found the file new, or empty, and stored nothing may
    // remove it (or empty it) again while this one opens it: once this
    // connection holds the file (its -shm open), nobody can, so it looks
    // whether the path still names the file it has open, and opens it anew
    // when not.
    for (int attempt = 0;; ++attempt) {
        bool moved = false;
        Status st = openOnce(utf8Path, shownPath, origin, moved);
        if (!st || !moved)
            return st;
        m_db.close();
        if (attempt == 4)
            return Status::failure("cannot open the database " + shownPath
                + ": it was removed or replaced while it was being opened, again and again");
        origin = originOf(utf8Path);
    }
}

Status SqliteEngine::openOnce(
    const std::string& utf8Path, const std::string& shownPath, MadeFile::Origin origin, bool& moved)
{
    // A file removed under this connection fails in odd ways (an I/O error,
    // say): the path is opened anew then.
    auto fail = [&](Status st) {
        moved = fileMoved();
        m_db.close();
        return moved ? Status() : st;
    };
    // A database that stayed busy for the whole wait is still told as busy.
    auto cannotOpen = [&](const std::string& why, bool busy = false) {
        const std::string reason = "cannot open the database " + shownPath + ": " + why;
        return fail(busy ? Status::busyFailure(reason) : Status::failure(reason));
    };
    m_made = MadeFile();
    if (Status st = m_db.open(utf8Path); !st)
        return cannotOpen(st.reason());
    sqlite3* db = m_db.handle();
    if (origin != MadeFile::Origin::Existing) {
        struct stat info { };
        if (::stat(utf8Path.c_str(), &info) == 0)
            m_made = { origin, utf8Path, info.st_dev, info.st_ino, std::string() };
    }
    m_shownPath = shownPath;
    if (int rc = sqlite3_busy_timeout(db, busyTimeoutMs()); rc != SQLITE_OK)
        return cannotOpen(sqliteReason(db, rc));
    // It refuses nothing unless ExecuteQuery is preparing.
    if (Status st = m_guard.install(db); !st)
        return cannotOpen(st.reason());
    m_trace.start(db, &m_unit.depth());

    // Recognise the file before anything is written to it: a file that is not
    // a database, or another application's database, stays as it is.
    SchemaState state = SchemaState::Empty;
    std::string why;
    if (Status st = inspectSchema(db, state, why); !st) {
        // SQLite reads a write-protected WAL database only where it may make
        // its shared-memory file; say so rather than leave "readonly" alone.
        if (::access(utf8Path.c_str(), W_OK) != 0)
            return cannotOpen(st.reason()
                    + " (the file is write-protected; SQLite can read it only if it may create "
                      "its -shm file beside it)",
                st.busy());
        return cannotOpen(st.reason(), st.busy());
    }
    if (state == SchemaState::Foreign)
        return fail(Status::failure(shownPath + " is not a VELKINDEX database: " + why));
    if (state != SchemaState::Empty)
        m_made.origin = MadeFile::Origin::Existing; // made by another run meanwhile

    // Write-ahead logging where the file allows it; a write-protected file
    // keeps its journal mode and can still be read.
    // On a new file the switch is itself a commit, made with the rollback
    // journal that the file has until then.
    m_trace.observeSettings();
    (void)m_db.exec("PRAGMA journal_mode = WAL");
    m_trace.observeSettings();

    if (state == SchemaState::Empty) {
        bool created = false;
        int64_t version = -1;
        if (Status st = createSchemaIfEmpty(shownPath, created, version); !st)
            return fail(st);
        if (created)
            keepFreshFile(version);
        else
            m_made.origin = MadeFile::Origin::Existing;
    }
    if (fileMoved()) {
        moved = true;
        return {};
    }
    // Single operations outside units commit without a sync of their own
    // (WAL keeps them atomic); units raise this to FULL for their commit.
    if (Status st = m_db.exec("PRAGMA synchronous = NORMAL"); !st)
        return cannotOpen(st.reason());
    // A page cache of 8 MiB: a load appends at the end of its tables and
    // indexes, so a larger one saves it nothing, and a batch run's memory
    // stays small whatever the size of its file.
    // A checkpoint syncs the file; every 10,000 pages (about 40 MB of log)
    // rather than every 1,000 keeps single operations from paying for one
    // every few hundred calls. The log is cut back to 64 MB after a
    // checkpoint that empties it.
    const char* const tuning[]
        = { "PRAGMA cache_size = -8192", "PRAGMA wal_autocheckpoint = 10000", "PRAGMA journal_size_limit = 67108864",
              // Every page read is checked for cells that run off it, so a
              // damaged page fails the statement that meets it.
              "PRAGMA cell_size_check = ON" };
    for (const char* pragma : tuning)
        if (Status st = m_db.exec(pragma); !st)
            return cannotOpen(st.reason());
    m_trace.observeSettings();
    if (Status st = m_statements.prepare(db); !st) {
        if (st.busy())
            return cannotOpen(st.reason(), true);
        m_db.close();
        return Status::failure(shownPath + " is not a VELKINDEX database: " + st.reason());
    }
    return {};
}

bool SqliteEngine::fileMoved()
{
    int moved = 0;
    return m_db.handle() && sqlite3_file_control(m_db.handle(), "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK
        && moved != 0;
}

int64_t SqliteEngine::dataVersion()
{
    Statement version;
    if (!version.prepare(m_db.handle(), "PRAGMA data_version"))
        return -1;
    StatementRun r(version);
    return r.next() ? r.columnInteger(0) : -1;
}

void SqliteEngine::keepFreshFile(int64_t versionAtCreation)
{
    // The schema's pages are written back into the file, so that the file by
    // itself holds them; its bytes then tell whether anything was stored
    // since. That is so only when no other connection has committed anything
    // since the schema (another run may have begun its work at once): the
    // write-back does not wait for one, and the data version tells. When it
    // cannot be told, the file is simply kept.
    sqlite3* db = m_db.handle();
    bool written = false;
    sqlite3_busy_timeout(db, 0);
    {
        Statement checkpoint;
        if (checkpoint.prepare(db, "PRAGMA wal_checkpoint(TRUNCATE)")) {
            StatementRun r(checkpoint);
            written = r.next() && r.columnInteger(0) == 0 && r.columnInteger(1) == 0;
        }
    }
    sqlite3_busy_timeout(db, busyTimeoutMs());
    if (!written || !readWhole(m_made.path, m_made.freshBytes) || m_made.freshBytes.empty() || versionAtCreation < 0
        || dataVersion() != versionAtCreation) {
        m_made.origin = MadeFile::Origin::Existing;
        m_made.freshBytes.clear();
    }
}

Status SqliteEngine::createSchemaIfEmpty(const std::string& shownPath, bool& created, int64_t& version)
{
    // Another process may be creating it at the same moment: look again once
    // the write lock is held.
    if (Status st = m_db.exec("BEGIN IMMEDIATE"); !st)
        return st.withReason("cannot create the tables in " + shownPath + ": " + st.reason());
    SchemaState state = SchemaState::Empty;
    std::string why;
    Status st = inspectSchema(m_db.handle(), state, why);
    if (st && state == SchemaState::Empty) {
        st = createSchema(m_db);
        created = st.ok();
    } else if (st && state == SchemaState::Foreign)
        st = Status::failure(shownPath + " is not a VELKINDEX database: " + why);
    // Read with the write lock held: only another connection's later commit
    // changes it.
    if (st && created)
        version = dataVersion();
    if (st)
        st = m_db.exec("COMMIT");
    if (!st) {
        created = false;
        if (m_db.inTransaction())
            (void)m_db.exec("ROLLBACK");
        if (st.reason().find("VELKINDEX") == std::string::npos)
            return st.withReason("cannot create the tables in " + shownPath + ": " + st.reason());
    }
    return st;
}

} // namespace kovadel
