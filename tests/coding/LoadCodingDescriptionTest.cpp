// Loading coding descriptions, through the recording stand-in for the library.
#include "coding/LoadCodingDescription.h"

#include "support/HandlerHarness.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Ops = std::vector<std::string>;

// A library that writes into the fields SetCode is not given, as the real one
// may: the next call must carry what this one left.
class WritingBackExternals : public RecordingExternals {
public:
    int32_t SetCode(CodeRecord& record, CallStatus& status) override
    {
        const int32_t rc = RecordingExternals::SetCode(record, status);
        ++m_calls;
        record.CodeID = 1000 + m_calls;
        record.CodingSystemID = 7;
        record.CodeFlag = m_calls;
        record.PatEdDocument = QStringLiteral("doc\\written%1.htm").arg(m_calls);
        return rc;
    }

private:
    int m_calls = 0;
};

const QByteArray kIcdFile = "\"J45.20\",\"Asthma, mild\"\r\n"
                            "\"H81.0 \",\"Meniere's disease\"\r\n";

class LoadCodingDescriptionTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(h.dir.isValid());
        h.ui.fillList(ListName::CodeList, { QStringLiteral("ICD"), QStringLiteral("CPT") }, QStringLiteral("ICD"));
    }
    HandlerHarness<> h;
};

TEST_F(LoadCodingDescriptionTest, SendsEachCodeWithItsDescriptionAsRead)
{
    h.chosenFile(QStringLiteral("descriptions.txt"), kIcdFile);
    LoadCounts counts;
    ASSERT_TRUE(LoadCodeDescription_Click(h.ctx, &counts)) << h.ui.messages.join(u'\n').toStdString();

    // Only SetCode: the coding system is not looked up.
    EXPECT_EQ(h.store.ops(), (Ops { "BeginUnit", "SetCode", "SetCode", "CommitUnit" }));
    const auto sets = h.store.callsOf("SetCode");
    ASSERT_EQ(sets.size(), 2u);
    EXPECT_EQ(sets[0]->code->Code.text(), padded<50>(QStringLiteral("J45.20")));
    EXPECT_EQ(sets[0]->code->Description.text(), padded<100>(QStringLiteral("Asthma, mild")));
    EXPECT_EQ(sets[1]->code->Code.text(), padded<50>(QStringLiteral("H81.0")));
    // One apostrophe stays one.
    EXPECT_EQ(sets[1]->code->Description.text(), padded<100>(QStringLiteral("Meniere's disease")));

    // The first record goes out as nobody assigned it: zeros and NULs.
    const CodeRecord& first = *sets[0]->code;
    EXPECT_EQ(first.CodeID, 0);
    EXPECT_EQ(first.CodingSystemID, 0);
    EXPECT_EQ(first.CodeFlag, 0);
    EXPECT_EQ(first.PatEdDocument.text(), QString(50, QChar(u'\0')));

    EXPECT_EQ(h.ui.dialog.filter(), QStringLiteral("All Files (*.*)|*.*|Index Files(*.txt)|*.txt"));
    EXPECT_EQ(h.ui.dialog.filterIndex(), 2);
    EXPECT_EQ(h.ui.dialog.unitDepthWhenShown, 0);
    EXPECT_EQ(h.ui.busyChanges, (std::vector<bool> { true, false }));
    EXPECT_TRUE(h.ui.messages.isEmpty());
    EXPECT_EQ(h.store.commits, 1);
    EXPECT_EQ(h.store.unitDepth, 0);
    EXPECT_EQ(counts.linesRead, 2);
    EXPECT_EQ(counts.codesStored, 2);
}

TEST(LoadCodingDescriptionCarryOver, TheRecordKeepsWhatThePreviousCallLeft)
{
    HandlerHarness<WritingBackExternals> h;
    ASSERT_TRUE(h.dir.isValid());
    h.chosenFile(QStringLiteral("descriptions.txt"), "11111|one|\r\n\r\n22222|two|\r\n33333|three|\r\n");
    ASSERT_TRUE(LoadCodingDescription(h.ctx, QStringLiteral("CPT")));

    const auto sets = h.store.callsOf("SetCode");
    ASSERT_EQ(sets.size(), 3u);
    EXPECT_EQ(sets[0]->code->CodeID, 0);
    for (size_t i = 1; i < sets.size(); ++i) {
        const CodeRecord& sent = *sets[i]->code;
        EXPECT_EQ(sent.CodeID, static_cast<int32_t>(1000 + i)) << i;
        EXPECT_EQ(sent.CodingSystemID, 7) << i;
        EXPECT_EQ(sent.CodeFlag, static_cast<int32_t>(i)) << i;
        EXPECT_EQ(sent.PatEdDocument.trimmed(), QStringLiteral("doc\\written%1.htm").arg(i)) << i;
    }
    EXPECT_EQ(sets[1]->code->Code.trimmed(), QStringLiteral("22222"));
    EXPECT_EQ(sets[2]->code->Description.trimmed(), QStringLiteral("three"));
}

struct LayoutCase {
    const char* name;
    const char* codeSys; // nullptr: nothing selected
    QByteArray bytes;
    std::vector<std::pair<const char*, const char*>> sent; // code, description (trimmed)
    int64_t linesSkipped;
};

class DescriptionLayouts : public LoadCodingDescriptionTest, public testing::WithParamInterface<LayoutCase> { };

TEST_P(DescriptionLayouts, ChoosesTheLayoutByTheExactName)
{
    const LayoutCase& c = GetParam();
    h.chosenFile(QStringLiteral("descriptions.txt"), c.bytes);
    const QString codeSys = c.codeSys ? QString::fromUtf8(c.codeSys) : QString();
    LoadCounts counts;
    ASSERT_TRUE(LoadCodingDescription(h.ctx, codeSys, &counts)) << h.ui.messages.join(u'\n').toStdString();

    const auto sets = h.store.callsOf("SetCode");
    ASSERT_EQ(sets.size(), c.sent.size());
    for (size_t i = 0; i < c.sent.size(); ++i) {
        EXPECT_EQ(sets[i]->code->Code.trimmed(), QString::fromUtf8(c.sent[i].first)) << i;
        EXPECT_EQ(sets[i]->code->Description.trimmed(), QString::fromUtf8(c.sent[i].second)) << i;
    }
    EXPECT_EQ(counts.linesSkipped, c.linesSkipped);
    EXPECT_EQ(counts.codesStored, static_cast<int64_t>(c.sent.size()));
}

INSTANTIATE_TEST_SUITE_P(Files, DescriptionLayouts,
    testing::Values(LayoutCase { "icd", "ICD", "\"J45.20\",\"Asthma\"\r\n", { { "J45.20", "Asthma" } }, 0 },
        LayoutCase { "icdExactly11", "ICD", "xABCDEFyyyz\r\n", { { "ABCDEF", "" } }, 0 },
        LayoutCase { "icdTooShort", "ICD", "xABCDEFyyy\r\n\"I10   \",\"High\"\r\n", { { "I10", "High" } }, 1 },
        LayoutCase { "lowerCaseIcd", "icd", "\"J45.20\",\"Asthma\"\r\n", { { "\"J45.", "0\",\"Asthma" } }, 0 },
        LayoutCase { "icdWithBlank", "ICD ", "\"J45.20\",\"Asthma\"\r\n", { { "\"J45.", "0\",\"Asthma" } }, 0 },
        LayoutCase { "noSelection", nullptr, "89101|Inhaler|\r\n", { { "89101", "Inhaler" } }, 0 },
        LayoutCase { "other", "CPT", "89101|Inhaler|\r\n89102|Peak flow|",
            { { "89101", "Inhaler" }, { "89102", "Peak flow" } }, 0 },
        LayoutCase { "otherExactly7", "CPT", "12345|z\r\n", { { "12345", "" } }, 0 },
        LayoutCase { "otherTooShort", "CPT", "12345|\r\n1|\r\n", {}, 2 },
        LayoutCase { "emptyLines", "CPT", "\r\n\r\n89101|Inhaler|\r\n\n", { { "89101", "Inhaler" } }, 3 },
        LayoutCase { "twoQuotesStayTwo", "CPT", "12345|a''b|\r\n", { { "12345", "a''b" } }, 0 },
        LayoutCase { "crOnly", "CPT", "11111|one|\r22222|two|\r", { { "11111", "one" }, { "22222", "two" } }, 0 },
        LayoutCase {
            "lastLineUnterminated", "CPT", "11111|one|\r\n22222|two|", { { "11111", "one" }, { "22222", "two" } }, 0 }),
    [](const testing::TestParamInfo<LayoutCase>& info) { return std::string(info.param.name); });

TEST_F(LoadCodingDescriptionTest, CutsTheDescriptionTo100Characters)
{
    QString description;
    for (int i = 0; i < 12; ++i)
        description += QStringLiteral("Meniere's "); // 120 characters, one apostrophe each ten
    h.chosenFile(QStringLiteral("descriptions.txt"), (QStringLiteral("12345|") + description + u'|').toLatin1());
    LoadCounts counts;
    ASSERT_TRUE(LoadCodingDescription(h.ctx, QStringLiteral("CPT"), &counts));

    const auto sets = h.store.callsOf("SetCode");
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(sets[0]->code->Description.text(), description.left(100));
    EXPECT_EQ(counts.descriptionsCut, 1);
}

TEST_F(LoadCodingDescriptionTest, ACancelledDialogEndsSilently)
{
    h.ui.dialog.nextAnswer.reset(); // the operator cancels
    EXPECT_TRUE(LoadCodeDescription_Click(h.ctx));
    EXPECT_TRUE(h.store.calls.empty());
    EXPECT_TRUE(h.ui.messages.isEmpty());
    // The pointer was busy from the dialog's close, also with no file.
    EXPECT_EQ(h.ui.busyChanges, (std::vector<bool> { true, false }));
}

TEST_F(LoadCodingDescriptionTest, TheWindowAlwaysAsks)
{
    // Even with a "code" command line that opened the window.
    h.vars.RunMode = QStringLiteral("code");
    h.chosenFile(QStringLiteral("descriptions.txt"), kIcdFile);
    EXPECT_TRUE(LoadCodeDescription_Click(h.ctx));
    EXPECT_EQ(h.ui.dialog.shown, 1);
    EXPECT_EQ(h.store.callsOf("SetCode").size(), 2u);
}

TEST_F(LoadCodingDescriptionTest, ABatchRunTakesTheFileFromTheCommandLine)
{
    const QString path = h.file(QStringLiteral("descriptions.txt"), kIcdFile);
    h.vars.RunMode = QStringLiteral("code");
    h.vars.RunAction = QStringLiteral("description"); // a batch action runs
    h.vars.BatchFileDir = h.dir.path() + u'/';
    h.vars.BatchFileName = QStringLiteral("descriptions.txt");
    ASSERT_TRUE(LoadCodingDescription(h.ctx, QStringLiteral("ICD"))) << h.ui.messages.join(u'\n').toStdString();
    EXPECT_EQ(h.ui.dialog.shown, 0);
    EXPECT_EQ(h.ui.dialog.fileName(), path);
    EXPECT_EQ(h.store.callsOf("SetCode").size(), 2u);
}

TEST_F(LoadCodingDescriptionTest, ABatchRunWithoutAFileFails)
{
    h.vars.RunMode = QStringLiteral("code");
    h.vars.RunAction = QStringLiteral("description"); // a batch action runs
    EXPECT_FALSE(LoadCodingDescription(h.ctx, QStringLiteral("ICD")));
    ASSERT_EQ(h.ui.messages.size(), 1);
    EXPECT_TRUE(h.ui.messages[0].startsWith(QStringLiteral("No coding description file was named")));
    EXPECT_TRUE(h.store.calls.empty());
    EXPECT_EQ(h.ui.busyChanges, (std::vector<bool> { true, false }));
}

TEST_F(LoadCodingDescriptionTest, AMissingFileIsNamedAndNothingIsStored)
{
    h.ui.dialog.nextAnswer = h.dir.filePath(QStringLiteral("no-such-descriptions.txt"));
    EXPECT_FALSE(LoadCodeDescription_Click(h.ctx));
    ASSERT_EQ(h.ui.messages.size(), 1);
    EXPECT_TRUE(h.ui.messages[0].contains(QStringLiteral("no-such-descriptions.txt")))
        << h.ui.messages[0].toStdString();
    EXPECT_TRUE(h.store.calls.empty());
    EXPECT_EQ(h.ui.busyChanges, (std::vector<bool> { true, false }));
}

TEST_F(LoadCodingDescriptionTest, ARefusedDescriptionRollsBackTheWholeFile)
{
    h.chosenFile(QStringLiteral("descriptions.txt"), "11111|one|\r\n22222|two|\r\n\r\n33333|three|\r\n44444|four|\r\n");
    h.store.failOp = "SetCode";
    h.store.failAfter = 2;
    LoadCounts counts;
    EXPECT_FALSE(LoadCodingDescription(h.ctx, QStringLiteral("CPT"), &counts));

    EXPECT_EQ(h.store.ops(), (Ops { "BeginUnit", "SetCode", "SetCode", "SetCode", "RollbackUnit" }));
    ASSERT_EQ(h.ui.messages.size(), 1);
    const QString& message = h.ui.messages[0];
    EXPECT_TRUE(message.contains(QStringLiteral("descriptions.txt: line 4: the description of the code \"33333\" could "
                                                "not be stored: SetCode failed")))
        << message.toStdString();
    EXPECT_EQ(h.ui.unitDepthAtMessage, std::vector<int> { 0 });
    EXPECT_EQ(h.store.commits, 0);
    EXPECT_EQ(counts.codesStored, 0);
}

} // namespace
