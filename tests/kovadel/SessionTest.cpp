// Opening and closing databases, failures and their reasons.
#include "KovadelTestSupport.h"

#include <fstream>
#include <functional>
#include <grp.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kovtest;

namespace {

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::string& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary) << content;
}

class SessionTest : public TempFolderTest { };

TEST_F(SessionTest, NewFileGetsTablesIndexesAndOneDefaultsRow)
{
    const std::string path = file("new.db");
    ASSERT_NE(StartVelk(path.c_str(), "ADMIN", ""), 0) << lastError();
    EXPECT_EQ(lastError(), "");
    RawDb db(path);
    EXPECT_EQ(db.query("SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite%' ORDER BY name"),
        (Rows { { "codes" }, { "codingsystems" }, { "modules" }, { "patEdDefaults" }, { "topics" } }));
    auto columns = [&](const std::string& table) {
        std::string names;
        for (const auto& row : db.query("SELECT name FROM pragma_table_info(?1)", { table }))
            names += row[0] + " ";
        return names;
    };
    EXPECT_EQ(columns("modules"), "ModuleID ModuleName DirectoryPrefix ");
    EXPECT_EQ(columns("topics"), "TopicID ModuleID ParentID HasChild PatEdDocument Description ");
    EXPECT_EQ(columns("codingsystems"), "CodingSystemID CodingSystemName ");
    EXPECT_EQ(columns("codes"), "CodeID Code CodingSystemID CodeFlag Description PatEdDocument ");
    EXPECT_EQ(columns("patEdDefaults"),
        "DefaultsKey Setting02 Setting03 Setting04 Setting05 Setting06 DefaultModule "
        "Setting08 Setting09 Setting10 Setting11 Setting12 Setting13 Setting14 "
        "Setting15 Setting16 Setting17 ");
    EXPECT_EQ(db.query("SELECT DefaultsKey, DefaultModule, Setting03 FROM patEdDefaults"), (Rows { { "", "", "0" } }));
    EXPECT_EQ(db.scalar("SELECT count(*) FROM sqlite_master WHERE type = 'index' AND sql IS NOT NULL"), "5");
    // Look-ups by name and by code go through an index.
    const std::string plan
        = db.query("EXPLAIN QUERY PLAN UPDATE codes SET Description = 'x' WHERE trim(Code) = 'A'").back().back();
    EXPECT_NE(plan.find("USING INDEX"), std::string::npos) << plan;
    EXPECT_NE(db.scalar("PRAGMA application_id"), "0");
    EXPECT_EQ(db.scalar("PRAGMA user_version"), "1");
    EXPECT_EQ(db.scalar("PRAGMA journal_mode"), "wal");
    // Opening it again keeps its one defaults row.
    EndVelk();
    ASSERT_NE(StartVelk(path.c_str(), "ADMIN", ""), 0) << lastError();
    EXPECT_EQ(db.scalar("SELECT count(*) FROM patEdDefaults"), "1");
}

TEST_F(SessionTest, EmptyFileGetsTheSchema)
{
    const std::string path = file("empty.mdb");
    writeFile(path, "");
    ASSERT_NE(StartVelk(path.c_str(), "ADMIN", ""), 0) << lastError();
    RawDb db(path);
    EXPECT_EQ(db.scalar("SELECT count(*) FROM patEdDefaults"), "1");
}

// A file that the library made and stored nothing in is put back as it was
// found when the connection ends: a new one removed, an empty one emptied
// again, with no -wal or -shm beside it. One that holds a change stays, and so
// does one that another connection still has open.
TEST_F(SessionTest, AFileThatHoldsNothingIsPutBackAsItWasFound)
{
    const std::string made = file("made.db");
    const std::string empty = file("empty.db");
    writeFile(empty, "");
    auto besides = [](const std::string& path) {
        return std::filesystem::exists(path + "-wal") || std::filesystem::exists(path + "-shm");
    };
    Bytes status = callStatus();

    ASSERT_NE(StartVelk(made.c_str(), "ADMIN", ""), 0) << lastError();
    EXPECT_NE(BeginUnit(status.data()), 0);
    Bytes module = moduleRecord(0, "Lost", "L");
    EXPECT_NE(InsertModule(module.data(), status.data()), 0);
    EXPECT_NE(RollbackUnit(status.data()), 0);
    ASSERT_NE(StartVelk(empty.c_str(), "ADMIN", ""), 0) << lastError(); // ends the first connection
    EXPECT_FALSE(std::filesystem::exists(made));
    EXPECT_FALSE(besides(made));
    EXPECT_NE(EndVelk(), 0);
    EXPECT_EQ(readFile(empty), "");
    EXPECT_FALSE(besides(empty));

    // Stored: kept.
    ASSERT_NE(StartVelk(made.c_str(), "ADMIN", ""), 0) << lastError();
    module = moduleRecord(0, "Kept", "K");
    EXPECT_NE(InsertModule(module.data(), status.data()), 0);
    EXPECT_NE(EndVelk(), 0);
    EXPECT_EQ(RawDb(made).query("SELECT ModuleName FROM modules"), (Rows { { "Kept" } }));

    // Open elsewhere: kept, whatever it holds.
    std::filesystem::remove(empty);
    writeFile(empty, "");
    ASSERT_NE(StartVelk(empty.c_str(), "ADMIN", ""), 0) << lastError();
    {
        RawDb other(empty);
        EXPECT_EQ(other.scalar("SELECT count(*) FROM modules"), "0");
        EXPECT_NE(EndVelk(), 0);
        EXPECT_GT(std::filesystem::file_size(empty), 0u);
    }
}

struct OpenFailure {
    const char* name;
    const char* expectedReason; // a part of the reason
};

void PrintTo(const OpenFailure& failure, std::ostream* os) { *os << failure.name; }

class StartFailureTest : public TempFolderTest, public ::testing::WithParamInterface<OpenFailure> { };

// Each path fails to open, leaves the library closed and leaves the file
// system as it was.
TEST_P(StartFailureTest, FailsAndChangesNothing)
{
    const std::string kind = GetParam().name;
    std::string path;
    std::string before;
    if (kind == "missing folder") {
        path = file("no/such/folder/velk.db");
    } else if (kind == "folder") {
        path = m_folder.string();
    } else if (kind == "garbage") {
        path = file("garbage.mdb");
        writeFile(path, std::string(4096, 'G') + "not a database at all");
    } else if (kind == "foreign") {
        path = file("foreign.db");
        RawDb(path, true)
            .exec("CREATE TABLE customers (id INTEGER PRIMARY KEY, name TEXT);"
                  "INSERT INTO customers (name) VALUES ('Ann')");
    } else if (kind == "partial") {
        path = file("partial.db");
        RawDb(path, true).exec("CREATE TABLE modules (ModuleID INTEGER PRIMARY KEY, ModuleName TEXT)");
    } else if (kind == "empty path") {
        path = "";
    }
    if (!path.empty() && std::filesystem::is_regular_file(path))
        before = readFile(path);
    const auto filesBefore = std::distance(std::filesystem::recursive_directory_iterator(m_folder), {});

    EXPECT_EQ(StartVelk(path.c_str(), "ADMIN", ""), 0);
    const std::string reason = lastError();
    EXPECT_NE(reason.find(GetParam().expectedReason), std::string::npos) << reason;
    char small[8];
    EXPECT_EQ(VelkLastError(small, sizeof small), static_cast<int32_t>(reason.size()));
    EXPECT_EQ(std::string(small), reason.substr(0, 7));

    EXPECT_FALSE(std::filesystem::exists(file("no")));
    EXPECT_EQ(std::distance(std::filesystem::recursive_directory_iterator(m_folder), {}), filesBefore);
    if (!before.empty()) {
        EXPECT_EQ(readFile(path), before);
    }
    Bytes status = callStatus();
    Bytes record = moduleRecord(0, "Adult", "ADU");
    EXPECT_EQ(InsertModule(record.data(), status.data()), 0);
    EXPECT_EQ(statusText(status), padded("no database is open", 128));
}

INSTANTIATE_TEST_SUITE_P(Paths, StartFailureTest,
    ::testing::Values(OpenFailure { "missing folder", "does not exist" }, OpenFailure { "folder", "folder" },
        OpenFailure { "garbage", "not a database" }, OpenFailure { "foreign", "not a VELKINDEX database" },
        OpenFailure { "partial", "not a VELKINDEX database" }, OpenFailure { "empty path", "no database path" }),
    [](const auto& info) {
        std::string name = info.param.name;
        std::replace(name.begin(), name.end(), ' ', '_');
        return name;
    });

TEST_F(SessionTest, NullPathFailsAndAFailedStartClosesThePreviousDatabase)
{
    const std::string path = file("a.db");
    ASSERT_NE(StartVelk(path.c_str(), "ADMIN", ""), 0);
    EXPECT_EQ(StartVelk(nullptr, nullptr, nullptr), 0);
    Bytes status = callStatus();
    Bytes record = moduleRecord(0, "Adult", "ADU");
    EXPECT_EQ(InsertModule(record.data(), status.data()), 0);
    EXPECT_EQ(lastError(), "no database is open");
}

TEST_F(SessionTest, StartingAgainSwitchesToTheNewFile)
{
    const std::string first = file("first.db");
    const std::string second = file("second.db");
    ASSERT_NE(StartVelk(first.c_str(), "ADMIN", ""), 0);
    Bytes status = callStatus();
    Bytes record = moduleRecord(0, "One", "ONE");
    EXPECT_OK(InsertModule(record.data(), status.data()), status);
    ASSERT_NE(StartVelk(second.c_str(), "ADMIN", ""), 0);
    record = moduleRecord(0, "Two", "TWO");
    EXPECT_OK(InsertModule(record.data(), status.data()), status);
    EXPECT_EQ(RawDb(first).query("SELECT ModuleName FROM modules"), (Rows { { "One" } }));
    EXPECT_EQ(RawDb(second).query("SELECT ModuleName FROM modules"), (Rows { { "Two" } }));
}

TEST_F(SessionTest, EndTwiceIsHarmlessAndEveryOperationThenFails)
{
    const std::string path = file("a.db");
    ASSERT_NE(StartVelk(path.c_str(), "ADMIN", ""), 0);
    EXPECT_NE(EndVelk(), 0);
    EXPECT_NE(EndVelk(), 0);
    Bytes status = callStatus();
    Bytes module = moduleRecord(0, "A", "A");
    Bytes topic = topicRecord(0, 1, 0, 0, "", "");
    Bytes code = codeRecord(0, "A", 1, 0, "", "");
    Bytes system = systemRecord(0, "ICD");
    Bytes defaults(768, 0);
    SAFEARRAY* list = nullptr;
    const std::vector<std::pair<const char*, int32_t>> results = {
        { "ExecuteQuery", ExecuteQuery("SELECT 1", status.data()) },
        { "GetModules", GetModules(&list, status.data()) },
        { "GetModule", GetModule(module.data(), status.data()) },
        { "InsertModule", InsertModule(module.data(), status.data()) },
        { "DeleteModules", DeleteModules(module.data(), status.data()) },
        { "InsertTopic", InsertTopic(topic.data(), status.data()) },
        { "GetTopic", GetTopic(topic.data(), status.data()) },
        { "SetTopic", SetTopic(topic.data(), status.data()) },
        { "DeleteTopics", DeleteTopics(topic.data(), status.data()) },
        { "GetCodingSystems", GetCodingSystems(&list, status.data()) },
        { "GetCodingSystem", GetCodingSystem(system.data(), status.data()) },
        { "InsertCode", InsertCode(code.data(), status.data()) },
        { "SetCode", SetCode(code.data(), status.data()) },
        { "DeleteCodes", DeleteCodes(code.data(), status.data()) },
        { "GetPatEdDefaults", GetPatEdDefaults(defaults.data(), status.data()) },
        { "SetPatEdDefaults", SetPatEdDefaults(defaults.data(), status.data()) },
        { "BeginUnit", BeginUnit(status.data()) },
        { "CommitUnit", CommitUnit(status.data()) },
        { "RollbackUnit", RollbackUnit(status.data()) },
    };
    for (const auto& [name, result] : results)
        EXPECT_EQ(result, 0) << name;
    EXPECT_EQ(statusText(status), padded("no database is open", 128));
    EXPECT_EQ(getText(status, 128, 80), std::string(80, 'x')); // the other fields are left alone
    EXPECT_EQ(list, nullptr);
}

TEST_F(SessionTest, LastErrorIsClearedBySuccessAndCutToTheBuffer)
{
    EXPECT_EQ(StartVelk(file("no/x.db").c_str(), "", ""), 0);
    const std::string reason = lastError();
    ASSERT_GT(reason.size(), 10u);
    char buffer[5] = { '?', '?', '?', '?', '?' };
    EXPECT_EQ(VelkLastError(buffer, 5), static_cast<int32_t>(reason.size()));
    EXPECT_EQ(std::string(buffer), reason.substr(0, 4));
    EXPECT_EQ(VelkLastError(nullptr, 0), static_cast<int32_t>(reason.size()));
    ASSERT_NE(StartVelk(file("x.db").c_str(), "", ""), 0);
    EXPECT_EQ(VelkLastError(buffer, 5), 0);
    EXPECT_EQ(std::string(buffer), "");
}

// Runs `body` in a child process that has given up root (which ignores write
// protection); the child's exit code tells how many checks failed.
int runWithoutRoot(const std::function<int()>& body)
{
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0
            && (setgroups(0, nullptr) != 0 || setresgid(65534, 65534, 65534) != 0
                || setresuid(65534, 65534, 65534) != 0))
            _exit(100);
        _exit(body());
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 200;
}

TEST_F(SessionTest, WriteProtectedFileCanBeReadButNotWritten)
{
    const std::string path = file("ro.db");
    ASSERT_NE(StartVelk(path.c_str(), "ADMIN", ""), 0);
    Bytes module = moduleRecord(0, "Adult", "ADU");
    ASSERT_NE(InsertModule(module.data(), nullptr), 0);
    EndVelk();
    // SQLite needs to make its shared-memory file beside a WAL database.
    ASSERT_EQ(chmod(m_folder.c_str(), 0777), 0);
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    const int failures = runWithoutRoot([&] {
        // Each failed check sets one bit of the exit code.
        int failed = 0;
        if (StartVelk(path.c_str(), "ADMIN", "") == 0)
            return 255;
        Bytes status = callStatus();
        Bytes found = moduleRecord(0, "Adult", "");
        failed |= GetModule(found.data(), status.data()) == 0 ? 1 : 0;
        failed |= get32(found, 0) != 1 ? 2 : 0;
        Bytes other = moduleRecord(0, "Child", "CHI");
        failed |= InsertModule(other.data(), status.data()) != 0 ? 4 : 0;
        failed |= statusText(status).find("readonly") == std::string::npos ? 8 : 0;
        // A unit that only reads is fine; its writes fail like any other.
        failed |= BeginUnit(status.data()) == 0 ? 16 : 0;
        failed |= GetModule(found.data(), status.data()) == 0 ? 32 : 0;
        failed |= InsertModule(other.data(), status.data()) != 0 ? 64 : 0;
        failed |= CommitUnit(status.data()) == 0 ? 128 : 0;
        EndVelk();
        return failed;
    });
    EXPECT_EQ(failures, 0) << "bits of the checks that failed in the child";
    EXPECT_EQ(RawDb(path).scalar("SELECT count(*) FROM modules"), "1");

    // In a folder where SQLite may not create its -shm file the file cannot
    // be read at all: the start fails with a reason and leaves no file.
    ASSERT_EQ(chmod(m_folder.c_str(), 0555), 0);
    const auto filesBefore = std::distance(std::filesystem::directory_iterator(m_folder), {});
    const int protectedFolder = runWithoutRoot([&] {
        if (StartVelk(path.c_str(), "ADMIN", "") != 0)
            return 1;
        return lastError().find("write-protected") == std::string::npos ? 2 : 0;
    });
    EXPECT_EQ(protectedFolder, 0);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_folder), {}), filesBefore);
    chmod(m_folder.c_str(), 0700);
}

} // namespace
