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
};

// The message of an install that finds a file of the archive missing.
QString extractMessage();
// The message of a completed install.
QString successMessage();

// What the user asked for when pressing "Install Sondrel".
struct InstallRequest
{
    QString installDirectory; // D, ending with the platform's separator
    bool startMenu = false;   // a shortcut in the user's programs folder
    bool desktop = false;     // a shortcut on the user's desktop
};

// The install: moves the grid control file into the system folder and registers it,
// moves the program and the read-me into the install directory and writes the shortcuts
// asked for. Before anything changes it checks that every file it needs is there. Each
// file takes the place of an installed one in one rename, so that a failed step leaves
// the installed file as it was; a file already in its place (the archive extracted into
// the install directory) stays where it is. It keeps nothing between runs and undoes
// nothing: the steps done before a stop or a failure stay done.
class InstallProcedure
{
public:
    enum class Outcome {
        Completed,    // every file placed, the shortcuts written
        FilesMissing, // a file of the archive was not in the working directory
    };

    explicit InstallProcedure(SetupServices services = {});

    // Runs the install up to (not including) its closing message. Raises PlatformError
    // when an operation of the machine fails or the registration of the library reports
    // a failure; the install then ends at that step.
    Outcome run(const InstallRequest &request) const;

private:
    SetupServices m_services;
};

// The program file inside the install directory, as Finish starts it.
QString installedProgram(const QString &installDirectory);

} // namespace sondrel::setup
