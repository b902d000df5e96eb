// The models behind "Library Contents": the topic tree with its filter, the
// code table read a page at a time with its search and sort, the choice of
// module and coding system across refreshes, and reads that fail.
#include "core/LibraryContents.h"
#include "support/ListedContents.h"

#include <QAbstractItemModelTester>
#include <QtTest>

namespace {

ContentsTopic topic(int32_t id, int32_t parent, const char* description, const char* document = "")
{
    return { id, parent, false, QString::fromLatin1(description), QString::fromLatin1(document) };
}

// The tree as indented lines "description|document", two blanks a level.
QStringList outline(const QAbstractItemModel& model, const QModelIndex& parent = QModelIndex(), int depth = 0)
{
    QStringList lines;
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex description = model.index(row, TopicTreeModel::DescriptionColumn, parent);
        const QModelIndex document = model.index(row, TopicTreeModel::DocumentColumn, parent);
        lines << QString(depth * 2, u' ') + description.data().toString() + u'|' + document.data().toString();
        lines << outline(model, description, depth + 1);
    }
    return lines;
}

std::vector<ContentsCode> numberedCodes(int count, int firstId = 1)
{
    std::vector<ContentsCode> codes;
    for (int i = 0; i < count; ++i)
        codes.push_back({ firstId + i, QStringLiteral("C%1").arg(i, 5, 10, QLatin1Char('0')),
            QStringLiteral("htm\\doc%1.htm").arg(i % 7), QStringLiteral("Description %1").arg(count - i) });
    return codes;
}

QStringList column(const QAbstractItemModel& model, int col)
{
    QStringList values;
    for (int row = 0; row < model.rowCount(); ++row)
        values << model.index(row, col).data().toString();
    return values;
}

} // namespace

class TestContentsModels : public QObject {
    Q_OBJECT

private slots:
    void topicTree_data();
    void topicTree();
    void filterShowsMatchesAndTheirAncestors();
    void codesArePagedOnDemand();
    void searchNarrowsAndStartsAgain();
    void sort_data();
    void sort();
    void sortingBackByCodePagesAgain();
    void refreshKeepsOrFallsBack();
    void countLines_data();
    void countLines();
    void failingReads_data();
    void failingReads();
};

void TestContentsModels::topicTree_data()
{
    QTest::addColumn<std::vector<ContentsTopic>>("topics");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("topLevel");

    QTest::newRow("none") << std::vector<ContentsTopic> {} << QStringList() << 0;
    QTest::newRow("flat") << std::vector<ContentsTopic> { topic(1, 0, "A", "a.htm"), topic(2, 0, "B") }
                          << QStringList({ "A|a.htm", "B|" }) << 2;
    QTest::newRow("nested") << std::vector<ContentsTopic> { topic(10, 0, "Adult Health", "pdf\\adult.htm"),
        topic(11, 10, "Asthma", "ADU_asthma_pdf.htm"), topic(12, 10, "Diabetes", "ADU_diabetes_doc.htm"),
        topic(13, 12, "Insulin", "ADU_insulin_pdf.htm"), topic(14, 0, "Child Health") }
                            << QStringList({ "Adult Health|pdf\\adult.htm", "  Asthma|ADU_asthma_pdf.htm",
                                   "  Diabetes|ADU_diabetes_doc.htm", "    Insulin|ADU_insulin_pdf.htm",
                                   "Child Health|" })
                            << 2;
    // A parent that is not a topic of the module, one stored later, and the
    // topic itself: each such topic is shown at the top level.
    QTest::newRow("missing parent") << std::vector<ContentsTopic> { topic(1, 0, "A"), topic(2, 99, "Lost") }
                                    << QStringList({ "A|", "Lost|" }) << 2;
    QTest::newRow("parent stored later") << std::vector<ContentsTopic> { topic(1, 2, "A"), topic(2, 1, "B") }
                                         << QStringList({ "A|", "  B|" }) << 1;
    QTest::newRow("own parent") << std::vector<ContentsTopic> { topic(5, 5, "Self") } << QStringList({ "Self|" }) << 1;
}

void TestContentsModels::topicTree()
{
    QFETCH(std::vector<ContentsTopic>, topics);
    QFETCH(QStringList, expected);
    QFETCH(int, topLevel);

    TopicTreeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setTopics(topics);
    QCOMPARE(outline(model), expected);
    QCOMPARE(model.topicCount(), static_cast<int>(topics.size()));
    QCOMPARE(model.topLevelCount(), topLevel);
    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Description"));
    QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Document"));
    if (!topics.empty()) {
        const QModelIndex first = model.index(0, 0);
        QCOMPARE(first.data(TopicTreeModel::TopicIdRole).toInt(), topics.front().id);
        QVERIFY(!(model.flags(first) & Qt::ItemIsEditable));
    }
}

void TestContentsModels::filterShowsMatchesAndTheirAncestors()
{
    ListedContents source;
    source.moduleList = { { 3, QStringLiteral("ADU") } };
    source.topicsOf[3] = { topic(10, 0, "Adult Health"), topic(11, 10, "Asthma"), topic(12, 10, "Diabetes"),
        topic(13, 12, "Insulin pumps"), topic(14, 12, "Diet"), topic(15, 0, "Child Health"),
        topic(16, 15, "Asthma in children"), topic(17, 0, "Dental care") };
    LibraryContents contents(source);
    QAbstractItemModelTester tester(&contents.filteredTopics(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    QVERIFY(contents.refresh(QString(), QString()));
    QCOMPARE(contents.module(), QStringLiteral("ADU"));
    QCOMPARE(outline(contents.filteredTopics()).size(), 8);

    struct Case {
        const char* filter;
        QStringList shown;
        const char* counts;
    };
    const Case cases[] = {
        { "insulin", { "Adult Health|", "  Diabetes|", "    Insulin pumps|" },
            "8 topics, 3 at the top level; 1 matches the filter" },
        { "ASTHMA", { "Adult Health|", "  Asthma|", "Child Health|", "  Asthma in children|" },
            "8 topics, 3 at the top level; 2 match the filter" },
        { "Di", { "Adult Health|", "  Diabetes|", "    Diet|" }, "8 topics, 3 at the top level; 2 match the filter" },
        { "in ", { "Adult Health|", "  Diabetes|", "    Insulin pumps|", "Child Health|", "  Asthma in children|" },
            "8 topics, 3 at the top level; 2 match the filter" },
        { "Health", { "Adult Health|", "Child Health|" }, "8 topics, 3 at the top level; 2 match the filter" },
        { "nothing like it", {}, "8 topics, 3 at the top level; 0 match the filter" },
        { "",
            { "Adult Health|", "  Asthma|", "  Diabetes|", "    Insulin pumps|", "    Diet|", "Child Health|",
                "  Asthma in children|", "Dental care|" },
            "8 topics, 3 at the top level" },
    };
    for (const Case& c : cases) {
        contents.setTopicFilter(QString::fromLatin1(c.filter));
        QCOMPARE(outline(contents.filteredTopics()), c.shown);
        QCOMPARE(contents.topicCounts(), QString::fromLatin1(c.counts));
    }
    QCOMPARE(source.readsOf(QStringLiteral("topics")), 1); // filtering reads nothing
}

void TestContentsModels::codesArePagedOnDemand()
{
    ListedContents source;
    source.codesOf[2] = numberedCodes(450);
    // (QAbstractItemModelTester is left out here: it fetches more by itself.)
    CodeTableModel model(source);
    QCOMPARE(model.rowCount(), 0);
    QVERIFY(!model.canFetchMore(QModelIndex()));

    model.setSearch(2, QString());
    QCOMPARE(model.rowCount(), 200);
    QCOMPARE(model.index(0, CodeTableModel::CodeColumn).data().toString(), QStringLiteral("C00000"));
    QCOMPARE(model.index(199, CodeTableModel::CodeColumn).data().toString(), QStringLiteral("C00199"));
    QCOMPARE(model.index(3, CodeTableModel::DocumentColumn).data().toString(), QStringLiteral("htm\\doc3.htm"));
    QCOMPARE(model.index(3, CodeTableModel::DescriptionColumn).data().toString(), QStringLiteral("Description 447"));
    QCOMPARE(model.index(3, 0).data(CodeTableModel::CodeIdRole).toInt(), 4);
    QVERIFY(model.canFetchMore(QModelIndex()));
    QVERIFY(!model.complete());

    model.fetchMore(QModelIndex());
    QCOMPARE(model.rowCount(), 400);
    model.fetchMore(QModelIndex());
    QCOMPARE(model.rowCount(), 450);
    QVERIFY(!model.canFetchMore(QModelIndex()));
    QVERIFY(model.complete());
    model.fetchMore(QModelIndex()); // nothing more to read
    QCOMPARE(model.rowCount(), 450);
    QCOMPARE(column(model, CodeTableModel::CodeColumn), [] {
        QStringList all;
        for (const ContentsCode& code : numberedCodes(450))
            all << code.code;
        return all;
    }());

    // One code more than a page each time, every page after the last code shown.
    QCOMPARE(source.reads,
        QStringList({ "codes 2 '' after ''/0 limit 201", "codes 2 '' after 'C00199'/200 limit 201",
            "codes 2 '' after 'C00399'/400 limit 201" }));
}

void TestContentsModels::searchNarrowsAndStartsAgain()
{
    ListedContents source;
    source.systemList = { { 2, QStringLiteral("ICD") } };
    source.codesOf[2] = numberedCodes(1000);
    LibraryContents contents(source);
    contents.codes().setPageSize(50);
    QVERIFY(contents.refresh(QString(), QStringLiteral("ICD")));
    QCOMPARE(contents.codes().rowCount(), 50);
    contents.codes().fetchMore(QModelIndex());
    QCOMPARE(contents.codes().rowCount(), 100);

    contents.setCodeSearch(QStringLiteral("c0012"));
    QCOMPARE(contents.codes().rowCount(), 10);
    QVERIFY(contents.codes().complete());
    QCOMPARE(column(contents.codes(), 0).first(), QStringLiteral("C00120"));
    QCOMPARE(contents.codeCounts(), QStringLiteral("10 codes matching \"c0012\""));
    QCOMPARE(source.reads.last(), QStringLiteral("codes 2 'c0012' after ''/0 limit 51"));

    contents.setCodeSearch(QStringLiteral("C0"));
    QCOMPARE(contents.codes().rowCount(), 50);
    QCOMPARE(contents.codeCounts(), QStringLiteral("The first 50 codes matching \"C0\"; more are read as you scroll"));

    contents.setCodeSearch(QString());
    QCOMPARE(contents.codes().rowCount(), 50);
    QCOMPARE(contents.codeCounts(), QStringLiteral("The first 50 codes; more are read as you scroll"));
}

void TestContentsModels::sort_data()
{
    QTest::addColumn<int>("sortColumn");
    QTest::addColumn<int>("order");
    QTest::addColumn<QStringList>("codes");

    // Five codes; equal documents keep code order.
    QTest::newRow("code descending") << 0 << int(Qt::DescendingOrder) << QStringList({ "E", "D", "C", "B", "A" });
    QTest::newRow("document ascending") << 1 << int(Qt::AscendingOrder) << QStringList({ "B", "D", "A", "C", "E" });
    QTest::newRow("document descending") << 1 << int(Qt::DescendingOrder) << QStringList({ "E", "A", "C", "B", "D" });
    QTest::newRow("description ascending") << 2 << int(Qt::AscendingOrder) << QStringList({ "C", "A", "E", "D", "B" });
    QTest::newRow("description descending")
        << 2 << int(Qt::DescendingOrder) << QStringList({ "B", "D", "E", "A", "C" });
}

void TestContentsModels::sort()
{
    QFETCH(int, sortColumn);
    QFETCH(int, order);
    QFETCH(QStringList, codes);

    ListedContents source;
    source.codesOf[4] = { { 1, "A", "m.htm", "asthma" }, { 2, "B", "a.htm", "Wheezing" }, { 3, "C", "m.htm", "Acne" },
        { 4, "D", "a.htm", "rash" }, { 5, "E", "z.htm", "Eczema" } };
    // (QAbstractItemModelTester is left out here: it fetches more by itself.)
    CodeTableModel model(source);
    model.setPageSize(2);
    model.setSearch(4, QString());
    QCOMPARE(model.rowCount(), 2);

    model.sort(sortColumn, Qt::SortOrder(order));
    // Every code was read at once, then ordered.
    QCOMPARE(source.reads.last(), QStringLiteral("codes 4 '' after 'B'/2 limit 0"));
    QVERIFY(model.complete());
    QVERIFY(!model.canFetchMore(QModelIndex()));
    QCOMPARE(column(model, CodeTableModel::CodeColumn), codes);
    QCOMPARE(model.sortColumn(), sortColumn);

    // A new search keeps the order.
    model.setSearch(4, QStringLiteral(" "));
    QCOMPARE(column(model, CodeTableModel::CodeColumn), codes);
    QCOMPARE(source.reads.last(), QStringLiteral("codes 4 ' ' after ''/0 limit 0"));
}

void TestContentsModels::sortingBackByCodePagesAgain()
{
    ListedContents source;
    source.codesOf[4] = numberedCodes(30);
    CodeTableModel model(source);
    model.setPageSize(10);
    model.setSearch(4, QString());
    model.sort(CodeTableModel::DescriptionColumn, Qt::AscendingOrder);
    QCOMPARE(model.rowCount(), 30);
    QCOMPARE(model.index(0, 0).data().toString(), QStringLiteral("C00029")); // "Description 1"
    model.sort(CodeTableModel::CodeColumn, Qt::AscendingOrder);
    QCOMPARE(model.rowCount(), 10);
    QVERIFY(model.canFetchMore(QModelIndex()));
    QCOMPARE(model.index(0, 0).data().toString(), QStringLiteral("C00000"));
}

void TestContentsModels::refreshKeepsOrFallsBack()
{
    ListedContents source;
    source.moduleList = { { 1, QStringLiteral("ADU") }, { 2, QStringLiteral("PED") } };
    source.systemList = { { 7, QStringLiteral("ICD") }, { 8, QStringLiteral("CPT") } };
    source.topicsOf[2] = { topic(1, 0, "Child Health") };
    LibraryContents contents(source);

    struct Step {
        std::vector<ContentsEntry> modules;
        const char* preferredModule;
        const char* preferredSystem;
        const char* module;
        const char* system;
    };
    const Step steps[] = {
        // Nothing chosen yet: the preferred names.
        { source.moduleList, "PED", "CPT", "PED", "CPT" },
        // Chosen names that still exist stay.
        { source.moduleList, "ADU", "ICD", "PED", "CPT" },
        // PED is gone: the preferred name, then the first of the list.
        { { { 1, QStringLiteral("ADU") }, { 3, QStringLiteral("ONC") } }, "ONC", "", "ONC", "CPT" },
        { { { 1, QStringLiteral("ADU") } }, "NOPE", "", "ADU", "CPT" },
        { {}, "ADU", "", "", "CPT" },
    };
    for (const Step& step : steps) {
        source.moduleList = step.modules;
        QVERIFY(contents.refresh(QString::fromLatin1(step.preferredModule), QString::fromLatin1(step.preferredSystem)));
        QCOMPARE(contents.module(), QString::fromLatin1(step.module));
        QCOMPARE(contents.codingSystem(), QString::fromLatin1(step.system));
    }
    // Preferred first (the window opened from the main window's selection).
    source.moduleList = { { 1, QStringLiteral("ADU") }, { 2, QStringLiteral("PED") } };
    QVERIFY(contents.refresh(QStringLiteral("PED"), QStringLiteral("ICD"), true));
    QCOMPARE(contents.module(), QStringLiteral("PED"));
    QCOMPARE(contents.codingSystem(), QStringLiteral("ICD"));
    QVERIFY(contents.refresh(QString(), QStringLiteral("NDC"), true));
    QCOMPARE(contents.module(), QStringLiteral("PED"));
    QCOMPARE(contents.codingSystem(), QStringLiteral("ICD"));

    source.moduleList.clear();
    QVERIFY(contents.refresh(QString(), QString()));
    QCOMPARE(contents.moduleNames(), QStringList());
    QCOMPARE(contents.codingSystemNames(), QStringList({ "ICD", "CPT" }));
    QCOMPARE(contents.topicCounts(), QStringLiteral("No module chosen"));
    QCOMPARE(contents.topicTree().rowCount(), 0);

    // A name outside the list chooses nothing.
    QVERIFY(contents.chooseCodingSystem(QStringLiteral("NDC")));
    QCOMPARE(contents.codingSystem(), QString());
    QCOMPARE(contents.codes().rowCount(), 0);
    QCOMPARE(contents.codeCounts(), QStringLiteral("No coding system chosen"));
}

void TestContentsModels::countLines_data()
{
    QTest::addColumn<int>("codes");
    QTest::addColumn<QString>("expected");

    QTest::newRow("none") << 0 << "0 codes";
    QTest::newRow("one") << 1 << "1 code";
    QTest::newRow("a full page exactly") << 200 << "200 codes";
    QTest::newRow("one more than a page") << 201 << "The first 200 codes; more are read as you scroll";
}

void TestContentsModels::countLines()
{
    QFETCH(int, codes);
    QFETCH(QString, expected);
    ListedContents source;
    source.systemList = { { 2, QStringLiteral("ICD") } };
    source.codesOf[2] = numberedCodes(codes);
    LibraryContents contents(source);
    QVERIFY(contents.refresh(QString(), QString()));
    QCOMPARE(contents.codingSystem(), QStringLiteral("ICD"));
    QCOMPARE(contents.codeCounts(), expected);
}

void TestContentsModels::failingReads_data()
{
    QTest::addColumn<QString>("failing");
    QTest::addColumn<QString>("topicsError");
    QTest::addColumn<QString>("codesError");

    QTest::newRow("modules") << "modules"
                             << "modules failed: the database is not available"
                             << "";
    QTest::newRow("topics") << "topics"
                            << "topics failed: the database is not available"
                            << "";
    QTest::newRow("codingSystems") << "codingSystems"
                                   << ""
                                   << "codingSystems failed: the database is not available";
    QTest::newRow("codes") << "codes"
                           << ""
                           << "codes failed: the database is not available";
}

void TestContentsModels::failingReads()
{
    QFETCH(QString, failing);
    QFETCH(QString, topicsError);
    QFETCH(QString, codesError);

    ListedContents source;
    source.moduleList = { { 1, QStringLiteral("ADU") } };
    source.systemList = { { 2, QStringLiteral("ICD") } };
    source.topicsOf[1] = { topic(1, 0, "Adult Health") };
    source.codesOf[2] = numberedCodes(300);
    LibraryContents contents(source);
    QVERIFY(contents.refresh(QString(), QString()));
    QCOMPARE(contents.topicTree().topicCount(), 1);
    QCOMPARE(contents.codes().rowCount(), 200);

    source.failing = { failing };
    QVERIFY(!contents.refresh(QString(), QString()));
    QCOMPARE(contents.topicsError(), topicsError);
    QCOMPARE(contents.codesError(), codesError);
    // What failed shows nothing; the other side is read as before.
    QCOMPARE(contents.topicTree().topicCount(), topicsError.isEmpty() ? 1 : 0);
    QCOMPARE(contents.codes().rowCount(), codesError.isEmpty() ? 200 : 0);
    const QString topicLine = failing == QLatin1String("modules") ? QStringLiteral("No module chosen")
        : failing == QLatin1String("topics")                      ? QStringLiteral("The topics could not be read")
                                                                  : QStringLiteral("1 topic, 1 at the top level");
    const QString codeLine = failing == QLatin1String("codingSystems") ? QStringLiteral("No coding system chosen")
        : failing == QLatin1String("codes")                            ? QStringLiteral("The codes could not be read")
                                            : QStringLiteral("The first 200 codes; more are read as you scroll");
    QCOMPARE(contents.topicCounts(), topicLine);
    QCOMPARE(contents.codeCounts(), codeLine);
    QVERIFY(!contents.codes().canFetchMore(QModelIndex()) || codesError.isEmpty());

    // The next read that succeeds clears the error.
    source.failing.clear();
    QVERIFY(contents.refresh(QString(), QString()));
    QCOMPARE(contents.topicsError(), QString());
    QCOMPARE(contents.codesError(), QString());
    QCOMPARE(contents.topicTree().topicCount(), 1);
    QCOMPARE(contents.codes().rowCount(), 200);
}

QTEST_GUILESS_MAIN(TestContentsModels)
#include "test_contents_models.moc"
