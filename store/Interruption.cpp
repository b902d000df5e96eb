#include "store/Interruption.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t g_signal = 0;
int g_pipe[2] = { -1, -1 };

// Runs in the signal handler: only async-signal-safe calls.
void recordSignal(int number)
{
    if (g_signal != 0) {
        // Asked twice: the default action, at once (the signal is blocked
        // while this handler runs and is delivered when it returns).
        struct sigaction fallback { };
        fallback.sa_handler = SIG_DFL;
        sigemptyset(&fallback.sa_mask);
        sigaction(number, &fallback, nullptr);
        raise(number);
        return;
    }
    const int saved = errno;
    g_signal = number;
    if (g_pipe[1] >= 0) {
        const char byte = 1;
        (void)!::write(g_pipe[1], &byte, 1);
    }
    errno = saved;
}

} // namespace

bool Interruption::install()
{
    if (g_pipe[0] < 0) {
        int ends[2] = { -1, -1 };
        if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
            return false;
        g_pipe[0] = ends[0];
        g_pipe[1] = ends[1];
    }
    struct sigaction action { };
    action.sa_handler = recordSignal;
    sigemptyset(&action.sa_mask);
    sigaddset(&action.sa_mask, SIGTERM);
    sigaddset(&action.sa_mask, SIGINT);
    // Interrupted system calls go on: the request is looked at between calls
    // into the library, never inside one (SQLite's own I/O included).
    action.sa_flags = SA_RESTART;
    return sigaction(SIGTERM, &action, nullptr) == 0 && sigaction(SIGINT, &action, nullptr) == 0;
}

int Interruption::signal() { return g_signal; }

int Interruption::notifier() { return g_pipe[0]; }

void Interruption::drain()
{
    if (g_pipe[0] < 0)
        return;
    char bytes[64];
    while (::read(g_pipe[0], bytes, sizeof bytes) > 0) { }
}

void Interruption::reset()
{
    g_signal = 0;
    drain();
}
