#include "filesystem_win.h"

#include "files_win.h"

#include <new>

// Reading a file of the player without following a link out of it: the file is opened and
// the final path of the open file checked against the player's folder.

namespace sondrel {

using namespace win;

namespace {

// The final path of an open file or folder (links, junctions and mounted folders resolved),
// in the "\\?\C:\..." form; empty when the system cannot tell it.
std::wstring finalPath(HANDLE handle)
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetFinalPathNameByHandleW(handle, path.data(), DWORD(path.size()),
                                                       FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0)
            return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(length + 1);
    }
}

// The plain file at `path` in `folder`, opened for reading, with its size.
HANDLE openWithin(const std::string &folder, const std::string &path, DWORD flags,
                  std::uint64_t &length)
{
    HANDLE handle = CreateFileW(filePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        raiseLastError(path);
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        CloseHandle(handle);
        throw PlatformError(int(ERROR_INVALID_FUNCTION), "not a regular file: " + path);
    }
    if (!openedWithin(handle, folder)) {
        CloseHandle(handle);
        throw PlatformError(int(ERROR_NOT_SAME_DEVICE), std::string(LinkOutOfFolder) + ": " + path);
    }
    length = std::uint64_t(info.nFileSizeHigh) << 32 | std::uint64_t(info.nFileSizeLow);
    return handle;
}

} // namespace

bool win::openedWithin(HANDLE handle, const std::string &folder)
{
    HANDLE held = CreateFileW(filePath(folder).c_str(), 0,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (held == INVALID_HANDLE_VALUE)
        return false;
    std::wstring root = finalPath(held);
    CloseHandle(held);
    const std::wstring file = finalPath(handle);
    if (root.empty() || file.empty())
        return false;
    if (root.back() != L'\\')
        root += L'\\';
    return file.size() > root.size() &&
           CompareStringOrdinal(file.c_str(), int(root.size()), root.c_str(), int(root.size()),
                                TRUE) == CSTR_EQUAL;
}

std::vector<std::uint8_t> WinFileSystem::readFileWithin(const std::string &folder,
                                                        const std::string &path) const
{
    std::uint64_t length = 0;
    return readWhole(openWithin(folder, path, FILE_FLAG_SEQUENTIAL_SCAN, length), path);
}

std::vector<std::uint8_t> WinFileSystem::readFilePart(const std::string &folder,
                                                      const std::string &path, std::uint64_t offset,
                                                      std::size_t size) const
{
    std::uint64_t length = 0;
    const Handle handle(openWithin(folder, path, FILE_FLAG_RANDOM_ACCESS, length));
    std::vector<std::uint8_t> bytes;
    if (offset >= length)
        return bytes;
    try {
        bytes.resize(std::size_t(std::min<std::uint64_t>(size, length - offset)));
    } catch (const std::bad_alloc &) {
        raise(ERROR_NOT_ENOUGH_MEMORY, path);
    }
    bytes.resize(readAt(handle.get(), offset, bytes.data(), bytes.size(), path));
    return bytes;
}

} // namespace sondrel
