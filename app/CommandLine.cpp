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
