// velkindex-window: the window of velkindex. The program velkindex, given no
// batch action, replaces itself with this one, passing its arguments on
// unchanged; it links Qt Widgets so that velkindex need not. Started directly
// it reads the command line itself and behaves as velkindex: --help,
// --version and batch actions are answered without a window.
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
#include <memory>

namespace {

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
    const CommandLinePlan plan = planCommandLine(argumentText(argc, argv));
    if (const std::optional<int> status = startWithoutWindow(argc, argv, plan))
        return *status;
    return runWithWindows(argc, argv, plan);
}
