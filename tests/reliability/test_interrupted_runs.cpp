// A run stopped by SIGTERM or SIGINT (a scheduler's stop, Ctrl-C) ends
// cleanly: its unit of work rolls back, the database is closed (no -wal or
// -shm file is left), one line on stderr says so, and the exit status is 1.
// A signal that comes once the unit has committed keeps the work: the run
// ends normally, with its summary and a line that says what was stored.
// The window, sent SIGTERM, closes its database and ends the same way.
#include "tests/reliability/ReliabilitySupport.h"

#include <gtest/gtest.h>

#include <dirent.h>

namespace {

using namespace rel;

bool leftBeside(const fs::path& db, const char* suffix) { return fs::exists(db.string() + suffix); }

// Waits until the run has opened its database (the write-ahead log is there
// from then on until the database is closed); false when the run ended first.
bool waitUntilOpen(Child& child, const fs::path& db)
{
    const std::string wal = db.string() + "-wal";
    while (child.running()) {
        if (fs::exists(wal))
            return true;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return false;
}

// Waits until the run holds the database's write lock, which its unit of work
// takes when it begins and keeps until it ends; false when the run ended
// first. The probe never waits for the lock, and it is closed before the run
// can end, so that the run's own close is what removes the log.
bool waitUntilWriting(Child& child, const fs::path& db)
{
    SqliteReader probe(db);
    sqlite3_busy_timeout(probe.handle(), 0);
    while (child.running()) {
        const int rc = sqlite3_exec(probe.handle(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        if (rc == SQLITE_BUSY)
            return true;
        if (rc == SQLITE_OK)
            sqlite3_exec(probe.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return false;
}

// Whether the process `pid` holds a descriptor open on `file`.
bool holdsOpen(pid_t pid, const fs::path& file)
{
    const std::string folder = "/proc/" + std::to_string(pid) + "/fd";
    DIR* fds = ::opendir(folder.c_str());
    if (!fds)
        return false;
    bool found = false;
    while (const dirent* entry = ::readdir(fds)) {
        std::error_code ignored;
        const fs::path target = fs::read_symlink(folder + "/" + entry->d_name, ignored);
        if (!ignored && target == file)
            found = true;
    }
    ::closedir(fds);
    return found;
}

class Interrupted : public ::testing::Test {
protected:
    TempDir dir;
    fs::path db = dir / "velk.db";
    fs::path trace = dir / "commits.trace";

    void SetUp() override
    {
        ASSERT_FALSE(dir.path().empty());
        ASSERT_EQ(seedExampleDatabase(db, dir.path(), { "ICD", "CPT" }, true), "");
        ASSERT_FALSE(leftBeside(db, "-wal")) << "the seed runs closed the database";
    }

    std::vector<std::string> args(const std::vector<std::string>& words) const
    {
        std::vector<std::string> all { db.string() };
        for (const std::string& w : words)
            all.push_back(w == "{dir}" ? dir.slash() : w);
        return all;
    }

    RunOptions traced(const fs::path& to) const
    {
        RunOptions options;
        options.env = { { "VELKINDEX_TRACE_COMMITS", to.string() } };
        return options;
    }

    // The database closed and as it was: no log or index left beside it, sound.
    void expectClosedAndUnchanged(const std::vector<std::string>& before)
    {
        EXPECT_FALSE(leftBeside(db, "-wal")) << "the database was not closed";
        EXPECT_FALSE(leftBeside(db, "-shm")) << "the database was not closed";
        SqliteReader reader(db);
        EXPECT_EQ(reader.integrity(), "ok");
        const std::vector<std::string> after = reader.dump();
        EXPECT_EQ(after == before, true) << "the database changed: " << firstDifference(after, before);
    }
};

// ---- a batch run stopped while it loads ------------------------------------

struct Stop {
    const char* name;
    int signal;
    std::vector<std::string> words;
};

const Stop kStops[] = {
    { "SigtermDuringCodeCreate", SIGTERM, { "code", "create", "ICD", "{dir}", "codes.txt" } },
    { "SigintDuringCodeCreate", SIGINT, { "code", "create", "ICD", "{dir}", "codes.txt" } },
    { "SigtermDuringTopicCreate", SIGTERM, { "topic", "create", "BIG", "BIG", "{dir}", "index.txt" } },
    { "SigintDuringTopicCreate", SIGINT, { "topic", "create", "BIG", "BIG", "{dir}", "index.txt" } },
    { "SigtermDuringCodeDescription", SIGTERM, { "code", "description", "ICD", "{dir}", "descriptions.txt" } },
};

class StoppedRuns : public Interrupted, public ::testing::WithParamInterface<Stop> { };

TEST_P(StoppedRuns, RollBackCloseTheDatabaseAndSaySo)
{
    const Stop& s = GetParam();
    writeBytes(dir / "codes.txt", codeFile(75000));
    writeBytes(dir / "index.txt", indexFile(32000, "Big Index"));
    writeBytes(dir / "descriptions.txt", descriptionFile(75000));
    const std::vector<std::string> before = dumpOf(db);

    Child child;
    ASSERT_TRUE(child.start(args(s.words), dir.path(), traced(trace)));
    ASSERT_TRUE(waitUntilWriting(child, db)) << "the run ended before it could be stopped: " << child.wait().describe();
    ASSERT_EQ(::kill(child.pid(), s.signal), 0);
    const Outcome o = child.wait();

    EXPECT_TRUE(o.exited) << o.describe();
    EXPECT_EQ(o.exitCode, 1) << o.describe();
    EXPECT_EQ(o.err, "velkindex: interrupted: nothing was changed\n");
    EXPECT_EQ(o.out, "") << "no summary after an interruption";
    for (const std::string& line : lines(readBytes(trace)))
        EXPECT_EQ(line.rfind("commit", 0), std::string::npos) << "the run committed before the signal: " << line;
    expectClosedAndUnchanged(before);
}

INSTANTIATE_TEST_SUITE_P(
    Stops, StoppedRuns, ::testing::ValuesIn(kStops), [](const auto& info) { return std::string(info.param.name); });

// ---- a signal once the unit is committing ----------------------------------

TEST_F(Interrupted, ASignalDuringTheCommitKeepsTheWorkAndSaysWhatWasStored)
{
    // The commit trace goes into a pipe that the test holds full: the run
    // stops in its commit, writing the trace line, until the test reads. The
    // signal is sent while it waits there, after the work was last checked.
    ASSERT_EQ(::mkfifo(trace.c_str(), 0600), 0) << std::strerror(errno);
    const int pipe = ::open(trace.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(pipe, 0) << std::strerror(errno);
    const std::string block(4096, 'x');
    while (::write(pipe, block.data(), block.size()) > 0) { }
    while (::write(pipe, "x", 1) > 0) { }

    writeBytes(dir / "codes.txt", codeFile(3000));
    Child child;
    ASSERT_TRUE(child.start(args({ "code", "create", "CPT", "{dir}", "codes.txt" }), dir.path(), traced(trace)));
    // Until it has opened its database, the process may still be the test's
    // own fork, which holds the pipe until the program starts.
    ASSERT_TRUE(waitUntilOpen(child, db)) << "the run ended at once: " << child.wait().describe();
    while (child.running() && !holdsOpen(child.pid(), trace))
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    ASSERT_TRUE(child.running()) << "the run ended without tracing its commit: " << child.wait().describe();
    ASSERT_EQ(::kill(child.pid(), SIGTERM), 0);

    std::string fromTrace;
    char buffer[65536];
    while (child.running()) {
        const ssize_t n = ::read(pipe, buffer, sizeof buffer);
        if (n > 0)
            fromTrace.append(buffer, static_cast<size_t>(n));
        else
            std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    ::close(pipe);
    const Outcome o = child.wait();

    EXPECT_NE(fromTrace.find("commit unit=1"), std::string::npos) << "the run was stopped in its commit";
    EXPECT_TRUE(o.exited) << o.describe();
    EXPECT_EQ(o.exitCode, 0) << o.describe();
    const std::string summary = "code create CPT: 1,000 lines read, 3,000 codes stored, 0 lines skipped";
    EXPECT_EQ(o.out, summary + "\n");
    EXPECT_EQ(o.err, "velkindex: interrupted: the changes were already stored (" + summary + ")\n");
    EXPECT_FALSE(leftBeside(db, "-wal")) << "the database was not closed";
    EXPECT_FALSE(leftBeside(db, "-shm")) << "the database was not closed";
    SqliteReader reader(db);
    EXPECT_EQ(reader.integrity(), "ok");
    EXPECT_EQ(reader.value("SELECT count(*) FROM codes JOIN codingsystems USING (CodingSystemID) WHERE "
                           "CodingSystemName = 'CPT'"),
        "3000");
}

// ---- the window ------------------------------------------------------------

TEST_F(Interrupted, TheWindowClosesItsDatabaseAndEnds)
{
    const std::vector<std::string> before = dumpOf(db);
    RunOptions options;
    options.env = { { "QT_QPA_PLATFORM", "offscreen" } };
    Child child;
    ASSERT_TRUE(child.start({ db.string() }, dir.path(), options));
    ASSERT_TRUE(waitUntilOpen(child, db)) << "the window ended by itself: " << child.wait().describe();
    ASSERT_EQ(::kill(child.pid(), SIGTERM), 0);
    const Outcome o = child.wait();

    EXPECT_TRUE(o.exited) << o.describe();
    EXPECT_EQ(o.exitCode, 1) << o.describe();
    const std::vector<std::string> said = lines(o.err);
    EXPECT_NE(
        std::find(said.begin(), said.end(), "velkindex: interrupted: no command was running; nothing was changed"),
        said.end())
        << o.err;
    expectClosedAndUnchanged(before);
}

} // namespace
