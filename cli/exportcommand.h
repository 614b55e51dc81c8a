#pragma once

#include "filesystem.h"

#include <QStringList>

#include <functional>
#include <memory>

namespace sondrel {

// sondrel-export: reads the player's database into memory, selects tracks, and lists or
// exports them as the main window does. `arguments` begin with the program's name. Writes
// the listing and a dry run's plan to the standard output, messages and progress to the
// standard error stream, and returns the exit status (ExitCode). Every file is reached
// through the services `fileSystem` makes (the machine's own unless a benchmark says).
int runExportCommand(
    const QStringList &arguments,
    const std::function<std::unique_ptr<FileSystem>()> &fileSystem = createFileSystem);

} // namespace sondrel
