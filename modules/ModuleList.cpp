#include "modules/ModuleList.h"

#include <vector>

ModuleRecord blankModuleFilter()
{
    ModuleRecord filter;
    filter.ModuleID = 0;
    filter.ModuleName = QString();
    filter.DirectoryPrefix = QString();
    return filter;
}

void refillModuleList(PatEdContext& ctx, const ModuleRecord& filter)
{
    CallStatus status;
    ctx.ui.clearList(ListName::ModuleList);
    std::vector<ModuleRecord> modules {filter};
    ctx.store.GetModules(modules, status);
    for (const ModuleRecord& module : modules)
        ctx.ui.addListItem(ListName::ModuleList, module.ModuleName.trimmed());
}
