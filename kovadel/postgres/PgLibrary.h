// The PostgreSQL client library (libpq), loaded as the first library on a
// server is opened rather than with libkovadel.so itself: a run on an SQLite
// file never maps it, nor the TLS, Kerberos and LDAP libraries it brings.
//
// The engine calls the PQ* functions of <libpq-fe.h> as declared there;
// libkovadel defines each of them (hidden, never exported) as a call of the
// function of that name found in the loaded library.
#pragma once

#include "Status.h"

namespace kovadel {

// The file loaded: "libpq.so.5" (its SONAME) or "libpq.dll", unless the
// environment's VELKINDEX_LIBPQ names another.
inline constexpr const char* kPgLibraryVariable = "VELKINDEX_LIBPQ";

// Loads libpq and finds every function the engine calls, once per process;
// no PQ* function may be called before it succeeded. A failure names the
// library and why, and is the same at every later call.
Status loadPgLibrary();

} // namespace kovadel
