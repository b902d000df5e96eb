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
