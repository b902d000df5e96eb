// The batch actions of the command line: topic create and delete, code
// create, delete and description, each run by the handlers the window's
// commands run.
#pragma once

#include "batch/CommandLine.h"
#include "batch/RunSummary.h"
#include "core/PatEdContext.h"

// Runs the plan's action as one unit of work: it is stored whole or not at
// all. A name that is missing or that the code page cannot hold is refused
// before anything changes. `report` tells what it did once it is stored;
// false after a message saying what went wrong, with `damaged` set when it
// failed because the library found the database file damaged.
bool runBatchAction(PatEdContext& ctx, const CommandLinePlan& plan, RunReport& report, bool& damaged);
