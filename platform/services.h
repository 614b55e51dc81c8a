#pragma once

#include "filesystem.h"
#include "process.h"

#include <functional>
#include <memory>

namespace sondrel {

// What a window needs of the machine. Each action makes its own service objects from
// these factories and drops them at its end; tests give factories of their own.
struct Services
{
    std::function<std::unique_ptr<FileSystem>()> fileSystem = createFileSystem;
    std::function<std::unique_ptr<ProcessStarter>()> processStarter = createProcessStarter;
};

} // namespace sondrel
