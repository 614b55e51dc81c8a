#include "installprocedure.h"

#include "platformerror.h"

#include <QByteArray>
#include <QFile>

#include <optional>

namespace sondrel::setup {

namespace {

// The product logo that desktop entries show, where the program file has no icon of its own.
QByteArray logoImage()
{
    QFile logo(QStringLiteral(":/logo.png"));
    return logo.open(QIODevice::ReadOnly) ? logo.readAll() : QByteArray();
}

// True when both paths name one file, however they are spelt.
bool sameFile(const InstallFiles &fs, const std::string &a, const std::string &b)
{
    const std::optional<FileIdentity> identity = fs.identity(a);
    return identity && identity == fs.identity(b);
}

// Removes a temporary file left by a failed step; a failure to do so does not hide the
// failure being reported.
void removeQuietly(const InstallFiles &fs, const std::string &path)
{
    try {
        if (fs.fileExists(path))
            fs.deleteFile(path);
    } catch (const PlatformError &) {
    }
}

// Puts `source` in the place of `destination` with no moment at which neither file is
// there: the file goes to a temporary name beside the destination (renamed on one file
// system; across file systems copied and flushed) and is then renamed over the old one.
// A copied source is removed only once the new file is in place. A failure leaves the
// old file at `destination` and `source` where they were, and no temporary file.
void placeFile(const InstallFiles &fs, const std::string &source, const std::string &destination)
{
    const std::string temporary = temporaryNameBeside(destination, fs.separator());
    bool copied = false;
    try {
        copied = fs.renameOrCopy(source, temporary);
    } catch (const PlatformError &) {
        removeQuietly(fs, temporary);
        throw;
    }
    try {
        fs.replaceFile(temporary, destination);
    } catch (const PlatformError &) {
        if (copied) {
            removeQuietly(fs, temporary);
        } else {
            // The temporary file is the source itself: it goes back.
            try {
                fs.renameOrCopy(temporary, source);
            } catch (const PlatformError &) {
            }
        }
        throw;
    }
    if (copied)
        fs.deleteFile(source);
}

// Writes a whole file through a temporary name, so that an earlier copy stays until the
// new one is complete.
void writeFile(const InstallFiles &fs, const std::string &path, const QByteArray &bytes)
{
    const std::string temporary = temporaryNameBeside(path, fs.separator());
    try {
        const std::unique_ptr<OutputFile> file = fs.createFile(temporary);
        file->write(bytes.constData(), std::size_t(bytes.size()));
        file->close();
        fs.replaceFile(temporary, path);
    } catch (const PlatformError &) {
        removeQuietly(fs, temporary);
        throw;
    }
}

// One folder that the install puts files in. Run as root, it is the folder checked and held
// open for root, into which every file goes as a new file of root's; otherwise it is
// reached by its path through the file-system service, as an install without root does.
class Destination
{
public:
    // `folder` ends with the separator.
    Destination(const InstallFiles &fs, const std::string &folder,
                std::unique_ptr<RootFolder> forRoot)
        : m_fs(fs), m_forRoot(std::move(forRoot)), m_folder(m_forRoot ? m_forRoot->path() : folder)
    {
        if (m_folder.empty() || m_folder.back() != fs.separator())
            m_folder += fs.separator();
    }

    bool forRoot() const { return bool(m_forRoot); }
    std::string path(const std::string &name) const { return m_folder + name; }

    // Makes the folder when it is missing, one level below an existing folder.
    void create() const
    {
        if (m_forRoot)
            m_forRoot->create();
        else if (!m_fs.folderExists(m_folder))
            m_fs.createFolder(m_folder);
    }
    void moveIn(const std::string &source, const std::string &name) const
    {
        if (m_forRoot)
            m_forRoot->moveIn(source, name);
        else
            placeFile(m_fs, source, path(name));
    }
    void write(const std::string &name, const QByteArray &bytes) const
    {
        if (m_forRoot)
            m_forRoot->write(name, bytes.constData(), std::size_t(bytes.size()));
        else
            writeFile(m_fs, path(name), bytes);
    }

private:
    const InstallFiles &m_fs;
    std::unique_ptr<RootFolder> m_forRoot;
    std::string m_folder;
};

// Registers the library placed at `library`, waiting for the command to end; a command
// that reports a failure fails the install.
void registerLibrary(ProcessStarter &starter, const std::string &library)
{
    const std::optional<CommandLine> command = registrationCommand(library);
    if (!command)
        return;
    const int status =
        starter.startAndWait(command->program, command->arguments, WindowStyle::Minimized);
    if (status != 0)
        throw PlatformError(status, "\"" + command->program + "\" ended with exit status " +
                                        std::to_string(status));
}

} // namespace

QString extractMessage()
{
    return QStringLiteral(
        "Please extract ALL the files included in Sondrel.zip files to the same directory.");
}

QString successMessage()
{
    return QStringLiteral("Installation completed successfully!");
}

QString unsafeFolderMessage(const QString &folder)
{
    return QStringLiteral("Sondrel was not installed: \"%1\" does not belong to root, or other "
                          "users can change it, so what root installs there would not be safe.\n\n"
                          "Nothing was changed. Please choose an installation directory that only "
                          "root can change, such as /opt/Sondrel/.")
        .arg(folder);
}

QString installedProgram(const QString &installDirectory)
{
    return installDirectory + QString::fromStdString(installLayout().programFile);
}

InstallProcedure::InstallProcedure(SetupServices services) : m_services(std::move(services)) {}

InstallProcedure::Outcome InstallProcedure::run(const InstallRequest &request,
                                                QString *refusedFolder) const
{
    const InstallLayout names = installLayout();

    // The file-system service and the system folder.
    const std::unique_ptr<InstallFiles> fs = m_services.fileSystem();
    const std::string sep(1, fs->separator());
    const std::string system = fs->systemFolder();
    const std::string work = m_services.workingDirectory();
    const std::string install = request.installDirectory.toStdString();
    // W, S and the shortcut folders carry no trailing separator; D always has one.
    const auto inWork = [&](const std::string &name) { return work + sep + name; };
    const std::string controlInWork = inWork(names.gridControlFile);

    // Nothing changes before every file the install needs is known to be there: the grid
    // control file unless the system folder has one already, the programs and the read-me.
    const bool controlInstalled = fs->fileExists(system + sep + names.gridControlFile);
    const bool controlExtracted = fs->fileExists(controlInWork);
    if (!controlInstalled && !controlExtracted)
        return Outcome::FilesMissing;
    for (const std::string &name : {names.programFile, names.commandFile, names.readMeFile}) {
        if (!fs->fileExists(inWork(name)))
            return Outcome::FilesMissing;
    }

    // Run as root, nothing changes either unless the system folder and D can be reached
    // through folders and links that only root can change; they are held open from here on.
    RootFolderCheck systemCheck = fs->rootFolder(system);
    RootFolderCheck installCheck = fs->rootFolder(install);
    for (const RootFolderCheck *check : {&systemCheck, &installCheck}) {
        if (!check->unsafe.empty()) {
            if (refusedFolder)
                *refusedFolder = QString::fromStdString(check->unsafe);
            return Outcome::UnsafeFolder;
        }
    }
    const Destination inSystem(*fs, system + sep, std::move(systemCheck.folder));
    const Destination inInstall(*fs, install, std::move(installCheck.folder));
    const std::string controlInSystem = inSystem.path(names.gridControlFile);

    // The grid control file: an installed copy with the same bytes is kept and the
    // extracted one deleted; a different one (an older build, or what a failed attempt
    // left) is replaced like a missing one. Root places a new copy even of the same bytes:
    // the installed one may be a user's own file that an earlier install renamed into
    // place. The library is registered in every case: an earlier attempt may have placed
    // it and then failed to register it.
    if (controlExtracted && !sameFile(*fs, controlInWork, controlInSystem)) {
        if (!inSystem.forRoot() && controlInstalled &&
            fs->sameContents(controlInWork, controlInSystem))
            fs->deleteFile(controlInWork);
        else
            inSystem.moveIn(controlInWork, names.gridControlFile);
    }
    registerLibrary(*m_services.processStarter(), controlInSystem);

    // The install directory, one level below an existing folder.
    inInstall.create();

    // The programs and the read-me replace older copies; extracted into the install
    // directory itself, they are in place already.
    for (const std::string &name : {names.programFile, names.commandFile, names.readMeFile}) {
        if (!sameFile(*fs, inWork(name), inInstall.path(name)))
            inInstall.moveIn(inWork(name), name);
    }

    // The command-line export where the shell finds it: linked by root only, into a folder
    // of root's alone (a folder others can change would let them redirect the command).
    if (inInstall.forRoot()) {
        const std::string linkFolder = m_services.commandLinkFolder();
        if (!linkFolder.empty() && fs->folderExists(linkFolder)) {
            const RootFolderCheck links = fs->rootFolder(linkFolder);
            if (links.folder)
                links.folder->link(names.commandFile, inInstall.path(names.commandFile));
        }
    }

    // The shortcut folders are looked up whether or not a shortcut is wanted.
    const std::unique_ptr<Shell> shell = m_services.shell();
    const std::string programs = shell->programsFolder();
    const std::string desktop = shell->desktopFolder();

    Shortcut shortcut;
    shortcut.name = "Sondrel";
    shortcut.targetPath = install + names.programFile;
    shortcut.iconLocation =
        names.iconFile.empty() ? shortcut.targetPath + ", 0" : install + names.iconFile;
    shortcut.description = "Sondrel shortcut";
    shortcut.workingDirectory = install;

    if ((request.startMenu || request.desktop) && !names.iconFile.empty())
        inInstall.write(names.iconFile, logoImage());
    if (request.startMenu)
        shell->saveShortcut(programs + sep + names.shortcutFile, shortcut);
    if (request.desktop)
        shell->saveShortcut(desktop + sep + names.shortcutFile, shortcut);
    return Outcome::Completed;
}

} // namespace sondrel::setup
