// Writing a topic index back out: the document fields that give the stored
// names back, the lines of a tree, and the trees no index file can give.
#include "topics/IndexExport.h"

#include "TopicTestSupport.h"
#include "support/HandlerHarness.h"
#include "support/PrintQString.h"
#include "text/IndexLine.h"
#include "topics/IndexBuild.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <memory>
#include <vector>

namespace {

struct FormCase {
    const char* name;
    QString directoryForm;
    bool ok;
    QString field;
};

class FieldForDirectoryForm : public ::testing::TestWithParam<FormCase> { };

TEST_P(FieldForDirectoryForm, GivesTheFormBackThroughTheReader)
{
    QString field;
    ASSERT_EQ(fieldForDirectoryForm(GetParam().directoryForm, field), GetParam().ok);
    if (!GetParam().ok)
        return;
    EXPECT_EQ(field, GetParam().field);
    EXPECT_EQ(documentDirectoryForm(field), GetParam().directoryForm);
}

INSTANTIATE_TEST_SUITE_P(Cases, FieldForDirectoryForm,
    ::testing::Values(FormCase { "NameAndExtension", "pdf\\asthma.htm", true, "asthma.pdf" },
        FormCase { "BareHtm", "htm", true, "" }, // an empty field, or one without a dot
        FormCase { "NoExtension", "\\abc.htm", true, "abc." }, FormCase { "NoName", "pdf\\.htm", true, ".pdf" },
        FormCase { "BackslashInName", "b\\c\\a.htm", true, "c\\a.b" },
        FormCase { "TwoDotsInTheField", "b.htm", true, "b.b.htm" }, // from a.b.pdf
        FormCase { "SpacesKept", "pdf \\ asthma.htm", true, " asthma.pdf " },
        FormCase { "CodePage", QString::fromUtf16(u"pdf\\caf\u00E9.htm"), true, QString::fromUtf16(u"caf\u00E9.pdf") },
        FormCase { "NotHtm", "pdf\\asthma.pdf", false, "" }, FormCase { "TwoDots", "pdf\\a.b.htm", false, "" },
        FormCase { "CutShort", "pdf\\a_very_long_name_cut_at_fifty_characters_by_th", false, "" }),
    [](const auto& info) { return std::string(info.param.name); });

struct StoredCase {
    const char* name;
    QString prefix;
    QString stored;
    bool ok;
    QString field;
};

class FieldForStoredDocument : public ::testing::TestWithParam<StoredCase> { };

TEST_P(FieldForStoredDocument, GivesTheNameBackThroughReaderAndComposition)
{
    QString field;
    ASSERT_EQ(fieldForStoredDocument(GetParam().prefix, GetParam().stored, field), GetParam().ok);
    if (!GetParam().ok)
        return;
    EXPECT_EQ(field, GetParam().field);
    EXPECT_EQ(composeStoredDocument(GetParam().prefix, documentDirectoryForm(field)), GetParam().stored);
}

INSTANTIATE_TEST_SUITE_P(Cases, FieldForStoredDocument,
    ::testing::Values(StoredCase { "Plain", "ADU", "ADU_asthma_pdf.htm", true, "asthma.pdf" },
        StoredCase { "UnderscoreInName", "ADU", "ADU_my_doc_pdf.htm", true, "my_doc.pdf" },
        StoredCase { "NoDirectory", "ADU", "ADU_b_.htm", true, "b." }, // from a.b.pdf or b.
        StoredCase { "EmptyPrefix", "", "_asthma_pdf.htm", true, "asthma.pdf" },
        StoredCase { "ApostropheInName", "ADU", "ADU_o'neil_doc.htm", true, "o'neil.doc" },
        StoredCase { "BackslashInName", "ADU", "ADU_c\\a_b.htm", true, "c\\a.b" },
        StoredCase { "OtherPrefix", "ADU", "CHI_asthma_pdf.htm", false, "" },
        StoredCase { "DirectoryForm", "ADU", "pdf\\asthma.htm", false, "" },
        StoredCase { "NoJoin", "ADU", "ADU_asthma.htm", false, "" },
        StoredCase { "NoName", "ADU", "ADU__pdf.htm", false, "" }),
    [](const auto& info) { return std::string(info.param.name); });

TopicRecord topic(int32_t id, int32_t parent, const QString& description, const QString& document)
{
    TopicRecord t;
    t.TopicID = id;
    t.ModuleID = 7;
    t.ParentID = parent;
    t.HasChild = 0;
    t.Description = description;
    t.PatEdDocument = document;
    return t;
}

struct OutlineCase {
    const char* name;
    std::vector<TopicRecord> topics;
    std::vector<QString> lines; // a line per topic, or "!" + the problem of the last topic
};

class IndexOutlineLines : public ::testing::TestWithParam<OutlineCase> { };

TEST_P(IndexOutlineLines, AreTheIndexFileOfTheTree)
{
    IndexOutline outline(QStringLiteral("ADU"));
    std::vector<QString> got;
    for (const TopicRecord& t : GetParam().topics) {
        QString line;
        QString problem;
        if (!outline.lineFor(t, line, problem)) {
            got.push_back(u'!' + problem);
            break;
        }
        got.push_back(line);
    }
    EXPECT_EQ(got, GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(Cases, IndexOutlineLines,
    ::testing::Values(OutlineCase { "TheExampleFile",
                          { topic(100, 0, "Adult Health", ""), topic(101, 100, "Asthma ", "ADU_asthma_pdf.htm"),
                              topic(102, 100, "Diabetes ", "ADU_diabetes_doc.htm"),
                              topic(103, 102, "Insulin ", "ADU_insulin_pdf.htm"), topic(104, 0, "Child Health ", "") },
                          { "Adult Health", "  Asthma~asthma.pdf~", "  Diabetes~diabetes.doc~",
                              "    Insulin~insulin.pdf~", "Child Health" } },
        OutlineCase { "FirstTopicInDirectoryForm",
            { topic(1, 0, "Top", "pdf\\top.htm"), topic(2, 1, "Child's ", "ADU_kid_doc.htm") },
            { "Top~top.pdf~", "  Child's~kid.doc~" } },
        OutlineCase { "BlankTopicsKeepTheirLevel",
            { topic(1, 0, "", ""), topic(2, 1, "", ""), topic(3, 2, "", ""), topic(4, 0, "", "") },
            { "", "  ", "    ", "" } },
        OutlineCase { "EmptyFieldAndNoDocument",
            { topic(1, 0, "A", "htm"), topic(2, 0, "B ", ""), topic(3, 0, " ", "ADU_x_pdf.htm") },
            { "A~~", "B", "~x.pdf~" } },
        OutlineCase { "UpOneLevelAndBackToTheTop",
            { topic(1, 0, "L1", ""), topic(2, 1, "L2", ""), topic(3, 2, "L3", ""), topic(4, 1, "L2b", ""),
                topic(5, 4, "L3b", ""), topic(6, 0, "Top", "") },
            { "L1", "  L2", "    L3", "  L2b", "    L3b", "Top" } },
        OutlineCase { "TenthLevelSiblings",
            { topic(1, 0, "d1", ""), topic(2, 1, "d2", ""), topic(3, 2, "d3", ""), topic(4, 3, "d4", ""),
                topic(5, 4, "d5", ""), topic(6, 5, "d6", ""), topic(7, 6, "d7", ""), topic(8, 7, "d8", ""),
                topic(9, 8, "d9", ""), topic(10, 9, "d10", ""), topic(11, 9, "d10b", "") },
            { "d1", "  d2", "    d3", "      d4", "        d5", "          d6", "            d7", "              d8",
                "                d9", "                  d10", "                  d10b" } },
        OutlineCase { "UpTwoLevelsCannotBeIndented",
            { topic(1, 0, "L1", ""), topic(2, 1, "L2", ""), topic(3, 2, "L3", ""), topic(4, 3, "L4", ""),
                topic(5, 2, "L3b", ""), topic(6, 1, "L2b", ""), topic(7, 1, "L2c", ""), topic(8, 2, "Late", "") },
            { "L1", "  L2", "    L3", "      L4", "    L3b", "  L2b", "  L2c",
                "!the topic \"Late\" is not where the indentation of an index file can place it (its parent is "
                "number 2)" } },
        OutlineCase { "FirstTopicWithAParent", { topic(5, 4, "Orphan", "") },
            { "!the topic \"Orphan\" is not where the indentation of an index file can place it (its parent is "
              "number 4)" } },
        OutlineCase { "TildeInDescription", { topic(1, 0, "A~B", "") },
            { "!the topic \"A~B\" cannot be written: its description holds a \"~\"" } },
        OutlineCase { "LineBreakInDescription", { topic(1, 0, "A\rB", "") },
            { "!the topic \"A\rB\" cannot be written: its description holds a line break" } },
        OutlineCase { "DocumentOfAnotherModule", { topic(1, 0, "A", ""), topic(2, 0, "B", "CHI_b_pdf.htm") },
            { "A", "!the topic \"B\" cannot be written: no index line gives its document name \"CHI_b_pdf.htm\"" } },
        OutlineCase { "NoDescriptionNamedByNumber", { topic(1, 0, "", "pdf\\a.pdf") },
            { "!the topic number 1 (without description) cannot be written: no index line gives its document name "
              "\"pdf\\a.pdf\"" } },
        OutlineCase { "NotInTheCodePage", { topic(1, 0, QString::fromUtf16(u"\u0416\u0443\u043A"), "") },
            { QString::fromUtf16(u"!the topic \"\u0416\u0443\u043A\" cannot be written in the code page WINDOWS-1252 "
                                 u"(it has no \"\u0416\")") } }),
    [](const auto& info) { return std::string(info.param.name); });

// A tree the builder makes, put through lineFor and read back the way the
// builder reads an index file: the same parents, documents and descriptions.
TEST(IndexOutline, LinesReadBackIntoTheSameTree)
{
    const QString prefix = QStringLiteral("ADU");
    std::vector<TopicRecord> topics;
    std::vector<int32_t> atDepth(12, 0);
    uint32_t seed = 12345;
    const auto next = [&seed](uint32_t range) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % range;
    };
    int depth = 0;
    const QString shapes[] = { "pdf\\doc%1.htm", "htm", "", "\\n%1.htm", "b%1.htm" };
    for (int32_t id = 1; id <= 3000; ++id) {
        const uint32_t move = next(8);
        if (depth == 0 || move == 0)
            depth = 1;
        else if (move <= 3 && depth < 10)
            ++depth;
        else if (move == 4 && depth > 1)
            --depth;
        atDepth[static_cast<size_t>(depth)] = id;
        const QString description = id % 11 == 0 ? QString() : QStringLiteral("Topic's %1 \u00E9").arg(id);
        QString form = shapes[next(5)];
        form = form.contains(u'%') ? form.arg(id) : form;
        const QString stored = topics.empty() ? form : composeStoredDocument(prefix, form);
        topics.push_back(topic(id, depth == 1 ? 0 : atDepth[static_cast<size_t>(depth - 1)], description, stored));
    }

    IndexOutline outline(prefix);
    std::unique_ptr<TopicTree> tree;
    for (const TopicRecord& t : topics) {
        QString line;
        QString problem;
        ASSERT_TRUE(outline.lineFor(t, line, problem)) << qPrintable(problem);
        QString description;
        QString document;
        const int32_t level = splitIndexLine(line, description, document);
        description.replace(QStringLiteral("''"), QStringLiteral("'"));
        EXPECT_EQ(description, t.Description.trimmed()) << qPrintable(line);
        if (!tree) {
            tree = std::make_unique<TopicTree>(level);
            tree->setTop(t.TopicID);
            EXPECT_EQ(t.ParentID, 0);
            EXPECT_EQ(document, t.PatEdDocument.trimmed()) << qPrintable(line);
            continue;
        }
        const TopicTree::Place where = tree->place(level);
        EXPECT_EQ(tree->settle(where, level, t.TopicID), t.ParentID) << "topic " << t.TopicID;
        EXPECT_EQ(composeStoredDocument(prefix, document), t.PatEdDocument.trimmed()) << qPrintable(line);
    }
}

} // namespace

namespace {

// The whole export against the recording library: the module by its name,
// its topics in one list, no unit of work, and the file in the code page.
TEST(ExportTopicIndex, WritesTheModulesTopicsInTheCodePage)
{
    TopicFixture f;
    f.addModule(7, QStringLiteral("ADULT"), QStringLiteral("ADU"));
    f.addModule(8, QStringLiteral("CHILD"), QStringLiteral("CHI"));
    f.store.topics = { topic(12, 0, QString::fromUtf16(u"Caf\u00E9"), "pdf\\caf\u00E9.htm"),
        topic(14, 12, "Children's ", "ADU_kids_doc.htm"), topic(13, 12, "Other module", "") };
    f.store.topics[2].ModuleID = 8;
    const QString path = f.dir.filePath(QStringLiteral("adult.txt"));
    ExportCounts counts;
    ASSERT_EQ(exportTopicIndex(f.ctx, QStringLiteral("ADULT"), path, counts), QString());
    EXPECT_EQ(counts.recordsWritten, 2);
    EXPECT_EQ(f.store.ops(), (std::vector<std::string> { "GetModule", "GetTopics" }));
    const auto lists = f.store.callsOf("GetTopics");
    ASSERT_EQ(lists[0]->topicList.size(), 1u);
    EXPECT_EQ(lists[0]->topicList[0].ModuleID, 7);
    EXPECT_EQ(fileBytes(path), "Caf\xE9~caf\xE9.pdf~\r\n  Children's~kids.doc~\r\n");
}

TEST(ExportTopicIndex, RefusesAndKeepsTheOldFile)
{
    TopicFixture f;
    f.addModule(7, QStringLiteral("ADULT"), QStringLiteral("ADU"));
    f.store.topics = { topic(1, 0, "Fine", ""), topic(2, 0, "Bad~", "") };
    const QString path = f.dir.filePath(QStringLiteral("adult.txt"));
    ASSERT_TRUE(writeBytes(path, "old\r\n"));
    ExportCounts counts;
    EXPECT_EQ(exportTopicIndex(f.ctx, QStringLiteral("ADULT"), path, counts),
        path
            + QStringLiteral(": line 2: the topic \"Bad~\" cannot be written: its description holds a \"~\". "
                             "Nothing was written."));
    EXPECT_EQ(exportTopicIndex(f.ctx, QStringLiteral("NOPE"), path, counts),
        QStringLiteral("No module named \"NOPE\" is in the database; nothing was written."));
    f.store.failOp = "GetTopics";
    EXPECT_EQ(exportTopicIndex(f.ctx, QStringLiteral("ADULT"), path, counts),
        QStringLiteral("The topics of module \"ADULT\" could not be read: GetTopics failed. Nothing was "
                       "written."));
    EXPECT_EQ(fileBytes(path), "old\r\n");
    EXPECT_EQ(QDir(f.dir.path()).entryList(QDir::Files), QStringList { QStringLiteral("adult.txt") });
}

} // namespace
