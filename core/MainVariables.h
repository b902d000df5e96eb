// The main window's variables, shared by the start-up and the handlers.
#pragma once

#include <QString>

#include <cstdint>

struct MainVariables {
    // Set at start-up from the command line.
    QString RunMode;         // "interactive", or "topic" / "code"
    QString RunAction;       // the command line's verb
    QString DbPath;          // path of the database file
    QString BatchTargetName; // module or coding-system name of a batch run
    QString BatchFileDir;    // first part of the batch input file's path
    QString BatchFileName;   // second part, appended with nothing in between

    // True while the start-up runs a batch action: nobody is at the screen,
    // so a handler reports a missing input instead of passing over it.
    bool BatchRun = false;

    // The topic being stored by the topic-index builder; they outlive a build.
    int32_t CurTopicID = 0;
    int32_t CurParentID = 0;
    int16_t CurHasChild = 0;
    QString CurDescription;
    QString CurPatEdDocument;
};
