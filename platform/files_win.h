#pragma once

// Helpers that the Windows file implementations share. Included only by the *_win.cpp files.

#include "filesystem.h"
#include "platformerror.h"
#include "win_path.h"
#include "win_text.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include <windows.h>

namespace sondrel::win {

[[noreturn]] inline void raise(DWORD error, const std::string &path)
{
    throw PlatformError(int(error), describe(error) + " " + path);
}

[[noreturn]] inline void raiseLastError(const std::string &path)
{
    raise(GetLastError(), path);
}

// While alive, a drive without a medium answers "not ready" instead of asking the user to
// insert one: start-up looks into every removable drive for a player's database.
class QuietDriveErrors
{
public:
    QuietDriveErrors() { SetThreadErrorMode(SEM_FAILCRITICALERRORS, &m_previous); }
    ~QuietDriveErrors() { SetThreadErrorMode(m_previous, nullptr); }
    QuietDriveErrors(const QuietDriveErrors &) = delete;
    QuietDriveErrors &operator=(const QuietDriveErrors &) = delete;

private:
    DWORD m_previous = 0;
};

// Closes a handle when it goes out of scope.
class Handle
{
public:
    explicit Handle(HANDLE handle) : m_handle(handle) {}
    ~Handle() { close(); }
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;

    HANDLE get() const { return m_handle; }
    bool valid() const { return m_handle != INVALID_HANDLE_VALUE; }
    // Closes now; false when closing failed (the last error tells why).
    bool close()
    {
        const HANDLE handle = m_handle;
        m_handle = INVALID_HANDLE_VALUE;
        return handle == INVALID_HANDLE_VALUE || CloseHandle(handle);
    }

private:
    HANDLE m_handle;
};

inline CopyResult copyFailure(CopyOutcome outcome, DWORD error, const std::string &path,
                              std::uint64_t bytes = 0)
{
    CopyResult result;
    result.outcome = outcome;
    result.error = int(error);
    result.message = error != 0 ? describe(error) : std::string();
    result.path = path;
    result.bytes = bytes;
    return result;
}

// Errors with which a folder refuses a name rather than any file.
inline bool nameError(DWORD error)
{
    return error == ERROR_INVALID_NAME || error == ERROR_FILENAME_EXCED_RANGE ||
           error == ERROR_BAD_PATHNAME || error == ERROR_DIRECTORY;
}

// Nanoseconds since 1970 and the FILETIME (100 ns since 1601) of the same moment.
constexpr std::int64_t EpochDifference = 116444736000000000LL; // 1601 to 1970, in 100 ns

inline FileTime fromFiletime(const FILETIME &time)
{
    const std::int64_t ticks =
        std::int64_t((std::uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime);
    return (ticks - EpochDifference) * 100;
}

// A position for ReadFile and WriteFile on a (synchronous) handle.
inline OVERLAPPED atOffset(std::uint64_t offset)
{
    OVERLAPPED at{};
    at.Offset = DWORD(offset & 0xFFFFFFFFu);
    at.OffsetHigh = DWORD(offset >> 32);
    return at;
}

// One read of at most `size` bytes (and at most 1 GiB) at `offset` of the open file
// `handle`: the bytes read, 0 at the end of the file; -1 when the read failed, `error`
// telling why.
inline std::int64_t readSomeAt(HANDLE handle, std::uint64_t offset, void *data, std::size_t size,
                               DWORD &error)
{
    OVERLAPPED at = atOffset(offset);
    const DWORD want = DWORD(std::min<std::size_t>(size, std::size_t(1) << 30));
    DWORD got = 0;
    if (!ReadFile(handle, data, want, &got, &at)) {
        const DWORD failure = GetLastError();
        if (failure == ERROR_HANDLE_EOF)
            return 0;
        error = failure;
        return -1;
    }
    return std::int64_t(got);
}

// Reads `size` bytes at `offset` of the open file `handle` into `data`, read after read
// until they are all there or the file ends: the bytes read. A read that fails raises
// PlatformError about `path`.
inline std::size_t readAt(HANDLE handle, std::uint64_t offset, void *data, std::size_t size,
                          const std::string &path)
{
    std::size_t done = 0;
    while (done < size) {
        DWORD error = 0;
        const std::int64_t got =
            readSomeAt(handle, offset + done, static_cast<char *>(data) + done, size - done, error);
        if (got < 0)
            raise(error, path);
        if (got == 0)
            break;
        done += std::size_t(got);
    }
    return done;
}

// The whole of the open file `handle` (of `path`), which it closes, also when it raises.
std::vector<std::uint8_t> readWhole(HANDLE handle, const std::string &path);

// True when the open file `handle` lies in `folder` as the system resolves both: the file was
// reached without a link or junction leading out of the folder.
bool openedWithin(HANDLE handle, const std::string &folder);

} // namespace sondrel::win
