#include "useraccount_posix.h"

#include "platformerror.h"

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

namespace sondrel {

namespace {

std::optional<unsigned long> parseId(const char *text)
{
    if (!text || !*text)
        return std::nullopt;
    unsigned long value = 0;
    const char *end = text + std::strlen(text);
    const auto [at, error] = std::from_chars(text, end, value);
    if (error != std::errc() || at != end)
        return std::nullopt;
    return value;
}

void writeAll(int fd, const void *data, std::size_t size)
{
    const char *p = static_cast<const char *>(data);
    while (size > 0) {
        const ssize_t put = ::write(fd, p, size);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return;
        p += put;
        size -= std::size_t(put);
    }
}

std::string readAll(int fd)
{
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return text;
        text.append(buffer, std::size_t(got));
    }
}

// What the child of runAs hands back: 'R' and the result, or 'E', the error number and
// the description.
void reportResult(int fd, const std::string &result)
{
    writeAll(fd, "R", 1);
    writeAll(fd, result.data(), result.size());
}

void reportError(int fd, int number, const std::string &description)
{
    writeAll(fd, "E", 1);
    writeAll(fd, &number, sizeof number);
    writeAll(fd, description.data(), description.size());
}

bool startsWithName(const std::string &entry, const char *name)
{
    const std::size_t length = std::strlen(name);
    return entry.size() > length && entry.compare(0, length, name) == 0 && entry[length] == '=';
}

} // namespace

std::optional<UserAccount> sudoInvoker(uid_t effectiveUid, const char *sudoUid, const char *sudoGid)
{
    if (effectiveUid != 0)
        return std::nullopt;
    const std::optional<unsigned long> uid = parseId(sudoUid);
    if (!uid || *uid == 0)
        return std::nullopt;
    const passwd *entry = ::getpwuid(uid_t(*uid));
    if (!entry || !entry->pw_dir || !entry->pw_name)
        return std::nullopt;
    UserAccount account;
    account.uid = uid_t(*uid);
    const std::optional<unsigned long> gid = parseId(sudoGid);
    account.gid = gid ? gid_t(*gid) : entry->pw_gid;
    account.name = entry->pw_name;
    account.home = entry->pw_dir;
    while (account.home.size() > 1 && account.home.back() == '/')
        account.home.pop_back();
    return account;
}

std::optional<UserAccount> sudoInvoker()
{
    return sudoInvoker(::geteuid(), std::getenv("SUDO_UID"), std::getenv("SUDO_GID"));
}

int dropTo(const UserAccount &account)
{
    if (::geteuid() == account.uid && ::getegid() == account.gid && ::getuid() == account.uid &&
        ::getgid() == account.gid)
        return 0;
    if (::initgroups(account.name.c_str(), account.gid) != 0)
        return errno;
    if (::setgid(account.gid) != 0)
        return errno;
    if (::setuid(account.uid) != 0)
        return errno;
    // A drop that could be undone is no drop.
    if (account.uid != 0 && ::setuid(0) == 0)
        return EPERM;
    return 0;
}

std::string runAs(const UserAccount &account, const std::function<std::string()> &work)
{
    int channel[2];
    if (::pipe2(channel, O_CLOEXEC) != 0)
        throw PlatformError(errno, std::strerror(errno));
    const pid_t child = ::fork();
    if (child < 0) {
        const int error = errno;
        ::close(channel[0]);
        ::close(channel[1]);
        throw PlatformError(error, std::strerror(error));
    }
    if (child == 0) {
        ::close(channel[0]);
        if (const int error = dropTo(account); error != 0) {
            reportError(channel[1], error,
                        std::string(std::strerror(error)) + ": acting as " + account.name);
            ::_exit(1);
        }
        try {
            reportResult(channel[1], work());
        } catch (const PlatformError &error) {
            reportError(channel[1], error.number(), error.description());
            ::_exit(1);
        } catch (const std::exception &error) {
            reportError(channel[1], EIO, error.what());
            ::_exit(1);
        }
        ::_exit(0);
    }
    ::close(channel[1]);
    const std::string answer = readAll(channel[0]);
    ::close(channel[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!answer.empty() && answer[0] == 'R' && WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return answer.substr(1);
    if (answer.size() > sizeof(int) && answer[0] == 'E') {
        int number = 0;
        std::memcpy(&number, answer.data() + 1, sizeof number);
        throw PlatformError(number, answer.substr(1 + sizeof number));
    }
    throw PlatformError(ECHILD, std::string(std::strerror(ECHILD)) + ": acting as " + account.name);
}

std::string runtimeFolder(const UserAccount &account)
{
    return "/run/user/" + std::to_string(account.uid);
}

std::vector<std::string> sessionEnvironment(const UserAccount &account,
                                            const std::vector<std::string> &inherited,
                                            bool busExists)
{
    static const char *const replaced[] = {
        "HOME",     "USER",     "LOGNAME",   "XDG_RUNTIME_DIR", "DBUS_SESSION_BUS_ADDRESS",
        "SUDO_UID", "SUDO_GID", "SUDO_USER", "SUDO_COMMAND"};
    std::vector<std::string> environment;
    for (const std::string &entry : inherited) {
        bool keep = true;
        for (const char *name : replaced)
            keep = keep && !startsWithName(entry, name);
        if (keep)
            environment.push_back(entry);
    }
    const std::string runtime = runtimeFolder(account);
    environment.push_back("HOME=" + account.home);
    environment.push_back("USER=" + account.name);
    environment.push_back("LOGNAME=" + account.name);
    environment.push_back("XDG_RUNTIME_DIR=" + runtime);
    if (busExists)
        environment.push_back("DBUS_SESSION_BUS_ADDRESS=unix:path=" + runtime + "/bus");
    return environment;
}

} // namespace sondrel
