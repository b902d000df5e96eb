// The main window's variables, shared by the start-up and the handlers.
#pragma once

#include "core/RunMode.h"

#include <QString>

#include <cstdint>

struct MainVariables {
    // Set at start-up from the command line. RunMode and RunAction are the
    // one record of how the program runs; batchRun() and
    // fileFromCommandLine() read them.
    QString RunMode;         // "interactive", or "topic" / "code"
    QString RunAction;       // the command line's verb
    QString DbPath;          // path of the database file
    QString BatchTargetName; // module or coding-system name of a batch run
    QString BatchFileDir;    // first part of the batch input file's path
    QString BatchFileName;   // second part, appended with nothing in between

    // A batch action runs: the mode word and the verb name one. Nobody is at
    // the screen, so a handler reports a missing input instead of passing
    // over it, and the description load asks no dialog.
    bool batchRun() const { return batchActionFor(RunMode, RunAction) != BatchAction::None; }

    // The topic build and the code load take their file from the command line
    // (BatchFileDir + BatchFileName), not from the dialog, whenever the
    // command line gave a mode word: also in the window that "velkindex DB
    // code" opens, whose batch path is empty, so that those two commands load
    // nothing there.
    bool fileFromCommandLine() const { return RunMode != QLatin1String("interactive"); }

    // The topic being stored by the topic-index builder; they outlive a build.
    int32_t CurTopicID = 0;
    int32_t CurParentID = 0;
    int16_t CurHasChild = 0;
    QString CurDescription;
    QString CurPatEdDocument;
};
