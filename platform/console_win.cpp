#include "console_win.h"
#include "console.h"

#include <atomic>

namespace sondrel {

namespace {

// Set on the console's own thread, read by the program.
std::atomic<bool> requested{false};

} // namespace

BOOL WINAPI handleConsoleControl(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        // A second request ends the process at once, whatever it waits for (a read of a
        // drive that does not answer); a copy's temporary file is left for the next run.
        if (requested.exchange(true))
            ExitProcess(130);
        return TRUE; // handled: the process goes on and stops by itself
    default:
        return FALSE; // closing the console, logging off, shutting down: the default
    }
}

void catchInterruptions()
{
    static std::atomic<bool> installed{false};
    if (installed.exchange(true))
        return;
    SetConsoleCtrlHandler(handleConsoleControl, TRUE);
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
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

} // namespace sondrel
