// How the program runs, as the command line's mode word and verb say: the
// window, or one batch action. The start-up, the command line and the
// handlers all decide it here.
#pragma once

#include <QString>

enum class BatchAction {
    None,            // interactive: the window opens
    TopicCreate,     // topic create NAME PREFIX DIR FILE
    TopicDelete,     // topic delete NAME (dropped) DIR FILE
    CodeCreate,      // code create NAME DIR FILE
    CodeDelete,      // code delete NAME DIR FILE
    CodeDescription, // code description NAME DIR FILE
    TopicExport,     // topic export NAME DIR FILE
    CodeExport,      // code export NAME DIR FILE
    CodeExportDescriptions, // code export-descriptions NAME DIR FILE
};

// The action a mode word and a verb name, compared exactly (lower case):
// "topic" with "create", "delete" or "export", "code" with "create",
// "delete", "description", "export" or "export-descriptions". Any other pair
// names none, and the window opens.
BatchAction batchActionFor(const QString& modeWord, const QString& verb);

// The mode word as the program keeps it: "topic" and "code" stay, anything
// else becomes "interactive".
QString runModeFor(const QString& modeWord);
