#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <string>

#include "filesystem.h"
#include "process.h"
#include "shell.h"

namespace sondrel::setup {

// What the installer needs of the machine. Each action makes its own service objects
// from these factories and drops them at its end; tests give their own, so that an
// install runs between temporary folders and records what it would start.
struct SetupServices
{
    std::function<std::unique_ptr<FileSystem>()> fileSystem = createFileSystem;
    // Programs started with the installer's own rights (the registration of the library).
    std::function<std::unique_ptr<ProcessStarter>()> processStarter = createProcessStarter;
    // Programs started for the user of the desktop, with that user's rights (Finish).
    std::function<std::unique_ptr<ProcessStarter>()> desktopStarter = createDesktopStarter;
    // The desktop user's folders and shortcuts.
    std::function<std::unique_ptr<Shell>()> shell = createShell;
    // W, the folder the archive's files were extracted to.
    std::function<std::string()> workingDirectory = currentDirectory;
    // Where an install run as root links the command-line export (installLayout()).
    std::function<std::string()> commandLinkFolder = [] {
        return installLayout().commandLinkFolder;
    };
};

// The message of an install that finds a file of the archive missing.
QString extractMessage();
// The message of a completed install.
QString successMessage();
// The message of an install refused before it changed anything, run as root, because
// `folder` (a folder or link on the way to the system folder or D) is not root's alone.
QString unsafeFolderMessage(const QString &folder);

// What the user asked for when pressing "Install Sondrel".
struct InstallRequest
{
    QString installDirectory; // D, ending with the platform's separator
    bool startMenu = false;   // a shortcut in the user's programs folder
    bool desktop = false;     // a shortcut on the user's desktop
};

// The install: moves the grid control file into the system folder and registers it,
// moves the program, the command-line export and the read-me into the install directory
// and writes the shortcuts asked for. Run as root on Linux, it links the command-line
// export into /usr/local/bin, where the shell finds it: only when that folder is root's
// alone, and never over a file there that is not a link (the link is then left out). Before
// anything changes it checks that every file it needs is there and, run as root, that no user but
// root can change the folders it places files in; root places every file as a new file of its own,
// never the user's. Each file takes the place of an installed one in one rename, so that a failed
// step leaves the installed file as it was; a file already in its place (the archive extracted into
// the install directory) stays where it is. It keeps nothing between runs and undoes nothing: the
// steps done before a stop or a failure stay done.
class InstallProcedure
{
public:
    enum class Outcome {
        Completed,    // every file placed, the shortcuts written
        FilesMissing, // a file of the archive was not in the working directory
        UnsafeFolder, // run as root: a folder or link on the way is not root's alone
    };

    explicit InstallProcedure(SetupServices services = {});

    // Runs the install up to (not including) its closing message. Raises PlatformError
    // when an operation of the machine fails or the registration of the library reports
    // a failure; the install then ends at that step. An UnsafeFolder outcome names the
    // folder or link at fault in `refusedFolder`.
    Outcome run(const InstallRequest &request, QString *refusedFolder = nullptr) const;

private:
    SetupServices m_services;
};

// The program file inside the install directory, as Finish starts it.
QString installedProgram(const QString &installDirectory);

} // namespace sondrel::setup
