#include "console.h"

#include <atomic>
#include <csignal>

#include <signal.h>
#include <unistd.h>

namespace sondrel {

namespace {

// Set by the handler, read by the program: lock-free, so it may be written from a signal.
std::atomic<bool> requested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void onInterruption(int)
{
    // A second request ends the process at once, whatever it waits for (a read of a drive
    // that does not answer); a copy's temporary file is left for the next run to remove.
    if (requested.exchange(true))
        ::_exit(130);
}

} // namespace

void catchInterruptions()
{
    struct sigaction action = {};
    action.sa_handler = onInterruption;
    sigemptyset(&action.sa_mask);
    // System calls go on after the handler: reads and writes of a copy are not cut short;
    // the copy looks at the flag between its chunks.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr); // the terminal closed: stop as for SIGTERM
    // A reader of the output that has gone (`| head -1`) does not stop the run: the writes
    // fail, and what they held is dropped.
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
}

bool interruptionRequested()
{
    return requested.load();
}

void resetInterruption()
{
    requested.store(false);
}

} // namespace sondrel

namespace sondrel {

bool errorStreamIsTerminal()
{
    return isatty(STDERR_FILENO) == 1;
}

} // namespace sondrel
