// The topic index built and cleared through the real library, read back with
// an independent SQLite connection.
#include "modules/ClearTopic.h"
#include "modules/ModuleList.h"
#include "store/KovadelLibrary.h"
#include "topics/BuildTopic.h"

#include "support/RecordingShell.h"
#include "support/SqliteReader.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct DatabaseFixture : ::testing::Test {
    QTemporaryDir dir;
    KovadelLibrary library {QStringLiteral(KOVADEL_LIBRARY_PATH)};
    MainVariables vars;
    RecordingShell shell;
    PatEdContext ctx {vars, shell, library};
    std::string dbPath;

    void SetUp() override
    {
        dbPath = dir.filePath(QStringLiteral("velk.db")).toStdString();
        ASSERT_NE(library.StartVelk(QString::fromStdString(dbPath), QStringLiteral("ADMIN"), QString()), 0)
            << qPrintable(library.LastError());
        vars.RunMode = QStringLiteral("topic");
    }
    void TearDown() override { library.EndVelk(); }

    void insertModule(const QString& name, const QString& prefix)
    {
        CallStatus status;
        ModuleRecord m;
        m.ModuleName = name;
        m.DirectoryPrefix = prefix;
        ASSERT_NE(library.InsertModule(m, status), 0) << qPrintable(library.LastError());
        refillModuleList(ctx, blankModuleFilter());
        shell.setListText(ListName::ModuleList, name);
    }

    void useFile(const QByteArray& bytes)
    {
        QFile file(dir.filePath(QStringLiteral("index.txt")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        vars.BatchFileDir = dir.path() + u'/';
        vars.BatchFileName = QStringLiteral("index.txt");
    }
};

TEST_F(DatabaseFixture, ExampleTreeIsStoredAsDocumented)
{
    insertModule(QStringLiteral("ADULT"), QStringLiteral("ADU"));
    useFile("Adult Health\r\n  Asthma~asthma.pdf~\r\n  Diabetes~diabetes.doc~\r\n    Insulin~insulin.pdf~\r\nChild "
            "Health\r\n");
    ASSERT_TRUE(BuildTopic_Click(ctx)) << (shell.messages.empty() ? "" : qPrintable(shell.messages[0]));

    SqliteReader db(dbPath);
    const std::string module = db.value("SELECT ModuleID FROM modules WHERE ModuleName = 'ADULT'");
    const int t = std::stoi(db.value("SELECT min(TopicID) FROM topics"));
    const auto row = [&](int offset, int parent, const char* doc, int hasChild, const char* desc) {
        return std::to_string(t + offset) + '|' + module + '|' + std::to_string(parent) + '|' + std::to_string(hasChild)
            + '|' + doc + '|' + desc;
    };
    EXPECT_EQ(db.rows("SELECT TopicID, ModuleID, ParentID, HasChild, PatEdDocument, Description FROM topics ORDER BY "
                      "TopicID"),
              (std::vector<std::string> {
                  row(0, 0, "", 1, "Adult Health"),
                  row(1, t, "ADU_asthma_pdf.htm", 0, "Asthma "),
                  row(2, t, "ADU_diabetes_doc.htm", 1, "Diabetes "),
                  row(3, t + 2, "ADU_insulin_pdf.htm", 0, "Insulin "),
                  row(4, 0, "", 0, "Child Health "),
              }));
}

TEST_F(DatabaseFixture, ApostrophesReadBackAsWritten)
{
    insertModule(QStringLiteral("KIDS"), QStringLiteral("K'D"));
    useFile("Children's Health\n  Children's Health~o'hara.pdf~\n  Drop; table topics~x.pdf~\n");
    ASSERT_TRUE(BuildTopic_Click(ctx)) << (shell.messages.empty() ? "" : qPrintable(shell.messages[0]));
    SqliteReader db(dbPath);
    EXPECT_EQ(db.rows("SELECT Description, PatEdDocument FROM topics ORDER BY TopicID"),
              (std::vector<std::string> {"Children's Health|", "Children's Health |K'D_o'hara_pdf.htm",
                                         "Drop; table topics |K'D_x_pdf.htm"}));
}

TEST_F(DatabaseFixture, SecondBuildContinuesTheNumbering)
{
    insertModule(QStringLiteral("M"), QStringLiteral("P"));
    useFile("A\n B\n");
    ASSERT_TRUE(BuildTopic_Click(ctx));
    ASSERT_TRUE(BuildTopic_Click(ctx)); // builds add; they never replace
    SqliteReader db(dbPath);
    EXPECT_EQ(db.rows("SELECT TopicID - m, CASE ParentID WHEN 0 THEN -1 ELSE ParentID - m END FROM topics, "
                      "(SELECT min(TopicID) AS m FROM topics) ORDER BY TopicID"),
              (std::vector<std::string> {"0|-1", "1|0", "2|-1", "3|2"}));
    EXPECT_EQ(db.value("SELECT count(*) FROM topics WHERE HasChild = 1"), "2");
}

TEST_F(DatabaseFixture, FailedBuildLeavesTheDatabaseAsItWas)
{
    insertModule(QStringLiteral("M"), QStringLiteral("P"));
    useFile("A\n B\n C\n");
    ASSERT_TRUE(BuildTopic_Click(ctx));
    SqliteReader before(dbPath);
    const auto rows = before.rows("SELECT * FROM topics ORDER BY TopicID");

    vars.BatchFileName = QStringLiteral("missing.txt");
    vars.RunAction = QStringLiteral("create"); // a batch action runs
    EXPECT_FALSE(BuildTopic_Click(ctx));
    ASSERT_EQ(shell.messages.size(), 1u);
    EXPECT_TRUE(shell.messages[0].contains(QStringLiteral("missing.txt")));
    SqliteReader after(dbPath);
    EXPECT_EQ(after.rows("SELECT * FROM topics ORDER BY TopicID"), rows);
}

TEST_F(DatabaseFixture, ClearRemovesTheModuleAndItsTopicsOnly)
{
    insertModule(QStringLiteral("KEEP"), QStringLiteral("K"));
    useFile("A\n B\n");
    ASSERT_TRUE(BuildTopic_Click(ctx));
    insertModule(QStringLiteral("GO"), QStringLiteral("G"));
    ASSERT_TRUE(BuildTopic_Click(ctx));

    shell.setListText(ListName::ModuleList, QStringLiteral("GO"));
    int deleted = 0;
    ASSERT_TRUE(ClearTopic_Click(ctx, &deleted));
    EXPECT_EQ(deleted, 1);
    EXPECT_EQ(shell.listItems(ListName::ModuleList), QStringList {QStringLiteral("KEEP")});
    SqliteReader db(dbPath);
    EXPECT_EQ(db.rows("SELECT ModuleName FROM modules"), std::vector<std::string> {"KEEP"});
    EXPECT_EQ(db.value("SELECT count(*) FROM topics"), "2");
    EXPECT_EQ(db.value("SELECT count(*) FROM topics WHERE ModuleID NOT IN (SELECT ModuleID FROM modules)"), "0");
}

} // namespace
