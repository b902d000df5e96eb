// Batch runs on a library kept by the test server: killed in the middle of a
// load, cut off by the server, refused at start-up, and side by side with
// another writer. Every effect is read back with the tests' own libpq
// connection.
#include "ReliabilitySupport.h"

#include "support/PgServer.h"
#include "support/StoredRows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <thread>

using namespace rel;

namespace {

class ServerRuns : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string why;
        m_db = pgtest::freshPgDatabase(why);
        if (m_db.empty()) {
            if (pgtest::pgRequired() || why != pgtest::kNoServer)
                FAIL() << why << " (VELK_REQUIRE_PG=1 asks for the test server)";
            GTEST_SKIP() << pgtest::kNoServer;
        }
        // The library's tables, and the coding system the loads go to.
        const Outcome o = run({ m_db, "topic", "create", "ADULT", "ADU", VELK_SOURCE_DIR "/examples/", "adult-index.txt" },
            m_dir.path());
        ASSERT_EQ(o.exitCode, 0) << o.describe();
        ASSERT_TRUE(reader().exec("INSERT INTO codingsystems (CodingSystemName) VALUES ('ICD')")) << reader().error();
    }

    StoredRows& reader()
    {
        if (!m_reader)
            m_reader = std::make_unique<StoredRows>(m_db);
        return *m_reader;
    }
    std::string count(const std::string& table) { return reader().value("SELECT count(*) FROM " + table); }
    // Everything but the codes, whose numbering a rolled-back load moves on.
    std::vector<std::string> rest()
    {
        std::vector<std::string> all;
        for (const std::string& row : reader().dump())
            if (!row.starts_with("codes: ") && !row.starts_with("sequence: codes"))
                all.push_back(row);
        return all;
    }
    // Waits until no run of the program is connected to the database: the
    // server has ended what a killed run left.
    void waitForRunsToEnd()
    {
        for (int i = 0; i < 2000; ++i) {
            if (reader().value("SELECT count(*) FROM pg_stat_activity WHERE application_name = 'velkindex' AND "
                               "datname = current_database()")
                == "0")
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        FAIL() << "a run's connection stayed open";
    }
    fs::path file(const std::string& name, const std::string& bytes)
    {
        const fs::path path = m_dir.path() / name;
        writeBytes(path, bytes);
        return path;
    }

    TempDir m_dir;
    std::string m_db;
    std::unique_ptr<StoredRows> m_reader;
};

// The codes of a complete load of `count` generated codes, in load order.
std::string loadedCodes(int count)
{
    std::string all;
    for (int n = 0; n < count; ++n)
        all += codeName(n) + (n + 1 < count ? "," : "");
    return all;
}

// A load killed at random moments of its run: the server rolls its unit
// back, the library holds exactly the state before or after it, never one
// between, and the same load run again completes. A few moments by default,
// 20 with VELK_LONG_TESTS=1; VELK_KILL_SEED=N replays the moments of a run
// that failed.
TEST_F(ServerRuns, AKilledLoadLeavesTheStateBeforeOrAfterIt)
{
    constexpr int kCodes = 75000;
    file("codes.txt", codeFile(kCodes));
    const std::vector<std::string> load = { m_db, "code", "create", "ICD", m_dir.path().string() + "/", "codes.txt" };
    const std::vector<std::string> before = rest();
    const std::string complete = loadedCodes(kCodes);

    // The moments are spread from start-up to a little past the time that
    // a whole load takes here, so that some fall on the commit and after.
    const Outcome whole = run(load, m_dir.path());
    ASSERT_EQ(whole.exitCode, 0) << whole.describe();
    ASSERT_TRUE(reader().exec("DELETE FROM codes"));
    const char* seedText = std::getenv("VELK_KILL_SEED");
    const unsigned seed = seedText && *seedText ? static_cast<unsigned>(std::stoul(seedText)) : std::random_device {}();
    std::mt19937 random(seed);
    const int longest = std::max(50, static_cast<int>(whole.seconds * 1200));
    std::uniform_int_distribution<int> moment(1, longest);
    const int trials = longTests() ? 20 : 3;
    for (int trial = 0; trial < trials; ++trial) {
        const int after = moment(random);
        SCOPED_TRACE("VELK_KILL_SEED=" + std::to_string(seed) + ", killed after " + std::to_string(after) + " ms");
        Child child;
        ASSERT_TRUE(child.start(load, m_dir.path()));
        std::this_thread::sleep_for(std::chrono::milliseconds(after));
        child.kill();
        const Outcome o = child.wait();
        waitForRunsToEnd();
        const std::string stored = count("codes");
        EXPECT_TRUE(stored == "0" || stored == std::to_string(kCodes)) << stored;
        if (stored != "0") {
            EXPECT_EQ(reader().value("SELECT string_agg(Code, ',' ORDER BY CodeID) FROM codes"), complete);
        }
        // A run that ended by itself before the kill reported success: its load is stored.
        if (o.exited) {
            EXPECT_EQ(o.exitCode, 0) << o.describe();
            EXPECT_EQ(stored, std::to_string(kCodes));
        } else {
            EXPECT_EQ(o.signal, SIGKILL) << o.describe();
        }
        EXPECT_EQ(rest(), before) << firstDifference(rest(), before);
        ASSERT_TRUE(reader().exec("DELETE FROM codes"));
    }
    const Outcome o = run(load, m_dir.path());
    EXPECT_EQ(o.exitCode, 0) << o.describe();
    EXPECT_EQ(reader().value("SELECT string_agg(Code, ',' ORDER BY CodeID) FROM codes"), complete);
}

// The server ends the run's connection in the middle of its load: the run
// fails (status 1) with one line that names the cause, and nothing of the
// load is stored.
TEST_F(ServerRuns, AConnectionCutMidLoadFailsTheRunAndStoresNothing)
{
    file("codes.txt", codeFile(75000));
    Child child;
    ASSERT_TRUE(child.start({ m_db, "code", "create", "ICD", m_dir.path().string() + "/", "codes.txt" }, m_dir.path()));
    std::string cut = "0";
    while (cut == "0" && child.running())
        cut = reader().value("SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity WHERE application_name = "
                             "'velkindex' AND datname = current_database() AND query LIKE 'COPY%'");
    const Outcome o = child.wait();
    ASSERT_EQ(cut, "1") << "the load ended before its connection could be cut: " << o.describe();
    EXPECT_EQ(o.exitCode, 1) << o.describe();
    EXPECT_NE(o.err.find("the connection to the database server was lost"), std::string::npos) << o.err;
    EXPECT_EQ(lines(o.err).size(), 1u) << o.err;
    waitForRunsToEnd();
    EXPECT_EQ(count("codes"), "0");
}

// A cluster of one test's own (scripts/pg-cluster.sh), for what would disturb
// the tests that share the fixture's cluster; stopped and removed when the
// guard goes, also when the test fails.
class PrivateCluster {
public:
    PrivateCluster()
    {
        std::string pattern = (fs::temp_directory_path() / "velk-pgown-XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            m_dir = pattern;
        m_started = script("start");
    }
    ~PrivateCluster()
    {
        if (!m_dir.empty())
            (void)script("stop");
    }
    PrivateCluster(const PrivateCluster&) = delete;
    PrivateCluster& operator=(const PrivateCluster&) = delete;

    // What the start printed; "skipped: no PostgreSQL" without server binaries.
    const Outcome& started() const { return m_started; }
    bool running() const { return m_started.exitCode == 0 && !host().empty(); }
    std::string host() const { return pgtest::readFirstLine(m_dir + "/host"); }
    std::string uri(const std::string& user, const std::string& password = "") const
    {
        std::string encoded;
        for (char c : host())
            encoded += c == '/' ? std::string("%2F") : std::string(1, c);
        return "postgresql://" + user + (password.empty() ? "" : ":" + password) + "@" + encoded + "/velk";
    }
    // The server ends every session and comes back.
    Outcome restart() { return script("restart"); }

private:
    Outcome script(const std::string& action)
    {
        RunOptions options;
        options.program = "/bin/bash";
        return run({ VELK_SOURCE_DIR "/scripts/pg-cluster.sh", action, m_dir }, m_logs.path(), options);
    }

    TempDir m_logs;
    std::string m_dir;
    Outcome m_started;
};

// The server restarts in the middle of a load: the run fails (status 1) with
// one line that names the cause and no password, nothing of the load is
// stored, and the same load run again completes. The restart would end the
// sessions of every other test, so the server is one of this test's own.
TEST(ServerRestart, ARestartMidLoadFailsTheRunAndStoresNothing)
{
    PrivateCluster cluster;
    ASSERT_TRUE(cluster.started().exited) << cluster.started().describe();
    if (!cluster.running()) {
        ASSERT_EQ(cluster.started().exitCode, 0) << cluster.started().describe();
        ASSERT_FALSE(pgtest::pgRequired()) << "VELK_REQUIRE_PG=1 asks for the test server";
        ASSERT_NE(cluster.started().out.find(pgtest::kNoServer), std::string::npos) << cluster.started().describe();
        GTEST_SKIP() << pgtest::kNoServer;
    }
    TempDir dir;
    const std::string admin = cluster.uri("velk");
    ASSERT_EQ(run({ admin, "topic", "create", "ADULT", "ADU", VELK_SOURCE_DIR "/examples/", "adult-index.txt" },
                  dir.path())
                  .exitCode,
        0);
    {
        pgtest::PgReader owner(admin);
        ASSERT_TRUE(owner.exec("INSERT INTO codingsystems (CodingSystemName) VALUES ('ICD');"
                               "GRANT SELECT, INSERT, UPDATE, DELETE ON ALL TABLES IN SCHEMA public TO velk_plain;"
                               "GRANT SELECT, UPDATE ON ALL SEQUENCES IN SCHEMA public TO velk_plain"))
            << owner.error();
    }
    // The load runs as a role with a password in its URI: no message may show it.
    const std::string password = "velk_plain_pw";
    const std::string clerk = cluster.uri("velk_plain", password);
    const std::vector<std::string> before = StoredRows(admin).dump();

    // A load that ends before the restart reaches it proves nothing: it is
    // undone and tried again with twice the codes.
    Outcome o;
    int codes = 300000;
    bool cut = false;
    for (int attempt = 0; attempt < 4 && !cut; ++attempt, codes *= 2) {
        writeBytes(dir / "codes.txt", codeFile(codes));
        Child child;
        ASSERT_TRUE(child.start({ clerk, "code", "create", "ICD", dir.slash(), "codes.txt" }, dir.path()));
        {
            pgtest::PgReader watcher(admin);
            ASSERT_TRUE(watcher.error().empty()) << watcher.error();
            std::string copying = "0";
            while (copying == "0" && child.running())
                copying = watcher.table("SELECT count(*) FROM pg_stat_activity WHERE application_name = 'velkindex' "
                                        "AND query LIKE 'COPY%'")
                              .at(0)
                              .at(0);
            if (copying != "0") {
                const Outcome restarted = cluster.restart();
                ASSERT_EQ(restarted.exitCode, 0) << restarted.describe();
            }
        }
        o = child.wait();
        cut = o.exitCode != 0;
        if (!cut) {
            ASSERT_EQ(o.exitCode, 0) << o.describe();
            pgtest::PgReader owner(admin);
            ASSERT_TRUE(owner.exec("DELETE FROM codes")) << owner.error();
        }
    }
    ASSERT_TRUE(cut) << "every load ended before the server restarted; the last had " << codes / 2 << " codes";
    EXPECT_EQ(o.exitCode, 1) << o.describe();
    EXPECT_NE(o.err.find("the connection to the database server was lost"), std::string::npos) << o.err;
    EXPECT_EQ(lines(o.err).size(), 1u) << o.err;
    EXPECT_EQ(o.err.find(password), std::string::npos) << o.err;
    EXPECT_EQ(o.out.find(password), std::string::npos) << o.out;
    {
        StoredRows after(admin);
        EXPECT_EQ(after.value("SELECT count(*) FROM codes"), "0");
        std::vector<std::string> rest;
        for (const std::string& row : after.dump())
            if (!row.starts_with("sequence: codes"))
                rest.push_back(row);
        std::vector<std::string> expected;
        for (const std::string& row : before)
            if (!row.starts_with("sequence: codes"))
                expected.push_back(row);
        EXPECT_EQ(rest, expected) << firstDifference(rest, expected);
    }

    // The server is back: the same load completes.
    const Outcome again = run({ clerk, "code", "create", "ICD", dir.slash(), "codes.txt" }, dir.path());
    EXPECT_EQ(again.exitCode, 0) << again.describe();
    EXPECT_EQ(StoredRows(admin).value("SELECT count(*) FROM codes"), std::to_string(codes / 2));
}

struct StartCase {
    const char* name;
    const char* user;
    const char* password;
    const char* database; // empty: the test's own
    const char* cause;
};

void PrintTo(const StartCase& c, std::ostream* os) { *os << c.name; }

class ServerStartRuns : public ServerRuns, public ::testing::WithParamInterface<StartCase> { };

// What keeps a run from starting: status 2, one line naming the cause, no
// password anywhere in what the run printed.
TEST_P(ServerStartRuns, CannotStartWithOneLineAndNoPassword)
{
    const StartCase& c = GetParam();
    const std::string name = m_db.substr(m_db.rfind('/') + 1);
    std::string uri = pgtest::pgUri(*c.database ? c.database : name, c.user, c.password);
    if (std::string(c.name) == "unreachable")
        uri = std::string("postgresql://velk_plain:") + c.password + "@%2Fnonexistent%2Fsocket/velk";
    const std::vector<std::string> before = reader().dump();
    const Outcome o = run({ uri, "code", "delete", "ICD" }, m_dir.path());
    EXPECT_EQ(o.exitCode, 2) << o.describe();
    EXPECT_NE(o.err.find(c.cause), std::string::npos) << o.err;
    EXPECT_EQ(o.err.find(c.password), std::string::npos) << o.err;
    EXPECT_EQ(o.out.find(c.password), std::string::npos) << o.out;
    EXPECT_EQ(lines(o.err).size(), 1u) << o.err;
    EXPECT_EQ(reader().dump(), before);
}

INSTANTIATE_TEST_SUITE_P(Causes, ServerStartRuns,
    ::testing::Values(StartCase { "wrong_password", "velk_plain", "guessed-wrong", "", "password authentication failed" },
        StartCase { "missing_database", "velk", "secret-of-velk", "velk_nowhere", "\"velk_nowhere\" does not exist" },
        StartCase { "no_privilege", "velk_plain", "velk_plain_pw", "", "lacks the privileges" },
        StartCase { "unreachable", "velk_plain", "velk_plain_pw", "", "/nonexistent/socket" }),
    [](const auto& info) { return std::string(info.param.name); });

// The topics of `module` in TopicID order as "description|parent's place",
// the parent told by its place in the module (0 for none), and whether the
// identifiers are consecutive.
std::vector<std::string> tree(StoredRows& reader, const std::string& module, bool& consecutive)
{
    const std::string topics = "(SELECT t.* FROM topics t JOIN modules m USING (ModuleID) WHERE m.ModuleName = '"
        + module + "')";
    consecutive = reader.value("SELECT max(TopicID) - min(TopicID) + 1 = count(*) FROM " + topics + " s") == "t";
    return reader.rows("SELECT trim(s.Description), coalesce((SELECT count(*) FROM " + topics
        + " q WHERE q.TopicID <= s.ParentID), 0) FROM " + topics + " s ORDER BY s.TopicID");
}

// Two modules built at once: each is built whole, its topics numbered
// without a gap, as when they are built one after the other.
TEST_F(ServerRuns, TwoModulesBuiltAtOnceAreBothExact)
{
    file("one.txt", indexFile(3000, "One", 11));
    file("two.txt", indexFile(3000, "Two", 12));
    const std::string dir = m_dir.path().string() + "/";
    const RunOptions patient { { { "VELKINDEX_BUSY_TIMEOUT_MS", "60000" } } };
    Child one, two;
    ASSERT_TRUE(one.start({ m_db, "topic", "create", "ONE", "ONE", dir, "one.txt" }, m_dir.path(), patient));
    ASSERT_TRUE(two.start({ m_db, "topic", "create", "TWO", "TWO", dir, "two.txt" }, m_dir.path(), patient));
    const Outcome a = one.wait(), b = two.wait();
    ASSERT_EQ(a.exitCode, 0) << a.describe();
    ASSERT_EQ(b.exitCode, 0) << b.describe();
    bool oneConsecutive = false, twoConsecutive = false;
    const auto oneTree = tree(reader(), "ONE", oneConsecutive);
    const auto twoTree = tree(reader(), "TWO", twoConsecutive);
    EXPECT_TRUE(oneConsecutive);
    EXPECT_TRUE(twoConsecutive);

    // The same files built one after the other, in a library of their own.
    std::string why;
    const std::string alone = pgtest::freshPgDatabase(why);
    ASSERT_FALSE(alone.empty()) << why;
    ASSERT_EQ(run({ alone, "topic", "create", "ONE", "ONE", dir, "one.txt" }, m_dir.path()).exitCode, 0);
    ASSERT_EQ(run({ alone, "topic", "create", "TWO", "TWO", dir, "two.txt" }, m_dir.path()).exitCode, 0);
    StoredRows sequential(alone);
    bool ignored = false;
    EXPECT_EQ(oneTree, tree(sequential, "ONE", ignored));
    EXPECT_EQ(twoTree, tree(sequential, "TWO", ignored));
    EXPECT_EQ(oneTree.size(), 3000u);
}

// The same module built twice at once: one complete module, no topics left
// over from the other build.
TEST_F(ServerRuns, TheSameModuleBuiltTwiceAtOnceIsOneCompleteModule)
{
    file("one.txt", indexFile(3000, "One", 11));
    const std::string dir = m_dir.path().string() + "/";
    const RunOptions patient { { { "VELKINDEX_BUSY_TIMEOUT_MS", "60000" } } };
    Child first, second;
    ASSERT_TRUE(first.start({ m_db, "topic", "create", "ONE", "ONE", dir, "one.txt" }, m_dir.path(), patient));
    ASSERT_TRUE(second.start({ m_db, "topic", "create", "ONE", "ONE", dir, "one.txt" }, m_dir.path(), patient));
    const Outcome a = first.wait(), b = second.wait();
    EXPECT_EQ(a.exitCode, 0) << a.describe();
    EXPECT_EQ(b.exitCode, 0) << b.describe();
    EXPECT_EQ(reader().value("SELECT count(*) FROM modules WHERE ModuleName = 'ONE'"), "1");
    bool consecutive = false;
    EXPECT_EQ(tree(reader(), "ONE", consecutive).size(), 3000u);
    EXPECT_TRUE(consecutive);
    EXPECT_EQ(reader().value("SELECT count(*) FROM topics t WHERE NOT EXISTS "
                             "(SELECT 1 FROM modules m WHERE m.ModuleID = t.ModuleID)"),
        "0");
}

// A code load beside a description load of the same codes: they take turns,
// so the descriptions are on every code or on none, never on some.
TEST_F(ServerRuns, ACodeLoadAndADescriptionLoadTakeTurns)
{
    constexpr int kCodes = 20000;
    file("codes.txt", codeFile(kCodes));
    file("descriptions.txt", descriptionFile(kCodes));
    const std::string dir = m_dir.path().string() + "/";
    ASSERT_EQ(run({ m_db, "code", "create", "ICD", dir, "codes.txt" }, m_dir.path()).exitCode, 0);
    const RunOptions patient { { { "VELKINDEX_BUSY_TIMEOUT_MS", "60000" } } };
    Child codes, descriptions;
    ASSERT_TRUE(codes.start({ m_db, "code", "create", "ICD", dir, "codes.txt" }, m_dir.path(), patient));
    ASSERT_TRUE(
        descriptions.start({ m_db, "code", "description", "ICD", dir, "descriptions.txt" }, m_dir.path(), patient));
    const Outcome a = codes.wait(), b = descriptions.wait();
    EXPECT_EQ(a.exitCode, 0) << a.describe();
    EXPECT_EQ(b.exitCode, 0) << b.describe();
    EXPECT_EQ(count("codes"), std::to_string(kCodes));
    const std::string described = reader().value("SELECT count(*) FROM codes WHERE Description <> ''");
    EXPECT_TRUE(described == "0" || described == std::to_string(kCodes)) << described;
}

} // namespace
