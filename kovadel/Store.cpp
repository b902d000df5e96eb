#include "Store.h"

#include "Schema.h"
#include "Settings.h"
#include "SqlText.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kovadel {

namespace {

    constexpr const char* kDoomedReason = "the unit of work was rolled back";
    constexpr const char* kNoUnitReason = "no unit of work is open";

    // Kinds of pattern statements, one cache slot per kind and condition mask.
    enum PatternKind : unsigned {
        kListModules = 1,
        kDeleteModules,
        kDeleteTopics,
        kListCodingSystems,
        kDeleteCodes,
    };

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

    int32_t toInt32(int64_t value) { return static_cast<int32_t>(value); }

    // Identifiers travel in 32-bit signed record fields: one that does not
    // fit is never handed out or taken in, as it would come back as another.
    constexpr int64_t kLargestIdentifier = INT32_MAX;

    bool fitsRecord(int64_t identifier) { return identifier >= INT32_MIN && identifier <= kLargestIdentifier; }

    Status beyondRecord(const std::string& what, int64_t value)
    {
        return Status::failure(what + " " + std::to_string(value) + " is past " + std::to_string(kLargestIdentifier)
            + ", the largest identifier a record can hold");
    }

    std::string defaultsColumnList()
    {
        std::string list;
        for (const DefaultsColumn& c : kDefaultsColumns) {
            if (!list.empty())
                list += ", ";
            list += c.name;
        }
        return list;
    }

} // namespace

Store::~Store()
{
    if (m_depth > 0 && m_db.handle() && !sqlite3_get_autocommit(m_db.handle()))
        (void)run(m_rollback);
}

int Store::authorize(void* guard, int action, const char* first, const char* second, const char*, const char*)
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

Status Store::open(const std::string& utf8Path, const std::string& shownPath, MadeFile::Origin origin)
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

Status Store::openOnce(const std::string& utf8Path, const std::string& shownPath, MadeFile::Origin origin, bool& moved)
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
    // Set once: changing the authorizer later would expire every prepared
    // statement. It refuses nothing unless ExecuteQuery is preparing.
    if (int rc = sqlite3_set_authorizer(db, &Store::authorize, &m_guard); rc != SQLITE_OK)
        return cannotOpen(sqliteReason(db, rc));
    startTrace();

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
    observeSettings();
    (void)m_db.exec("PRAGMA journal_mode = WAL");
    observeSettings();

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
    // A checkpoint syncs the file; every 10,000 pages (about 40 MB of log)
    // rather than every 1,000 keeps single operations from paying for one
    // every few hundred calls. The log is cut back to 64 MB after a
    // checkpoint that empties it.
    const char* const tuning[]
        = { "PRAGMA cache_size = -16384", "PRAGMA wal_autocheckpoint = 10000", "PRAGMA journal_size_limit = 67108864",
              // Every page read is checked for cells that run off it, so a
              // damaged page fails the statement that meets it.
              "PRAGMA cell_size_check = ON" };
    for (const char* pragma : tuning)
        if (Status st = m_db.exec(pragma); !st)
            return cannotOpen(st.reason());
    observeSettings();
    if (Status st = prepareStatements(); !st) {
        if (st.busy())
            return cannotOpen(st.reason(), true);
        m_db.close();
        return Status::failure(shownPath + " is not a VELKINDEX database: " + st.reason());
    }
    return {};
}

bool Store::fileMoved()
{
    int moved = 0;
    return m_db.handle() && sqlite3_file_control(m_db.handle(), "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK
        && moved != 0;
}

int64_t Store::dataVersion()
{
    Statement version;
    if (!version.prepare(m_db.handle(), "PRAGMA data_version"))
        return -1;
    StatementRun r(version);
    return r.next() ? r.columnInteger(0) : -1;
}

void Store::keepFreshFile(int64_t versionAtCreation)
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

Status Store::createSchemaIfEmpty(const std::string& shownPath, bool& created, int64_t& version)
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
        if (!sqlite3_get_autocommit(m_db.handle()))
            (void)m_db.exec("ROLLBACK");
        if (st.reason().find("VELKINDEX") == std::string::npos)
            return st.withReason("cannot create the tables in " + shownPath + ": " + st.reason());
    }
    return st;
}

Status Store::prepareStatements()
{
    const std::string defaultsColumns = defaultsColumnList();
    std::string updateDefaults = "UPDATE patEdDefaults SET ";
    std::string insertDefaults = "INSERT INTO patEdDefaults (" + defaultsColumns + ") VALUES (";
    for (size_t i = 0; i < kDefaultsColumnCount; ++i) {
        const std::string param = "?" + std::to_string(i + 1);
        if (i > 0) {
            updateDefaults += std::string(i > 1 ? ", " : "") + kDefaultsColumns[i].name + " = " + param;
            insertDefaults += ", ";
        }
        insertDefaults += param;
    }
    updateDefaults += " WHERE trim(DefaultsKey) = ?1";
    insertDefaults += ")";
    const std::string getDefaults
        = "SELECT " + defaultsColumns + " FROM patEdDefaults WHERE trim(DefaultsKey) = ?1 ORDER BY rowid LIMIT 1";

    const struct {
        Statement& statement;
        std::string sql;
    } statements[] = {
        { m_begin, "BEGIN IMMEDIATE" },
        { m_commit, "COMMIT" },
        { m_rollback, "ROLLBACK" },
        { m_savepoint, "SAVEPOINT kovadel_operation" },
        { m_release, "RELEASE kovadel_operation" },
        { m_rollbackTo, "ROLLBACK TO kovadel_operation" },
        { m_getModule,
            "SELECT ModuleID, ModuleName, DirectoryPrefix FROM modules"
            " WHERE trim(ModuleName) = ?1 ORDER BY ModuleID LIMIT 1" },
        { m_insertModule, "INSERT INTO modules (ModuleName, DirectoryPrefix) VALUES (?1, ?2)" },
        { m_insertTopic,
            "INSERT INTO topics (ModuleID, ParentID, HasChild, PatEdDocument, Description)"
            " VALUES (?1, ?2, ?3, ?4, ?5)" },
        { m_getTopic,
            "SELECT TopicID FROM topics WHERE ModuleID = ?1 AND trim(PatEdDocument) = ?2"
            " AND trim(Description) = ?3 ORDER BY TopicID DESC LIMIT 1" },
        { m_setTopic, "UPDATE topics SET HasChild = ?2 WHERE TopicID = ?1" },
        // AUTOINCREMENT numbers past both the largest number ever given and
        // the largest row.
        { m_nextTopicIdQuery,
            "SELECT max(coalesce((SELECT seq FROM sqlite_sequence WHERE name = 'topics'), 0),"
            " coalesce((SELECT max(TopicID) FROM topics), 0)) + 1" },
        { m_largestTopicId, "SELECT max(TopicID) FROM topics" },
        { m_getCodingSystem,
            "SELECT CodingSystemID, CodingSystemName FROM codingsystems"
            " WHERE trim(CodingSystemName) = ?1 ORDER BY CodingSystemID LIMIT 1" },
        { m_insertCode,
            "INSERT INTO codes (Code, CodingSystemID, CodeFlag, Description, PatEdDocument)"
            " VALUES (?1, ?2, ?3, ?4, ?5)" },
        { m_setCode, "UPDATE codes SET Description = ?1 WHERE trim(Code) = ?2" },
        { m_setCodeInSystem, "UPDATE codes SET Description = ?1 WHERE trim(Code) = ?2 AND CodingSystemID = ?3" },
        { m_getDefaults, getDefaults },
        { m_updateDefaults, updateDefaults },
        { m_insertDefaults, insertDefaults },
    };
    for (const auto& s : statements)
        if (Status st = s.statement.prepare(m_db.handle(), s.sql); !st)
            return st;
    return {};
}

// ---- units of work ---------------------------------------------------------

Status Store::run(Statement& statement)
{
    StatementRun r(statement);
    return r.execute();
}

Status Store::usable()
{
    if (!m_damageReason.empty())
        return Status::damage(m_damageReason);
    if (m_depth > 0) {
        if (!m_doomed && sqlite3_get_autocommit(m_db.handle())) {
            m_doomed = true;
            m_doomReason = std::string(kDoomedReason) + " (the database ended its transaction)";
        }
        if (m_doomed)
            return Status::failure(m_doomReason);
    }
    return {};
}

Status Store::checked(Status status)
{
    // SQLite met a damaged page: the file is refused from now on.
    if (!status && !status.isDamage() && isDamageCode(sqlite3_extended_errcode(m_db.handle())))
        return noteDamage(status.reason());
    if (!status && m_depth > 0 && !m_doomed && sqlite3_get_autocommit(m_db.handle())) {
        m_doomed = true;
        m_doomReason
            = std::string(kDoomedReason) + " (the database ended its transaction after: " + status.reason() + ")";
    }
    return status;
}

Status Store::writable()
{
    if (Status st = usable(); !st)
        return st;
    // A unit is checked as it begins.
    if (m_depth > 0 || m_verified)
        return {};
    return verify();
}

Status Store::verify()
{
    // Every page that a statement reads or writes is checked by SQLite as it
    // is loaded (cell_size_check), and a damaged one fails the statement (see
    // checked()). These b-trees steer where a run's rows go, so they are
    // checked whole: the schema and the list of free pages, the modules, the
    // coding systems, the defaults and the numbering of new rows.
    static constexpr const char* steering[]
        = { "sqlite_schema", "modules", "codingsystems", "patEdDefaults", "sqlite_sequence" };
    for (const char* table : steering)
        if (Status st = takeVerdict(quickCheck(m_db.handle(), table)); !st)
            return st;
    m_verified = true;
    return {};
}

Status Store::takeVerdict(const CheckVerdict& verdict)
{
    switch (verdict.kind) {
    case CheckVerdict::Sound:
        return {};
    case CheckVerdict::Damaged:
        return noteDamage(verdict.detail);
    case CheckVerdict::Unchecked:
        break;
    }
    return Status::failure(
        "the database " + m_shownPath + " could not be checked before it is written: " + verdict.detail);
}

Status Store::noteDamage(const std::string& detail)
{
    if (m_damageReason.empty())
        m_damageReason = "the database " + m_shownPath + " is damaged (" + detail + ")";
    // Nothing of an open unit may be committed now.
    if (m_depth > 0) {
        if (!sqlite3_get_autocommit(m_db.handle()))
            (void)run(m_rollback);
        m_doomed = true;
        m_doomReason = m_damageReason;
    }
    return Status::damage(m_damageReason);
}

Status Store::setSynchronous(bool full)
{
    // Compiled anew at every call: SQLite applies PRAGMA synchronous while it
    // compiles the statement, and running a compiled one again changes
    // nothing. (Kept prepared, FULL and NORMAL both took effect once, at
    // open, and every unit committed with NORMAL.)
    return m_db.exec(full ? "PRAGMA synchronous = FULL" : "PRAGMA synchronous = NORMAL");
}

void Store::endUnit()
{
    m_depth = 0;
    m_nextTopicId = 0;
    m_doomed = false;
    m_doomReason.clear();
    (void)setSynchronous(false);
    observeSettings();
}

// ---- diagnostics -----------------------------------------------------------

void Store::startTrace()
{
    const char* path = std::getenv("VELKINDEX_TRACE_COMMITS");
    if (!path || !*path)
        return;
    m_tracePath = path;
    sqlite3_commit_hook(m_db.handle(), &Store::traceCommit, this);
    sqlite3_rollback_hook(m_db.handle(), &Store::traceRollback, this);
}

void Store::observeSettings()
{
    if (m_tracePath.empty())
        return;
    m_observedSynchronous = -1;
    m_observedJournalMode = "?";
    Statement synchronous, journalMode;
    if (synchronous.prepare(m_db.handle(), "PRAGMA synchronous")) {
        StatementRun r(synchronous);
        if (r.next())
            m_observedSynchronous = r.columnInteger(0);
    }
    if (journalMode.prepare(m_db.handle(), "PRAGMA journal_mode")) {
        StatementRun r(journalMode);
        if (r.next())
            m_observedJournalMode = r.columnText(0);
    }
}

int Store::traceCommit(void* store)
{
    const Store* self = static_cast<const Store*>(store);
    self->appendTrace(std::string("commit unit=") + (self->m_depth > 0 ? "1" : "0") + " synchronous="
        + std::to_string(self->m_observedSynchronous) + " journal_mode=" + self->m_observedJournalMode);
    return 0; // the commit goes ahead
}

void Store::traceRollback(void* store)
{
    const Store* self = static_cast<const Store*>(store);
    self->appendTrace(std::string("rollback unit=") + (self->m_depth > 0 ? "1" : "0"));
}

void Store::appendTrace(const std::string& line) const
{
    // One write per line, appended, so that the lines of several processes
    // sharing one trace file do not interleave.
    const int fd = ::open(m_tracePath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    const std::string text = line + " pid=" + std::to_string(::getpid()) + "\n";
    (void)!::write(fd, text.data(), text.size());
    ::close(fd);
}

Status Store::beginUnit()
{
    if (m_depth > 0) {
        if (Status st = usable(); !st)
            return st;
        ++m_depth;
        return {};
    }
    if (Status st = usable(); !st)
        return st; // a damaged file opens no unit
    // The outermost unit's commit is synced; the write lock is taken at once,
    // so a database that another process holds fails here, before any work.
    if (Status st = setSynchronous(true); !st)
        return st;
    if (Status st = run(m_begin); !st) {
        (void)setSynchronous(false);
        return checked(st);
    }
    m_depth = 1;
    m_doomed = false;
    m_nextTopicId = 0;
    // Checked once per connection, with the write lock held: nothing can
    // change the file between the check and the unit's work.
    if (!m_verified) {
        if (Status st = verify(); !st) {
            if (!sqlite3_get_autocommit(m_db.handle()))
                (void)run(m_rollback);
            endUnit();
            return st;
        }
    }
    return {};
}

Status Store::commitUnit()
{
    if (m_depth == 0)
        return Status::failure(kNoUnitReason);
    if (m_depth > 1) {
        --m_depth;
        if (!m_damageReason.empty())
            return Status::damage(m_damageReason);
        return m_doomed ? Status::failure(m_doomReason) : Status();
    }
    Status result = usable();
    if (result) {
        observeSettings();
        result = run(m_commit);
        // A commit that could not finish leaves the transaction open; nothing
        // of it may stay half-done.
        if (!result && !sqlite3_get_autocommit(m_db.handle()))
            (void)run(m_rollback);
    }
    endUnit();
    return result;
}

Status Store::rollbackUnit()
{
    if (m_depth == 0)
        return Status::failure(kNoUnitReason);
    Status result;
    if (!sqlite3_get_autocommit(m_db.handle()))
        result = run(m_rollback);
    if (--m_depth > 0) {
        m_doomed = true;
        if (m_damageReason.empty())
            m_doomReason = kDoomedReason;
    } else {
        endUnit();
    }
    // The unit is undone either way; the caller learns why it could not stay.
    if (!m_damageReason.empty())
        return Status::damage(m_damageReason);
    return result;
}

// ---- pattern statements ----------------------------------------------------

Statement* Store::patternStatement(unsigned kind, std::string_view head, const std::vector<Condition>& conditions,
    std::string_view tail, Status& status)
{
    unsigned mask = 0;
    for (size_t i = 0; i < conditions.size(); ++i)
        if (!conditions[i].any)
            mask |= 1u << i;
    const unsigned key = (kind << 8) | mask;
    auto found = m_patterns.find(key);
    if (found != m_patterns.end())
        return &found->second;

    // Only column names go into the text; values are bound as ?N, N being
    // the condition's place in the pattern.
    std::string sql(head);
    const char* joint = " WHERE ";
    for (size_t i = 0; i < conditions.size(); ++i) {
        if (conditions[i].any)
            continue;
        sql += joint;
        sql += conditions[i].column;
        sql += " = ?" + std::to_string(i + 1);
        joint = " AND ";
    }
    sql += tail;
    Statement statement;
    status = statement.prepare(m_db.handle(), sql);
    if (!status)
        return nullptr;
    return &m_patterns.emplace(key, std::move(statement)).first->second;
}

void Store::bindConditions(StatementRun& run, const std::vector<Condition>& conditions)
{
    for (size_t i = 0; i < conditions.size(); ++i) {
        const Condition& c = conditions[i];
        if (c.any)
            continue;
        if (c.text)
            run.text(static_cast<int>(i + 1), *c.text);
        else
            run.integer(static_cast<int>(i + 1), c.number);
    }
}

Status Store::runPattern(unsigned kind, std::string_view head, const std::vector<Condition>& conditions,
    std::string_view tail, const std::function<void(const StatementRun&)>& onRow)
{
    Status st;
    Statement* statement = patternStatement(kind, head, conditions, tail, st);
    if (!statement)
        return st;
    StatementRun r(*statement);
    bindConditions(r, conditions);
    while (r.next())
        if (onRow)
            onRow(r);
    return checked(r.status());
}

// ---- modules ---------------------------------------------------------------

Status Store::getModules(const ModuleFields& filter, std::vector<ModuleFields>& rows)
{
    if (Status st = usable(); !st)
        return st;
    // An identifier of 0 (or -1) and a blank name ask for every module; the
    // directory prefix filters nothing.
    const std::vector<Condition> conditions = {
        number("ModuleID", filter.moduleId, filter.moduleId == 0 || filter.moduleId == -1),
        text("trim(ModuleName)", filter.moduleName),
    };
    rows.clear();
    int64_t beyond = 0;
    Status st = runPattern(kListModules, "SELECT ModuleID, ModuleName, DirectoryPrefix FROM modules", conditions,
        " ORDER BY ModuleID", [&rows, &beyond](const StatementRun& r) {
            const int64_t id = r.columnInteger(0);
            if (!fitsRecord(id))
                beyond = id;
            rows.push_back({ toInt32(id), r.columnText(1), r.columnText(2) });
        });
    if (st && beyond != 0) {
        rows.clear();
        return beyondRecord("the module identifier", beyond);
    }
    return st;
}

Status Store::getModule(const std::string& name, ModuleFields& row)
{
    if (Status st = usable(); !st)
        return st;
    StatementRun r(m_getModule);
    r.text(1, name);
    if (r.next()) {
        if (!fitsRecord(r.columnInteger(0)))
            return beyondRecord("the module identifier", r.columnInteger(0));
        row = { toInt32(r.columnInteger(0)), r.columnText(1), r.columnText(2) };
        return {};
    }
    if (!r.status())
        return checked(r.status());
    return Status::failure("no module is named " + name);
}

Status Store::insertModule(const ModuleFields& module)
{
    if (Status st = writable(); !st)
        return st;
    StatementRun r(m_insertModule);
    r.text(1, module.moduleName).text(2, module.directoryPrefix);
    return checked(r.execute());
}

Status Store::deleteModules(const ModuleFields& pattern)
{
    if (Status st = writable(); !st)
        return st;
    // -1 and blank text mean any value.
    const std::vector<Condition> conditions = {
        number("ModuleID", pattern.moduleId, pattern.moduleId == -1),
        text("trim(ModuleName)", pattern.moduleName),
        text("trim(DirectoryPrefix)", pattern.directoryPrefix),
    };
    return runPattern(kDeleteModules, "DELETE FROM modules", conditions, "");
}

// ---- topics ----------------------------------------------------------------

Status Store::insertTopic(const TopicFields& topic)
{
    if (Status st = writable(); !st)
        return st;
    // The store numbers the topic; the identifier given is not used.
    if (Status st = roomForTopic(); !st)
        return st;
    StatementRun r(m_insertTopic);
    r.integer(1, topic.moduleId).integer(2, topic.parentId).integer(3, topic.hasChild);
    r.text(4, topic.patEdDocument).text(5, topic.description);
    Status st = checked(r.execute());
    topicInserted(st);
    return st;
}

Status Store::getTopic(const TopicFields& key, int32_t& topicId)
{
    if (Status st = usable(); !st)
        return st;
    StatementRun r(m_getTopic);
    r.integer(1, key.moduleId).text(2, key.patEdDocument).text(3, key.description);
    if (r.next()) {
        if (!fitsRecord(r.columnInteger(0)))
            return beyondRecord("the topic identifier", r.columnInteger(0));
        topicId = toInt32(r.columnInteger(0));
        return {};
    }
    if (!r.status())
        return checked(r.status());
    return Status::failure("no topic of module " + std::to_string(key.moduleId) + " has that document and description");
}

Status Store::setTopic(int32_t topicId, int32_t hasChild)
{
    if (Status st = writable(); !st)
        return st;
    StatementRun r(m_setTopic);
    r.integer(1, topicId).integer(2, hasChild);
    if (Status st = r.execute(); !st)
        return checked(st);
    // An identifier names one topic; when it names none, the caller's
    // numbering has gone wrong and should hear of it.
    if (r.changes() == 0)
        return Status::failure("no topic has the identifier " + std::to_string(topicId));
    return {};
}

Status Store::deleteTopics(const TopicFields& pattern)
{
    if (Status st = writable(); !st)
        return st;
    const std::vector<Condition> conditions = {
        number("TopicID", pattern.topicId, pattern.topicId == -1),
        number("ModuleID", pattern.moduleId, pattern.moduleId == -1),
        number("ParentID", pattern.parentId, pattern.parentId == -1),
        number("HasChild", pattern.hasChild, pattern.hasChild == -1),
        text("trim(PatEdDocument)", pattern.patEdDocument),
        text("trim(Description)", pattern.description),
    };
    return runPattern(kDeleteTopics, "DELETE FROM topics", conditions, "");
}

// ---- coding systems and codes ---------------------------------------------

Status Store::getCodingSystems(const CodingSystemFields& filter, std::vector<CodingSystemFields>& rows)
{
    if (Status st = usable(); !st)
        return st;
    const std::vector<Condition> conditions = {
        number("CodingSystemID", filter.codingSystemId, filter.codingSystemId == 0 || filter.codingSystemId == -1),
        text("trim(CodingSystemName)", filter.codingSystemName),
    };
    rows.clear();
    int64_t beyond = 0;
    Status st = runPattern(kListCodingSystems, "SELECT CodingSystemID, CodingSystemName FROM codingsystems", conditions,
        " ORDER BY CodingSystemID", [&rows, &beyond](const StatementRun& r) {
            const int64_t id = r.columnInteger(0);
            if (!fitsRecord(id))
                beyond = id;
            rows.push_back({ toInt32(id), r.columnText(1) });
        });
    if (st && beyond != 0) {
        rows.clear();
        return beyondRecord("the coding system identifier", beyond);
    }
    return st;
}

Status Store::getCodingSystem(const std::string& name, CodingSystemFields& row)
{
    if (Status st = usable(); !st)
        return st;
    StatementRun r(m_getCodingSystem);
    r.text(1, name);
    if (r.next()) {
        if (!fitsRecord(r.columnInteger(0)))
            return beyondRecord("the coding system identifier", r.columnInteger(0));
        row = { toInt32(r.columnInteger(0)), r.columnText(1) };
        return {};
    }
    if (!r.status())
        return checked(r.status());
    return Status::failure("no coding system is named " + name);
}

Status Store::insertCode(const CodeFields& code)
{
    if (Status st = writable(); !st)
        return st;
    StatementRun r(m_insertCode);
    r.text(1, code.code).integer(2, code.codingSystemId).integer(3, code.codeFlag);
    r.text(4, code.description).text(5, code.patEdDocument);
    return checked(r.execute());
}

Status Store::setCode(const CodeFields& code)
{
    if (Status st = writable(); !st)
        return st;
    // Every code of that name gets the description: within one coding system
    // when the record names one, in all of them when its identifier is 0. A
    // code that is not stored is no failure: no row then differs from what
    // the caller asked for.
    if (code.codingSystemId != 0) {
        StatementRun r(m_setCodeInSystem);
        r.text(1, code.description).text(2, code.code).integer(3, code.codingSystemId);
        return checked(r.execute());
    }
    StatementRun r(m_setCode);
    r.text(1, code.description).text(2, code.code);
    return checked(r.execute());
}

Status Store::deleteCodes(const CodeFields& pattern)
{
    if (Status st = writable(); !st)
        return st;
    const std::vector<Condition> conditions = {
        number("CodeID", pattern.codeId, pattern.codeId == -1),
        text("trim(Code)", pattern.code),
        number("CodingSystemID", pattern.codingSystemId, pattern.codingSystemId == -1),
        number("CodeFlag", pattern.codeFlag, pattern.codeFlag == -1),
        text("trim(Description)", pattern.description),
        text("trim(PatEdDocument)", pattern.patEdDocument),
    };
    return runPattern(kDeleteCodes, "DELETE FROM codes", conditions, "");
}

// ---- defaults --------------------------------------------------------------

Status Store::getDefaults(const std::string& key, DefaultsFields& defaults)
{
    if (Status st = usable(); !st)
        return st;
    StatementRun r(m_getDefaults);
    r.text(1, key);
    if (r.next()) {
        for (size_t i = 0; i < kDefaultsColumnCount; ++i) {
            if (kDefaultsColumns[i].width == 0)
                defaults.value[i] = toInt32(r.columnInteger(static_cast<int>(i)));
            else
                defaults.text[i] = r.columnText(static_cast<int>(i));
        }
        return {};
    }
    if (!r.status())
        return checked(r.status());
    if (key.empty()) {
        // Every database has defaults under the blank key (its schema stores
        // that row). Where the row has been removed they read as blank, as a
        // new database's do; setDefaults stores the row again.
        defaults = DefaultsFields();
        return {};
    }
    return Status::failure("no defaults are stored under the key " + key);
}

Status Store::setDefaults(const DefaultsFields& defaults)
{
    if (Status st = writable(); !st)
        return st;
    // Update the row of that key, or add one: both in one savepoint, so that
    // the operation is atomic inside and outside a unit.
    if (Status st = run(m_savepoint); !st)
        return checked(st);
    Status st;
    {
        StatementRun update(m_updateDefaults);
        for (size_t i = 0; i < kDefaultsColumnCount; ++i) {
            const int param = static_cast<int>(i + 1);
            if (kDefaultsColumns[i].width == 0)
                update.integer(param, defaults.value[i]);
            else
                update.text(param, defaults.text[i]);
        }
        st = update.execute();
        if (st && update.changes() == 0) {
            StatementRun insert(m_insertDefaults);
            for (size_t i = 0; i < kDefaultsColumnCount; ++i) {
                const int param = static_cast<int>(i + 1);
                if (kDefaultsColumns[i].width == 0)
                    insert.integer(param, defaults.value[i]);
                else
                    insert.text(param, defaults.text[i]);
            }
            st = insert.execute();
        }
    }
    if (!st) {
        (void)run(m_rollbackTo);
        (void)run(m_release);
        return checked(st);
    }
    st = run(m_release);
    if (!st && m_depth == 0 && !sqlite3_get_autocommit(m_db.handle()))
        (void)run(m_rollback);
    return checked(st);
}

// ---- SQL text --------------------------------------------------------------

Status Store::executeQuery(std::string_view sql)
{
    if (Status st = usable(); !st)
        return st;

    // The program's topic insert is the one statement sent in bulk. Its
    // values are bound to the prepared insert instead of the text being
    // compiled anew: the row stored is the one the text would store.
    TopicInsertValues values;
    if (parseTopicInsert(sql, values)) {
        if (Status st = writable(); !st)
            return st;
        if (!fitsRecord(values.moduleId))
            return beyondRecord("the module identifier", values.moduleId);
        if (!fitsRecord(values.parentId))
            return beyondRecord("the parent topic identifier", values.parentId);
        if (Status st = roomForTopic(); !st)
            return st;
        StatementRun r(m_insertTopic);
        r.integer(1, values.moduleId).integer(2, values.parentId).integer(3, values.hasChild);
        r.text(4, values.patEdDocument).text(5, values.description);
        Status st = checked(r.execute());
        topicInserted(st);
        return st;
    }

    sqlite3* db = m_db.handle();
    const char* rest = sql.data();
    const char* const end = sql.data() + sql.size();
    sqlite3_stmt* prepared = nullptr;
    // Empty statements (a lone semicolon) before the first one are skipped.
    while (!prepared) {
        if (holdsNoStatement(std::string_view(rest, static_cast<size_t>(end - rest))))
            return Status::failure("the SQL text holds no statement");
        const char* tail = nullptr;
        m_guard.active = true;
        m_guard.denied = nullptr;
        m_guard.writesTopics = false;
        const int rc = sqlite3_prepare_v3(db, rest, static_cast<int>(end - rest), 0, &prepared, &tail);
        m_guard.active = false;
        if (rc != SQLITE_OK) {
            sqlite3_finalize(prepared);
            if (m_guard.denied)
                return Status::failure(m_guard.denied);
            return sqliteFailure(db, rc);
        }
        rest = tail ? tail : end;
    }
    Statement statement;
    statement.adopt(prepared);
    // Exactly one statement: anything but blanks and comments after it is
    // refused before the first one runs.
    if (!holdsNoStatement(std::string_view(rest, static_cast<size_t>(end - rest))))
        return Status::failure("the SQL text holds more than one statement; none was run");
    if (!sqlite3_stmt_readonly(statement.handle()))
        if (Status st = writable(); !st)
            return st;
    if (!m_guard.writesTopics) {
        StatementRun r(statement);
        return checked(r.execute());
    }

    // A statement that writes topics may number them (or set their numbers)
    // past what a record holds: it runs in a savepoint that is undone then.
    m_nextTopicId = 0;
    if (Status st = run(m_savepoint); !st)
        return checked(st);
    Status st;
    {
        StatementRun r(statement);
        st = r.execute();
    }
    if (st) {
        StatementRun r(m_largestTopicId);
        if (r.next() && !fitsRecord(r.columnInteger(0)))
            st = beyondRecord("the topic identifier", r.columnInteger(0));
        else if (!r.status())
            st = r.status();
    }
    if (!st) {
        (void)run(m_rollbackTo);
        (void)run(m_release);
        return checked(st);
    }
    st = run(m_release);
    if (!st && m_depth == 0 && !sqlite3_get_autocommit(m_db.handle()))
        (void)run(m_rollback);
    return checked(st);
}

Status Store::roomForTopic()
{
    // Within a unit the write lock is held, so the next number is known from
    // the last insert; outside one it is read each time.
    if (m_nextTopicId == 0 || m_depth == 0) {
        StatementRun r(m_nextTopicIdQuery);
        if (!r.next())
            return checked(
                r.status().ok() ? Status::failure("the next topic identifier could not be read") : r.status());
        m_nextTopicId = r.columnInteger(0);
    }
    if (m_nextTopicId > kLargestIdentifier)
        return Status::failure("no topic can be stored: the next topic identifier would be "
            + std::to_string(m_nextTopicId) + ", past " + std::to_string(kLargestIdentifier)
            + ", the largest a topic record can hold");
    return {};
}

void Store::topicInserted(const Status& insert)
{
    m_nextTopicId = insert && m_depth > 0 ? sqlite3_last_insert_rowid(m_db.handle()) + 1 : 0;
}

} // namespace kovadel
