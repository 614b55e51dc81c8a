#include "filesystem_posix.h"

#include "descriptor_posix.h"
#include "memory.h"
#include "platformerror.h"
#include "rootfolder_posix.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <new>
#include <sstream>

#include <cstdlib>

#include <QStandardPaths>

#include <dirent.h>
#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace sondrel {

namespace {

[[noreturn]] void raise(int error, const std::string &path)
{
    throw PlatformError(error, std::string(std::strerror(error)) + ": " + path);
}

// Undoes the octal escapes (\040 for a blank, \011, \012, \134) of the mount table.
std::string unescapeMountField(const std::string &field)
{
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() &&
            std::all_of(field.begin() + long(i) + 1, field.begin() + long(i) + 4,
                        [](char c) { return c >= '0' && c <= '7'; })) {
            out += char((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

std::string readSmallFile(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool readsOne(const std::string &path)
{
    const std::string text = readSmallFile(path);
    return !text.empty() && text[0] == '1';
}

bool isDirectory(const std::string &path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// True when something other than a folder is at the path (a missing path is not).
bool isNonFolder(const std::string &path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::string stripTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

class PosixOutputFile : public OutputFile
{
public:
    PosixOutputFile(int fd, std::string path) : m_fd(fd), m_path(std::move(path)) {}
    ~PosixOutputFile() override
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    void write(const void *data, std::size_t size) override
    {
        const char *p = static_cast<const char *>(data);
        while (size > 0) {
            const ssize_t written = ::write(m_fd, p, size);
            if (written < 0) {
                if (errno == EINTR)
                    continue;
                raise(errno, m_path);
            }
            p += written;
            size -= std::size_t(written);
        }
    }

    void close() override
    {
        const int fd = m_fd;
        m_fd = -1;
        if (fd >= 0 && ::close(fd) != 0)
            raise(errno, m_path);
    }

private:
    int m_fd;
    std::string m_path;
};

// How a run of copyBytes ended, and on which side it failed.
struct ByteCopy
{
    enum Side { Done, Cancelled, Source, Destination } side = Done;
    int error = 0;
    std::uint64_t copied = 0;
};

// Errors after which the kernel's copy calls are simply not usable for these two files.
bool kernelCopyUnsupported(int error)
{
    return error == EXDEV || error == ENOSYS || error == EINVAL || error == EOPNOTSUPP ||
           error == EBADF || error == ENOTSUP || error == EPERM;
}

// Errors that can only be the destination's.
bool destinationError(int error)
{
    return error == ENOSPC || error == EDQUOT || error == EFBIG || error == EROFS;
}

// Copies up to `size` bytes from the current offset of `in` to that of `out`: in the
// kernel with copy_file_range, else with sendfile, else through a buffer. A kernel call
// that copies nothing before `size` is reached only means that this way does not work
// here; only a plain read that finds the end stops early (the source shrank). Calls
// `progress` after each chunk; when it returns false the copy stops as Cancelled.
ByteCopy copyBytes(int in, int out, std::uint64_t size,
                   const std::function<bool(std::uint64_t)> &progress)
{
    constexpr std::size_t Chunk = std::size_t(8) << 20;
    enum { Range, Send, Plain } way = Range;
    std::vector<char> buffer;
    ByteCopy result;
    while (result.copied < size) {
        const std::size_t want = std::size_t(std::min<std::uint64_t>(Chunk, size - result.copied));
        ssize_t n = 0;
        if (way == Range || way == Send) {
            n = way == Range ? ::copy_file_range(in, nullptr, out, nullptr, want, 0)
                             : ::sendfile(out, in, nullptr, want);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && destinationError(errno))
                return {ByteCopy::Destination, errno, result.copied};
            if (n <= 0) {
                // Not supported, nothing copied, or an error that a plain read and
                // write will put on the right side.
                way = way == Range && (n == 0 || kernelCopyUnsupported(errno)) ? Send : Plain;
                continue;
            }
        } else {
            if (buffer.empty())
                buffer.resize(std::size_t(1) << 20);
            n = ::read(in, buffer.data(), std::min(buffer.size(), want));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return {ByteCopy::Source, errno, result.copied};
            }
            if (n == 0)
                break;
            for (std::size_t done = 0; done < std::size_t(n);) {
                const ssize_t put = ::write(out, buffer.data() + done, std::size_t(n) - done);
                if (put < 0) {
                    if (errno == EINTR)
                        continue;
                    return {ByteCopy::Destination, errno, result.copied};
                }
                done += std::size_t(put);
            }
        }
        result.copied += std::uint64_t(n);
        if (progress && !progress(result.copied)) {
            result.side = ByteCopy::Cancelled;
            return result;
        }
    }
    return result;
}

// Copies the whole of `in` (as large as it is now) into `out`, in the kernel where it can.
void copyContents(int in, int out, const std::string &source, const std::string &destination)
{
    struct stat st {};
    if (::fstat(in, &st) != 0)
        raise(errno, source);
    const ByteCopy copy = copyBytes(in, out, std::uint64_t(std::max<off_t>(st.st_size, 0)), {});
    if (copy.side == ByteCopy::Source)
        raise(copy.error, source);
    if (copy.side == ByteCopy::Destination)
        raise(copy.error, destination);
}

// Errors with which a folder refuses a name (too long, characters its file system does
// not take, a folder of that name) rather than any file.
bool nameError(int error)
{
    return error == ENAMETOOLONG || error == EINVAL || error == EILSEQ || error == EISDIR;
}

CopyResult copyFailure(CopyOutcome outcome, int error, const std::string &path,
                       std::uint64_t bytes = 0)
{
    CopyResult result;
    result.outcome = outcome;
    result.error = error;
    result.message = error != 0 ? std::strerror(error) : std::string();
    result.path = path;
    result.bytes = bytes;
    return result;
}

// Renames `from` over `to` and flushes the folder's entries, where the rename lives. A
// file system that cannot flush a folder (some network and FUSE ones) still did the
// rename. Returns 0 or the rename's error number.
int renameOver(const std::string &from, const std::string &to)
{
    if (::rename(from.c_str(), to.c_str()) != 0)
        return errno;
    const std::size_t slash = to.find_last_of('/');
    const std::string folder =
        slash == std::string::npos ? "." : slash == 0 ? "/" : to.substr(0, slash);
    Descriptor entries(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (entries.get() >= 0)
        ::fsync(entries.get());
    return 0;
}

// The temporary file of a staged copy, open for its flush.
class PosixStagedCopy : public StagedCopy
{
public:
    PosixStagedCopy(int fd, std::string temporary, std::string destination)
        : m_out(fd), m_temporary(std::move(temporary)), m_destination(std::move(destination))
    {
    }
    ~PosixStagedCopy() override
    {
        if (!m_placed && m_out.get() >= 0) {
            m_out.close();
            ::unlink(m_temporary.c_str());
        }
    }

    int fd() const { return m_out.get(); }
    void setBytes(std::uint64_t bytes) { m_bytes = bytes; }

    CopyResult place() override
    {
        m_placed = true;
        int error = ::fsync(m_out.get()) != 0 ? errno : 0;
        const int closed = m_out.close();
        if (error == 0)
            error = closed;
        CopyOutcome outcome = CopyOutcome::DestinationFailed;
        if (error == 0) {
            error = renameOver(m_temporary, m_destination);
            if (error == 0) {
                CopyResult result;
                result.bytes = m_bytes;
                return result;
            }
            if (nameError(error))
                outcome = CopyOutcome::NameRefused;
        }
        ::unlink(m_temporary.c_str());
        return copyFailure(outcome, error, m_destination, m_bytes);
    }

private:
    Descriptor m_out;
    std::string m_temporary;
    std::string m_destination;
    std::uint64_t m_bytes = 0;
    bool m_placed = false;
};

} // namespace

std::vector<MountEntry> parseMountTable(const std::string &text)
{
    std::vector<MountEntry> entries;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        MountEntry entry;
        if (!(fields >> entry.source >> entry.mountPoint >> entry.type))
            continue;
        entry.source = unescapeMountField(entry.source);
        entry.mountPoint = unescapeMountField(entry.mountPoint);
        entries.push_back(std::move(entry));
    }
    return entries;
}

PosixFileSystem::PosixFileSystem(std::string mountTable, std::string sysfsRoot,
                                 std::string systemFolder)
    : m_mountTable(std::move(mountTable)), m_sysfsRoot(std::move(sysfsRoot)),
      m_systemFolder(std::move(systemFolder))
{
}

const std::vector<MountEntry> &PosixFileSystem::mounts() const
{
    if (!m_mounts)
        m_mounts = parseMountTable(readSmallFile(m_mountTable));
    return *m_mounts;
}

namespace {

// What is mounted but is no drive to a user: read-only images (snap packages and other
// squashfs or erofs images), the boot partitions and the mounts of snap's own machinery.
// Decided by type and place only; a read-only mount (a player formatted on a Mac, a disk
// image under /media) is still a drive.
bool isSystemMount(const MountEntry &entry)
{
    if (entry.type == "squashfs" || entry.type == "erofs")
        return true;
    const std::string mp = stripTrailingSlashes(entry.mountPoint);
    for (const std::string prefix : {"/boot", "/snap", "/var/snap", "/var/lib/snapd"}) {
        if (mp == prefix || mp.rfind(prefix + "/", 0) == 0)
            return true;
    }
    return false;
}

} // namespace

bool PosixFileSystem::isRemovable(const MountEntry &entry) const
{
    const std::string &mp = entry.mountPoint;
    if (mp.rfind("/media/", 0) == 0 || mp.rfind("/run/media/", 0) == 0)
        return true;

    // The block device's own name ("sdb1"); a link such as /dev/disk/by-label/X is followed.
    std::string device = entry.source;
    if (char *real = ::realpath(device.c_str(), nullptr)) {
        device = real;
        std::free(real);
    }
    const std::string name = device.substr(device.rfind('/') + 1);
    if (name.empty())
        return false;

    const std::string block = m_sysfsRoot + "/block/";
    if (readsOne(block + name + "/removable"))
        return true;
    // A partition: its folder sits inside the folder of the whole disk.
    if (::DIR *dir = ::opendir(block.c_str())) {
        bool removable = false;
        while (const dirent *disk = ::readdir(dir)) {
            const std::string diskName = disk->d_name;
            if (diskName == "." || diskName == "..")
                continue;
            if (isDirectory(block + diskName + "/" + name)) {
                removable = readsOne(block + diskName + "/removable");
                break;
            }
        }
        ::closedir(dir);
        return removable;
    }
    return false;
}

std::vector<Drive> PosixFileSystem::drives() const
{
    std::vector<Drive> result;
    for (const MountEntry &entry : mounts()) {
        if (entry.source.rfind("/dev/", 0) != 0 || isSystemMount(entry))
            continue;
        // A single file mounted over another (containers mount /etc/hosts so) is no drive:
        // a drive's root is a folder.
        if (isNonFolder(entry.mountPoint))
            continue;
        Drive drive;
        drive.path = stripTrailingSlashes(entry.mountPoint);
        if (entry.type == "iso9660" || entry.type == "udf")
            drive.type = DriveType::Optical;
        else if (isRemovable(entry))
            drive.type = DriveType::Removable;
        else
            drive.type = DriveType::Fixed;
        // A mount point mounted over again keeps its place; the later mount is what shows.
        auto same = std::find_if(result.begin(), result.end(),
                                 [&](const Drive &d) { return d.path == drive.path; });
        if (same != result.end())
            *same = drive;
        else
            result.push_back(drive);
    }
    return result;
}

std::string PosixFileSystem::driveRoot(const Drive &drive) const
{
    const std::string path = stripTrailingSlashes(drive.path);
    return path == "/" ? path : path + "/";
}

bool PosixFileSystem::fileExists(const std::string &path) const
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool PosixFileSystem::folderExists(const std::string &path) const
{
    return !path.empty() && isDirectory(path);
}

void PosixFileSystem::copyFile(const std::string &source, const std::string &destination,
                               bool overwrite) const
{
    const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        raise(errno, source);
    struct stat st {};
    if (::fstat(in, &st) != 0 || S_ISDIR(st.st_mode)) {
        const int error = S_ISDIR(st.st_mode) ? EISDIR : errno;
        ::close(in);
        raise(error, source);
    }
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (overwrite ? O_TRUNC : O_EXCL);
    const int out = ::open(destination.c_str(), flags, 0666);
    if (out < 0) {
        const int error = errno;
        ::close(in);
        raise(error, destination);
    }
    try {
        copyContents(in, out, source, destination);
    } catch (...) {
        ::close(in);
        ::close(out);
        throw;
    }
    ::close(in);
    if (::close(out) != 0)
        raise(errno, destination);
}

namespace {

// A source that became shorter while it was copied: what was read is not the file.
Staging shorter(const std::string &source, std::uint64_t bytes)
{
    Staging staging{copyFailure(CopyOutcome::SourceUnreadable, 0, source, bytes), nullptr};
    staging.result.message = ShorterWhileCopied;
    return staging;
}

} // namespace

Staging PosixFileSystem::stageCopy(const std::string &source, const std::string &destination,
                                   const CopyOptions &options) const
{
    const auto failed = [](CopyOutcome outcome, int error, const std::string &path,
                           std::uint64_t bytes = 0) {
        return Staging{copyFailure(outcome, error, path, bytes), nullptr};
    };
    // Without blocking: a FIFO with no writer would otherwise hold the open forever.
    // A link to a device is not even opened (opening some has effects of its own); the
    // opened file is judged again below, as it may have changed in between.
    struct stat before {};
    if (::stat(source.c_str(), &before) == 0 && !S_ISREG(before.st_mode))
        return failed(CopyOutcome::SourceNotRegular, 0, source);
    Descriptor in(::open(source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (in.get() < 0) {
        const int error = errno;
        const bool missing = error == ENOENT || error == ENOTDIR;
        return failed(missing ? CopyOutcome::SourceMissing : CopyOutcome::SourceUnreadable, error,
                      source);
    }
    struct stat st {};
    if (::fstat(in.get(), &st) != 0)
        return failed(CopyOutcome::SourceUnreadable, errno, source);
    if (!S_ISREG(st.st_mode))
        return failed(CopyOutcome::SourceNotRegular, 0, source);
    const int flags = ::fcntl(in.get(), F_GETFL);
    if (flags >= 0)
        ::fcntl(in.get(), F_SETFL, flags & ~O_NONBLOCK);
    struct stat there {};
    if (::stat(destination.c_str(), &there) == 0 && there.st_dev == st.st_dev &&
        there.st_ino == st.st_ino)
        return failed(CopyOutcome::SameFile, 0, destination);
    ::posix_fadvise(in.get(), 0, 0, POSIX_FADV_SEQUENTIAL);

    const std::string temporary = temporaryNameBeside(destination, '/');
    auto staged = std::make_unique<PosixStagedCopy>(
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666), temporary,
        destination);
    if (staged->fd() < 0) {
        // The folder is missing or read-only, the disk full: the destination's side. A too
        // long folder path is no fault of the file's name.
        return failed(CopyOutcome::DestinationFailed, errno, destination);
    }
    const ByteCopy copy = copyBytes(in.get(), staged->fd(),
                                    std::uint64_t(std::max<off_t>(st.st_size, 0)), options.progress);
    switch (copy.side) {
    case ByteCopy::Cancelled: return failed(CopyOutcome::Cancelled, 0, destination, copy.copied);
    case ByteCopy::Source:
        return failed(CopyOutcome::SourceUnreadable, copy.error, source, copy.copied);
    case ByteCopy::Destination:
        return failed(CopyOutcome::DestinationFailed, copy.error, destination, copy.copied);
    case ByteCopy::Done: break;
    }
    if (copy.copied < std::uint64_t(std::max<off_t>(st.st_size, 0)))
        return shorter(source, copy.copied);
    staged->setBytes(copy.copied);
    Staging staging;
    staging.result.bytes = copy.copied;
    staging.copy = std::move(staged);
    return staging;
}

Staging PosixFileSystem::stageBytes(const std::string &destination, const void *data,
                                    std::size_t size) const
{
    const std::string temporary = temporaryNameBeside(destination, '/');
    auto staged = std::make_unique<PosixStagedCopy>(
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666), temporary,
        destination);
    if (staged->fd() < 0)
        return Staging{copyFailure(CopyOutcome::DestinationFailed, errno, destination), nullptr};
    const char *p = static_cast<const char *>(data);
    for (std::size_t done = 0; done < size;) {
        const ssize_t put = ::write(staged->fd(), p + done, size - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0) // the staged copy removes its temporary file as it goes
            return Staging{copyFailure(CopyOutcome::DestinationFailed, errno, destination, done),
                           nullptr};
        done += std::size_t(put);
    }
    staged->setBytes(size);
    Staging staging;
    staging.result.bytes = size;
    staging.copy = std::move(staged);
    return staging;
}

void PosixFileSystem::moveFile(const std::string &source, const std::string &destination) const
{
    if (::access(destination.c_str(), F_OK) == 0)
        raise(EEXIST, destination);
    if (::access(source.c_str(), F_OK) != 0)
        raise(errno, source);
    if (::rename(source.c_str(), destination.c_str()) == 0)
        return;
    if (errno != EXDEV)
        raise(errno, destination);
    // Another file system: copy, keep the permissions, then remove the source.
    struct stat st {};
    ::stat(source.c_str(), &st);
    copyFile(source, destination, false);
    ::chmod(destination.c_str(), st.st_mode & 07777);
    deleteFile(source);
}

void PosixFileSystem::replaceFile(const std::string &from, const std::string &to) const
{
    if (const int error = renameOver(from, to); error != 0)
        raise(error, to);
}

namespace {

// Opens a file for reading and gives its status; raises on failure.
int openForReading(const std::string &path, struct stat &st)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        raise(errno, path);
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        raise(error, path);
    }
    return fd;
}

// Reads up to `size` bytes, fewer only at the end of the file.
std::size_t readFully(int fd, char *buffer, std::size_t size, const std::string &path)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::read(fd, buffer + done, size - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            raise(errno, path);
        if (got == 0)
            break;
        done += std::size_t(got);
    }
    return done;
}

} // namespace

bool PosixFileSystem::renameOrCopy(const std::string &source, const std::string &destination) const
{
    if (::access(destination.c_str(), F_OK) == 0)
        raise(EEXIST, destination);
    // Root never renames the user's own file into place: whoever holds it open for writing
    // could still change it, whatever owner and mode it were given. It makes a new file.
    if (::geteuid() != 0) {
        if (::rename(source.c_str(), destination.c_str()) == 0)
            return false;
        if (errno != EXDEV)
            raise(errno, destination);
    }
    copyIntoNewFile(source, destination);
    return true;
}

bool PosixFileSystem::sameContents(const std::string &a, const std::string &b) const
{
    struct stat stA {}, stB {};
    const int inA = openForReading(a, stA);
    int inB = -1;
    try {
        inB = openForReading(b, stB);
        bool same = stA.st_size == stB.st_size;
        std::vector<char> bufferA(1 << 16), bufferB(1 << 16);
        while (same) {
            const std::size_t gotA = readFully(inA, bufferA.data(), bufferA.size(), a);
            const std::size_t gotB = readFully(inB, bufferB.data(), bufferB.size(), b);
            same = gotA == gotB && std::memcmp(bufferA.data(), bufferB.data(), gotA) == 0;
            if (gotA < bufferA.size())
                break;
        }
        ::close(inA);
        ::close(inB);
        return same;
    } catch (...) {
        ::close(inA);
        if (inB >= 0)
            ::close(inB);
        throw;
    }
}

std::optional<FileIdentity> PosixFileSystem::identity(const std::string &path) const
{
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return FileIdentity{std::uint64_t(st.st_dev), std::uint64_t(st.st_ino)};
}

void PosixFileSystem::deleteFile(const std::string &path) const
{
    if (::unlink(path.c_str()) != 0)
        raise(errno, path);
}

void PosixFileSystem::createFolder(const std::string &path) const
{
    const std::string folder = stripTrailingSlashes(path);
    if (::mkdir(folder.c_str(), 0777) != 0)
        raise(errno, folder);
}

std::vector<std::string> PosixFileSystem::listFolder(const std::string &path) const
{
    ::DIR *dir = ::opendir(path.empty() ? "." : path.c_str());
    if (!dir)
        raise(errno, path);
    std::vector<std::string> names;
    errno = 0;
    while (const dirent *entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
        errno = 0;
    }
    const int error = errno;
    ::closedir(dir);
    if (error != 0)
        raise(error, path);
    return names;
}

std::vector<std::uint8_t> PosixFileSystem::readFile(const std::string &path) const
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        raise(errno, path);
    struct stat st {};
    ::fstat(fd, &st);
    // Read straight into place. The size is a guess only: a file may change while it is
    // read, and files of /proc and /sys say 0; one byte more than it shows the end.
    std::vector<std::uint8_t> bytes;
    std::size_t size = 0;
    std::size_t capacity = std::max<std::size_t>(std::size_t(std::max<off_t>(st.st_size, 0)) + 1,
                                                 std::size_t(1) << 16);
    for (;;) {
        if (size == bytes.size()) {
            // A file larger than the memory to be had (a damaged or hostile one) is an
            // error of this call like any other, not the end of the program.
            try {
                bytes.reserve(capacity);
            } catch (const std::bad_alloc &) {
                ::close(fd);
                raise(ENOMEM, path);
            }
            adviseLargeBlock(bytes.data(), capacity);
            bytes.resize(capacity);
            capacity *= 2;
        }
        const ssize_t got = ::read(fd, bytes.data() + size, bytes.size() - size);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            ::close(fd);
            raise(error, path);
        }
        if (got == 0)
            break;
        size += std::size_t(got);
    }
    ::close(fd);
    bytes.resize(size);
    return bytes;
}

std::unique_ptr<OutputFile> PosixFileSystem::createFile(const std::string &path) const
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        raise(errno, path);
    return std::make_unique<PosixOutputFile>(fd, path);
}

std::string PosixFileSystem::driveOf(const std::string &path) const
{
    std::string target = path;
    if (char *real = ::realpath(path.c_str(), nullptr)) {
        target = real;
        std::free(real);
    }
    std::string best = "/";
    for (const MountEntry &entry : mounts()) {
        const std::string mp = stripTrailingSlashes(entry.mountPoint);
        const bool holds = mp == "/" || target == mp ||
                           (target.rfind(mp, 0) == 0 && target.size() > mp.size() &&
                            target[mp.size()] == '/');
        if (holds && mp.size() >= best.size())
            best = mp;
    }
    return best;
}

std::uint64_t PosixFileSystem::availableSpace(const std::string &path) const
{
    struct statvfs st {};
    if (::statvfs(path.c_str(), &st) != 0)
        raise(errno, path);
    return std::uint64_t(st.f_bavail) * std::uint64_t(st.f_frsize);
}

std::string PosixFileSystem::systemFolder() const
{
    return m_systemFolder;
}

std::string PosixFileSystem::musicFolder() const
{
    return m_userFolders.music;
}

std::string PosixFileSystem::homeFolder() const
{
    return m_userFolders.home;
}

bool PosixFileSystem::folderWritable(const std::string &path) const
{
    // Checked with the effective ids, as creating a file is.
    return !path.empty() && isDirectory(path) &&
           ::faccessat(AT_FDCWD, path.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

UserFolders desktopUserFolders()
{
    const auto folder = [](QStandardPaths::StandardLocation location) {
        return stripTrailingSlashes(QStandardPaths::writableLocation(location).toStdString());
    };
    return {folder(QStandardPaths::HomeLocation), folder(QStandardPaths::MusicLocation)};
}

std::unique_ptr<FileSystem> createFileSystem()
{
    auto fs = std::make_unique<PosixFileSystem>();
    fs->setUserFolders(desktopUserFolders());
    return fs;
}


PlatformDefaults platformDefaults()
{
    return {"/media/ipod/", "/", "/opt/Sondrel/"};
}

} // namespace sondrel
