#include "process.h"

#include "platformerror.h"
#include "win_text.h"

namespace sondrel {

namespace {

// Quotes one argument the way the C run-time's command-line parser reads it back.
std::wstring quoteArgument(const std::wstring &argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos)
        return argument;
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            out += c;
            continue;
        }
        if (c == L'"')
            out.append(backslashes + 1, L'\\'); // the backslashes before a quote are doubled
        backslashes = 0;
        out += c;
    }
    // Trailing backslashes are doubled so that the closing quote stays a quote.
    out.append(backslashes, L'\\');
    out += L'"';
    return out;
}

class WinProcessStarter : public ProcessStarter
{
public:
    void startDetached(const std::string &program, const std::vector<std::string> &arguments,
                       WindowStyle style) override
    {
        std::wstring commandLine = quoteArgument(win::wide(program));
        for (const std::string &argument : arguments)
            commandLine += L" " + quoteArgument(win::wide(argument));

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
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
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
