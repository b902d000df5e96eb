// The start-up: database, lists and the batch dispatch, through the recording
// stand-ins.
#include "app/Startup.h"

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
    const StartupOutcome outcome = Form_Load(ctx, QStringLiteral("  db.mdb  "));
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
    const StartupOutcome outcome = Form_Load(ctx, QString());
    EXPECT_TRUE(outcome.showWindow);
    EXPECT_EQ(shell.dialog.filter(), QStringLiteral("DB File (*.mdb)|*.mdb"));
    EXPECT_EQ(shell.dialog.filterIndex(), 2);
    EXPECT_EQ(vars.DbPath, QStringLiteral("/data/chosen.mdb"));
}

TEST_F(StartupFixture, CancelledDatabaseDialogEndsWithAReason)
{
    const StartupOutcome outcome = Form_Load(ctx, QString());
    EXPECT_FALSE(outcome.showWindow);
    EXPECT_EQ(outcome.exitStatus, kExitCannotStart);
    EXPECT_TRUE(store.calls.empty());
    ASSERT_EQ(shell.messages.size(), 1u);
}

TEST_F(StartupFixture, DatabaseThatCannotBeOpenedIsReported)
{
    store.startResult = 0;
    const StartupOutcome outcome = Form_Load(ctx, QStringLiteral("/no/such/db.mdb topic create ADULT ADU x y"));
    EXPECT_FALSE(outcome.showWindow);
    EXPECT_EQ(outcome.exitStatus, kExitCannotStart);
    EXPECT_EQ(store.ops(), std::vector<std::string> {"StartVelk"});
    ASSERT_EQ(shell.messages.size(), 1u);
    EXPECT_TRUE(shell.messages[0].contains(QStringLiteral("/no/such/db.mdb")));
}

TEST_F(StartupFixture, ModeWordWithoutActionKeepsTheMode)
{
    const StartupOutcome outcome = Form_Load(ctx, QStringLiteral("db topic load ADULT"));
    EXPECT_TRUE(outcome.showWindow);
    EXPECT_EQ(vars.RunMode, QStringLiteral("topic"));
    EXPECT_EQ(vars.RunAction, QStringLiteral("load"));
    EXPECT_TRUE(vars.BatchFileDir.isEmpty());
    EXPECT_TRUE(vars.BatchFileName.isEmpty());
}

TEST_F(StartupFixture, TopicCreateRunsClearInsertDefaultsBuildInOneUnit)
{
    const StartupOutcome outcome
        = Form_Load(ctx, QStringLiteral("db topic create NEW NEWP ") + dirArg() + QStringLiteral(" i.txt"));
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
    ASSERT_EQ(Form_Load(ctx, QStringLiteral("db topic create NEW P ") + dirArg() + QStringLiteral(" i.txt")).exitStatus,
              kExitOk);
    EXPECT_TRUE(store.callsOf("SetPatEdDefaults").empty());
}

TEST_F(StartupFixture, FailedBuildRollsBackTheWholeAction)
{
    store.failOp = "ExecuteQuery";
    const StartupOutcome outcome
        = Form_Load(ctx, QStringLiteral("db topic create ADULT ADU ") + dirArg() + QStringLiteral(" i.txt"));
    EXPECT_EQ(outcome.exitStatus, kExitFailed);
    EXPECT_EQ(store.commits, 0);
    EXPECT_EQ(store.unitDepth, 0);
    EXPECT_GE(store.rollbacks, 1);
    EXPECT_EQ(shell.messages.size(), 1u);
}

TEST_F(StartupFixture, TopicDeleteOfAnUnknownModuleFails)
{
    const StartupOutcome outcome = Form_Load(ctx, QStringLiteral("db topic delete NOSUCH x d f"));
    EXPECT_EQ(outcome.exitStatus, kExitFailed);
    EXPECT_TRUE(store.callsOf("DeleteModules").empty());
    ASSERT_EQ(shell.messages.size(), 1u);
    EXPECT_TRUE(shell.messages[0].contains(QStringLiteral("NOSUCH")));
}

TEST_F(StartupFixture, MissingNameIsRefusedBeforeAnythingChanges)
{
    for (const char* line : {"db topic create", "db topic delete", "db code create", "db code delete",
                             "db code description"}) {
        store.calls.clear();
        shell.messages.clear();
        const StartupOutcome outcome = Form_Load(ctx, QString::fromUtf8(line));
        EXPECT_EQ(outcome.exitStatus, kExitFailed) << line;
        EXPECT_EQ(store.ops(), (std::vector<std::string> {"StartVelk", "GetModules", "GetCodingSystems"})) << line;
        EXPECT_EQ(shell.messages.size(), 1u) << line;
    }
}

TEST_F(StartupFixture, MissingLibraryFunctionEndsTheRun)
{
    store.hooks["GetModules"] = []() -> int32_t { throw ExternalsError("kovadel lacks the function GetModules"); };
    const StartupOutcome outcome = Form_Load(ctx, QStringLiteral("db"));
    EXPECT_FALSE(outcome.showWindow);
    EXPECT_EQ(outcome.exitStatus, kExitCannotStart);
    ASSERT_EQ(shell.messages.size(), 1u);
    EXPECT_TRUE(shell.messages[0].contains(QStringLiteral("GetModules")));
}

} // namespace
