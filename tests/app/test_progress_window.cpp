// The progress window "Topic Loader" and the way the handlers load, fill and
// unload it.
#include "app/ActivationComponent.h"
#include "app/LoadStatus.h"
#include "app/LoadStatusHost.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QScreen>
#include <QtTest>

#include <limits>

class TestProgressWindow : public QObject {
    Q_OBJECT

private slots:
    void cleanup();

    void caption();
    void fixedDialogFrame();
    void controls_data();
    void controls();
    void fonts();
    void initialValues();
    void setValue_data();
    void setValue();
    void status();
    void centredOnItsOwner();
    void twoLoadsInARow();
    void stoppedEarly();
    void settingAValueLoadsWithoutShowing();
    void unloadWhenNotLoaded();
    void ownedByTheMainWindow();
    void activation();
};

void TestProgressWindow::cleanup() { QVERIFY2(QApplication::topLevelWidgets().isEmpty(), "a window was left open"); }

void TestProgressWindow::caption()
{
    LoadStatus window;
    QCOMPARE(window.objectName(), QStringLiteral("LoadStatus"));
    QCOMPARE(window.windowTitle(), QStringLiteral("Topic Loader"));
}

void TestProgressWindow::fixedDialogFrame()
{
    LoadStatus window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.size(), QSize(424, 125));
    QCOMPARE(window.minimumSize(), QSize(424, 125));
    QCOMPARE(window.maximumSize(), QSize(424, 125));
    const Qt::WindowFlags flags = window.windowFlags();
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(flags & Qt::WindowTitleHint);
    QVERIFY(!window.isModal());
    QVERIFY(!window.isSizeGripEnabled());
    // Without an owner it is a tool window: no task-bar entry.
    QCOMPARE(window.windowType(), Qt::Tool);

    QMainWindow owner;
    LoadStatus owned(&owner);
    QCOMPARE(owned.windowType(), Qt::Dialog);
    QVERIFY(!(owned.windowFlags() & Qt::WindowMinMaxButtonsHint));
}

void TestProgressWindow::controls_data()
{
    QTest::addColumn<QString>("className");
    QTest::addColumn<QRect>("place");

    QTest::newRow("Label1") << "QLabel" << QRect(240 / 15, 240 / 15, 3810 / 15, 315 / 15);
    QTest::newRow("Label2") << "QLabel" << QRect(240 / 15, 660 / 15, 5895 / 15, 315 / 15);
    QTest::newRow("LoadProgress") << "QProgressBar" << QRect(180 / 15, 1140 / 15, 6030 / 15, 405 / 15);
}

void TestProgressWindow::controls()
{
    QFETCH(QString, className);
    QFETCH(QRect, place);

    LoadStatus window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* control = window.findChild<QWidget*>(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(control);
    QCOMPARE(QString::fromLatin1(control->metaObject()->className()), className);
    QCOMPARE(control->parentWidget(), &window);
    QCOMPARE(control->geometry(), place);
    QVERIFY(control->isVisible());
}

void TestProgressWindow::fonts()
{
    LoadStatus window;
    for (const char* name : { "Label1", "Label2" }) {
        const QFont font = window.findChild<QLabel*>(name)->font();
        QCOMPARE(font.family(), QStringLiteral("MS Sans Serif"));
        QCOMPARE(font.pointSize(), 12);
        QVERIFY2(font.bold(), name);
    }
}

void TestProgressWindow::initialValues()
{
    LoadStatus window;
    QCOMPARE(window.findChild<QLabel*>("Label1")->text(), QStringLiteral("Patient Education Help Topics"));
    QCOMPARE(window.findChild<QLabel*>("Label2")->text(), QStringLiteral("Loading..."));
    auto* bar = window.findChild<QProgressBar*>("LoadProgress");
    QCOMPARE(bar->minimum(), 0);
    QCOMPARE(bar->maximum(), 100);
    QCOMPARE(bar->value(), 0);
    QCOMPARE(window.value(), 0);
    QCOMPARE(window.status(), QStringLiteral("Loading..."));
}

void TestProgressWindow::setValue_data()
{
    QTest::addColumn<float>("percent");
    QTest::addColumn<int>("shown");

    QTest::newRow("zero") << 0.0f << 0;
    QTest::newRow("fraction down") << 49.4f << 49;
    QTest::newRow("fraction up") << 49.6f << 50;
    QTest::newRow("a third") << 100.0f / 3.0f << 33;
    QTest::newRow("full") << 100.0f << 100;
    QTest::newRow("below range") << -5.0f << 0;
    QTest::newRow("above range") << 150.0f << 100;
    QTest::newRow("not a number") << std::numeric_limits<float>::quiet_NaN() << 0;
}

void TestProgressWindow::setValue()
{
    QFETCH(float, percent);
    QFETCH(int, shown);

    LoadStatus window;
    window.setValue(percent);
    QCOMPARE(window.findChild<QProgressBar*>("LoadProgress")->value(), shown);
}

void TestProgressWindow::status()
{
    LoadStatus window;
    window.setStatus(QStringLiteral("Saving - ADU Module to Database"));
    QCOMPARE(window.findChild<QLabel*>("Label2")->text(), QStringLiteral("Saving - ADU Module to Database"));
    // The title does not change.
    QCOMPARE(window.findChild<QLabel*>("Label1")->text(), QStringLiteral("Patient Education Help Topics"));
}

void TestProgressWindow::centredOnItsOwner()
{
    QMainWindow owner;
    owner.resize(600, 400);
    owner.move(40, 60);
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));

    LoadStatusHost host(&owner);
    host.show();
    LoadStatus* window = host.window();
    QVERIFY(window);
    QVERIFY(QTest::qWaitForWindowExposed(window));
    const QPoint offCentre = window->frameGeometry().center() - owner.frameGeometry().center();
    QVERIFY2(offCentre.manhattanLength() <= 8,
        qPrintable(QStringLiteral("%1 px, %2 px off centre").arg(offCentre.x()).arg(offCentre.y())));
    host.unload();
}

void TestProgressWindow::twoLoadsInARow()
{
    LoadStatusHost host;
    for (int build = 0; build < 2; ++build) {
        QVERIFY(host.window() == nullptr);
        host.show();
        LoadStatus* window = host.window();
        QVERIFY(window);
        QVERIFY(window->isVisible());
        QCOMPARE(window->value(), 0);
        QCOMPARE(window->status(), QStringLiteral("Loading..."));
        host.refresh();

        host.setStatus(QStringLiteral("Saving - ADU Module to Database"));
        host.refresh();
        for (int line = 1; line <= 4; ++line)
            host.setValue(static_cast<float>(line) / 4.0f * 100.0f);
        QCOMPARE(window->value(), 100);
        QCOMPARE(window->status(), QStringLiteral("Saving - ADU Module to Database"));

        QPointer<LoadStatus> gone(window);
        host.unload();
        QVERIFY(gone.isNull());
        QVERIFY(host.window() == nullptr);
    }
}

void TestProgressWindow::stoppedEarly()
{
    // Shown with "Loading...", then unloaded without a status or a value.
    LoadStatusHost host;
    host.show();
    host.refresh();
    QCOMPARE(host.window()->status(), QStringLiteral("Loading..."));
    host.unload();
    QVERIFY(host.window() == nullptr);
}

void TestProgressWindow::settingAValueLoadsWithoutShowing()
{
    LoadStatusHost host;
    host.setValue(30);
    QVERIFY(host.window());
    QVERIFY(!host.window()->isVisible());
    QCOMPARE(host.window()->value(), 30);

    // Showing it now shows the window as it is.
    host.show();
    QVERIFY(host.window()->isVisible());
    QCOMPARE(host.window()->value(), 30);
    host.unload();
}

void TestProgressWindow::unloadWhenNotLoaded()
{
    LoadStatusHost host;
    host.unload();
    host.refresh();
    QVERIFY(host.window() == nullptr);
}

void TestProgressWindow::ownedByTheMainWindow()
{
    QMainWindow owner;
    {
        LoadStatusHost host(&owner);
        host.show();
        QCOMPARE(host.window()->parentWidget(), &owner);
        QVERIFY(host.window()->isWindow());
    }
    // The host unloads what it loaded.
    QVERIFY(owner.findChild<LoadStatus*>() == nullptr);
}

void TestProgressWindow::activation()
{
    LoadStatus window;
    const int before = ActivationComponent::exists() ? ActivationComponent::instance().activationCount() : 0;
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(&window, &activate);
    QVERIFY(ActivationComponent::exists());
    const ActivationComponent& component = ActivationComponent::instance();
    QCOMPARE(component.activationCount(), before + 1);
    QCOMPARE(component.lastHandle(), window.winId());
    QCOMPARE(component.lastFlag(), -1);
}

QTEST_MAIN(TestProgressWindow)
#include "test_progress_window.moc"
