// Clearing the codes of a coding system, through the recording stand-in.
#include "coding/CmdClear.h"

#include "support/HandlerHarness.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Ops = std::vector<std::string>;

class CmdClearTest : public testing::Test {
protected:
    void SetUp() override
    {
        h.addCodingSystem(3, QStringLiteral("ICD"));
        h.addCodingSystem(70004, QStringLiteral("  CPT  ")); // padded by the data store
        h.ui.fillList(ListName::CodeList, { QStringLiteral("ICD"), QStringLiteral("CPT") }, QStringLiteral("CPT"));
    }
    HandlerHarness<> h;
};

void expectDeletionPattern(const CodeRecord& pattern, int32_t codingSystemId)
{
    EXPECT_EQ(pattern.CodeID, -1);
    EXPECT_EQ(pattern.Code.text(), QString(50, u' '));
    EXPECT_EQ(pattern.CodingSystemID, codingSystemId);
    EXPECT_EQ(pattern.CodeFlag, -1);
    EXPECT_EQ(pattern.Description.text(), QString(100, u' '));
    EXPECT_EQ(pattern.PatEdDocument.text(), QString(50, u' '));
}

TEST_F(CmdClearTest, DeletesTheCodesOfTheSelectedSystemAndRefillsTheList)
{
    ASSERT_TRUE(CmdClear_Click(h.ctx)) << h.ui.messages.join(u'\n').toStdString();

    EXPECT_EQ(
        h.store.ops(), (Ops { "BeginUnit", "GetCodingSystems", "DeleteCodes", "GetCodingSystems", "CommitUnit" }));
    const auto lookups = h.store.callsOf("GetCodingSystems");
    ASSERT_EQ(lookups[0]->codingSystemList.size(), 1u);
    EXPECT_EQ(lookups[0]->codingSystemList[0].CodingSystemID, 0);
    EXPECT_EQ(lookups[0]->codingSystemList[0].CodingSystemName.text(), padded<50>(QStringLiteral("CPT")));
    ASSERT_EQ(lookups[1]->codingSystemList.size(), 1u);
    EXPECT_EQ(lookups[1]->codingSystemList[0].CodingSystemID, 0);
    EXPECT_EQ(lookups[1]->codingSystemList[0].CodingSystemName.text(), QString(50, u' '));

    const auto deletes = h.store.callsOf("DeleteCodes");
    ASSERT_EQ(deletes.size(), 1u);
    expectDeletionPattern(*deletes[0]->code, 70004);

    // Every coding system, trimmed, nothing selected; the window repainted.
    EXPECT_EQ(h.ui.listItems(ListName::CodeList), (QStringList { QStringLiteral("ICD"), QStringLiteral("CPT") }));
    EXPECT_EQ(h.ui.listText(ListName::CodeList), QString());
    EXPECT_EQ(h.ui.refreshes, 1);
    EXPECT_EQ(h.ui.busyChanges, (std::vector<bool> { true, false }));
    EXPECT_TRUE(h.ui.messages.isEmpty());
    EXPECT_EQ(h.store.commits, 1);
    EXPECT_EQ(h.store.unitDepth, 0);
}

TEST_F(CmdClearTest, DeletesForEverySystemOfThatNameInOrder)
{
    h.addCodingSystem(9, QStringLiteral("ICD"));
    h.ui.setListText(ListName::CodeList, QStringLiteral("ICD"));
    int cleared = -1;
    ASSERT_TRUE(CmdClear_Click(h.ctx, &cleared));
    EXPECT_EQ(cleared, 2);

    const auto deletes = h.store.callsOf("DeleteCodes");
    ASSERT_EQ(deletes.size(), 2u);
    expectDeletionPattern(*deletes[0]->code, 3);
    expectDeletionPattern(*deletes[1]->code, 9);
    EXPECT_EQ(h.ui.listItems(ListName::CodeList),
        (QStringList { QStringLiteral("ICD"), QStringLiteral("CPT"), QStringLiteral("ICD") }));
}

TEST_F(CmdClearTest, AnUnknownNameDeletesNothingAndStillRefills)
{
    h.ui.fillList(ListName::CodeList, { QStringLiteral("SNOMED") }, QStringLiteral("SNOMED"));
    int cleared = -1;
    ASSERT_TRUE(CmdClear_Click(h.ctx, &cleared));
    EXPECT_EQ(cleared, 0);
    EXPECT_EQ(h.store.ops(), (Ops { "BeginUnit", "GetCodingSystems", "GetCodingSystems", "CommitUnit" }));
    EXPECT_EQ(h.ui.listItems(ListName::CodeList), (QStringList { QStringLiteral("ICD"), QStringLiteral("CPT") }));
}

TEST_F(CmdClearTest, ClearingTwiceAsksTheSameTwice)
{
    ASSERT_TRUE(CmdClear_Click(h.ctx));
    h.ui.setListText(ListName::CodeList, QStringLiteral("CPT"));
    ASSERT_TRUE(CmdClear_Click(h.ctx));
    EXPECT_EQ(h.store.callsOf("DeleteCodes").size(), 2u);
    EXPECT_EQ(h.store.commits, 2);
}

class BlankClearNames : public CmdClearTest, public testing::WithParamInterface<const char*> { };

TEST_P(BlankClearNames, DeleteNothing)
{
    const QString name = QString::fromUtf8(GetParam());
    h.ui.fillList(ListName::CodeList, { QStringLiteral("ICD"), QStringLiteral("CPT"), name }, name);
    ASSERT_EQ(h.ui.listText(ListName::CodeList), name);

    EXPECT_FALSE(CmdClear_Click(h.ctx));
    EXPECT_TRUE(h.store.calls.empty());
    ASSERT_EQ(h.ui.messages.size(), 1);
    EXPECT_TRUE(h.ui.messages[0].startsWith(QStringLiteral("No coding system was named, so no codes were deleted")));
    EXPECT_EQ(h.ui.listItems(ListName::CodeList).size(), 3);
    EXPECT_TRUE(h.ui.busyChanges.empty());
}

INSTANTIATE_TEST_SUITE_P(Names, BlankClearNames, testing::Values("", " ", "     "));

TEST_F(CmdClearTest, NoSelectionDeletesNothing)
{
    h.ui.setListText(ListName::CodeList, QString());
    EXPECT_FALSE(CmdClear_Click(h.ctx));
    EXPECT_TRUE(h.store.calls.empty());
    EXPECT_EQ(h.ui.messages.size(), 1);
}

TEST_F(CmdClearTest, AFailedLookUpDeletesNothing)
{
    // A look-up the binding refuses (a name the code page cannot hold) or the
    // library fails is not taken for "found these".
    h.store.failOp = "GetCodingSystems";
    int cleared = -1;
    EXPECT_FALSE(CmdClear_Click(h.ctx, &cleared));
    EXPECT_EQ(cleared, 0);
    EXPECT_EQ(h.store.ops(), (Ops { "BeginUnit", "GetCodingSystems", "RollbackUnit" }));
    ASSERT_EQ(h.ui.messages.size(), 1);
    EXPECT_TRUE(h.ui.messages[0].contains(QStringLiteral("could not be looked up (GetCodingSystems failed)")))
        << h.ui.messages[0].toStdString();
    EXPECT_EQ(h.ui.unitDepthAtMessage, std::vector<int> { 0 });
}

TEST_F(CmdClearTest, ARefusedDeletionRollsBackAndLeavesTheList)
{
    h.addCodingSystem(9, QStringLiteral("CPT"));
    h.store.failOp = "DeleteCodes";
    h.store.failAfter = 1; // the second system's deletion
    int cleared = -1;
    EXPECT_FALSE(CmdClear_Click(h.ctx, &cleared));
    EXPECT_EQ(cleared, 0); // rolled back: nothing was deleted

    EXPECT_EQ(h.store.ops(), (Ops { "BeginUnit", "GetCodingSystems", "DeleteCodes", "DeleteCodes", "RollbackUnit" }));
    EXPECT_EQ(h.store.commits, 0);
    ASSERT_EQ(h.ui.messages.size(), 1);
    EXPECT_TRUE(h.ui.messages[0].contains(QStringLiteral("\"CPT\" could not be deleted: DeleteCodes failed")))
        << h.ui.messages[0].toStdString();
    EXPECT_EQ(h.ui.unitDepthAtMessage, std::vector<int> { 0 });
    EXPECT_EQ(h.ui.listItems(ListName::CodeList), (QStringList { QStringLiteral("ICD"), QStringLiteral("CPT") }));
    EXPECT_EQ(h.ui.listText(ListName::CodeList), QStringLiteral("CPT"));
    EXPECT_EQ(h.ui.refreshes, 0);
    EXPECT_EQ(h.ui.busyChanges, (std::vector<bool> { true, false }));
}

TEST_F(CmdClearTest, AUnitThatCannotBeginDeletesNothing)
{
    h.store.failOp = "BeginUnit";
    EXPECT_FALSE(CmdClear_Click(h.ctx));
    EXPECT_EQ(h.store.ops(), (Ops { "BeginUnit" }));
    ASSERT_EQ(h.ui.messages.size(), 1);
    EXPECT_TRUE(h.ui.messages[0].contains(QStringLiteral("BeginUnit failed")));
    EXPECT_EQ(h.ui.busyChanges, (std::vector<bool> { true, false }));
}

TEST_F(CmdClearTest, AFailedCommitIsAFailure)
{
    h.store.failOp = "CommitUnit";
    EXPECT_FALSE(CmdClear_Click(h.ctx));
    ASSERT_EQ(h.ui.messages.size(), 1);
    EXPECT_TRUE(h.ui.messages[0].contains(QStringLiteral("CommitUnit failed")));
    EXPECT_EQ(h.ui.refreshes, 0);
}

} // namespace
