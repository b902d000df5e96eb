// A batch run without windows (no display), and the lines that end a run.
#pragma once

#include "batch/CommandLine.h"
#include "batch/Startup.h"

#include <QString>

#include <optional>

// Runs the batch action of `plan` with the headless seam: messages to
// stderr, the summary to stdout. Returns the exit status.
int runHeadless(int argc, char** argv, const CommandLinePlan& plan);

// What every start does before a window could open: --help and --version
// answered on stdout, a batch action run with runHeadless, and, without a
// batch action, the check for a display (a line on stderr and status 2 when
// there is none). The status to end with; none when the window is to open.
std::optional<int> startWithoutWindow(int argc, char** argv, const CommandLinePlan& plan);

// One line "velkindex: LINE" on stderr.
void tell(const QString& line);

// A batch run that a signal asked to stop after its work was committed: the
// work stays, and the operator is told what was stored.
void tellInterruptedAfterStoring(const StartupOutcome& outcome);
