#pragma once

#include <windows.h>

namespace sondrel {

// The console control handler that catchInterruptions() installs: Ctrl+C and Ctrl+Break
// set the request and are handled (TRUE); every other event is left to the next handler.
BOOL WINAPI handleConsoleControl(DWORD event);

} // namespace sondrel
