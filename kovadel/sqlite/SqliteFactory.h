// Makes the SQLite engine, for EngineChoice.cpp, without the engine's own
// header (and SQLite's) in view.
#pragma once

#include "Engine.h"

#include <memory>

namespace kovadel {

std::unique_ptr<Engine> makeSqliteEngine();

} // namespace kovadel
