#include "openwithin_posix.h"

#include "posix_files.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace sondrel::posix {

namespace {

// The most links one path may pass through, as the kernel allows.
constexpr int MaxLinks = 40;

using End = OpenedWithin::End;

OpenedWithin ended(End end, int error = 0)
{
    OpenedWithin result;
    result.end = end;
    result.error = error;
    return result;
}

OpenedWithin failedWith(int error)
{
    return ended(error == ENOENT || error == ENOTDIR ? End::Missing : End::Failed, error);
}

// Adds the names of `path` to `pending`, whose last entry is walked next.
void pushNames(std::vector<std::string> &pending, const std::string &path)
{
    std::vector<std::string> names;
    std::size_t from = 0;
    while (from <= path.size()) {
        const std::size_t slash = path.find('/', from);
        const std::size_t to = slash == std::string::npos ? path.size() : slash;
        if (to > from)
            names.push_back(path.substr(from, to - from));
        from = to + 1;
    }
    pending.insert(pending.end(), names.rbegin(), names.rend());
}

// Where the walk ended: the held folder that holds the file, and the file's name in it,
// which was no link when it was looked at.
struct Walked
{
    Descriptor folder;
    std::string name;
};

// Walks `relative` from the held folder `root` (whose path is `rootPath`), name by name,
// each folder opened without following a link from the one before; links are read and
// their targets walked in their place.
OpenedWithin walk(int root, const std::string &rootPath, const std::string &relative,
                  Walked &walked)
{
    std::vector<Descriptor> held; // the folders below `root` on the way, the current last
    const auto current = [&] { return held.empty() ? root : held.back().get(); };
    std::vector<std::string> pending;
    pushNames(pending, relative);
    std::string realRoot; // found when an absolute link asks for it
    int links = 0;
    while (!pending.empty()) {
        std::string name = std::move(pending.back());
        pending.pop_back();
        if (name == ".")
            continue;
        if (name == "..") {
            if (held.empty())
                return ended(End::LeadsOut);
            held.pop_back();
            continue;
        }
        struct stat st
        {
        };
        if (::fstatat(current(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return failedWith(errno);
        if (S_ISLNK(st.st_mode)) {
            if (++links > MaxLinks)
                return failedWith(ELOOP);
            std::vector<char> target(std::size_t(PATH_MAX) + 1);
            const ssize_t length =
                ::readlinkat(current(), name.c_str(), target.data(), target.size());
            if (length < 0)
                return failedWith(errno);
            if (length == 0 || std::size_t(length) >= target.size())
                return failedWith(length == 0 ? ENOENT : ENAMETOOLONG);
            std::string to(target.data(), std::size_t(length));
            if (to.front() == '/') {
                // Absolute: only a path that names the folder itself, or lies below it.
                if (realRoot.empty()) {
                    char *real = ::realpath(rootPath.c_str(), nullptr);
                    if (!real)
                        return failedWith(errno);
                    realRoot = real;
                    std::free(real);
                }
                const std::string prefix = realRoot == "/" ? realRoot : realRoot + '/';
                if (to != realRoot && to.compare(0, prefix.size(), prefix) != 0)
                    return ended(End::LeadsOut);
                to.erase(0, std::min(to.size(), prefix.size()));
                held.clear();
            }
            pushNames(pending, to);
            continue;
        }
        if (pending.empty()) {
            walked.folder = Descriptor(held.empty() ? ::fcntl(root, F_DUPFD_CLOEXEC, 0)
                                                    : held.back().release());
            if (walked.folder.get() < 0)
                return failedWith(errno);
            walked.name = std::move(name);
            return ended(End::Opened);
        }
        if (!S_ISDIR(st.st_mode))
            return failedWith(ENOTDIR);
        Descriptor next(
            ::openat(current(), name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (next.get() < 0)
            return failedWith(errno);
        held.push_back(std::move(next));
    }
    return ended(End::NotRegular); // the path ends on a folder
}

// openat2 relative to `root`, never leaving it; -1 with errno on failure.
int openBeneath(int root, const std::string &relative, int flags)
{
    open_how how{};
    how.flags = std::uint64_t(flags | O_CLOEXEC);
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    for (;;) {
        const long fd = ::syscall(SYS_openat2, root, relative.c_str(), &how, sizeof how);
        if (fd < 0 && errno == EINTR)
            continue;
        return int(fd);
    }
}

// The regular file opened for reading, its status taken from the open file; the descriptor
// made blocking again, as a regular file reads the same either way.
OpenedWithin opened(Descriptor fd)
{
    OpenedWithin result;
    if (fd.get() < 0)
        return failedWith(errno);
    if (::fstat(fd.get(), &result.status) != 0)
        return failedWith(errno);
    if (!S_ISREG(result.status.st_mode))
        return ended(End::NotRegular);
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags >= 0)
        ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
    result.end = End::Opened;
    result.fd = std::move(fd);
    return result;
}

} // namespace

OpenedWithin openWithin(const std::string &folder, const std::string &path, Resolve resolve)
{
    const std::string root = stripTrailingSlashes(folder);
    const std::string prefix = root == "/" ? root : root + '/';
    if (root.empty() || path.compare(0, prefix.size(), prefix) != 0)
        return ended(End::LeadsOut);
    const std::string relative = path.substr(prefix.size());
    if (relative.empty())
        return ended(End::NotRegular);
    Descriptor held(::open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (held.get() < 0)
        return failedWith(errno);

    // Looked at without opening it (opening a device may have effects of its own), then
    // opened without blocking (a FIFO with no writer would hold the open forever).
    Descriptor look(resolve == Resolve::Kernel ? openBeneath(held.get(), relative, O_PATH) : -1);
    if (resolve == Resolve::Walk)
        errno = ENOSYS;
    if (look.get() >= 0) {
        struct stat st
        {
        };
        if (::fstat(look.get(), &st) != 0)
            return failedWith(errno);
        if (!S_ISREG(st.st_mode))
            return ended(End::NotRegular);
        return opened(Descriptor(openBeneath(held.get(), relative, O_RDONLY | O_NONBLOCK)));
    }
    // EXDEV: out of the folder, or an absolute link that the walk may find inside it;
    // ENOSYS, EPERM, E2BIG: no openat2 here; EAGAIN: a rename raced the lookup.
    if (errno != EXDEV && errno != ENOSYS && errno != EPERM && errno != E2BIG && errno != EAGAIN)
        return failedWith(errno);

    Walked walked;
    OpenedWithin result = walk(held.get(), root, relative, walked);
    if (result.end != End::Opened)
        return result;
    struct stat st
    {
    };
    if (::fstatat(walked.folder.get(), walked.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return failedWith(errno);
    if (!S_ISREG(st.st_mode))
        return ended(End::NotRegular);
    return opened(Descriptor(::openat(walked.folder.get(), walked.name.c_str(),
                                      O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC)));
}

} // namespace sondrel::posix
