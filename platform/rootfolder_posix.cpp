#include "rootfolder_posix.h"

#include "descriptor_posix.h"
#include "filesystem_posix.h"
#include "platformerror.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sondrel {

namespace {

[[noreturn]] void raise(int error, const std::string &path)
{
    throw PlatformError(error, std::string(std::strerror(error)) + ": " + path);
}

bool runAsRoot()
{
    return ::geteuid() == 0;
}

// The permissions a file placed by this process keeps of `mode`: never the set-user-ID
// and set-group-ID bits, and for root never write access for group and others, so that no
// user can change what root installed (an archive extracted with a lax umask).
mode_t placedMode(mode_t mode)
{
    return mode & (runAsRoot() ? 0755 : 0777);
}

// A folder through which root may place files: root's, and writable by no one else. One on
// the way may be writable by others when its sticky bit keeps them from renaming or
// removing root's entries (/tmp); the folder that receives the files may not.
bool rootsAlone(const struct stat &st, bool receivesFiles)
{
    if (st.st_uid != 0)
        return false;
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) == 0)
        return true;
    return !receivesFiles && (st.st_mode & S_ISVTX) != 0;
}

// The folder and the name of a path ("." for a bare name, "/" for one in the root).
std::pair<std::string, std::string> splitPath(const std::string &path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return {".", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

std::deque<std::string> components(const std::string &path)
{
    std::deque<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t slash = std::min(path.find('/', start), path.size());
        if (slash > start)
            parts.push_back(path.substr(start, slash - start));
        start = slash + 1;
    }
    return parts;
}

std::string readLink(int folder, const std::string &name, const std::string &path)
{
    std::string target(256, '\0');
    for (;;) {
        const ssize_t length = ::readlinkat(folder, name.c_str(), target.data(), target.size());
        if (length < 0)
            raise(errno, path);
        if (std::size_t(length) < target.size()) {
            target.resize(std::size_t(length));
            return target;
        }
        target.resize(target.size() * 2);
    }
}

void writeAll(int out, const char *data, std::size_t size, const std::string &path)
{
    for (std::size_t done = 0; done < size;) {
        const ssize_t put = ::write(out, data + done, size - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0)
            raise(errno, path);
        done += std::size_t(put);
    }
}

// Copies the first `size` bytes of `in` to `out`: no more, even when the file grows
// meanwhile, and a file that ends sooner is an error.
void copyExactly(int in, std::uint64_t size, int out, const std::string &source,
                 const std::string &destination)
{
    std::vector<char> buffer(std::size_t(1) << 18);
    for (std::uint64_t done = 0; done < size;) {
        const ssize_t got = ::read(
            in, buffer.data(), std::size_t(std::min<std::uint64_t>(buffer.size(), size - done)));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            raise(errno, source);
        if (got == 0)
            throw PlatformError(EIO, std::string(ShorterWhileCopied) + ": " + source);
        writeAll(out, buffer.data(), std::size_t(got), destination);
        done += std::uint64_t(got);
    }
}

// Opens the regular file `name` of the folder open at `folder` for reading, without
// blocking on a FIFO; run by root, never through a link.
Descriptor openSource(int folder, const std::string &name, const std::string &path, struct stat &st)
{
    const int noLink = runAsRoot() ? O_NOFOLLOW : 0;
    Descriptor in(::openat(folder, name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | noLink));
    if (in.get() < 0 || ::fstat(in.get(), &st) != 0)
        raise(errno, path);
    if (!S_ISREG(st.st_mode))
        raise(S_ISDIR(st.st_mode) ? EISDIR : EINVAL, path);
    return in;
}

Descriptor openFolder(const std::string &folder, int flags, const std::string &path)
{
    Descriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | flags));
    if (fd.get() < 0)
        raise(errno, path);
    return fd;
}

// Makes `name` in the folder open at `folder` as a new file of this process: created with
// O_EXCL and O_NOFOLLOW, so never an existing file nor through a link, and open to no one
// else while `fill` writes it; then, on its descriptor, owned by root when root makes it,
// given `mode` and flushed to the disk. A failure removes it and raises, naming `path`.
void makeNewFile(int folder, const std::string &name, mode_t mode, const std::string &path,
                 const std::function<void(int)> &fill)
{
    Descriptor out(
        ::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (out.get() < 0)
        raise(errno, path);
    try {
        fill(out.get());
        if ((runAsRoot() && ::fchown(out.get(), 0, 0) != 0) || ::fchmod(out.get(), mode) != 0 ||
            ::fsync(out.get()) != 0)
            raise(errno, path);
        if (const int error = out.close(); error != 0)
            raise(error, path);
    } catch (...) {
        out.close();
        ::unlinkat(folder, name.c_str(), 0);
        throw;
    }
}

class PosixRootFolder : public RootFolder
{
public:
    // `folder` is open at the folder, or while it is missing at the last folder on its
    // path that exists; `missing` holds the names below that one, `error` why they cannot
    // be made (0: they are simply not there).
    PosixRootFolder(Descriptor folder, std::string path, std::deque<std::string> missing, int error)
        : m_folder(std::move(folder)), m_path(std::move(path)), m_missing(std::move(missing)),
          m_error(error)
    {
    }

    std::string path() const override { return m_path; }

    void create() override
    {
        if (m_missing.empty())
            return;
        if (m_error != 0 || m_missing.size() > 1)
            raise(m_error != 0 ? m_error : ENOENT, m_path);
        const std::string name = m_missing.front();
        // Made closed to others and opened without following a link; only then given to root
        // with its final mode, on the descriptor.
        if (::mkdirat(m_folder.get(), name.c_str(), 0700) != 0)
            raise(errno, m_path);
        Descriptor made(::openat(m_folder.get(), name.c_str(),
                                 O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (made.get() < 0 || ::fchown(made.get(), 0, 0) != 0 || ::fchmod(made.get(), 0755) != 0)
            raise(errno, m_path);
        ::fsync(m_folder.get());
        m_folder = std::move(made);
        m_missing.clear();
    }

    void moveIn(const std::string &source, const std::string &name) const override
    {
        const std::string destination = inFolder(name);
        // The source's folder stays open until the source is removed from it.
        const auto [sourceFolder, sourceName] = splitPath(source);
        const Descriptor from = openFolder(sourceFolder, 0, source);
        struct stat st
        {
        };
        const Descriptor in = openSource(from.get(), sourceName, source, st);
        place(name, placedMode(st.st_mode), destination, [&](int out) {
            copyExactly(in.get(), std::uint64_t(st.st_size), out, source, destination);
        });
        struct stat now
        {
        };
        if (::fstatat(from.get(), sourceName.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
            now.st_dev == st.st_dev && now.st_ino == st.st_ino &&
            ::unlinkat(from.get(), sourceName.c_str(), 0) != 0)
            raise(errno, source);
    }

    void write(const std::string &name, const void *data, std::size_t size) const override
    {
        const std::string destination = inFolder(name);
        place(name, 0644, destination,
              [&](int out) { writeAll(out, static_cast<const char *>(data), size, destination); });
    }

    bool link(const std::string &name, const std::string &target) const override
    {
        const std::string destination = inFolder(name);
        struct stat there
        {
        };
        if (::fstatat(m_folder.get(), name.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0 &&
            !S_ISLNK(there.st_mode))
            return false;
        const std::string temporary = temporaryNameBeside(name, '/');
        if (::symlinkat(target.c_str(), m_folder.get(), temporary.c_str()) != 0)
            raise(errno, destination);
        if ((runAsRoot() &&
             ::fchownat(m_folder.get(), temporary.c_str(), 0, 0, AT_SYMLINK_NOFOLLOW) != 0) ||
            ::renameat(m_folder.get(), temporary.c_str(), m_folder.get(), name.c_str()) != 0) {
            const int error = errno;
            ::unlinkat(m_folder.get(), temporary.c_str(), 0);
            raise(error, destination);
        }
        ::fsync(m_folder.get());
        return true;
    }

private:
    // The path of `name` in the folder, which must exist by now.
    std::string inFolder(const std::string &name) const
    {
        if (!m_missing.empty())
            raise(m_error != 0 ? m_error : ENOENT, m_path);
        return (m_path == "/" ? m_path : m_path + "/") + name;
    }

    // The new file that `fill` writes, made under a temporary name and renamed over `name`,
    // all in the folder's descriptor; the folder's entries are then flushed.
    void place(const std::string &name, mode_t mode, const std::string &destination,
               const std::function<void(int)> &fill) const
    {
        const std::string temporary = temporaryNameBeside(name, '/');
        makeNewFile(m_folder.get(), temporary, mode, destination, fill);
        if (::renameat(m_folder.get(), temporary.c_str(), m_folder.get(), name.c_str()) != 0) {
            const int error = errno;
            ::unlinkat(m_folder.get(), temporary.c_str(), 0);
            raise(error, destination);
        }
        ::fsync(m_folder.get());
    }

    Descriptor m_folder;
    std::string m_path;
    std::deque<std::string> m_missing;
    int m_error;
};

} // namespace

RootFolderCheck openRootFolder(const std::string &path)
{
    constexpr int MaxLinks = 40;
    std::string absolute = path;
    if (absolute.empty() || absolute.front() != '/') {
        char *current = ::getcwd(nullptr, 0);
        if (!current)
            raise(errno, path);
        absolute = std::string(current) + "/" + path;
        std::free(current);
    }
    std::deque<std::string> rest = components(absolute);
    // The folders reached so far, from "/" down, each held open, and their names; no link
    // among them.
    std::vector<Descriptor> chain;
    std::vector<std::string> names;
    const auto joined = [&names](const std::string &last) {
        std::string result;
        for (const std::string &name : names)
            result += "/" + name;
        return last.empty() ? (result.empty() ? "/" : result) : result + "/" + last;
    };
    const auto refuse = [](std::string unsafe) {
        RootFolderCheck check;
        check.unsafe = std::move(unsafe);
        return check;
    };

    struct stat st
    {
    };
    chain.push_back(openFolder("/", 0, "/"));
    if (::fstat(chain.back().get(), &st) != 0)
        raise(errno, "/");
    if (!rootsAlone(st, false))
        return refuse("/");
    int links = 0;
    int error = 0;
    while (!rest.empty()) {
        const std::string name = rest.front();
        if (name == "." || name == "..") {
            rest.pop_front();
            if (name == ".." && chain.size() > 1) {
                chain.pop_back();
                names.pop_back();
            }
            continue;
        }
        const int at = chain.back().get();
        if (::fstatat(at, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT)
                raise(errno, joined(name));
            break; // missing from here on: left for create()
        }
        if (S_ISLNK(st.st_mode)) {
            // Only root's links are followed; the folders they lead to are checked in turn.
            if (st.st_uid != 0)
                return refuse(joined(name));
            if (++links > MaxLinks)
                raise(ELOOP, path);
            const std::string target = readLink(at, name, joined(name));
            if (target.empty())
                raise(ENOENT, joined(name));
            rest.pop_front();
            if (target.front() == '/') {
                chain.erase(chain.begin() + 1, chain.end());
                names.clear();
            }
            const std::deque<std::string> parts = components(target);
            rest.insert(rest.begin(), parts.begin(), parts.end());
            continue;
        }
        if (!S_ISDIR(st.st_mode)) {
            error = ENOTDIR;
            break;
        }
        // The folder itself is judged, as opened; what the name showed a moment ago may differ.
        Descriptor next(
            ::openat(at, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (next.get() < 0 || ::fstat(next.get(), &st) != 0)
            raise(errno, joined(name));
        if (!rootsAlone(st, false))
            return refuse(joined(name));
        chain.push_back(std::move(next));
        names.push_back(name);
        rest.pop_front();
    }
    std::string resolved = joined({});
    if (rest.empty()) {
        // The folder that receives the files: writable by root alone, sticky or not.
        if (::fstat(chain.back().get(), &st) != 0)
            raise(errno, resolved);
        if (!rootsAlone(st, true))
            return refuse(resolved);
    }
    for (const std::string &name : rest)
        resolved += (resolved == "/" ? "" : "/") + name;
    RootFolderCheck check;
    check.folder = std::make_unique<PosixRootFolder>(std::move(chain.back()), std::move(resolved),
                                                     std::move(rest), error);
    return check;
}

void copyIntoNewFile(const std::string &source, const std::string &destination)
{
    const int noLink = runAsRoot() ? O_NOFOLLOW : 0;
    const auto [sourceFolder, sourceName] = splitPath(source);
    const auto [folder, name] = splitPath(destination);
    struct stat st
    {
    };
    const Descriptor in =
        openSource(openFolder(sourceFolder, 0, source).get(), sourceName, source, st);
    const Descriptor into = openFolder(folder, noLink, destination);
    makeNewFile(into.get(), name, placedMode(st.st_mode), destination, [&](int out) {
        copyExactly(in.get(), std::uint64_t(st.st_size), out, source, destination);
    });
}

RootFolderCheck PosixFileSystem::rootFolder(const std::string &path) const
{
    return runAsRoot() ? openRootFolder(path) : RootFolderCheck{};
}

} // namespace sondrel
