// The library's settings, taken from the environment.
//
// They are checked whenever a database is opened: a value that is not a valid
// setting is refused there, with a reason that names the variable and the
// value, instead of being replaced by the default. An unset or empty variable
// means the default.
#pragma once

#include "Status.h"

namespace kovadel {

// VELKINDEX_BUSY_TIMEOUT_MS: how long a call waits for another process's lock
// before it fails, as a whole number of milliseconds from 0 to 2147483647.
inline constexpr int kDefaultBusyTimeoutMs = 5000;

// The wait in force: the setting when it is valid, otherwise the default
// (checkSettings() has refused an invalid one before a database is opened).
int busyTimeoutMs();

// Every setting of the library (VELKINDEX_BUSY_TIMEOUT_MS and
// VELKINDEX_CODEPAGE); fails on the first that is not valid.
Status checkSettings();

} // namespace kovadel
