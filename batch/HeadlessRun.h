// A batch run without windows (no display), and the lines that end a run.
#pragma once

#include "batch/CommandLine.h"
#include "batch/Startup.h"

#include <QString>

// Runs the batch action of `plan` with the headless seam: messages to
// stderr, the summary to stdout. Returns the exit status.
int runHeadless(int argc, char** argv, const CommandLinePlan& plan);

// One line "velkindex: LINE" on stderr.
void tell(const QString& line);

// A batch run that a signal asked to stop after its work was committed: the
// work stays, and the operator is told what was stored.
void tellInterruptedAfterStoring(const StartupOutcome& outcome);
