// A killed run loses nothing and half-writes nothing.
//
// Large batch runs (a 32,000-line index, 75,000 codes, 75,000 coding
// descriptions) are killed with SIGKILL at points spread over a run: by time,
// from start-up to the end of an unkilled run, and by the size the write-ahead
// log has reached, from its first frame to the last. After every kill the
// files left behind (database and log, copied as they are) must pass
// PRAGMA integrity_check and hold exactly the tables of before the run or of
// after a complete run; and the same run, started again on what the kill left,
// must finish with the complete state.
//
// By default two points per run (six in all). VELK_LONG_TESTS=1 takes
// thirteen per run (39 in all); scripts/kill-harness.sh runs that.
#include "tests/reliability/ReliabilitySupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <list>
#include <memory>

namespace {

using namespace rel;

struct Scenario {
    std::string name;
    std::vector<std::string> args; // after the database path
    fs::path before; // the database before the run
    fs::path after; // the database after a complete run
    std::vector<std::string> beforeDump, afterDump;
    double seconds = 0; // the shortest unkilled run
    int64_t walPeak = 0; // the largest write-ahead log seen in an unkilled run
};

struct KillPoint {
    bool byTime = true;
    double seconds = 0; // byTime: after the start
    int64_t walBytes = 0; // otherwise: once the log holds this many bytes
    std::string describe() const
    {
        char text[64];
        if (byTime)
            std::snprintf(text, sizeof text, "at %.3f s", seconds);
        else
            std::snprintf(text, sizeof text, "at log %lld B", static_cast<long long>(walBytes));
        return text;
    }
};

struct Watched {
    Outcome outcome;
    int64_t walPeak = 0;
};

// Runs once, unkilled, noting how large the log grows on the way.
Watched runWatched(const std::vector<std::string>& args, const fs::path& db, const fs::path& logDir)
{
    Watched w;
    Child child;
    if (!child.start(args, logDir)) {
        w.outcome.err = "could not start";
        return w;
    }
    const std::string wal = db.string() + "-wal";
    while (child.running()) {
        w.walPeak = std::max(w.walPeak, fileSize(wal));
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    w.outcome = child.wait();
    return w;
}

class KilledRuns : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_dir = std::make_unique<TempDir>(); }
    static void TearDownTestSuite()
    {
        s_scenarios.clear();
        s_dir.reset();
    }

    static fs::path at(const std::string& name) { return *s_dir / name; }

    // The base database: two small modules, two coding systems with a few codes
    // and descriptions; and the three large input files.
    static void makeBase()
    {
        if (fs::exists(at("base.db")))
            return;
        const fs::path db = at("base.db");
        const std::string ex = VELK_SOURCE_DIR "/examples/";
        const std::vector<std::vector<std::string>> seeds = {
            { "topic", "create", "ADULT", "ADU", ex, "adult-index.txt" },
            { "topic", "create", "CHILD", "CHI", ex, "child-index.txt" },
        };
        for (const auto& seed : seeds) {
            std::vector<std::string> args { db.string() };
            args.insert(args.end(), seed.begin(), seed.end());
            const Outcome o = run(args, s_dir->path());
            ASSERT_EQ(o.exitCode, 0) << o.describe();
        }
        {
            SqliteReader admin(db);
            ASSERT_TRUE(admin.exec("INSERT INTO codingsystems (CodingSystemName) VALUES ('ICD'), ('CPT')"))
                << admin.error();
        }
        const std::vector<std::vector<std::string>> loads = {
            { "code", "create", "ICD", ex, "codes-icd.txt" },
            { "code", "create", "CPT", ex, "codes-cpt.txt" },
            { "code", "description", "ICD", ex, "descriptions-icd.txt" },
        };
        for (const auto& load : loads) {
            std::vector<std::string> args { db.string() };
            args.insert(args.end(), load.begin(), load.end());
            const Outcome o = run(args, s_dir->path());
            ASSERT_EQ(o.exitCode, 0) << o.describe();
        }
        ASSERT_FALSE(fs::exists(db.string() + "-wal")) << "a clean end leaves no log behind";
        writeBytes(at("big-index.txt"), indexFile(32000, "Adult Health"));
        writeBytes(at("big-codes.txt"), codeFile(75000));
        writeBytes(at("big-descriptions.txt"), descriptionFile(75000));
    }

    // Runs the scenario twice unkilled from `before`: both runs must end alike;
    // the first is kept as the complete state.
    static void measure(Scenario& sc)
    {
        sc.beforeDump = dumpOf(sc.before);
        ASSERT_FALSE(sc.beforeDump.empty());
        sc.seconds = 1e9;
        for (int attempt = 0; attempt < 2; ++attempt) {
            const fs::path work = at(sc.name + "-measure.db");
            copyDatabase(sc.before, work);
            std::vector<std::string> args { work.string() };
            args.insert(args.end(), sc.args.begin(), sc.args.end());
            const Watched w = runWatched(args, work, s_dir->path());
            ASSERT_TRUE(w.outcome.exited && w.outcome.exitCode == 0) << w.outcome.describe();
            sc.seconds = std::min(sc.seconds, w.outcome.seconds);
            sc.walPeak = std::max(sc.walPeak, w.walPeak);
            if (attempt == 0) {
                copyDatabase(work, sc.after);
                sc.afterDump = dumpOf(sc.after);
            } else {
                const std::vector<std::string> again = dumpOf(work);
                ASSERT_EQ(again, sc.afterDump) << "two complete runs differ: " << firstDifference(again, sc.afterDump);
            }
        }
        ASSERT_NE(sc.beforeDump, sc.afterDump) << "the run changes nothing, so a kill could not show a mixture";
        ASSERT_GT(sc.walPeak, 0) << "the run never wrote its log";
    }

    // The scenario, measured: its before and after states are known.
    static Scenario& scenario(const std::string& name)
    {
        for (Scenario& sc : s_scenarios)
            if (sc.name == name)
                return sc;
        Scenario sc;
        sc.name = name;
        sc.after = at(name + "-after.db");
        const std::string dir = s_dir->slash();
        if (name == "topic-create") {
            sc.before = at("base.db");
            sc.args = { "topic", "create", "ADULT", "ADU", dir, "big-index.txt" };
        } else if (name == "code-create") {
            sc.before = at("base.db");
            sc.args = { "code", "create", "ICD", dir, "big-codes.txt" };
        } else {
            // The descriptions of the codes that the code create stored.
            sc.before = scenario("code-create").after;
            sc.args = { "code", "description", "ICD", dir, "big-descriptions.txt" };
        }
        s_scenarios.push_back(sc);
        measure(s_scenarios.back());
        return s_scenarios.back();
    }

    static std::vector<KillPoint> killPoints(const Scenario& sc)
    {
        std::vector<KillPoint> points;
        if (!longTests()) {
            points.push_back({ true, sc.seconds * 0.55, 0 });
            points.push_back({ false, 0, std::max<int64_t>(1, sc.walPeak / 2) });
            return points;
        }
        const int byTime = 6;
        for (int i = 0; i < byTime; ++i)
            points.push_back({ true, sc.seconds * (i + 0.5) / byTime, 0 });
        // From the first frame written to the last one, where the commit is
        // being synced or has just ended.
        for (double f : { 0.0, 0.2, 0.4, 0.6, 0.8, 0.97, 1.0 })
            points.push_back({ false, 0, std::max<int64_t>(1, static_cast<int64_t>(sc.walPeak * f)) });
        return points;
    }

    void killAndCheck(const std::string& name)
    {
        ASSERT_NO_FATAL_FAILURE(makeBase());
        Scenario* found = nullptr;
        ASSERT_NO_FATAL_FAILURE(found = &scenario(name));
        Scenario& sc = *found;
        ASSERT_FALSE(sc.afterDump.empty()) << "the unkilled runs failed";

        const fs::path work = at(name + "-work.db");
        const fs::path inspect = at(name + "-inspect.db");
        const std::string wal = work.string() + "-wal";
        int killed = 0;
        std::string table;
        for (const KillPoint& point : killPoints(sc)) {
            copyDatabase(sc.before, work);
            std::vector<std::string> args { work.string() };
            args.insert(args.end(), sc.args.begin(), sc.args.end());

            Child child;
            ASSERT_TRUE(child.start(args, s_dir->path()));
            const auto started = std::chrono::steady_clock::now();
            int64_t walAtKill = 0;
            while (child.running()) {
                const int64_t walNow = fileSize(wal);
                const double elapsed
                    = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
                if (point.byTime ? elapsed >= point.seconds : walNow >= point.walBytes) {
                    child.kill();
                    walAtKill = walNow;
                    break;
                }
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            }
            const Outcome o = child.wait();
            const bool wasKilled = !o.exited && o.signal == SIGKILL;
            if (wasKilled)
                ++killed;
            else
                EXPECT_TRUE(o.exited && o.exitCode == 0) << point.describe() << ": " << o.describe();

            // What the kill left, as the next program to open it would find it.
            const int64_t walLeft = fileSize(wal);
            copyDatabase(work, inspect);
            std::string state;
            {
                SqliteReader reader(inspect);
                ASSERT_TRUE(reader.error().empty()) << reader.error();
                EXPECT_EQ(reader.integrity(), "ok") << point.describe();
                const std::vector<std::string> dump = reader.dump();
                if (dump == sc.beforeDump)
                    state = "before";
                else if (dump == sc.afterDump)
                    state = "after";
                else
                    state = "MIXTURE";
                EXPECT_NE(state, "MIXTURE")
                    << name << " " << point.describe() << ": against before " << firstDifference(dump, sc.beforeDump)
                    << "; against after " << firstDifference(dump, sc.afterDump);
            }

            // The same run again, on the files as the kill left them. From the
            // state before, it must end exactly as a complete run; after a
            // complete run, a second one renumbers what it replaces, so there
            // it must only succeed.
            const Outcome again = run(args, s_dir->path());
            EXPECT_TRUE(again.exited && again.exitCode == 0) << "run after the kill: " << again.describe();
            {
                SqliteReader reader(work);
                EXPECT_EQ(reader.integrity(), "ok");
                if (state == "before") {
                    const std::vector<std::string> dump = reader.dump();
                    EXPECT_EQ(dump == sc.afterDump, true)
                        << "the run after the kill: " << firstDifference(dump, sc.afterDump);
                }
            }

            char line[200];
            std::snprintf(line, sizeof line, "  %-16s %-20s %-9s log at kill %9lld B, left %9lld B -> %s\n",
                name.c_str(), point.describe().c_str(), wasKilled ? "killed" : "finished",
                static_cast<long long>(walAtKill), static_cast<long long>(walLeft), state.c_str());
            table += line;
        }
        std::printf("%s: unkilled run %.2f s, log up to %lld B\n%s", name.c_str(), sc.seconds,
            static_cast<long long>(sc.walPeak), table.c_str());
        // A harness that never lands a kill proves nothing.
        EXPECT_GE(killed, 1) << "no run was killed; the kill points missed every run";
    }

    static std::unique_ptr<TempDir> s_dir;
    static std::list<Scenario> s_scenarios;
};

std::unique_ptr<TempDir> KilledRuns::s_dir;
std::list<Scenario> KilledRuns::s_scenarios;

TEST_F(KilledRuns, TopicCreate) { killAndCheck("topic-create"); }

TEST_F(KilledRuns, CodeCreate) { killAndCheck("code-create"); }

TEST_F(KilledRuns, CodeDescription) { killAndCheck("code-description"); }

} // namespace
