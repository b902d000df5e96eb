// Building the topic index, checked through the recording stand-ins.
#include "topics/BuildTopic.h"

#include "TopicTestSupport.h"
#include "support/PrintQString.h"

#include <gtest/gtest.h>

namespace {

const QByteArray kExample = "Adult Health\r\n"
                            "  Asthma~asthma.pdf~\r\n"
                            "  Diabetes~diabetes.doc~\r\n"
                            "    Insulin~insulin.pdf~\r\n"
                            "Child Health\r\n";

QString statement(int module, int parent, const QString& doc, const QString& desc)
{
    return QStringLiteral("Insert into topics (ModuleID, ParentID, HasChild, PatEdDocument, Description)Values(%1, "
                          "%2, 0,'%3','%4 ')")
        .arg(module)
        .arg(parent)
        .arg(doc, desc);
}

std::vector<QString> statements(const RecordingExternals& store)
{
    std::vector<QString> out;
    for (const auto* call : store.callsOf("ExecuteQuery"))
        out.push_back(call->text);
    return out;
}

std::vector<int32_t> setTopicIds(const RecordingExternals& store)
{
    std::vector<int32_t> out;
    for (const auto* call : store.callsOf("SetTopic"))
        out.push_back(call->topic->TopicID);
    return out;
}

TEST(BuildTopic, ExampleFileGivesTheDocumentedTree)
{
    TopicFixture f;
    f.addModule(7, QStringLiteral("ADULT"), QStringLiteral("ADU"));
    f.useBatchFile(f.file(QStringLiteral("adult.txt"), kExample));

    BuildCounts counts;
    ASSERT_TRUE(BuildTopic_Click(f.ctx, &counts)) << (f.ui.messages.empty() ? "" : qPrintable(f.ui.messages[0]));

    const std::vector<std::string> expectedOps {"FileLineCount", "BeginUnit",    "GetModule",    "InsertTopic",
                                                "GetTopic",      "SetTopic",     "ExecuteQuery", "ExecuteQuery",
                                                "SetTopic",      "ExecuteQuery", "ExecuteQuery", "CommitUnit"};
    EXPECT_EQ(f.store.ops(), expectedOps);

    // First line: record operations, document in directory form (here empty).
    const TopicRecord& first = *f.store.callsOf("InsertTopic")[0]->topic;
    EXPECT_EQ(first.TopicID, 0); // CurTopicID as the program starts
    EXPECT_EQ(first.ModuleID, 7);
    EXPECT_EQ(first.ParentID, 0);
    EXPECT_EQ(first.HasChild, 0);
    EXPECT_EQ(first.Description.text(), QStringLiteral("Adult Health").leftJustified(80, u' '));
    EXPECT_EQ(first.PatEdDocument.text(), QString(50, u' '));
    const TopicRecord& lookup = *f.store.callsOf("GetTopic")[0]->topic;
    EXPECT_EQ(lookup.TopicID, 0);
    EXPECT_EQ(lookup.ModuleID, 7);
    EXPECT_EQ(lookup.Description.trimmed(), QStringLiteral("Adult Health"));

    // T = 100: parents T and T+2 are marked, before their first child is inserted.
    EXPECT_EQ(setTopicIds(f.store), (std::vector<int32_t> {100, 102}));
    for (const auto* call : f.store.callsOf("SetTopic")) {
        EXPECT_EQ(call->topic->HasChild, 1);
        EXPECT_EQ(call->topic->ModuleID, 0);
        EXPECT_EQ(call->topic->ParentID, -1);
        EXPECT_EQ(call->topic->PatEdDocument.text(), QString(50, u' '));
        EXPECT_EQ(call->topic->Description.text(), QString(80, u' '));
    }
    EXPECT_EQ(statements(f.store),
              (std::vector<QString> {statement(7, 100, QStringLiteral("ADU_asthma_pdf.htm"), QStringLiteral("Asthma")),
                                     statement(7, 100, QStringLiteral("ADU_diabetes_doc.htm"), QStringLiteral("Diabetes")),
                                     statement(7, 102, QStringLiteral("ADU_insulin_pdf.htm"), QStringLiteral("Insulin")),
                                     statement(7, 0, QString(), QStringLiteral("Child Health"))}));
    EXPECT_EQ(f.vars.CurTopicID, 104);
    EXPECT_EQ(counts.linesRead, 5);
    EXPECT_EQ(counts.topicsStored, 5);

    // Progress: lines after the first over the line count; window shown then unloaded.
    EXPECT_EQ(f.ui.progress.values, (std::vector<float> {20, 40, 60, 80}));
    ASSERT_GE(f.ui.progress.events.size(), 3u);
    EXPECT_EQ(f.ui.progress.events.front(), QStringLiteral("show"));
    EXPECT_NE(std::find(f.ui.progress.events.begin(), f.ui.progress.events.end(),
                        QStringLiteral("status:Saving - ADULT Module to Database")),
              f.ui.progress.events.end());
    EXPECT_EQ(f.ui.progress.events.back(), QStringLiteral("unload"));
    EXPECT_TRUE(f.ui.pointerRestored());
    EXPECT_TRUE(f.ui.messages.empty());
    EXPECT_EQ(f.ui.dialog.shown, 0);
}

struct DepthCase {
    const char* name;
    QByteArray file;
    std::vector<int32_t> parents; // ParentID of every line after the first (T = 100)
    std::vector<int32_t> marked;  // SetTopic calls
};

class BuildTopicDepth : public ::testing::TestWithParam<DepthCase> { };

TEST_P(BuildTopicDepth, ParentsFollowTheIndentation)
{
    const DepthCase& c = GetParam();
    TopicFixture f;
    f.addModule(3, QStringLiteral("M"), QStringLiteral("P"));
    f.useBatchFile(f.file(QStringLiteral("i.txt"), c.file));
    ASSERT_TRUE(BuildTopic_Click(f.ctx));
    std::vector<int32_t> parents;
    for (const QString& s : statements(f.store)) {
        const QStringList values = s.section(QStringLiteral("Values("), 1).split(QStringLiteral(", "));
        parents.push_back(values.at(1).toInt());
    }
    EXPECT_EQ(parents, c.parents);
    EXPECT_EQ(setTopicIds(f.store), c.marked);
}

std::string depthName(const ::testing::TestParamInfo<DepthCase>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(
    Cases, BuildTopicDepth,
    ::testing::Values(
        // From column 1 straight to column 9: one level down.
        DepthCase {"BigStepIsOneLevel", "A\n        B\nC\n", {100, 0}, {100}},
        // Levels 1, 4, 7, 10, then 4: up one level only, a child of the column-4 topic.
        DepthCase {"UpOneLevelOnly", "A\n   B\n      C\n         D\n   E\nF\n", {100, 101, 102, 101, 0}, {100, 101, 102}},
        // The first line indented, the next shallower: stays at the top level.
        DepthCase {"ShallowerThanFirst", "    A\n  B\n  C\n", {0, 0}, {}},
        // Eleven levels: the eleventh stays at the tenth as a sibling.
        DepthCase {"TenthLevelIsDeepest",
                   "A\n B\n  C\n   D\n    E\n     F\n      G\n       H\n        I\n         J\n          K\n",
                   {100, 101, 102, 103, 104, 105, 106, 107, 108, 108},
                   {100, 101, 102, 103, 104, 105, 106, 107, 108}},
        // Blank lines are topics at the top level.
        DepthCase {"BlankLinesAreTopics", "A\n\n B\n", {0, 101}, {101}}),
    depthName);

TEST(BuildTopic, ApostrophesAreDoubledInSqlTextOnly)
{
    TopicFixture f;
    f.addModule(7, QStringLiteral("KIDS"), QStringLiteral("K'D"));
    f.useBatchFile(f.file(QStringLiteral("k.txt"),
                               "Children's Health~kid's.pdf~\r\n Children's Health~o'hara.pdf~\r\n"));
    ASSERT_TRUE(BuildTopic_Click(f.ctx));
    // The first topic's record carries the description as read.
    EXPECT_EQ(f.store.callsOf("InsertTopic")[0]->topic->Description.trimmed(), QStringLiteral("Children's Health"));
    EXPECT_EQ(f.store.callsOf("InsertTopic")[0]->topic->PatEdDocument.trimmed(), QStringLiteral("pdf\\kid's.htm"));
    EXPECT_EQ(f.store.callsOf("GetTopic")[0]->topic->Description.trimmed(), QStringLiteral("Children's Health"));
    // Later topics: description, prefix and document doubled inside the literals.
    EXPECT_EQ(statements(f.store),
              (std::vector<QString> {statement(7, 100, QStringLiteral("K''D_o''hara_pdf.htm"),
                                               QStringLiteral("Children''s Health"))}));
}

TEST(BuildTopic, OneLineFileStoresItsTopic)
{
    TopicFixture f;
    f.addModule(7, QStringLiteral("M"), QStringLiteral("P"));
    f.useBatchFile(f.file(QStringLiteral("one.txt"), "Only Topic"));
    ASSERT_TRUE(BuildTopic_Click(f.ctx));
    EXPECT_EQ(f.store.callsOf("InsertTopic").size(), 1u);
    EXPECT_TRUE(f.store.callsOf("ExecuteQuery").empty());
}

TEST(BuildTopic, EmptyFileStoresNothingButShowsTheWindow)
{
    TopicFixture f;
    f.addModule(7, QStringLiteral("M"), QStringLiteral("P"));
    f.useBatchFile(f.file(QStringLiteral("empty.txt"), ""));
    ASSERT_TRUE(BuildTopic_Click(f.ctx));
    EXPECT_TRUE(f.store.callsOf("InsertTopic").empty());
    EXPECT_TRUE(f.store.callsOf("ExecuteQuery").empty());
    EXPECT_EQ(f.ui.progress.events.front(), QStringLiteral("show"));
    EXPECT_EQ(f.ui.progress.events.back(), QStringLiteral("unload"));
}

TEST(BuildTopic, NoModuleSelectedShowsTheMessageAndTouchesNothing)
{
    TopicFixture f;
    f.addModule(7, QStringLiteral("M"), QStringLiteral("P"), /*select=*/false);
    f.useBatchFile(f.file(QStringLiteral("i.txt"), kExample));
    EXPECT_FALSE(BuildTopic_Click(f.ctx));
    EXPECT_EQ(f.ui.messages, (QStringList {QStringLiteral("You must first select a Module from the available list.")}));
    EXPECT_TRUE(f.store.calls.empty());
    // The window was shown with "Loading..." and is unloaded after the message.
    EXPECT_EQ(f.ui.sequence,
        (std::vector<QString> {QStringLiteral("progress:show"), QStringLiteral("progress:refresh"),
            QStringLiteral("message:You must first select a Module from the available list."),
            QStringLiteral("progress:unload")}));
    EXPECT_TRUE(f.ui.pointerRestored());
}

TEST(BuildTopic, InteractiveDialogUsesIndexFilterAndCancelDoesNothing)
{
    TopicFixture f;
    f.vars.RunMode = QStringLiteral("interactive");
    f.addModule(7, QStringLiteral("M"), QStringLiteral("P"));
    EXPECT_TRUE(BuildTopic_Click(f.ctx));
    EXPECT_EQ(f.ui.dialog.filter(), QStringLiteral("All Files (*.*)|*.*|Index Files(*.txt)|*.txt"));
    EXPECT_EQ(f.ui.dialog.filterIndex(), 2);
    EXPECT_EQ(f.ui.dialog.shown, 1);
    EXPECT_TRUE(f.store.calls.empty());
    EXPECT_TRUE(f.ui.progress.events.empty());
    EXPECT_TRUE(f.ui.busyChanges.empty());

    f.ui.dialog.nextAnswer = f.file(QStringLiteral("i.txt"), kExample);
    EXPECT_TRUE(BuildTopic_Click(f.ctx));
    EXPECT_EQ(f.store.callsOf("ExecuteQuery").size(), 4u);
}

TEST(BuildTopic, BatchPathIsDirectoryAndNameWithNothingBetween)
{
    TopicFixture f;
    f.addModule(7, QStringLiteral("M"), QStringLiteral("P"));
    f.file(QStringLiteral("IDXadult.txt"), "A\n B\n");
    f.vars.BatchFileDir = f.dir.path() + QStringLiteral("/IDX");
    f.vars.BatchFileName = QStringLiteral("adult.txt");
    ASSERT_TRUE(BuildTopic_Click(f.ctx));
    EXPECT_EQ(f.ui.dialog.fileName(), f.dir.path() + QStringLiteral("/IDXadult.txt"));
    EXPECT_EQ(f.store.callsOf("ExecuteQuery").size(), 1u);
}

struct FailureCase {
    const char* name;
    std::string failOp; // operation that fails; empty: the file is missing
    int failAfter;
    const char* messagePart;
};

class BuildTopicFailure : public ::testing::TestWithParam<FailureCase> { };

TEST_P(BuildTopicFailure, StopsRollsBackAndSaysWhy)
{
    const FailureCase& c = GetParam();
    TopicFixture f;
    f.vars.RunAction = QStringLiteral("create"); // a batch action runs
    f.addModule(7, QStringLiteral("ADULT"), QStringLiteral("ADU"));
    if (c.failOp.empty()) {
        f.vars.BatchFileDir = f.dir.path() + u'/';
        f.vars.BatchFileName = QStringLiteral("missing.txt");
    } else {
        f.useBatchFile(f.file(QStringLiteral("adult.txt"), kExample));
        f.store.failOp = c.failOp;
        f.store.failAfter = c.failAfter;
    }
    if (c.failOp == "GetModule")
        f.store.modules.clear(); // selected, but not in the database

    EXPECT_FALSE(BuildTopic_Click(f.ctx));
    ASSERT_EQ(f.ui.messages.size(), 1u);
    EXPECT_TRUE(f.ui.messages[0].contains(QString::fromUtf8(c.messagePart))) << qPrintable(f.ui.messages[0]);
    EXPECT_EQ(f.store.commits, 0);
    EXPECT_EQ(f.store.unitDepth, 0);
    EXPECT_EQ(f.ui.progress.events.back(), QStringLiteral("unload"));
    EXPECT_TRUE(f.ui.pointerRestored());
    // Nothing after the failing call.
    if (!c.failOp.empty() && c.failOp != "BeginUnit" && c.failOp != "CommitUnit") {
        EXPECT_EQ(f.store.ops().back(), "RollbackUnit");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BuildTopicFailure,
    ::testing::Values(FailureCase {"MissingFile", "", 0, "missing.txt"},
                      FailureCase {"ModuleNotFound", "GetModule", 0, "\"ADULT\" was not found"},
                      FailureCase {"BusyDatabase", "BeginUnit", 0, "could not be built"},
                      FailureCase {"FirstInsertFails", "InsertTopic", 0, "line 1: the topic could not be stored"},
                      FailureCase {"ThirdLineFails", "ExecuteQuery", 1, "line 3: the topic could not be stored"},
                      FailureCase {"MarkFails", "SetTopic", 1, "line 4: the parent topic could not be marked"},
                      FailureCase {"CommitFails", "CommitUnit", 0, "could not be saved"}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

TEST(BuildTopic, BatchRunWithoutFileNameFails)
{
    TopicFixture f;
    f.vars.RunAction = QStringLiteral("create"); // a batch action runs
    f.addModule(7, QStringLiteral("M"), QStringLiteral("P"));
    EXPECT_FALSE(BuildTopic_Click(f.ctx));
    EXPECT_EQ(f.ui.messages, (QStringList {QStringLiteral("No index file was named on the command line.")}));
    EXPECT_TRUE(f.store.calls.empty());
}

TEST(BuildTopic, ProgressStaysWithinRangeWhenTheCountIsWrong)
{
    TopicFixture f;
    f.store.lineCount = 1; // fewer than the lines read
    f.addModule(7, QStringLiteral("M"), QStringLiteral("P"));
    f.useBatchFile(f.file(QStringLiteral("i.txt"), kExample));
    ASSERT_TRUE(BuildTopic_Click(f.ctx));
    for (float v : f.ui.progress.values) {
        EXPECT_GE(v, 0.0f);
        EXPECT_LE(v, 100.0f);
    }
}

struct ComposeCase {
    const char* document;
    const char* expected;
};

TEST(ComposeStoredDocument, NamesFromDirectoryForm)
{
    const ComposeCase cases[] = {
        {"pdf\\asthma.htm", "ADU_asthma_pdf.htm"},
        {"  doc\\diabetes.htm  ", "ADU_diabetes_doc.htm"},
        {"", ""},
        {"htm", ""},            // the bare form of a field without a dot
        {"pdf\\.htm", ""},      // dot right after the backslash
        {"b.htm", "ADU_b_.htm"}, // no backslash: no directory part
        {"pdf \\ asthma.htm", "ADU_ asthma_pdf .htm"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(composeStoredDocument(QStringLiteral(" ADU "), QString::fromUtf8(c.document)), QString::fromUtf8(c.expected))
            << c.document;
}

TEST(TopicInsertStatement, ExactText)
{
    const QString head = QStringLiteral("Insert into topics (ModuleID, ParentID, HasChild, PatEdDocument, "
                                        "Description)Values(");
    struct Case {
        int32_t module, parent;
        int16_t hasChild;
        const char* document;
        const char* description;
        const char* values;
    };
    const Case cases[] = {
        {7, 100, 0, "ADU_asthma_pdf.htm", "Asthma", "7, 100, 0,'ADU_asthma_pdf.htm','Asthma ')"},
        {-5, 0, 0, "", "", "-5, 0, 0,'',' ')"},
        {2147483647, -2147483647 - 1, 1, "x.htm", "d", "2147483647, -2147483648, 1,'x.htm','d ')"},
        // The document's apostrophes are doubled, wherever they are; the
        // description comes with its own doubled already.
        {1, 2, 1, "'A_O'Neil's_'.htm'", "O''Neil", "1, 2, 1,'''A_O''Neil''s_''.htm''','O''Neil ')"},
        {10, 9, 0, "''", "", "10, 9, 0,'''''',' ')"},
    };
    // One buffer for all of them, as a build keeps it: a longer statement
    // before a shorter one leaves nothing behind.
    QString kept;
    for (const Case& c : cases) {
        const QString expected = head + QString::fromUtf8(c.values);
        EXPECT_EQ(topicInsertStatement(c.module, c.parent, c.hasChild, QString::fromUtf8(c.document),
                                       QString::fromUtf8(c.description)),
                  expected);
        writeTopicInsertStatement(kept, c.module, c.parent, c.hasChild, QString::fromUtf8(c.document),
                                  QString::fromUtf8(c.description));
        EXPECT_EQ(kept, expected);
    }
}

} // namespace
