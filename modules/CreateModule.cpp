#include "modules/CreateModule.h"

#include "store/ByteForms.h"
#include "store/UnitOfWork.h"

#include <vector>

namespace {

// Stores the module and reads back every module for the list. Returns the
// reason when it failed, after the unit of work has been rolled back.
QString insertModule(
    PatEdContext& ctx, const QString& modName, const QString& modDirPrefix, std::vector<ModuleRecord>& modules)
{
    UnitOfWork unit(ctx.store);
    if (!unit.begin())
        return QStringLiteral("The module \"%1\" was not created: the database cannot be written now (%2). "
                              "Close any other program that uses it, then press Create again.")
            .arg(modName, unit.error());

    CallStatus status;
    ModuleRecord record;
    record.ModuleID = 0;
    record.ModuleName = modName;
    record.DirectoryPrefix = modDirPrefix;
    if (ctx.store.InsertModule(record, status) == 0)
        return QStringLiteral("The module \"%1\" could not be created: %2. Correct the name or the directory "
                              "prefix, then press Create again.")
            .arg(modName, ctx.store.LastError());

    // Element 0 left all zero and NUL: every module.
    modules.assign(1, ModuleRecord());
    ctx.store.GetModules(modules, status);

    if (!unit.commit())
        return QStringLiteral("The module \"%1\" could not be created: %2. Press Create again.")
            .arg(modName, unit.error());
    return QString();
}

} // namespace

bool CreateModule_Click(PatEdContext& ctx, const QString& modName, const QString& modDirPrefix)
{
    // Compared as they stand: a text of blanks is not empty.
    if (modName.isEmpty() || modDirPrefix.isEmpty()) {
        ctx.ui.messageBox(QStringLiteral("You must supply both a module name and a directory prefix"));
        return false;
    }
    // A name the code page cannot hold would be stored with '?' in its place.
    ModuleRecord named;
    named.ModuleName = modName;
    named.DirectoryPrefix = modDirPrefix;
    if (const QString reason = unrepresentableNames(named); !reason.isEmpty()) {
        ctx.ui.messageBox(QStringLiteral("The module was not created: %1. Use only characters that code page holds, "
                                         "then press Create again.")
                              .arg(reason));
        return false;
    }

    std::vector<ModuleRecord> modules;
    const QString failure = insertModule(ctx, modName, modDirPrefix, modules);
    if (!failure.isEmpty()) {
        ctx.ui.messageBox(failure);
        return false;
    }

    ctx.ui.clearList(ListName::ModuleList);
    for (const ModuleRecord& module : modules)
        ctx.ui.addListItem(ListName::ModuleList, module.ModuleName.trimmed());
    ctx.ui.refreshMain();
    return true;
}
