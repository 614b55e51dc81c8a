#pragma once

#include <memory>
#include <string>
#include <vector>

namespace sondrel {

enum class WindowStyle {
    Normal,    // a normal window that takes the focus
    Minimized, // minimized, with the focus
};

// Starts programs as new processes, each argument passed as one argument (no shell):
// either on their own, with nothing waiting for them, or waited for until they end.
class ProcessStarter
{
public:
    virtual ~ProcessStarter() = default;
    // Starts `program` and returns at once; its result is not read. Raises PlatformError
    // when the program cannot be started.
    virtual void startDetached(const std::string &program,
                               const std::vector<std::string> &arguments, WindowStyle style) = 0;
    // Starts `program`, waits until it ends and returns its exit status (a program ended
    // by a signal gives 128 plus the signal's number). Raises PlatformError when the
    // program cannot be started or waited for.
    virtual int startAndWait(const std::string &program, const std::vector<std::string> &arguments,
                             WindowStyle style) = 0;
};

// Starts programs with this process's own rights.
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
