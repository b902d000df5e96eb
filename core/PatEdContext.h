// Everything a handler works with: the main window's variables, the windows
// (through the seam) and the data-access library.
#pragma once

#include "core/MainVariables.h"
#include "core/WindowSeam.h"
#include "store/Externals.h"

struct PatEdContext {
    MainVariables& vars;
    WindowSeam& ui;
    Externals& store;
};
