// velkindex: maintains the index data of a patient-education library.
//
// velkindex [database [topic|code [verb [name [argument ...]]]]]
// velkindex --help | --version
//
// Without an action the main window opens; with one (topic create, topic
// delete, code create, code delete, code description) the action runs
// without showing the main window, and the exit status tells how it went.
#include "app/CommandLine.h"
#include "app/HeadlessShell.h"
#include "app/PatEdConfig.h"
#include "app/RunSummary.h"
#include "app/Startup.h"
#include "app/WindowCommands.h"
#include "store/KovadelLibrary.h"

#include <QApplication>
#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

namespace {

// The program's arguments joined by single spaces: the same tokens as the raw
// argument text, since no token can contain a space.
QString argumentText(int argc, char** argv)
{
    QStringList words;
    for (int i = 1; i < argc; ++i)
        words << QString::fromLocal8Bit(argv[i]);
    return words.join(u' ');
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
        window.setCommands(windowCommands(ctx, window));
        const StartupOutcome outcome = Form_Load(ctx, commandLine);
        databaseOpen = outcome.databaseOpen;
        status = outcome.exitStatus;
        if (status == kExitOk)
            writeRunReport(outcome.report, stdout, stderr);
        if (outcome.showWindow) {
            window.show();
            QApplication::exec();
        }
    }
    return status;
}

} // namespace

int main(int argc, char** argv)
{
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
