// "Library Contents" on the real library and a database seeded by batch
// runs: the topic tree and its filter, a coding system of 75,000 codes read a
// page at a time, the library's code search, sorting, reading again after the
// main window's commands, and failed reads (through the recording stand-in).
// Every stored row is checked through an independent connection, and the
// window's reads leave the database exactly as they found it.
#include "app/CommonDialog1.h"
#include "app/LibraryContentsWindow.h"
#include "app/PatEdConfig.h"
#include "app/WindowCommands.h"
#include "core/ExternalsContents.h"
#include "modules/ModuleList.h"
#include "store/KovadelLibrary.h"
#include "support/BatchRunner.h"
#include "support/RecordingExternals.h"
#include "support/SqliteReader.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

#include <memory>

namespace {

constexpr int bigSystemCodes = 75000;

template <typename T> T* child(QWidget* window, const char* name)
{
    T* found = window->findChild<T*>(QString::fromLatin1(name));
    if (!found)
        qFatal("no %s in the window", name);
    return found;
}

QStringList outline(const QAbstractItemModel& model, const QModelIndex& parent = QModelIndex(), int depth = 0)
{
    QStringList lines;
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex description = model.index(row, 0, parent);
        lines << QString(depth * 2, u' ') + description.data().toString() + u'|'
                + model.index(row, 1, parent).data().toString();
        lines << outline(model, description, depth + 1);
    }
    return lines;
}

QStringList column(const QAbstractItemModel& model, int col)
{
    QStringList values;
    for (int row = 0; row < model.rowCount(); ++row)
        values << model.index(row, col).data().toString();
    return values;
}

QStringList texts(const std::vector<std::string>& rows)
{
    QStringList out;
    for (const std::string& row : rows)
        out << QString::fromStdString(row);
    return out;
}

} // namespace

class TestContentsDatabase : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void topicTreeOfTheStoredTopics();
    void filterOnTheStoredDescriptions();
    void seventyFiveThousandCodesArePagedOnDemand();
    void everyPageFollowsTheLast();
    void search_data();
    void search();
    void sortByDescription();
    void readsAgainAfterTheMainWindowsCommands();
    void failedReadsAreShownInTheWindow_data();
    void failedReadsAreShownInTheWindow();

private:
    void openOn(const QString& database);
    LibraryContentsWindow* open();
    QString write(const QString& name, const QByteArray& bytes);
    std::vector<std::string> rows(const std::string& sql, const QString& database = QString());

    QTemporaryDir m_dir;
    QString m_seeded;
    std::vector<std::string> m_seededDump;
    std::unique_ptr<KovadelLibrary> m_library;
    std::unique_ptr<ExternalsContents> m_source;
    std::unique_ptr<MainVariables> m_vars;
    std::unique_ptr<PatEdConfig> m_window;
    std::unique_ptr<PatEdContext> m_ctx;
    QStringList m_messages;
};

QString TestContentsDatabase::write(const QString& name, const QByteArray& bytes)
{
    const QString path = m_dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    file.write(bytes);
    return path;
}

std::vector<std::string> TestContentsDatabase::rows(const std::string& sql, const QString& database)
{
    SqliteReader reader((database.isEmpty() ? m_seeded : database).toStdString(), true);
    return reader.rows(sql);
}

void TestContentsDatabase::initTestCase()
{
    QVERIFY2(
        QFileInfo::exists(QStringLiteral(KOVADEL_LIBRARY_PATH)), "the data-access library is built with the tests");
    QVERIFY(m_dir.isValid());
    m_seeded = m_dir.filePath(QStringLiteral("library.db"));
    const QString examples = QStringLiteral(VELK_SOURCE_DIR "/examples/");
    auto run = [](const QString& line) {
        const BatchResult result = runVelkindex(line.split(u' '));
        QVERIFY2(result.exitCode == 0, qPrintable(line + u'\n' + result.err));
    };
    run(m_seeded + QStringLiteral(" topic create ADULT ADU ") + examples + QStringLiteral(" adult-index.txt"));
    run(m_seeded + QStringLiteral(" topic create CHILD PED ") + examples + QStringLiteral(" child-index.txt"));
    {
        SqliteReader admin(m_seeded.toStdString());
        QVERIFY2(
            admin.exec("INSERT INTO codingsystems (CodingSystemName) VALUES ('ICD'), ('CPT')"), admin.error().c_str());
    }
    run(m_seeded + QStringLiteral(" code create ICD ") + examples + QStringLiteral(" codes-icd.txt"));
    run(m_seeded + QStringLiteral(" code description ICD ") + examples + QStringLiteral(" descriptions-icd.txt"));

    // CPT: 75,000 five-digit codes, a hundred to a line, each described;
    // every thousandth is an inhaler visit.
    QByteArray codes;
    QByteArray descriptions;
    for (int n = 0; n < bigSystemCodes; ++n) {
        const QByteArray code = QByteArray::number(10000 + n);
        if (n % 100 == 0)
            codes += QByteArray(n ? "\n" : "") + "visit" + QByteArray::number(n / 100) + ".pdf,";
        codes += ' ' + code;
        descriptions += code + '|' + (n % 1000 == 0 ? "Asthma inhaler teaching " : "Teaching visit number ")
            + QByteArray::number(n) + "|\n";
    }
    write(QStringLiteral("cpt-codes.txt"), codes + '\n');
    write(QStringLiteral("cpt-descriptions.txt"), descriptions);
    run(m_seeded + QStringLiteral(" code create CPT ") + m_dir.path() + QStringLiteral("/ cpt-codes.txt"));
    run(m_seeded + QStringLiteral(" code description CPT ") + m_dir.path() + QStringLiteral("/ cpt-descriptions.txt"));

    QCOMPARE(rows("SELECT count(*) FROM codes c JOIN codingsystems s USING (CodingSystemID) WHERE "
                  "s.CodingSystemName = 'CPT' AND c.Description <> ''"),
        std::vector<std::string>({ "75000" }));
    m_seededDump = SqliteReader(m_seeded.toStdString(), true).dump();
}

void TestContentsDatabase::openOn(const QString& database)
{
    m_library = std::make_unique<KovadelLibrary>(QStringLiteral(KOVADEL_LIBRARY_PATH));
    QVERIFY2(
        m_library->StartVelk(database, QStringLiteral("ADMIN"), QString()) > 0, qPrintable(m_library->LastError()));
    m_source = std::make_unique<ExternalsContents>(*m_library);
    m_vars = std::make_unique<MainVariables>();
    m_vars->RunMode = QStringLiteral("interactive");
    m_window = std::make_unique<PatEdConfig>();
    m_ctx = std::make_unique<PatEdContext>(PatEdContext { *m_vars, *m_window, *m_library });
    m_window->setCommands(windowCommands(*m_ctx, *m_window));
    m_window->setMessageSink([this](const QString& text) { m_messages << text; });
    m_window->setContentsSource(m_source.get());
    // The lists as the start-up fills them.
    refillModuleList(*m_ctx, blankModuleFilter());
    CallStatus status;
    std::vector<CodingSystemRecord> systems(1);
    m_library->GetCodingSystems(systems, status);
    for (const CodingSystemRecord& system : systems)
        m_window->addListItem(ListName::CodeList, system.CodingSystemName.trimmed());
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

LibraryContentsWindow* TestContentsDatabase::open()
{
    m_window->findChild<QAction*>(QStringLiteral("LibraryContents"))->trigger();
    LibraryContentsWindow* contents = m_window->contentsWindow();
    if (!contents || !contents->isVisible())
        qFatal("Library Contents did not open");
    return contents;
}

void TestContentsDatabase::init()
{
    m_messages.clear();
    openOn(m_seeded);
}

void TestContentsDatabase::cleanup()
{
    CommonDialog1::setNextAnswer(std::nullopt);
    m_window.reset();
    m_ctx.reset();
    m_source.reset();
    if (m_library)
        m_library->EndVelk();
    m_library.reset();
    QVERIFY2(QApplication::topLevelWidgets().isEmpty(), "a window was left open");
    QVERIFY(QApplication::overrideCursor() == nullptr);
    // Whatever the window read, the database holds what it held.
    QVERIFY(SqliteReader(m_seeded.toStdString(), true).dump() == m_seededDump);
}

void TestContentsDatabase::cleanupTestCase() { QCOMPARE(SqliteReader(m_seeded.toStdString(), true).integrity(), "ok"); }

void TestContentsDatabase::topicTreeOfTheStoredTopics()
{
    m_window->setListText(ListName::ModuleList, QStringLiteral("ADULT"));
    LibraryContentsWindow* contents = open();
    QCOMPARE(child<QComboBox>(contents, "ModuleChoice")->currentText(), QStringLiteral("ADULT"));
    QCOMPARE(outline(*child<QTreeView>(contents, "TopicTree")->model()),
        QStringList({ "Adult Health|", "  Asthma|ADU_asthma_pdf.htm", "  Diabetes|ADU_diabetes_doc.htm",
            "    Insulin|ADU_insulin_pdf.htm", "    Diet and Exercise|ADU_diet_pdf.htm",
            "  Heart Disease|ADU_heart_pdf.htm", "    High Blood Pressure|ADU_hypertension_pdf.htm",
            "    Cholesterol|ADU_cholesterol_pdf.htm", "Child Health|", "  Children's Vaccines|ADU_vaccines_pdf.htm",
            "  Ear Infections|ADU_otitis_doc.htm", "  Fever|ADU_fever_pdf.htm", "Women's Health|",
            "  Pregnancy|ADU_pregnancy_pdf.htm", "    Prenatal Care|ADU_prenatal_pdf.htm",
            "  Menopause|ADU_menopause_doc.htm" }));
    // The counts are the stored rows' counts.
    const std::vector<std::string> counted = rows("SELECT count(*), sum(t.ParentID = 0) FROM topics t JOIN modules m "
                                                  "USING (ModuleID) WHERE m.ModuleName = 'ADULT'");
    QCOMPARE(counted, std::vector<std::string>({ "16|3" }));
    QCOMPARE(child<QLabel>(contents, "TopicCounts")->text(), QStringLiteral("16 topics, 3 at the top level"));

    child<QComboBox>(contents, "ModuleChoice")->setCurrentText(QStringLiteral("CHILD"));
    const QStringList stored = texts(rows("SELECT trim(t.Description) FROM topics t JOIN modules m USING (ModuleID) "
                                          "WHERE m.ModuleName = 'CHILD' AND t.ParentID = 0 ORDER BY t.TopicID"));
    QCOMPARE(column(*child<QTreeView>(contents, "TopicTree")->model(), 0), stored);
}

void TestContentsDatabase::filterOnTheStoredDescriptions()
{
    m_window->setListText(ListName::ModuleList, QStringLiteral("ADULT"));
    LibraryContentsWindow* contents = open();
    QTest::keyClicks(child<QLineEdit>(contents, "TopicFilter"), QStringLiteral("PRE"));
    QCOMPARE(outline(*child<QTreeView>(contents, "TopicTree")->model()),
        QStringList(
            { "Adult Health|", "  Heart Disease|ADU_heart_pdf.htm", "    High Blood Pressure|ADU_hypertension_pdf.htm",
                "Women's Health|", "  Pregnancy|ADU_pregnancy_pdf.htm", "    Prenatal Care|ADU_prenatal_pdf.htm" }));
    QCOMPARE(child<QLabel>(contents, "TopicCounts")->text(),
        QStringLiteral("16 topics, 3 at the top level; 3 match the filter"));
}

void TestContentsDatabase::seventyFiveThousandCodesArePagedOnDemand()
{
    m_window->setListText(ListName::CodeList, QStringLiteral("CPT"));
    LibraryContentsWindow* contents = open();
    child<QTabWidget>(contents, "ContentsTabs")->setCurrentIndex(LibraryContentsWindow::codesTab);
    auto* table = child<QTableView>(contents, "CodeTable");
    QAbstractItemModel* model = table->model();
    QCOMPARE(model->rowCount(), 200);
    QCOMPARE(child<QLabel>(contents, "CodeCounts")->text(),
        QStringLiteral("The first 200 codes; more are read as you scroll"));

    // Scrolled to the end, the table reads one page more.
    QTRY_VERIFY(table->verticalScrollBar()->maximum() > 0);
    table->verticalScrollBar()->setValue(table->verticalScrollBar()->maximum());
    QTRY_COMPARE(model->rowCount(), 400);
    model->fetchMore(QModelIndex());
    QCOMPARE(model->rowCount(), 600);
    QVERIFY(model->canFetchMore(QModelIndex()));
    QCOMPARE(child<QLabel>(contents, "CodeCounts")->text(),
        QStringLiteral("The first 600 codes; more are read as you scroll"));

    const std::string stored
        = "SELECT c.Code, c.PatEdDocument, c.Description FROM codes c JOIN codingsystems s "
          "USING (CodingSystemID) WHERE s.CodingSystemName = 'CPT' ORDER BY c.Code, c.CodeID LIMIT 600";
    QStringList shown;
    for (int row = 0; row < model->rowCount(); ++row)
        shown << QStringLiteral("%1|%2|%3")
                     .arg(model->index(row, 0).data().toString(), model->index(row, 1).data().toString(),
                         model->index(row, 2).data().toString());
    QCOMPARE(shown, texts(rows(stored)));
    QCOMPARE(shown.at(599), QStringLiteral("10599|pdf\\visit5.htm|Teaching visit number 599"));
}

void TestContentsDatabase::everyPageFollowsTheLast()
{
    // Page after page to the end: every code once, in code order.
    CodeTableModel model(*m_source);
    model.setPageSize(5000);
    const std::vector<std::string> id = rows("SELECT CodingSystemID FROM codingsystems WHERE CodingSystemName = 'CPT'");
    model.setSearch(std::stoi(id.at(0)), QString());
    int pages = 1;
    while (model.canFetchMore(QModelIndex())) {
        const int before = model.rowCount();
        model.fetchMore(QModelIndex());
        QVERIFY2(model.error().isEmpty(), qPrintable(model.error()));
        QCOMPARE(model.rowCount(), std::min(before + 5000, bigSystemCodes));
        ++pages;
    }
    QCOMPARE(pages, bigSystemCodes / 5000);
    QCOMPARE(model.rowCount(), bigSystemCodes);
    for (int row = 0; row < bigSystemCodes; row += 997)
        QCOMPARE(model.index(row, 0).data().toString(), QString::number(10000 + row));
    QCOMPARE(model.index(bigSystemCodes - 1, 0).data().toString(), QStringLiteral("84999"));
}

void TestContentsDatabase::search_data()
{
    QTest::addColumn<QString>("system");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("where"); // the same codes, found by the independent reader
    QTest::addColumn<QString>("counts");

    // 12340 to 12349 by their code, 11234 and 22340 to 22349 by a word of
    // their description ("Teaching visit number 1234", "... 12340").
    QTest::newRow("code or word prefix") << "CPT"
                                         << "1234"
                                         << "c.Code LIKE '1234%' OR c.Description LIKE '% 1234%'"
                                         << "21 codes matching \"1234\"";
    QTest::newRow("code prefix only") << "ICD"
                                      << "j45"
                                      << "c.Code LIKE 'J45%'"
                                      << "4 codes matching \"j45\"";
    QTest::newRow("description words") << "CPT"
                                       << "inhaler ASTH"
                                       << "c.Description LIKE 'Asthma inhaler%'"
                                       << "75 codes matching \"inhaler ASTH\"";
    QTest::newRow("many, paged") << "CPT"
                                 << "teaching"
                                 << "c.Description LIKE '%teaching%' LIMIT 200"
                                 << "The first 200 codes matching \"teaching\"; more are read as you scroll";
    QTest::newRow("ICD words") << "ICD"
                               << "heart"
                               << "c.Description LIKE 'Heart%' OR c.Description LIKE '% heart%'"
                               << "3 codes matching \"heart\"";
    QTest::newRow("nothing") << "ICD"
                             << "zzz"
                             << "0"
                             << "0 codes matching \"zzz\"";
}

void TestContentsDatabase::search()
{
    QFETCH(QString, system);
    QFETCH(QString, pattern);
    QFETCH(QString, where);
    QFETCH(QString, counts);

    m_window->setListText(ListName::CodeList, system);
    LibraryContentsWindow* contents = open();
    auto* search = child<QLineEdit>(contents, "CodeSearch");
    QTest::keyClicks(search, pattern);
    QTest::keyClick(search, Qt::Key_Return);
    const std::string sql = "SELECT c.Code FROM codes c JOIN codingsystems s USING (CodingSystemID) WHERE "
                            "s.CodingSystemName = '"
        + system.toStdString() + "' AND (" + where.section(QStringLiteral(" LIMIT "), 0, 0).toStdString()
        + ") ORDER BY c.Code, c.CodeID" + (where.contains(QStringLiteral(" LIMIT ")) ? " LIMIT 200" : "");
    QCOMPARE(column(*child<QTableView>(contents, "CodeTable")->model(), 0), texts(rows(sql)));
    QCOMPARE(child<QLabel>(contents, "CodeCounts")->text(), counts);
}

void TestContentsDatabase::sortByDescription()
{
    m_window->setListText(ListName::CodeList, QStringLiteral("ICD"));
    LibraryContentsWindow* contents = open();
    auto* table = child<QTableView>(contents, "CodeTable");
    table->horizontalHeader()->setSortIndicator(CodeTableModel::DescriptionColumn, Qt::AscendingOrder);
    const std::string sql = "SELECT c.Code FROM codes c JOIN codingsystems s USING (CodingSystemID) WHERE "
                            "s.CodingSystemName = 'ICD' ORDER BY lower(c.Description), c.Code, c.CodeID";
    QCOMPARE(column(*table->model(), 0), texts(rows(sql)));
    table->horizontalHeader()->setSortIndicator(CodeTableModel::CodeColumn, Qt::DescendingOrder);
    const std::string descending = "SELECT c.Code FROM codes c JOIN codingsystems s USING (CodingSystemID) WHERE "
                                   "s.CodingSystemName = 'ICD' ORDER BY c.Code DESC, c.CodeID DESC";
    QCOMPARE(column(*table->model(), 0), texts(rows(descending)));
}

void TestContentsDatabase::readsAgainAfterTheMainWindowsCommands()
{
    // Commands change the database: they work on a copy.
    cleanup();
    const QString copy = m_dir.filePath(QStringLiteral("changed.db"));
    QFile::remove(copy);
    QVERIFY(QFile::copy(m_seeded, copy));
    openOn(copy);
    m_window->setListText(ListName::ModuleList, QStringLiteral("CHILD"));
    m_window->setListText(ListName::CodeList, QStringLiteral("ICD"));
    LibraryContentsWindow* contents = open();
    auto* modules = child<QComboBox>(contents, "ModuleChoice");
    auto* tree = child<QTreeView>(contents, "TopicTree");
    auto* table = child<QTableView>(contents, "CodeTable");
    const int childTopics = std::stoi(rows("SELECT count(*) FROM topics WHERE ModuleID = (SELECT ModuleID FROM "
                                           "modules WHERE ModuleName = 'CHILD')",
        copy)
                                          .at(0));

    // Create: the new module is in the list at once.
    auto* tabs = m_window->findChild<QTabWidget*>(QStringLiteral("SSTab1"));
    tabs->setCurrentIndex(0);
    m_window->findChild<QLineEdit*>(QStringLiteral("ModName"))->setText(QStringLiteral("NEWMOD"));
    m_window->findChild<QLineEdit*>(QStringLiteral("ModDirPrefix"))->setText(QStringLiteral("NEW"));
    m_window->findChild<QPushButton*>(QStringLiteral("CreateModule"))->click();
    QCOMPARE(rows("SELECT ModuleName FROM modules ORDER BY ModuleID", copy),
        std::vector<std::string>({ "ADULT", "CHILD", "NEWMOD" }));
    QStringList names;
    for (int i = 0; i < modules->count(); ++i)
        names << modules->itemText(i);
    QCOMPARE(names, QStringList({ "ADULT", "CHILD", "NEWMOD" }));
    QCOMPARE(modules->currentText(), QStringLiteral("CHILD"));
    QCOMPARE(child<QLabel>(contents, "TopicCounts")->text(),
        QStringLiteral("%1 topics, %2 at the top level")
            .arg(childTopics)
            .arg(QString::fromStdString(rows("SELECT sum(ParentID = 0) FROM topics WHERE ModuleID = 2", copy).at(0))));

    // Build Index into the new module; the window shows it when it is chosen.
    m_window->setListText(ListName::ModuleList, QStringLiteral("NEWMOD"));
    QCOMPARE(modules->currentText(), QStringLiteral("NEWMOD")); // it follows the main window's selection
    QCOMPARE(tree->model()->rowCount(), 0);
    CommonDialog1::setNextAnswer(
        write(QStringLiteral("new-index.txt"), "Travel~travel.pdf~\r\n  Malaria~malaria.doc~\r\n"));
    m_window->findChild<QAction*>(QStringLiteral("BuildTopic"))->trigger();
    QCOMPARE(rows("SELECT t.Description, t.PatEdDocument FROM topics t JOIN modules m USING (ModuleID) WHERE "
                  "m.ModuleName = 'NEWMOD' ORDER BY t.TopicID",
                 copy),
        std::vector<std::string>({ "Travel|pdf\\travel.htm", "Malaria |NEW_malaria_doc.htm" }));
    QCOMPARE(outline(*tree->model()), QStringList({ "Travel|pdf\\travel.htm", "  Malaria|NEW_malaria_doc.htm" }));

    // Load: the codes are read again.
    tabs->setCurrentIndex(1);
    const int icdBefore = table->model()->rowCount();
    CommonDialog1::setNextAnswer(write(QStringLiteral("more-icd.txt"), "travel.pdf, A00.1 B50.9\r\n"));
    m_window->findChild<QPushButton*>(QStringLiteral("CmdLoad"))->click();
    QCOMPARE(table->model()->rowCount(), icdBefore + 2);
    QCOMPARE(table->model()->index(0, 0).data().toString(), QStringLiteral("A00.1"));
    QCOMPARE(table->model()->index(0, 1).data().toString(), QStringLiteral("pdf\\travel.htm"));

    // Clear Index: the module goes from the list, the window shows the one
    // the main window selects, or the first.
    m_window->findChild<QAction*>(QStringLiteral("ClearTopic"))->trigger();
    QCOMPARE(rows("SELECT count(*) FROM modules WHERE ModuleName = 'NEWMOD'", copy), std::vector<std::string>({ "0" }));
    QCOMPARE(modules->count(), 2);
    QVERIFY(modules->currentText() == QStringLiteral("ADULT") || modules->currentText() == QStringLiteral("CHILD"));
    QCOMPARE(m_messages, QStringList());

    // The window itself changed nothing: the copy holds only the commands' work.
    cleanup();
    QCOMPARE(SqliteReader(copy.toStdString(), true).integrity(), "ok");
    init();
}

void TestContentsDatabase::failedReadsAreShownInTheWindow_data()
{
    QTest::addColumn<QString>("failing");
    QTest::addColumn<bool>("unbound");
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("message");

    QTest::newRow("GetTopics") << "GetTopics" << false << 0
                               << "Could not read from the library: GetTopics failed: GetTopics failed";
    QTest::newRow("GetModules") << "GetModules" << false << 0
                                << "Could not read from the library: GetModules failed: GetModules failed";
    QTest::newRow("SearchCodes") << "SearchCodes" << false << 1
                                 << "Could not read from the library: SearchCodes failed: SearchCodes failed";
    QTest::newRow("GetCodingSystems")
        << "GetCodingSystems" << false << 1
        << "Could not read from the library: GetCodingSystems failed: GetCodingSystems failed";
    // An older library without the function: said in the window, not fatal.
    QTest::newRow("SearchCodes missing")
        << "SearchCodes" << true << 1 << "Could not read from the library: libkovadel.so has no function SearchCodes";
    QTest::newRow("GetTopics missing") << "GetTopics" << true << 0
                                       << "Could not read from the library: libkovadel.so has no function GetTopics";
}

void TestContentsDatabase::failedReadsAreShownInTheWindow()
{
    QFETCH(QString, failing);
    QFETCH(bool, unbound);
    QFETCH(int, tab);
    QFETCH(QString, message);

    RecordingExternals store;
    store.modules.push_back({ 1, QStringLiteral("ADU"), QStringLiteral("ADU") });
    store.codingSystems.push_back({ 4, QStringLiteral("ICD") });
    TopicRecord topic;
    topic.TopicID = 1;
    topic.ModuleID = 1;
    topic.Description = QStringLiteral("Adult Health");
    topic.PatEdDocument = QString();
    store.topics.push_back(topic);
    CodeRecord code;
    code.CodeID = 1;
    code.CodingSystemID = 4;
    code.Code = QStringLiteral("J45.20");
    code.Description = QStringLiteral("Asthma");
    code.PatEdDocument = QStringLiteral("pdf\\asthma.htm");
    store.codes.push_back(code);
    ExternalsContents source(store);
    PatEdConfig window;
    window.setContentsSource(&source);
    window.addListItem(ListName::ModuleList, QStringLiteral("ADU"));
    window.addListItem(ListName::CodeList, QStringLiteral("ICD"));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.findChild<QAction*>(QStringLiteral("LibraryContents"))->trigger();
    LibraryContentsWindow* contents = window.contentsWindow();
    QCOMPARE(contents->contents().topicTree().topicCount(), 1);
    QCOMPARE(contents->contents().codes().rowCount(), 1);

    if (unbound) {
        const std::string what = "libkovadel.so has no function " + failing.toStdString();
        store.hooks[failing.toStdString()] = [what]() -> int32_t { throw ExternalsError(what); };
    } else {
        store.failOp = failing.toStdString();
    }
    child<QTabWidget>(contents, "ContentsTabs")->setCurrentIndex(tab);
    child<QPushButton>(contents, "RefreshContents")->click();
    auto* line = child<QLabel>(contents, tab == 0 ? "TopicsMessage" : "CodesMessage");
    QVERIFY(line->isVisible());
    QCOMPARE(line->text(), message);
    if (tab == 0)
        QCOMPARE(child<QTreeView>(contents, "TopicTree")->model()->rowCount(), 0);
    else
        QCOMPARE(child<QTableView>(contents, "CodeTable")->model()->rowCount(), 0);
    QVERIFY(window.isVisible());
    QVERIFY(QApplication::overrideCursor() == nullptr);
    // Nothing but reads was asked of the library.
    for (const std::string& op : store.ops())
        QVERIFY2(
            op == "GetModules" || op == "GetCodingSystems" || op == "GetTopics" || op == "SearchCodes", op.c_str());

    // Once the library answers again, so does the window.
    store.failOp.clear();
    store.hooks.clear();
    child<QPushButton>(contents, "RefreshContents")->click();
    QVERIFY(!line->isVisible());
}

QTEST_MAIN(TestContentsDatabase)
#include "test_contents_database.moc"
