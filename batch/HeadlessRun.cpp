#include "batch/HeadlessRun.h"

#include "core/HeadlessShell.h"
#include "store/Interruption.h"
#include "store/KovadelLibrary.h"

#include <QCoreApplication>

#include <cstdio>

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
