// The window's open-file dialog lists the database's own folder while another
// process stores a module; that module must still be there after the window
// has ended. (Closing any descriptor of a file drops the POSIX locks that the
// process holds on it; a dialog that reads the files to tell their types did
// that to the database, and the window's stale pages then overwrote the other
// process's work when it closed.)
#include "app/PatEdConfig.h"
#include "batch/Startup.h"
#include "app/WindowCommands.h"
#include "store/KovadelLibrary.h"
#include "support/SqliteReader.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <sys/inotify.h>
#include <unistd.h>

namespace {

QString run(const QStringList& arguments, int* exitCode)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral(VELKINDEX_EXECUTABLE), arguments);
    if (!process.waitForFinished(60000))
        process.kill();
    *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromLocal8Bit(process.readAll());
}

} // namespace

class TestDialogLocks : public QObject {
    Q_OBJECT

private slots:
    void anotherProcessWorkSurvivesTheDialog();
};

void TestDialogLocks::anotherProcessWorkSurvivesTheDialog()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.path() + QLatin1Char('/');
    const QString database = folder + QStringLiteral("lib.db");
    const QString index = QStringLiteral("child-index.txt");
    QVERIFY(QFile::copy(QStringLiteral(VELK_SOURCE_DIR "/examples/child-index.txt"), folder + index));
    int code = -1;
    QString output = run({ database, QStringLiteral("topic"), QStringLiteral("create"), QStringLiteral("A"),
                             QStringLiteral("A"), folder, index },
        &code);
    QVERIFY2(code == 0, qPrintable(output));

    int otherCode = -1;
    QString otherOutput;
    bool dialogSeen = false;
    {
        MainVariables vars;
        KovadelLibrary library;
        PatEdConfig window;
        PatEdContext ctx { vars, window, library };
        window.setTerminateHandler([&]() { library.EndVelk(); });
        window.setCommands(windowCommands(ctx, window));
        const StartupOutcome outcome = Form_Load(ctx, planCommandLine(database));
        QVERIFY(outcome.databaseOpen);
        window.show();
        window.setListText(ListName::ModuleList, QStringLiteral("A"));
        window.commonDialog().setFileName(folder + index);
        // Every open of the database's files from now on, until the other
        // process starts: the dialog must not open any of them.
        const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        QVERIFY(watch >= 0);
        for (const char* suffix : { "", "-wal", "-shm" })
            QVERIFY(inotify_add_watch(watch, (database + QLatin1String(suffix)).toLocal8Bit().constData(), IN_OPEN) >= 0);
        int opensByDialog = -1;

        // While the dialog lists the folder (and has had time to look at
        // every file in it), another process re-creates a module.
        QTimer poll;
        QElapsedTimer listed, deadline;
        deadline.start();
        QObject::connect(&poll, &QTimer::timeout, [&]() {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                auto* dialog = qobject_cast<QFileDialog*>(widget);
                if (!dialog || !dialog->isVisible())
                    continue;
                if (deadline.hasExpired(20000)) { // never hang: give up
                    poll.stop();
                    dialog->reject();
                    return;
                }
                auto* model = dialog->findChild<QFileSystemModel*>();
                if (!model || model->rowCount(model->index(dialog->directory().absolutePath())) < 1)
                    return;
                if (!listed.isValid())
                    listed.start();
                if (!listed.hasExpired(1500))
                    return;
                poll.stop();
                dialogSeen = true;
                alignas(inotify_event) char events[4096];
                const ssize_t got = ::read(watch, events, sizeof events);
                opensByDialog = got > 0 ? static_cast<int>(got / static_cast<ssize_t>(sizeof(inotify_event))) : 0;
                otherOutput = run({ database, QStringLiteral("topic"), QStringLiteral("create"),
                                      QStringLiteral("B"), QStringLiteral("B"), folder, index },
                    &otherCode);
                dialog->reject();
                return;
            }
        });
        poll.start(20);
        QAction* build = window.findChild<QAction*>(QStringLiteral("BuildTopic"));
        QVERIFY(build);
        build->trigger();
        poll.stop();
        // The operator goes on: a module of the window's own.
        window.findChild<QLineEdit*>(QStringLiteral("ModName"))->setText(QStringLiteral("C"));
        window.findChild<QLineEdit*>(QStringLiteral("ModDirPrefix"))->setText(QStringLiteral("C"));
        window.findChild<QPushButton*>(QStringLiteral("CreateModule"))->click();
        window.close();
        ::close(watch);
        QCOMPARE(opensByDialog, 0);
    }
    QVERIFY(dialogSeen);
    QVERIFY2(otherCode == 0, qPrintable(otherOutput));

    SqliteReader reader(database.toStdString());
    QCOMPARE(QString::fromStdString(reader.integrity()), QStringLiteral("ok"));
    QCOMPARE(QString::fromStdString(reader.value("SELECT group_concat(trim(ModuleName), ',') FROM "
                                                  "(SELECT ModuleName FROM modules ORDER BY ModuleID)")),
        QStringLiteral("A,B,C"));
    // Module B has every topic of the file.
    const QString topicsOfB = QString::fromStdString(reader.value(
        "SELECT count(*) FROM topics WHERE ModuleID = (SELECT ModuleID FROM modules WHERE trim(ModuleName) = 'B')"));
    const QString topicsOfA = QString::fromStdString(reader.value(
        "SELECT count(*) FROM topics WHERE ModuleID = (SELECT ModuleID FROM modules WHERE trim(ModuleName) = 'A')"));
    QVERIFY(topicsOfB.toInt() > 0);
    QCOMPARE(topicsOfB, topicsOfA);
}

QTEST_MAIN(TestDialogLocks)
#include "test_dialog_locks.moc"
