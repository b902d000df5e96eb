#include "core/RunMode.h"

BatchAction batchActionFor(const QString& modeWord, const QString& verb)
{
    if (modeWord == QLatin1String("topic")) {
        if (verb == QLatin1String("create"))
            return BatchAction::TopicCreate;
        if (verb == QLatin1String("delete"))
            return BatchAction::TopicDelete;
    } else if (modeWord == QLatin1String("code")) {
        if (verb == QLatin1String("create"))
            return BatchAction::CodeCreate;
        if (verb == QLatin1String("delete"))
            return BatchAction::CodeDelete;
        if (verb == QLatin1String("description"))
            return BatchAction::CodeDescription;
    }
    return BatchAction::None;
}

QString runModeFor(const QString& modeWord)
{
    if (modeWord == QLatin1String("topic") || modeWord == QLatin1String("code"))
        return modeWord;
    return QStringLiteral("interactive");
}
