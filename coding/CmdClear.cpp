#include "coding/CmdClear.h"

#include "coding/CodeFile.h"
#include "store/UnitOfWork.h"

#include <vector>

namespace {

// Deletes the codes and reads back the coding systems for the list. Returns
// the reason when it failed, after the unit of work has been rolled back.
QString clearCodes(PatEdContext& ctx, const QString& name, std::vector<CodingSystemRecord>& systems, int& cleared)
{
    UnitOfWork unit(ctx.store);
    if (!unit.begin())
        return QStringLiteral("The codes of the coding system \"%1\" were not deleted: the database cannot be "
                              "written now (%2). Close any other program that uses it, then try again.")
            .arg(name, unit.error());

    CallStatus status;

    // The coding systems of that name.
    std::vector<CodingSystemRecord> found(1);
    found[0].CodingSystemID = 0;
    found[0].CodingSystemName = name;
    if (ctx.store.GetCodingSystems(found, status) == 0)
        return QStringLiteral("The codes of the coding system \"%1\" were not deleted: it could not be looked up (%2).")
            .arg(name, ctx.store.LastError());

    // -1 and blank stand for any value: every code of the system.
    CodeRecord pattern;
    for (const CodingSystemRecord& system : found) {
        pattern.CodeID = -1;
        pattern.Code = QString();
        pattern.CodingSystemID = system.CodingSystemID;
        pattern.CodeFlag = -1;
        pattern.Description = QString();
        pattern.PatEdDocument = QString();
        if (ctx.store.DeleteCodes(pattern, status) == 0)
            return QStringLiteral("The codes of the coding system \"%1\" could not be deleted: %2. No codes were "
                                  "deleted; try again once the database is available.")
                .arg(name, ctx.store.LastError());
        ++cleared;
    }

    // Every coding system, for the list.
    systems.assign(1, CodingSystemRecord());
    systems[0].CodingSystemID = 0;
    systems[0].CodingSystemName = QString();
    ctx.store.GetCodingSystems(systems, status);

    if (!unit.commit())
        return QStringLiteral("The codes of the coding system \"%1\" could not be deleted: %2. No codes were "
                              "deleted; try again.")
            .arg(name, unit.error());
    return QString();
}

} // namespace

bool CmdClear_Click(PatEdContext& ctx, int* systemsCleared)
{
    if (systemsCleared)
        *systemsCleared = 0;

    const QString name = ctx.ui.listText(ListName::CodeList);
    if (isBlankName(name)) {
        ctx.ui.messageBox(QStringLiteral("No coding system was named, so no codes were deleted (a blank name would "
                                         "stand for every coding system). Name the coding system whose codes are "
                                         "to be deleted."));
        return false;
    }

    ctx.ui.setBusy(true);
    std::vector<CodingSystemRecord> systems;
    int cleared = 0;
    const QString failure = clearCodes(ctx, name, systems, cleared);
    if (failure.isEmpty()) {
        ctx.ui.clearList(ListName::CodeList);
        for (const CodingSystemRecord& system : systems)
            ctx.ui.addListItem(ListName::CodeList, system.CodingSystemName.trimmed());
        ctx.ui.refreshMain();
        if (systemsCleared)
            *systemsCleared = cleared;
    }
    ctx.ui.setBusy(false);

    if (!failure.isEmpty()) {
        ctx.ui.messageBox(failure);
        return false;
    }
    return true;
}
