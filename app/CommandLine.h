// The command line: database path, then optionally a mode word, a verb and the
// verb's arguments, separated by spaces, without quoting.
#pragma once

#include <QString>

enum class BatchAction {
    None,            // interactive: the window opens
    TopicCreate,     // topic create NAME PREFIX DIR FILE
    TopicDelete,     // topic delete NAME (dropped) DIR FILE
    CodeCreate,      // code create NAME DIR FILE
    CodeDelete,      // code delete NAME DIR FILE
    CodeDescription, // code description NAME DIR FILE
};

struct CommandLinePlan {
    QString dbPath;    // token 1
    QString runMode;   // token 2 as given
    QString runAction; // token 3
    BatchAction action = BatchAction::None;
    QString name;      // first token after the verb
    QString prefix;    // topic create: the module's directory prefix
    QString fileDir;   // BatchFileDir
    QString fileName;  // BatchFileName
};

// Splits the command line with getnexttoken and picks the action from the mode
// word and the verb (exact, case-sensitive). Touches nothing else.
CommandLinePlan planCommandLine(const QString& commandLine);

// The mode word as the program keeps it: "topic" and "code" stay, anything
// else becomes "interactive".
QString runModeFor(const QString& modeWord);

// What the first token asks for before anything else: "--help" or
// "--version" (exact) answer with a text and end the run without opening a
// database or a window. Any other first token is the database path.
enum class InfoRequest {
    None,
    Help,
    Version,
};

InfoRequest infoRequestFor(const QString& commandLine);

// The text printed for --help (the command-line summary) and --version
// ("velkindex 1.0.0"), each ending in a newline.
QString usageText();
QString versionText();
