#include "shell_posix.h"

#include "filesystem.h"
#include "platformerror.h"
#include "process_posix.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
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
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        case ' ':
            out += i == 0 ? "\\s" : " ";
            break;
        default:
            out += c;
            break;
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

// The text of a small file; empty when it cannot be read.
std::string readText(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// An absolute folder named by a setting such as XDG_CONFIG_HOME, or `fallback`.
std::string absoluteOr(const char *setting, const std::string &fallback)
{
    return setting && *setting == '/' ? std::string(setting) : fallback;
}

// Creates each missing folder of `folder`, the way a desktop creates its data folders.
void createFolders(const std::string &folder)
{
    if (folder.empty())
        return;
    struct stat st
    {
    };
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

// Writes the desktop entry at `path` through a new temporary file beside it (never one
// that was already there), then renames it over the old entry. Failures name `path`.
void writeShortcut(const std::string &path, const Shortcut &shortcut)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0)
        createFolders(path.substr(0, slash));

    const std::string temporary = temporaryNameBeside(path, '/');
    const int fd =
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0755);
    if (fd < 0)
        raise(errno, path);
    try {
        writeAll(fd, desktopEntry(shortcut), path);
        // Desktops start only entries marked executable.
        if (::fchmod(fd, 0755) != 0)
            raise(errno, path);
    } catch (...) {
        ::close(fd);
        ::unlink(temporary.c_str());
        throw;
    }
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        raise(error, path);
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        raise(error, path);
    }
}

} // namespace

PosixShell::PosixShell(std::string programsFolder, std::string desktopFolder,
                       std::optional<UserAccount> owner)
    : m_programsFolder(withoutTrailingSlashes(std::move(programsFolder))),
      m_desktopFolder(withoutTrailingSlashes(std::move(desktopFolder))), m_owner(std::move(owner))
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
    if (m_owner)
        runAs(*m_owner, [&] {
            writeShortcut(path, shortcut);
            return std::string();
        });
    else
        writeShortcut(path, shortcut);
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
    const std::string base =
        !dataHome.empty() && dataHome.front() == '/' ? dataHome : inFolder(home, ".local/share");
    return inFolder(base, "applications");
}

std::string xdgDesktopFolder(const std::string &userDirs, const std::string &home)
{
    static const std::string key = "XDG_DESKTOP_DIR=\"";
    std::string folder;
    std::istringstream lines(userDirs);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line.compare(start, key.size(), key) != 0)
            continue;
        // The quoted value, with its backslash escapes undone.
        std::string value;
        bool closed = false;
        for (std::size_t i = start + key.size(); i < line.size() && !closed; ++i) {
            if (line[i] == '\\' && i + 1 < line.size())
                value += line[++i];
            else if (line[i] == '"')
                closed = true;
            else
                value += line[i];
        }
        if (!closed)
            continue;
        // "$HOME" or "$HOME/..." or an absolute path; anything else is not a folder.
        if (value.rfind("$HOME", 0) == 0 && (value.size() == 5 || value[5] == '/'))
            folder = home + value.substr(5);
        else if (!value.empty() && value.front() == '/')
            folder = value;
    }
    if (folder.empty())
        return inFolder(home, "Desktop");
    return withoutTrailingSlashes(folder);
}

std::unique_ptr<Shell> createShell()
{
    if (const std::optional<UserAccount> user = sudoInvoker()) {
        // Under sudo root's environment says nothing about the user: the folders come from
        // the passwd entry's home and the user's own user-dirs.dirs, read as the user.
        const std::string home = user->home;
        const std::string desktop = runAs(*user, [home] {
            return xdgDesktopFolder(readText(inFolder(home, ".config/user-dirs.dirs")), home);
        });
        return std::make_unique<PosixShell>(xdgProgramsFolder("", home), desktop, *user);
    }
    const char *dataHome = std::getenv("XDG_DATA_HOME");
    const std::string home = homeFolder();
    const std::string config =
        absoluteOr(std::getenv("XDG_CONFIG_HOME"), inFolder(home, ".config"));
    return std::make_unique<PosixShell>(
        xdgProgramsFolder(dataHome ? dataHome : "", home),
        xdgDesktopFolder(readText(inFolder(config, "user-dirs.dirs")), home));
}

std::unique_ptr<ProcessStarter> createDesktopStarter()
{
    if (const std::optional<UserAccount> user = sudoInvoker()) {
        const bool bus = ::access((runtimeFolder(*user) + "/bus").c_str(), F_OK) == 0;
        return createProcessStarterAs(*user, sessionEnvironment(*user, currentEnvironment(), bus));
    }
    return createProcessStarter();
}

InstallLayout installLayout()
{
    return {"Sondrel",         "sondrel-export", "READ ME FIRST.TXT", "libtrackgrid.so.1",
            "Sondrel.desktop", "sondrel.png",    "/usr/local/bin"};
}

// The loader's cache is rebuilt by ldconfig, named by its full path: an ordinary user's
// PATH on Debian lacks /sbin.
std::optional<CommandLine> registrationCommand(const std::string &)
{
    return CommandLine{"/sbin/ldconfig", {}};
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
