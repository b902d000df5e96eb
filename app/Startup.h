// The start-up of the main window: the command line, the database, the two
// lists, and the batch action when the command line names one.
#pragma once

#include "core/PatEdContext.h"
#include "app/RunSummary.h"

#include <QString>

// Exit statuses of the program.
enum ExitStatus : int {
    kExitOk = 0,          // the action succeeded (or the window was closed)
    kExitFailed = 1,      // the batch action failed; nothing was changed
    kExitCannotStart = 2, // no database, no library, or no display for the window
};

struct StartupOutcome {
    bool showWindow = false; // interactive: show the main window now
    int exitStatus = kExitOk;
    bool databaseOpen = false;
    RunReport report; // a batch run that succeeded: its summary and listing
};

// Runs the start-up on the program's argument text. In a batch run the action
// runs here, as one unit of work, and the window is never shown.
StartupOutcome Form_Load(PatEdContext& ctx, const QString& commandLine);
