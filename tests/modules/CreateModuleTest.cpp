// Creating modules, through the recording stand-in for the library.
#include "modules/CreateModule.h"

#include "support/HandlerHarness.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Ops = std::vector<std::string>;

const QString kMessage = QStringLiteral("You must supply both a module name and a directory prefix");

class CreateModuleTest : public testing::Test {
protected:
    void SetUp() override
    {
        ModuleRecord existing;
        existing.ModuleID = 1;
        existing.ModuleName = QStringLiteral("Adult");
        existing.DirectoryPrefix = QStringLiteral("AD");
        h.store.modules.push_back(existing);
        h.ui.fillList(ListName::ModuleList, { QStringLiteral("Adult") }, QStringLiteral("Adult"));
    }
    HandlerHarness<> h; // InsertModule adds to the model that GetModules lists
};

TEST_F(CreateModuleTest, StoresTheModuleAndRefillsTheList)
{
    ASSERT_TRUE(CreateModule_Click(h.ctx, QStringLiteral("Pediatric"), QStringLiteral("PED")))
        << h.ui.messages.join(u'\n').toStdString();

    EXPECT_EQ(h.store.ops(), (Ops { "BeginUnit", "InsertModule", "GetModules", "CommitUnit" }));
    const ModuleRecord& sent = *h.store.callsOf("InsertModule")[0]->module;
    EXPECT_EQ(sent.ModuleID, 0);
    EXPECT_EQ(sent.ModuleName.text(), padded<50>(QStringLiteral("Pediatric")));
    EXPECT_EQ(sent.DirectoryPrefix.text(), padded<50>(QStringLiteral("PED")));

    // Element 0 of the look-up carries nothing: all modules.
    const auto lookups = h.store.callsOf("GetModules");
    ASSERT_EQ(lookups[0]->moduleList.size(), 1u);
    EXPECT_EQ(lookups[0]->moduleList[0], ModuleRecord());
    EXPECT_EQ(lookups[0]->moduleList[0].ModuleName.text(), QString(50, QChar(u'\0')));

    EXPECT_EQ(
        h.ui.listItems(ListName::ModuleList), (QStringList { QStringLiteral("Adult"), QStringLiteral("Pediatric") }));
    EXPECT_EQ(h.ui.listText(ListName::ModuleList), QString()); // nothing selected
    EXPECT_EQ(h.ui.refreshes, 1);
    EXPECT_TRUE(h.ui.busyChanges.empty()); // the pointer is not changed
    EXPECT_TRUE(h.ui.messages.isEmpty());
    EXPECT_EQ(h.store.commits, 1);
    EXPECT_EQ(h.store.unitDepth, 0);
}

struct TextCase {
    const char* name;
    QString modName;
    QString modDirPrefix;
    QString sentName; // all 50 characters
    QString sentPrefix; // all 50 characters
    QString listed;
};

class CreateModuleTexts : public CreateModuleTest, public testing::WithParamInterface<TextCase> { };

TEST_P(CreateModuleTexts, CutsOrPadsTo50AndListsTheNameTrimmed)
{
    const TextCase& c = GetParam();
    ASSERT_TRUE(CreateModule_Click(h.ctx, c.modName, c.modDirPrefix));
    const ModuleRecord& sent = *h.store.callsOf("InsertModule")[0]->module;
    EXPECT_EQ(sent.ModuleName.text(), c.sentName);
    EXPECT_EQ(sent.DirectoryPrefix.text(), c.sentPrefix);
    EXPECT_EQ(h.ui.listItems(ListName::ModuleList).back(), c.listed);
}

const QString k60 = QString(50, u'n') + QStringLiteral("0123456789");

INSTANTIATE_TEST_SUITE_P(Texts, CreateModuleTexts,
    testing::Values(TextCase { "tenCharacters", QStringLiteral("Cardiology"), QStringLiteral("CARD"),
                        QStringLiteral("Cardiology") + QString(40, u' '), padded<50>(QStringLiteral("CARD")),
                        QStringLiteral("Cardiology") },
        TextCase { "sixtyCharacters", k60, k60, k60.left(50), k60.left(50), k60.left(50) },
        TextCase { "surroundingBlanks", QStringLiteral("  Women's Health  "), QStringLiteral(" WH"),
            padded<50>(QStringLiteral("  Women's Health  ")), padded<50>(QStringLiteral(" WH")),
            QStringLiteral("Women's Health") },
        TextCase {
            "blanksPass", QStringLiteral(" "), QStringLiteral(" "), QString(50, u' '), QString(50, u' '), QString() }),
    [](const testing::TestParamInfo<TextCase>& info) { return std::string(info.param.name); });

struct EmptyCase {
    const char* name;
    QString modName;
    QString modDirPrefix;
};

class CreateModuleEmpty : public CreateModuleTest, public testing::WithParamInterface<EmptyCase> { };

TEST_P(CreateModuleEmpty, ShowsTheMessageAndDoesNothingElse)
{
    const EmptyCase& c = GetParam();
    EXPECT_FALSE(CreateModule_Click(h.ctx, c.modName, c.modDirPrefix));
    EXPECT_EQ(h.ui.messages, QStringList { kMessage });
    EXPECT_TRUE(h.store.calls.empty());
    EXPECT_EQ(h.ui.listItems(ListName::ModuleList), QStringList { QStringLiteral("Adult") });
    EXPECT_EQ(h.ui.listText(ListName::ModuleList), QStringLiteral("Adult")); // the selection stays
    EXPECT_EQ(h.ui.refreshes, 0);
}

INSTANTIATE_TEST_SUITE_P(Texts, CreateModuleEmpty,
    testing::Values(EmptyCase { "noName", QString(), QStringLiteral("PED") },
        EmptyCase { "noPrefix", QStringLiteral("Pediatric"), QString() }, EmptyCase { "neither", QString(), QString() },
        EmptyCase { "emptyNotNull", QStringLiteral(""), QStringLiteral("PED") }),
    [](const testing::TestParamInfo<EmptyCase>& info) { return std::string(info.param.name); });

// A name or prefix that the code page cannot hold would be stored as '?' and
// then found under another name: it is refused before the library is called.
class CreateModuleOutsideTheCodePage : public CreateModuleTest, public testing::WithParamInterface<EmptyCase> { };

TEST_P(CreateModuleOutsideTheCodePage, IsRefusedAndNothingIsStored)
{
    const EmptyCase& c = GetParam();
    EXPECT_FALSE(CreateModule_Click(h.ctx, c.modName, c.modDirPrefix));
    ASSERT_EQ(h.ui.messages.size(), 1);
    EXPECT_TRUE(h.ui.messages[0].contains(QStringLiteral("cannot be represented in the code page")))
        << h.ui.messages[0].toStdString();
    EXPECT_TRUE(h.store.calls.empty());
    EXPECT_EQ(h.ui.listItems(ListName::ModuleList), QStringList { QStringLiteral("Adult") });
    EXPECT_EQ(h.ui.listText(ListName::ModuleList), QStringLiteral("Adult"));
}

INSTANTIATE_TEST_SUITE_P(Texts, CreateModuleOutsideTheCodePage,
    testing::Values(EmptyCase { "cyrillicName", QString::fromUtf16(u"\u0416\u0443\u043A"), QStringLiteral("ZHU") },
        EmptyCase { "polishPrefix", QStringLiteral("Lodz"), QString::fromUtf16(u"\u0141\u00F3d\u017A") },
        EmptyCase { "emojiName", QString::fromUtf16(u"Heart \U0001F493"), QStringLiteral("HRT") }),
    [](const testing::TestParamInfo<EmptyCase>& info) { return std::string(info.param.name); });

TEST_F(CreateModuleTest, TwoPressesSendTwoInserts)
{
    ASSERT_TRUE(CreateModule_Click(h.ctx, QStringLiteral("Pediatric"), QStringLiteral("PED")));
    ASSERT_TRUE(CreateModule_Click(h.ctx, QStringLiteral("Pediatric"), QStringLiteral("PED")));
    EXPECT_EQ(h.store.callsOf("InsertModule").size(), 2u);
    // The list shows what the data store holds.
    EXPECT_EQ(h.ui.listItems(ListName::ModuleList),
        (QStringList { QStringLiteral("Adult"), QStringLiteral("Pediatric"), QStringLiteral("Pediatric") }));
}

TEST_F(CreateModuleTest, ARefusedModuleLeavesTheListAndTellsWhy)
{
    h.store.failOp = "InsertModule";
    EXPECT_FALSE(CreateModule_Click(h.ctx, QStringLiteral("Pediatric"), QStringLiteral("PED")));
    EXPECT_EQ(h.store.ops(), (Ops { "BeginUnit", "InsertModule", "RollbackUnit" }));
    ASSERT_EQ(h.ui.messages.size(), 1);
    EXPECT_TRUE(h.ui.messages[0].contains(QStringLiteral("\"Pediatric\" could not be created: InsertModule failed")))
        << h.ui.messages[0].toStdString();
    EXPECT_EQ(h.ui.unitDepthAtMessage, std::vector<int> { 0 });
    EXPECT_EQ(h.ui.listItems(ListName::ModuleList), QStringList { QStringLiteral("Adult") });
    EXPECT_EQ(h.ui.listText(ListName::ModuleList), QStringLiteral("Adult"));
    EXPECT_EQ(h.ui.refreshes, 0);
}

TEST_F(CreateModuleTest, AUnitThatCannotBeginStoresNothing)
{
    h.store.failOp = "BeginUnit";
    EXPECT_FALSE(CreateModule_Click(h.ctx, QStringLiteral("Pediatric"), QStringLiteral("PED")));
    EXPECT_EQ(h.store.ops(), (Ops { "BeginUnit" }));
    ASSERT_EQ(h.ui.messages.size(), 1);
    EXPECT_TRUE(h.ui.messages[0].contains(QStringLiteral("BeginUnit failed")));
}

} // namespace
