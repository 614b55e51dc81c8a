#pragma once

#include "filesystem.h"

#include <QString>

#include <functional>
#include <string>
#include <vector>

namespace sondrel {

class KeptSettings;

// What start-up learns of the machine before it picks the two path settings.
struct StartUpFacts
{
    struct DriveRoot
    {
        DriveType type = DriveType::Unknown;
        std::string root; // the drive's path followed by one separator
    };

    PlatformDefaults defaults;     // the settings when the machine offers nothing better
    std::vector<DriveRoot> drives; // in the platform's order
    std::string musicFolder;       // empty when the system names none
    std::string homeFolder;        // empty when the system names none
    std::string keptDir;           // the export directory the user chose last; empty when none
    char separator = '/';
    // True when a player's database lies under the drive root.
    std::function<bool(const std::string &root)> holdsDatabase;
    // True when the folder exists and the user may create files in it.
    std::function<bool(const std::string &folder)> writable;
};

// The player drive and the export directory a run starts with, each ending with the separator.
struct StartUpSettings
{
    std::string dfltDrive;
    std::string dfltDir;
};

// Picks the settings:
// - the export directory is the one the user chose last when it still exists and is
//   writable, else the user's music folder on the same terms, else the home folder on the
//   same terms, else the root of the last fixed drive, else the default;
// - the player drive is the last removable drive that holds a player's database, else the
//   last removable drive, else the default.
StartUpSettings startUpSettings(const StartUpFacts &facts);

// The facts of the machine behind a file-system service. The two checks ask the service
// when they are called, so the service must outlive the facts' use.
StartUpFacts startUpFacts(const FileSystem &fs);

// A folder given on a command line (Sondrel's or sondrel-export's) as the settings hold
// it: absolute (from the current folder), cleaned, in the platform's form, with one
// trailing separator; empty for an empty path.
QString folderFromCommandLine(const QString &path);

// The player drive and the export directory the main window starts with on this machine,
// with these kept settings: what a run without the window takes as its defaults too.
StartUpSettings startUpSettings(const FileSystem &fs, const KeptSettings &kept);

} // namespace sondrel
