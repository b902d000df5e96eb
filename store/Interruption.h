// Stopping a run with SIGTERM or SIGINT (a scheduler's stop, Ctrl-C).
//
// The signal handlers only record the request: an async-signal-safe store
// into a sig_atomic_t and one byte written into a pipe that an event loop can
// watch (notifier()). The work notices the request at its next call into the
// data-access library inside a unit of work: the binding (KovadelLibrary)
// then raises InterruptedError instead of making the call, the handler that
// is working unwinds, and its unit of work rolls back. A second signal ends
// the process at once, by that signal.
#pragma once

#include <stdexcept>

// A signal asked the run to stop before its unit of work was committed.
class InterruptedError : public std::runtime_error {
public:
    InterruptedError()
        : std::runtime_error("interrupted")
    {
    }
};

class Interruption {
public:
    // Installs the handlers of SIGTERM and SIGINT and makes the pipe. False
    // when the system refused; the signals then keep their default action.
    static bool install();

    // The signal that asked the run to stop, 0 while none has.
    static int signal();
    static bool requested() { return signal() != 0; }

    // The read end of the pipe (one byte per request), -1 before install().
    static int notifier();
    // Reads what the pipe holds, so that a watcher is not woken again.
    static void drain();

    // Forgets a request and empties the pipe (for tests).
    static void reset();
};
