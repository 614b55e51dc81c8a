#include "exportrun.h"

#include "filesystem.h"
#include "numberformat.h"
#include "platformerror.h"
#include "tracktable.h"

#include <QStringList>

#include <algorithm>
#include <cerrno>

namespace sondrel {

namespace {

bool onlyDotsAndSpaces(const std::string &name)
{
    return std::all_of(name.begin(), name.end(), [](char c) { return c == '.' || c == ' '; });
}

std::string joined(const std::string &root, const std::vector<std::string> &names, char separator)
{
    std::string path = root;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0)
            path += separator;
        path += names[i];
    }
    return path;
}

// A name that Windows takes for a device wherever it stands: CON, PRN, AUX, NUL,
// COM1 to COM9 and LPT1 to LPT9, with or without an extension or trailing blanks.
bool windowsDeviceName(const std::string &name)
{
    const QString base = QString::fromStdString(name.substr(0, name.find('.'))).trimmed().toUpper();
    if (base == QLatin1String("CON") || base == QLatin1String("PRN") ||
        base == QLatin1String("AUX") || base == QLatin1String("NUL"))
        return true;
    const bool port =
        base.startsWith(QLatin1String("COM")) || base.startsWith(QLatin1String("LPT"));
    return port && base.size() == 4 && base[3] >= QLatin1Char('1') && base[3] <= QLatin1Char('9');
}

} // namespace

QString freeSpaceMessage(const QString &drive, std::uint64_t bytes)
{
    const double available = double(bytes);
    const QChar cr(13);
    return QStringLiteral("You have less space available in ") + drive +
           QStringLiteral(" than the total size of the files you want to export.") + cr +
           QStringLiteral("Please select less files.") + cr +
           QStringLiteral("Your total available size in ") + drive +
           QStringLiteral(" right now is (") + standardNumber(available / 1024) +
           QStringLiteral(" Kb = ") + standardNumber(available / 1024 / 1024) +
           QStringLiteral(" Mb = ") + standardNumber(available / 1024 / 1024 / 1024) +
           QStringLiteral(" Gb).");
}

std::optional<std::vector<std::string>> locationNames(const QString &location, char separator)
{
    if (!location.startsWith(QLatin1Char(':')))
        return std::nullopt;
    std::vector<std::string> names;
    const QStringList parts = location.mid(1).split(QLatin1Char(':'));
    for (const QString &part : parts) {
        const std::string name = part.toStdString();
        if (name.empty() || onlyDotsAndSpaces(name) ||
            name.find_first_of(std::string("/\\") + separator) != std::string::npos ||
            name.find('\0') != std::string::npos || (separator == '\\' && windowsDeviceName(name)))
            return std::nullopt;
        names.push_back(name);
    }
    return names;
}

std::string CaseInsensitiveFolders::find(const std::string &folder, const std::string &name)
{
    auto listed = m_folders.find(folder);
    if (listed == m_folders.end()) {
        std::vector<std::string> entries;
        try {
            entries = m_fs.listFolder(folder);
        } catch (const PlatformError &) {
        }
        std::sort(entries.begin(), entries.end());
        QHash<QString, std::string> byName;
        for (std::string &entry : entries) {
            const QString key = QString::fromStdString(entry).toCaseFolded();
            if (!byName.contains(key))
                byName.insert(key, std::move(entry));
        }
        listed = m_folders.emplace(folder, std::move(byName)).first;
    }
    return listed->second.value(QString::fromStdString(name).toCaseFolded());
}

std::string resolvePlayerPath(const FileSystem &fs, CaseInsensitiveFolders &folders,
                              const std::string &root, const std::vector<std::string> &names)
{
    const char separator = fs.separator();
    const std::string asWritten = joined(root, names, separator);
    if (fs.fileExists(asWritten))
        return asWritten;

    std::string path = root;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const bool last = i + 1 == names.size();
        const std::string exact = path + names[i];
        const bool found = last ? fs.fileExists(exact) : fs.folderExists(exact);
        std::string name = names[i];
        if (!found) {
            name = folders.find(path, names[i]);
            if (name.empty())
                return asWritten;
        }
        path += name;
        if (!last)
            path += separator;
    }
    return path;
}

ExportRun::ExportRun(const FileSystem &fs, const TrackTable &table, ExportHost &host)
    : m_fs(fs), m_table(table), m_host(host)
{
}

ExportRun::Outcome ExportRun::run(const ExportRequest &request)
{
    m_playerRoot = request.playerDrive.toStdString();
    m_exportDirectory = request.exportDirectory.toStdString();
    m_namesUsed.clear();
    m_written.clear();

    if (!m_fs.folderExists(m_exportDirectory)) {
        m_host.message(QStringLiteral("The default directory doesn't exist."));
        return Outcome::DirectoryMissing;
    }
    if (!m_fs.folderExists(m_playerRoot)) {
        m_host.message(QStringLiteral("The iPod is not connected."));
        return Outcome::PlayerMissing;
    }
    try {
        // The free space of the file system that holds the export directory.
        const QString drive = QString::fromStdString(m_fs.driveOf(m_exportDirectory));
        const std::uint64_t available = m_fs.availableSpace(m_exportDirectory);
        if (available < request.totals.bytes) {
            m_host.message(freeSpaceMessage(drive, available));
            return Outcome::NotEnoughSpace;
        }
    } catch (const PlatformError &error) {
        m_host.failure(error);
        return Outcome::Failed;
    }

    m_host.setBusy(true);
    if (request.totals.count == 0) {
        m_host.message(QStringLiteral("No files were selected"));
        m_host.setBusy(false);
        return Outcome::NothingSelected;
    }
    return copyMarked(request);
}

ExportRun::Outcome ExportRun::copyMarked(const ExportRequest &request)
{
    m_host.showStatus(QString());
    m_playerDrive = m_fs.driveOf(m_playerRoot);
    m_folders = std::make_unique<CaseInsensitiveFolders>(m_fs);
    int n = 1;
    const QString count = QString::number(request.totals.count);
    for (const int k : request.marked) {
        const bool known = m_table.contains(k);
        m_host.showStatus(QStringLiteral(" Exporting file %1 of ").arg(n) + count +
                          QStringLiteral(" (") + (known ? m_table.text(k, FieldTitle) : QString()) +
                          QLatin1Char(')'));
        const QString location = known ? m_table.text(k, FieldLocation) : QString();
        try {
            const ExportName name = exportName(m_table, request.fields, k, location);
            copyOne(location, uniqueName(name));
        } catch (const PlatformError &error) {
            m_host.clearStatus();
            m_host.setBusy(false);
            m_host.failure(error);
            return Outcome::Failed;
        }
        ++n;
    }
    m_host.clearStatus();
    m_host.message(request.totals.count == 1 ? QStringLiteral("File exported successfully")
                                             : QStringLiteral("Files exported successfully"));
    m_host.setBusy(false);
    return Outcome::Exported;
}

// A name not yet written in this run: the composed one, or failing that the first free
// one of "name (2).ext", "name (3).ext", ... Names are compared without regard to
// letter case, since many export drives (FAT, NTFS) do not tell them apart.
QString ExportRun::uniqueName(const ExportName &name)
{
    QString candidate = name.whole();
    for (int n = 2; m_namesUsed.contains(candidate.toCaseFolded()); ++n)
        candidate = numberedName(name, n);
    m_namesUsed.insert(candidate.toCaseFolded());
    return candidate;
}

void ExportRun::copyOne(const QString &location, const QString &destinationName)
{
    const std::optional<std::vector<std::string>> names = locationNames(location, m_fs.separator());
    if (!names) {
        throw PlatformError(EINVAL, "Refused file location in the iPod's database: \"" +
                                        location.toStdString() + "\"");
    }
    const std::string source = resolvePlayerPath(m_fs, *m_folders, m_playerRoot, *names);
    const bool sourceFound = m_fs.fileExists(source);
    // A link may lead anywhere: the file itself must lie on the player's drive.
    if (sourceFound && m_fs.driveOf(source) != m_playerDrive) {
        throw PlatformError(EINVAL, "File location outside the iPod's drive: " + source);
    }

    const std::string destination = m_exportDirectory + destinationName.toStdString();
    try {
        m_fs.copyFile(source, destination, true);
    } catch (const PlatformError &error) {
        // Nothing half-written stays behind: whatever the failed copy left at the
        // destination is removed. Without its source the copy failed before writing
        // anything, so a file of that name from an earlier run stays as it was.
        if (sourceFound && m_fs.fileExists(destination)) {
            try {
                m_fs.deleteFile(destination);
            } catch (const PlatformError &) {
            }
        }
        const std::string description = error.description();
        if (description.find(source) == std::string::npos &&
            description.find(destination) == std::string::npos)
            throw PlatformError(error.number(), description + ": " + destination);
        throw;
    }
    m_written.push_back(destination);
}

} // namespace sondrel
