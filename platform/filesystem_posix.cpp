#include "filesystem_posix.h"

#include "descriptor_posix.h"
#include "memory.h"
#include "openwithin_posix.h"
#include "platformerror.h"
#include "posix_files.h"
#include "rootfolder_posix.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <new>

#include <QStandardPaths>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace sondrel {

using posix::isDirectory;
using posix::raise;
using posix::stripTrailingSlashes;

namespace {

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
    std::uint64_t lost = 0; // bytes rescued as zeros
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

// Errors that tell that the drive a file is on has gone (pulled, switched off, its
// connection lost), not that one file is damaged.
bool driveGoneError(int error)
{
    return error == ENODEV || error == ENXIO || error == ENOTCONN || error == ESHUTDOWN ||
           error == ENOMEDIUM;
}

// Copies up to `size` bytes from the current offset of `in` to that of `out`, in pieces of
// at most CopyPiece bytes: in the kernel with copy_file_range, else with sendfile, else
// through a buffer (readPiece: a failed read tried again, and rescued when asked). A
// kernel call that copies nothing before `size` is reached only means that this way does
// not work here; only a plain read that finds the end stops early (the source shrank).
// Calls `progress` after each piece; when it returns false the copy stops as Cancelled.
ByteCopy copyBytes(int in, int out, std::uint64_t size, const CopyOptions &options = {})
{
    // A test's reads go through the buffer, where each one can be seen.
    enum { Range, Send, Plain } way = options.beforeRead ? Plain : Range;
    std::vector<char> buffer;
    ByteCopy result;
    // Where the plain reads and writes start: the kernel calls moved both files' offsets.
    const off_t inStart = ::lseek(in, 0, SEEK_CUR), outStart = ::lseek(out, 0, SEEK_CUR);
    const SourceRead readAt = [&](std::uint64_t offset, char *data, std::size_t want, int &error) {
        for (;;) {
            const ssize_t n = ::pread(in, data, want, std::max<off_t>(inStart, 0) + off_t(offset));
            if (n >= 0)
                return std::int64_t(n);
            if (errno != EINTR) {
                error = errno;
                return std::int64_t(-1);
            }
        }
    };
    while (result.copied < size) {
        const std::size_t want =
            std::size_t(std::min<std::uint64_t>(CopyPiece, size - result.copied));
        ssize_t n = 0;
        if (way == Range || way == Send) {
            n = way == Range ? ::copy_file_range(in, nullptr, out, nullptr, want, 0)
                             : ::sendfile(out, in, nullptr, want);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && destinationError(errno))
                return {ByteCopy::Destination, errno, result.copied, result.lost};
            if (n <= 0) {
                // Not supported, nothing copied, or an error that a plain read and
                // write will put on the right side.
                way = way == Range && (n == 0 || kernelCopyUnsupported(errno)) ? Send : Plain;
                continue;
            }
        } else {
            if (buffer.empty())
                buffer.resize(CopyPiece);
            const PieceRead piece =
                readPiece(readAt, result.copied, buffer.data(), want, options, driveGoneError);
            if (piece.cancelled)
                return {ByteCopy::Cancelled, 0, result.copied, result.lost};
            if (piece.error != 0)
                return {ByteCopy::Source, piece.error, result.copied, result.lost};
            if (piece.bytes == 0)
                break;
            n = ssize_t(piece.bytes);
            result.lost += piece.lost;
            for (std::size_t done = 0; done < std::size_t(n);) {
                const ssize_t put =
                    ::pwrite(out, buffer.data() + done, std::size_t(n) - done,
                             std::max<off_t>(outStart, 0) + off_t(result.copied + done));
                if (put < 0) {
                    if (errno == EINTR)
                        continue;
                    return {ByteCopy::Destination, errno, result.copied, result.lost};
                }
                done += std::size_t(put);
            }
            if (piece.bytes < want) { // the source ends here
                result.copied += std::uint64_t(n);
                break;
            }
        }
        result.copied += std::uint64_t(n);
        if (options.progress && !options.progress(result.copied)) {
            result.side = ByteCopy::Cancelled;
            return result;
        }
    }
    return result;
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

// Flushes the entries of the folder of `path`.
void flushFolderOf(const std::string &path)
{
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : path.substr(0, slash);
    Descriptor entries(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (entries.get() >= 0)
        ::fsync(entries.get());
}

// Renames `from` to `to`, over a file there when `replace`, else only onto a free name
// (EEXIST when it is taken). Returns 0 or the rename's error number.
int renameInto(const std::string &from, const std::string &to, bool replace, int folder = AT_FDCWD)
{
    int done = replace ? ::renameat(folder, from.c_str(), folder, to.c_str())
                       : ::renameat2(folder, from.c_str(), folder, to.c_str(), RENAME_NOREPLACE);
    if (done != 0 && !replace && (errno == EINVAL || errno == ENOSYS)) {
        // A file system without RENAME_NOREPLACE (some FUSE and network ones): looked at
        // first, which leaves a moment in which another program may make the name.
        struct stat st
        {
        };
        if (::fstatat(folder, to.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
            return EEXIST;
        done = ::renameat(folder, from.c_str(), folder, to.c_str());
    }
    return done != 0 ? errno : 0;
}

// The folder a staged copy of a held folder lives in: its descriptor, shared with the held
// folder, and the owner its new files take (when run as root into another user's folder).
struct StagingFolder
{
    std::shared_ptr<const Descriptor> fd;
    std::optional<std::pair<uid_t, gid_t>> owner;

    int get() const { return fd ? fd->get() : AT_FDCWD; }
    // Gives a file or folder made here the folder's owner and group; true when it has them.
    bool own(int made) const { return !owner || ::fchown(made, owner->first, owner->second) == 0; }
};

// The last name of a path.
std::string lastName(const std::string &path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Renames `from` over `to` and flushes the folder's entries, where the rename lives.
// Returns 0 or the rename's error number.
int renameOver(const std::string &from, const std::string &to)
{
    const int error = renameInto(from, to, true);
    if (error == 0)
        flushFolderOf(to);
    return error;
}

// The temporary file of a staged copy: open until its flush, then closed until renamed.
class PosixStagedCopy : public StagedCopy
{
public:
    // In a held folder `folder` the temporary file and every rename are relative to it, by
    // their last names; otherwise they are paths.
    PosixStagedCopy(int fd, std::string temporary, std::string destination,
                    StagingFolder folder = {})
        : m_out(fd), m_temporary(std::move(temporary)), m_destination(std::move(destination)),
          m_folder(std::move(folder)),
          m_temporaryName(m_folder.fd ? lastName(m_temporary) : m_temporary)
    {
    }
    ~PosixStagedCopy() override
    {
        if (!m_renamed && (m_out.get() >= 0 || m_flushed)) {
            m_out.close();
            removeTemporary();
        }
    }

    int fd() const { return m_out.get(); }
    void setBytes(std::uint64_t bytes) { m_bytes = bytes; }
    void setSourceTime(const struct timespec &time) { m_sourceTime = time; }

    const std::string &temporaryPath() const override { return m_temporary; }
    const std::string &destination() const override { return m_destination; }
    void flushFolder() override
    {
        if (m_folder.fd)
            ::fsync(m_folder.get());
        else
            flushFolderOf(m_temporary);
    }
    void removeTemporary() { ::unlinkat(m_folder.get(), m_temporaryName.c_str(), 0); }

    std::size_t readAt(std::uint64_t offset, void *data, std::size_t size) override
    {
        std::size_t done = 0;
        while (done < size) {
            const ssize_t got = ::pread(m_out.get(), static_cast<char *>(data) + done, size - done,
                                        off_t(offset + done));
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                raise(errno, m_temporary);
            if (got == 0)
                break;
            done += std::size_t(got);
        }
        return done;
    }
    void writeAt(std::uint64_t offset, const void *data, std::size_t size) override
    {
        for (std::size_t done = 0; done < size;) {
            const ssize_t put = ::pwrite(m_out.get(), static_cast<const char *>(data) + done,
                                         size - done, off_t(offset + done));
            if (put < 0 && errno == EINTR)
                continue;
            if (put < 0)
                raise(errno, m_temporary);
            done += std::size_t(put);
        }
    }
    void resize(std::uint64_t size) override
    {
        if (::ftruncate(m_out.get(), off_t(size)) != 0)
            raise(errno, m_temporary);
    }
    std::uint64_t size() override
    {
        struct stat st
        {
        };
        if (::fstat(m_out.get(), &st) != 0)
            raise(errno, m_temporary);
        return std::uint64_t(st.st_size);
    }

    CopyResult flush(CopyTime time) override
    {
        int error = 0;
        if (time == CopyTime::FromSource) {
            const struct timespec times[2] = {{0, UTIME_OMIT}, m_sourceTime};
            if (::futimens(m_out.get(), times) != 0)
                error = errno;
        }
        struct stat st
        {
        };
        if (error == 0 && ::fstat(m_out.get(), &st) != 0)
            error = errno;
        if (error == 0 && ::fsync(m_out.get()) != 0)
            error = errno;
        const int closed = m_out.close();
        if (error == 0)
            error = closed;
        if (error != 0) {
            removeTemporary();
            return copyFailure(error == EFBIG ? CopyOutcome::TooLarge
                                              : CopyOutcome::DestinationFailed,
                               error, m_destination, m_bytes);
        }
        m_flushed = true;
        CopyResult result;
        result.bytes = std::uint64_t(st.st_size);
        result.sourceModified = posix::nanoseconds(m_sourceTime);
        result.modified = posix::nanoseconds(st.st_mtim);
        return result;
    }

    CopyResult rename(const std::string &destination, bool replace) override
    {
        const std::string to = m_folder.fd ? lastName(destination) : destination;
        if (replace && m_folder.fd) {
            // Only a file of ours is replaced: a link, a folder or a file with other names
            // at the name is someone else's, and the copy takes another name.
            struct stat there
            {
            };
            if (::fstatat(m_folder.get(), to.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0 &&
                (!S_ISREG(there.st_mode) || there.st_nlink != 1))
                return copyFailure(CopyOutcome::NameTaken, EEXIST, destination, m_bytes);
        }
        const int error = renameInto(m_temporaryName, to, replace, m_folder.get());
        if (error == 0) {
            m_renamed = true;
            CopyResult result;
            result.bytes = m_bytes;
            return result;
        }
        if (error == EEXIST && !replace)
            return copyFailure(CopyOutcome::NameTaken, error, destination, m_bytes);
        removeTemporary();
        m_renamed = true; // nothing is left to remove
        return copyFailure(nameError(error) ? CopyOutcome::NameRefused
                                            : CopyOutcome::DestinationFailed,
                           error, destination, m_bytes);
    }

private:
    Descriptor m_out;
    std::string m_temporary;
    std::string m_destination;
    StagingFolder m_folder;
    std::string m_temporaryName;
    std::uint64_t m_bytes = 0;
    struct timespec m_sourceTime
    {
    };
    bool m_flushed = false;
    bool m_renamed = false;
};

} // namespace

bool PosixFileSystem::fileExists(const std::string &path) const
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool PosixFileSystem::folderExists(const std::string &path) const
{
    return !path.empty() && isDirectory(path);
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

namespace {

// The temporary file of a copy to `destination`, made new (in `folder` when it is held, by
// its last name, and given the folder's owner); -1 with errno on failure.
int openTemporary(const StagingFolder &folder, const std::string &temporary)
{
    const int fd =
        ::openat(folder.get(), folder.fd ? lastName(temporary).c_str() : temporary.c_str(),
                 O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0 && !folder.own(fd)) {
        const int error = errno;
        ::close(fd);
        ::unlinkat(folder.get(), folder.fd ? lastName(temporary).c_str() : temporary.c_str(), 0);
        errno = error;
        return -1;
    }
    return fd;
}

Staging stageCopyIn(const StagingFolder &folder, const std::string &source,
                    const std::string &destination, const CopyOptions &options)
{
    const auto failed = [](CopyOutcome outcome, int error, const std::string &path,
                           std::uint64_t bytes = 0) {
        return Staging{copyFailure(outcome, error, path, bytes), nullptr};
    };
    Descriptor in;
    struct stat st
    {
    };
    if (!options.within.empty()) {
        // Reached from the player's folder without leaving it, or not at all.
        posix::OpenedWithin opened = posix::openWithin(options.within, source);
        using End = posix::OpenedWithin::End;
        switch (opened.end) {
        case End::Opened:
            break;
        case End::LeadsOut: {
            Staging out = failed(CopyOutcome::OutsideFolder, 0, source);
            out.result.message = LinkOutOfFolder;
            return out;
        }
        case End::NotRegular:
            return failed(CopyOutcome::SourceNotRegular, 0, source);
        case End::Missing:
            return failed(CopyOutcome::SourceMissing, opened.error, source);
        case End::Failed:
            return failed(driveGoneError(opened.error) ? CopyOutcome::SourceGone
                                                       : CopyOutcome::SourceUnreadable,
                          opened.error, source);
        }
        in = std::move(opened.fd);
        st = opened.status;
    } else {
        // Without blocking: a FIFO with no writer would otherwise hold the open forever.
        // A link to a device is not even opened (opening some has effects of its own); the
        // opened file is judged again below, as it may have changed in between.
        struct stat before
        {
        };
        if (::stat(source.c_str(), &before) == 0 && !S_ISREG(before.st_mode))
            return failed(CopyOutcome::SourceNotRegular, 0, source);
        in = Descriptor(::open(source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        if (in.get() < 0) {
            const int error = errno;
            const bool missing = error == ENOENT || error == ENOTDIR;
            return failed(missing                 ? CopyOutcome::SourceMissing
                          : driveGoneError(error) ? CopyOutcome::SourceGone
                                                  : CopyOutcome::SourceUnreadable,
                          error, source);
        }
        if (::fstat(in.get(), &st) != 0)
            return failed(CopyOutcome::SourceUnreadable, errno, source);
        if (!S_ISREG(st.st_mode))
            return failed(CopyOutcome::SourceNotRegular, 0, source);
        const int flags = ::fcntl(in.get(), F_GETFL);
        if (flags >= 0)
            ::fcntl(in.get(), F_SETFL, flags & ~O_NONBLOCK);
    }
    struct stat there
    {
    };
    if (::fstatat(folder.get(), folder.fd ? lastName(destination).c_str() : destination.c_str(),
                  &there, folder.fd ? AT_SYMLINK_NOFOLLOW : 0) == 0 &&
        there.st_dev == st.st_dev && there.st_ino == st.st_ino)
        return failed(CopyOutcome::SameFile, 0, destination);
    ::posix_fadvise(in.get(), 0, 0, POSIX_FADV_SEQUENTIAL);

    const std::string temporary = temporaryNameBeside(destination, '/');
    auto staged = std::make_unique<PosixStagedCopy>(openTemporary(folder, temporary), temporary,
                                                    destination, folder);
    if (staged->fd() < 0) {
        // The folder is missing or read-only, the disk full: the destination's side. A too
        // long folder path is no fault of the file's name.
        return failed(CopyOutcome::DestinationFailed, errno, destination);
    }
    const ByteCopy copy =
        copyBytes(in.get(), staged->fd(), std::uint64_t(std::max<off_t>(st.st_size, 0)), options);
    switch (copy.side) {
    case ByteCopy::Cancelled:
        return failed(CopyOutcome::Cancelled, 0, destination, copy.copied);
    case ByteCopy::Source:
        return failed(driveGoneError(copy.error) ? CopyOutcome::SourceGone
                                                 : CopyOutcome::SourceUnreadable,
                      copy.error, source, copy.copied);
    case ByteCopy::Destination:
        return failed(copy.error == EFBIG ? CopyOutcome::TooLarge : CopyOutcome::DestinationFailed,
                      copy.error, destination, copy.copied);
    case ByteCopy::Done:
        break;
    }
    if (copy.copied < std::uint64_t(std::max<off_t>(st.st_size, 0)))
        return shorter(source, copy.copied);
    staged->setBytes(copy.copied);
    staged->setSourceTime(st.st_mtim);
    Staging staging;
    staging.result.bytes = copy.copied;
    staging.result.lost = copy.lost;
    staging.result.sourceModified = posix::nanoseconds(st.st_mtim);
    staging.copy = std::move(staged);
    return staging;
}

Staging stageBytesIn(const StagingFolder &folder, const std::string &destination, const void *data,
                     std::size_t size)
{
    const std::string temporary = temporaryNameBeside(destination, '/');
    auto staged = std::make_unique<PosixStagedCopy>(openTemporary(folder, temporary), temporary,
                                                    destination, folder);
    if (staged->fd() < 0)
        return Staging{copyFailure(CopyOutcome::DestinationFailed, errno, destination), nullptr};
    const char *p = static_cast<const char *>(data);
    for (std::size_t done = 0; done < size;) {
        const ssize_t put = ::write(staged->fd(), p + done, size - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0) // the staged copy removes its temporary file as it goes
            return Staging{
                copyFailure(errno == EFBIG ? CopyOutcome::TooLarge : CopyOutcome::DestinationFailed,
                            errno, destination, done),
                nullptr};
        done += std::size_t(put);
    }
    staged->setBytes(size);
    Staging staging;
    staging.result.bytes = size;
    staging.copy = std::move(staged);
    return staging;
}

} // namespace

Staging PosixFileSystem::stageCopy(const std::string &source, const std::string &destination,
                                   const CopyOptions &options) const
{
    return stageCopyIn({}, source, destination, options);
}

Staging PosixFileSystem::stageBytes(const std::string &destination, const void *data,
                                    std::size_t size) const
{
    return stageBytesIn({}, destination, data, size);
}

void PosixFileSystem::replaceFile(const std::string &from, const std::string &to) const
{
    if (const int error = renameOver(from, to); error != 0)
        raise(error, to);
}

namespace {

// Reads into `bytes` from `offset` of the open file `fd` (of `path`) until it is full or the
// file ends, and keeps what was read; raises on a failed read.
void readAt(int fd, std::vector<std::uint8_t> &bytes, std::uint64_t offset, const std::string &path)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got =
            ::pread(fd, bytes.data() + done, bytes.size() - done, off_t(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            raise(errno, path);
        if (got == 0)
            break;
        done += std::size_t(got);
    }
    bytes.resize(done);
}

// Raises the failure of a file that is a folder, FIFO, socket or device, never read.
[[noreturn]] void raiseNotRegular(const struct stat &st, const std::string &path)
{
    throw PlatformError(S_ISDIR(st.st_mode) ? EISDIR : EINVAL, "not a regular file: " + path);
}

// Opens a regular file for reading and gives its status; raises on failure. Opened without
// blocking and looked at first: a FIFO at the path is refused, never waited on.
int openForReading(const std::string &path, struct stat &st)
{
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0)
        raise(errno, path);
    if (::fstat(fd.get(), &st) != 0)
        raise(errno, path);
    if (!S_ISREG(st.st_mode))
        raiseNotRegular(st, path);
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags >= 0)
        ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
    return fd.release();
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
    struct stat stA
    {
    }, stB{};
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
    struct stat st
    {
    };
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

namespace {

// The entries of a folder; with `kinds`, whether each is a folder (links and file systems
// that do not tell the type are looked at).
std::vector<FolderEntry> readFolder(const std::string &path, bool kinds)
{
    ::DIR *dir = ::opendir(path.empty() ? "." : path.c_str());
    if (!dir)
        raise(errno, path);
    const std::string base = path.empty() || path.back() == '/' ? path : path + '/';
    std::vector<FolderEntry> entries;
    errno = 0;
    while (const dirent *entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            const bool folder =
                kinds && (entry->d_type == DT_DIR ||
                          ((entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) &&
                           isDirectory(base + name)));
            entries.push_back({name, folder});
        }
        errno = 0;
    }
    const int error = errno;
    ::closedir(dir);
    if (error != 0)
        raise(error, path);
    return entries;
}

} // namespace

std::vector<std::string> PosixFileSystem::listFolder(const std::string &path) const
{
    std::vector<std::string> names;
    for (FolderEntry &entry : readFolder(path, false))
        names.push_back(std::move(entry.name));
    return names;
}

std::vector<FolderEntry> PosixFileSystem::listEntries(const std::string &path) const
{
    return readFolder(path, true);
}

std::optional<FileStatus> PosixFileSystem::status(const std::string &path) const
{
    struct stat st
    {
    };
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    FileStatus status;
    status.kind = S_ISREG(st.st_mode)   ? FileStatus::Kind::File
                  : S_ISDIR(st.st_mode) ? FileStatus::Kind::Folder
                                        : FileStatus::Kind::Other;
    status.size = std::uint64_t(std::max<off_t>(st.st_size, 0));
    status.modified = posix::nanoseconds(st.st_mtim);
    return status;
}

namespace {

class PosixLockedFile : public LockedFile
{
public:
    using Stager = std::function<Staging(const void *, std::size_t)>;

    PosixLockedFile(int fd, std::string path, bool created, Stager stage)
        : m_fd(fd), m_path(std::move(path)), m_created(created), m_stage(std::move(stage))
    {
    }

    bool created() const override { return m_created; }

    std::vector<std::uint8_t> read() override
    {
        struct stat st
        {
        };
        if (::fstat(m_fd.get(), &st) != 0)
            raise(errno, m_path);
        std::vector<std::uint8_t> bytes(std::size_t(std::max<off_t>(st.st_size, 0)));
        readAt(m_fd.get(), bytes, 0, m_path);
        return bytes;
    }

    void append(const void *data, std::size_t size) override
    {
        const char *p = static_cast<const char *>(data);
        for (std::size_t done = 0; done < size;) {
            const ssize_t put = ::write(m_fd.get(), p + done, size - done);
            if (put < 0 && errno == EINTR)
                continue;
            if (put < 0)
                raise(errno, m_path);
            done += std::size_t(put);
        }
    }

    void flush() override
    {
        if (::fdatasync(m_fd.get()) != 0)
            raise(errno, m_path);
    }

    void replace(const void *data, std::size_t size) override
    {
        // Renamed over while the lock is held: a run that opens the name afterwards finds
        // the new file; the lock on the old one ends as the object closes it.
        Staging staging = m_stage(data, size);
        CopyResult result = staging.copy ? staging.copy->place() : staging.result;
        m_fd.close();
        if (!result.copied())
            raise(result.error, m_path);
    }

private:
    Descriptor m_fd;
    std::string m_path;
    bool m_created;
    Stager m_stage;
};

} // namespace

std::unique_ptr<LockedFile> PosixFileSystem::lockFile(const std::string &path) const
{
    // The file at the path may be replaced by its holder (a rewrite through a temporary
    // file) between the open and the lock: then the lock is on a file that no longer has
    // the name, and the name is opened again.
    for (int attempt = 0; attempt < 10; ++attempt) {
        bool created = false;
        int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CLOEXEC);
        if (fd < 0 && errno == ENOENT) {
            fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            created = fd >= 0;
            if (fd < 0 && errno == EEXIST)
                continue;
        }
        if (fd < 0)
            raise(errno, path);
        Descriptor open(fd);
        struct stat st
        {
        };
        if (::fstat(fd, &st) != 0)
            raise(errno, path);
        if (!S_ISREG(st.st_mode))
            raise(EISDIR, path);
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno == EWOULDBLOCK)
                return nullptr;
            raise(errno, path);
        }
        struct stat named
        {
        };
        if (::stat(path.c_str(), &named) != 0 || named.st_dev != st.st_dev ||
            named.st_ino != st.st_ino)
            continue;
        return std::make_unique<PosixLockedFile>(open.release(), path, created,
                                                 [this, path](const void *data, std::size_t size) {
                                                     return stageBytes(path, data, size);
                                                 });
    }
    raise(EAGAIN, path);
}

namespace {

// The whole of the open file `fd` (of `path`, with the status `st`), which it closes.
std::vector<std::uint8_t> readOpened(int fd, const struct stat &st, const std::string &path)
{
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

// The regular file at `path` in `folder`, opened for reading, or PlatformError.
posix::OpenedWithin openRegularWithin(const std::string &folder, const std::string &path)
{
    posix::OpenedWithin opened = posix::openWithin(folder, path);
    using End = posix::OpenedWithin::End;
    switch (opened.end) {
    case End::Opened:
        break;
    case End::LeadsOut:
        throw PlatformError(EXDEV, std::string(LinkOutOfFolder) + ": " + path);
    case End::NotRegular:
        throw PlatformError(EINVAL, "not a regular file: " + path);
    case End::Missing:
    case End::Failed:
        raise(opened.error, path);
    }
    return opened;
}

} // namespace

std::vector<std::uint8_t> PosixFileSystem::readFile(const std::string &path) const
{
    struct stat st
    {
    };
    const int fd = openForReading(path, st);
    return readOpened(fd, st, path);
}

std::vector<std::uint8_t> PosixFileSystem::readFileWithin(const std::string &folder,
                                                          const std::string &path) const
{
    posix::OpenedWithin opened = openRegularWithin(folder, path);
    return readOpened(opened.fd.release(), opened.status, path);
}

std::vector<std::uint8_t> PosixFileSystem::readFilePart(const std::string &folder,
                                                        const std::string &path,
                                                        std::uint64_t offset,
                                                        std::size_t size) const
{
    posix::OpenedWithin opened = openRegularWithin(folder, path);
    const int fd = opened.fd.get();
    const std::uint64_t length = std::uint64_t(std::max<off_t>(opened.status.st_size, 0));
    std::vector<std::uint8_t> bytes;
    if (offset >= length)
        return bytes;
    try {
        bytes.resize(std::size_t(std::min<std::uint64_t>(size, length - offset)));
    } catch (const std::bad_alloc &) {
        raise(ENOMEM, path);
    }
    readAt(fd, bytes, offset, path);
    return bytes;
}

NewFile PosixFileSystem::createNewFile(const std::string &path) const
{
    // O_EXCL refuses any name that is taken, a link too (O_NOFOLLOW says so outright).
    Descriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (fd.get() < 0 && errno == EEXIST)
        return {};
    if (fd.get() < 0)
        raise(errno, path);
    struct stat st
    {
    };
    if (::fstat(fd.get(), &st) != 0)
        raise(errno, path);
    NewFile made;
    made.identity = {std::uint64_t(st.st_dev), std::uint64_t(st.st_ino)};
    made.file = std::make_unique<PosixOutputFile>(fd.release(), path);
    return made;
}

std::unique_ptr<OutputFile> PosixFileSystem::createFile(const std::string &path) const
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        raise(errno, path);
    return std::make_unique<PosixOutputFile>(fd, path);
}

namespace {

// A folder held by its descriptor; every name is looked up relative to it, no link followed.
class PosixHeldFolder : public HeldFolder
{
public:
    PosixHeldFolder(int fd, std::string path, std::optional<std::pair<uid_t, gid_t>> owner)
        : m_path(std::move(path))
    {
        m_folder.fd = std::make_shared<const Descriptor>(fd);
        m_folder.owner = owner;
        if (m_path.empty() || m_path.back() != '/')
            m_path += '/';
    }

    const std::string &path() const override { return m_path; }

    std::unique_ptr<HeldFolder> folder(const std::string &name) const override
    {
        const int fd =
            ::openat(m_folder.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            return nullptr;
        return std::make_unique<PosixHeldFolder>(fd, m_path + name, m_folder.owner);
    }

    std::unique_ptr<HeldFolder> makeFolder(const std::string &name) const override
    {
        const bool made = ::mkdirat(m_folder.get(), name.c_str(), 0777) == 0;
        if (!made && errno != EEXIST)
            raise(errno, m_path + name);
        std::unique_ptr<HeldFolder> held = folder(name);
        if (!held) // a link or a file at the name, or a folder that cannot be opened
            raise(made ? errno : EEXIST, m_path + name);
        if (made && !static_cast<PosixHeldFolder &>(*held).m_folder.own(
                        static_cast<PosixHeldFolder &>(*held).m_folder.get()))
            raise(errno, m_path + name);
        return held;
    }

    std::vector<FolderEntry> entries() const override
    {
        // A descriptor of its own: the listing moves its offset.
        const int fd = ::openat(m_folder.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            raise(errno, m_path);
        ::DIR *dir = ::fdopendir(fd);
        if (!dir) {
            const int error = errno;
            ::close(fd);
            raise(error, m_path);
        }
        std::vector<FolderEntry> entries;
        errno = 0;
        while (const dirent *entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") {
                struct stat st
                {
                };
                const bool folder = entry->d_type == DT_DIR ||
                                    (entry->d_type == DT_UNKNOWN &&
                                     ::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                                     S_ISDIR(st.st_mode));
                entries.push_back({name, folder});
            }
            errno = 0;
        }
        const int error = errno;
        ::closedir(dir);
        if (error != 0)
            raise(error, m_path);
        return entries;
    }

    std::optional<FileStatus> status(const std::string &name) const override
    {
        struct stat st
        {
        };
        if (name.empty() || ::fstatat(m_folder.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return std::nullopt;
        return statusOf(st);
    }

    std::optional<FileIdentity> identity(const std::string &name) const override
    {
        struct stat st
        {
        };
        if (name.empty() || ::fstatat(m_folder.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return std::nullopt;
        return FileIdentity{std::uint64_t(st.st_dev), std::uint64_t(st.st_ino)};
    }

    bool sameContents(const std::string &source, const std::string &name) const override
    {
        Descriptor here = openFile(name, O_RDONLY);
        if (here.get() < 0)
            return false;
        struct stat stA
        {
        };
        Descriptor there(::open(source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        if (there.get() < 0 || ::fstat(there.get(), &stA) != 0)
            raise(errno, source);
        if (!S_ISREG(stA.st_mode))
            return false;
        struct stat stB
        {
        };
        ::fstat(here.get(), &stB);
        bool same = stA.st_size == stB.st_size;
        std::vector<char> bufferA(1 << 16), bufferB(1 << 16);
        while (same) {
            const std::size_t gotA = readFully(there.get(), bufferA.data(), bufferA.size(), source);
            const std::size_t gotB =
                readFully(here.get(), bufferB.data(), bufferB.size(), m_path + name);
            same = gotA == gotB && std::memcmp(bufferA.data(), bufferB.data(), gotA) == 0;
            if (gotA < bufferA.size())
                break;
        }
        return same;
    }

    std::vector<std::uint8_t> readFile(const std::string &name) const override
    {
        Descriptor in = openFile(name, O_RDONLY);
        if (in.get() < 0)
            raise(errno, m_path + name);
        struct stat st
        {
        };
        ::fstat(in.get(), &st);
        std::vector<std::uint8_t> bytes(std::size_t(std::max<off_t>(st.st_size, 0)));
        bytes.resize(readFully(in.get(), reinterpret_cast<char *>(bytes.data()), bytes.size(),
                               m_path + name));
        return bytes;
    }

    Staging stageCopy(const std::string &source, const std::string &name,
                      const CopyOptions &options) const override
    {
        return stageCopyIn(m_folder, source, m_path + name, options);
    }

    Staging stageBytes(const std::string &name, const void *data, std::size_t size) const override
    {
        return stageBytesIn(m_folder, m_path + name, data, size);
    }

    bool removeFile(const std::string &name,
                    const std::function<bool(const FileStatus &)> &expected) const override
    {
        Descriptor file = openFile(name, O_RDONLY);
        struct stat st
        {
        }, named{};
        if (file.get() < 0 || ::fstat(file.get(), &st) != 0 || !expected(statusOf(st)))
            return false;
        // Still the file that was looked at (not swapped for another since).
        if (::fstatat(m_folder.get(), name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
            named.st_dev != st.st_dev || named.st_ino != st.st_ino)
            return false;
        if (::unlinkat(m_folder.get(), name.c_str(), 0) != 0)
            raise(errno, m_path + name);
        return true;
    }

    std::unique_ptr<LockedFile> lockFile(const std::string &name) const override
    {
        const std::string path = m_path + name;
        for (int attempt = 0; attempt < 10; ++attempt) {
            bool created = false;
            Descriptor open = openFile(name, O_RDWR | O_APPEND);
            if (open.get() < 0 && errno == ENOENT) {
                open = Descriptor(
                    ::openat(m_folder.get(), name.c_str(),
                             O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
                created = open.get() >= 0;
                if (!created && errno == EEXIST)
                    continue;
                if (created && !m_folder.own(open.get()))
                    raise(errno, path);
            }
            if (open.get() < 0)
                raise(errno, path);
            if (::flock(open.get(), LOCK_EX | LOCK_NB) != 0) {
                if (errno == EWOULDBLOCK)
                    return nullptr;
                raise(errno, path);
            }
            struct stat st
            {
            }, named{};
            if (::fstat(open.get(), &st) != 0 ||
                ::fstatat(m_folder.get(), name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
                named.st_dev != st.st_dev || named.st_ino != st.st_ino)
                continue;
            const StagingFolder folder = m_folder;
            return std::make_unique<PosixLockedFile>(
                open.release(), path, created, [folder, path](const void *data, std::size_t size) {
                    return stageBytesIn(folder, path, data, size);
                });
        }
        raise(EAGAIN, path);
    }

private:
    static FileStatus statusOf(const struct stat &st)
    {
        FileStatus status;
        status.kind = S_ISREG(st.st_mode) && st.st_nlink == 1 ? FileStatus::Kind::File
                      : S_ISDIR(st.st_mode)                   ? FileStatus::Kind::Folder
                                                              : FileStatus::Kind::Other;
        status.size = std::uint64_t(std::max<off_t>(st.st_size, 0));
        status.modified = posix::nanoseconds(st.st_mtim);
        return status;
    }

    // The file `name`, opened without following a link and without blocking (a FIFO would
    // hold the open), and kept only when it is a regular file with one link; an invalid
    // descriptor with errno set otherwise.
    Descriptor openFile(const std::string &name, int flags) const
    {
        Descriptor fd(
            ::openat(m_folder.get(), name.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (fd.get() < 0)
            return fd;
        struct stat st
        {
        };
        if (::fstat(fd.get(), &st) != 0)
            return Descriptor();
        if (!S_ISREG(st.st_mode) || st.st_nlink != 1) {
            errno = S_ISDIR(st.st_mode) ? EISDIR : S_ISREG(st.st_mode) ? EMLINK : EINVAL;
            return Descriptor();
        }
        const int open = ::fcntl(fd.get(), F_GETFL);
        if (open >= 0)
            ::fcntl(fd.get(), F_SETFL, open & ~O_NONBLOCK);
        return fd;
    }

    std::string m_path;
    StagingFolder m_folder;
};

} // namespace

std::unique_ptr<HeldFolder> PosixFileSystem::holdFolder(const std::string &path) const
{
    const int fd = ::open(path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        raise(errno, path);
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        raise(error, path);
    }
    // Root writing into another user's folder makes what the user can edit and remove.
    std::optional<std::pair<uid_t, gid_t>> owner;
    if (::geteuid() == 0 && st.st_uid != 0)
        owner = std::make_pair(st.st_uid, st.st_gid);
    return std::make_unique<PosixHeldFolder>(fd, path, owner);
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
