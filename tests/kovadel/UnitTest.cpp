// Units of work: nesting, roll-back anywhere, busy databases.
#include "KovadelTestSupport.h"

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <unistd.h>

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

TEST_F(UnitTest, OnlyTheOutermostCommitWrites)
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

TEST_F(UnitTest, RollbackAnywhereUndoesTheWholeUnit)
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

TEST_F(UnitTest, InnerCommitOfARolledBackUnitFailsAndUnwinds)
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

TEST_F(UnitTest, EndingWithoutAUnitFails)
{
    EXPECT_EQ(CommitUnit(status.data()), 0);
    EXPECT_EQ(statusText(status), padded("no unit of work is open", 128));
    EXPECT_EQ(RollbackUnit(status.data()), 0);
}

TEST_F(UnitTest, EndVelkRollsAnOpenUnitBack)
{
    EXPECT_OK(BeginUnit(status.data()), status);
    EXPECT_NE(insertModule("A"), 0);
    EXPECT_NE(EndVelk(), 0);
    EXPECT_EQ(moduleCount(), "0");
    ASSERT_NE(StartVelk(m_path.c_str(), "ADMIN", ""), 0);
    EXPECT_NE(insertModule("B"), 0); // no unit left over
    EXPECT_EQ(moduleCount(), "1");
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

} // namespace
