// Units of work: nesting, roll-back anywhere, busy databases.
#include "KovadelTestSupport.h"

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <unistd.h>
#include <cstdio>

using namespace kovtest;

namespace {

class UnitTest : public DatabaseTest {
protected:
    Bytes status = callStatus();

    int32_t insertModule(std::string_view name)
    {
        Bytes record = moduleRecord(0, name, "P");
        return InsertModule(record.data(), status.data());
    }
    std::string moduleCount() { return raw().scalar("SELECT count(*) FROM modules"); }
};

// The tests of this suite run on both engines.
class UnitsOnEngines : public enginetest::OnEveryEngine<UnitTest> { };

TEST_P(UnitsOnEngines, OnlyTheOutermostCommitWrites)
{
    EXPECT_OK(BeginUnit(status.data()), status);
    EXPECT_NE(insertModule("A"), 0);
    EXPECT_OK(BeginUnit(status.data()), status);
    EXPECT_NE(insertModule("B"), 0);
    EXPECT_OK(CommitUnit(status.data()), status);
    EXPECT_EQ(moduleCount(), "0");
    EXPECT_NE(insertModule("C"), 0);
    EXPECT_OK(CommitUnit(status.data()), status);
    EXPECT_EQ(moduleCount(), "3");
}

TEST_P(UnitsOnEngines, RollbackAnywhereUndoesTheWholeUnit)
{
    EXPECT_OK(BeginUnit(status.data()), status);
    EXPECT_NE(insertModule("A"), 0);
    EXPECT_OK(BeginUnit(status.data()), status);
    EXPECT_NE(insertModule("B"), 0);
    EXPECT_OK(RollbackUnit(status.data()), status);
    EXPECT_EQ(moduleCount(), "0");

    // Until the outer unit ends, every operation fails.
    EXPECT_EQ(insertModule("C"), 0);
    EXPECT_EQ(statusText(status), padded("the unit of work was rolled back", 128));
    EXPECT_EQ(ExecuteQuery("SELECT 1", status.data()), 0);
    EXPECT_EQ(BeginUnit(status.data()), 0);
    EXPECT_EQ(CommitUnit(status.data()), 0);
    EXPECT_NE(lastError().find("rolled back"), std::string::npos);
    EXPECT_EQ(moduleCount(), "0");

    // Ended: the library works again, outside and inside units.
    EXPECT_NE(insertModule("D"), 0);
    EXPECT_OK(BeginUnit(status.data()), status);
    EXPECT_NE(insertModule("E"), 0);
    EXPECT_OK(RollbackUnit(status.data()), status);
    EXPECT_EQ(raw().query("SELECT ModuleName FROM modules"), (Rows { { "D" } }));
}

TEST_P(UnitsOnEngines, InnerCommitOfARolledBackUnitFailsAndUnwinds)
{
    EXPECT_OK(BeginUnit(status.data()), status);
    EXPECT_OK(BeginUnit(status.data()), status);
    EXPECT_OK(BeginUnit(status.data()), status);
    EXPECT_OK(RollbackUnit(status.data()), status);
    EXPECT_EQ(CommitUnit(status.data()), 0);
    EXPECT_OK(RollbackUnit(status.data()), status);
    EXPECT_EQ(CommitUnit(status.data()), 0);
    EXPECT_EQ(lastError(), "no unit of work is open");
    EXPECT_NE(insertModule("A"), 0);
}

TEST_P(UnitsOnEngines, EndingWithoutAUnitFails)
{
    EXPECT_EQ(CommitUnit(status.data()), 0);
    EXPECT_EQ(statusText(status), padded("no unit of work is open", 128));
    EXPECT_EQ(RollbackUnit(status.data()), 0);
}

TEST_P(UnitsOnEngines, EndVelkRollsAnOpenUnitBack)
{
    // Something stored first: a new file that holds nothing is removed again.
    EXPECT_NE(insertModule("Kept"), 0);
    EXPECT_OK(BeginUnit(status.data()), status);
    EXPECT_NE(insertModule("A"), 0);
    EXPECT_NE(EndVelk(), 0);
    EXPECT_EQ(moduleCount(), "1");
    ASSERT_NE(StartVelk(m_path.c_str(), "ADMIN", ""), 0);
    EXPECT_NE(insertModule("B"), 0); // no unit left over
    EXPECT_EQ(moduleCount(), "2");
}

TEST_F(UnitTest, ABusyDatabaseFailsCleanlyWithinTheTimeout)
{
    EndVelk();
    setenv("VELKINDEX_BUSY_TIMEOUT_MS", "200", 1);
    const int32_t started = StartVelk(m_path.c_str(), "ADMIN", "");
    unsetenv("VELKINDEX_BUSY_TIMEOUT_MS");
    ASSERT_NE(started, 0) << lastError();

    RawDb other(m_path);
    ASSERT_EQ(other.exec("BEGIN IMMEDIATE"), SQLITE_OK);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(BeginUnit(status.data()), 0);
    EXPECT_EQ(insertModule("A"), 0);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_LT(waited, std::chrono::seconds(2));
    EXPECT_GE(waited, std::chrono::milliseconds(200));
    EXPECT_EQ(statusText(status), padded("the database is busy (locked by another process)", 128));
    EXPECT_EQ(CommitUnit(status.data()), 0); // the failed begin opened no unit
    // Reading does not wait for the writer.
    SAFEARRAY* sa = nullptr;
    EXPECT_OK(GetModules(&sa, status.data()), status);
    kv_safearray_destroy(sa);

    ASSERT_EQ(other.exec("COMMIT"), SQLITE_OK);
    EXPECT_OK(BeginUnit(status.data()), status);
    EXPECT_NE(insertModule("A"), 0);
    EXPECT_OK(CommitUnit(status.data()), status);
    EXPECT_EQ(moduleCount(), "1");
}

// What another process manages to do with the database: the sqlite3 shell
// runs `sql` without waiting for locks. Returns its exit status and output.
std::pair<int, std::string> otherProcess(const std::string& database, const std::string& sql, const std::string& out)
{
    const std::string command
        = "sqlite3 -batch -cmd '.timeout 0' '" + database + "' \"" + sql + "\" >'" + out + "' 2>&1";
    const int status = std::system(command.c_str());
    std::ifstream in(out);
    std::stringstream text;
    text << in.rdbuf();
    return { WIFEXITED(status) ? WEXITSTATUS(status) : -1, text.str() };
}

// POSIX drops every record lock that a process holds on a file as soon as the
// process closes any descriptor of it (a file dialog that sniffs file types
// does so). The library's locks must survive that: another process stays
// locked out of the unit, cannot checkpoint, and the unit commits whole.
TEST_F(UnitTest, ClosingAnotherDescriptorOfTheFilesKeepsTheLocks)
{
    m_raw.reset(); // no other connection of this process
    EXPECT_OK(BeginUnit(status.data()), status);
    EXPECT_NE(insertModule("A"), 0);
    for (const char* suffix : { "", "-wal", "-shm" }) {
        const std::string path = m_path + suffix;
        const int fd = ::open(path.c_str(), O_RDONLY);
        ASSERT_GE(fd, 0) << path;
        char byte = 0;
        EXPECT_GE(::read(fd, &byte, 1), 0);
        ::close(fd);
    }
    const auto [writeStatus, writeOutput]
        = otherProcess(m_path, "INSERT INTO modules (ModuleName) VALUES ('X');", file("other.txt"));
    EXPECT_NE(writeStatus, 0) << writeOutput;
    EXPECT_NE(writeOutput.find("locked"), std::string::npos) << writeOutput;
    // The other process's close could not take the file over: the log is there.
    EXPECT_TRUE(std::filesystem::exists(m_path + "-wal"));

    EXPECT_NE(insertModule("B"), 0) << lastError();
    EXPECT_OK(CommitUnit(status.data()), status);
    EXPECT_NE(EndVelk(), 0);
    RawDb after(m_path);
    EXPECT_EQ(after.query("SELECT ModuleName FROM modules ORDER BY ModuleID"), (Rows { { "A" }, { "B" } }));
    EXPECT_EQ(after.scalar("PRAGMA integrity_check"), "ok");
}

// ---- rows given in a unit -------------------------------------------------
// A unit's inserts and descriptions may wait and be written many to a
// statement; whatever the library does with them, every call must act as if
// it had been carried out at once, in the order of the calls. The counts
// below cross the size of such a batch (hundreds of rows) several times.

class UnitRowsOnEngines : public enginetest::OnEveryEngine<UnitTest> {
protected:
    void SetUp() override
    {
        UnitTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_EQ(raw().exec("INSERT INTO codingsystems (CodingSystemID, CodingSystemName) VALUES (1, 'ICD'), (2, 'CPT')"),
            0);
    }
    bool insertCode(std::string_view code, int32_t system, std::string_view description)
    {
        Bytes record = codeRecord(0, code, system, 0, description, "doc.htm");
        return InsertCode(record.data(), status.data()) == 1;
    }
    bool setCode(std::string_view code, int32_t system, std::string_view description)
    {
        Bytes record = codeRecord(0, code, system, 0, description, "");
        return SetCode(record.data(), status.data()) == 1;
    }
    std::string filler(int n) { return "F" + std::to_string(n); }
};

TEST_P(UnitRowsOnEngines, CodesGivenInAUnitAreReadAndStoredInTheOrderOfTheCalls)
{
    EXPECT_OK(BeginUnit(status.data()), status);
    for (int i = 0; i < 700; ++i)
        ASSERT_TRUE(insertCode("C" + std::to_string(i), 1 + i % 2, "D" + std::to_string(i))) << lastError();
    // A read inside the unit sees every code given so far, the last one too.
    for (const int i : { 0, 255, 256, 699 }) {
        Bytes found = codeRecord(0, "C" + std::to_string(i), 1 + i % 2, 0, "", "");
        EXPECT_OK(GetCode(found.data(), status.data()), status);
        EXPECT_EQ(getText(found, 64, 100), padded("D" + std::to_string(i), 100)) << i;
    }
    EXPECT_EQ(raw().scalar("SELECT count(*) FROM codes"), "0"); // nothing is seen outside the unit
    EXPECT_OK(CommitUnit(status.data()), status);

    const Rows rows = raw().query("SELECT CodeID, Code, CodingSystemID, Description FROM codes ORDER BY CodeID");
    ASSERT_EQ(rows.size(), 700u);
    const int64_t first = std::stoll(rows[0][0]);
    for (size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(rows[i], (std::vector<std::string> { std::to_string(first + static_cast<int64_t>(i)),
                               "C" + std::to_string(i), std::to_string(1 + i % 2), "D" + std::to_string(i) }))
            << i;

    // Rolled back, a unit of as many codes leaves nothing, and the next call
    // outside a unit is stored at once.
    EXPECT_OK(BeginUnit(status.data()), status);
    for (int i = 0; i < 700; ++i)
        ASSERT_TRUE(insertCode("R" + std::to_string(i), 1, "")) << lastError();
    EXPECT_OK(RollbackUnit(status.data()), status);
    ASSERT_TRUE(insertCode("After", 1, "")) << lastError();
    EXPECT_EQ(raw().scalar("SELECT count(*) FROM codes"), "701");
    EXPECT_EQ(raw().scalar("SELECT count(*) FROM codes WHERE Code LIKE 'R%'"), "0");
}

// Each row: the calls of one unit (i: insert, s: set a description; the
// system 0 sets it in every system), with `fill` descriptions of other codes
// after each of them, and the descriptions of code X then, by CodeID.
struct DescriptionOrderCase {
    const char* name;
    std::vector<std::tuple<char, int32_t, const char*>> calls;
    int fill;
    std::vector<std::string> expected;
};

TEST_P(UnitRowsOnEngines, DescriptionsActInTheOrderOfTheCalls)
{
    const std::vector<DescriptionOrderCase> cases = {
        { "the later of two descriptions stays", { { 'i', 1, "new" }, { 's', 1, "a" }, { 's', 1, "b" } }, 0, { "b" } },
        { "the later stays across many others", { { 'i', 1, "new" }, { 's', 1, "a" }, { 's', 1, "b" } }, 300, { "b" } },
        { "a description reaches the codes inserted before it",
            { { 'i', 1, "one" }, { 'i', 2, "two" }, { 's', 0, "all" } }, 0, { "all", "all" } },
        { "not those inserted after it",
            { { 'i', 1, "one" }, { 's', 0, "all" }, { 'i', 2, "two" } }, 0, { "all", "two" } },
        { "not those inserted after it, across many others",
            { { 'i', 1, "one" }, { 's', 0, "all" }, { 'i', 2, "two" } }, 300, { "all", "two" } },
        { "a system's description stays in that system",
            { { 'i', 1, "one" }, { 'i', 2, "two" }, { 's', 2, "cpt" }, { 's', 1, "icd" } }, 0, { "icd", "cpt" } },
        { "every system, then one",
            { { 'i', 1, "one" }, { 'i', 2, "two" }, { 's', 0, "all" }, { 's', 2, "cpt" } }, 0, { "all", "cpt" } },
        { "one system, then every one",
            { { 'i', 1, "one" }, { 'i', 2, "two" }, { 's', 2, "cpt" }, { 's', 0, "all" } }, 300, { "all", "all" } },
    };
    for (const DescriptionOrderCase& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(raw().exec("DELETE FROM codes"), 0);
        const int fillers = c.fill * static_cast<int>(c.calls.size());
        EXPECT_OK(BeginUnit(status.data()), status);
        for (int k = 0; k < fillers; ++k)
            ASSERT_TRUE(insertCode(filler(k), 1, "")) << lastError();
        EXPECT_OK(CommitUnit(status.data()), status);
        int filled = 0;
        EXPECT_OK(BeginUnit(status.data()), status);
        for (const auto& [kind, system, text] : c.calls) {
            ASSERT_TRUE(kind == 'i' ? insertCode("X", system, text) : setCode("X", system, text)) << lastError();
            for (int k = 0; k < c.fill; ++k)
                ASSERT_TRUE(setCode(filler(filled++), 1, "set")) << lastError();
        }
        EXPECT_OK(CommitUnit(status.data()), status);
        const Rows rows = raw().query("SELECT Description FROM codes WHERE Code = 'X' ORDER BY CodeID");
        std::vector<std::string> found;
        for (const auto& row : rows)
            found.push_back(row[0]);
        EXPECT_EQ(found, c.expected);
        EXPECT_EQ(raw().scalar("SELECT count(*) FROM codes WHERE Code LIKE 'F%' AND Description = 'set'"),
            std::to_string(fillers));
    }
}

TEST_P(UnitRowsOnEngines, TopicsAreNumberedAndMarkedAsGiven)
{
    // A chain of sections, each with a few topics under it: every section is
    // marked as a parent after its first child is given, whether or not that
    // section has been written yet.
    ASSERT_NE(insertModule("M"), 0);
    const std::string module = raw().scalar("SELECT ModuleID FROM modules");
    std::vector<std::vector<std::string>> expected;
    EXPECT_OK(BeginUnit(status.data()), status);
    int64_t next = 0;
    int32_t section = 0;
    for (int i = 0; i < 900; ++i) {
        const bool isSection = i % 7 == 0;
        Bytes topic = topicRecord(0, std::stoi(module), isSection ? 0 : section, 0, "", "T" + std::to_string(i));
        ASSERT_EQ(InsertTopic(topic.data(), status.data()), 1) << lastError();
        expected.push_back({ std::to_string(isSection ? 0 : section), "0", "T" + std::to_string(i) });
        if (isSection) {
            Bytes key = topicRecord(0, std::stoi(module), 0, 0, "", "T" + std::to_string(i));
            ASSERT_EQ(GetTopic(key.data(), status.data()), 1) << lastError();
            section = get32(key, 0);
            if (i == 0)
                next = section;
        } else if (i % 7 == 1) {
            Bytes mark = topicRecord(section, 0, -1, 1, "", "");
            ASSERT_EQ(SetTopic(mark.data(), status.data()), 1) << lastError();
            expected[static_cast<size_t>(section - next)][1] = "1";
        }
    }
    EXPECT_OK(CommitUnit(status.data()), status);
    const Rows rows = raw().query(
        "SELECT TopicID, ParentID, HasChild, Description FROM topics WHERE ModuleID = ?1 ORDER BY TopicID", { module });
    ASSERT_EQ(rows.size(), expected.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i][0], std::to_string(next + static_cast<int64_t>(i))) << i;
        EXPECT_EQ((std::vector<std::string> { rows[i][1], rows[i][2], rows[i][3] }), expected[i]) << i;
    }
}

VELK_ON_EVERY_ENGINE(UnitRowsOnEngines);

// A row that the database refuses (here a trigger of its own) is named in
// the failure, whenever its batch is written; the unit keeps none of its rows
// and can only be rolled back.
TEST_F(UnitTest, ARefusedRowAmongManyIsNamedAndTheUnitKeepsNothing)
{
    ASSERT_EQ(raw().exec("INSERT INTO codingsystems (CodingSystemID, CodingSystemName) VALUES (1, 'ICD')"), SQLITE_OK);
    ASSERT_EQ(raw().exec("CREATE TRIGGER refuse BEFORE INSERT ON codes WHEN NEW.Code = 'C300' "
                         "BEGIN SELECT RAISE(ABORT, 'code refused'); END"),
        SQLITE_OK);
    for (const int total : { 301, 700 }) {
        SCOPED_TRACE(total);
        EXPECT_OK(BeginUnit(status.data()), status);
        bool refused = false;
        for (int i = 0; i < total && !refused; ++i) {
            Bytes record = codeRecord(0, "C" + std::to_string(i), 1, 0, "", "doc.htm");
            refused = InsertCode(record.data(), status.data()) == 0;
        }
        if (!refused) {
            EXPECT_EQ(CommitUnit(status.data()), 0);
        }
        EXPECT_EQ(lastError(), "code refused (storing the code \"C300\")");
        // Nothing more is done in the unit: it can only be rolled back.
        Bytes more = codeRecord(0, "More", 1, 0, "", "doc.htm");
        if (refused) {
            EXPECT_EQ(InsertCode(more.data(), status.data()), 0);
            EXPECT_NE(lastError().find("rolled back"), std::string::npos) << lastError();
            EXPECT_EQ(CommitUnit(status.data()), 0);
        }
        (void)RollbackUnit(status.data());
        EXPECT_EQ(raw().scalar("SELECT count(*) FROM codes"), "0");
    }
}

TEST_F(UnitTest, AUnitThatTheDatabaseEndedIsDoomed)
{
    // A trigger that rolls back the whole transaction, as SQLite itself may
    // after some errors: the unit's earlier work is gone, so nothing more may
    // be done in it and its commit must fail.
    ASSERT_EQ(raw().exec("CREATE TRIGGER boom BEFORE INSERT ON modules WHEN NEW.ModuleName = 'Boom' "
                         "BEGIN SELECT RAISE(ROLLBACK, 'boom'); END"),
        SQLITE_OK);
    EXPECT_OK(BeginUnit(status.data()), status);
    EXPECT_NE(insertModule("A"), 0);
    EXPECT_EQ(insertModule("Boom"), 0);
    EXPECT_NE(lastError().find("boom"), std::string::npos) << lastError();
    EXPECT_EQ(insertModule("B"), 0);
    EXPECT_NE(lastError().find("rolled back"), std::string::npos) << lastError();
    EXPECT_EQ(CommitUnit(status.data()), 0);
    EXPECT_EQ(moduleCount(), "0");
    EXPECT_NE(insertModule("C"), 0);
    EXPECT_EQ(moduleCount(), "1");
}

// Overwrites bytes of the root page of `tree` in the closed file at `path`:
// the cell count (`cellCount`) or the first cell pointers.
void damageRootPage(const std::string& path, const std::string& tree, bool cellCount)
{
    std::string root, pageSize;
    {
        RawDb db(path);
        root = db.scalar("SELECT rootpage FROM sqlite_master WHERE name = ?1", { tree });
        pageSize = db.scalar("PRAGMA page_size");
    } // the last connection writes the log back into the file
    ASSERT_FALSE(std::filesystem::exists(path + "-wal"));
    std::FILE* f = std::fopen(path.c_str(), "r+b");
    ASSERT_NE(f, nullptr);
    const long page = (std::stol(root) - 1) * std::stol(pageSize);
    const std::string junk = cellCount ? std::string("\x00\xc8", 2) : std::string("\xff\x00\x0f\xf0\x0f\xf0", 6);
    ASSERT_EQ(std::fseek(f, page + (cellCount ? 3 : 10), SEEK_SET), 0);
    ASSERT_EQ(std::fwrite(junk.data(), 1, junk.size(), f), junk.size());
    std::fclose(f);
}

// A damaged page that a unit meets ends the unit at once: its work is rolled
// back, and the connection refuses the file from then on, the unit operations
// with KV_DAMAGED.
TEST_F(UnitTest, ADamagedPageEndsTheUnitAndTheFileIsRefused)
{
    EXPECT_NE(insertModule("Kept"), 0);
    for (int i = 0; i < 20; ++i) {
        Bytes topic = topicRecord(0, 1, 0, 0, "doc.htm", "Topic number " + std::to_string(i));
        ASSERT_NE(InsertTopic(topic.data(), status.data()), 0) << lastError();
    }
    m_raw.reset();
    EndVelk();
    damageRootPage(m_path, "topics", false);

    ASSERT_NE(StartVelk(m_path.c_str(), "ADMIN", ""), 0) << lastError();
    EXPECT_OK(BeginUnit(status.data()), status);
    EXPECT_NE(insertModule("Lost"), 0);
    Bytes topics = topicRecord(-1, 1, -1, -1, "", "");
    EXPECT_EQ(DeleteTopics(topics.data(), status.data()), 0);
    const std::string reason = lastError();
    EXPECT_NE(reason.find("the database " + m_path + " is damaged"), std::string::npos) << reason;
    EXPECT_EQ(statusText(status), padded(reason, 128).substr(0, 128));
    EXPECT_EQ(CommitUnit(status.data()), KV_DAMAGED);
    EXPECT_EQ(lastError(), reason);
    EXPECT_EQ(BeginUnit(status.data()), KV_DAMAGED);
    EXPECT_EQ(insertModule("Alone"), 0);
    EXPECT_EQ(lastError(), reason);
    EndVelk();
    m_raw = std::make_unique<RawDb>(m_path);
    EXPECT_EQ(raw().query("SELECT ModuleName FROM modules"), (Rows { { "Kept" } }));
}

// The tables that steer every run are checked whole before a connection's
// first unit, or its first write outside a unit.
TEST_F(UnitTest, ADamagedCodingSystemTableIsRefusedBeforeAnyWork)
{
    ASSERT_EQ(raw().exec("INSERT INTO codingsystems (CodingSystemName) VALUES ('ICD'), ('CPT')"), SQLITE_OK);
    m_raw.reset();
    EndVelk();
    damageRootPage(m_path, "codingsystems", true);

    ASSERT_NE(StartVelk(m_path.c_str(), "ADMIN", ""), 0) << lastError();
    EXPECT_EQ(BeginUnit(status.data()), KV_DAMAGED);
    EXPECT_NE(lastError().find("the database " + m_path + " is damaged"), std::string::npos) << lastError();
    EXPECT_EQ(RollbackUnit(status.data()), 0); // no unit was opened
    EndVelk();
    ASSERT_NE(StartVelk(m_path.c_str(), "ADMIN", ""), 0) << lastError();
    EXPECT_EQ(insertModule("Alone"), 0);
    EXPECT_NE(lastError().find(" is damaged"), std::string::npos) << lastError();
    EndVelk();
    m_raw = std::make_unique<RawDb>(m_path);
    EXPECT_EQ(raw().scalar("SELECT count(*) FROM modules"), "0");
}

VELK_ON_EVERY_ENGINE(UnitsOnEngines);

} // namespace
