#include "installprocedure.h"

#include <QByteArray>
#include <QFile>

namespace sondrel::setup {

namespace {

// The product logo that desktop entries show, where the program file has no icon of its own.
QByteArray logoImage()
{
    QFile logo(QStringLiteral(":/logo.png"));
    return logo.open(QIODevice::ReadOnly) ? logo.readAll() : QByteArray();
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

QString installedProgram(const QString &installDirectory)
{
    return installDirectory + QString::fromStdString(installLayout().programFile);
}

InstallProcedure::InstallProcedure(SetupServices services) : m_services(std::move(services)) {}

InstallProcedure::Outcome InstallProcedure::run(const InstallRequest &request) const
{
    const InstallLayout names = installLayout();

    // The file-system service and the system folder.
    const std::unique_ptr<FileSystem> fs = m_services.fileSystem();
    const std::string sep(1, fs->separator());
    const std::string system = fs->systemFolder();
    const std::string work = m_services.workingDirectory();
    const std::string install = request.installDirectory.toStdString();
    // W, S and the shortcut folders carry no trailing separator; D always has one.
    const auto inWork = [&](const std::string &name) { return work + sep + name; };
    const std::string controlInSystem = system + sep + names.gridControlFile;

    // The grid control file: left alone when the system folder has it, else moved there
    // and registered.
    if (fs->fileExists(controlInSystem)) {
        if (fs->fileExists(inWork(names.gridControlFile)))
            fs->deleteFile(inWork(names.gridControlFile));
    } else if (fs->fileExists(inWork(names.gridControlFile))) {
        fs->moveFile(inWork(names.gridControlFile), controlInSystem);
        const CommandLine registration = registrationCommand(controlInSystem);
        m_services.processStarter()->startDetached(registration.program, registration.arguments,
                                                   WindowStyle::Minimized);
    } else {
        return Outcome::FilesMissing;
    }

    // The install directory, one level below an existing folder.
    if (!fs->folderExists(install))
        fs->createFolder(install);

    // The program and the read-me replace older copies.
    for (const std::string &name : {names.programFile, names.readMeFile}) {
        if (fs->fileExists(install + name))
            fs->deleteFile(install + name);
        if (!fs->fileExists(inWork(name)))
            return Outcome::FilesMissing;
        fs->moveFile(inWork(name), install + name);
    }

    // The shortcut folders are looked up whether or not a shortcut is wanted.
    const std::unique_ptr<Shell> shell = m_services.shell();
    const std::string programs = shell->programsFolder();
    const std::string desktop = shell->desktopFolder();

    Shortcut shortcut;
    shortcut.name = "Sondrel";
    shortcut.targetPath = install + names.programFile;
    shortcut.iconLocation = names.iconFile.empty() ? shortcut.targetPath + ", 0"
                                                   : install + names.iconFile;
    shortcut.description = "Sondrel shortcut";
    shortcut.workingDirectory = install;

    if ((request.startMenu || request.desktop) && !names.iconFile.empty()) {
        const QByteArray image = logoImage();
        const std::unique_ptr<OutputFile> icon = fs->createFile(install + names.iconFile);
        icon->write(image.constData(), std::size_t(image.size()));
        icon->close();
    }
    if (request.startMenu)
        shell->saveShortcut(programs + sep + names.shortcutFile, shortcut);
    if (request.desktop)
        shell->saveShortcut(desktop + sep + names.shortcutFile, shortcut);
    return Outcome::Completed;
}

} // namespace sondrel::setup
