// Per-call cost of the data-access library through its C interface.
//
//   bench_kovadel [repetitions]
//
// Each figure is the best of `repetitions` runs (default 3) on a new database
// in a temporary folder, in microseconds per call: wall clock, and in
// brackets the processor time of the process (which leaves out waiting for
// the disk and for other processes). A unit's commit is included in its
// figure.
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
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::string g_folder;
int g_databaseNumber = 0;

void put32(unsigned char* record, int offset, int32_t value) { std::memcpy(record + offset, &value, 4); }

void putText(unsigned char* record, int offset, int width, const std::string& text)
{
    std::memset(record + offset, ' ', width);
    std::memcpy(record + offset, text.data(), std::min<size_t>(text.size(), width));
}

void check(bool ok, const char* what)
{
    if (!ok) {
        char reason[512];
        VelkLastError(reason, sizeof reason);
        std::fprintf(stderr, "%s failed: %s\n", what, reason);
        std::exit(1);
    }
}

std::string newDatabase()
{
    const std::string path = g_folder + "/bench" + std::to_string(++g_databaseNumber) + ".db";
    check(StartVelk(path.c_str(), "ADMIN", "") == 1, "StartVelk");
    return path;
}

std::string codeName(int i)
{
    char text[16];
    std::snprintf(text, sizeof text, "C%06d", i);
    return text;
}

// Code numbers in a fixed shuffled order, so that index inserts land all over
// the index as codes of a real file do.
std::vector<int> shuffled(int count, unsigned seed)
{
    std::vector<int> order(count);
    for (int i = 0; i < count; ++i)
        order[i] = i;
    std::shuffle(order.begin(), order.end(), std::mt19937(seed));
    return order;
}

void insertCodes(const std::vector<int>& numbers, size_t from, size_t to)
{
    unsigned char record[KV_CODE_SIZE] = {};
    unsigned char status[KV_STATUS_SIZE] = {};
    for (size_t i = from; i < to; ++i) {
        put32(record, KV_CODE_ID, 0);
        putText(record, KV_CODE_CODE, KV_CODE_CODE_LEN, codeName(numbers[i]));
        put32(record, KV_CODE_SYSTEM, 1);
        put32(record, KV_CODE_FLAG, 0);
        putText(record, KV_CODE_DESCRIPTION, KV_CODE_DESCRIPTION_LEN, "");
        putText(record, KV_CODE_DOCUMENT, KV_CODE_DOCUMENT_LEN, "pdf\\asthma.htm");
        check(InsertCode(record, status) != 0, "InsertCode");
    }
}

void setCodes(const std::vector<int>& numbers, size_t from, size_t to)
{
    // As the description loader sends it: the other fields stay 0 and NUL.
    unsigned char record[KV_CODE_SIZE] = {};
    unsigned char status[KV_STATUS_SIZE] = {};
    for (size_t i = from; i < to; ++i) {
        putText(record, KV_CODE_CODE, KV_CODE_CODE_LEN, codeName(numbers[i]));
        putText(record, KV_CODE_DESCRIPTION, KV_CODE_DESCRIPTION_LEN,
            "Description of code " + std::to_string(numbers[i]) + " with an apostrophe''s text");
        check(SetCode(record, status) != 0, "SetCode");
    }
}

void insertTopicsBySql(int from, int to)
{
    unsigned char status[KV_STATUS_SIZE] = {};
    for (int i = from; i < to; ++i) {
        const std::string sql
            = "Insert into topics (ModuleID, ParentID, HasChild, PatEdDocument, Description)Values(7, "
            + std::to_string(100 + i / 10) + ", 0,'ADU_asthma" + std::to_string(i)
            + "_pdf.htm','Asthma and Children''s Health " + std::to_string(i) + " ')";
        check(ExecuteQuery(sql.c_str(), status) != 0, "ExecuteQuery");
    }
}

void begin()
{
    unsigned char status[KV_STATUS_SIZE] = {};
    check(BeginUnit(status) != 0, "BeginUnit");
}

void commit()
{
    unsigned char status[KV_STATUS_SIZE] = {};
    check(CommitUnit(status) != 0, "CommitUnit");
}

double microseconds(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

// Processor time of this process, in microseconds: unlike the wall clock it
// does not count time spent waiting for the disk or for other processes.
double cpuMicroseconds()
{
    timespec t {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e6 + t.tv_nsec / 1e3;
}

// Wall-clock and processor time per call; the best of several runs keeps each.
struct Timing {
    double wall = 1e300;
    double cpu = 1e300;
};

class Stopwatch {
public:
    Stopwatch()
        : m_wall(Clock::now())
        , m_cpu(cpuMicroseconds())
    {
    }
    void keepBest(Timing& timing, int calls) const
    {
        timing.wall = std::min(timing.wall, microseconds(Clock::now() - m_wall) / calls);
        timing.cpu = std::min(timing.cpu, (cpuMicroseconds() - m_cpu) / calls);
    }

private:
    Clock::time_point m_wall;
    double m_cpu;
};

// Time of `work` divided by `calls`, best of the repetitions; `setup` runs
// untimed before each repetition.
Timing best(int repetitions, int calls, const std::function<void()>& setup, const std::function<void()>& work)
{
    Timing timing;
    for (int r = 0; r < repetitions; ++r) {
        setup();
        const Stopwatch watch;
        work();
        watch.keepBest(timing, calls);
        EndVelk();
    }
    return timing;
}

// The practical limit: the same code rows through one prepared statement in
// one transaction of raw SQLite, on a database of the same schema (or, for
// comparison, with the table's indexes dropped).
Timing rawInsert(int repetitions, int calls, bool withIndexes)
{
    const std::vector<int> numbers = shuffled(calls, 1);
    Timing timing;
    for (int r = 0; r < repetitions; ++r) {
        const std::string path = newDatabase(); // schema made by the library
        // A file that the library made and stored nothing in is removed as it
        // closes: one row keeps it.
        unsigned char status[KV_STATUS_SIZE] = {};
        check(ExecuteQuery("INSERT INTO codingsystems (CodingSystemName) VALUES ('ICD')", status) != 0, "ExecuteQuery");
        EndVelk();
        sqlite3* db = nullptr;
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_exec(db, "PRAGMA synchronous = FULL; PRAGMA cache_size = -16384", nullptr, nullptr, nullptr);
        if (!withIndexes)
            sqlite3_exec(db, "DROP INDEX codes_code; DROP INDEX codes_system", nullptr, nullptr, nullptr);
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db,
            "INSERT INTO codes (Code, CodingSystemID, CodeFlag, Description, PatEdDocument)"
            " VALUES (?1, ?2, ?3, ?4, ?5)",
            -1, &stmt, nullptr);
        const Stopwatch watch;
        sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        for (int i = 0; i < calls; ++i) {
            const std::string code = codeName(numbers[i]);
            sqlite3_bind_text(stmt, 1, code.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int(stmt, 2, 1);
            sqlite3_bind_int(stmt, 3, 0);
            sqlite3_bind_text(stmt, 4, "", 0, SQLITE_STATIC);
            sqlite3_bind_text(stmt, 5, "pdf\\asthma.htm", -1, SQLITE_STATIC);
            if (sqlite3_step(stmt) != SQLITE_DONE) {
                std::fprintf(stderr, "raw insert failed: %s\n", sqlite3_errmsg(db));
                std::exit(1);
            }
            sqlite3_reset(stmt);
        }
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        watch.keepBest(timing, calls);
        sqlite3_finalize(stmt);
        sqlite3_close(db);
    }
    return timing;
}

// Pages through every code of system 1, `pageSize` at a time, passing back
// the last code of each page; returns the number of pages.
int pageThroughCodes(const char* pattern, int32_t pageSize)
{
    unsigned char status[KV_STATUS_SIZE] = {};
    SAFEARRAY* page = kv_safearray_create(KV_CODE_ELEMENT_SIZE, 1);
    put32(static_cast<unsigned char*>(kv_safearray_element(page, 0)), KV_CODE_ELEMENT_SYSTEM, 1);
    int pages = 0;
    for (;;) {
        check(SearchCodes(&page, pattern, pageSize, status) != 0, "SearchCodes");
        const uint32_t count = page->rgsabound[0].cElements;
        if (count == 0)
            break;
        ++pages;
        // The last element becomes element 0, the next call's cursor.
        std::memmove(kv_safearray_element(page, 0), kv_safearray_element(page, count - 1), KV_CODE_ELEMENT_SIZE);
        check(kv_safearray_redim(page, 1) != 0, "kv_safearray_redim");
    }
    kv_safearray_destroy(page);
    return pages;
}

// One search of system 1, without a limit; returns the number of codes found.
uint32_t searchOnce(const char* pattern)
{
    unsigned char status[KV_STATUS_SIZE] = {};
    SAFEARRAY* found = kv_safearray_create(KV_CODE_ELEMENT_SIZE, 1);
    put32(static_cast<unsigned char*>(kv_safearray_element(found, 0)), KV_CODE_ELEMENT_SYSTEM, 1);
    check(SearchCodes(&found, pattern, 0, status) != 0, "SearchCodes");
    const uint32_t count = found->rgsabound[0].cElements;
    kv_safearray_destroy(found);
    return count;
}

void getCodes(const std::vector<int>& numbers, size_t from, size_t to)
{
    unsigned char record[KV_CODE_SIZE] = {};
    unsigned char status[KV_STATUS_SIZE] = {};
    for (size_t i = from; i < to; ++i) {
        putText(record, KV_CODE_CODE, KV_CODE_CODE_LEN, codeName(numbers[i]));
        put32(record, KV_CODE_SYSTEM, 1);
        check(GetCode(record, status) != 0, "GetCode");
    }
}

std::string cell(const Timing& t)
{
    if (t.wall > 1e299)
        return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f (%.2f)", t.wall, t.cpu);
    return text;
}

void row(const char* what, const std::string& calls, const Timing& first, const Timing& second)
{
    std::printf("| %-34s | %7s | %15s | %15s |\n", what, calls.c_str(), cell(first).c_str(), cell(second).c_str());
}

} // namespace

int main(int argc, char** argv)
{
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    char folder[] = "/tmp/bench_kovadel.XXXXXX";
    if (!mkdtemp(folder)) {
        std::perror("mkdtemp");
        return 1;
    }
    g_folder = folder;

    constexpr int kCodes = 75000;
    constexpr int kTopics = 32000;
    constexpr int kAlone = 2000; // calls without a unit, each its own commit
    const std::vector<int> numbers = shuffled(kCodes + kAlone, 2);
    const std::vector<int> setOrder = shuffled(kCodes, 3);

    // InsertCode: 75,000 in one unit; then 2,000 alone on top of them.
    const Timing insertUnit = best(
        repetitions, kCodes, [] { newDatabase(); },
        [&] {
            begin();
            insertCodes(numbers, 0, kCodes);
            commit();
        });
    auto loadedCodes = [&] {
        newDatabase();
        begin();
        insertCodes(numbers, 0, kCodes);
        commit();
    };
    const Timing insertAlone
        = best(repetitions, kAlone, loadedCodes, [&] { insertCodes(numbers, kCodes, kCodes + kAlone); });

    // SetCode by code (all coding systems), on the 75,000 codes.
    const Timing setUnit = best(repetitions, kCodes, loadedCodes, [&] {
        begin();
        setCodes(setOrder, 0, kCodes);
        commit();
    });
    const Timing setAlone = best(repetitions, kAlone, loadedCodes, [&] { setCodes(setOrder, 0, kAlone); });

    // ExecuteQuery: the program's topic insert statement.
    const Timing queryUnit = best(
        repetitions, kTopics, [] { newDatabase(); },
        [&] {
            begin();
            insertTopicsBySql(0, kTopics);
            commit();
        });
    const Timing queryAlone = best(
        repetitions, kAlone,
        [&] {
            newDatabase();
            begin();
            insertTopicsBySql(0, kTopics);
            commit();
        },
        [&] { insertTopicsBySql(kTopics, kTopics + kAlone); });

    // Reads on the 75,000 codes with descriptions: paging through all of them
    // 100 at a time (per page), one search by description words over the
    // whole system (per call), and GetCode (per call).
    auto describedCodes = [&] {
        loadedCodes();
        begin();
        setCodes(setOrder, 0, kCodes);
        commit();
    };
    int pages = 0;
    const Timing pageAll = best(repetitions, kCodes / 100, describedCodes, [&] { pages = pageThroughCodes("", 100); });
    check(pages == kCodes / 100, "every code paged");
    const Timing searchWords
        = best(repetitions, 1, describedCodes, [&] { check(searchOnce("code 7") > 0, "codes found"); });
    const Timing getCode = best(repetitions, kAlone, describedCodes, [&] { getCodes(numbers, 0, kAlone); });

    const Timing raw = rawInsert(repetitions, kCodes, true);
    const Timing rawBare = rawInsert(repetitions, kCodes, false);

    // Flatness: 5,000 calls in one unit when the tables hold 10,000 and when
    // they hold 100,000 rows.
    constexpr int kSlice = 5000;
    constexpr int kSizes[2] = { 10000, 100000 };
    const std::vector<int> many = shuffled(kSizes[1] + kSlice, 4);
    Timing insertAt[2], setAt[2], setNearAt[2], queryAt[2];
    for (int r = 0; r < repetitions; ++r) {
        newDatabase();
        int stored = 0;
        for (int s = 0; s < 2; ++s) {
            // Fill both tables up to the size, untimed.
            begin();
            insertCodes(many, stored, kSizes[s]);
            insertTopicsBySql(stored, kSizes[s]);
            commit();
            stored = kSizes[s];

            const std::vector<int> pick = shuffled(stored, 5 + s);
            std::vector<int> existing(kSlice);
            for (int i = 0; i < kSlice; ++i)
                existing[i] = many[pick[i]];
            {
                const Stopwatch watch;
                begin();
                setCodes(existing, 0, kSlice);
                commit();
                watch.keepBest(setAt[s], kSlice);
            }
            {
                // Neighbouring codes: their rows share pages.
                const Stopwatch watch;
                begin();
                setCodes(many, stored - kSlice, stored);
                commit();
                watch.keepBest(setNearAt[s], kSlice);
            }
            {
                const Stopwatch watch;
                begin();
                insertCodes(many, stored, stored + kSlice);
                commit();
                watch.keepBest(insertAt[s], kSlice);
            }
            {
                const Stopwatch watch;
                begin();
                insertTopicsBySql(stored, stored + kSlice);
                commit();
                watch.keepBest(queryAt[s], kSlice);
            }
            stored += kSlice;
        }
        EndVelk();
    }

    std::printf("Microseconds per call, wall clock (processor time); best of %d runs.\n\n", repetitions);
    std::printf("| %-34s | %7s | %15s | %15s |\n", "operation", "calls", "in one unit", "without a unit");
    std::printf("|%s|%s|%s|%s|\n", std::string(36, '-').c_str(), std::string(9, '-').c_str(),
        std::string(17, '-').c_str(), std::string(17, '-').c_str());
    row("InsertCode", "75,000", insertUnit, insertAlone);
    row("SetCode (by code)", "75,000", setUnit, setAlone);
    row("ExecuteQuery (topic insert)", "32,000", queryUnit, queryAlone);
    row("raw SQLite insert, same table", "75,000", raw, Timing());
    row("raw SQLite insert, no indexes", "75,000", rawBare, Timing());
    std::printf("\nWithout a unit: %d calls, each committed on its own, on top of the unit case's rows.\n\n", kAlone);
    std::printf("| %-34s | %7s | %15s | %15s |\n", "in one unit, 5,000 calls", "", "at 10,000 rows", "at 100,000 rows");
    std::printf("|%s|%s|%s|%s|\n", std::string(36, '-').c_str(), std::string(9, '-').c_str(),
        std::string(17, '-').c_str(), std::string(17, '-').c_str());
    row("InsertCode", "", insertAt[0], insertAt[1]);
    row("SetCode (by code, codes at random)", "", setAt[0], setAt[1]);
    row("SetCode (by code, neighbouring)", "", setNearAt[0], setNearAt[1]);
    row("ExecuteQuery (topic insert)", "", queryAt[0], queryAt[1]);
    std::printf("\nReads on 75,000 codes, without a unit.\n\n");
    std::printf("| %-34s | %7s | %15s | %15s |\n", "operation", "calls", "per call", "");
    std::printf("|%s|%s|%s|%s|\n", std::string(36, '-').c_str(), std::string(9, '-').c_str(),
        std::string(17, '-').c_str(), std::string(17, '-').c_str());
    row("SearchCodes, paging 100 at a time", "750", pageAll, Timing());
    row("SearchCodes, words, whole system", "1", searchWords, Timing());
    row("GetCode", "2,000", getCode, Timing());

    std::error_code ignored;
    std::filesystem::remove_all(g_folder, ignored);
    return 0;
}
