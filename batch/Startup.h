// The start-up that every run goes through (Form_Load, the main window's
// load): the settings, the database, the two lists, and the batch action when
// the command line names one. The window's own start-up (app/WindowMain.cpp)
// and a run without windows (batch/HeadlessRun.h) both call it.
#pragma once

#include "batch/CommandLine.h"
#include "batch/RunSummary.h"
#include "core/PatEdContext.h"

#include <QString>

// Exit statuses of the program.
enum ExitStatus : int {
    kExitOk = 0,          // the action succeeded (or the window was closed)
    kExitFailed = 1,      // the batch action failed; nothing was changed
    kExitCannotStart = 2, // no database, no library, no display for the window, or a damaged database
};

struct StartupOutcome {
    bool showWindow = false; // interactive: show the main window now
    int exitStatus = kExitOk;
    bool databaseOpen = false;
    RunReport report; // a batch run that succeeded: its summary and listing
};

// Runs the start-up on the command line as planned. In a batch run the action
// runs here, as one unit of work, and the window is never shown.
StartupOutcome Form_Load(PatEdContext& ctx, const CommandLinePlan& plan);
