#pragma once

#include "app/PatEdConfig.h"
#include "core/PatEdContext.h"

#include <functional>

// The window's commands wired to their handlers. A handler that finds the
// library or one of its functions missing is reported, not fatal. A handler
// that a signal stopped (its unit of work rolled back) calls `interrupted`.
PatEdConfig::Commands windowCommands(PatEdContext& ctx, PatEdConfig& window, std::function<void()> interrupted = {});
