// Durable and frugal commits.
//
// The library's commit trace (VELKINDEX_TRACE_COMMITS) shows every commit of
// its connection with the synchronous level and journal mode in force: a batch
// run commits once, whatever its size, with synchronous FULL, and nothing ever
// runs without the write-ahead log. Seen from outside (strace, where it may
// trace), the log is synced before the run reports success. A load that meets
// a full disk or a write error rolls back, leaves the database as it was and
// sound, and names the input file and line.
#include "tests/reliability/ReliabilitySupport.h"

#include <gtest/gtest.h>

#include <regex>
#include <sys/mount.h>

namespace {

using namespace rel;

struct TraceLine {
    std::string kind; // "commit" or "rollback"
    bool unit = false;
    int synchronous = -1;
    std::string journalMode;
    std::string text;
};

std::string escaped(const std::string& text)
{
    static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
    return std::regex_replace(text, special, R"(\$&)");
}

std::vector<TraceLine> readTrace(const fs::path& path)
{
    std::vector<TraceLine> out;
    for (const std::string& text : lines(readBytes(path))) {
        TraceLine t;
        t.text = text;
        t.kind = text.substr(0, text.find(' '));
        t.unit = text.find(" unit=1") != std::string::npos;
        std::smatch m;
        if (std::regex_search(text, m, std::regex(" synchronous=(-?[0-9]+)")))
            t.synchronous = std::stoi(m[1]);
        if (std::regex_search(text, m, std::regex(" journal_mode=([a-z?]+)")))
            t.journalMode = m[1];
        out.push_back(t);
    }
    return out;
}

int count(const std::vector<TraceLine>& trace, const std::string& kind)
{
    int n = 0;
    for (const TraceLine& t : trace)
        n += t.kind == kind ? 1 : 0;
    return n;
}

// Commits that went through: a commit line is written as the commit starts,
// and one that fails is followed by a rollback line.
int completedCommits(const std::vector<TraceLine>& trace)
{
    int n = 0;
    for (size_t i = 0; i < trace.size(); ++i)
        n += trace[i].kind == "commit" && (i + 1 == trace.size() || trace[i + 1].kind != "rollback") ? 1 : 0;
    return n;
}

std::string joined(const std::vector<TraceLine>& trace)
{
    std::string all;
    for (const TraceLine& t : trace)
        all += t.text + "\n";
    return all;
}

class Commits : public ::testing::Test {
protected:
    TempDir dir;
    fs::path db = dir / "velk.db";
    fs::path trace = dir / "commits.trace";

    void SetUp() override
    {
        ASSERT_FALSE(dir.path().empty());
        ASSERT_EQ(seedExampleDatabase(db, dir.path(), { "ICD", "CPT" }, false), "");
    }

    RunOptions traced() const
    {
        RunOptions options;
        options.env = { { "VELKINDEX_TRACE_COMMITS", trace.string() } };
        return options;
    }

    std::vector<std::string> args(const std::vector<std::string>& words) const
    {
        std::vector<std::string> all { db.string() };
        for (const std::string& w : words)
            all.push_back(w == "{dir}" ? dir.slash() : w);
        return all;
    }

    void loadCodes()
    {
        writeBytes(dir / "codes.txt", codeFile(75000));
        const Outcome o = run(args({ "code", "create", "ICD", "{dir}", "codes.txt" }), dir.path());
        ASSERT_EQ(o.exitCode, 0) << o.describe();
    }
};

// ---- one commit, synced --------------------------------------------------

struct Action {
    const char* name;
    std::vector<std::string> words;
    bool needsCodes; // run after the 75,000 codes are loaded
};

const Action kActions[] = {
    { "CodeCreateOf75000Codes", { "code", "create", "ICD", "{dir}", "codes.txt" }, false },
    { "TopicCreateOf32000Lines", { "topic", "create", "BIG", "BIG", "{dir}", "index.txt" }, false },
    { "CodeDescriptionOf75000Lines", { "code", "description", "ICD", "{dir}", "descriptions.txt" }, true },
    { "CodeDelete", { "code", "delete", "ICD" }, true },
    { "TopicDelete", { "topic", "delete", "ADULT", "x", "{dir}", "x" }, false },
};

class OneCommit : public Commits, public ::testing::WithParamInterface<Action> { };

TEST_P(OneCommit, EachRunCommitsOnceWithSynchronousFull)
{
    const Action& a = GetParam();
    writeBytes(dir / "codes.txt", codeFile(75000));
    writeBytes(dir / "index.txt", indexFile(32000, "Big Index"));
    writeBytes(dir / "descriptions.txt", descriptionFile(75000));
    if (a.needsCodes) {
        ASSERT_NO_FATAL_FAILURE(loadCodes());
    }

    const Outcome o = run(args(a.words), dir.path(), traced());
    ASSERT_EQ(o.exitCode, 0) << o.describe();
    const std::vector<TraceLine> t = readTrace(trace);
    ASSERT_EQ(count(t, "commit"), 1) << "one commit for the whole run:\n" << joined(t);
    EXPECT_EQ(completedCommits(t), 1) << joined(t);
    EXPECT_EQ(count(t, "rollback"), 0) << joined(t);
    for (const TraceLine& line : t) {
        if (line.kind != "commit")
            continue;
        EXPECT_TRUE(line.unit) << "the commit ends the run's unit: " << line.text;
        EXPECT_GE(line.synchronous, 2) << "the unit's commit is synced (FULL): " << line.text;
        EXPECT_EQ(line.journalMode, "wal") << line.text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Actions, OneCommit, ::testing::ValuesIn(kActions), [](const auto& info) { return std::string(info.param.name); });

TEST_F(Commits, ANewDatabaseNeverRunsWithoutLogOrSync)
{
    // The tables of a new file are made in a transaction of their own; the
    // run's work then commits once. No commit runs with synchronous OFF or
    // without the log.
    const fs::path fresh = dir / "fresh.db";
    writeBytes(dir / "index.txt", indexFile(500, "Fresh"));
    const Outcome o
        = run({ fresh.string(), "topic", "create", "NEW", "NEW", dir.slash(), "index.txt" }, dir.path(), traced());
    ASSERT_EQ(o.exitCode, 0) << o.describe();
    const std::vector<TraceLine> t = readTrace(trace);
    // The switch to the log, the tables, the run's unit.
    ASSERT_EQ(count(t, "commit"), 3) << joined(t);
    EXPECT_EQ(completedCommits(t), 3) << joined(t);
    int unitCommits = 0;
    for (size_t i = 0; i < t.size(); ++i) {
        const TraceLine& line = t[i];
        EXPECT_EQ(line.kind, "commit") << line.text;
        EXPECT_GE(line.synchronous, 1) << "never synchronous OFF: " << line.text;
        // The switch to the log is made with the rollback journal the new file
        // has until then; every later commit goes through the log.
        if (i == 0)
            EXPECT_EQ(line.journalMode, "delete") << line.text;
        else
            EXPECT_EQ(line.journalMode, "wal") << "always the write-ahead log: " << line.text;
        if (line.unit) {
            ++unitCommits;
            EXPECT_GE(line.synchronous, 2) << line.text;
        }
    }
    EXPECT_EQ(unitCommits, 1) << joined(t);
    SqliteReader reader(fresh);
    EXPECT_EQ(reader.value("PRAGMA journal_mode"), "wal");
}

TEST_F(Commits, AFailedRunCommitsNothing)
{
    writeBytes(dir / "codes.txt", codeFile(3000));
    const Outcome o = run(args({ "code", "create", "NOSUCH", "{dir}", "codes.txt" }), dir.path(), traced());
    EXPECT_EQ(o.exitCode, 1) << o.describe();
    const std::vector<TraceLine> t = readTrace(trace);
    EXPECT_EQ(count(t, "commit"), 0) << joined(t);
}

TEST_F(Commits, TheLogIsSyncedBeforeTheRunReportsSuccess)
{
    // strace, where it may trace: after the last write to the log and before
    // the summary line, the log file is synced.
    if (std::system("strace -V >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "strace is not installed (scripts/deps.sh installs it)";
    writeBytes(dir / "codes.txt", codeFile(20000));
    const fs::path log = dir / "strace.log";
    RunOptions options;
    options.program = "/usr/bin/strace";
    std::vector<std::string> words { "-f", "-y", "-e", "trace=pwrite64,write,fsync,fdatasync", "-o", log.string(),
        VELKINDEX_EXECUTABLE };
    for (const std::string& a : args({ "code", "create", "ICD", "{dir}", "codes.txt" }))
        words.push_back(a);
    const Outcome o = run(words, dir.path(), options);
    if (o.exitCode != 0 && o.err.find("ptrace") != std::string::npos)
        GTEST_SKIP() << "strace may not trace here: " << o.err;
    ASSERT_EQ(o.exitCode, 0) << o.describe();

    const std::vector<std::string> calls = lines(readBytes(log));
    size_t summary = calls.size();
    for (size_t i = 0; i < calls.size() && summary == calls.size(); ++i)
        if (calls[i].find(" write(1<") != std::string::npos && calls[i].find("code create ICD") != std::string::npos)
            summary = i;
    ASSERT_LT(summary, calls.size()) << "no summary line was written";
    size_t lastLogWrite = calls.size();
    for (size_t i = 0; i < summary; ++i)
        if (calls[i].find("write") != std::string::npos && calls[i].find("-wal>") != std::string::npos)
            lastLogWrite = i;
    ASSERT_LT(lastLogWrite, summary) << "the run wrote no log before it reported success";
    bool synced = false;
    for (size_t i = lastLogWrite + 1; i < summary; ++i)
        synced |= (calls[i].find("fsync(") != std::string::npos || calls[i].find("fdatasync(") != std::string::npos)
            && calls[i].find("-wal>") != std::string::npos;
    EXPECT_TRUE(synced) << "the log was not synced between its last write and the summary: " << calls[lastLogWrite];
}

// ---- a full disk and a failing disk ----------------------------------------

struct Load {
    const char* name;
    std::vector<std::string> words;
    const char* file;
    bool needsCodes;
};

const Load kLoads[] = {
    { "TopicCreate", { "topic", "create", "BIG", "BIG", "{dir}", "index.txt" }, "index.txt", false },
    { "CodeCreate", { "code", "create", "ICD", "{dir}", "codes.txt" }, "codes.txt", false },
    { "CodeDescription", { "code", "description", "ICD", "{dir}", "descriptions.txt" }, "descriptions.txt", true },
};

class DiskTrouble : public Commits, public ::testing::WithParamInterface<Load> {
protected:
    fs::path mounted;

    void TearDown() override
    {
        if (!mounted.empty())
            ::umount2(mounted.c_str(), MNT_DETACH);
    }

    void writeInputs()
    {
        writeBytes(dir / "codes.txt", codeFile(75000));
        writeBytes(dir / "index.txt", indexFile(32000, "Big Index"));
        writeBytes(dir / "descriptions.txt", descriptionFile(75000));
    }

    // Runs the load on `database` and checks that it failed cleanly.
    void expectCleanFailure(const fs::path& database, const RunOptions& options, const std::string& reason)
    {
        const Load& l = GetParam();
        const std::vector<std::string> before = dumpOf(database);
        std::vector<std::string> words { database.string() };
        for (const std::string& w : l.words)
            words.push_back(w == "{dir}" ? dir.slash() : w);
        const Outcome o = run(words, dir.path(), options);

        EXPECT_TRUE(o.exited) << o.describe();
        EXPECT_EQ(o.exitCode, 1) << o.describe();
        const std::vector<std::string> said = lines(o.err);
        ASSERT_EQ(said.size(), 1u) << "one line: " << o.err;
        EXPECT_NE(said[0].find(reason), std::string::npos) << said[0];
        // The file and the line the run had reached.
        const std::string path = dir.slash() + l.file;
        std::smatch m;
        ASSERT_TRUE(std::regex_search(said[0], m, std::regex(escaped(path) + ": line ([0-9]+)")))
            << "the message names the input file and a line: " << said[0];
        const long line = std::stol(m[1]);
        EXPECT_GE(line, 1);
        EXPECT_LE(line, static_cast<long>(lines(readBytes(dir / l.file)).size()));

        SqliteReader reader(database);
        EXPECT_EQ(reader.integrity(), "ok");
        const std::vector<std::string> after = reader.dump();
        EXPECT_EQ(after == before, true) << "the database changed: " << firstDifference(after, before);
        const std::vector<TraceLine> t = readTrace(trace);
        EXPECT_EQ(completedCommits(t), 0) << joined(t);
        ASSERT_FALSE(t.empty());
        EXPECT_EQ(t.back().kind, "rollback") << joined(t);
    }
};

TEST_P(DiskTrouble, AWriteErrorRollsBackAndNamesTheLine)
{
    // Writes past 256 KiB fail (EFBIG): the log cannot take the load.
    writeInputs();
    if (GetParam().needsCodes) {
        ASSERT_NO_FATAL_FAILURE(loadCodes());
    }
    RunOptions options = traced();
    options.fileSizeLimit = 256 * 1024;
    expectCleanFailure(db, options, "disk I/O error");
}

TEST_P(DiskTrouble, AFullDiskRollsBackAndNamesTheLine)
{
    writeInputs();
    if (GetParam().needsCodes) {
        ASSERT_NO_FATAL_FAILURE(loadCodes());
    }
    // A small file system of its own: the database and 512 KiB to spare.
    const fs::path small = dir / "small";
    fs::create_directory(small);
    const int64_t size = (fileSize(db) / 4096 + 1) * 4096 + 512 * 1024;
    const std::string options = "size=" + std::to_string(size);
    if (::mount("tmpfs", small.c_str(), "tmpfs", 0, options.c_str()) != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here (" << std::strerror(errno)
                     << "); the write-error case covers the roll-back";
    mounted = small;
    const fs::path onSmall = small / "velk.db";
    copyDatabase(db, onSmall);
    expectCleanFailure(onSmall, traced(), "disk is full");
}

INSTANTIATE_TEST_SUITE_P(
    Loads, DiskTrouble, ::testing::ValuesIn(kLoads), [](const auto& info) { return std::string(info.param.name); });

} // namespace
