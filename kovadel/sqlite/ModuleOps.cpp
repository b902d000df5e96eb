// Modules: listed, found by name, stored and deleted.
#include "SqliteEngine.h"

#include "Identifiers.h"

namespace kovadel {

Status SqliteEngine::getModules(const ModuleFields& filter, std::vector<ModuleFields>& rows)
{
    if (Status st = m_unit.usable(); !st)
        return st;
    rows.clear();
    int64_t beyond = 0;
    Status st = runPattern(kListModules, "SELECT ModuleID, ModuleName, DirectoryPrefix FROM modules",
        moduleFilter(filter), " ORDER BY ModuleID", [&rows, &beyond](const StatementRun& r) {
            const int64_t id = r.columnInteger(0);
            if (!fitsRecord(id))
                beyond = id;
            rows.push_back({ toInt32(id), r.columnText(1), r.columnText(2) });
        });
    if (st && beyond != 0) {
        rows.clear();
        return beyondRecord("the module identifier", beyond);
    }
    return st;
}

Status SqliteEngine::getModule(const std::string& name, ModuleFields& row)
{
    if (Status st = m_unit.usable(); !st)
        return st;
    StatementRun r(m_statements.getModule);
    r.text(1, name);
    if (r.next()) {
        if (!fitsRecord(r.columnInteger(0)))
            return beyondRecord("the module identifier", r.columnInteger(0));
        row = { toInt32(r.columnInteger(0)), r.columnText(1), r.columnText(2) };
        return {};
    }
    if (!r.status())
        return m_unit.checked(r.status());
    return Status::failure("no module is named " + name);
}

Status SqliteEngine::insertModule(const ModuleFields& module)
{
    if (Status st = m_unit.writable(); !st)
        return st;
    StatementRun r(m_statements.insertModule);
    r.text(1, module.moduleName).text(2, module.directoryPrefix);
    return m_unit.checked(r.execute());
}

Status SqliteEngine::deleteModules(const ModuleFields& pattern)
{
    if (Status st = m_unit.writable(); !st)
        return st;
    return runPattern(kDeleteModules, "DELETE FROM modules", modulePattern(pattern), "");
}

} // namespace kovadel
