#include "app/CommandLine.h"

#include "text/Tokens.h"

namespace {

// Takes the next token off `rest`, the way the start-up reads every token.
QString next(QString& rest)
{
    QString line = rest;
    return getnexttoken(line, rest);
}

} // namespace

QString runModeFor(const QString& modeWord)
{
    if (modeWord == QLatin1String("topic") || modeWord == QLatin1String("code"))
        return modeWord;
    return QStringLiteral("interactive");
}

CommandLinePlan planCommandLine(const QString& commandLine)
{
    CommandLinePlan plan;
    QString rest = commandLine;
    plan.dbPath = next(rest);
    plan.runMode = next(rest);
    plan.runAction = next(rest);

    const QString& mode = plan.runMode;
    const QString& verb = plan.runAction;
    if (mode == QLatin1String("topic")) {
        if (verb == QLatin1String("create")) {
            plan.action = BatchAction::TopicCreate;
            plan.name = next(rest);
            plan.prefix = next(rest);
            plan.fileDir = next(rest);
            plan.fileName = next(rest);
        } else if (verb == QLatin1String("delete")) {
            plan.action = BatchAction::TopicDelete;
            plan.name = next(rest);
            next(rest); // read and dropped
            plan.fileDir = next(rest);
            plan.fileName = next(rest);
        }
    } else if (mode == QLatin1String("code")) {
        if (verb == QLatin1String("create"))
            plan.action = BatchAction::CodeCreate;
        else if (verb == QLatin1String("delete"))
            plan.action = BatchAction::CodeDelete;
        else if (verb == QLatin1String("description"))
            plan.action = BatchAction::CodeDescription;
        if (plan.action != BatchAction::None) {
            plan.name = next(rest);
            plan.fileDir = next(rest);
            plan.fileName = next(rest);
        }
    }
    return plan;
}

InfoRequest infoRequestFor(const QString& commandLine)
{
    QString line = commandLine;
    QString rest;
    const QString first = getnexttoken(line, rest);
    if (first == QLatin1String("--help"))
        return InfoRequest::Help;
    if (first == QLatin1String("--version"))
        return InfoRequest::Version;
    return InfoRequest::None;
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
        "\n"
        "The input file is DIR followed directly by FILE: give DIR with its trailing /.\n"
        "No word can contain a space. WORD, DIR and FILE of topic delete are not used.\n"
        "\n"
        "Exit status: 0 success (also a delete that matched nothing);\n"
        "1 the batch action failed and nothing was changed (also a busy database);\n"
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
