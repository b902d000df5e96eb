// The start-up: database, lists and the batch dispatch, through the recording
// stand-ins.
#include "batch/Startup.h"

#include "encoding/CodePage.h"
#include "support/RecordingExternals.h"
#include "support/RecordingShell.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct StartupFixture : ::testing::Test {
    MainVariables vars;
    RecordingShell shell;
    RecordingExternals store;
    PatEdContext ctx {vars, shell, store};
    QTemporaryDir dir;

    void SetUp() override
    {
        addModule(1, QStringLiteral(" ADULT "), QStringLiteral("ADU"));
        addModule(2, QStringLiteral("CHILD"), QStringLiteral("CHI"));
        CodingSystemRecord icd;
        icd.CodingSystemID = 5;
        icd.CodingSystemName = QStringLiteral("ICD");
        store.codingSystems.push_back(icd);
        store.defaults.DefaultsKey = QString(); // as the library returns the defaults row
        store.defaults.DefaultModule = QString();
        QFile file(dir.filePath(QStringLiteral("i.txt")));
        file.open(QIODevice::WriteOnly);
        file.write("A\n B\n");
    }
    void addModule(int32_t id, const QString& name, const QString& prefix)
    {
        ModuleRecord m;
        m.ModuleID = id;
        m.ModuleName = name;
        m.DirectoryPrefix = prefix;
        store.modules.push_back(m);
    }
    QString dirArg() const { return dir.path() + u'/'; }
};

TEST_F(StartupFixture, PathOnlyOpensTheWindowWithBothListsFilled)
{
    const StartupOutcome outcome = Form_Load(ctx, planCommandLine(QStringLiteral("  db.mdb  ")));
    EXPECT_TRUE(outcome.showWindow);
    EXPECT_EQ(outcome.exitStatus, kExitOk);
    EXPECT_EQ(shell.dialog.shown, 0);
    EXPECT_EQ(store.calls.at(0).text, QStringLiteral("db.mdb|ADMIN|"));
    EXPECT_EQ(store.ops(), (std::vector<std::string> {"StartVelk", "GetModules", "GetCodingSystems"}));
    // Element 0 all zero: every row.
    const ModuleRecord& filter = store.calls.at(1).moduleList.at(0);
    EXPECT_EQ(filter, ModuleRecord());
    EXPECT_EQ(shell.listItems(ListName::ModuleList), (QStringList {QStringLiteral("ADULT"), QStringLiteral("CHILD")}));
    EXPECT_EQ(shell.listItems(ListName::CodeList), QStringList {QStringLiteral("ICD")});
    EXPECT_EQ(vars.RunMode, QStringLiteral("interactive"));
    EXPECT_EQ(vars.DbPath, QStringLiteral("db.mdb"));
}

TEST_F(StartupFixture, EmptyCommandLineAsksForTheDatabase)
{
    shell.dialog.nextAnswer = QStringLiteral("/data/chosen.mdb");
    const StartupOutcome outcome = Form_Load(ctx, planCommandLine(QString()));
    EXPECT_TRUE(outcome.showWindow);
    EXPECT_EQ(shell.dialog.filter(), QStringLiteral("DB File (*.mdb)|*.mdb|SQLite Database (*.db)|*.db"));
    EXPECT_EQ(shell.dialog.filterIndex(), 2);
    EXPECT_EQ(vars.DbPath, QStringLiteral("/data/chosen.mdb"));
}

TEST_F(StartupFixture, CancelledDatabaseDialogEndsWithAReason)
{
    const StartupOutcome outcome = Form_Load(ctx, planCommandLine(QString()));
    EXPECT_FALSE(outcome.showWindow);
    EXPECT_EQ(outcome.exitStatus, kExitCannotStart);
    EXPECT_TRUE(store.calls.empty());
    ASSERT_EQ(shell.messages.size(), 1u);
}

TEST_F(StartupFixture, DatabaseThatCannotBeOpenedIsReported)
{
    // StartVelk's result decides the status: a database that stayed busy
    // fails a batch run (status 1, run it again later); the window, a bad
    // setting and a database that cannot be used cannot start (status 2).
    struct Row {
        int32_t started;
        const char* line;
        int exitStatus;
        bool namesDatabase;
    };
    const Row rows[] = {
        {Externals::kStartFailed, "/no/such/db.mdb topic create ADULT ADU x y", kExitCannotStart, true},
        {Externals::kStartBusy, "/no/such/db.mdb topic create ADULT ADU x y", kExitFailed, true},
        {Externals::kStartBusy, "/no/such/db.mdb code delete ICD", kExitFailed, true},
        {Externals::kStartBusy, "/no/such/db.mdb", kExitCannotStart, true},
        {Externals::kStartBadSetting, "/no/such/db.mdb topic delete ADULT", kExitCannotStart, false},
        {Externals::kStartBadSetting, "/no/such/db.mdb", kExitCannotStart, false},
    };
    for (const Row& row : rows) {
        store.calls.clear();
        shell.messages.clear();
        store.startResult = row.started;
        const StartupOutcome outcome = Form_Load(ctx, planCommandLine(QString::fromUtf8(row.line)));
        EXPECT_FALSE(outcome.showWindow) << row.line;
        EXPECT_FALSE(outcome.databaseOpen) << row.line;
        EXPECT_EQ(outcome.exitStatus, row.exitStatus) << row.started << " " << row.line;
        EXPECT_EQ(store.ops(), std::vector<std::string> {"StartVelk"}) << row.line;
        ASSERT_EQ(shell.messages.size(), 1u) << row.line;
        EXPECT_FALSE(shell.messages[0].contains(u'\n')) << qPrintable(shell.messages[0]);
        if (row.namesDatabase) {
            EXPECT_TRUE(shell.messages[0].contains(QStringLiteral("/no/such/db.mdb"))) << qPrintable(shell.messages[0]);
        }
    }
}

TEST_F(StartupFixture, ModeWordWithoutActionKeepsTheMode)
{
    const StartupOutcome outcome = Form_Load(ctx, planCommandLine(QStringLiteral("db topic load ADULT")));
    EXPECT_TRUE(outcome.showWindow);
    EXPECT_EQ(vars.RunMode, QStringLiteral("topic"));
    EXPECT_EQ(vars.RunAction, QStringLiteral("load"));
    EXPECT_TRUE(vars.BatchFileDir.isEmpty());
    EXPECT_TRUE(vars.BatchFileName.isEmpty());
}

TEST_F(StartupFixture, TopicCreateRunsClearInsertDefaultsBuildInOneUnit)
{
    const StartupOutcome outcome
        = Form_Load(ctx, planCommandLine(QStringLiteral("db topic create NEW NEWP ") + dirArg() + QStringLiteral(" i.txt")));
    EXPECT_FALSE(outcome.showWindow);
    EXPECT_EQ(outcome.exitStatus, kExitOk) << (shell.messages.empty() ? "" : qPrintable(shell.messages[0]));

    const std::vector<std::string> expected {
        "StartVelk", "GetModules", "GetCodingSystems",
        "BeginUnit",                                     // the batch action's unit
        "BeginUnit", "GetModules", "CommitUnit", "GetModules", // clear (nothing of that name)
        "InsertModule", "GetPatEdDefaults", "SetPatEdDefaults",
        "FileLineCount", "BeginUnit", "GetModule"};
    const auto ops = store.ops();
    ASSERT_GE(ops.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(ops.begin(), ops.begin() + static_cast<long>(expected.size())), expected);
    EXPECT_EQ(ops.back(), "CommitUnit");
    EXPECT_EQ(store.commits, 1);

    const ModuleRecord& inserted = *store.callsOf("InsertModule")[0]->module;
    EXPECT_EQ(inserted.ModuleID, 0);
    EXPECT_EQ(inserted.ModuleName.text(), QStringLiteral("NEW").leftJustified(50, u' '));
    EXPECT_EQ(inserted.DirectoryPrefix.text(), QStringLiteral("NEWP").leftJustified(50, u' '));
    EXPECT_EQ(store.callsOf("GetPatEdDefaults")[0]->defaults->DefaultsKey.text(), QString(6, u' '));
    EXPECT_EQ(store.defaults.DefaultModule.trimmed(), QStringLiteral("NEW"));
    EXPECT_EQ(vars.BatchTargetName, QStringLiteral("NEW"));
    EXPECT_EQ(shell.dialog.fileName(), dirArg() + QStringLiteral("i.txt"));
}

TEST_F(StartupFixture, TopicCreateKeepsAnExistingDefault)
{
    store.defaults.DefaultModule = QStringLiteral("ADULT");
    store.defaults.Setting03 = 0xDEADBEEF;
    ASSERT_EQ(Form_Load(ctx, planCommandLine(QStringLiteral("db topic create NEW P ") + dirArg() + QStringLiteral(" i.txt"))).exitStatus,
              kExitOk);
    EXPECT_TRUE(store.callsOf("SetPatEdDefaults").empty());
}

TEST_F(StartupFixture, FailedBuildRollsBackTheWholeAction)
{
    store.failOp = "ExecuteQuery";
    const StartupOutcome outcome
        = Form_Load(ctx, planCommandLine(QStringLiteral("db topic create ADULT ADU ") + dirArg() + QStringLiteral(" i.txt")));
    EXPECT_EQ(outcome.exitStatus, kExitFailed);
    EXPECT_EQ(store.commits, 0);
    EXPECT_EQ(store.unitDepth, 0);
    EXPECT_GE(store.rollbacks, 1);
    EXPECT_EQ(shell.messages.size(), 1u);
}

TEST_F(StartupFixture, DeleteOfAnUnknownNameSucceedsWithANotice)
{
    // Night scripts delete before they create: deleting what is not there
    // ends normally, and the report says that nothing matched.
    struct Row {
        const char* line;
        const char* summary;
        const char* notice;
    };
    const Row rows[] = {
        {"db topic delete NOSUCH x d f", "topic delete NOSUCH: 0 modules deleted",
         "velkindex: No module named \"NOSUCH\" is in the database; nothing was deleted."},
        {"db code delete NOSUCH", "code delete NOSUCH: no codes deleted",
         "velkindex: No coding system named \"NOSUCH\" is in the database; nothing was deleted."},
    };
    for (const Row& row : rows) {
        store.calls.clear();
        shell.messages.clear();
        const StartupOutcome outcome = Form_Load(ctx, planCommandLine(QString::fromUtf8(row.line)));
        EXPECT_EQ(outcome.exitStatus, kExitOk) << row.line;
        EXPECT_TRUE(store.callsOf("DeleteModules").empty()) << row.line;
        EXPECT_TRUE(store.callsOf("DeleteCodes").empty()) << row.line;
        EXPECT_TRUE(shell.messages.empty()) << row.line << ": " << qPrintable(shell.messages.front());
        EXPECT_EQ(outcome.report.summary, QString::fromUtf8(row.summary));
        EXPECT_EQ(outcome.report.listing, QStringList {QString::fromUtf8(row.notice)});
        EXPECT_EQ(store.unitDepth, 0) << row.line;
    }
}

TEST_F(StartupFixture, TopicCreateStopsWhenTheDefaultsCannotBeRead)
{
    // The library reads a missing defaults row as the blank defaults (see the
    // library's tests); a failure to read them still ends the run.
    store.failOp = "GetPatEdDefaults";
    const StartupOutcome failed
        = Form_Load(ctx, planCommandLine(QStringLiteral("db topic create NEW P ") + dirArg() + QStringLiteral(" i.txt")));
    EXPECT_EQ(failed.exitStatus, kExitFailed);
    EXPECT_TRUE(store.callsOf("SetPatEdDefaults").empty());
    EXPECT_EQ(store.commits, 0);
}

TEST_F(StartupFixture, MissingNameIsRefusedBeforeAnythingChanges)
{
    for (const char* line : {"db topic create", "db topic delete", "db code create", "db code delete",
                             "db code description"}) {
        store.calls.clear();
        shell.messages.clear();
        const StartupOutcome outcome = Form_Load(ctx, planCommandLine(QString::fromUtf8(line)));
        EXPECT_EQ(outcome.exitStatus, kExitFailed) << line;
        EXPECT_EQ(store.ops(), (std::vector<std::string> {"StartVelk", "GetModules", "GetCodingSystems"})) << line;
        EXPECT_EQ(shell.messages.size(), 1u) << line;
    }
}

// Run in a process of its own with VELKINDEX_CODEPAGE naming a code page
// that cannot be used (tests/batch/CMakeLists.txt): the code page is read
// once per process.
struct BadCodePage : StartupFixture {
    void SetUp() override
    {
        StartupFixture::SetUp();
        if (encoding::ansiCodePageProblem().empty())
            GTEST_SKIP() << "needs VELKINDEX_CODEPAGE naming a code page that cannot be used";
    }
};

TEST_F(BadCodePage, StopsTheStartBeforeAnythingIsOpened)
{
    const QByteArray setting = qgetenv("VELKINDEX_CODEPAGE");
    for (const char* line : {"db topic create ADULT ADU d f", "db code delete ICD", "db", ""}) {
        store.calls.clear();
        shell.messages.clear();
        const StartupOutcome outcome = Form_Load(ctx, planCommandLine(QString::fromUtf8(line)));
        EXPECT_EQ(outcome.exitStatus, kExitCannotStart) << line;
        EXPECT_FALSE(outcome.showWindow) << line;
        EXPECT_TRUE(store.calls.empty()) << line; // StartVelk is not even tried
        EXPECT_EQ(shell.dialog.shown, 0) << line; // nor the database asked for
        ASSERT_EQ(shell.messages.size(), 1u) << line;
        EXPECT_TRUE(shell.messages[0].contains(QStringLiteral("VELKINDEX_CODEPAGE is \"%1\"")
                                                   .arg(QString::fromLocal8Bit(setting))))
            << qPrintable(shell.messages[0]);
        EXPECT_FALSE(shell.messages[0].contains(u'\n')) << qPrintable(shell.messages[0]);
    }
}

TEST_F(StartupFixture, MissingLibraryFunctionEndsTheRun)
{
    store.hooks["GetModules"] = []() -> int32_t { throw ExternalsError("kovadel lacks the function GetModules"); };
    const StartupOutcome outcome = Form_Load(ctx, planCommandLine(QStringLiteral("db")));
    EXPECT_FALSE(outcome.showWindow);
    EXPECT_EQ(outcome.exitStatus, kExitCannotStart);
    ASSERT_EQ(shell.messages.size(), 1u);
    EXPECT_TRUE(shell.messages[0].contains(QStringLiteral("GetModules")));
}

} // namespace
