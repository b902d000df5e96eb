// The command line: database path, then optionally a mode word, a verb and the
// verb's arguments, separated by spaces, without quoting. It is split once,
// at the start, into a CommandLinePlan that the rest of the run reads.
#pragma once

#include "core/RunMode.h"

#include <QString>

// What the first token asks for before anything else: "--help" or
// "--version" (exact) answer with a text and end the run without opening a
// database or a window. Any other first token is the database path.
enum class InfoRequest {
    None,
    Help,
    Version,
};

struct CommandLinePlan {
    InfoRequest info = InfoRequest::None; // token 1 as --help or --version
    QString dbPath;    // token 1
    QString runMode;   // token 2 as given
    QString runAction; // token 3
    BatchAction action = BatchAction::None;
    QString name;      // first token after the verb
    QString prefix;    // topic create: the module's directory prefix
    QString fileDir;   // BatchFileDir
    QString fileName;  // BatchFileName
};

// The program's arguments joined by single spaces: the same tokens as the raw
// argument text, since no token can contain a space. Each keeps its bytes
// (store/FileSystemName.h), so that a path names exactly the file it names.
QString argumentText(int argc, char** argv);

// Splits the command line with getnexttoken and picks the action from the mode
// word and the verb (batchActionFor). Touches nothing else.
CommandLinePlan planCommandLine(const QString& commandLine);

// The text printed for --help (the command-line summary) and --version
// ("velkindex 1.0.0"), each ending in a newline.
QString usageText();
QString versionText();
