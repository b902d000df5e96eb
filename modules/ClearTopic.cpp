#include "modules/ClearTopic.h"

#include "modules/ModuleList.h"
#include "store/UnitOfWork.h"

#include <vector>

bool ClearTopic_Click(PatEdContext& ctx, int* deleted)
{
    if (deleted)
        *deleted = 0;
    ctx.ui.setBusy(true);

    const QString name = ctx.ui.listText(ListName::ModuleList);
    if (name.isEmpty()) {
        ctx.ui.messageBox(QString::fromLatin1(kSelectModuleMessage));
        ctx.ui.setBusy(false);
        return false;
    }

    QString failure;
    int count = 0;
    {
        UnitOfWork unit(ctx.store);
        if (!unit.begin()) {
            failure = QStringLiteral("The module \"%1\" could not be cleared: %2").arg(name, unit.error());
        } else {
            CallStatus status;
            std::vector<ModuleRecord> found(1);
            found[0].ModuleName = name;
            if (!ctx.store.GetModules(found, status))
                failure = QStringLiteral("The module \"%1\" could not be looked up: %2").arg(name, ctx.store.LastError());

            for (size_t i = 0; failure.isEmpty() && i < found.size(); ++i) {
                // The module row goes before its topics.
                ModuleRecord module;
                module.ModuleID = found[i].ModuleID;
                module.ModuleName = QString();
                module.DirectoryPrefix = QString();
                if (!ctx.store.DeleteModules(module, status)) {
                    failure = QStringLiteral("The module \"%1\" could not be deleted: %2").arg(name, ctx.store.LastError());
                    break;
                }
                TopicRecord topics;
                topics.TopicID = -1;
                topics.ModuleID = found[i].ModuleID;
                topics.ParentID = -1;
                topics.HasChild = -1;
                topics.PatEdDocument = QString();
                topics.Description = QString();
                if (!ctx.store.DeleteTopics(topics, status)) {
                    failure = QStringLiteral("The topics of module \"%1\" could not be deleted: %2")
                                  .arg(name, ctx.store.LastError());
                    break;
                }
                ++count;
            }
            if (failure.isEmpty() && !unit.commit())
                failure = QStringLiteral("The module \"%1\" could not be cleared: %2").arg(name, unit.error());
        }
    } // a unit still open here is rolled back

    // The list shows what the database holds, whatever happened above.
    refillModuleList(ctx, blankModuleFilter());
    ctx.ui.refreshMain();
    ctx.ui.setBusy(false);

    if (!failure.isEmpty()) {
        // Every failure above rolled its unit back.
        ctx.ui.messageBox(failure
                          + QStringLiteral(". Nothing was deleted; close any other program that uses the database, "
                                           "then clear the index again."));
        return false;
    }
    if (deleted)
        *deleted = count;
    return true;
}
