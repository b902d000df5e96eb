// Loading code files, through the recording stand-in for the library.
#include "coding/CmdLoad.h"

#include "core/InputFile.h"
#include "support/HandlerHarness.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Ops = std::vector<std::string>;

const QByteArray kAsthmaFile = "asthma.doc, J45.20 J45.30\r\n"
                               "gout.doc, M10.9\r\n";

class CmdLoadTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(h.dir.isValid());
        h.addCodingSystem(70001, QStringLiteral("ICD")); // above 16 bits on purpose
        h.addCodingSystem(5, QStringLiteral("CPT"));
        h.ui.fillList(ListName::CodeList, { QStringLiteral("ICD"), QStringLiteral("CPT") }, QStringLiteral("ICD"));
    }
    HandlerHarness<> h;
};

TEST_F(CmdLoadTest, StoresEveryCodeOfEveryLineInOneUnit)
{
    h.chosenFile(QStringLiteral("codes.txt"), kAsthmaFile);
    LoadCounts counts;
    ASSERT_TRUE(CmdLoad_Click(h.ctx, &counts)) << h.ui.messages.join(u'\n').toStdString();

    EXPECT_EQ(h.store.ops(),
        (Ops { "BeginUnit", "GetCodingSystem", "InsertCode", "InsertCode", "InsertCode", "CommitUnit" }));
    const auto lookup = h.store.callsOf("GetCodingSystem");
    EXPECT_EQ(lookup[0]->codingSystem->CodingSystemID, 0);
    EXPECT_EQ(lookup[0]->codingSystem->CodingSystemName.text(), padded<50>(QStringLiteral("ICD")));

    struct Expected {
        const char* code;
        const char* document;
    };
    const std::vector<Expected> expected { { "J45.20", "doc\\asthma.htm" }, { "J45.30", "doc\\asthma.htm" },
        { "M10.9", "doc\\gout.htm" } };
    const auto inserts = h.store.callsOf("InsertCode");
    ASSERT_EQ(inserts.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const CodeRecord& sent = *inserts[i]->code;
        EXPECT_EQ(sent.CodeID, 0);
        EXPECT_EQ(sent.Code.text(), padded<50>(QString::fromUtf8(expected[i].code)));
        EXPECT_EQ(sent.CodingSystemID, 70001);
        EXPECT_EQ(sent.CodeFlag, 0);
        EXPECT_EQ(sent.Description.text(), QString(100, u' '));
        EXPECT_EQ(sent.PatEdDocument.text(), padded<50>(QString::fromUtf8(expected[i].document)));
    }

    // The dialog offers index files first and was shown before the unit began.
    EXPECT_EQ(h.ui.dialog.filter(), QStringLiteral("All Files (*.*)|*.*|Index Files(*.txt)|*.txt"));
    EXPECT_EQ(h.ui.dialog.filterIndex(), 2);
    EXPECT_EQ(h.ui.dialog.shown, 1);
    EXPECT_EQ(h.ui.dialog.unitDepthWhenShown, 0);
    EXPECT_EQ(h.ui.busyChanges, (std::vector<bool> { true, false }));
    EXPECT_TRUE(h.ui.messages.isEmpty());
    EXPECT_EQ(h.store.unitDepth, 0);
    EXPECT_EQ(h.store.commits, 1);

    EXPECT_EQ(counts.linesRead, 2);
    EXPECT_EQ(counts.linesSkipped, 0);
    EXPECT_EQ(counts.codesStored, 3);
    EXPECT_EQ(counts.textsCut, 0);
    // The lists are left as they are.
    EXPECT_EQ(h.ui.listText(ListName::CodeList), QStringLiteral("ICD"));
    EXPECT_EQ(h.ui.refreshes, 0);
}

struct FileCase {
    const char* name;
    QByteArray bytes;
    std::vector<const char*> codes; // in the order they are stored
    int64_t linesRead;
    int64_t linesSkipped;
};

class CmdLoadFiles : public CmdLoadTest, public testing::WithParamInterface<FileCase> { };

TEST_P(CmdLoadFiles, StoresTheCodesInFileOrder)
{
    const FileCase& c = GetParam();
    h.chosenFile(QStringLiteral("codes.txt"), c.bytes);
    LoadCounts counts;
    ASSERT_TRUE(CmdLoad_Click(h.ctx, &counts)) << h.ui.messages.join(u'\n').toStdString();

    const auto inserts = h.store.callsOf("InsertCode");
    ASSERT_EQ(inserts.size(), c.codes.size());
    for (size_t i = 0; i < c.codes.size(); ++i)
        EXPECT_EQ(inserts[i]->code->Code.trimmed(), QString::fromUtf8(c.codes[i])) << i;
    EXPECT_EQ(h.store.callsOf("GetCodingSystem").size(), 1u); // also for an empty file
    EXPECT_EQ(counts.linesRead, c.linesRead);
    EXPECT_EQ(counts.linesSkipped, c.linesSkipped);
    EXPECT_EQ(counts.codesStored, static_cast<int64_t>(c.codes.size()));
    EXPECT_EQ(h.store.commits, 1);
}

INSTANTIATE_TEST_SUITE_P(Files, CmdLoadFiles,
    testing::Values(FileCase { "crlf", "a.doc, A1 A2\r\nb.doc, B1\r\n", { "A1", "A2", "B1" }, 2, 0 },
        FileCase { "cr", "a.doc, A1 A2\rb.doc, B1\r", { "A1", "A2", "B1" }, 2, 0 },
        FileCase { "lf", "a.doc, A1 A2\nb.doc, B1\n", { "A1", "A2", "B1" }, 2, 0 },
        FileCase { "mixed", "a.doc, A1\rb.doc, B1\nc.doc, C1\r\nd.doc, D1", { "A1", "B1", "C1", "D1" }, 4, 0 },
        FileCase { "blankLines", "\r\na.doc, A1\r\n    \r\nb.doc, B1\r\n", { "A1", "B1" }, 4, 2 },
        FileCase { "documentOnly", "a.doc,\r\nb.doc,   \r\n", {}, 2, 0 },
        FileCase { "spaces", "  a.doc,    A1     A2   \r\n", { "A1", "A2" }, 1, 0 },
        FileCase { "empty", "", {}, 0, 0 }),
    [](const testing::TestParamInfo<FileCase>& info) { return std::string(info.param.name); });

TEST_F(CmdLoadTest, CutsLongCodesAndPathsToTheirFields)
{
    const QString code(60, u'c');
    const QString name(60, u'n');
    h.chosenFile(
        QStringLiteral("codes.txt"), (name + QStringLiteral(".doc, ") + code + QStringLiteral(" SHORT")).toLatin1());
    LoadCounts counts;
    ASSERT_TRUE(CmdLoad_Click(h.ctx, &counts));

    const auto inserts = h.store.callsOf("InsertCode");
    ASSERT_EQ(inserts.size(), 2u);
    EXPECT_EQ(inserts[0]->code->Code.text(), code.left(50));
    EXPECT_EQ(inserts[0]->code->PatEdDocument.text(), (QStringLiteral("doc\\") + name).left(50));
    EXPECT_EQ(counts.textsCut, 2); // both codes carry the cut path
}

TEST_F(CmdLoadTest, LoadingTwiceInsertsEveryCodeAgain)
{
    h.chosenFile(QStringLiteral("codes.txt"), kAsthmaFile);
    ASSERT_TRUE(CmdLoad_Click(h.ctx));
    ASSERT_TRUE(CmdLoad_Click(h.ctx));
    EXPECT_EQ(h.store.callsOf("InsertCode").size(), 6u);
}

TEST_F(CmdLoadTest, ACancelledDialogEndsSilently)
{
    h.ui.dialog.nextAnswer.reset(); // the operator cancels
    EXPECT_TRUE(CmdLoad_Click(h.ctx));
    EXPECT_TRUE(h.store.calls.empty());
    EXPECT_TRUE(h.ui.messages.isEmpty());
    EXPECT_TRUE(h.ui.busyChanges.empty());
    EXPECT_EQ(h.ui.dialog.shown, 1);
}

TEST_F(CmdLoadTest, TheWindowOfACodeCommandLineUsesTheEmptyBatchPath)
{
    // "velkindex DB code" opens the window with RunMode "code": no dialog,
    // the batch path is empty, nothing is loaded and nobody is told.
    h.vars.RunMode = QStringLiteral("code");
    h.chosenFile(QStringLiteral("codes.txt"), kAsthmaFile);
    EXPECT_TRUE(CmdLoad_Click(h.ctx));
    EXPECT_EQ(h.ui.dialog.shown, 0);
    EXPECT_TRUE(h.store.calls.empty());
    EXPECT_TRUE(h.ui.messages.isEmpty());
}

TEST_F(CmdLoadTest, ABatchRunTakesTheFileFromTheCommandLine)
{
    const QString path = h.file(QStringLiteral("codes.txt"), kAsthmaFile);
    h.vars.RunMode = QStringLiteral("code");
    h.vars.RunAction = QStringLiteral("create"); // a batch action runs
    h.vars.BatchFileDir = h.dir.path() + u'/';
    h.vars.BatchFileName = QStringLiteral("codes.txt");
    ASSERT_TRUE(CmdLoad_Click(h.ctx)) << h.ui.messages.join(u'\n').toStdString();
    EXPECT_EQ(h.ui.dialog.shown, 0);
    EXPECT_EQ(h.ui.dialog.fileName(), path); // the dialog keeps it as its last file
    EXPECT_EQ(h.store.callsOf("InsertCode").size(), 3u);
}

TEST_F(CmdLoadTest, ABatchPathIsJoinedWithNothingInBetween)
{
    h.file(QStringLiteral("codes.txt"), kAsthmaFile);
    h.vars.RunMode = QStringLiteral("code");
    h.vars.RunAction = QStringLiteral("create"); // a batch action runs
    h.vars.BatchFileDir = h.dir.path(); // no separator at its end
    h.vars.BatchFileName = QStringLiteral("codes.txt");
    EXPECT_FALSE(CmdLoad_Click(h.ctx));
    ASSERT_EQ(h.ui.messages.size(), 1);
    EXPECT_TRUE(h.ui.messages[0].contains(h.dir.path() + QStringLiteral("codes.txt")))
        << h.ui.messages[0].toStdString();
    EXPECT_TRUE(h.store.calls.empty());
}

TEST_F(CmdLoadTest, ABatchRunWithoutAFileFails)
{
    h.vars.RunMode = QStringLiteral("code");
    h.vars.RunAction = QStringLiteral("create"); // a batch action runs
    EXPECT_FALSE(CmdLoad_Click(h.ctx));
    ASSERT_EQ(h.ui.messages.size(), 1);
    EXPECT_TRUE(h.ui.messages[0].startsWith(QStringLiteral("No code file was named on the command line.")));
    EXPECT_TRUE(h.store.calls.empty());
}

TEST_F(CmdLoadTest, AMissingFileIsNamedAndNothingIsStored)
{
    h.ui.dialog.nextAnswer = h.dir.filePath(QStringLiteral("no-such-codes.txt"));
    LoadCounts counts;
    counts.codesStored = 99;
    EXPECT_FALSE(CmdLoad_Click(h.ctx, &counts));
    ASSERT_EQ(h.ui.messages.size(), 1);
    EXPECT_TRUE(h.ui.messages[0].contains(QStringLiteral("no-such-codes.txt"))) << h.ui.messages[0].toStdString();
    EXPECT_TRUE(h.store.calls.empty()); // the file is read before the unit begins
    EXPECT_EQ(h.store.unitDepth, 0);
    EXPECT_EQ(h.ui.busyChanges, (std::vector<bool> { true, false }));
    EXPECT_EQ(counts.codesStored, 0);
}

TEST_F(CmdLoadTest, AFolderIsNotACodeFile)
{
    h.ui.dialog.nextAnswer = h.dir.path();
    EXPECT_FALSE(CmdLoad_Click(h.ctx));
    ASSERT_EQ(h.ui.messages.size(), 1);
    EXPECT_TRUE(h.ui.messages[0].contains(h.dir.path())) << h.ui.messages[0].toStdString();
    EXPECT_TRUE(h.store.calls.empty());
}

TEST_F(CmdLoadTest, AnUnknownCodingSystemStoresNothing)
{
    h.ui.fillList(ListName::CodeList, { QStringLiteral("ICD"), QStringLiteral("SNOMED") }, QStringLiteral("SNOMED"));
    const QString path = h.chosenFile(QStringLiteral("codes.txt"), kAsthmaFile);
    EXPECT_FALSE(CmdLoad_Click(h.ctx));

    EXPECT_EQ(h.store.ops(), (Ops { "BeginUnit", "GetCodingSystem", "RollbackUnit" }));
    ASSERT_EQ(h.ui.messages.size(), 1);
    const QString& message = h.ui.messages[0];
    EXPECT_TRUE(message.contains(QStringLiteral("\"SNOMED\""))) << message.toStdString();
    EXPECT_TRUE(message.contains(path)) << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("Add a coding system"))) << message.toStdString();
    EXPECT_EQ(h.ui.unitDepthAtMessage, std::vector<int> { 0 });
    EXPECT_EQ(h.ui.busyChanges, (std::vector<bool> { true, false }));
}

TEST_F(CmdLoadTest, NoSelectionLooksUpABlankName)
{
    h.ui.setListText(ListName::CodeList, QString()); // nothing selected
    h.chosenFile(QStringLiteral("codes.txt"), kAsthmaFile);
    EXPECT_FALSE(CmdLoad_Click(h.ctx));

    const auto lookup = h.store.callsOf("GetCodingSystem");
    ASSERT_EQ(lookup.size(), 1u);
    EXPECT_EQ(lookup[0]->codingSystem->CodingSystemName.text(), QString(50, u' '));
    EXPECT_TRUE(h.store.callsOf("InsertCode").empty());
    ASSERT_EQ(h.ui.messages.size(), 1);
    EXPECT_TRUE(h.ui.messages[0].contains(QStringLiteral("no coding system was selected")))
        << h.ui.messages[0].toStdString();
}

TEST_F(CmdLoadTest, ARefusedCodeRollsBackTheWholeFile)
{
    h.chosenFile(QStringLiteral("codes.txt"), "asthma.doc, J45.20 J45.30\r\n\r\ngout.doc, M10.9 M10.0\r\n");
    h.store.failOp = "InsertCode";
    h.store.failAfter = 2; // the third code, on line 3
    LoadCounts counts;
    EXPECT_FALSE(CmdLoad_Click(h.ctx, &counts));

    EXPECT_EQ(h.store.ops(),
        (Ops { "BeginUnit", "GetCodingSystem", "InsertCode", "InsertCode", "InsertCode", "RollbackUnit" }));
    EXPECT_EQ(h.store.commits, 0);
    EXPECT_EQ(h.store.unitDepth, 0);
    ASSERT_EQ(h.ui.messages.size(), 1);
    const QString& message = h.ui.messages[0];
    EXPECT_TRUE(message.contains(QStringLiteral("codes.txt: line 3: the code \"M10.9\" could not be stored: "
                                                "InsertCode failed")))
        << message.toStdString();
    EXPECT_EQ(h.ui.unitDepthAtMessage, std::vector<int> { 0 });
    EXPECT_EQ(counts.codesStored, 0);
    EXPECT_EQ(h.ui.busyChanges, (std::vector<bool> { true, false }));
}

TEST_F(CmdLoadTest, InsideAnOuterUnitAFailureRollsBackAndReports)
{
    // A batch run's start-up encloses the handlers in its own unit.
    CallStatus status;
    ASSERT_NE(h.store.BeginUnit(status), 0);
    h.vars.RunMode = QStringLiteral("code");
    h.vars.RunAction = QStringLiteral("create"); // a batch action runs
    h.file(QStringLiteral("codes.txt"), kAsthmaFile);
    h.vars.BatchFileDir = h.dir.path() + u'/';
    h.vars.BatchFileName = QStringLiteral("codes.txt");
    h.store.failOp = "InsertCode";
    h.store.failAfter = 1;

    EXPECT_FALSE(CmdLoad_Click(h.ctx));
    EXPECT_EQ(h.store.callsOf("RollbackUnit").size(), 1u);
    EXPECT_TRUE(h.store.callsOf("CommitUnit").empty());
    EXPECT_EQ(h.ui.messages.size(), 1);
}

TEST_F(CmdLoadTest, AUnitThatCannotBeginStoresNothing)
{
    h.chosenFile(QStringLiteral("codes.txt"), kAsthmaFile);
    h.store.failOp = "BeginUnit";
    EXPECT_FALSE(CmdLoad_Click(h.ctx));
    EXPECT_EQ(h.store.ops(), (Ops { "BeginUnit" }));
    ASSERT_EQ(h.ui.messages.size(), 1);
    EXPECT_TRUE(h.ui.messages[0].contains(QStringLiteral("BeginUnit failed"))) << h.ui.messages[0].toStdString();
}

TEST_F(CmdLoadTest, AFailedCommitIsAFailure)
{
    h.chosenFile(QStringLiteral("codes.txt"), kAsthmaFile);
    h.store.failOp = "CommitUnit";
    LoadCounts counts;
    EXPECT_FALSE(CmdLoad_Click(h.ctx, &counts));
    ASSERT_EQ(h.ui.messages.size(), 1);
    EXPECT_TRUE(h.ui.messages[0].contains(QStringLiteral("CommitUnit failed"))) << h.ui.messages[0].toStdString();
    EXPECT_EQ(counts.codesStored, 0);
}

TEST(InputFile, FilterOffersIndexFilesWithoutASpace)
{
    EXPECT_EQ(inputFileFilter(), QStringLiteral("All Files (*.*)|*.*|Index Files(*.txt)|*.txt"));
}

} // namespace
