#pragma once

// File paths for the Windows implementations. Included only by *_win.cpp files.

#include "win_text.h"

#include <string>

#include <windows.h>

namespace sondrel::win {

// A path in the form the wide file functions take: as it is while it is short, and
// otherwise made full and given the "\\?\" prefix that lifts the MAX_PATH limit
// ("\\?\UNC\server\share\..." for a network path). Creating a folder stops at
// MAX_PATH - 12 already, so the long form starts there.
inline std::wstring filePath(const std::string &path)
{
    std::wstring text = wide(path);
    if (text.size() < MAX_PATH - 12 || text.rfind(L"\\\\?\\", 0) == 0 ||
        text.rfind(L"\\\\.\\", 0) == 0)
        return text;
    const DWORD size = GetFullPathNameW(text.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return text;
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(text.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size)
        return text;
    full.resize(length);
    if (full.rfind(L"\\\\", 0) == 0)
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

} // namespace sondrel::win
