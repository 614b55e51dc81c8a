#include "filesystem_win.h"

#include "files_win.h"

// How an install places its files on Windows: beside their places and renamed over them.
// No folder is held for an elevated install as a root folder is on Linux.

namespace sondrel {

using namespace win;

void WinFileSystem::replaceFile(const std::string &from, const std::string &to) const
{
    if (!MoveFileExW(filePath(from).c_str(), filePath(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        raiseLastError(to);
}

bool WinFileSystem::renameOrCopy(const std::string &source, const std::string &destination) const
{
    const std::wstring from = filePath(source);
    const std::wstring to = filePath(destination);
    // Always a copy, also on one volume: a moved file keeps the owner and access list
    // it had where it was extracted, so that the user who extracted it could still
    // change what an elevated install placed in the system folder or under Program
    // Files. A new file takes those of its new folder. It is on the disk before the
    // caller renames it into place.
    if (!CopyFileW(from.c_str(), to.c_str(), TRUE))
        raiseLastError(destination);
    HANDLE handle = CreateFileW(to.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    const bool flushed = handle != INVALID_HANDLE_VALUE && FlushFileBuffers(handle);
    const DWORD error = GetLastError();
    if (handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
    if (!flushed) {
        DeleteFileW(to.c_str());
        SetLastError(error);
        raiseLastError(destination);
    }
    return true;
}

// An elevated install keeps to the access lists of its folders and copies every file
// (renameOrCopy): no folder is held for it.
RootFolderCheck WinFileSystem::rootFolder(const std::string &) const
{
    return {};
}

} // namespace sondrel
