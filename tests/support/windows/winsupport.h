#pragma once

// What the tests of the Windows layer share. Built only into the Windows test program, which
// runs under wine on Linux (see tests/windows/).

#include "platformerror.h"

#include <doctest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <objbase.h>
#include <windows.h>

namespace sondrel::test {

std::wstring wide(const std::string &text);
std::string utf8(const std::wstring &text);

// The system's own text for an error number, without the trailing line break: what a
// run-time error report shows after the number.
std::string systemText(DWORD error);

// The error that `action` raises; fails the running test case when it raises none.
std::optional<PlatformError> raisedBy(const std::function<void()> &action);

// A new folder in the user's temporary folder, removed with everything in it at the end of
// the scope (read-only files included).
class TempFolder
{
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;

    // The folder's path, without a trailing backslash.
    const std::string &path() const { return m_path; }
    // The path of `name` in the folder.
    std::string file(const std::string &name) const { return m_path + "\\" + name; }

private:
    std::string m_path;
};

// Writes a file straight through Win32, replacing it.
void writeBytes(const std::string &path, const std::string &bytes);
// A file's bytes read straight through Win32; nothing when it cannot be opened.
std::optional<std::string> readBytes(const std::string &path);
// The names in a folder as Win32 lists them (UTF-16), without "." and "..", sorted.
std::vector<std::wstring> namesIn(const std::string &folder);

// The Windows environment variable, or an empty text when it is not set.
std::string environment(const wchar_t *name);

// The folder that holds the running test program, without a trailing backslash.
std::string programFolder();

// COM for the calling thread, for the scope's lifetime.
class ComScope
{
public:
    ComScope() : m_result(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComScope()
    {
        if (SUCCEEDED(m_result))
            CoUninitialize();
    }
    ComScope(const ComScope &) = delete;
    ComScope &operator=(const ComScope &) = delete;

private:
    HRESULT m_result;
};

} // namespace sondrel::test

// Lists and missing values spelled out in the reports of failed checks.
namespace doctest {
template <> struct StringMaker<std::vector<std::string>>
{
    static String convert(const std::vector<std::string> &list);
};
template <> struct StringMaker<std::vector<std::wstring>>
{
    static String convert(const std::vector<std::wstring> &list);
};
template <> struct StringMaker<std::optional<std::string>>
{
    static String convert(const std::optional<std::string> &value);
};
} // namespace doctest
