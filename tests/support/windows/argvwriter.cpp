// A program that writes down how it was started, for the process tests of the Windows layer:
// the window style it was asked for, then its command line as CommandLineToArgvW splits it,
// then as the C run-time split it for wmain. Each entry is UTF-8 text ended by a NUL
// character; each list starts with its length. The file is named by the environment
// variable SONDREL_ARGV_FILE and appears whole: it is written beside its place, then renamed.

#include "win_text.h"

#include <shellapi.h>

#include <string>

namespace {

void add(std::string &out, const std::wstring &entry)
{
    out += sondrel::win::utf8(entry);
    out += '\0';
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    wchar_t target[32768];
    const DWORD length = GetEnvironmentVariableW(L"SONDREL_ARGV_FILE", target, 32768);
    if (length == 0 || length >= 32768)
        return 2;

    STARTUPINFOW startup{};
    GetStartupInfoW(&startup);
    std::string out;
    add(out,
        (startup.dwFlags & STARTF_USESHOWWINDOW) ? std::to_wstring(startup.wShowWindow) : L"none");
    int count = 0;
    wchar_t **words = CommandLineToArgvW(GetCommandLineW(), &count);
    add(out, std::to_wstring(words ? count : 0));
    for (int i = 0; words && i < count; ++i)
        add(out, words[i]);
    LocalFree(words);
    add(out, std::to_wstring(argc));
    for (int i = 0; i < argc; ++i)
        add(out, argv[i]);

    const std::wstring part = std::wstring(target, length) + L".part";
    HANDLE file = CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 3;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, out.data(), DWORD(out.size()), &written, nullptr);
    CloseHandle(file);
    if (!ok || written != out.size() ||
        !MoveFileExW(part.c_str(), target, MOVEFILE_REPLACE_EXISTING))
        return 4;
    return 0;
}
