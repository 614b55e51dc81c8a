#pragma once

namespace sondrel {

// The user's request to stop a console program: Ctrl+C, SIGTERM or SIGHUP on Linux, Ctrl+C or
// Ctrl+Break on Windows. Once caught, such a request no longer ends the process at once:
// it only sets a flag, which the program reads where it can stop cleanly (an export
// stops like its Cancel button).
//
//     catchInterruptions();
//     ...
//     if (interruptionRequested()) progress.cancel();

// Installs the handler (SIGINT, SIGTERM and SIGHUP through sigaction; a console control
// handler on Windows). Calling it again changes nothing. A second request, while the first
// is still being acted on, ends the process at once with exit status 130. On Linux SIGPIPE
// is ignored as well: a closed output stream makes its writes fail instead of ending the
// process.
void catchInterruptions();

// True once a request has come since the handler was installed (or since the last reset).
bool interruptionRequested();

// Forgets a request that has come (for tests).
void resetInterruption();

// True when the standard error stream is a terminal (a console window on Windows), where
// a progress line can be drawn over itself.
bool errorStreamIsTerminal();

} // namespace sondrel
