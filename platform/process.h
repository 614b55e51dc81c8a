#pragma once

#include <memory>
#include <string>
#include <vector>

namespace sondrel {

enum class WindowStyle {
    Normal,    // a normal window that takes the focus
    Minimized, // minimized, with the focus
};

// Starts programs as new processes that run on their own: nothing waits for them
// and their results are not read.
class ProcessStarter
{
public:
    virtual ~ProcessStarter() = default;
    // Starts `program` with `arguments`, each passed as one argument (no shell).
    // Raises PlatformError when the program cannot be started.
    virtual void startDetached(const std::string &program, const std::vector<std::string> &arguments,
                               WindowStyle style) = 0;
};

std::unique_ptr<ProcessStarter> createProcessStarter();

// A program and its arguments, each passed as one argument.
struct CommandLine
{
    std::string program;
    std::vector<std::string> arguments;
};

// The system's file manager opened on `directory`: "explorer" with the directory on
// Windows, "xdg-open" with the directory on Linux.
CommandLine fileManagerCommand(const std::string &directory);

} // namespace sondrel
