#pragma once

#include <QStringList>

namespace sondrel {

// sondrel-export: reads the player's database into memory, selects tracks, and lists or
// exports them as the main window does. `arguments` begin with the program's name. Writes
// the listing and a dry run's plan to the standard output, messages and progress to the
// standard error stream, and returns the exit status (ExitCode).
int runExportCommand(const QStringList &arguments);

} // namespace sondrel
