// A busy database fails cleanly, and runs that meet wait their turn.
//
// Another process's write lock is held by a raw SQLite connection of the test
// (BEGIN IMMEDIATE). A batch run then waits its busy timeout, ends with exit
// status 1 and a one-line reason, and changes nothing; once the lock is gone
// the same run succeeds. Two runs started together on one database both
// finish, one after the other.
#include "tests/reliability/ReliabilitySupport.h"

#include <gtest/gtest.h>

namespace {

using namespace rel;

class BusyDatabase : public ::testing::Test {
protected:
    TempDir dir;
    fs::path db = dir / "velk.db";

    void SetUp() override
    {
        ASSERT_FALSE(dir.path().empty());
        ASSERT_EQ(seedExampleDatabase(db, dir.path(), { "ICD" }, true), "");
        writeBytes(dir / "index.txt", indexFile(2000, "Child Health"));
        writeBytes(dir / "codes.txt", codeFile(3000));
        writeBytes(dir / "descriptions.txt", descriptionFile(3000));
    }

    std::vector<std::string> args(const std::vector<std::string>& action)
    {
        std::vector<std::string> all { db.string() };
        for (const std::string& a : action)
            all.push_back(a == "{dir}" ? dir.slash() : a);
        return all;
    }
};

// The batch actions, each of which changes the database.
struct Action {
    const char* name;
    std::vector<std::string> words;
};

void PrintTo(const Action& a, std::ostream* os) { *os << a.name; }

const Action kActions[] = {
    { "TopicCreate", { "topic", "create", "CHILD", "CHI", "{dir}", "index.txt" } },
    { "TopicDelete", { "topic", "delete", "ADULT", "x", "{dir}", "none.txt" } },
    { "CodeCreate", { "code", "create", "ICD", "{dir}", "codes.txt" } },
    { "CodeDelete", { "code", "delete", "ICD" } },
    { "CodeDescription", { "code", "description", "ICD", VELK_SOURCE_DIR "/examples/", "descriptions-icd.txt" } },
};

class HeldLock : public BusyDatabase, public ::testing::WithParamInterface<Action> { };

TEST_P(HeldLock, FailsWithOneLineThenSucceedsOnceReleased)
{
    const std::vector<std::string> words = args(GetParam().words);
    const std::vector<std::string> before = dumpOf(db);

    SqliteReader holder(db);
    ASSERT_TRUE(holder.exec("BEGIN IMMEDIATE")) << holder.error();
    RunOptions shortWait;
    shortWait.env = { { "VELKINDEX_BUSY_TIMEOUT_MS", "300" } };
    const Outcome busy = run(words, dir.path(), shortWait);
    EXPECT_TRUE(busy.exited) << busy.describe();
    EXPECT_EQ(busy.exitCode, 1) << busy.describe();
    const std::vector<std::string> reason = lines(busy.err);
    ASSERT_EQ(reason.size(), 1u) << "one line of reason: " << busy.err;
    EXPECT_NE(reason[0].find("busy"), std::string::npos) << reason[0];
    EXPECT_NE(reason[0].find(db.string()), std::string::npos) << "the reason names the database: " << reason[0];
    EXPECT_TRUE(busy.out.empty()) << "no summary for a run that did nothing: " << busy.out;
    {
        SqliteReader reader(db);
        EXPECT_EQ(reader.dump(), before) << "the busy run changed the database";
    }

    ASSERT_TRUE(holder.exec("ROLLBACK")) << holder.error();
    const Outcome free = run(words, dir.path(), shortWait);
    EXPECT_EQ(free.exitCode, 0) << free.describe();
    SqliteReader reader(db);
    EXPECT_NE(reader.dump(), before) << "the run after the lock was released changed nothing";
    EXPECT_EQ(reader.integrity(), "ok");
}

INSTANTIATE_TEST_SUITE_P(
    Actions, HeldLock, ::testing::ValuesIn(kActions), [](const auto& info) { return std::string(info.param.name); });

// An exclusive lock keeps even readers out, so the run meets it while it
// opens the database: the same outcome, status 1 after the wait.
class HeldExclusively : public BusyDatabase, public ::testing::WithParamInterface<Action> { };

TEST_P(HeldExclusively, FailsWithOneLineAndStatusOne)
{
    const std::vector<std::string> words = args(GetParam().words);
    struct Hold {
        const char* how;
        std::vector<const char*> statements;
    };
    const Hold holds[] = {
        { "write-ahead log, exclusive locking mode", { "PRAGMA locking_mode = EXCLUSIVE", "BEGIN EXCLUSIVE" } },
        { "rollback journal", { "PRAGMA journal_mode = DELETE", "BEGIN EXCLUSIVE" } },
    };
    for (const Hold& hold : holds) {
        const std::vector<std::string> before = dumpOf(db);
        RunOptions shortWait;
        shortWait.env = { { "VELKINDEX_BUSY_TIMEOUT_MS", "300" } };
        Outcome busy;
        {
            // Closing the holder ends the exclusive locking mode's lock too.
            SqliteReader holder(db);
            for (const char* statement : hold.statements)
                ASSERT_TRUE(holder.exec(statement)) << hold.how << ": " << holder.error();
            busy = run(words, dir.path(), shortWait);
            ASSERT_TRUE(holder.exec("ROLLBACK")) << holder.error();
        }
        EXPECT_TRUE(busy.exited) << hold.how << ": " << busy.describe();
        EXPECT_EQ(busy.exitCode, 1) << hold.how << ": " << busy.describe();
        const std::vector<std::string> reason = lines(busy.err);
        ASSERT_EQ(reason.size(), 1u) << hold.how << ": one line of reason: " << busy.err;
        EXPECT_NE(reason[0].find("busy"), std::string::npos) << reason[0];
        EXPECT_NE(reason[0].find(db.string()), std::string::npos) << "the reason names the database: " << reason[0];
        EXPECT_TRUE(busy.out.empty()) << busy.out;
        SqliteReader reader(db);
        EXPECT_EQ(reader.dump(), before) << hold.how << ": the busy run changed the database";
    }
}

INSTANTIATE_TEST_SUITE_P(Actions, HeldExclusively, ::testing::ValuesIn(kActions),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(BusyDatabase, DefaultTimeoutWaitsForALockThatIsReleasedSoon)
{
    // With no timeout in the environment the run waits (five seconds): a lock
    // held for about one second after the start is waited out.
    const std::vector<std::string> words = args({ "code", "create", "ICD", "{dir}", "codes.txt" });
    SqliteReader holder(db);
    ASSERT_TRUE(holder.exec("BEGIN IMMEDIATE")) << holder.error();
    RunOptions defaults;
    defaults.env = { { "VELKINDEX_BUSY_TIMEOUT_MS", "" } };
    Child child;
    ASSERT_TRUE(child.start(words, dir.path(), defaults));
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    const bool stillRunning = child.running();
    ASSERT_TRUE(holder.exec("ROLLBACK")) << holder.error();
    const Outcome o = child.wait();
    EXPECT_TRUE(stillRunning) << "the run ended while the lock was held: " << o.describe();
    EXPECT_EQ(o.exitCode, 0) << o.describe();
    SqliteReader reader(db);
    EXPECT_EQ(reader.value("SELECT count(*) FROM codes c JOIN codingsystems s USING (CodingSystemID) "
                           "WHERE s.CodingSystemName = 'ICD'"),
        "3000");
}

TEST_F(BusyDatabase, ZeroTimeoutFailsAtOnce)
{
    // The contrast to the test above: without waiting, the same run fails.
    SqliteReader holder(db);
    ASSERT_TRUE(holder.exec("BEGIN IMMEDIATE")) << holder.error();
    RunOptions noWait;
    noWait.env = { { "VELKINDEX_BUSY_TIMEOUT_MS", "0" } };
    const Outcome o = run(args({ "code", "create", "ICD", "{dir}", "codes.txt" }), dir.path(), noWait);
    EXPECT_EQ(o.exitCode, 1) << o.describe();
    EXPECT_NE(o.err.find("busy"), std::string::npos) << o.err;
}

// The modules of the database, each with its topics as (description, the
// parent's description) in order: the tree without the numbering.
std::vector<std::string> trees(SqliteReader& reader)
{
    return reader.rows("SELECT m.ModuleName || ': ' || t.Description || ' <- ' || coalesce(p.Description, '-')"
                       " || ' ' || t.HasChild FROM topics t JOIN modules m ON m.ModuleID = t.ModuleID"
                       " LEFT JOIN topics p ON p.TopicID = t.ParentID AND p.ModuleID = t.ModuleID"
                       " ORDER BY m.ModuleName, t.TopicID");
}

TEST_F(BusyDatabase, TwoTopicCreatesStartedTogetherBothFinish)
{
    writeBytes(dir / "first.txt", indexFile(6000, "First Index", 11));
    writeBytes(dir / "second.txt", indexFile(6000, "Second Index", 12));
    // The expected trees: each module built alone, on copies.
    const fs::path alone = dir / "alone.db";
    copyDatabase(db, alone);
    ASSERT_EQ(
        run({ alone.string(), "topic", "create", "FIRST", "F", dir.slash(), "first.txt" }, dir.path()).exitCode, 0);
    ASSERT_EQ(
        run({ alone.string(), "topic", "create", "SECOND", "S", dir.slash(), "second.txt" }, dir.path()).exitCode, 0);
    std::vector<std::string> expected;
    {
        SqliteReader reader(alone);
        expected = trees(reader);
    }

    for (int round = 0; round < 3; ++round) {
        const fs::path shared = dir / ("together" + std::to_string(round) + ".db");
        copyDatabase(db, shared);
        Child first, second;
        ASSERT_TRUE(
            first.start({ shared.string(), "topic", "create", "FIRST", "F", dir.slash(), "first.txt" }, dir.path()));
        ASSERT_TRUE(
            second.start({ shared.string(), "topic", "create", "SECOND", "S", dir.slash(), "second.txt" }, dir.path()));
        const Outcome a = first.wait();
        const Outcome b = second.wait();
        EXPECT_EQ(a.exitCode, 0) << a.describe();
        EXPECT_EQ(b.exitCode, 0) << b.describe();
        SqliteReader reader(shared);
        EXPECT_EQ(reader.integrity(), "ok");
        EXPECT_EQ(trees(reader), expected) << "round " << round;
        // Every parent is a topic of the same module: no run numbered its
        // topics past the other's.
        EXPECT_EQ(reader.value("SELECT count(*) FROM topics t WHERE t.ParentID <> 0 AND NOT EXISTS (SELECT 1 FROM "
                               "topics p WHERE p.TopicID = t.ParentID AND p.ModuleID = t.ModuleID)"),
            "0");
    }
}

TEST_F(BusyDatabase, SameModuleCreatedTwiceTogetherEndsWithOneCopy)
{
    writeBytes(dir / "child.txt", indexFile(6000, "Child Health", 5));
    const fs::path alone = dir / "alone.db";
    copyDatabase(db, alone);
    ASSERT_EQ(
        run({ alone.string(), "topic", "create", "CHILD", "CHI", dir.slash(), "child.txt" }, dir.path()).exitCode, 0);
    std::vector<std::string> expected;
    {
        SqliteReader reader(alone);
        expected = trees(reader);
    }
    for (int round = 0; round < 3; ++round) {
        const fs::path shared = dir / ("twice" + std::to_string(round) + ".db");
        copyDatabase(db, shared);
        Child first, second;
        const std::vector<std::string> words { shared.string(), "topic", "create", "CHILD", "CHI", dir.slash(),
            "child.txt" };
        ASSERT_TRUE(first.start(words, dir.path()));
        ASSERT_TRUE(second.start(words, dir.path()));
        const Outcome a = first.wait();
        const Outcome b = second.wait();
        EXPECT_EQ(a.exitCode, 0) << a.describe();
        EXPECT_EQ(b.exitCode, 0) << b.describe();
        SqliteReader reader(shared);
        EXPECT_EQ(reader.integrity(), "ok");
        EXPECT_EQ(reader.rows("SELECT ModuleName FROM modules ORDER BY ModuleName"),
            (std::vector<std::string> { "ADULT", "CHILD" }));
        EXPECT_EQ(trees(reader), expected) << "round " << round;
    }
}

TEST_F(BusyDatabase, TwoCodeCreatesOfOneSystemTogetherEndWithOneSet)
{
    for (int round = 0; round < 3; ++round) {
        const fs::path shared = dir / ("codes" + std::to_string(round) + ".db");
        copyDatabase(db, shared);
        Child first, second;
        const std::vector<std::string> words { shared.string(), "code", "create", "ICD", dir.slash(), "codes.txt" };
        ASSERT_TRUE(first.start(words, dir.path()));
        ASSERT_TRUE(second.start(words, dir.path()));
        const Outcome a = first.wait();
        const Outcome b = second.wait();
        EXPECT_EQ(a.exitCode, 0) << a.describe();
        EXPECT_EQ(b.exitCode, 0) << b.describe();
        SqliteReader reader(shared);
        EXPECT_EQ(reader.value("SELECT count(*) || ' ' || count(DISTINCT Code) FROM codes"), "3000 3000");
    }
}

TEST_F(BusyDatabase, TwoRunsOnANewDatabaseBothFinish)
{
    // Both find no file and make the tables: one of them makes them, the other
    // finds them made.
    writeBytes(dir / "first.txt", indexFile(3000, "First Index", 3));
    writeBytes(dir / "second.txt", indexFile(3000, "Second Index", 4));
    for (int round = 0; round < 3; ++round) {
        const fs::path fresh = dir / ("fresh" + std::to_string(round) + ".db");
        Child first, second;
        ASSERT_TRUE(
            first.start({ fresh.string(), "topic", "create", "FIRST", "F", dir.slash(), "first.txt" }, dir.path()));
        ASSERT_TRUE(
            second.start({ fresh.string(), "topic", "create", "SECOND", "S", dir.slash(), "second.txt" }, dir.path()));
        const Outcome a = first.wait();
        const Outcome b = second.wait();
        EXPECT_EQ(a.exitCode, 0) << a.describe();
        EXPECT_EQ(b.exitCode, 0) << b.describe();
        SqliteReader reader(fresh);
        EXPECT_EQ(reader.integrity(), "ok");
        EXPECT_EQ(reader.value("PRAGMA journal_mode"), "wal");
        EXPECT_EQ(reader.rows("SELECT ModuleName || ' ' || (SELECT count(*) FROM topics t WHERE t.ModuleID = "
                              "m.ModuleID) FROM modules m ORDER BY ModuleName"),
            (std::vector<std::string> { "FIRST 3000", "SECOND 3000" }));
        EXPECT_EQ(reader.value("SELECT count(*) FROM patEdDefaults"), "1");
    }
}

TEST_F(BusyDatabase, AFailedAndASuccessfulRunOnANewDatabaseTogether)
{
    // The failed run stores nothing and puts the path back as it found it,
    // unless the other run has the file open or has stored in it: the other
    // run's work is never lost, whichever of the two starts, opens or ends first.
    writeBytes(dir / "small.txt", indexFile(200, "Small Index", 5));
    for (int round = 0; round < 6; ++round) {
        const fs::path fresh = dir / ("together" + std::to_string(round) + ".db");
        Child failing, storing;
        const std::vector<std::string> fail { fresh.string(), "code", "create", "NOSUCH", dir.slash(), "small.txt" };
        const std::vector<std::string> store { fresh.string(), "topic", "create", "SMALL", "S", dir.slash(),
            "small.txt" };
        if (round % 2 == 0) {
            ASSERT_TRUE(failing.start(fail, dir.path()));
            ASSERT_TRUE(storing.start(store, dir.path()));
        } else {
            ASSERT_TRUE(storing.start(store, dir.path()));
            ASSERT_TRUE(failing.start(fail, dir.path()));
        }
        const Outcome a = failing.wait();
        const Outcome b = storing.wait();
        EXPECT_EQ(a.exitCode, 1) << a.describe();
        EXPECT_EQ(b.exitCode, 0) << b.describe();
        ASSERT_TRUE(fs::exists(fresh)) << "round " << round;
        SqliteReader reader(fresh);
        EXPECT_EQ(reader.integrity(), "ok");
        EXPECT_EQ(reader.value("SELECT count(*) FROM topics"), "200") << "round " << round;
    }
}

} // namespace
