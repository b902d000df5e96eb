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
#include "app/PatEdConfig.h"
#include "app/WindowCommands.h"
#include "batch/CommandLine.h"
#include "batch/HeadlessRun.h"
#include "batch/Startup.h"
#include "core/ExternalsContents.h"
#include "store/Interruption.h"
#include "store/KovadelLibrary.h"

#include <QApplication>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

bool displayAvailable()
{
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform)
        return true;
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

// The window's start-up: the main window is the seam. Batch actions never
// come here (runHeadless).
int runWithWindows(int argc, char** argv, const CommandLinePlan& plan)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("VELKINDEX"));

    MainVariables vars;
    KovadelLibrary library;
    int status = kExitOk;
    bool databaseOpen = false;
    bool commandInterrupted = false;
    StartupOutcome outcome;
    // The window's event loop ends when a signal asks the program to stop.
    std::unique_ptr<QSocketNotifier> stopRequests;
    if (Interruption::notifier() >= 0) {
        stopRequests = std::make_unique<QSocketNotifier>(Interruption::notifier(), QSocketNotifier::Read);
        QObject::connect(stopRequests.get(), &QSocketNotifier::activated, []() {
            Interruption::drain();
            QCoreApplication::exit(kExitFailed);
        });
    }
    {
        // What View > Library Contents reads; it outlives the window.
        ExternalsContents contents(library);
        PatEdConfig window;
        PatEdContext ctx {vars, window, library};
        // Form_Terminate: the database is closed once, when the window goes.
        window.setTerminateHandler([&]() {
            if (databaseOpen)
                library.EndVelk();
        });
        window.setContentsSource(&contents);
        // A command that a signal stopped has rolled its unit back; the
        // window then closes.
        window.setCommands(windowCommands(ctx, window, [&commandInterrupted]() {
            commandInterrupted = true;
            QCoreApplication::exit(kExitFailed);
        }));
        outcome = Form_Load(ctx, plan);
        databaseOpen = outcome.databaseOpen;
        status = outcome.exitStatus;
        if (status == kExitOk)
            writeRunReport(outcome.report, stdout, stderr);
        if (outcome.showWindow && !Interruption::requested()) {
            window.show();
            QApplication::exec();
        }
    } // the window goes, and with it the database (Form_Terminate)
    if (Interruption::requested() && status == kExitOk) {
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
    // The command line is split once; the whole run reads this plan.
    const CommandLinePlan plan = planCommandLine(argumentText(argc, argv));

    // --help and --version answer at once: no database, no display.
    if (plan.info != InfoRequest::None) {
        const QString text = plan.info == InfoRequest::Help ? usageText() : versionText();
        std::fputs(text.toLocal8Bit().constData(), stdout);
        return std::fflush(stdout) == 0 ? kExitOk : kExitFailed;
    }

    // A batch action never shows a window: it starts Qt Core only, without
    // widgets or a platform plugin, whether or not a display is there.
    if (plan.action != BatchAction::None)
        return runHeadless(argc, argv, plan);

    if (!displayAvailable()) {
        std::fprintf(stderr,
                     "velkindex: no display is available for the window. Run it on a desktop, or give a batch "
                     "action such as: velkindex DATABASE topic create NAME PREFIX DIR FILE\n");
        return kExitCannotStart;
    }
    return runWithWindows(argc, argv, plan);
}
