#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "process.h"

namespace sondrel {

// What a shortcut file says about the program it starts.
struct Shortcut
{
    std::string name;       // the name a menu shows ("Sondrel"); a Windows link shows its file name
    std::string targetPath; // the program file
    std::string iconLocation;     // Windows: "<file>, <index>"; Linux: an image file
    std::string description;      // "Sondrel shortcut"
    std::string workingDirectory; // the folder the program starts in
};

// The user's shell: the special folders that hold shortcuts, and the shortcut files.
// Raises PlatformError when the operating system refuses an operation.
class Shell
{
public:
    virtual ~Shell() = default;
    // The current user's folder of program shortcuts (the start menu's "Programs"), without
    // a trailing separator.
    virtual std::string programsFolder() const = 0;
    // The current user's desktop folder, without a trailing separator.
    virtual std::string desktopFolder() const = 0;
    // Writes the shortcut file at `path`; an existing file of that name is replaced.
    virtual void saveShortcut(const std::string &path, const Shortcut &shortcut) const = 0;
};

// The shell of the user whose desktop this is. On Linux under sudo that is the invoking
// user, not root: the folders are that user's, and the shortcuts (with any folder made
// for them) are written by a process that has given up root for that user.
std::unique_ptr<Shell> createShell();

// Starts programs for the user of the desktop, with that user's normal rights: on Windows
// through the desktop's shell (never elevated, also from an elevated installer); on
// Linux under sudo as the invoking user with that user's session environment; otherwise
// as this process. Its startAndWait is not offered on Windows (raises PlatformError).
std::unique_ptr<ProcessStarter> createDesktopStarter();

// The file names and commands of an installation on this platform.
struct InstallLayout
{
    std::string programFile;     // "Sondrel.exe" on Windows
    std::string commandFile;     // the command-line export: "sondrel-export.exe" on Windows
    std::string readMeFile;      // "READ ME FIRST.TXT"
    std::string gridControlFile; // the track grid's library: "trackgrid.dll" on Windows
    std::string shortcutFile;    // "Sondrel.exe.lnk" on Windows
    // An image file written beside the program for its shortcuts; empty where the program
    // file carries its own icon.
    std::string iconFile;
    // Where an install run as root links the command-line export so that a shell finds it
    // ("/usr/local/bin"); empty where nothing is linked (Windows).
    std::string commandLinkFolder;
};

InstallLayout installLayout();

// The command that registers the grid control file placed at `controlFile` (Linux: the
// loader's cache rebuilt by ldconfig); nothing where the file needs no registration
// (Windows: the loader finds a plain DLL in the system folder as it is).
std::optional<CommandLine> registrationCommand(const std::string &controlFile);

// The process's current directory, as the run-time library gives it (no trailing
// separator except at a root).
std::string currentDirectory();

} // namespace sondrel
