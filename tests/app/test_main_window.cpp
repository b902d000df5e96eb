// The main window: its controls as the layout gives them, its menu and
// commands, and the window seam over its widgets.
#include "app/ActivationComponent.h"
#include "app/CommonDialog1.h"
#include "app/LoadStatus.h"
#include "app/PatEdConfig.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>

namespace {

constexpr int modulesTab = 0;
constexpr int codingSystemsTab = 1;

QRect twips(int left, int top, int width, int height) { return QRect(left / 15, top / 15, width / 15, height / 15); }

QTabWidget* tabs(const PatEdConfig& window) { return window.findChild<QTabWidget*>(QStringLiteral("SSTab1")); }

QRect placeOnTabs(const PatEdConfig& window, const QWidget* control)
{
    return QRect(control->mapTo(tabs(window), QPoint(0, 0)), control->size());
}

// Which tab a control sits on.
int tabOf(const PatEdConfig& window, const QWidget* control)
{
    const QTabWidget* sstab = tabs(window);
    for (int i = 0; i < sstab->count(); ++i)
        if (sstab->widget(i)->isAncestorOf(control))
            return i;
    return -1;
}

void showOn(PatEdConfig& window, int tab)
{
    tabs(window)->setCurrentIndex(tab);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void caption();
    void clientArea();
    void tabControl();
    void controls_data();
    void controls();
    void placesFollowTheTabPages();
    void fonts();
    void highlightColour();
    void wrappedLabels();
    void enabledState();
    void tabOrder();
    void menus();
    void commands_data();
    void commands();
    void deleteDoesNothing();
    void greyedButtonsCannotBePressed();
    void exitUnloads();
    void closingThroughTheFrame();
    void terminateRunsOnceAtDestruction();
    void listSettings();
    void moduleTextBoxes();
    void wideCaptionsWrap();
    void listsThroughTheSeam();
    void setListTextNeedsAnExactMatch();
    void clearListDropsTheSelection();
    void commonDialogIsShared();
    void loadStatusLoadsAndUnloads();
    void messageBoxGoesToTheSink();
    void messageBoxHasOkOnly();
    void busyPointer();
    void activation();
};

void TestMainWindow::initTestCase()
{
    // Created at the first activation, not before.
    QVERIFY(!ActivationComponent::exists());
}

void TestMainWindow::cleanup()
{
    CommonDialog1::setNextAnswer(std::nullopt);
    QVERIFY2(QApplication::topLevelWidgets().isEmpty(), "a window was left open");
    QVERIFY(QApplication::overrideCursor() == nullptr);
}

void TestMainWindow::caption()
{
    PatEdConfig window;
    QCOMPARE(window.objectName(), QStringLiteral("PatEdConfig"));
    QCOMPARE(window.windowTitle(), QStringLiteral("Patient Education Configuration"));
}

void TestMainWindow::clientArea()
{
    PatEdConfig window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.centralWidget()->size(), QSize(368, 253));
    QVERIFY(window.menuBar()->isVisible());
    QCOMPARE(window.centralWidget()->y(), window.menuBar()->height());

    // A sizeable frame.
    QVERIFY(window.minimumSize() != window.maximumSize());

    // Centred on the screen.
    const QPoint screenCentre = window.screen()->availableGeometry().center();
    const QPoint windowCentre = window.geometry().center();
    QVERIFY2((screenCentre - windowCentre).manhattanLength() <= 4,
        qPrintable(QStringLiteral("window centre %1,%2, screen centre %3,%4")
                       .arg(windowCentre.x())
                       .arg(windowCentre.y())
                       .arg(screenCentre.x())
                       .arg(screenCentre.y())));
}

void TestMainWindow::tabControl()
{
    PatEdConfig window;
    QTabWidget* sstab = tabs(window);
    QVERIFY(sstab);
    QCOMPARE(sstab->parentWidget(), window.centralWidget());
    QCOMPARE(sstab->geometry(), twips(15, 30, 5475, 3675));
    QCOMPARE(sstab->count(), 2);
    QCOMPARE(sstab->tabText(modulesTab), QStringLiteral("Modules"));
    QCOMPARE(sstab->tabText(codingSystemsTab), QStringLiteral("Coding Systems"));

    // It opens on "Coding Systems".
    QCOMPARE(sstab->currentIndex(), codingSystemsTab);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(sstab->currentIndex(), codingSystemsTab);
    QVERIFY(window.findChild<QWidget*>(QStringLiteral("CodeList"))->isVisible());
    QVERIFY(!window.findChild<QWidget*>(QStringLiteral("ModuleList"))->isVisible());
}

void TestMainWindow::controls_data()
{
    QTest::addColumn<QString>("className");
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QRect>("place");

    const QString label = QStringLiteral("QLabel");
    const QString list = QStringLiteral("QListWidget");
    const QString textBox = QStringLiteral("QLineEdit");
    const QString button = QStringLiteral("QPushButton");

    // clang-format off
    QTest::newRow("Label1") << label << modulesTab << "Patient Education Modules" << twips(165, 480, 2430, 285);
    QTest::newRow("Label2") << label << modulesTab << "Select desired module prior to clearing or building the topic index." << twips(2730, 465, 2595, 450);
    QTest::newRow("ModuleList") << list << modulesTab << "" << twips(120, 870, 2310, 2400);
    QTest::newRow("Label5") << label << modulesTab << "Create New Module" << twips(2730, 960, 2025, 300);
    QTest::newRow("Label4") << label << modulesTab << "Module Name" << twips(2970, 1260, 1620, 255);
    QTest::newRow("ModName") << textBox << modulesTab << "" << twips(2955, 1560, 1800, 300);
    QTest::newRow("Label3") << label << modulesTab << "Module Directory Prefix" << twips(2955, 1965, 2130, 255);
    QTest::newRow("ModDirPrefix") << textBox << modulesTab << "" << twips(2940, 2250, 1785, 285);
    QTest::newRow("CreateModule") << button << modulesTab << "Create" << twips(3360, 2790, 765, 420);
    QTest::newRow("Label6") << label << codingSystemsTab << "Coding Systems Installed" << twips(135, 705, 2265, 300);
    QTest::newRow("Label7") << label << codingSystemsTab << "Select desired Coding System to load or delete." << twips(2505, 705, 2595, 450);
    QTest::newRow("CodeList") << list << codingSystemsTab << "" << twips(150, 1110, 2130, 1620);
    QTest::newRow("LoadCodeDescription") << button << codingSystemsTab << "Load Description" << twips(3570, 1125, 1065, 450);
    QTest::newRow("CmdCreate") << button << codingSystemsTab << "Create" << twips(165, 3090, 1035, 450);
    QTest::newRow("CmdDelete") << button << codingSystemsTab << "Delete" << twips(1305, 3090, 1035, 450);
    QTest::newRow("CmdLoad") << button << codingSystemsTab << "Load" << twips(2445, 3090, 1035, 450);
    QTest::newRow("CmdClear") << button << codingSystemsTab << "Clear" << twips(3600, 3090, 1035, 450);
    // clang-format on
}

void TestMainWindow::controls()
{
    QFETCH(QString, className);
    QFETCH(int, tab);
    QFETCH(QString, text);
    QFETCH(QRect, place);

    PatEdConfig window;
    showOn(window, tab);

    const QString name = QString::fromLatin1(QTest::currentDataTag());
    auto* control = window.findChild<QWidget*>(name);
    QVERIFY2(control, qPrintable(name));
    QCOMPARE(QString::fromLatin1(control->metaObject()->className()), className);
    QCOMPARE(tabOf(window, control), tab);
    QCOMPARE(control->parentWidget(), tabs(window)->widget(tab));
    if (className != QLatin1String("QListWidget"))
        QCOMPARE(control->property("text").toString(), text);
    QVERIFY(control->isVisible());
    QCOMPARE(placeOnTabs(window, control), place);
}

void TestMainWindow::placesFollowTheTabPages()
{
    PatEdConfig window;
    showOn(window, modulesTab);
    QTabWidget* sstab = tabs(window);
    auto* list = window.findChild<QWidget*>(QStringLiteral("ModuleList"));
    const QRect expected = twips(120, 870, 2310, 2400);

    // The page sits below the tab bar, so the control's place on its page
    // is not its place on the tab control.
    const QPoint pageOffset = sstab->widget(modulesTab)->mapTo(sstab, QPoint(0, 0));
    QVERIFY2(pageOffset.y() > 0, "the page is expected below the tab bar");
    QCOMPARE(list->pos(), expected.topLeft() - pageOffset);
    QCOMPARE(placeOnTabs(window, list), expected);

    // A taller tab bar moves the pages down; the controls keep their places
    // on the tab control.
    const int tallerBar = sstab->findChild<QTabBar*>()->height() + 12;
    sstab->setStyleSheet(QStringLiteral("QTabBar::tab { height: %1px; }").arg(tallerBar));
    QTRY_VERIFY(sstab->widget(modulesTab)->mapTo(sstab, QPoint(0, 0)) != pageOffset);
    QTRY_COMPARE(placeOnTabs(window, list), expected);

    // So does the page that was hidden while the bar changed.
    sstab->setCurrentIndex(codingSystemsTab);
    auto* codes = window.findChild<QWidget*>(QStringLiteral("CodeList"));
    QTRY_COMPARE(placeOnTabs(window, codes), twips(150, 1110, 2130, 1620));
}

void TestMainWindow::fonts()
{
    PatEdConfig window;
    QCOMPARE(window.font().family(), QStringLiteral("MS Sans Serif"));
    QCOMPARE(window.font().pointSizeF(), 8.25);

    const QStringList bold = { "Label1", "Label5", "Label4", "Label3", "Label6" };
    const QStringList plain = { "Label2", "Label7", "ModName", "ModDirPrefix", "CreateModule", "CmdLoad" };
    for (const QString& name : bold) {
        auto* control = window.findChild<QWidget*>(name);
        QVERIFY2(control->font().bold(), qPrintable(name));
        QCOMPARE(control->font().family(), QStringLiteral("MS Sans Serif"));
        QCOMPARE(control->font().pointSizeF(), 8.25);
    }
    for (const QString& name : plain) {
        auto* control = window.findChild<QWidget*>(name);
        QVERIFY2(!control->font().bold(), qPrintable(name));
        QCOMPARE(control->font().pointSizeF(), 8.25);
    }
}

void TestMainWindow::highlightColour()
{
    PatEdConfig window;
    const QColor highlight = window.palette().color(QPalette::Active, QPalette::Highlight);
    QVERIFY(highlight != window.palette().color(QPalette::Active, QPalette::WindowText));
    for (const char* name : { "Label1", "Label5", "Label6" })
        QCOMPARE(window.findChild<QLabel*>(name)->palette().color(QPalette::WindowText), highlight);
    for (const char* name : { "Label2", "Label3", "Label4", "Label7" })
        QVERIFY2(window.findChild<QLabel*>(name)->palette().color(QPalette::WindowText) != highlight, name);

    // The headings follow a change of the palette.
    QPalette changed = window.palette();
    changed.setColor(QPalette::Highlight, QColor(0x12, 0x34, 0x56));
    window.setPalette(changed);
    QCOMPARE(window.findChild<QLabel*>("Label5")->palette().color(QPalette::WindowText), QColor(0x12, 0x34, 0x56));
}

void TestMainWindow::wrappedLabels()
{
    PatEdConfig window;
    QVERIFY(window.findChild<QLabel*>("Label2")->wordWrap());
    QVERIFY(window.findChild<QLabel*>("Label7")->wordWrap());
    QVERIFY(!window.findChild<QLabel*>("Label1")->wordWrap());
}

void TestMainWindow::enabledState()
{
    PatEdConfig window;
    QVERIFY(!window.findChild<QPushButton*>("CmdCreate")->isEnabled());
    QVERIFY(!window.findChild<QPushButton*>("CmdClear")->isEnabled());
    for (const char* name : { "CmdDelete", "CmdLoad", "LoadCodeDescription", "CreateModule" })
        QVERIFY2(window.findChild<QPushButton*>(name)->isEnabled(), name);
}

void TestMainWindow::tabOrder()
{
    PatEdConfig window;
    const QStringList expected = { "SSTab1", "ModuleList", "ModName", "ModDirPrefix", "CreateModule", "CodeList",
        "CmdCreate", "CmdDelete", "CmdLoad", "CmdClear", "LoadCodeDescription" };
    QStringList chain;
    QWidget* start = tabs(window);
    QWidget* widget = start;
    do {
        if (expected.contains(widget->objectName()))
            chain.append(widget->objectName());
        widget = widget->nextInFocusChain();
    } while (widget && widget != start && chain.size() < expected.size());
    QCOMPARE(chain, expected);
}

void TestMainWindow::menus()
{
    PatEdConfig window;
    const QList<QAction*> bar = window.menuBar()->actions();
    QCOMPARE(bar.size(), 3);

    // Each menu with its commands: object names and captions.
    struct Menu {
        const char* name;
        QStringList texts;
        QStringList names;
    };
    const Menu menus[] = {
        { "Topics", { "Build Index", "Clear Index" }, { "BuildTopic", "ClearTopic" } },
        // "Library Contents" only reads; it opens a window of its own.
        { "View", { "Library Contents" }, { "LibraryContents" } },
    };
    for (int i = 0; i < 2; ++i) {
        QMenu* menu = bar.at(i)->menu();
        QVERIFY(menu);
        QCOMPARE(menu->objectName(), QString::fromLatin1(menus[i].name));
        QCOMPARE(menu->title(), QString::fromLatin1(menus[i].name));
        QStringList texts;
        QStringList names;
        for (QAction* action : menu->actions()) {
            texts.append(action->text());
            names.append(action->objectName());
        }
        QCOMPARE(texts, menus[i].texts);
        QCOMPARE(names, menus[i].names);
    }

    // Exit is a command on the bar itself, after the menus.
    QAction* exit = bar.at(2);
    QCOMPARE(exit->objectName(), QStringLiteral("Exit"));
    QCOMPARE(exit->text(), QStringLiteral("Exit"));
    QVERIFY(exit->menu() == nullptr);
}

void TestMainWindow::commands_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("command");

    QTest::newRow("BuildTopic") << "BuildTopic" << -1 << "BuildTopic";
    QTest::newRow("ClearTopic") << "ClearTopic" << -1 << "ClearTopic";
    QTest::newRow("CreateModule") << "CreateModule" << modulesTab << "CreateModule";
    QTest::newRow("CmdLoad") << "CmdLoad" << codingSystemsTab << "CmdLoad";
    QTest::newRow("LoadCodeDescription") << "LoadCodeDescription" << codingSystemsTab << "LoadCodeDescription";
}

void TestMainWindow::commands()
{
    QFETCH(QString, control);
    QFETCH(int, tab);
    QFETCH(QString, command);

    PatEdConfig window;
    QStringList ran;
    auto record = [&ran](const char* name) { return [&ran, name] { ran.append(QString::fromLatin1(name)); }; };
    window.setCommands({ record("BuildTopic"), record("ClearTopic"), record("CreateModule"), record("CmdLoad"),
        record("CmdClear"), record("LoadCodeDescription") });
    showOn(window, tab < 0 ? codingSystemsTab : tab);

    if (tab < 0) {
        auto* action = window.findChild<QAction*>(control);
        QVERIFY(action);
        action->trigger();
    } else {
        auto* button = window.findChild<QPushButton*>(control);
        QVERIFY(button);
        QTest::mouseClick(button, Qt::LeftButton);
    }
    QCOMPARE(ran, QStringList({ command }));
    QVERIFY(window.isVisible());
}

void TestMainWindow::deleteDoesNothing()
{
    PatEdConfig window;
    int ran = 0;
    auto count = [&ran] { ++ran; };
    window.setCommands({ count, count, count, count, count, count });
    for (const char* name : { "ICD", "CPT" })
        window.addListItem(ListName::CodeList, QString::fromLatin1(name));
    window.addListItem(ListName::ModuleList, QStringLiteral("ADU"));
    window.setListText(ListName::CodeList, QStringLiteral("CPT"));
    window.setListText(ListName::ModuleList, QStringLiteral("ADU"));
    showOn(window, codingSystemsTab);

    auto* cmdDelete = window.findChild<QPushButton*>("CmdDelete");
    QSignalSpy clicked(cmdDelete, &QPushButton::clicked);
    QTest::mouseClick(cmdDelete, Qt::LeftButton);
    QCOMPARE(clicked.size(), 1); // it was pressed ...
    QCOMPARE(ran, 0); // ... and nothing ran
    QCOMPARE(window.listItems(ListName::CodeList), QStringList({ "ICD", "CPT" }));
    QCOMPARE(window.listText(ListName::CodeList), QStringLiteral("CPT"));
    QCOMPARE(window.listText(ListName::ModuleList), QStringLiteral("ADU"));
    QVERIFY(window.isVisible());
}

void TestMainWindow::greyedButtonsCannotBePressed()
{
    PatEdConfig window;
    int ran = 0;
    auto count = [&ran] { ++ran; };
    window.setCommands({ count, count, count, count, count, count });
    showOn(window, codingSystemsTab);
    for (const char* name : { "CmdCreate", "CmdClear" }) {
        auto* button = window.findChild<QPushButton*>(name);
        QSignalSpy clicked(button, &QPushButton::clicked);
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(clicked.size(), 0);
    }
    QCOMPARE(ran, 0);
}

void TestMainWindow::exitUnloads()
{
    PatEdConfig window;
    window.addListItem(ListName::ModuleList, QStringLiteral("ADU"));
    window.setListText(ListName::ModuleList, QStringLiteral("ADU"));
    showOn(window, codingSystemsTab);
    window.findChild<QAction*>("Exit")->trigger();
    QVERIFY(!window.isVisible());

    // Exit_Click also unloads a window that was never shown (a batch run).
    PatEdConfig batch;
    batch.Exit_Click();
    QVERIFY(!batch.isVisible());
}

void TestMainWindow::closingThroughTheFrame()
{
    PatEdConfig window;
    showOn(window, modulesTab);
    QVERIFY(window.close());
    QVERIFY(!window.isVisible());
}

void TestMainWindow::terminateRunsOnceAtDestruction()
{
    int terminated = 0;
    {
        PatEdConfig window;
        window.setTerminateHandler([&terminated] { ++terminated; });
        showOn(window, codingSystemsTab);
        window.Exit_Click();
        QCOMPARE(terminated, 0); // unloading is not the end of the object
        window.close();
        QCOMPARE(terminated, 0);
    }
    QCOMPARE(terminated, 1);
}

void TestMainWindow::listSettings()
{
    PatEdConfig window;
    for (const char* name : { "ModuleList", "CodeList" }) {
        auto* list = window.findChild<QListWidget*>(name);
        QCOMPARE(list->selectionMode(), QAbstractItemView::SingleSelection);
        QVERIFY(!list->isSortingEnabled());
    }
    QCOMPARE(window.list(ListName::ModuleList)->objectName(), QStringLiteral("ModuleList"));
    QCOMPARE(window.list(ListName::CodeList)->objectName(), QStringLiteral("CodeList"));
}

void TestMainWindow::moduleTextBoxes()
{
    PatEdConfig window;
    QCOMPARE(window.modName(), QString());
    QCOMPARE(window.modDirPrefix(), QString());
    showOn(window, modulesTab);
    QTest::keyClicks(window.findChild<QLineEdit*>("ModName"), QStringLiteral(" Adult Health "));
    QTest::keyClicks(window.findChild<QLineEdit*>("ModDirPrefix"), QStringLiteral("ADU"));
    // As typed, blanks included.
    QCOMPARE(window.modName(), QStringLiteral(" Adult Health "));
    QCOMPARE(window.modDirPrefix(), QStringLiteral("ADU"));
}

void TestMainWindow::wideCaptionsWrap()
{
    // "Load Description" is wider than its button and is drawn on two lines:
    // the button paints, and its caption stays as it is.
    PatEdConfig window;
    showOn(window, codingSystemsTab);
    auto* button = window.findChild<QPushButton*>("LoadCodeDescription");
    QVERIFY(button->fontMetrics().horizontalAdvance(button->text()) > button->width());
    const QImage picture = button->grab().toImage();
    QCOMPARE(picture.size() / picture.devicePixelRatio(), button->size());
    QCOMPARE(button->text(), QStringLiteral("Load Description"));
}

void TestMainWindow::listsThroughTheSeam()
{
    PatEdConfig window;
    WindowSeam& seam = window;
    QVERIFY(seam.listItems(ListName::ModuleList).isEmpty());
    QCOMPARE(seam.listText(ListName::ModuleList), QString());

    // Unsorted: kept in the order added.
    for (const char* name : { "Zeta", "Alpha", "Mid" })
        seam.addListItem(ListName::ModuleList, QString::fromLatin1(name));
    QCOMPARE(seam.listItems(ListName::ModuleList), QStringList({ "Zeta", "Alpha", "Mid" }));
    QCOMPARE(seam.listText(ListName::ModuleList), QString()); // nothing selected yet

    seam.setListText(ListName::ModuleList, QStringLiteral("Alpha"));
    QCOMPARE(seam.listText(ListName::ModuleList), QStringLiteral("Alpha"));
    QCOMPARE(window.list(ListName::ModuleList)->selectedItems().size(), 1);

    // The operator's choice is what the handlers read.
    QListWidget* modules = window.list(ListName::ModuleList);
    modules->setCurrentRow(2);
    QCOMPARE(seam.listText(ListName::ModuleList), QStringLiteral("Mid"));

    // The other list is independent.
    QVERIFY(seam.listItems(ListName::CodeList).isEmpty());
    QCOMPARE(seam.listText(ListName::CodeList), QString());

    // Appending a name and selecting it, as a batch run does; an empty name
    // selects the empty item and reads back empty.
    seam.addListItem(ListName::CodeList, QString());
    seam.setListText(ListName::CodeList, QString());
    QCOMPARE(window.list(ListName::CodeList)->selectedItems().size(), 1);
    QCOMPARE(seam.listText(ListName::CodeList), QString());
}

void TestMainWindow::setListTextNeedsAnExactMatch()
{
    PatEdConfig window;
    for (const char* name : { "ICD", "CPT", "ICD" })
        window.addListItem(ListName::CodeList, QString::fromLatin1(name));

    // The first of two equal items.
    window.setListText(ListName::CodeList, QStringLiteral("ICD"));
    QCOMPARE(window.list(ListName::CodeList)->currentRow(), 0);

    // Letter case and blanks count; no match selects nothing.
    for (const char* text : { "icd", "ICD ", " CPT", "IC", "" }) {
        window.setListText(ListName::CodeList, QStringLiteral("CPT"));
        QCOMPARE(window.listText(ListName::CodeList), QStringLiteral("CPT"));
        window.setListText(ListName::CodeList, QString::fromLatin1(text));
        QVERIFY2(window.list(ListName::CodeList)->selectedItems().isEmpty(), text);
        QCOMPARE(window.listText(ListName::CodeList), QString());
    }
}

void TestMainWindow::clearListDropsTheSelection()
{
    PatEdConfig window;
    window.addListItem(ListName::ModuleList, QStringLiteral("ADU"));
    window.addListItem(ListName::ModuleList, QStringLiteral("PED"));
    window.setListText(ListName::ModuleList, QStringLiteral("PED"));
    window.clearList(ListName::ModuleList);
    QVERIFY(window.listItems(ListName::ModuleList).isEmpty());
    QCOMPARE(window.listText(ListName::ModuleList), QString());

    // Refilled, as the handlers do after a change: still nothing selected.
    window.addListItem(ListName::ModuleList, QStringLiteral("ADU"));
    window.addListItem(ListName::ModuleList, QStringLiteral("PED"));
    QCOMPARE(window.listText(ListName::ModuleList), QString());
}

void TestMainWindow::commonDialogIsShared()
{
    PatEdConfig window;
    WindowSeam& seam = window;
    OpenFileDialog& first = seam.commonDialog();
    QCOMPARE(&first, &seam.commonDialog());
    QVERIFY(dynamic_cast<CommonDialog1*>(&first));

    first.setFilter(QStringLiteral("DB File (*.mdb)|*.mdb"));
    first.setFilterIndex(2);
    CommonDialog1::setNextAnswer(QStringLiteral("/data/topics.txt"));
    QVERIFY(first.showOpen());

    // The next operation finds the same file name.
    QCOMPARE(seam.commonDialog().fileName(), QStringLiteral("/data/topics.txt"));
    QCOMPARE(seam.commonDialog().filterIndex(), 2);
}

void TestMainWindow::loadStatusLoadsAndUnloads()
{
    PatEdConfig window;
    ProgressWindow& progress = window.loadStatus();
    QVERIFY(window.findChild<LoadStatus*>() == nullptr);
    progress.show();
    auto* loaded = window.findChild<LoadStatus*>();
    QVERIFY(loaded);
    QVERIFY(loaded->isVisible());
    QCOMPARE(loaded->status(), QStringLiteral("Loading..."));
    progress.setStatus(QStringLiteral("Saving - ADU Module to Database"));
    progress.refresh();
    QCOMPARE(loaded->status(), QStringLiteral("Saving - ADU Module to Database"));
    progress.unload();
    QVERIFY(window.findChild<LoadStatus*>() == nullptr);
}

void TestMainWindow::messageBoxGoesToTheSink()
{
    PatEdConfig window;
    QStringList said;
    window.setMessageSink([&said](const QString& text) { said.append(text); });
    window.messageBox(QStringLiteral("You must first select a Module from the available list."));
    QCOMPARE(said, QStringList({ "You must first select a Module from the available list." }));
    QVERIFY(window.findChild<QMessageBox*>() == nullptr);
}

void TestMainWindow::messageBoxHasOkOnly()
{
    PatEdConfig window;
    QString caption;
    QString text;
    QList<QAbstractButton*> buttons;
    bool answered = false;
    QTimer answer;
    answer.setInterval(10);
    connect(&answer, &QTimer::timeout, &window, [&] {
        auto* box = window.findChild<QMessageBox*>();
        if (!box || !box->isVisible())
            return;
        answer.stop();
        caption = box->windowTitle();
        text = box->text();
        buttons = box->buttons();
        answered = true;
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });
    answer.start();
    window.messageBox(QStringLiteral("You must supply both a module name and a directory prefix"));
    QVERIFY(answered);
    QCOMPARE(caption, QStringLiteral("VELKINDEX"));
    QCOMPARE(text, QStringLiteral("You must supply both a module name and a directory prefix"));
    QCOMPARE(buttons.size(), 1);
}

void TestMainWindow::busyPointer()
{
    PatEdConfig window;
    QVERIFY(QApplication::overrideCursor() == nullptr);
    window.setBusy(true);
    QVERIFY(QApplication::overrideCursor());
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);

    // The pointer is a setting: hourglass twice, default once, gives the default.
    window.setBusy(true);
    window.setBusy(false);
    QVERIFY(QApplication::overrideCursor() == nullptr);

    // A second default takes away no pointer that someone else set.
    QApplication::setOverrideCursor(Qt::CrossCursor);
    window.setBusy(false);
    QVERIFY(QApplication::overrideCursor());
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::CrossCursor);
    QApplication::restoreOverrideCursor();

    // A window destroyed while busy gives the pointer back.
    {
        PatEdConfig busy;
        busy.setBusy(true);
    }
    QVERIFY(QApplication::overrideCursor() == nullptr);
    window.refreshMain();
}

void TestMainWindow::activation()
{
    PatEdConfig window;
    ActivationComponent& component = ActivationComponent::instance();
    const int before = component.activationCount();

    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(&window, &activate);
    QCOMPARE(component.activationCount(), before + 1);
    QCOMPARE(component.lastHandle(), window.winId());
    QCOMPARE(component.lastFlag(), -1);

    // Every activation, and always the one component.
    QCoreApplication::sendEvent(&window, &activate);
    QCOMPARE(ActivationComponent::instance().activationCount(), before + 2);
    QCOMPARE(&ActivationComponent::instance(), &component);
}

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
