#pragma once

#include "core/PatEdContext.h"

// Deletes the module selected in ModuleList together with its whole topic
// index, then refills ModuleList from the database. Returns false when it
// failed (the operator has been told). `deleted`, when given, receives the
// number of modules deleted.
bool ClearTopic_Click(PatEdContext& ctx, int* deleted = nullptr);

// Empties ModuleList and appends every module's trimmed name, in the order the
// database returns them. `filter` is element 0 of the look-up: all zero, or
// with blank texts; both ask for every module.
void refillModuleList(PatEdContext& ctx, const ModuleRecord& filter);

// The look-up element with identifier 0 and blank texts.
ModuleRecord blankModuleFilter();
