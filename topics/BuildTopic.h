// Topics > Build Index, and the batch run "topic" "create" after it has
// stored the module: the topic index of a module from an index file.
#pragma once

#include "core/PatEdContext.h"
#include "topics/IndexBuild.h"

// Builds the topic index of the module selected in ModuleList from an index
// file: chosen in the open-file dialog interactively, BatchFileDir followed by
// BatchFileName otherwise. Shows the progress window and the busy pointer,
// then stores the index in one unit of work (topics/IndexBuild.h). Returns
// false when it failed (the operator has been told); nothing is stored then.
bool BuildTopic_Click(PatEdContext& ctx, BuildCounts* counts = nullptr);
