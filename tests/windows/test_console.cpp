#include "console.h"
#include "console_win.h"

#include <doctest.h>

#include <chrono>
#include <thread>

using namespace sondrel;

TEST_CASE("Ctrl+C and Ctrl+Break ask the program to stop; closing the console is left alone")
{
    struct Row
    {
        DWORD event;
        BOOL handled;
    };
    for (const Row row : {Row{CTRL_C_EVENT, TRUE}, Row{CTRL_BREAK_EVENT, TRUE},
                          Row{CTRL_CLOSE_EVENT, FALSE}, Row{CTRL_SHUTDOWN_EVENT, FALSE}}) {
        CAPTURE(row.event);
        resetInterruption();
        CHECK(handleConsoleControl(row.event) == row.handled);
        CHECK(interruptionRequested() == bool(row.handled));
    }
}

TEST_CASE("the installed handler catches a Ctrl+Break sent to the process's console")
{
    resetInterruption();
    catchInterruptions();
    catchInterruptions(); // a second call installs nothing twice
    // Without a console of its own (the test's output may be a pipe) the event cannot be
    // sent; the handler is then checked above only.
    if (!GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, 0)) {
        MESSAGE("no console to send Ctrl+Break to");
        return;
    }
    // The handler runs on a thread of the console's; the process goes on.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!interruptionRequested() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    CHECK(interruptionRequested());
    resetInterruption();
}
