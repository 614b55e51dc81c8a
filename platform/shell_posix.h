#pragma once

#include "shell.h"

#include <string>

namespace sondrel {

// The shell on Linux: shortcuts are desktop entries ("Sondrel.desktop") in the folders
// given, so that a test can point them anywhere.
class PosixShell : public Shell
{
public:
    PosixShell(std::string programsFolder, std::string desktopFolder);

    // The programs folder given at construction.
    std::string programsFolder() const override;
    // The desktop folder given at construction.
    std::string desktopFolder() const override;
    // Writes the desktop entry with the executable bit, through a temporary file that then
    // replaces the old one; missing folders on the way are created.
    void saveShortcut(const std::string &path, const Shortcut &shortcut) const override;

private:
    std::string m_programsFolder;
    std::string m_desktopFolder;
};

// The text of the desktop entry that starts the shortcut's program.
std::string desktopEntry(const Shortcut &shortcut);

// The folder of the user's application entries: $XDG_DATA_HOME/applications, or
// ~/.local/share/applications when the variable is unset, empty or not absolute.
std::string xdgProgramsFolder(const std::string &dataHome, const std::string &home);

// The user's desktop from what `xdg-user-dir DESKTOP` printed, or ~/Desktop when it
// printed nothing.
std::string xdgDesktopFolder(const std::string &userDirOutput, const std::string &home);

} // namespace sondrel
