#include "startupsettings.h"

#include "keptsettings.h"
#include "staging.h"

#include <QDir>
#include <QFileInfo>

namespace sondrel {

namespace {

std::string withSeparator(std::string folder, char separator)
{
    if (folder.empty() || folder.back() != separator)
        folder += separator;
    return folder;
}

} // namespace

StartUpSettings startUpSettings(const StartUpFacts &facts)
{
    StartUpSettings settings{facts.defaults.playerDrive, facts.defaults.exportDirectory};

    std::string lastFixed;
    std::string lastRemovable;
    std::string lastPlayer;
    for (const StartUpFacts::DriveRoot &drive : facts.drives) {
        if (drive.type == DriveType::Fixed)
            lastFixed = drive.root;
        if (drive.type == DriveType::Removable) {
            lastRemovable = drive.root;
            if (facts.holdsDatabase && facts.holdsDatabase(drive.root))
                lastPlayer = drive.root;
        }
    }
    if (!lastPlayer.empty())
        settings.dfltDrive = lastPlayer;
    else if (!lastRemovable.empty())
        settings.dfltDrive = lastRemovable;

    const auto usable = [&](const std::string &folder) {
        return !folder.empty() && facts.writable && facts.writable(folder);
    };
    if (usable(facts.keptDir))
        settings.dfltDir = withSeparator(facts.keptDir, facts.separator);
    else if (usable(facts.musicFolder))
        settings.dfltDir = withSeparator(facts.musicFolder, facts.separator);
    else if (usable(facts.homeFolder))
        settings.dfltDir = withSeparator(facts.homeFolder, facts.separator);
    else if (!lastFixed.empty())
        settings.dfltDir = lastFixed;
    return settings;
}

StartUpFacts startUpFacts(const FileSystem &fs)
{
    StartUpFacts facts;
    facts.defaults = platformDefaults();
    for (const Drive &drive : fs.drives())
        facts.drives.push_back({drive.type, fs.driveRoot(drive)});
    facts.musicFolder = fs.musicFolder();
    facts.homeFolder = fs.homeFolder();
    facts.separator = fs.separator();
    facts.holdsDatabase = [&fs](const std::string &root) {
        return findPlayerDatabase(fs, root).found();
    };
    facts.writable = [&fs](const std::string &folder) { return fs.folderWritable(folder); };
    return facts;
}

QString folderFromCommandLine(const QString &path)
{
    if (path.isEmpty())
        return {};
    QString folder = QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    if (!folder.endsWith(QDir::separator()))
        folder += QDir::separator();
    return folder;
}

StartUpSettings startUpSettings(const FileSystem &fs, const KeptSettings &kept)
{
    StartUpFacts facts = startUpFacts(fs);
    facts.keptDir = kept.exportDirectory().toStdString();
    return startUpSettings(facts);
}

} // namespace sondrel
