// velkindex: maintains the index data of a patient-education library.
//
// velkindex [database [topic|code [verb [name [argument ...]]]]]
// velkindex --help | --version
//
// Without an action the main window opens; with one (topic create, topic
// delete, code create, code delete, code description) the action runs
// without showing the main window, and the exit status tells how it went.
// SIGTERM and SIGINT stop a run cleanly: its unit of work rolls back, the
// database is closed, and one line on stderr says what became of the work.
#include "app/CommandLine.h"
#include "core/HeadlessShell.h"
#include "app/PatEdConfig.h"
#include "app/RunSummary.h"
#include "app/Startup.h"
#include "app/WindowCommands.h"
#include "store/FileSystemName.h"
#include "store/Interruption.h"
#include "store/KovadelLibrary.h"

#include <QApplication>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

// The program's arguments joined by single spaces: the same tokens as the raw
// argument text, since no token can contain a space. Each keeps its bytes
// (store/FileSystemName.h), so that a path names exactly the file it names.
QString argumentText(int argc, char** argv)
{
    QStringList words;
    for (int i = 1; i < argc; ++i)
        words << fromFileSystemBytes(QByteArray(argv[i]));
    return words.join(u' ');
}

void tell(const QString& line)
{
    std::fprintf(stderr, "velkindex: %s\n", qPrintable(line));
    std::fflush(stderr);
}

// A batch run that a signal asked to stop after its work was committed: the
// work stays, and the operator is told what was stored.
void tellInterruptedAfterStoring(const StartupOutcome& outcome)
{
    if (outcome.exitStatus == kExitOk && Interruption::requested())
        tell(interruptedAfterStoringNotice(outcome.report));
}

bool displayAvailable()
{
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform)
        return true;
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

// A batch run without a display: no windows at all.
int runHeadless(int argc, char** argv, const QString& commandLine)
{
    QCoreApplication app(argc, argv);
    MainVariables vars;
    HeadlessShell shell(stderr, nullptr);
    KovadelLibrary library;
    PatEdContext ctx {vars, shell, library};
    const StartupOutcome outcome = Form_Load(ctx, commandLine);
    if (outcome.exitStatus == kExitOk)
        writeRunReport(outcome.report, stdout, stderr);
    if (outcome.databaseOpen)
        library.EndVelk();
    tellInterruptedAfterStoring(outcome);
    return outcome.exitStatus;
}

int runWithWindows(int argc, char** argv, const QString& commandLine, bool batch)
{
    // A batch run must end even when the display named in the environment
    // cannot be reached: fall back to drawing off screen.
    if (batch && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb;wayland;offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("VELKINDEX"));

    MainVariables vars;
    KovadelLibrary library;
    int status = kExitOk;
    bool databaseOpen = false;
    bool commandInterrupted = false;
    StartupOutcome outcome;
    // The window's event loop ends when a signal asks the program to stop; a
    // batch run notices the request at its next call into the library.
    std::unique_ptr<QSocketNotifier> stopRequests;
    if (!batch && Interruption::notifier() >= 0) {
        stopRequests = std::make_unique<QSocketNotifier>(Interruption::notifier(), QSocketNotifier::Read);
        QObject::connect(stopRequests.get(), &QSocketNotifier::activated, []() {
            Interruption::drain();
            QCoreApplication::exit(kExitFailed);
        });
    }
    {
        PatEdConfig window;
        PatEdContext ctx {vars, window, library};
        // Form_Terminate: the database is closed once, when the window goes.
        window.setTerminateHandler([&]() {
            if (databaseOpen)
                library.EndVelk();
        });
        if (batch) {
            // Nobody is at the screen: messages go to stderr and never wait.
            window.setMessageSink([](const QString& text) {
                std::fprintf(stderr, "velkindex: %s\n", qPrintable(text));
                std::fflush(stderr);
            });
        }
        // A command that a signal stopped has rolled its unit back; the
        // window then closes.
        window.setCommands(windowCommands(ctx, window, [&commandInterrupted]() {
            commandInterrupted = true;
            QCoreApplication::exit(kExitFailed);
        }));
        outcome = Form_Load(ctx, commandLine);
        databaseOpen = outcome.databaseOpen;
        status = outcome.exitStatus;
        if (status == kExitOk)
            writeRunReport(outcome.report, stdout, stderr);
        if (outcome.showWindow && !Interruption::requested()) {
            window.show();
            QApplication::exec();
        }
    } // the window goes, and with it the database (Form_Terminate)
    if (batch) {
        tellInterruptedAfterStoring(outcome);
    } else if (Interruption::requested() && status == kExitOk) {
        tell(commandInterrupted ? QStringLiteral("interrupted: nothing was changed")
                                : QStringLiteral("interrupted: no command was running; nothing was changed"));
        status = kExitFailed;
    }
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    // First of all: from here on a signal only asks the run to stop.
    Interruption::install();
    const QString commandLine = argumentText(argc, argv);

    // --help and --version answer at once: no database, no display.
    const InfoRequest info = infoRequestFor(commandLine);
    if (info != InfoRequest::None) {
        const QString text = info == InfoRequest::Help ? usageText() : versionText();
        std::fputs(text.toLocal8Bit().constData(), stdout);
        return std::fflush(stdout) == 0 ? kExitOk : kExitFailed;
    }

    const CommandLinePlan plan = planCommandLine(commandLine);
    const bool batch = plan.action != BatchAction::None;

    if (!displayAvailable()) {
        if (batch)
            return runHeadless(argc, argv, commandLine);
        std::fprintf(stderr,
                     "velkindex: no display is available for the window. Run it on a desktop, or give a batch "
                     "action such as: velkindex DATABASE topic create NAME PREFIX DIR FILE\n");
        return kExitCannotStart;
    }
    return runWithWindows(argc, argv, commandLine, batch);
}
