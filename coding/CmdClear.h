// Deleting the codes of the coding system selected in CodeList.
#pragma once

#include "core/PatEdContext.h"

// The "Clear" button (CmdClear), run by the batch runs "code" "create" and
// "code" "delete". Deletes every code of the coding systems that carry the
// selected name, in one unit of work, then refills CodeList from the data
// store. The coding systems themselves stay.
//
// A blank name deletes nothing: it would stand for every coding system. That,
// and a deletion the library refuses, ends with a message and false, the
// codes and the list as they were. `systemsCleared`, when given, receives the
// number of coding systems of that name whose codes were deleted (0 when the
// name is not a coding system of the data store).
bool CmdClear_Click(PatEdContext& ctx, int* systemsCleared = nullptr);
