#include "shell_posix.h"

#include "platformerror.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace sondrel {

namespace {

[[noreturn]] void raise(int error, const std::string &path)
{
    throw PlatformError(error, std::string(std::strerror(error)) + ": " + path);
}

std::string withoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// `name` inside `folder`, with one separator between them.
std::string inFolder(const std::string &folder, const std::string &name)
{
    const std::string base = withoutTrailingSlashes(folder);
    return (base == "/" ? std::string() : base) + "/" + name;
}

// A value of type string in a desktop entry: backslash and control characters escaped,
// a leading blank kept.
std::string escapeValue(const std::string &value)
{
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        case ' ': out += i == 0 ? "\\s" : " "; break;
        default: out += c; break;
        }
    }
    return out;
}

// One argument of an Exec key: always quoted, with the characters that are special
// inside the quotes escaped, and a literal percent sign doubled.
std::string execArgument(const std::string &argument)
{
    std::string out = "\"";
    for (const char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            out += '\\';
        if (c == '%')
            out += '%';
        out += c;
    }
    out += '"';
    return out;
}

std::string homeFolder()
{
    if (const char *home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd *entry = ::getpwuid(::getuid()); entry && entry->pw_dir)
        return entry->pw_dir;
    return "/";
}

// What `xdg-user-dir DESKTOP` prints; empty when the tool is missing or fails.
std::string runXdgUserDir()
{
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return {};
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(out[0]);
        ::close(out[1]);
        return {};
    }
    if (child == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        const int devNull = ::open("/dev/null", O_WRONLY);
        if (devNull >= 0)
            ::dup2(devNull, STDERR_FILENO);
        char program[] = "xdg-user-dir";
        char key[] = "DESKTOP";
        char *argv[] = {program, key, nullptr};
        ::execvp(program, argv);
        ::_exit(127);
    }
    ::close(out[1]);
    std::string text;
    char buffer[512];
    for (;;) {
        const ssize_t got = ::read(out[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        text.append(buffer, std::size_t(got));
    }
    ::close(out[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return {};
    return text;
}

// Creates each missing folder of `folder`, the way a desktop creates its data folders.
void createFolders(const std::string &folder)
{
    if (folder.empty())
        return;
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0)
        return;
    const std::size_t slash = folder.find_last_of('/');
    if (slash != std::string::npos && slash > 0)
        createFolders(folder.substr(0, slash));
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        raise(errno, folder);
}

void writeAll(int fd, const std::string &text, const std::string &path)
{
    const char *p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t put = ::write(fd, p, left);
        if (put < 0) {
            if (errno == EINTR)
                continue;
            raise(errno, path);
        }
        p += put;
        left -= std::size_t(put);
    }
}

} // namespace

PosixShell::PosixShell(std::string programsFolder, std::string desktopFolder)
    : m_programsFolder(withoutTrailingSlashes(std::move(programsFolder))),
      m_desktopFolder(withoutTrailingSlashes(std::move(desktopFolder)))
{
}

std::string PosixShell::programsFolder() const
{
    return m_programsFolder;
}

std::string PosixShell::desktopFolder() const
{
    return m_desktopFolder;
}

void PosixShell::saveShortcut(const std::string &path, const Shortcut &shortcut) const
{
    const std::size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0)
        createFolders(path.substr(0, slash));

    const std::string temporary = path + ".new";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0755);
    if (fd < 0)
        raise(errno, temporary);
    try {
        writeAll(fd, desktopEntry(shortcut), temporary);
        // Desktops start only entries marked executable.
        if (::fchmod(fd, 0755) != 0)
            raise(errno, temporary);
    } catch (...) {
        ::close(fd);
        ::unlink(temporary.c_str());
        throw;
    }
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        raise(error, temporary);
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        raise(error, path);
    }
}

std::string desktopEntry(const Shortcut &shortcut)
{
    std::string text = "[Desktop Entry]\n";
    text += "Type=Application\n";
    text += "Name=" + escapeValue(shortcut.name) + "\n";
    text += "Comment=" + escapeValue(shortcut.description) + "\n";
    text += "Exec=" + escapeValue(execArgument(shortcut.targetPath)) + "\n";
    text += "Path=" + escapeValue(shortcut.workingDirectory) + "\n";
    if (!shortcut.iconLocation.empty())
        text += "Icon=" + escapeValue(shortcut.iconLocation) + "\n";
    text += "Terminal=false\n";
    return text;
}

std::string xdgProgramsFolder(const std::string &dataHome, const std::string &home)
{
    const std::string base = !dataHome.empty() && dataHome.front() == '/'
                                 ? dataHome
                                 : inFolder(home, ".local/share");
    return inFolder(base, "applications");
}

std::string xdgDesktopFolder(const std::string &userDirOutput, const std::string &home)
{
    std::string folder = userDirOutput;
    while (!folder.empty() && (folder.back() == '\n' || folder.back() == '\r'))
        folder.pop_back();
    if (folder.empty())
        return inFolder(home, "Desktop");
    return withoutTrailingSlashes(folder);
}

std::unique_ptr<Shell> createShell()
{
    const char *dataHome = std::getenv("XDG_DATA_HOME");
    const std::string home = homeFolder();
    return std::make_unique<PosixShell>(xdgProgramsFolder(dataHome ? dataHome : "", home),
                                        xdgDesktopFolder(runXdgUserDir(), home));
}

InstallLayout installLayout()
{
    return {"Sondrel", "READ ME FIRST.TXT", "libtrackgrid.so", "Sondrel.desktop", "sondrel.png"};
}

// The loader's cache is rebuilt by ldconfig, named by its full path: an ordinary user's
// PATH on Debian lacks /sbin.
CommandLine registrationCommand(const std::string &)
{
    return {"/sbin/ldconfig", {}};
}

std::string currentDirectory()
{
    std::string buffer(256, '\0');
    for (;;) {
        if (::getcwd(buffer.data(), buffer.size())) {
            buffer.resize(std::strlen(buffer.c_str()));
            return buffer;
        }
        if (errno != ERANGE)
            raise(errno, ".");
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace sondrel
