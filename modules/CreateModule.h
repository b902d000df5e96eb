// Creating a module from the "Modules" page.
#pragma once

#include "core/PatEdContext.h"

#include <QString>

// The "Create" button (CreateModule). `modName` and `modDirPrefix` are the
// texts of ModName and ModDirPrefix as they stand. Both must be non-empty
// (blanks pass); the module is stored with InsertModule and ModuleList is
// refilled with every module of the data store. The text boxes keep their
// texts and the pointer does not change.
//
// True when the module was stored; false after a message: either text empty,
// or the library refused the module (the database and the list as they were).
bool CreateModule_Click(PatEdContext& ctx, const QString& modName, const QString& modDirPrefix);
