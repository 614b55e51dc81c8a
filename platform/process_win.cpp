#include "process.h"

#include "platformerror.h"
#include "win_text.h"

namespace sondrel {

namespace {

class WinProcessStarter : public ProcessStarter
{
public:
    void startDetached(const std::string &program, const std::vector<std::string> &arguments,
                       WindowStyle style) override
    {
        const PROCESS_INFORMATION info = start(program, arguments, style);
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
    }

    int startAndWait(const std::string &program, const std::vector<std::string> &arguments,
                     WindowStyle style) override
    {
        const PROCESS_INFORMATION info = start(program, arguments, style);
        CloseHandle(info.hThread);
        DWORD code = 0;
        const bool done = WaitForSingleObject(info.hProcess, INFINITE) == WAIT_OBJECT_0 &&
                          GetExitCodeProcess(info.hProcess, &code);
        const DWORD error = GetLastError();
        CloseHandle(info.hProcess);
        if (!done)
            throw PlatformError(int(error), win::describe(error) + " " + program);
        return int(code);
    }

private:
    static PROCESS_INFORMATION start(const std::string &program,
                                     const std::vector<std::string> &arguments, WindowStyle style)
    {
        std::wstring commandLine = win::quoteArgument(win::wide(program));
        for (const std::string &argument : arguments)
            commandLine += L" " + win::quoteArgument(win::wide(argument));

        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = style == WindowStyle::Minimized ? SW_SHOWMINIMIZED : SW_SHOWNORMAL;
        PROCESS_INFORMATION info{};
        if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            nullptr, &startup, &info)) {
            const DWORD error = GetLastError();
            throw PlatformError(int(error), win::describe(error) + " " + program);
        }
        return info;
    }
};

} // namespace

CommandLine fileManagerCommand(const std::string &directory)
{
    return {"explorer", {directory}};
}

std::unique_ptr<ProcessStarter> createProcessStarter()
{
    return std::make_unique<WinProcessStarter>();
}

} // namespace sondrel
