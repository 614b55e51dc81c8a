#include "filesystem_win.h"

#include "files_win.h"

#include <functional>

namespace sondrel {

using namespace win;

namespace {

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
        Handle file(CreateFileW(
            filePath(m_path + name).c_str(), DELETE | FILE_READ_ATTRIBUTES,
            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
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

} // namespace

std::unique_ptr<HeldFolder> WinFileSystem::holdFolder(const std::string &path) const
{
    // The export directory itself may be a link or junction: the user chose it.
    std::unique_ptr<WinHeldFolder> held = WinHeldFolder::open(*this, path, false);
    if (!held)
        raiseLastError(path);
    return held;
}

} // namespace sondrel
