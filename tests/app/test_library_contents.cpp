// "Library Contents" over a stand-in source: opened from View, preselected
// from the main window's lists, its two tabs, following the main window's
// selection, reading again after each command, and failed reads shown in
// the window.
#include "app/LibraryContentsWindow.h"
#include "app/PatEdConfig.h"
#include "support/ListedContents.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableView>
#include <QTreeView>
#include <QtTest>

namespace {

std::vector<ContentsCode> manyCodes(int count)
{
    std::vector<ContentsCode> codes;
    for (int i = 0; i < count; ++i)
        codes.push_back({ i + 1, QStringLiteral("K%1").arg(i, 5, 10, QLatin1Char('0')), QStringLiteral("k.htm"),
            QStringLiteral("Code number %1").arg(i) });
    return codes;
}

template <typename T> T* child(QWidget* window, const char* name)
{
    T* found = window->findChild<T*>(QString::fromLatin1(name));
    if (!found)
        qFatal("no %s in the window", name);
    return found;
}

QStringList comboItems(QComboBox* box)
{
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items << box->itemText(i);
    return items;
}

} // namespace

class TestLibraryContents : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void greyedWithoutASource();
    void opensOnTheMainWindowsSelection();
    void resizableWindowOfItsOwn();
    void topicsTab();
    void filterAsYouType();
    void codesTabPagesAsItScrolls();
    void searchBox();
    void sortByHeader();
    void followsTheMainWindowsSelection();
    void readsAgainAfterEveryCommand_data();
    void readsAgainAfterEveryCommand();
    void failedReadsAreShownInTheWindow();
    void closesWithTheMainWindow();

private:
    LibraryContentsWindow* open();

    std::unique_ptr<ListedContents> m_source;
    std::unique_ptr<PatEdConfig> m_window;
};

void TestLibraryContents::init()
{
    m_source = std::make_unique<ListedContents>();
    m_source->moduleList = { { 1, QStringLiteral("ADU") }, { 2, QStringLiteral("PED") } };
    m_source->systemList = { { 5, QStringLiteral("ICD") }, { 6, QStringLiteral("CPT") } };
    m_source->topicsOf[1] = { { 1, 0, true, QStringLiteral("Adult Health"), QStringLiteral("pdf\\adult.htm") },
        { 2, 1, false, QStringLiteral("Asthma"), QStringLiteral("ADU_asthma_pdf.htm") } };
    m_source->topicsOf[2] = { { 3, 0, true, QStringLiteral("Child Health"), QString() },
        { 4, 3, true, QStringLiteral("Growing up"), QString() },
        { 5, 4, false, QStringLiteral("Teeth"), QStringLiteral("PED_teeth_doc.htm") },
        { 6, 0, false, QStringLiteral("Vaccines"), QString() } };
    m_source->codesOf[5]
        = { { 1, QStringLiteral("J45.20"), QStringLiteral("pdf\\asthma.htm"), QStringLiteral("Asthma, mild") },
              { 2, QStringLiteral("I10"), QStringLiteral("doc\\bp.htm"), QStringLiteral("Hypertension") } };
    m_source->codesOf[6] = manyCodes(1000);

    m_window = std::make_unique<PatEdConfig>();
    m_window->setContentsSource(m_source.get());
    for (const char* name : { "ADU", "PED" })
        m_window->addListItem(ListName::ModuleList, QString::fromLatin1(name));
    for (const char* name : { "ICD", "CPT" })
        m_window->addListItem(ListName::CodeList, QString::fromLatin1(name));
    m_window->setListText(ListName::ModuleList, QStringLiteral("PED"));
    m_window->setListText(ListName::CodeList, QStringLiteral("ICD"));
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestLibraryContents::cleanup()
{
    m_window.reset();
    m_source.reset();
    QVERIFY2(QApplication::topLevelWidgets().isEmpty(), "a window was left open");
    QVERIFY(QApplication::overrideCursor() == nullptr);
}

LibraryContentsWindow* TestLibraryContents::open()
{
    auto* action = m_window->findChild<QAction*>(QStringLiteral("LibraryContents"));
    if (!action || !action->isEnabled())
        qFatal("View > Library Contents cannot be chosen");
    action->trigger();
    LibraryContentsWindow* contents = m_window->contentsWindow();
    if (!contents || !contents->isVisible())
        qFatal("Library Contents did not open");
    return contents;
}

void TestLibraryContents::greyedWithoutASource()
{
    PatEdConfig window;
    auto* action = window.findChild<QAction*>(QStringLiteral("LibraryContents"));
    QVERIFY(action);
    QVERIFY(!action->isEnabled());
    action->trigger();
    QVERIFY(window.contentsWindow() == nullptr);
}

void TestLibraryContents::opensOnTheMainWindowsSelection()
{
    LibraryContentsWindow* contents = open();
    QCOMPARE(contents->windowTitle(), QStringLiteral("Library Contents"));
    QCOMPARE(comboItems(child<QComboBox>(contents, "ModuleChoice")), QStringList({ "ADU", "PED" }));
    QCOMPARE(child<QComboBox>(contents, "ModuleChoice")->currentText(), QStringLiteral("PED"));
    QCOMPARE(comboItems(child<QComboBox>(contents, "SystemChoice")), QStringList({ "ICD", "CPT" }));
    QCOMPARE(child<QComboBox>(contents, "SystemChoice")->currentText(), QStringLiteral("ICD"));
    auto* tabs = child<QTabWidget>(contents, "ContentsTabs");
    QCOMPARE(tabs->count(), 2);
    QCOMPARE(tabs->tabText(LibraryContentsWindow::topicsTab), QStringLiteral("Topics"));
    QCOMPARE(tabs->tabText(LibraryContentsWindow::codesTab), QStringLiteral("Codes"));

    // Opened again, it takes the main window's selection anew.
    contents->close();
    m_window->setListText(ListName::ModuleList, QStringLiteral("ADU"));
    QCOMPARE(open(), contents);
    QCOMPARE(child<QComboBox>(contents, "ModuleChoice")->currentText(), QStringLiteral("ADU"));
    QCOMPARE(child<QLabel>(contents, "TopicCounts")->text(), QStringLiteral("2 topics, 1 at the top level"));
}

void TestLibraryContents::resizableWindowOfItsOwn()
{
    LibraryContentsWindow* contents = open();
    QVERIFY(contents->isWindow());
    QCOMPARE(contents->parentWidget(), m_window.get());
    QVERIFY(contents->minimumSize() != contents->maximumSize());
    const QSize before = child<QTreeView>(contents, "TopicTree")->size();
    contents->resize(contents->size() + QSize(200, 150));
    QTRY_COMPARE(child<QTreeView>(contents, "TopicTree")->size(), before + QSize(200, 150));
    // The main window's layout is as it was.
    QCOMPARE(m_window->centralWidget()->size(), QSize(368, 253));
}

void TestLibraryContents::topicsTab()
{
    LibraryContentsWindow* contents = open();
    auto* tree = child<QTreeView>(contents, "TopicTree");
    QAbstractItemModel* model = tree->model();
    QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Description"));
    QCOMPARE(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Document"));
    QCOMPARE(model->rowCount(), 2);
    QCOMPARE(model->index(0, 0).data().toString(), QStringLiteral("Child Health"));
    QCOMPARE(model->index(1, 0).data().toString(), QStringLiteral("Vaccines"));
    const QModelIndex growing = model->index(0, 0, model->index(0, 0));
    QCOMPARE(growing.data().toString(), QStringLiteral("Growing up"));
    QCOMPARE(model->index(0, 1, growing).data().toString(), QStringLiteral("PED_teeth_doc.htm"));
    QVERIFY(!tree->isExpanded(model->index(0, 0)));
    QCOMPARE(child<QLabel>(contents, "TopicCounts")->text(), QStringLiteral("4 topics, 2 at the top level"));
    QVERIFY(!child<QLabel>(contents, "TopicsMessage")->isVisible());

    // Another module from the combo box.
    child<QComboBox>(contents, "ModuleChoice")->setCurrentText(QStringLiteral("ADU"));
    QCOMPARE(model->index(0, 0).data().toString(), QStringLiteral("Adult Health"));
    QCOMPARE(child<QLabel>(contents, "TopicCounts")->text(), QStringLiteral("2 topics, 1 at the top level"));
    // The main window's selection stays as it was.
    QCOMPARE(m_window->listText(ListName::ModuleList), QStringLiteral("PED"));
}

void TestLibraryContents::filterAsYouType()
{
    LibraryContentsWindow* contents = open();
    auto* tree = child<QTreeView>(contents, "TopicTree");
    auto* filter = child<QLineEdit>(contents, "TopicFilter");
    QTest::keyClicks(filter, QStringLiteral("tee"));
    QAbstractItemModel* model = tree->model();
    QCOMPARE(model->rowCount(), 1);
    const QModelIndex top = model->index(0, 0);
    QCOMPARE(top.data().toString(), QStringLiteral("Child Health"));
    const QModelIndex teeth = model->index(0, 0, model->index(0, 0, top));
    QCOMPARE(teeth.data().toString(), QStringLiteral("Teeth"));
    // The matches are shown unfolded.
    QVERIFY(tree->isExpanded(top));
    QVERIFY(tree->isExpanded(model->index(0, 0, top)));
    QCOMPARE(child<QLabel>(contents, "TopicCounts")->text(),
        QStringLiteral("4 topics, 2 at the top level; 1 matches the filter"));

    filter->clear();
    QCOMPARE(model->rowCount(), 2);
    QCOMPARE(child<QLabel>(contents, "TopicCounts")->text(), QStringLiteral("4 topics, 2 at the top level"));
}

void TestLibraryContents::codesTabPagesAsItScrolls()
{
    LibraryContentsWindow* contents = open();
    child<QTabWidget>(contents, "ContentsTabs")->setCurrentIndex(LibraryContentsWindow::codesTab);
    auto* table = child<QTableView>(contents, "CodeTable");
    QAbstractItemModel* model = table->model();
    QCOMPARE(model->rowCount(), 2);
    QCOMPARE(model->index(0, 0).data().toString(), QStringLiteral("I10"));
    QCOMPARE(model->index(0, 1).data().toString(), QStringLiteral("doc\\bp.htm"));
    QCOMPARE(model->index(0, 2).data().toString(), QStringLiteral("Hypertension"));
    QCOMPARE(child<QLabel>(contents, "CodeCounts")->text(), QStringLiteral("2 codes"));

    child<QComboBox>(contents, "SystemChoice")->setCurrentText(QStringLiteral("CPT"));
    QCOMPARE(model->rowCount(), 200);
    QCOMPARE(child<QLabel>(contents, "CodeCounts")->text(),
        QStringLiteral("The first 200 codes; more are read as you scroll"));
    // Scrolling to the end reads the next page, and only that.
    const int pagesBefore = m_source->readsOf(QStringLiteral("codes 6"));
    QTRY_VERIFY(table->verticalScrollBar()->maximum() > 0);
    table->verticalScrollBar()->setValue(table->verticalScrollBar()->maximum());
    QTRY_COMPARE(model->rowCount(), 400);
    QCOMPARE(m_source->readsOf(QStringLiteral("codes 6")), pagesBefore + 1);
    QCOMPARE(child<QLabel>(contents, "CodeCounts")->text(),
        QStringLiteral("The first 400 codes; more are read as you scroll"));
}

void TestLibraryContents::searchBox()
{
    LibraryContentsWindow* contents = open();
    child<QComboBox>(contents, "SystemChoice")->setCurrentText(QStringLiteral("CPT"));
    auto* search = child<QLineEdit>(contents, "CodeSearch");
    QAbstractItemModel* model = child<QTableView>(contents, "CodeTable")->model();

    // Return searches at once.
    QTest::keyClicks(search, QStringLiteral("K0012"));
    QTest::keyClick(search, Qt::Key_Return);
    QCOMPARE(model->rowCount(), 10);
    QCOMPARE(model->index(0, 0).data().toString(), QStringLiteral("K00120"));
    QCOMPARE(child<QLabel>(contents, "CodeCounts")->text(), QStringLiteral("10 codes matching \"K0012\""));
    QCOMPARE(m_source->reads.last(), QStringLiteral("codes 6 'K0012' after ''/0 limit 201"));

    // Typing alone searches once the keys pause.
    QTest::keyClick(search, Qt::Key_Backspace);
    QTRY_COMPARE(model->rowCount(), 100);
    QCOMPARE(m_source->reads.last(), QStringLiteral("codes 6 'K001' after ''/0 limit 201"));
}

void TestLibraryContents::sortByHeader()
{
    LibraryContentsWindow* contents = open();
    child<QTabWidget>(contents, "ContentsTabs")->setCurrentIndex(LibraryContentsWindow::codesTab);
    auto* table = child<QTableView>(contents, "CodeTable");
    QHeaderView* header = table->horizontalHeader();
    QCOMPARE(header->sortIndicatorSection(), 0);
    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);

    const int description = header->sectionViewportPosition(2) + header->sectionSize(2) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(description, header->height() / 2));
    QCOMPARE(header->sortIndicatorSection(), 2);
    QCOMPARE(table->model()->index(0, 2).data().toString(), QStringLiteral("Asthma, mild"));
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(description, header->height() / 2));
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
    QCOMPARE(table->model()->index(0, 2).data().toString(), QStringLiteral("Hypertension"));
}

void TestLibraryContents::followsTheMainWindowsSelection()
{
    LibraryContentsWindow* contents = open();
    m_window->list(ListName::ModuleList)->setCurrentRow(0);
    QCOMPARE(child<QComboBox>(contents, "ModuleChoice")->currentText(), QStringLiteral("ADU"));
    QCOMPARE(child<QTreeView>(contents, "TopicTree")->model()->index(0, 0).data().toString(),
        QStringLiteral("Adult Health"));
    m_window->list(ListName::CodeList)->setCurrentRow(1);
    QCOMPARE(child<QComboBox>(contents, "SystemChoice")->currentText(), QStringLiteral("CPT"));
    QCOMPARE(child<QTableView>(contents, "CodeTable")->model()->rowCount(), 200);
}

void TestLibraryContents::readsAgainAfterEveryCommand_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("trigger");
    for (const char* name : { "BuildTopic", "ClearTopic" })
        QTest::newRow(name) << name << "action";
    for (const char* name : { "CreateModule", "CmdLoad", "LoadCodeDescription" })
        QTest::newRow(name) << name << "button";
}

void TestLibraryContents::readsAgainAfterEveryCommand()
{
    QFETCH(QString, command);
    QFETCH(QString, trigger);

    LibraryContentsWindow* contents = open();
    // The command changes the database and refills the lists; the window
    // reads nothing while it runs and everything once it has ended.
    int readsDuringCommand = -1;
    auto change = [&]() {
        const qsizetype before = m_source->reads.size();
        m_source->moduleList.push_back({ 9, QStringLiteral("NEW") });
        m_source->topicsOf[2].push_back({ 7, 6, false, QStringLiteral("Flu"), QStringLiteral("PED_flu_doc.htm") });
        m_source->codesOf[5].push_back({ 3, QStringLiteral("A01"), QString(), QStringLiteral("Typhoid") });
        m_window->clearList(ListName::ModuleList);
        for (const char* name : { "ADU", "PED", "NEW" })
            m_window->addListItem(ListName::ModuleList, QString::fromLatin1(name));
        m_window->setListText(ListName::ModuleList, QStringLiteral("NEW"));
        readsDuringCommand = static_cast<int>(m_source->reads.size() - before);
    };
    auto nothing = []() {};
    PatEdConfig::Commands commands { nothing, nothing, nothing, nothing, nothing, nothing };
    if (command == QLatin1String("BuildTopic"))
        commands.BuildTopic = change;
    else if (command == QLatin1String("ClearTopic"))
        commands.ClearTopic = change;
    else if (command == QLatin1String("CreateModule"))
        commands.CreateModule = change;
    else if (command == QLatin1String("CmdLoad"))
        commands.CmdLoad = change;
    else
        commands.LoadCodeDescription = change;
    m_window->setCommands(commands);

    auto* tabs = m_window->findChild<QTabWidget*>(QStringLiteral("SSTab1"));
    if (trigger == QLatin1String("action")) {
        m_window->findChild<QAction*>(command)->trigger();
    } else {
        tabs->setCurrentIndex(command == QLatin1String("CreateModule") ? 0 : 1);
        QTest::mouseClick(m_window->findChild<QPushButton*>(command), Qt::LeftButton);
    }
    QCOMPARE(readsDuringCommand, 0);
    QCOMPARE(comboItems(child<QComboBox>(contents, "ModuleChoice")), QStringList({ "ADU", "PED", "NEW" }));
    // The window's own choices stay.
    QCOMPARE(child<QComboBox>(contents, "ModuleChoice")->currentText(), QStringLiteral("PED"));
    QCOMPARE(child<QLabel>(contents, "TopicCounts")->text(), QStringLiteral("5 topics, 2 at the top level"));
    QCOMPARE(child<QLabel>(contents, "CodeCounts")->text(), QStringLiteral("3 codes"));
    QCOMPARE(child<QTableView>(contents, "CodeTable")->model()->index(0, 0).data().toString(), QStringLiteral("A01"));
}

void TestLibraryContents::failedReadsAreShownInTheWindow()
{
    LibraryContentsWindow* contents = open();
    m_source->failing = { QStringLiteral("topics"), QStringLiteral("codes") };
    child<QPushButton>(contents, "RefreshContents")->click();
    auto* topicsMessage = child<QLabel>(contents, "TopicsMessage");
    auto* codesMessage = child<QLabel>(contents, "CodesMessage");
    QVERIFY(topicsMessage->isVisible());
    QCOMPARE(topicsMessage->text(),
        QStringLiteral("Could not read from the library: topics failed: the database is not available"));
    QCOMPARE(child<QTreeView>(contents, "TopicTree")->model()->rowCount(), 0);
    child<QTabWidget>(contents, "ContentsTabs")->setCurrentIndex(LibraryContentsWindow::codesTab);
    QVERIFY(codesMessage->isVisible());
    QCOMPARE(codesMessage->text(),
        QStringLiteral("Could not read from the library: codes failed: the database is not available"));
    QCOMPARE(child<QTableView>(contents, "CodeTable")->model()->rowCount(), 0);

    // A failing page while scrolling: the rows read stay, the line says why.
    m_source->failing.clear();
    child<QComboBox>(contents, "SystemChoice")->setCurrentText(QStringLiteral("CPT"));
    QVERIFY(!codesMessage->isVisible());
    QCOMPARE(child<QTableView>(contents, "CodeTable")->model()->rowCount(), 200);
    m_source->failing = { QStringLiteral("codes") };
    child<QTableView>(contents, "CodeTable")->model()->fetchMore(QModelIndex());
    QVERIFY(codesMessage->isVisible());
    QCOMPARE(child<QTableView>(contents, "CodeTable")->model()->rowCount(), 200);

    // Reading again once the library answers clears the messages.
    m_source->failing.clear();
    child<QPushButton>(contents, "RefreshContents")->click();
    QVERIFY(!codesMessage->isVisible());
    child<QTabWidget>(contents, "ContentsTabs")->setCurrentIndex(LibraryContentsWindow::topicsTab);
    QVERIFY(!topicsMessage->isVisible());
    QCOMPARE(child<QTreeView>(contents, "TopicTree")->model()->rowCount(), 2);
    QVERIFY(m_window->isVisible());
}

void TestLibraryContents::closesWithTheMainWindow()
{
    LibraryContentsWindow* contents = open();
    QPointer<LibraryContentsWindow> watched(contents);
    m_window->findChild<QAction*>(QStringLiteral("Exit"))->trigger();
    QVERIFY(!m_window->isVisible());
    QVERIFY(watched && !watched->isVisible());
}

QTEST_MAIN(TestLibraryContents)
#include "test_library_contents.moc"
