#include "batch/CommandLine.h"

#include "store/FileSystemName.h"
#include "text/Tokens.h"

#include <QStringList>

namespace {

// Takes the next token off `rest`, the way the start-up reads every token.
QString next(QString& rest)
{
    QString line = rest;
    return getnexttoken(line, rest);
}

} // namespace

QString argumentText(int argc, char** argv)
{
    QStringList words;
    for (int i = 1; i < argc; ++i)
        words << fromFileSystemBytes(QByteArray(argv[i]));
    return words.join(u' ');
}

CommandLinePlan planCommandLine(const QString& commandLine)
{
    CommandLinePlan plan;
    QString rest = commandLine;
    plan.dbPath = next(rest);
    plan.runMode = next(rest);
    plan.runAction = next(rest);
    if (plan.dbPath == QLatin1String("--help"))
        plan.info = InfoRequest::Help;
    else if (plan.dbPath == QLatin1String("--version"))
        plan.info = InfoRequest::Version;

    plan.action = batchActionFor(plan.runMode, plan.runAction);
    switch (plan.action) {
    case BatchAction::None:
        break;
    case BatchAction::TopicCreate:
        plan.name = next(rest);
        plan.prefix = next(rest);
        plan.fileDir = next(rest);
        plan.fileName = next(rest);
        break;
    case BatchAction::TopicDelete:
        plan.name = next(rest);
        next(rest); // read and dropped
        plan.fileDir = next(rest);
        plan.fileName = next(rest);
        break;
    case BatchAction::CodeCreate:
    case BatchAction::CodeDelete:
    case BatchAction::CodeDescription:
    case BatchAction::TopicExport:
    case BatchAction::CodeExport:
    case BatchAction::CodeExportDescriptions:
        plan.name = next(rest);
        plan.fileDir = next(rest);
        plan.fileName = next(rest);
        break;
    }
    return plan;
}

QString usageText()
{
    return QStringLiteral(
        "Usage: velkindex [DATABASE [MODE VERB NAME ARGUMENTS...]]\n"
        "       velkindex --help | --version\n"
        "\n"
        "Maintains the index data of a patient-education library: modules with their\n"
        "topic index, and the codes of coding systems with their descriptions.\n"
        "\n"
        "Without arguments the program asks for the database in a dialog; with only a\n"
        "database it opens the main window on it. With a batch action it runs that\n"
        "action without a window or a display, writes its messages to stderr and ends:\n"
        "\n"
        "  velkindex DB topic create NAME PREFIX DIR FILE\n"
        "  velkindex DB topic delete NAME WORD DIR FILE\n"
        "  velkindex DB code create NAME DIR FILE\n"
        "  velkindex DB code delete NAME\n"
        "  velkindex DB code description NAME DIR FILE\n"
        "  velkindex DB topic export NAME DIR FILE\n"
        "  velkindex DB code export NAME DIR FILE\n"
        "  velkindex DB code export-descriptions NAME DIR FILE\n"
        "\n"
        "The input file is DIR followed directly by FILE: give DIR with its trailing /.\n"
        "The exports write that file (an index file, a code file, a description file)\n"
        "in the code page of the input files, replacing it whole or not at all.\n"
        "No word can contain a space. WORD, DIR and FILE of topic delete are not used.\n"
        "\n"
        "Exit status: 0 success (also a delete that matched nothing);\n"
        "1 the batch action failed and nothing was changed (also a busy database;\n"
        "for an export: an unknown name, or a text the code page cannot hold);\n"
        "2 the program could not start (a setting, database, library or display).\n"
        "\n"
        "Environment: VELKINDEX_CODEPAGE, the code page of the input files (default\n"
        "Windows-1252); VELKINDEX_BUSY_TIMEOUT_MS, how long to wait for a locked\n"
        "database in milliseconds (default 5000). A value that is not a valid setting\n"
        "stops the program with status 2; an empty one means the default.\n"
        "\n"
        "The file formats and examples are in velkindex(1).\n");
}

QString versionText() { return QStringLiteral("velkindex " VELKINDEX_VERSION "\n"); }
