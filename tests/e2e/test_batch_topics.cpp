// Batch "topic" runs of the executable on a real database, read back with an
// independent reader; every suite but the failure cases runs on both engines.
#include "support/BatchRunner.h"
#include "support/EngineDatabase.h"
#include "support/StoredRows.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct BatchTopics : ::testing::Test {
    virtual enginetest::EngineKind engineKind() const { return enginetest::EngineKind::sqlite; }
    QTemporaryDir dir;
    QString db;
    QString idx;

    void SetUp() override
    {
        std::string database;
        ENGINE_DATABASE_OR_SKIP(engineKind(), dir.filePath(QStringLiteral("velk.db")).toStdString(), database);
        db = QString::fromStdString(database);
        idx = dir.path() + u'/';
        write(QStringLiteral("adult.txt"), "Adult Health\r\n  Asthma~asthma.pdf~\r\n  Diabetes~diabetes.doc~\r\n"
                                           "    Insulin~insulin.pdf~\r\nChild Health\r\n");
    }

    void write(const QString& name, const QByteArray& bytes)
    {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    BatchResult run(const QString& line) { return runVelkindex(line.split(u' ')); }

    std::vector<std::string> dump() { return StoredRows(db.toStdString()).dump(); }
};

struct BatchTopicsOnEngines : enginetest::OnEveryEngine<BatchTopics> { };

TEST_P(BatchTopicsOnEngines, CreateStoresModuleTreeAndDefault)
{
    const BatchResult r = run(db + QStringLiteral(" topic create ADULT ADU ") + idx + QStringLiteral(" adult.txt"));
    ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
    EXPECT_FALSE(r.crashed);

    StoredRows reader(db.toStdString());
    EXPECT_EQ(reader.rows("SELECT ModuleName, DirectoryPrefix FROM modules"), std::vector<std::string> {"ADULT|ADU"});
    EXPECT_EQ(reader.rows("SELECT Description, PatEdDocument, HasChild, "
                          "(SELECT p.Description FROM topics p WHERE p.TopicID = t.ParentID) FROM topics t ORDER BY TopicID"),
              (std::vector<std::string> {"Adult Health||1|NULL", "Asthma |ADU_asthma_pdf.htm|0|Adult Health",
                                         "Diabetes |ADU_diabetes_doc.htm|1|Adult Health",
                                         "Insulin |ADU_insulin_pdf.htm|0|Diabetes ", "Child Health ||0|NULL"}));
    EXPECT_EQ(reader.value("SELECT count(*) FROM topics WHERE ModuleID <> (SELECT ModuleID FROM modules)"), "0");
    EXPECT_EQ(reader.value("SELECT DefaultModule FROM patEdDefaults"), "ADULT");
}

TEST_P(BatchTopicsOnEngines, RecreateReplacesTheModuleAndKeepsTheDefault)
{
    ASSERT_EQ(run(db + QStringLiteral(" topic create ADULT ADU ") + idx + QStringLiteral(" adult.txt")).exitCode, 0);
    ASSERT_EQ(run(db + QStringLiteral(" topic create CHILD CHI ") + idx + QStringLiteral(" adult.txt")).exitCode, 0);
    StoredRows first(db.toStdString());
    const std::string oldId = first.value("SELECT ModuleID FROM modules WHERE ModuleName = 'ADULT'");

    write(QStringLiteral("adult2.txt"), "Adults\n  Asthma~asthma.pdf~\n");
    const BatchResult r = run(db + QStringLiteral(" topic create ADULT AD2 ") + idx + QStringLiteral(" adult2.txt"));
    ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);

    StoredRows reader(db.toStdString());
    EXPECT_EQ(reader.rows("SELECT ModuleName, DirectoryPrefix FROM modules ORDER BY ModuleID"),
              (std::vector<std::string> {"CHILD|CHI", "ADULT|AD2"}));
    EXPECT_NE(reader.value("SELECT ModuleID FROM modules WHERE ModuleName = 'ADULT'"), oldId);
    EXPECT_EQ(reader.rows("SELECT t.Description, t.PatEdDocument FROM topics t JOIN modules m USING (ModuleID) WHERE "
                          "m.ModuleName = 'ADULT' ORDER BY TopicID"),
              (std::vector<std::string> {"Adults|", "Asthma |AD2_asthma_pdf.htm"}));
    EXPECT_EQ(reader.value("SELECT count(*) FROM topics WHERE ModuleID NOT IN (SELECT ModuleID FROM modules)"), "0");
    // The first module created stays the default.
    EXPECT_EQ(reader.value("SELECT DefaultModule FROM patEdDefaults"), "ADULT");
}

TEST_P(BatchTopicsOnEngines, DeleteRemovesModuleAndTopics)
{
    ASSERT_EQ(run(db + QStringLiteral(" topic create ADULT ADU ") + idx + QStringLiteral(" adult.txt")).exitCode, 0);
    const BatchResult r = run(db + QStringLiteral(" topic delete ADULT x ") + idx + QStringLiteral(" adult.txt"));
    ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
    StoredRows reader(db.toStdString());
    EXPECT_EQ(reader.value("SELECT count(*) FROM modules"), "0");
    EXPECT_EQ(reader.value("SELECT count(*) FROM topics"), "0");
}

TEST_P(BatchTopicsOnEngines, EmptyOrValidSettingsAreTaken)
{
    // An empty variable means the default; a valid value is used as given.
    const std::vector<std::pair<const char*, const char*>> settings[] = {
        {{"VELKINDEX_CODEPAGE", ""}, {"VELKINDEX_BUSY_TIMEOUT_MS", ""}},
        {{"VELKINDEX_CODEPAGE", "ISO-8859-15"}, {"VELKINDEX_BUSY_TIMEOUT_MS", "0"}},
        {{"VELKINDEX_CODEPAGE", "CP1252"}, {"VELKINDEX_BUSY_TIMEOUT_MS", "2147483647"}},
    };
    for (const auto& set : settings) {
        QProcessEnvironment env = headlessEnvironment();
        for (const auto& [name, value] : set)
            env.insert(QString::fromLatin1(name), QString::fromLatin1(value));
        const BatchResult r = runVelkindex(
            (db + QStringLiteral(" topic create ADULT ADU ") + idx + QStringLiteral(" adult.txt")).split(u' '), env);
        EXPECT_EQ(r.exitCode, 0) << set[0].second << " " << set[1].second << ": " << qPrintable(r.err);
        EXPECT_TRUE(r.err.isEmpty()) << qPrintable(r.err);
    }
    StoredRows reader(db.toStdString());
    EXPECT_EQ(reader.value("SELECT count(*) FROM topics"), "5");
}

TEST_P(BatchTopicsOnEngines, DeletingAnUnknownModuleSucceedsAndSaysNothingMatched)
{
    // Night scripts delete before they create: nothing to delete is no failure.
    ASSERT_EQ(run(db + QStringLiteral(" topic create ADULT ADU ") + idx + QStringLiteral(" adult.txt")).exitCode, 0);
    const auto before = dump();
    const BatchResult r = run(db + QStringLiteral(" topic delete NOSUCH x ") + idx + QStringLiteral(" adult.txt"));
    EXPECT_EQ(r.exitCode, 0) << qPrintable(r.err);
    EXPECT_FALSE(r.crashed);
    EXPECT_EQ(r.out, QStringLiteral("topic delete NOSUCH: 0 modules deleted\n"));
    EXPECT_EQ(r.err,
              QStringLiteral("velkindex: No module named \"NOSUCH\" is in the database; nothing was deleted.\n"));
    EXPECT_EQ(dump(), before);
}

TEST_P(BatchTopicsOnEngines, CreateStoresTheDefaultsWhenTheirRowIsMissing)
{
    // A database whose defaults row was removed: the build goes on, and the
    // new module becomes the default in a row stored anew.
    ASSERT_EQ(run(db + QStringLiteral(" topic create ADULT ADU ") + idx + QStringLiteral(" adult.txt")).exitCode, 0);
    {
        StoredRows admin(db.toStdString());
        ASSERT_TRUE(admin.exec("DELETE FROM patEdDefaults")) << admin.error();
    }
    const BatchResult r = run(db + QStringLiteral(" topic create CHILD CHI ") + idx + QStringLiteral(" adult.txt"));
    ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
    EXPECT_EQ(r.out, QStringLiteral("topic create CHILD: 5 lines read, 5 topics stored, 0 lines skipped\n"));
    StoredRows reader(db.toStdString());
    EXPECT_EQ(reader.rows("SELECT DefaultsKey, DefaultModule FROM patEdDefaults"), std::vector<std::string> {"|CHILD"});
    EXPECT_EQ(reader.value("SELECT count(*) FROM topics t JOIN modules m USING (ModuleID) WHERE m.ModuleName = "
                           "'CHILD'"),
              "5");
}

struct FailureCase {
    const char* name;
    const char* args; // %DB% and %DIR% are replaced
    int exitCode;
    const char* stderrPart;
};

class BatchTopicFailures : public BatchTopics, public ::testing::WithParamInterface<FailureCase> { };

TEST_P(BatchTopicFailures, FailWithReasonAndChangeNothing)
{
    ASSERT_EQ(run(db + QStringLiteral(" topic create ADULT ADU ") + idx + QStringLiteral(" adult.txt")).exitCode, 0);
    const auto before = dump();

    const FailureCase& c = GetParam();
    QString args = QString::fromUtf8(c.args);
    args.replace(QStringLiteral("%DB%"), db).replace(QStringLiteral("%DIR%"), idx);
    const BatchResult r = run(args);
    EXPECT_EQ(r.exitCode, c.exitCode) << qPrintable(r.err);
    EXPECT_FALSE(r.crashed);
    EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.stderrPart))) << qPrintable(r.err);
    EXPECT_TRUE(r.err.endsWith(u'\n'));
    EXPECT_EQ(dump(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BatchTopicFailures,
    ::testing::Values(
        FailureCase {"MissingIndexFile", "%DB% topic create ADULT ADU %DIR% missing.txt", 1, "missing.txt"},
        FailureCase {"IndexFileIsAFolder", "%DB% topic create ADULT ADU / tmp", 1, "/tmp"},
        FailureCase {"NoFileNamed", "%DB% topic create ADULT ADU", 1, "No index file was named"},
        FailureCase {"NoModuleNamed", "%DB% topic create", 1, "No module name"},
        // Without a display the window cannot open: the run ends at once.
        FailureCase {"WindowWithoutDisplay", "%DB%", 2, "no display"},
        FailureCase {"UnknownVerbWithoutDisplay", "%DB% topic load ADULT", 2, "no display"}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

TEST(BatchStart, DatabaseInMissingFolderIsReportedAndNotCreated)
{
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("no/such/folder/velk.db"));
    const BatchResult r = runVelkindex({db, QStringLiteral("topic"), QStringLiteral("delete"), QStringLiteral("X")});
    EXPECT_EQ(r.exitCode, 2) << qPrintable(r.err);
    EXPECT_TRUE(r.err.contains(db)) << qPrintable(r.err);
    EXPECT_FALSE(QFileInfo::exists(db));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("no"))));
}

TEST(BatchStart, MissingLibraryIsNamed)
{
    QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("velkindex"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(VELKINDEX_EXECUTABLE), copy));
    QFile::setPermissions(copy, QFile::permissions(QStringLiteral(VELKINDEX_EXECUTABLE)));
    QProcessEnvironment env = headlessEnvironment();
    env.insert(QStringLiteral("LD_LIBRARY_PATH"), dir.path()); // nothing there
    const BatchResult r = runVelkindex({dir.filePath(QStringLiteral("x.db")), QStringLiteral("topic"),
                                        QStringLiteral("delete"), QStringLiteral("X")},
                                       env, copy);
    EXPECT_EQ(r.exitCode, 2) << qPrintable(r.err);
    EXPECT_TRUE(r.err.contains(QStringLiteral("kovadel"))) << qPrintable(r.err);
}

// The window program started directly reads the command line itself: a batch
// action runs there too, without a display.
TEST_P(BatchTopicsOnEngines, TheWindowProgramStartedDirectlyRunsTheActionToo)
{
    const QStringList args {db, QStringLiteral("topic"), QStringLiteral("create"), QStringLiteral("ADULT"),
                            QStringLiteral("ADU"), idx, QStringLiteral("adult.txt")};
    const BatchResult r
        = runVelkindex(args, headlessEnvironment(), QStringLiteral(VELKINDEX_WINDOW_EXECUTABLE));
    ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
    EXPECT_EQ(r.out, QStringLiteral("topic create ADULT: 5 lines read, 5 topics stored, 0 lines skipped\n"));
    StoredRows reader(db.toStdString());
    EXPECT_EQ(reader.rows("SELECT ModuleName, DirectoryPrefix FROM modules"), std::vector<std::string> {"ADULT|ADU"});
    EXPECT_EQ(reader.value("SELECT count(*) FROM topics"), "5");
}

// Without a batch action, once a display is there, velkindex hands over to the
// window program beside it: the same process, the same arguments, its output
// and exit status. A copy of velkindex in a folder of its own, beside a
// stand-in or beside nothing, shows what it does.
struct HandOverCase {
    const char* name;
    const char* standIn; // the window program's text; nullptr: none
    QFile::Permissions permissions;
    int exitCode;
    const char* out; // %PID% is the process started
    const char* err; // %DIR% is the copy's folder
};

class WindowHandOver : public ::testing::TestWithParam<HandOverCase> { };

TEST_P(WindowHandOver, ReachesTheWindowProgramOrNamesIt)
{
    const HandOverCase& c = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // Where a copy is installed on this machine, velkindex would take that one.
    if (!c.standIn && QFileInfo::exists(QStringLiteral(VELK_INSTALLED_LIBRARY_DIR "/velkindex-window")))
        GTEST_SKIP() << "a velkindex-window is installed in " VELK_INSTALLED_LIBRARY_DIR;
    const QString copy = dir.filePath(QStringLiteral("velkindex"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(VELKINDEX_EXECUTABLE), copy));
    QFile::setPermissions(copy, QFile::permissions(QStringLiteral(VELKINDEX_EXECUTABLE)));
    const QString window = dir.filePath(QStringLiteral("velkindex-window"));
    if (c.standIn) {
        QFile file(window);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(c.standIn);
        file.close();
        ASSERT_TRUE(QFile::setPermissions(window, c.permissions));
    }
    QProcessEnvironment env = headlessEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    const QString db = dir.filePath(QStringLiteral("x.db"));
    const BatchResult r = runVelkindex({db, QStringLiteral("topic")}, env, copy);

    EXPECT_FALSE(r.crashed);
    EXPECT_EQ(r.exitCode, c.exitCode) << qPrintable(r.err);
    QString out = QString::fromUtf8(c.out);
    out.replace(QStringLiteral("%PID%"), QString::number(r.pid)).replace(QStringLiteral("%DB%"), db);
    EXPECT_EQ(r.out, out);
    EXPECT_EQ(r.err, QString::fromUtf8(c.err).replace(QStringLiteral("%DIR%"), dir.path()));
    EXPECT_FALSE(QFileInfo::exists(db)) << "the launcher opened the database";
}

constexpr QFile::Permissions kRunnable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
constexpr QFile::Permissions kNotRunnable = QFile::ReadOwner | QFile::WriteOwner;
constexpr const char* kStandIn = "#!/bin/sh\necho \"$$ $*\"\necho window >&2\nexit 7\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, WindowHandOver,
    ::testing::Values(
        HandOverCase {"StandInRunsInPlace", kStandIn, kRunnable, 7, "%PID% %DB% topic\n", "window\n"},
        HandOverCase {"Missing", nullptr, {}, 2, "",
                      "velkindex: cannot start the window program %DIR%/velkindex-window: No such file or "
                      "directory\n"},
        HandOverCase {"NotExecutable", kStandIn, kNotRunnable, 2, "",
                      "velkindex: cannot start the window program %DIR%/velkindex-window: Permission denied\n"}),
    [](const ::testing::TestParamInfo<HandOverCase>& info) { return std::string(info.param.name); });

VELK_ON_EVERY_ENGINE(BatchTopicsOnEngines);

} // namespace
