#include "core/RunMode.h"

BatchAction batchActionFor(const QString& modeWord, const QString& verb)
{
    if (modeWord == QLatin1String("topic")) {
        if (verb == QLatin1String("create"))
            return BatchAction::TopicCreate;
        if (verb == QLatin1String("delete"))
            return BatchAction::TopicDelete;
        if (verb == QLatin1String("export"))
            return BatchAction::TopicExport;
    } else if (modeWord == QLatin1String("code")) {
        if (verb == QLatin1String("create"))
            return BatchAction::CodeCreate;
        if (verb == QLatin1String("delete"))
            return BatchAction::CodeDelete;
        if (verb == QLatin1String("description"))
            return BatchAction::CodeDescription;
        if (verb == QLatin1String("export"))
            return BatchAction::CodeExport;
        if (verb == QLatin1String("export-descriptions"))
            return BatchAction::CodeExportDescriptions;
    }
    return BatchAction::None;
}

QString runModeFor(const QString& modeWord)
{
    if (modeWord == QLatin1String("topic") || modeWord == QLatin1String("code"))
        return modeWord;
    return QStringLiteral("interactive");
}
