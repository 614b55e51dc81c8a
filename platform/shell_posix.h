#pragma once

#include "shell.h"
#include "useraccount_posix.h"

#include <optional>
#include <string>

namespace sondrel {

// The shell on Linux: shortcuts are desktop entries ("Sondrel.desktop") in the folders
// given, so that a test can point them anywhere. With an owner, every shortcut and folder
// is written by a child process that has given itself up to that account (dropTo): a
// link planted on the way cannot lead root's writes elsewhere, and the files are the
// owner's.
class PosixShell : public Shell
{
public:
    PosixShell(std::string programsFolder, std::string desktopFolder,
               std::optional<UserAccount> owner = std::nullopt);

    // The programs folder given at construction.
    std::string programsFolder() const override;
    // The desktop folder given at construction.
    std::string desktopFolder() const override;
    // Writes the desktop entry with the executable bit, through a temporary file that then
    // replaces the old one; missing folders on the way are created (as the owner, if any).
    void saveShortcut(const std::string &path, const Shortcut &shortcut) const override;

private:
    std::string m_programsFolder;
    std::string m_desktopFolder;
    std::optional<UserAccount> m_owner;
};

// The text of the desktop entry that starts the shortcut's program.
std::string desktopEntry(const Shortcut &shortcut);

// The folder of the user's application entries: $XDG_DATA_HOME/applications, or
// ~/.local/share/applications when the variable is unset, empty or not absolute.
std::string xdgProgramsFolder(const std::string &dataHome, const std::string &home);

// The user's desktop as the text of the user's user-dirs.dirs names it
// (XDG_DESKTOP_DIR="$HOME/..." or an absolute path), or ~/Desktop when it names none.
std::string xdgDesktopFolder(const std::string &userDirs, const std::string &home);

} // namespace sondrel
