#include "filesystem_win.h"

#include "files_win.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <new>
#include <vector>

#include <objbase.h>
#include <shlobj.h>

namespace sondrel {

using namespace win;

namespace {

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
        return win::readAt(m_out.get(), offset, data, size, m_temporary);
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
        if (time == CopyTime::FromSource &&
            !SetFileTime(m_out.get(), nullptr, nullptr, &m_sourceTime))
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
        bytes.resize(win::readAt(m_file.get(), 0, bytes.data(), bytes.size(), m_path));
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

} // namespace

bool WinFileSystem::fileExists(const std::string &path) const
{
    const QuietDriveErrors quiet;
    const DWORD attributes = GetFileAttributesW(filePath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool WinFileSystem::folderExists(const std::string &path) const
{
    const QuietDriveErrors quiet;
    const DWORD attributes = GetFileAttributesW(filePath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

Staging WinFileSystem::stageCopy(const std::string &source, const std::string &destination,
                                 const CopyOptions &options) const
{
    const auto failed = [](CopyOutcome outcome, DWORD error, const std::string &path,
                           std::uint64_t bytes = 0) {
        return Staging{copyFailure(outcome, error, path, bytes), nullptr};
    };
    const std::wstring from = filePath(source);
    const DWORD attributes = GetFileAttributesW(from.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return failed(missingError(error) ? CopyOutcome::SourceMissing : unreadable(error), error,
                      source);
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return failed(CopyOutcome::SourceNotRegular, 0, source);
    Handle in(CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!in.valid()) {
        const DWORD error = GetLastError();
        return failed(missingError(error) ? CopyOutcome::SourceMissing : unreadable(error), error,
                      source);
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
        DWORD failure = 0;
        const std::int64_t got = readSomeAt(source_, offset, data, want, failure);
        error = int(failure);
        return got;
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

Staging WinFileSystem::stageBytes(const std::string &destination, const void *data,
                                  std::size_t size) const
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

bool WinFileSystem::sameContents(const std::string &a, const std::string &b) const
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

std::optional<FileIdentity> WinFileSystem::identity(const std::string &path) const
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

void WinFileSystem::deleteFile(const std::string &path) const
{
    if (!DeleteFileW(filePath(path).c_str()))
        raiseLastError(path);
}

void WinFileSystem::createFolder(const std::string &path) const
{
    const std::string folder = withoutTrailingBackslash(path);
    if (!CreateDirectoryW(filePath(folder).c_str(), nullptr))
        raiseLastError(folder);
}

std::vector<std::string> WinFileSystem::listFolder(const std::string &path) const
{
    std::vector<std::string> names;
    for (FolderEntry &entry : listEntries(path))
        names.push_back(std::move(entry.name));
    return names;
}

std::vector<FolderEntry> WinFileSystem::listEntries(const std::string &path) const
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

std::optional<FileStatus> WinFileSystem::status(const std::string &path) const
{
    const QuietDriveErrors quiet;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (path.empty() || !GetFileAttributesExW(filePath(path).c_str(), GetFileExInfoStandard, &data))
        return std::nullopt;
    FileStatus status;
    const bool folder = data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
    status.kind = folder ? FileStatus::Kind::Folder : FileStatus::Kind::File;
    status.size = (std::uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    status.modified = fromFiletime(data.ftLastWriteTime);
    return status;
}

std::unique_ptr<LockedFile> WinFileSystem::lockFile(const std::string &path) const
{
    // Shared for deleting, so that its holder can replace it through a temporary file.
    const std::wstring name = filePath(path);
    HANDLE handle = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        raiseLastError(path);
    const bool created = GetLastError() != ERROR_ALREADY_EXISTS;
    auto file = std::make_unique<WinLockedFile>(
        handle, path, created,
        [this, path](const void *data, std::size_t size) { return stageBytes(path, data, size); });
    OVERLAPPED at = WinLockedFile::lockPosition();
    if (!LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        const DWORD error = GetLastError();
        if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING)
            return nullptr;
        raise(error, path);
    }
    return file;
}

std::vector<std::uint8_t> WinFileSystem::readFile(const std::string &path) const
{
    HANDLE handle = CreateFileW(filePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        raiseLastError(path);
    return readWhole(handle, path);
}

NewFile WinFileSystem::createNewFile(const std::string &path) const
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

std::unique_ptr<OutputFile> WinFileSystem::createFile(const std::string &path) const
{
    HANDLE handle = CreateFileW(filePath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        raiseLastError(path);
    return std::make_unique<WinOutputFile>(handle, path);
}

std::string WinFileSystem::systemFolder() const
{
    wchar_t buffer[MAX_PATH];
    const UINT length = GetSystemDirectoryW(buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        raiseLastError("system folder");
    return win::utf8(std::wstring(buffer, length));
}

// The Music known folder (FOLDERID_Music) of the current user.
std::string WinFileSystem::musicFolder() const
{
    return knownFolderOrNone(FOLDERID_Music);
}

// The profile folder (FOLDERID_Profile) of the current user.
std::string WinFileSystem::homeFolder() const
{
    return knownFolderOrNone(FOLDERID_Profile);
}

// Whether a file can be made there, found by making a hidden one that is gone again
// when its handle closes: the access rules of folders are too many to judge otherwise.
bool WinFileSystem::folderWritable(const std::string &path) const
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

std::vector<std::uint8_t> win::readWhole(HANDLE handle, const std::string &path)
{
    const Handle file(handle);
    LARGE_INTEGER size{};
    GetFileSizeEx(handle, &size);
    // A file larger than the memory to be had (a damaged or hostile one) is an error
    // of this call like any other, not the end of the program.
    std::vector<std::uint8_t> bytes;
    try {
        bytes.resize(std::size_t(size.QuadPart));
    } catch (const std::bad_alloc &) {
        raise(ERROR_NOT_ENOUGH_MEMORY, path);
    }
    bytes.resize(readAt(handle, 0, bytes.data(), bytes.size(), path));
    return bytes;
}

std::unique_ptr<FileSystem> createFileSystem()
{
    return std::make_unique<WinFileSystem>();
}

PlatformDefaults platformDefaults()
{
    return {"E:\\", "C:\\", "C:\\Program Files\\Sondrel\\"};
}

} // namespace sondrel
