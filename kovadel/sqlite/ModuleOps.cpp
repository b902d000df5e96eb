// Modules: listed, found by name, stored and deleted.
#include "SqliteEngine.h"

namespace kovadel {

Status SqliteEngine::getModules(const ModuleFields& filter, std::vector<ModuleFields>& rows)
{
    if (Status st = ready(); !st)
        return st;
    return listRows(kListModules, "SELECT ModuleID, ModuleName, DirectoryPrefix FROM modules", moduleFilter(filter),
        " ORDER BY ModuleID", "the module identifier", rows, [](const StatementRun& r, int32_t id) {
            return ModuleFields { id, r.columnText(1), r.columnText(2) };
        });
}

Status SqliteEngine::getModule(const std::string& name, ModuleFields& row)
{
    if (Status st = ready(); !st)
        return st;
    return findByName(m_statements.getModule, name, "the module identifier", "no module is named " + name,
        [&row](const StatementRun& r, int32_t id) {
            row = { id, r.columnText(1), r.columnText(2) };
        });
}

Status SqliteEngine::insertModule(const ModuleFields& module)
{
    if (Status st = readyToWrite(); !st)
        return st;
    StatementRun r(m_statements.insertModule);
    r.text(1, module.moduleName).text(2, module.directoryPrefix);
    return m_unit.checked(r.execute());
}

Status SqliteEngine::deleteModules(const ModuleFields& pattern)
{
    if (Status st = readyToWrite(); !st)
        return st;
    return runPattern(kDeleteModules, "DELETE FROM modules", modulePattern(pattern), "");
}

} // namespace kovadel
