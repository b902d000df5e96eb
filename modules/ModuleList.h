// ModuleList, the list of modules every module and topic command reads its
// module from.
#pragma once

#include "core/PatEdContext.h"

// Shown when Build Index or Clear Index runs without a selected module.
inline constexpr char kSelectModuleMessage[] = "You must first select a Module from the available list.";

// Empties ModuleList and appends every module's trimmed name, in the order the
// database returns them. `filter` is element 0 of the look-up: all zero, or
// with blank texts; both ask for every module.
void refillModuleList(PatEdContext& ctx, const ModuleRecord& filter);

// The look-up element with identifier 0 and blank texts.
ModuleRecord blankModuleFilter();
