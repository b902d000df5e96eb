// What refusing damaged files costs a run on a 100 MB database.
//
//   bench_damage_check [repetitions]
//
// The library checks every page a statement loads (SQLite's cell_size_check)
// and, once per connection as its first unit begins, runs quick_check on the
// schema, the list of free pages and the small tables (modules, coding
// systems, defaults, sqlite_sequence). This compares, on a database of about
// 100 MB (four coding systems of 100,000 codes each, 400,000 topics in 20
// modules):
//
//   - SQLite's quick_check of the whole file (the check that is not made on
//     every run, for what it would cost);
//   - the first unit of a connection, empty, against a later one: the cost of
//     the once-per-connection check;
//   - a load of 75,000 codes through the library (DeleteCodes of the coding
//     system, then 75,000 InsertCode in one unit) as the connection's first
//     unit and as a later one: replacing a coding system's 100,000 codes, and
//     filling a coding system that has none;
//   - the same 75,000 inserts through raw SQLite with cell_size_check on and
//     off: the cost of checking every page loaded.
//
// Figures are the best of `repetitions` (default 3) runs, each on a fresh
// copy of the database, in milliseconds: wall clock, and in brackets the
// processor time of the process.
#include <kovadel/kovadel.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kCodesPerSystem = 100000;
constexpr int kSystems = 4;
constexpr int kTopics = 400000;
constexpr int kLoad = 75000;

void check(bool ok, const char* what)
{
    if (!ok) {
        char reason[512];
        VelkLastError(reason, sizeof reason);
        std::fprintf(stderr, "%s failed: %s\n", what, reason);
        std::exit(1);
    }
}

void exec(sqlite3* db, const std::string& sql)
{
    char* message = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        std::fprintf(stderr, "%s: %s\n", sql.substr(0, 60).c_str(), message ? message : "?");
        std::exit(1);
    }
}

double cpuMs()
{
    timespec t {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

struct Timing {
    double wall = 1e300;
    double cpu = 1e300;
};

class Stopwatch {
public:
    Stopwatch()
        : m_wall(Clock::now())
        , m_cpu(cpuMs())
    {
    }
    void keepBest(Timing& t) const
    {
        t.wall = std::min(t.wall, std::chrono::duration<double, std::milli>(Clock::now() - m_wall).count());
        t.cpu = std::min(t.cpu, cpuMs() - m_cpu);
    }

private:
    Clock::time_point m_wall;
    double m_cpu;
};

// The database of the measurements: the library makes the schema, raw SQLite
// fills it (much faster than through the record operations).
void makeDatabase(const std::string& path)
{
    check(StartVelk(path.c_str(), "ADMIN", "") != 0, "StartVelk");
    EndVelk();
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    exec(db, "BEGIN");
    exec(db, "INSERT INTO codingsystems (CodingSystemName) VALUES ('ICD'), ('CPT'), ('ICD9'), ('HCPCS'), ('NEW')");
    const int codes = kSystems * kCodesPerSystem;
    exec(db,
        "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < " + std::to_string(codes - 1)
            + ") INSERT INTO codes (Code, CodingSystemID, CodeFlag, Description, PatEdDocument) SELECT printf('C%06d', "
              "(i * 7919) % "
            + std::to_string(codes) + "), 1 + i % " + std::to_string(kSystems)
            + ", 0, 'Description of code number ' || i || ', with some words about it', 'pdf\\doc' || (i / 10) || "
              "'.htm' FROM n");
    exec(db,
        "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < " + std::to_string(kTopics - 1)
            + ") INSERT INTO topics (ModuleID, ParentID, HasChild, PatEdDocument, Description) SELECT 1 + i / 20000, "
              "i, 0, 'MOD_topic' || i || '_doc.htm', 'Topic ' || i || ' about something in a module of the library ' "
              "FROM n");
    exec(db, "COMMIT");
    exec(db, "PRAGMA wal_checkpoint(TRUNCATE)");
    sqlite3_close(db);
}

void put32(unsigned char* record, int offset, int32_t value) { std::memcpy(record + offset, &value, 4); }

void putText(unsigned char* record, int offset, int width, const std::string& text)
{
    std::memset(record + offset, ' ', width);
    std::memcpy(record + offset, text.data(), std::min<size_t>(text.size(), width));
}

void unitOp(int32_t (*op)(void*), const char* what)
{
    unsigned char status[KV_STATUS_SIZE] = {};
    check(op(status) == 1, what);
}

// `code create` of the coding system `system` through the record operations:
// its codes deleted, then `codes` inserted, in one unit.
void load(int32_t system, const std::vector<int>& order, int codes)
{
    unsigned char record[KV_CODE_SIZE] = {};
    unsigned char status[KV_STATUS_SIZE] = {};
    unitOp(BeginUnit, "BeginUnit");
    put32(record, KV_CODE_ID, -1);
    putText(record, KV_CODE_CODE, KV_CODE_CODE_LEN, "");
    put32(record, KV_CODE_SYSTEM, system);
    put32(record, KV_CODE_FLAG, -1);
    putText(record, KV_CODE_DESCRIPTION, KV_CODE_DESCRIPTION_LEN, "");
    putText(record, KV_CODE_DOCUMENT, KV_CODE_DOCUMENT_LEN, "");
    check(DeleteCodes(record, status) != 0, "DeleteCodes");
    for (int i = 0; i < codes; ++i) {
        char code[16];
        std::snprintf(code, sizeof code, "X%05d", order[i]);
        put32(record, KV_CODE_ID, 0);
        putText(record, KV_CODE_CODE, KV_CODE_CODE_LEN, code);
        put32(record, KV_CODE_FLAG, 0);
        putText(record, KV_CODE_DOCUMENT, KV_CODE_DOCUMENT_LEN, "pdf\\asthma.htm");
        check(InsertCode(record, status) != 0, "InsertCode");
    }
    unitOp(CommitUnit, "CommitUnit");
}

// SQLite's quick_check of the whole file, on a connection of its own.
Timing checkAlone(const std::string& path, int repetitions)
{
    Timing t;
    for (int r = 0; r < repetitions; ++r) {
        sqlite3* db = nullptr;
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
        exec(db, "SELECT count(*) FROM sqlite_master");
        const Stopwatch watch;
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, "PRAGMA quick_check", -1, &stmt, nullptr);
        const bool sound = sqlite3_step(stmt) == SQLITE_ROW && sqlite3_column_text(stmt, 0)
            && std::strcmp(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)), "ok") == 0;
        sqlite3_finalize(stmt);
        watch.keepBest(t);
        sqlite3_close(db);
        check(sound, "quick_check");
    }
    return t;
}

// `work` on a fresh copy of the database, on a new connection: as its first
// unit (`checked`) or after an empty unit that made the check.
Timing timed(const std::string& master, const std::string& path, int repetitions, bool checked,
    const std::function<void()>& work)
{
    Timing t;
    for (int r = 0; r < repetitions; ++r) {
        for (const char* suffix : { "-wal", "-shm" })
            fs::remove(path + suffix);
        fs::copy_file(master, path, fs::copy_options::overwrite_existing);
        check(StartVelk(path.c_str(), "ADMIN", "") != 0, "StartVelk");
        if (!checked) {
            unitOp(BeginUnit, "BeginUnit");
            unitOp(CommitUnit, "CommitUnit");
        }
        const Stopwatch watch;
        work();
        watch.keepBest(t);
        EndVelk();
    }
    return t;
}

// The fill's 75,000 inserts through raw SQLite in one transaction, with the
// page checks on or off.
Timing rawFill(
    const std::string& master, const std::string& path, int repetitions, bool pageChecks, const std::vector<int>& order)
{
    Timing t;
    for (int r = 0; r < repetitions; ++r) {
        for (const char* suffix : { "-wal", "-shm" })
            fs::remove(path + suffix);
        fs::copy_file(master, path, fs::copy_options::overwrite_existing);
        sqlite3* db = nullptr;
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
        exec(db,
            std::string("PRAGMA cache_size = -16384; PRAGMA synchronous = FULL; PRAGMA cell_size_check = ")
                + (pageChecks ? "ON" : "OFF"));
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db,
            "INSERT INTO codes (Code, CodingSystemID, CodeFlag, Description, PatEdDocument) VALUES (?1, 5, 0, '', "
            "'pdf\\asthma.htm')",
            -1, &stmt, nullptr);
        const Stopwatch watch;
        exec(db, "BEGIN IMMEDIATE");
        for (int i = 0; i < kLoad; ++i) {
            char code[16];
            std::snprintf(code, sizeof code, "X%05d", order[i]);
            sqlite3_bind_text(stmt, 1, code, -1, SQLITE_TRANSIENT);
            if (sqlite3_step(stmt) != SQLITE_DONE) {
                std::fprintf(stderr, "raw insert failed: %s\n", sqlite3_errmsg(db));
                std::exit(1);
            }
            sqlite3_reset(stmt);
        }
        exec(db, "COMMIT");
        watch.keepBest(t);
        sqlite3_finalize(stmt);
        sqlite3_close(db);
    }
    return t;
}

std::string cell(const Timing& t)
{
    char text[40];
    std::snprintf(text, sizeof text, "%8.1f (%7.1f)", t.wall, t.cpu);
    return text;
}

void row(const char* what, const Timing& t) { std::printf("| %-58s | %s |\n", what, cell(t).c_str()); }

double percent(double part, double whole) { return 100.0 * part / whole; }

} // namespace

int main(int argc, char** argv)
{
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    char folder[] = "/tmp/bench_damage_check.XXXXXX";
    if (!mkdtemp(folder)) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string master = std::string(folder) + "/master.db";
    const std::string path = std::string(folder) + "/run.db";
    makeDatabase(master);

    std::vector<int> order(kLoad);
    for (int i = 0; i < kLoad; ++i)
        order[i] = i;
    std::shuffle(order.begin(), order.end(), std::mt19937(1));

    const Timing alone = checkAlone(master, repetitions);
    auto empty = [] {
        unitOp(BeginUnit, "BeginUnit");
        unitOp(CommitUnit, "CommitUnit");
    };
    auto replace = [&] { load(2, order, kLoad); };
    auto fill = [&] { load(5, order, kLoad); };
    const Timing emptyChecked = timed(master, path, repetitions, true, empty);
    const Timing emptyBare = timed(master, path, repetitions, false, empty);
    const Timing replaceChecked = timed(master, path, repetitions, true, replace);
    const Timing replaceBare = timed(master, path, repetitions, false, replace);
    const Timing fillChecked = timed(master, path, repetitions, true, fill);
    const Timing fillBare = timed(master, path, repetitions, false, fill);
    const Timing rawOn = rawFill(master, path, repetitions, true, order);
    const Timing rawOff = rawFill(master, path, repetitions, false, order);

    std::printf("Database: %.1f MB (%d codes in %d coding systems, %d topics)\n",
        static_cast<double>(fs::file_size(master)) / 1e6, kSystems * kCodesPerSystem, kSystems, kTopics);
    std::printf("Milliseconds, wall clock (processor time of the process); best of %d runs.\n\n", repetitions);
    std::printf("| %-58s | %-18s |\n", "what", "ms");
    std::printf("|%s|%s|\n", std::string(60, '-').c_str(), std::string(20, '-').c_str());
    row("quick_check of the whole file (not made by runs)", alone);
    row("first unit of a connection, empty (the check)", emptyChecked);
    row("  a later unit, empty", emptyBare);
    row("75,000-code load replacing 100,000 codes, first unit", replaceChecked);
    row("  the same as a later unit", replaceBare);
    row("75,000-code load into an empty coding system, first unit", fillChecked);
    row("  the same as a later unit", fillBare);
    row("raw SQLite: the fill's inserts, page checks on", rawOn);
    row("raw SQLite: the fill's inserts, page checks off", rawOff);
    // Processor time is the steadier measure where other processes compete
    // for the machine; both are given.
    const double check = emptyChecked.cpu - emptyBare.cpu;
    std::printf("\nProcessor time (wall clock in brackets):\n");
    std::printf("- the once-per-connection check: %.2f ms, %.3f%% of the replacing load, %.3f%% of the filling load;\n",
        check, percent(check, replaceBare.cpu), percent(check, fillBare.cpu));
    std::printf("- checking every page loaded: %+.1f ms on the raw inserts, %.1f%% (%+.1f ms, %.1f%%);\n",
        rawOn.cpu - rawOff.cpu, percent(rawOn.cpu - rawOff.cpu, rawOff.cpu), rawOn.wall - rawOff.wall,
        percent(rawOn.wall - rawOff.wall, rawOff.wall));
    std::printf(
        "- a quick_check of the whole file would take %.0f%% and %.0f%% of the two loads (%.0f%% and %.0f%%).\n",
        percent(alone.cpu, replaceBare.cpu), percent(alone.cpu, fillBare.cpu), percent(alone.wall, replaceBare.wall),
        percent(alone.wall, fillBare.wall));

    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return 0;
}
