// Clearing a module with its topic index, checked through the recording stand-ins.
#include "modules/ClearTopic.h"

#include "support/HandlerHarness.h"

#include <gtest/gtest.h>

namespace {

TEST(ClearTopic, DeletesEveryModuleOfTheNameModuleFirstThenRefills)
{
    HandlerHarness<> f;
    f.addModule(4, QStringLiteral("KEEP"), QStringLiteral("K"), false);
    f.addModule(5, QStringLiteral("ADULT"), QStringLiteral("A"));
    f.addModule(9, QStringLiteral("ADULT"), QStringLiteral("B"), false);

    int deleted = -1;
    ASSERT_TRUE(ClearTopic_Click(f.ctx, &deleted));
    EXPECT_EQ(deleted, 2);
    const std::vector<std::string> expected {"BeginUnit",     "GetModules",   "DeleteModules", "DeleteTopics",
                                             "DeleteModules", "DeleteTopics", "CommitUnit",    "GetModules"};
    EXPECT_EQ(f.store.ops(), expected);

    // Look-up by the selected name.
    const ModuleRecord& filter = f.store.callsOf("GetModules")[0]->moduleList.at(0);
    EXPECT_EQ(filter.ModuleID, 0);
    EXPECT_EQ(filter.ModuleName.text(), QStringLiteral("ADULT").leftJustified(50, u' '));
    // Delete requests: the module by identifier, then every topic of it.
    const auto modules = f.store.callsOf("DeleteModules");
    const auto topics = f.store.callsOf("DeleteTopics");
    const int32_t ids[] = {5, 9};
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(modules[i]->module->ModuleID, ids[i]);
        EXPECT_EQ(modules[i]->module->ModuleName.text(), QString(50, u' '));
        EXPECT_EQ(modules[i]->module->DirectoryPrefix.text(), QString(50, u' '));
        const TopicRecord& t = *topics[i]->topic;
        EXPECT_EQ(t.TopicID, -1);
        EXPECT_EQ(t.ModuleID, ids[i]);
        EXPECT_EQ(t.ParentID, -1);
        EXPECT_EQ(t.HasChild, -1);
        EXPECT_EQ(t.PatEdDocument.text(), QString(50, u' '));
        EXPECT_EQ(t.Description.text(), QString(80, u' '));
    }
    // Refill asks for all modules and lists what the stand-in returns; nothing selected.
    const ModuleRecord& all = f.store.callsOf("GetModules")[1]->moduleList.at(0);
    EXPECT_EQ(all.ModuleID, 0);
    EXPECT_EQ(all.ModuleName.text(), QString(50, u' '));
    EXPECT_EQ(all.DirectoryPrefix.text(), QString(50, u' '));
    EXPECT_EQ(f.ui.listItems(ListName::ModuleList), QStringList {QStringLiteral("KEEP")});
    EXPECT_EQ(f.ui.selectedIndex(ListName::ModuleList), -1);
    EXPECT_GE(f.ui.refreshes, 1);
    EXPECT_EQ(f.ui.busyChanges, (std::vector<bool> {true, false}));
}

TEST(ClearTopic, RefilledNamesAreTrimmed)
{
    HandlerHarness<> f;
    f.addModule(1, QStringLiteral("  padded  "), QStringLiteral("P"), false);
    f.addModule(2, QStringLiteral("X"), QStringLiteral("X"));
    ASSERT_TRUE(ClearTopic_Click(f.ctx));
    EXPECT_EQ(f.ui.listItems(ListName::ModuleList).at(0), QStringLiteral("padded"));
}

TEST(ClearTopic, NameNotFoundDeletesNothing)
{
    HandlerHarness<> f;
    f.addModule(1, QStringLiteral("OTHER"), QStringLiteral("O"), false);
    f.ui.addListItem(ListName::ModuleList, QStringLiteral("NEW"));
    f.ui.setListText(ListName::ModuleList, QStringLiteral("NEW"));
    int deleted = -1;
    ASSERT_TRUE(ClearTopic_Click(f.ctx, &deleted));
    EXPECT_EQ(deleted, 0);
    EXPECT_TRUE(f.store.callsOf("DeleteModules").empty());
    EXPECT_EQ(f.ui.listItems(ListName::ModuleList), QStringList {QStringLiteral("OTHER")});
}

TEST(ClearTopic, NoSelectionShowsTheMessageAndKeepsTheList)
{
    HandlerHarness<> f;
    f.addModule(1, QStringLiteral("A"), QStringLiteral("A"), false);
    f.ui.addListItem(ListName::ModuleList, QStringLiteral("A"));
    EXPECT_FALSE(ClearTopic_Click(f.ctx));
    EXPECT_EQ(f.ui.messages, (QStringList {QStringLiteral("You must first select a Module from the available list.")}));
    EXPECT_TRUE(f.store.calls.empty());
    EXPECT_EQ(f.ui.listItems(ListName::ModuleList), QStringList {QStringLiteral("A")});
    EXPECT_TRUE(f.ui.pointerRestored());
}

TEST(ClearTopic, FailedDeleteRollsBackRefillsAndReports)
{
    HandlerHarness<> f;
    f.addModule(5, QStringLiteral("ADULT"), QStringLiteral("A"));
    f.store.failOp = "DeleteTopics";
    EXPECT_FALSE(ClearTopic_Click(f.ctx));
    EXPECT_EQ(f.store.commits, 0);
    EXPECT_EQ(f.store.rollbacks, 1);
    ASSERT_EQ(f.ui.messages.size(), 1u);
    EXPECT_TRUE(f.ui.messages[0].contains(QStringLiteral("\"ADULT\""))) << qPrintable(f.ui.messages[0]);
    // The list still shows what the database holds, and the pointer is back.
    EXPECT_EQ(f.store.ops().back(), "GetModules");
    EXPECT_TRUE(f.ui.pointerRestored());
    // The message comes after the unit has ended.
    const auto ops = f.store.ops();
    EXPECT_NE(std::find(ops.begin(), ops.end(), "RollbackUnit"), ops.end());
}

} // namespace
