// Topics > Clear Index: deleting a module with its whole topic index.
#pragma once

#include "core/PatEdContext.h"

// Deletes the module selected in ModuleList together with its whole topic
// index, then refills ModuleList from the database. Returns false when it
// failed (the operator has been told). `deleted`, when given, receives the
// number of modules deleted. The batch run "topic" "delete" runs it, and
// "topic" "create" before it builds the index anew.
bool ClearTopic_Click(PatEdContext& ctx, int* deleted = nullptr);
