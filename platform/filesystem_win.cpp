#include "filesystem.h"

#include "platformerror.h"
#include "win_path.h"
#include "win_text.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <new>
#include <vector>

#include <objbase.h>
#include <shlobj.h>

namespace sondrel {

namespace {

using win::filePath;

[[noreturn]] void raise(DWORD error, const std::string &path)
{
    throw PlatformError(int(error), win::describe(error) + " " + path);
}

[[noreturn]] void raiseLastError(const std::string &path)
{
    raise(GetLastError(), path);
}

// The path a failed copy or move is about: the source when it cannot be opened with the
// access the operation needs (missing, a folder, in use), otherwise the destination
// (existing, read-only, in use, or in a missing folder).
const std::string &pathAtFault(const std::string &source, const std::string &destination,
                               DWORD sourceAccess)
{
    HANDLE handle = CreateFileW(filePath(source).c_str(), sourceAccess,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return source;
    CloseHandle(handle);
    return destination;
}

std::string withoutTrailingBackslash(std::string path)
{
    // "C:\" stays a drive root; "C:\Sondrel\" becomes "C:\Sondrel".
    while (path.size() > 3 && (path.back() == '\\' || path.back() == '/'))
        path.pop_back();
    return path;
}

HANDLE openForReading(const std::string &path)
{
    HANDLE handle = CreateFileW(filePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        raiseLastError(path);
    return handle;
}

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

// True when the open file `handle` lies in `folder` as the system resolves both: the file was
// reached without a link or junction leading out of the folder.
bool openedWithin(HANDLE handle, const std::string &folder)
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

// The current user's known folder of the given kind, without a trailing backslash; empty
// when the shell has none.
std::string knownFolderOrNone(REFKNOWNFOLDERID id)
{
    wchar_t *path = nullptr;
    const HRESULT result = SHGetKnownFolderPath(id, 0, nullptr, &path);
    std::wstring folder = SUCCEEDED(result) && path ? path : L"";
    CoTaskMemFree(path);
    while (folder.size() > 3 && folder.back() == L'\\')
        folder.pop_back();
    return win::utf8(folder);
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

class WinOutputFile : public OutputFile
{
public:
    WinOutputFile(HANDLE handle, std::string path) : m_handle(handle), m_path(std::move(path)) {}
    ~WinOutputFile() override
    {
        if (m_handle != INVALID_HANDLE_VALUE)
            CloseHandle(m_handle);
    }

    void write(const void *data, std::size_t size) override
    {
        const char *p = static_cast<const char *>(data);
        while (size > 0) {
            const DWORD chunk = DWORD(size > (1u << 30) ? (1u << 30) : size);
            DWORD written = 0;
            if (!WriteFile(m_handle, p, chunk, &written, nullptr))
                raiseLastError(m_path);
            p += written;
            size -= written;
        }
    }

    void close() override
    {
        HANDLE handle = m_handle;
        m_handle = INVALID_HANDLE_VALUE;
        if (handle != INVALID_HANDLE_VALUE && !CloseHandle(handle))
            raiseLastError(m_path);
    }

private:
    HANDLE m_handle;
    std::string m_path;
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

CopyResult copyFailure(CopyOutcome outcome, DWORD error, const std::string &path,
                       std::uint64_t bytes = 0)
{
    CopyResult result;
    result.outcome = outcome;
    result.error = int(error);
    result.message = error != 0 ? win::describe(error) : std::string();
    result.path = path;
    result.bytes = bytes;
    return result;
}

bool missingError(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Errors that tell that the drive a file is on has gone (pulled, switched off, its
// connection lost), not that one file is damaged.
bool driveGoneError(DWORD error)
{
    return error == ERROR_DEVICE_NOT_CONNECTED || error == ERROR_NOT_READY ||
           error == ERROR_DEV_NOT_EXIST || error == ERROR_NO_MEDIA_IN_DRIVE ||
           error == ERROR_DEVICE_REMOVED || error == ERROR_MEDIA_CHANGED ||
           error == ERROR_UNRECOGNIZED_VOLUME;
}

// How a source's failure is told: its drive gone, or the file alone unreadable.
CopyOutcome unreadable(DWORD error)
{
    return driveGoneError(error) ? CopyOutcome::SourceGone : CopyOutcome::SourceUnreadable;
}

// Errors with which a folder refuses a name rather than any file.
bool nameError(DWORD error)
{
    return error == ERROR_INVALID_NAME || error == ERROR_FILENAME_EXCED_RANGE ||
           error == ERROR_BAD_PATHNAME || error == ERROR_DIRECTORY;
}

// Errors with which one file of a folder refuses to be replaced (open in another program,
// read-only) while the folder itself takes files.
bool busyError(DWORD error)
{
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
}

// Errors with which a file system refuses a file this large (FAT32 past 4 GiB - 1).
bool tooLargeError(DWORD error)
{
    return error == ERROR_FILE_TOO_LARGE || error == 665; // ERROR_FILE_SYSTEM_LIMITATION
}

// Nanoseconds since 1970 and the FILETIME (100 ns since 1601) of the same moment.
constexpr std::int64_t EpochDifference = 116444736000000000LL; // 1601 to 1970, in 100 ns

FileTime fromFiletime(const FILETIME &time)
{
    const std::int64_t ticks =
        std::int64_t((std::uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime);
    return (ticks - EpochDifference) * 100;
}

// The temporary file of a staged copy: open until its flush, then closed until renamed.
class WinStagedCopy : public StagedCopy
{
public:
    WinStagedCopy(HANDLE handle, std::string temporary, std::string destination)
        : m_out(handle), m_temporary(std::move(temporary)), m_wideTemporary(filePath(m_temporary)),
          m_destination(std::move(destination))
    {
    }
    ~WinStagedCopy() override
    {
        if (!m_renamed && (m_out.valid() || m_flushed)) {
            m_out.close();
            DeleteFileW(m_wideTemporary.c_str());
        }
    }

    bool valid() const { return m_out.valid(); }
    HANDLE handle() const { return m_out.get(); }
    void setBytes(std::uint64_t bytes) { m_bytes = bytes; }
    void setSourceTime(const FILETIME &time) { m_sourceTime = time; }

    const std::string &temporaryPath() const override { return m_temporary; }
    const std::string &destination() const override { return m_destination; }
    void flushFolder() override {} // each rename was written through

    std::size_t readAt(std::uint64_t offset, void *data, std::size_t size) override
    {
        std::size_t done = 0;
        while (done < size) {
            OVERLAPPED at = atOffset(offset + done);
            const DWORD want = DWORD(std::min<std::size_t>(size - done, std::size_t(1) << 30));
            DWORD got = 0;
            if (!ReadFile(m_out.get(), static_cast<char *>(data) + done, want, &got, &at)) {
                const DWORD error = GetLastError();
                if (error == ERROR_HANDLE_EOF)
                    break;
                raise(error, m_temporary);
            }
            if (got == 0)
                break;
            done += got;
        }
        return done;
    }
    void writeAt(std::uint64_t offset, const void *data, std::size_t size) override
    {
        for (std::size_t done = 0; done < size;) {
            OVERLAPPED at = atOffset(offset + done);
            const DWORD want = DWORD(std::min<std::size_t>(size - done, std::size_t(1) << 30));
            DWORD put = 0;
            if (!WriteFile(m_out.get(), static_cast<const char *>(data) + done, want, &put, &at))
                raise(GetLastError(), m_temporary);
            done += put;
        }
    }
    void resize(std::uint64_t size) override
    {
        LARGE_INTEGER end{};
        end.QuadPart = LONGLONG(size);
        if (!SetFilePointerEx(m_out.get(), end, nullptr, FILE_BEGIN) || !SetEndOfFile(m_out.get()))
            raise(GetLastError(), m_temporary);
    }
    std::uint64_t size() override
    {
        LARGE_INTEGER size{};
        if (!GetFileSizeEx(m_out.get(), &size))
            raise(GetLastError(), m_temporary);
        return std::uint64_t(size.QuadPart);
    }

    CopyResult flush(CopyTime time) override
    {
        DWORD error = 0;
        if (time == CopyTime::FromSource && !SetFileTime(m_out.get(), nullptr, nullptr, &m_sourceTime))
            error = GetLastError();
        if (error == 0 && !FlushFileBuffers(m_out.get()))
            error = GetLastError();
        BY_HANDLE_FILE_INFORMATION info{};
        if (error == 0 && !GetFileInformationByHandle(m_out.get(), &info))
            error = GetLastError();
        if (!m_out.close() && error == 0)
            error = GetLastError();
        // Hidden while it is written; a rename keeps the attributes, so the placed file
        // is made visible first.
        if (error == 0 && !SetFileAttributesW(m_wideTemporary.c_str(), FILE_ATTRIBUTE_NORMAL))
            error = GetLastError();
        if (error != 0) {
            DeleteFileW(m_wideTemporary.c_str());
            return copyFailure(tooLargeError(error) ? CopyOutcome::TooLarge
                                                    : CopyOutcome::DestinationFailed,
                               error, m_destination, m_bytes);
        }
        m_flushed = true;
        CopyResult result;
        result.bytes = (std::uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
        result.sourceModified = fromFiletime(m_sourceTime);
        result.modified = fromFiletime(info.ftLastWriteTime);
        return result;
    }

    CopyResult rename(const std::string &destination, bool replace) override
    {
        const std::wstring to = filePath(destination);
        const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
        DWORD error = 0;
        // A file of that name that is open in another program or read-only refuses the
        // rename, as does one a virus scanner holds for a moment: tried again a few
        // times, then only this file is passed over.
        for (int attempt = 1;; ++attempt) {
            if (MoveFileExW(m_wideTemporary.c_str(), to.c_str(), flags)) {
                m_renamed = true;
                CopyResult result;
                result.bytes = m_bytes;
                return result;
            }
            error = GetLastError();
            if (!busyError(error) || attempt == 5 || !replace)
                break;
            Sleep(50);
        }
        const DWORD there = GetFileAttributesW(to.c_str());
        if (!replace && (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ||
                         there != INVALID_FILE_ATTRIBUTES))
            return copyFailure(CopyOutcome::NameTaken, error, destination, m_bytes);
        const bool folderThere =
            there != INVALID_FILE_ATTRIBUTES && (there & FILE_ATTRIBUTE_DIRECTORY);
        DeleteFileW(m_wideTemporary.c_str());
        m_renamed = true; // nothing is left to remove
        const bool refused = nameError(error) || busyError(error) || folderThere;
        return copyFailure(refused ? CopyOutcome::NameRefused : CopyOutcome::DestinationFailed,
                           error, destination, m_bytes);
    }

private:
    // A position for ReadFile and WriteFile on the (synchronous) handle.
    static OVERLAPPED atOffset(std::uint64_t offset)
    {
        OVERLAPPED at{};
        at.Offset = DWORD(offset & 0xFFFFFFFFu);
        at.OffsetHigh = DWORD(offset >> 32);
        return at;
    }

    Handle m_out;
    std::string m_temporary;
    std::wstring m_wideTemporary;
    std::string m_destination;
    std::uint64_t m_bytes = 0;
    FILETIME m_sourceTime{};
    bool m_flushed = false;
    bool m_renamed = false;
};

// A file held under LockFileEx on one byte far beyond any content: a lock that others
// test by taking it, and that keeps no one from reading the file.
class WinLockedFile : public LockedFile
{
public:
    using Stager = std::function<Staging(const void *, std::size_t)>;

    WinLockedFile(HANDLE handle, std::string path, bool created, Stager stage)
        : m_file(handle), m_path(std::move(path)), m_created(created), m_stage(std::move(stage))
    {
    }
    ~WinLockedFile() override { unlock(); }

    void unlock()
    {
        if (!m_file.valid())
            return;
        OVERLAPPED at = lockPosition();
        UnlockFileEx(m_file.get(), 0, 1, 0, &at);
        m_file.close();
    }

    // The locked byte.
    static OVERLAPPED lockPosition()
    {
        OVERLAPPED at{};
        at.Offset = 0;
        at.OffsetHigh = 0x7FFFFFFF;
        return at;
    }

    bool created() const override { return m_created; }

    std::vector<std::uint8_t> read() override
    {
        LARGE_INTEGER size{};
        if (!GetFileSizeEx(m_file.get(), &size))
            raiseLastError(m_path);
        std::vector<std::uint8_t> bytes(std::size_t(size.QuadPart));
        LARGE_INTEGER start{};
        if (!SetFilePointerEx(m_file.get(), start, nullptr, FILE_BEGIN))
            raiseLastError(m_path);
        std::size_t done = 0;
        while (done < bytes.size()) {
            DWORD got = 0;
            const DWORD chunk = DWORD(std::min<std::size_t>(bytes.size() - done, 1u << 30));
            if (!ReadFile(m_file.get(), bytes.data() + done, chunk, &got, nullptr))
                raiseLastError(m_path);
            if (got == 0)
                break;
            done += got;
        }
        bytes.resize(done);
        return bytes;
    }

    void append(const void *data, std::size_t size) override
    {
        LARGE_INTEGER none{};
        if (!SetFilePointerEx(m_file.get(), none, nullptr, FILE_END))
            raiseLastError(m_path);
        const char *p = static_cast<const char *>(data);
        for (std::size_t done = 0; done < size;) {
            DWORD put = 0;
            const DWORD chunk = DWORD(std::min<std::size_t>(size - done, 1u << 30));
            if (!WriteFile(m_file.get(), p + done, chunk, &put, nullptr))
                raiseLastError(m_path);
            done += put;
        }
    }

    void flush() override
    {
        if (!FlushFileBuffers(m_file.get()))
            raiseLastError(m_path);
    }

    void replace(const void *data, std::size_t size) override
    {
        Staging staging = m_stage(data, size);
        CopyResult result = staging.copy ? staging.copy->flush() : staging.result;
        // A file held open, even shared for deleting, is not renamed over: the lock ends
        // first, a moment before the new file takes the name.
        unlock();
        if (result.copied())
            result = staging.copy->rename(m_path, true);
        if (!result.copied())
            raise(DWORD(result.error), m_path);
        const std::wstring name = filePath(m_path);
        SetFileAttributesW(name.c_str(), GetFileAttributesW(name.c_str()) | FILE_ATTRIBUTE_HIDDEN);
    }

private:
    Handle m_file;
    std::string m_path;
    bool m_created;
    Stager m_stage;
};

// What is at `path` itself: a link or junction is opened as what it is, not followed.
std::optional<BY_HANDLE_FILE_INFORMATION> lookAtItself(const std::string &path)
{
    Handle handle(CreateFileW(filePath(path).c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!handle.valid() || !GetFileInformationByHandle(handle.get(), &info))
        return std::nullopt;
    return info;
}

// A regular file with one name: no folder, no reparse point (link, junction), no device.
bool plainFile(const BY_HANDLE_FILE_INFORMATION &info)
{
    return !(info.dwFileAttributes &
             (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) &&
           info.nNumberOfLinks == 1;
}

FileStatus statusOf(const BY_HANDLE_FILE_INFORMATION &info)
{
    FileStatus status;
    const bool reparse = info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT;
    status.kind = plainFile(info) ? FileStatus::Kind::File
                  : (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !reparse
                      ? FileStatus::Kind::Folder
                      : FileStatus::Kind::Other;
    status.size = (std::uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    status.modified = fromFiletime(info.ftLastWriteTime);
    return status;
}

// A staged copy of a held folder: a rename over a name replaces only a plain file there.
class HeldStagedCopy : public StagedCopy
{
public:
    explicit HeldStagedCopy(std::unique_ptr<StagedCopy> inner) : m_inner(std::move(inner)) {}

    std::size_t readAt(std::uint64_t offset, void *data, std::size_t size) override
    {
        return m_inner->readAt(offset, data, size);
    }
    void writeAt(std::uint64_t offset, const void *data, std::size_t size) override
    {
        m_inner->writeAt(offset, data, size);
    }
    void resize(std::uint64_t size) override { m_inner->resize(size); }
    std::uint64_t size() override { return m_inner->size(); }
    const std::string &temporaryPath() const override { return m_inner->temporaryPath(); }
    const std::string &destination() const override { return m_inner->destination(); }
    CopyResult flush(CopyTime time) override { return m_inner->flush(time); }
    void flushFolder() override { m_inner->flushFolder(); }
    CopyResult rename(const std::string &destination, bool replace) override
    {
        if (replace) {
            const std::optional<BY_HANDLE_FILE_INFORMATION> there = lookAtItself(destination);
            if (there && !plainFile(*there))
                return copyFailure(CopyOutcome::NameTaken, ERROR_ALREADY_EXISTS, destination);
        }
        return m_inner->rename(destination, replace);
    }

private:
    std::unique_ptr<StagedCopy> m_inner;
};

Staging held(Staging staging)
{
    if (staging.copy)
        staging.copy = std::make_unique<HeldStagedCopy>(std::move(staging.copy));
    return staging;
}

// A folder held by a handle that lets no one rename or remove it (no FILE_SHARE_DELETE) while
// the run works in it; each name in it is looked at as itself before it is used, and a
// reparse point (a link, a junction) is never gone through.
class WinHeldFolder : public HeldFolder
{
public:
    WinHeldFolder(const FileSystem &fs, HANDLE handle, std::string path)
        : m_fs(fs), m_handle(handle), m_path(std::move(path))
    {
        if (m_path.empty() || (m_path.back() != '\\' && m_path.back() != '/'))
            m_path += '\\';
    }

    // Opens the folder at `path`; with `itself`, a reparse point there is refused.
    static std::unique_ptr<WinHeldFolder> open(const FileSystem &fs, const std::string &path,
                                               bool itself)
    {
        HANDLE handle = CreateFileW(
            filePath(path).c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
            FILE_FLAG_BACKUP_SEMANTICS | (itself ? FILE_FLAG_OPEN_REPARSE_POINT : 0), nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            return nullptr;
        BY_HANDLE_FILE_INFORMATION info{};
        if (!GetFileInformationByHandle(handle, &info) ||
            !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
            (itself && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))) {
            CloseHandle(handle);
            SetLastError(ERROR_DIRECTORY);
            return nullptr;
        }
        return std::make_unique<WinHeldFolder>(fs, handle, path);
    }

    const std::string &path() const override { return m_path; }

    std::unique_ptr<HeldFolder> folder(const std::string &name) const override
    {
        return open(m_fs, m_path + name, true);
    }

    std::unique_ptr<HeldFolder> makeFolder(const std::string &name) const override
    {
        const bool made = CreateDirectoryW(filePath(m_path + name).c_str(), nullptr);
        if (!made && GetLastError() != ERROR_ALREADY_EXISTS)
            raiseLastError(m_path + name);
        std::unique_ptr<HeldFolder> held = folder(name);
        if (!held)
            raise(ERROR_ALREADY_EXISTS, m_path + name);
        return held;
    }

    std::vector<FolderEntry> entries() const override
    {
        const QuietDriveErrors quiet;
        WIN32_FIND_DATAW found{};
        HANDLE search = FindFirstFileW(filePath(m_path + "*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_NOT_FOUND)
                return {};
            raiseLastError(m_path);
        }
        std::vector<FolderEntry> entries;
        do {
            const std::wstring name = found.cFileName;
            if (name != L"." && name != L"..")
                entries.push_back({win::utf8(name),
                                   (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                                       !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)});
        } while (FindNextFileW(search, &found));
        const DWORD error = GetLastError();
        FindClose(search);
        if (error != ERROR_NO_MORE_FILES)
            raise(error, m_path);
        return entries;
    }

    std::optional<FileStatus> status(const std::string &name) const override
    {
        const std::optional<BY_HANDLE_FILE_INFORMATION> info = lookAtItself(m_path + name);
        if (!info)
            return std::nullopt;
        return statusOf(*info);
    }

    std::optional<FileIdentity> identity(const std::string &name) const override
    {
        const std::optional<BY_HANDLE_FILE_INFORMATION> info = lookAtItself(m_path + name);
        if (!info)
            return std::nullopt;
        return FileIdentity{info->dwVolumeSerialNumber,
                            (std::uint64_t(info->nFileIndexHigh) << 32) | info->nFileIndexLow};
    }

    bool sameContents(const std::string &source, const std::string &name) const override
    {
        const std::optional<FileStatus> there = status(name);
        return there && there->kind == FileStatus::Kind::File &&
               m_fs.sameContents(source, m_path + name);
    }

    std::vector<std::uint8_t> readFile(const std::string &name) const override
    {
        const std::optional<FileStatus> there = status(name);
        if (there && there->kind != FileStatus::Kind::File)
            raise(ERROR_CANT_ACCESS_FILE, m_path + name);
        return m_fs.readFile(m_path + name);
    }

    Staging stageCopy(const std::string &source, const std::string &name,
                      const CopyOptions &options) const override
    {
        return held(m_fs.stageCopy(source, m_path + name, options));
    }

    Staging stageBytes(const std::string &name, const void *data, std::size_t size) const override
    {
        return held(m_fs.stageBytes(m_path + name, data, size));
    }

    bool removeFile(const std::string &name,
                    const std::function<bool(const FileStatus &)> &expected) const override
    {
        // Judged and removed through one handle of the entry itself.
        Handle file(CreateFileW(filePath(m_path + name).c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        BY_HANDLE_FILE_INFORMATION info{};
        if (!file.valid() || !GetFileInformationByHandle(file.get(), &info) || !plainFile(info) ||
            !expected(statusOf(info)))
            return false;
        FILE_DISPOSITION_INFO disposition{};
        disposition.DeleteFile = TRUE;
        if (!SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition,
                                        sizeof disposition))
            raiseLastError(m_path + name);
        return true;
    }

    std::unique_ptr<LockedFile> lockFile(const std::string &name) const override
    {
        const std::optional<FileStatus> there = status(name);
        if (there && there->kind != FileStatus::Kind::File)
            raise(ERROR_CANT_ACCESS_FILE, m_path + name);
        return m_fs.lockFile(m_path + name);
    }

private:
    const FileSystem &m_fs;
    Handle m_handle;
    std::string m_path;
};

class WinFileSystem : public FileSystem
{
public:
    std::unique_ptr<HeldFolder> holdFolder(const std::string &path) const override
    {
        // The export directory itself may be a link or junction: the user chose it.
        std::unique_ptr<WinHeldFolder> held = WinHeldFolder::open(*this, path, false);
        if (!held)
            raiseLastError(path);
        return held;
    }

    std::vector<Drive> drives() const override
    {
        std::vector<Drive> result;
        wchar_t buffer[512];
        const DWORD length = GetLogicalDriveStringsW(DWORD(std::size(buffer)), buffer);
        for (const wchar_t *root = buffer; root < buffer + length && *root; root += wcslen(root) + 1) {
            Drive drive;
            drive.path = win::utf8(std::wstring(root, 2)); // "C:"
            switch (GetDriveTypeW(root)) {
            case DRIVE_REMOVABLE: drive.type = DriveType::Removable; break;
            case DRIVE_FIXED: drive.type = DriveType::Fixed; break;
            case DRIVE_REMOTE: drive.type = DriveType::Network; break;
            case DRIVE_CDROM: drive.type = DriveType::Optical; break;
            case DRIVE_RAMDISK: drive.type = DriveType::RamDisk; break;
            default: drive.type = DriveType::Unknown; break;
            }
            result.push_back(drive);
        }
        return result;
    }

    std::string driveRoot(const Drive &drive) const override { return drive.path + "\\"; }

    bool fileExists(const std::string &path) const override
    {
        const QuietDriveErrors quiet;
        const DWORD attributes = GetFileAttributesW(filePath(path).c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    }

    bool folderExists(const std::string &path) const override
    {
        const QuietDriveErrors quiet;
        const DWORD attributes = GetFileAttributesW(filePath(path).c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    }

    void copyFile(const std::string &source, const std::string &destination,
                  bool overwrite) const override
    {
        if (!CopyFileW(filePath(source).c_str(), filePath(destination).c_str(),
                       overwrite ? FALSE : TRUE)) {
            const DWORD error = GetLastError();
            raise(error, pathAtFault(source, destination, GENERIC_READ));
        }
    }

    Staging stageCopy(const std::string &source, const std::string &destination,
                      const CopyOptions &options) const override
    {
        const auto failed = [](CopyOutcome outcome, DWORD error, const std::string &path,
                               std::uint64_t bytes = 0) {
            return Staging{copyFailure(outcome, error, path, bytes), nullptr};
        };
        const std::wstring from = filePath(source);
        const DWORD attributes = GetFileAttributesW(from.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            const DWORD error = GetLastError();
            return failed(missingError(error) ? CopyOutcome::SourceMissing : unreadable(error),
                          error, source);
        }
        if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            return failed(CopyOutcome::SourceNotRegular, 0, source);
        Handle in(CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (!in.valid()) {
            const DWORD error = GetLastError();
            return failed(missingError(error) ? CopyOutcome::SourceMissing : unreadable(error),
                          error, source);
        }
        BY_HANDLE_FILE_INFORMATION info{};
        if (GetFileType(in.get()) != FILE_TYPE_DISK)
            return failed(CopyOutcome::SourceNotRegular, 0, source);
        if (!GetFileInformationByHandle(in.get(), &info))
            return failed(CopyOutcome::SourceUnreadable, GetLastError(), source);
        if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            return failed(CopyOutcome::SourceNotRegular, 0, source);
        if (!options.within.empty() && !openedWithin(in.get(), options.within)) {
            Staging out = failed(CopyOutcome::OutsideFolder, 0, source);
            out.result.message = LinkOutOfFolder;
            return out;
        }
        const FileIdentity own{info.dwVolumeSerialNumber,
                               (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
        if (identity(destination) == own)
            return failed(CopyOutcome::SameFile, 0, destination);
        const std::uint64_t size = (std::uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow;

        const std::string part = temporaryNameBeside(destination, '\\');
        auto staged = std::make_unique<WinStagedCopy>(
            CreateFileW(filePath(part).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                        FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_SEQUENTIAL_SCAN, nullptr),
            part, destination);
        if (!staged->valid())
            return failed(CopyOutcome::DestinationFailed, GetLastError(), destination);

        // In pieces from explicit offsets, so that a piece that fails can be read again.
        const HANDLE source_ = in.get();
        const SourceRead readAt = [source_](std::uint64_t offset, char *data, std::size_t want,
                                            int &error) -> std::int64_t {
            OVERLAPPED at{};
            at.Offset = DWORD(offset & 0xFFFFFFFFu);
            at.OffsetHigh = DWORD(offset >> 32);
            DWORD got = 0;
            if (!ReadFile(source_, data, DWORD(want), &got, &at)) {
                const DWORD failure = GetLastError();
                if (failure == ERROR_HANDLE_EOF)
                    return 0;
                error = int(failure);
                return -1;
            }
            return std::int64_t(got);
        };
        const auto gone = [](int error) { return driveGoneError(DWORD(error)); };
        std::vector<char> buffer(CopyPiece);
        std::uint64_t copied = 0;
        std::uint64_t lost = 0;
        while (copied < size) {
            const std::size_t want = std::size_t(std::min<std::uint64_t>(buffer.size(), size - copied));
            const PieceRead piece = readPiece(readAt, copied, buffer.data(), want, options, gone);
            if (piece.cancelled)
                return failed(CopyOutcome::Cancelled, 0, destination, copied);
            if (piece.error != 0)
                return failed(unreadable(DWORD(piece.error)), DWORD(piece.error), source, copied);
            const DWORD got = DWORD(piece.bytes);
            if (got == 0) {
                // The source became shorter since it was opened: what was read is not the file.
                Staging staging = failed(CopyOutcome::SourceUnreadable, 0, source, copied);
                staging.result.message = ShorterWhileCopied;
                return staging;
            }
            lost += piece.lost;
            for (DWORD done = 0; done < got;) {
                DWORD put = 0;
                if (!WriteFile(staged->handle(), buffer.data() + done, got - done, &put, nullptr)) {
                    const DWORD error = GetLastError();
                    return failed(tooLargeError(error) ? CopyOutcome::TooLarge
                                                       : CopyOutcome::DestinationFailed,
                                  error, destination, copied);
                }
                done += put;
            }
            copied += got;
            if (options.progress && !options.progress(copied))
                return failed(CopyOutcome::Cancelled, 0, destination, copied);
        }
        staged->setBytes(copied);
        staged->setSourceTime(info.ftLastWriteTime);
        Staging staging;
        staging.result.bytes = copied;
        staging.result.lost = lost;
        staging.result.sourceModified = fromFiletime(info.ftLastWriteTime);
        staging.copy = std::move(staged);
        return staging;
    }

    Staging stageBytes(const std::string &destination, const void *data,
                       std::size_t size) const override
    {
        const std::string part = temporaryNameBeside(destination, '\\');
        auto staged = std::make_unique<WinStagedCopy>(
            CreateFileW(filePath(part).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                        FILE_ATTRIBUTE_HIDDEN, nullptr),
            part, destination);
        if (!staged->valid())
            return Staging{copyFailure(CopyOutcome::DestinationFailed, GetLastError(), destination),
                           nullptr};
        const char *p = static_cast<const char *>(data);
        for (std::size_t done = 0; done < size;) {
            const DWORD chunk = DWORD(std::min<std::size_t>(size - done, std::size_t(1) << 30));
            DWORD put = 0;
            if (!WriteFile(staged->handle(), p + done, chunk, &put, nullptr))
                return Staging{
                    copyFailure(CopyOutcome::DestinationFailed, GetLastError(), destination, done),
                    nullptr};
            done += put;
        }
        staged->setBytes(size);
        Staging staging;
        staging.result.bytes = size;
        staging.copy = std::move(staged);
        return staging;
    }

    void moveFile(const std::string &source, const std::string &destination) const override
    {
        if (!MoveFileW(filePath(source).c_str(), filePath(destination).c_str())) {
            const DWORD error = GetLastError();
            raise(error, pathAtFault(source, destination, DELETE));
        }
    }

    void replaceFile(const std::string &from, const std::string &to) const override
    {
        if (!MoveFileExW(filePath(from).c_str(), filePath(to).c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            raiseLastError(to);
    }

    bool renameOrCopy(const std::string &source, const std::string &destination) const override
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
    RootFolderCheck rootFolder(const std::string &) const override { return {}; }

    bool sameContents(const std::string &a, const std::string &b) const override
    {
        HANDLE first = openForReading(a);
        HANDLE second = INVALID_HANDLE_VALUE;
        try {
            second = openForReading(b);
        } catch (...) {
            CloseHandle(first);
            throw;
        }
        LARGE_INTEGER sizeA{}, sizeB{};
        bool same = GetFileSizeEx(first, &sizeA) && GetFileSizeEx(second, &sizeB) &&
                    sizeA.QuadPart == sizeB.QuadPart;
        std::vector<char> bufferA(1 << 16), bufferB(1 << 16);
        bool failed = false;
        while (same) {
            DWORD gotA = 0, gotB = 0;
            if (!ReadFile(first, bufferA.data(), DWORD(bufferA.size()), &gotA, nullptr) ||
                !ReadFile(second, bufferB.data(), DWORD(bufferB.size()), &gotB, nullptr)) {
                failed = true;
                break;
            }
            same = gotA == gotB && std::memcmp(bufferA.data(), bufferB.data(), gotA) == 0;
            if (gotA == 0)
                break;
        }
        const DWORD error = GetLastError();
        CloseHandle(first);
        CloseHandle(second);
        if (failed) {
            SetLastError(error);
            raiseLastError(a);
        }
        return same;
    }

    std::optional<FileIdentity> identity(const std::string &path) const override
    {
        // No access rights are needed to read a file's identity; folders open only with
        // backup semantics.
        HANDLE handle = CreateFileW(filePath(path).c_str(), 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            return std::nullopt;
        BY_HANDLE_FILE_INFORMATION info{};
        const BOOL ok = GetFileInformationByHandle(handle, &info);
        CloseHandle(handle);
        if (!ok)
            return std::nullopt;
        return FileIdentity{info.dwVolumeSerialNumber,
                            (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    }

    void deleteFile(const std::string &path) const override
    {
        if (!DeleteFileW(filePath(path).c_str()))
            raiseLastError(path);
    }

    void createFolder(const std::string &path) const override
    {
        const std::string folder = withoutTrailingBackslash(path);
        if (!CreateDirectoryW(filePath(folder).c_str(), nullptr))
            raiseLastError(folder);
    }

    std::vector<std::string> listFolder(const std::string &path) const override
    {
        std::vector<std::string> names;
        for (FolderEntry &entry : listEntries(path))
            names.push_back(std::move(entry.name));
        return names;
    }

    std::vector<FolderEntry> listEntries(const std::string &path) const override
    {
        std::string pattern = path;
        if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/')
            pattern += '\\';
        pattern += '*';
        const QuietDriveErrors quiet;
        WIN32_FIND_DATAW found{};
        HANDLE search = FindFirstFileW(filePath(pattern).c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_NOT_FOUND)
                return {};
            raiseLastError(path);
        }
        std::vector<FolderEntry> entries;
        do {
            const std::wstring name = found.cFileName;
            if (name != L"." && name != L"..")
                entries.push_back(
                    {win::utf8(name), (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
        } while (FindNextFileW(search, &found));
        const DWORD error = GetLastError();
        FindClose(search);
        if (error != ERROR_NO_MORE_FILES)
            raise(error, path);
        return entries;
    }

    std::optional<FileStatus> status(const std::string &path) const override
    {
        const QuietDriveErrors quiet;
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (path.empty() ||
            !GetFileAttributesExW(filePath(path).c_str(), GetFileExInfoStandard, &data))
            return std::nullopt;
        FileStatus status;
        const bool folder = data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
        status.kind = folder ? FileStatus::Kind::Folder : FileStatus::Kind::File;
        status.size = (std::uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        status.modified = fromFiletime(data.ftLastWriteTime);
        return status;
    }

    std::unique_ptr<LockedFile> lockFile(const std::string &path) const override
    {
        // Shared for deleting, so that its holder can replace it through a temporary file.
        const std::wstring name = filePath(path);
        HANDLE handle = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            raiseLastError(path);
        const bool created = GetLastError() != ERROR_ALREADY_EXISTS;
        auto file = std::make_unique<WinLockedFile>(
            handle, path, created,
            [this, path](const void *data, std::size_t size) { return stageBytes(path, data, size); });
        OVERLAPPED at = WinLockedFile::lockPosition();
        if (!LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                        &at)) {
            const DWORD error = GetLastError();
            if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING)
                return nullptr;
            raise(error, path);
        }
        return file;
    }

    void setHidden(const std::string &path) const override
    {
        const std::wstring name = filePath(path);
        const DWORD attributes = GetFileAttributesW(name.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES ||
            !SetFileAttributesW(name.c_str(), attributes | FILE_ATTRIBUTE_HIDDEN))
            raiseLastError(path);
    }

    std::vector<std::uint8_t> readFile(const std::string &path) const override
    {
        HANDLE handle = CreateFileW(filePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            raiseLastError(path);
        return readHandle(handle, path);
    }

    // The plain file at `path` in `folder`, opened for reading, with its size.
    static HANDLE openWithin(const std::string &folder, const std::string &path, DWORD flags,
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

    std::vector<std::uint8_t> readFileWithin(const std::string &folder,
                                             const std::string &path) const override
    {
        std::uint64_t length = 0;
        return readHandle(openWithin(folder, path, FILE_FLAG_SEQUENTIAL_SCAN, length), path);
    }

    std::vector<std::uint8_t> readFilePart(const std::string &folder, const std::string &path,
                                           std::uint64_t offset, std::size_t size) const override
    {
        std::uint64_t length = 0;
        HANDLE handle = openWithin(folder, path, FILE_FLAG_RANDOM_ACCESS, length);
        std::vector<std::uint8_t> bytes;
        if (offset >= length) {
            CloseHandle(handle);
            return bytes;
        }
        try {
            bytes.resize(std::size_t(std::min<std::uint64_t>(size, length - offset)));
        } catch (const std::bad_alloc &) {
            CloseHandle(handle);
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            raiseLastError(path);
        }
        std::size_t done = 0;
        while (done < bytes.size()) {
            OVERLAPPED at{};
            const std::uint64_t position = offset + done;
            at.Offset = DWORD(position & 0xFFFFFFFFu);
            at.OffsetHigh = DWORD(position >> 32);
            DWORD got = 0;
            const DWORD chunk = DWORD(std::min<std::size_t>(bytes.size() - done, 1u << 30));
            if (!ReadFile(handle, bytes.data() + done, chunk, &got, &at)) {
                if (GetLastError() == ERROR_HANDLE_EOF)
                    break;
                CloseHandle(handle);
                raiseLastError(path);
            }
            if (got == 0)
                break;
            done += got;
        }
        CloseHandle(handle);
        bytes.resize(done);
        return bytes;
    }

    NewFile createNewFile(const std::string &path) const override
    {
        // CREATE_NEW refuses any name that is taken; a link or junction at it is not followed.
        const std::wstring name = filePath(path);
        HANDLE handle = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            // A folder at the name is refused as "access denied".
            if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ||
                (error == ERROR_ACCESS_DENIED &&
                 GetFileAttributesW(name.c_str()) != INVALID_FILE_ATTRIBUTES))
                return {};
            raise(error, path);
        }
        BY_HANDLE_FILE_INFORMATION info{};
        if (!GetFileInformationByHandle(handle, &info)) {
            const DWORD error = GetLastError();
            CloseHandle(handle);
            DeleteFileW(name.c_str());
            raise(error, path);
        }
        NewFile made;
        made.identity = {info.dwVolumeSerialNumber,
                         (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
        made.file = std::make_unique<WinOutputFile>(handle, path);
        return made;
    }

private:
    // The whole of the open file `handle` (of `path`), which it closes.
    static std::vector<std::uint8_t> readHandle(HANDLE handle, const std::string &path)
    {
        LARGE_INTEGER size{};
        GetFileSizeEx(handle, &size);
        // A file larger than the memory to be had (a damaged or hostile one) is an error
        // of this call like any other, not the end of the program.
        std::vector<std::uint8_t> bytes;
        try {
            bytes.resize(std::size_t(size.QuadPart));
        } catch (const std::bad_alloc &) {
            CloseHandle(handle);
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            raiseLastError(path);
        }
        std::size_t done = 0;
        while (done < bytes.size()) {
            DWORD got = 0;
            const DWORD chunk = DWORD(std::min<std::size_t>(bytes.size() - done, 1u << 30));
            if (!ReadFile(handle, bytes.data() + done, chunk, &got, nullptr)) {
                CloseHandle(handle);
                raiseLastError(path);
            }
            if (got == 0)
                break;
            done += got;
        }
        bytes.resize(done);
        CloseHandle(handle);
        return bytes;
    }

public:
    std::unique_ptr<OutputFile> createFile(const std::string &path) const override
    {
        HANDLE handle = CreateFileW(filePath(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            raiseLastError(path);
        return std::make_unique<WinOutputFile>(handle, path);
    }

    // The drive designation: the first two characters of the path, such as "C:".
    std::string driveOf(const std::string &path) const override { return path.substr(0, 2); }

    std::uint64_t availableSpace(const std::string &path) const override
    {
        ULARGE_INTEGER freeForCaller{};
        const std::string root = driveOf(path) + "\\";
        if (!GetDiskFreeSpaceExW(filePath(root).c_str(), &freeForCaller, nullptr, nullptr))
            raiseLastError(root);
        return freeForCaller.QuadPart;
    }

    std::optional<std::uint64_t> fileSizeLimit(const std::string &path) const override
    {
        const QuietDriveErrors quiet;
        wchar_t volume[MAX_PATH + 1] = {};
        if (!GetVolumePathNameW(filePath(path).c_str(), volume, MAX_PATH + 1))
            return std::nullopt;
        wchar_t system[MAX_PATH + 1] = {};
        if (!GetVolumeInformationW(volume, nullptr, 0, nullptr, nullptr, nullptr, system,
                                   MAX_PATH + 1))
            return std::nullopt;
        // "FAT", "FAT12", "FAT16" and "FAT32"; not "exFAT".
        if (std::wstring(system).rfind(L"FAT", 0) != 0)
            return std::nullopt;
        return FatFileSizeLimit;
    }

    std::string systemFolder() const override
    {
        wchar_t buffer[MAX_PATH];
        const UINT length = GetSystemDirectoryW(buffer, MAX_PATH);
        if (length == 0 || length >= MAX_PATH)
            raiseLastError("system folder");
        return win::utf8(std::wstring(buffer, length));
    }

    // The Music known folder (FOLDERID_Music) of the current user.
    std::string musicFolder() const override { return knownFolderOrNone(FOLDERID_Music); }
    // The profile folder (FOLDERID_Profile) of the current user.
    std::string homeFolder() const override { return knownFolderOrNone(FOLDERID_Profile); }

    // Whether a file can be made there, found by making a hidden one that is gone again
    // when its handle closes: the access rules of folders are too many to judge otherwise.
    bool folderWritable(const std::string &path) const override
    {
        if (!folderExists(path))
            return false;
        const std::string inside =
            path.empty() || path.back() == '\\' || path.back() == '/' ? path : path + "\\";
        const std::string probe = temporaryNameBeside(inside + "probe", '\\');
        HANDLE handle = CreateFileW(
            filePath(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
            FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            return false;
        CloseHandle(handle);
        return true;
    }

    char separator() const override { return '\\'; }
    NameLimit nameLimit() const override { return {NameUnit::Utf16Units, 255}; }
};

} // namespace

std::unique_ptr<FileSystem> createFileSystem()
{
    return std::make_unique<WinFileSystem>();
}

PlatformDefaults platformDefaults()
{
    return {"E:\\", "C:\\", "C:\\Program Files\\Sondrel\\"};
}

} // namespace sondrel
