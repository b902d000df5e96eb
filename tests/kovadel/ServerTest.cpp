// What only a library on a PostgreSQL server does: the account, the
// start-up failures (never showing a password), the library's lock, writes
// that are only sent until the unit ends, and a connection that goes away.
#include "KovadelTestSupport.h"

#include <cstdlib>
#include <fstream>
#include <sys/stat.h>

using namespace kovtest;

namespace {

// The key of the library's advisory lock (the letters VELKINDX).
constexpr const char* kLockKey = "6216458746890962008";

class ServerTest : public DatabaseTest {
protected:
    enginetest::EngineKind engineKind() const override { return enginetest::EngineKind::postgres; }
    Bytes status = callStatus();

    int32_t insertModule(std::string_view name)
    {
        Bytes record = moduleRecord(0, name, "P");
        return InsertModule(record.data(), status.data());
    }
    std::string moduleCount() { return raw().scalar("SELECT count(*) FROM modules"); }
    // The database's name, the last part of its URI.
    std::string databaseName() const { return m_path.substr(m_path.rfind('/') + 1); }
};

TEST_F(ServerTest, TheTablesAndIndexesAreThoseOfTheFileEngine)
{
    EXPECT_EQ(raw().query("SELECT table_name FROM information_schema.tables WHERE table_schema = 'public' "
                          "ORDER BY table_name"),
        (Rows { { "codes" }, { "codingsystems" }, { "modules" }, { "pateddefaults" }, { "topics" } }));
    EXPECT_EQ(raw().query("SELECT indexname FROM pg_indexes WHERE schemaname = 'public' AND indexname NOT LIKE "
                          "'%pkey' AND indexname NOT LIKE '%defaultskey_key' ORDER BY indexname"),
        (Rows { { "codes_code" }, { "codes_system" }, { "codingsystems_name" }, { "modules_name" },
            { "topics_module" } }));
    EXPECT_EQ(raw().query("SELECT column_name FROM information_schema.columns WHERE table_name = 'topics' "
                          "ORDER BY ordinal_position"),
        (Rows { { "topicid" }, { "moduleid" }, { "parentid" }, { "haschild" }, { "pateddocument" },
            { "description" } }));
    EXPECT_EQ(raw().query("SELECT DefaultsKey FROM patEdDefaults"), (Rows { { "" } }));
    EXPECT_EQ(raw().scalar("SELECT pg_encoding_to_char(encoding) FROM pg_database WHERE datname = current_database()"),
        "UTF8");
}

TEST_F(ServerTest, ABackslashInQueryTextIsStoredAsWritten)
{
    EXPECT_OK(ExecuteQuery("INSERT INTO codingsystems (CodingSystemName) VALUES ('pdf\\a\\n')", status.data()), status);
    EXPECT_EQ(raw().query("SELECT CodingSystemName FROM codingsystems"), (Rows { { "pdf\\a\\n" } }));
}

struct Refusal {
    const char* name;
    const char* sql;
    const char* reason;
};

void PrintTo(const Refusal& r, std::ostream* os) { *os << r.name; }

class ServerRefusalTest : public ServerTest, public ::testing::WithParamInterface<Refusal> { };

// Refused text runs nothing and leaves the unit around it intact.
TEST_P(ServerRefusalTest, RunsNothingAndTheUnitGoesOn)
{
    ASSERT_NE(BeginUnit(status.data()), 0) << lastError();
    ASSERT_NE(insertModule("Kept"), 0);
    EXPECT_EQ(ExecuteQuery(GetParam().sql, status.data()), 0);
    EXPECT_NE(lastError().find(GetParam().reason), std::string::npos) << lastError();
    EXPECT_OK(CommitUnit(status.data()), status);
    EXPECT_EQ(raw().query("SELECT ModuleName FROM modules"), (Rows { { "Kept" } }));
}

INSTANTIATE_TEST_SUITE_P(Statements, ServerRefusalTest,
    ::testing::Values(Refusal { "two", "INSERT INTO modules (ModuleName) VALUES ('X'); DELETE FROM modules",
                          "more than one statement" },
        Refusal { "commit", "COMMIT", "transaction" }, Refusal { "begin", " /* c */ begin", "transaction" },
        Refusal { "savepoint", "SAVEPOINT s", "transaction" },
        Refusal { "settings", "SET standard_conforming_strings = off", "settings" },
        Refusal { "no_table", "INSERT INTO nowhere VALUES (1)", "\"nowhere\" does not exist" },
        Refusal { "blank", "  ", "no statement" }),
    [](const auto& info) { return std::string(info.param.name); });

// Another workstation's unit holds the library's lock: a writer here fails
// as busy once the wait is over, with nothing changed; a reader never waits.
TEST_F(ServerTest, AWriterWaitsForTheLockAndThenFailsAsBusy)
{
    EndVelk();
    setenv("VELKINDEX_BUSY_TIMEOUT_MS", "200", 1);
    const int32_t started = StartVelk(m_path.c_str(), "ADMIN", "");
    ASSERT_NE(started, 0) << lastError();
    pgtest::PgReader other(m_path);
    ASSERT_TRUE(other.exec(std::string("BEGIN; SELECT pg_advisory_xact_lock(") + kLockKey + ")")) << other.error();

    EXPECT_EQ(BeginUnit(status.data()), 0);
    EXPECT_EQ(statusText(status), padded("the database is busy (locked by another process)", 128));
    EXPECT_EQ(insertModule("A"), 0); // a write outside a unit takes the lock too
    EXPECT_EQ(lastError(), "the database is busy (locked by another process)");
    EXPECT_EQ(CommitUnit(status.data()), 0); // the failed begin opened no unit
    SAFEARRAY* sa = nullptr;
    EXPECT_OK(GetModules(&sa, status.data()), status);
    kv_safearray_destroy(sa);

    setenv("VELKINDEX_BUSY_TIMEOUT_MS", "0", 1); // no wait at all
    EXPECT_EQ(BeginUnit(status.data()), 0);
    EXPECT_EQ(lastError(), "the database is busy (locked by another process)");
    unsetenv("VELKINDEX_BUSY_TIMEOUT_MS");

    ASSERT_TRUE(other.exec("COMMIT"));
    EXPECT_OK(BeginUnit(status.data()), status);
    EXPECT_NE(insertModule("A"), 0);
    EXPECT_OK(CommitUnit(status.data()), status);
    EXPECT_EQ(moduleCount(), "1");
}

// Writes inside a unit are only sent: one that fails on the server fails
// the whole unit as it commits, and nothing of it is stored.
TEST_F(ServerTest, AFailedWriteThatWasOnlySentFailsTheWholeUnit)
{
    EXPECT_OK(BeginUnit(status.data()), status);
    for (int i = 0; i < 300; ++i) { // more than one pipelined batch
        Bytes code = codeRecord(0, "C" + std::to_string(i), 1, 0, "D", "");
        ASSERT_NE(InsertCode(code.data(), status.data()), 0) << lastError();
    }
    Bytes mark = topicRecord(42, 0, -1, 1, "", "");
    EXPECT_NE(SetTopic(mark.data(), status.data()), 0); // only sent
    EXPECT_NE(insertModule("A"), 0);
    EXPECT_EQ(CommitUnit(status.data()), 0);
    EXPECT_EQ(lastError(), "no topic has the identifier 42");
    EXPECT_EQ(moduleCount(), "0");
    EXPECT_EQ(raw().scalar("SELECT count(*) FROM codes"), "0");
    EXPECT_NE(insertModule("B"), 0) << lastError(); // the next unit starts afresh
    EXPECT_EQ(moduleCount(), "1");
}

// A read inside a unit sees what the unit sent before it.
TEST_F(ServerTest, AReadInsideAUnitSeesItsOwnWrites)
{
    EXPECT_OK(BeginUnit(status.data()), status);
    for (int i = 0; i < 3; ++i) {
        Bytes code = codeRecord(0, "J45." + std::to_string(i), 1, 0, "Asthma", "");
        ASSERT_NE(InsertCode(code.data(), status.data()), 0);
    }
    EXPECT_NE(insertModule("Adult"), 0);
    Bytes record = moduleRecord(0, "Adult", "");
    EXPECT_OK(GetModule(record.data(), status.data()), status);
    EXPECT_EQ(get32(record, 0), 1);
    EXPECT_EQ(moduleCount(), "0"); // not yet for anyone else
    EXPECT_OK(CommitUnit(status.data()), status);
    EXPECT_EQ(raw().query("SELECT CodeID, Code FROM codes ORDER BY CodeID"),
        (Rows { { "1", "J45.0" }, { "2", "J45.1" }, { "3", "J45.2" } }));
}

// Descriptions inside a unit are applied as each run of one coding system
// ends: the last given for a code wins, and a run of another system, a read
// or the commit ends a run, as if each had been applied in turn.
TEST_F(ServerTest, DescriptionsOfAUnitEndAsIfAppliedInTurn)
{
    for (const auto& [code, system] : std::vector<std::pair<const char*, int32_t>> { { "A1", 1 }, { "A1", 2 }, { "B2", 1 } }) {
        Bytes record = codeRecord(0, code, system, 0, "", "");
        ASSERT_NE(InsertCode(record.data(), status.data()), 0) << lastError();
    }
    auto describe = [&](const char* code, int32_t system, const char* text) {
        Bytes record = codeRecord(0, code, system, 0, text, "");
        EXPECT_OK(SetCode(record.data(), status.data()), status);
    };
    EXPECT_OK(BeginUnit(status.data()), status);
    describe("A1", 1, "first");
    describe("A1", 1, "second"); // the last of a run wins
    describe("B2", 0, "every system"); // another run
    describe("A1", 0, "both");
    describe("A1", 2, "only two");
    Bytes system = systemRecord(0, "none");
    EXPECT_EQ(GetCodingSystem(system.data(), status.data()), 0); // a read ends the run
    describe("B2", 1, "after the read");
    EXPECT_EQ(raw().scalar("SELECT count(*) FROM codes WHERE Description <> ''"), "0"); // nothing yet for others
    EXPECT_OK(CommitUnit(status.data()), status);
    EXPECT_EQ(raw().query("SELECT Code, CodingSystemID, Description FROM codes ORDER BY CodeID"),
        (Rows { { "A1", "1", "both" }, { "A1", "2", "only two" }, { "B2", "1", "after the read" } }));

    // A rolled-back unit leaves nothing behind for the next one.
    EXPECT_OK(BeginUnit(status.data()), status);
    describe("A1", 1, "rolled back");
    EXPECT_OK(RollbackUnit(status.data()), status);
    describe("B2", 1, "alone");
    EXPECT_EQ(raw().query("SELECT Code, Description FROM codes ORDER BY CodeID"),
        (Rows { { "A1", "both" }, { "A1", "only two" }, { "B2", "alone" } }));
}

// The server ends the connection in the middle of a unit (a restart, an
// administrator): the unit fails with one line that says so, nothing of it
// is stored, and every later call fails the same way.
TEST_F(ServerTest, AConnectionLostInAUnitFailsItAndStoresNothing)
{
    EXPECT_OK(BeginUnit(status.data()), status);
    EXPECT_NE(insertModule("A"), 0);
    ASSERT_EQ(raw().scalar("SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity "
                           "WHERE application_name = 'velkindex' AND datname = current_database()"),
        "1");
    (void)insertModule("B"); // may only be sent, and fail only at the commit
    EXPECT_EQ(CommitUnit(status.data()), 0);
    EXPECT_NE(lastError().find("the connection to the database server was lost"), std::string::npos) << lastError();
    EXPECT_EQ(lastError().find('\n'), std::string::npos);
    EXPECT_EQ(insertModule("C"), 0);
    EXPECT_NE(lastError().find("the connection to the database server was lost"), std::string::npos) << lastError();
    EXPECT_EQ(moduleCount(), "0");
}

struct StartFailure {
    const char* name;
    const char* user;
    const char* password; // in the URI; never shown
    const char* database; // empty: the test's own
    bool tablesFirst; // the tables made by the owner before
    const char* reason;
};

void PrintTo(const StartFailure& f, std::ostream* os) { *os << f.name; }

class ServerStartTest : public ServerTest, public ::testing::WithParamInterface<StartFailure> { };

// Each fails StartVelk (the program's status 2) with one line that names
// the cause and shows no password; nothing is created.
TEST_P(ServerStartTest, FailsWithOneLineAndNoPassword)
{
    const StartFailure& f = GetParam();
    if (!f.tablesFirst) {
        EndVelk();
        m_raw.reset();
        // The test's database again, empty.
        pgtest::PgReader server(pgtest::pgUri("postgres"));
        ASSERT_TRUE(server.exec("DROP DATABASE " + databaseName() + " WITH (FORCE)")) << server.error();
        ASSERT_TRUE(server.exec("CREATE DATABASE " + databaseName())) << server.error();
    }
    EndVelk();
    std::string uri = *f.database ? pgtest::pgUri(f.database, f.user, f.password)
                                  : pgtest::pgUri(databaseName(), f.user, f.password);
    if (std::string(f.name) == "unreachable")
        uri = "postgresql://" + std::string(f.user) + ":" + f.password + "@%2Fnonexistent%2Fvelk/velk";
    EXPECT_EQ(StartVelk(uri.c_str(), "ADMIN", "startvelk-secret"), KOVADEL_START_FAILED);
    const std::string reason = lastError();
    EXPECT_NE(reason.find(f.reason), std::string::npos) << reason;
    EXPECT_EQ(reason.find(f.password), std::string::npos) << reason;
    EXPECT_EQ(reason.find("startvelk-secret"), std::string::npos) << reason;
    EXPECT_EQ(reason.find('\n'), std::string::npos) << reason;
    EXPECT_NE(reason.find("***"), std::string::npos) << reason;
    pgtest::PgReader check(pgtest::pgUri(databaseName()));
    EXPECT_EQ(check.table("SELECT count(*) FROM pg_tables WHERE schemaname = 'public'"),
        (Rows { { f.tablesFirst ? "5" : "0" } }));
}

INSTANTIATE_TEST_SUITE_P(Causes, ServerStartTest,
    ::testing::Values(
        StartFailure { "wrong_password", "velk_plain", "not-the-password", "", false, "password authentication failed" },
        StartFailure { "missing_database", "velk_plain", "velk_plain_pw", "velk_nowhere", false,
            "database \"velk_nowhere\" does not exist" },
        StartFailure { "no_create", "velk_plain", "velk_plain_pw", "", false,
            "they could not be created as the user velk_plain" },
        StartFailure {
            "no_privilege", "velk_plain", "velk_plain_pw", "", true, "the user velk_plain lacks the privileges SELECT on modules" },
        StartFailure { "unreachable", "velk_plain", "velk_plain_pw", "", false, "/nonexistent/velk" }),
    [](const auto& info) { return std::string(info.param.name); });

// The account: the URI's, else ~/.pgpass (PGPASSFILE), else StartVelk's.
TEST_F(ServerTest, TheAccountComesFromTheUriThePasswordFileOrStartVelk)
{
    EndVelk();
    m_raw.reset();
    pgtest::PgReader admin(m_path);
    ASSERT_TRUE(admin.exec("GRANT SELECT, INSERT, UPDATE, DELETE ON ALL TABLES IN SCHEMA public TO velk_plain; "
                           "GRANT SELECT, UPDATE ON ALL SEQUENCES IN SCHEMA public TO velk_plain"));
    const std::string bare = "postgresql://" + pgtest::uriHost() + "/" + databaseName();

    EXPECT_NE(StartVelk((bare + "?user=velk_plain&password=velk_plain_pw").c_str(), "ADMIN", ""), 0) << lastError();
    EndVelk();

    const std::string passFile = file("pgpass");
    {
        std::ofstream out(passFile);
        out << "*:*:*:velk_plain:velk_plain_pw\n";
    }
    ASSERT_EQ(::chmod(passFile.c_str(), 0600), 0);
    setenv("PGPASSFILE", passFile.c_str(), 1);
    const std::string plain = "postgresql://velk_plain@" + pgtest::uriHost() + "/" + databaseName();
    EXPECT_NE(StartVelk(plain.c_str(), "ADMIN", ""), 0) << lastError();
    EndVelk();
    unsetenv("PGPASSFILE");

    // No user in the URI or the environment: StartVelk's account.
    const char* pgUser = std::getenv("PGUSER");
    const std::string keptUser = pgUser ? pgUser : "";
    unsetenv("PGUSER");
    EXPECT_NE(StartVelk(bare.c_str(), "velk_plain", "velk_plain_pw"), 0) << lastError();
    EXPECT_NE(insertModule("Mine"), 0) << lastError();
    EndVelk();
    EXPECT_EQ(StartVelk(bare.c_str(), "velk_plain", "wrong"), KOVADEL_START_FAILED);
    EXPECT_NE(lastError().find("password authentication failed for user \"velk_plain\""), std::string::npos)
        << lastError();
    if (!keptUser.empty())
        setenv("PGUSER", keptUser.c_str(), 1);
    EXPECT_EQ(admin.table("SELECT ModuleName FROM modules"), (Rows { { "Mine" } }));
}

} // namespace
