#pragma once

#include "app/PatEdConfig.h"
#include "app/PatEdContext.h"

// The window's commands wired to their handlers. A handler that finds the
// library or one of its functions missing is reported, not fatal.
PatEdConfig::Commands windowCommands(PatEdContext& ctx, PatEdConfig& window);
