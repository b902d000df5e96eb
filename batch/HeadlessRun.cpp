#include "batch/HeadlessRun.h"

#include "core/HeadlessShell.h"
#include "store/Interruption.h"
#include "store/KovadelLibrary.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

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

} // namespace

void tell(const QString& line)
{
    std::fprintf(stderr, "velkindex: %s\n", qPrintable(line));
    std::fflush(stderr);
}

void tellInterruptedAfterStoring(const StartupOutcome& outcome)
{
    if (outcome.exitStatus == kExitOk && Interruption::requested())
        tell(interruptedAfterStoringNotice(outcome.report));
}

int runHeadless(int argc, char** argv, const CommandLinePlan& plan)
{
    QCoreApplication app(argc, argv);
    MainVariables vars;
    HeadlessShell shell(stderr, nullptr);
    KovadelLibrary library;
    PatEdContext ctx {vars, shell, library};
    const StartupOutcome outcome = Form_Load(ctx, plan);
    if (outcome.exitStatus == kExitOk)
        writeRunReport(outcome.report, stdout, stderr);
    if (outcome.databaseOpen)
        library.EndVelk();
    tellInterruptedAfterStoring(outcome);
    return outcome.exitStatus;
}

std::optional<int> startWithoutWindow(int argc, char** argv, const CommandLinePlan& plan)
{
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
    return std::nullopt;
}
