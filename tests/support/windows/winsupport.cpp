#include "winsupport.h"

#include "win_text.h"

#include <doctest.h>

#include <algorithm>
#include <atomic>

namespace sondrel::test {

std::wstring wide(const std::string &text)
{
    return win::wide(text);
}

std::string utf8(const std::wstring &text)
{
    return win::utf8(text);
}

std::string systemText(DWORD error)
{
    wchar_t buffer[1024];
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                       0, buffer, DWORD(std::size(buffer)), nullptr);
    std::wstring text(buffer, length);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    return utf8(text);
}

std::optional<PlatformError> raisedBy(const std::function<void()> &action)
{
    try {
        action();
    } catch (const PlatformError &error) {
        return error;
    }
    FAIL_CHECK("no error was raised");
    return std::nullopt;
}

namespace {

void removeTree(const std::wstring &folder)
{
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring path = folder + L"\\" + name;
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                removeTree(path);
            else
                DeleteFileW(path.c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

} // namespace

TempFolder::TempFolder()
{
    static std::atomic<int> counter{0};
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = GetTempPathW(DWORD(std::size(temp)), temp);
    REQUIRE(length > 0);
    REQUIRE(length <= MAX_PATH);
    const std::wstring folder = std::wstring(temp, length) + L"sondrel-" +
                                std::to_wstring(GetCurrentProcessId()) + L"-" +
                                std::to_wstring(++counter);
    removeTree(folder);
    REQUIRE(CreateDirectoryW(folder.c_str(), nullptr));
    m_path = utf8(folder);
}

TempFolder::~TempFolder()
{
    removeTree(wide(m_path));
}

void writeBytes(const std::string &path, const std::string &bytes)
{
    HANDLE file = CreateFileW(wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    REQUIRE(file != INVALID_HANDLE_VALUE);
    DWORD written = 0;
    const BOOL ok = WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    CloseHandle(file);
    REQUIRE(ok);
    REQUIRE(written == bytes.size());
}

std::optional<std::string> readBytes(const std::string &path)
{
    HANDLE file = CreateFileW(wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::string bytes;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0)
        bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}

std::vector<std::wstring> namesIn(const std::string &folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((wide(folder) + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..")
            names.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

std::string environment(const wchar_t *name)
{
    wchar_t buffer[4096];
    const DWORD length = GetEnvironmentVariableW(name, buffer, DWORD(std::size(buffer)));
    return length > 0 && length < std::size(buffer) ? utf8(std::wstring(buffer, length))
                                                    : std::string();
}

std::string programFolder()
{
    wchar_t buffer[32768];
    const DWORD length = GetModuleFileNameW(nullptr, buffer, DWORD(std::size(buffer)));
    std::wstring path(buffer, length);
    path.erase(path.find_last_of(L'\\'));
    return utf8(path);
}

} // namespace sondrel::test

namespace doctest {

namespace {

String quotedList(const std::vector<std::string> &list)
{
    std::string out = "{";
    for (std::size_t i = 0; i < list.size(); ++i)
        out += (i ? ", \"" : "\"") + list[i] + "\"";
    return (out + "}").c_str();
}

} // namespace

String StringMaker<std::vector<std::string>>::convert(const std::vector<std::string> &list)
{
    return quotedList(list);
}

String StringMaker<std::vector<std::wstring>>::convert(const std::vector<std::wstring> &list)
{
    std::vector<std::string> texts;
    for (const std::wstring &text : list)
        texts.push_back(sondrel::test::utf8(text));
    return quotedList(texts);
}

String StringMaker<std::optional<std::string>>::convert(const std::optional<std::string> &value)
{
    return value ? ("\"" + *value + "\"").c_str() : "nothing";
}

} // namespace doctest
