// Loading a code file into the coding system selected in CodeList.
#pragma once

#include "coding/LoadCounts.h"
#include "core/PatEdContext.h"

// The "Load" button (CmdLoad) and the batch run "code" "create". Interactively
// (RunMode "interactive") the file comes from the shared dialog, otherwise
// from BatchFileDir + BatchFileName. Every code of every line is stored with
// InsertCode, all in one unit of work: a file that cannot be read, an unknown
// coding system or a code the library refuses leaves the codes as they were.
//
// True when the file was loaded, or when the operator chose no file; false
// after a message saying what went wrong. `counts`, when given, receives what
// the load went through.
bool CmdLoad_Click(PatEdContext& ctx, LoadCounts* counts = nullptr);
