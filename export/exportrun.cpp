#include "exportrun.h"

#include "exportcopy.h"
#include "exportfinish.h"
#include "exportlayout.h"
#include "exportplan.h"
#include "exportrecord.h"
#include "filesystem.h"
#include "numberformat.h"
#include "platformerror.h"
#include "tracktable.h"

#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

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

QString recordKey(const TrackTable &table, int k)
{
    const std::uint64_t id = table.track(k).persistentId;
    if (id == 0)
        return table.text(k, FieldLocation);
    return QStringLiteral("%1").arg(qulonglong(id), 16, 16, QLatin1Char('0')).toUpper();
}

ExportSnapshot takeSnapshot(const TrackTable &table, const ExportRequest &request, char separator,
                            const NameLimit &limit)
{
    ExportSnapshot snapshot;
    snapshot.exportDirectory = request.exportDirectory.toStdString();
    snapshot.playerRoot = request.playerDrive.toStdString();
    snapshot.options = request.options;
    snapshot.limit = limit;
    if (request.options.covers)
        snapshot.artwork = table.artwork();
    snapshot.items.reserve(request.marked.size());
    for (const int k : request.marked) {
        ExportItem item;
        item.track = k;
        const bool known = table.contains(k);
        item.title = known ? table.text(k, FieldTitle) : QString();
        item.size = known ? table.track(k).size : 0;
        item.duration = known ? table.track(k).duration : 0;
        item.artist = known ? table.text(k, FieldArtist) : QString();
        item.key = known ? recordKey(table, k) : QString();
        const QString location = known ? table.text(k, FieldLocation) : QString();
        if (known && request.options.historyTags) {
            const std::string file = location.section(QLatin1Char(':'), -1).toStdString();
            item.history = historyTagsFor(historyFormat(file), table.track(k).rating,
                                          table.track(k).playCount);
        }
        if (known && request.options.covers && table.artwork()) {
            const std::string file = location.section(QLatin1Char(':'), -1).toStdString();
            if (historyFormat(file) != HistoryFormat::None)
                item.cover = table.track(k).coverImage;
        }
        if (location.isEmpty()) {
            item.refusal = QStringLiteral("missing on the iPod");
        } else if (std::optional<std::vector<std::string>> names =
                       locationNames(location, separator)) {
            item.names = std::move(*names);
            item.source = joined(snapshot.playerRoot, item.names, separator);
        } else {
            item.refusal = QStringLiteral("could not be read: the iPod's database gives an "
                                          "unusable location");
        }
        if (request.options.artistAlbumFolders)
            item.wantedFolders = artistAlbumFolders(table, k, limit);
        item.exportName = exportName(table, request.fields, k, location);
        snapshot.bytes += item.size;
        snapshot.items.push_back(std::move(item));
    }

    if (request.options.writePlaylists) {
        QHash<int, std::size_t> itemOf; // by track number
        for (std::size_t i = 0; i < snapshot.items.size(); ++i)
            itemOf.insert(snapshot.items[i].track, i);
        for (const Playlist &playlist : table.playlists()) {
            ExportPlaylist written;
            written.title = playlist.title;
            bool marked = false;
            for (const int k : playlist.tracks) {
                if (!table.contains(k))
                    continue;
                PlaylistTrack track;
                if (const auto found = itemOf.constFind(k); found != itemOf.cend()) {
                    track.item = *found;
                    marked = true;
                }
                track.key = recordKey(table, k);
                track.duration = table.track(k).duration;
                track.artist = table.text(k, FieldArtist);
                track.title = table.text(k, FieldTitle);
                written.tracks.push_back(std::move(track));
            }
            if (marked)
                snapshot.playlists.push_back(std::move(written));
        }
    }
    if (request.options.libraryFile)
        snapshot.library = std::make_shared<const TrackTable>(table);
    return snapshot;
}

QString exportStatusText(int n, int count, const QString &title)
{
    return QStringLiteral(" Exporting file %1 of %2 (").arg(n).arg(count) + title +
           QLatin1Char(')');
}

QString recordHeldMessage(const QString &directory)
{
    return QStringLiteral("Another export into ") + directory +
           QStringLiteral(" is running. Please wait until it has finished.");
}

QString recordForeignMessage(const QString &path)
{
    return QStringLiteral("The file ") + path +
           QStringLiteral(" is in the way of Sondrel's record of this directory and was left "
                          "as it is. Please move it elsewhere or choose another directory.");
}

ExportRun::ExportRun(const FileSystem &fs, ExportHost &host) : m_fs(fs), m_host(host) {}

ExportRun::~ExportRun()
{
    // Checked but never run: the lock goes, and a record made for it. A run left by an
    // exception (killed) leaves its record as it is, for the next run to read.
    if (m_record && !m_copying) {
        try {
            m_record->close([](const RecordLine &) { return true; });
        } catch (const PlatformError &) {
        }
    }
}

ExportRun::Outcome ExportRun::check(const TrackTable &table, const ExportRequest &request,
                                    const Worker &worker)
{
    const std::string exportDirectory = request.exportDirectory.toStdString();
    if (!m_fs.folderExists(exportDirectory)) {
        m_host.message(QStringLiteral("The default directory doesn't exist."));
        return Outcome::DirectoryMissing;
    }
    if (!m_fs.folderExists(request.playerDrive.toStdString())) {
        m_host.message(QStringLiteral("The iPod is not connected."));
        return Outcome::PlayerMissing;
    }
    try {
        // Held from here to the end of the run: whatever becomes of its path meanwhile, the
        // run works in the folder the user chose, and from it down.
        std::shared_ptr<const HeldFolder> folder = m_fs.holdFolder(exportDirectory);
        m_record = std::make_unique<RecordFile>(m_fs, exportDirectory, folder);
        switch (m_record->open()) {
        case RecordFile::Opened::Held:
            m_record.reset();
            m_host.message(recordHeldMessage(request.exportDirectory));
            return Outcome::RecordHeld;
        case RecordFile::Opened::Foreign:
            m_record.reset();
            m_host.message(recordForeignMessage(QString::fromStdString(exportDirectory) +
                                                QString::fromLatin1(ExportRecordFileName)));
            return Outcome::RecordForeign;
        case RecordFile::Opened::Ready:
            break;
        }

        // The plan reads the record, lists the folders and looks at sources and copies.
        m_snapshot = takeSnapshot(table, request, m_fs.separator(), m_fs.nameLimit());
        m_names = std::make_unique<FolderNames>(m_fs, exportDirectory, m_record->record(),
                                                m_snapshot.limit, folder);
        std::optional<PlatformError> planFailure;
        const auto plan = [&] {
            try {
                CaseInsensitiveFolders playerFolders(m_fs);
                m_bytesToCopy =
                    planExport(m_fs, m_snapshot, m_record->record(), *m_names, playerFolders);
            } catch (const PlatformError &error) {
                planFailure = error;
            }
        };
        if (worker)
            worker(plan);
        else
            plan();
        if (planFailure)
            throw *planFailure;

        // The free space of the file system that holds the export directory, in bytes,
        // against what this run will write.
        const QString drive = QString::fromStdString(m_fs.driveOf(exportDirectory));
        const std::uint64_t available = m_fs.availableSpace(exportDirectory);
        if (available < m_bytesToCopy) {
            m_host.message(freeSpaceMessage(drive, available));
            return Outcome::NotEnoughSpace;
        }
    } catch (const PlatformError &error) {
        m_host.failure(error);
        return Outcome::Failed;
    }

    m_host.setBusy(true);
    if (request.totals.count == 0 || request.marked.empty()) {
        m_host.message(QStringLiteral("No files were selected"));
        m_host.setBusy(false);
        return Outcome::NothingSelected;
    }
    return Outcome::Ready;
}

ExportRun::Outcome ExportRun::preview(const TrackTable &table, const ExportRequest &request)
{
    const std::string exportDirectory = request.exportDirectory.toStdString();
    if (!m_fs.folderExists(request.playerDrive.toStdString())) {
        m_host.message(QStringLiteral("The iPod is not connected."));
        return Outcome::PlayerMissing;
    }
    try {
        const std::string recordPath = exportDirectory + ExportRecordFileName;
        m_seenRecord = std::make_unique<ExportRecord>();
        // A directory that is not there yet holds nothing.
        std::shared_ptr<const HeldFolder> folder;
        if (m_fs.folderExists(exportDirectory))
            folder = m_fs.holdFolder(exportDirectory);
        const std::optional<FileStatus> there =
            folder ? folder->status(ExportRecordFileName) : std::nullopt;
        if (there && there->kind != FileStatus::Kind::File) {
            m_host.message(recordForeignMessage(QString::fromStdString(recordPath)));
            return Outcome::RecordForeign;
        }
        if (there) {
            std::vector<std::uint8_t> bytes;
            try {
                bytes = folder->readFile(ExportRecordFileName);
            } catch (const PlatformError &) {
                // unreadable: as empty, as a run reads it
            }
            std::optional<ExportRecord> read = ExportRecord::parse(bytes);
            if (!read) {
                m_host.message(recordForeignMessage(QString::fromStdString(recordPath)));
                return Outcome::RecordForeign;
            }
            *m_seenRecord = std::move(*read);
        }

        m_snapshot = takeSnapshot(table, request, m_fs.separator(), m_fs.nameLimit());
        m_names = std::make_unique<FolderNames>(m_fs, exportDirectory, *m_seenRecord,
                                                m_snapshot.limit, folder);
        m_names->keepLeftovers();
        CaseInsensitiveFolders playerFolders(m_fs);
        m_bytesToCopy = planExport(m_fs, m_snapshot, *m_seenRecord, *m_names, playerFolders);

        // The free space where the directory is, or would be made.
        std::string existing = exportDirectory;
        while (!m_fs.folderExists(existing)) {
            const std::size_t cut = existing.find_last_of(m_fs.separator(), existing.size() - 2);
            if (existing.size() < 2 || cut == std::string::npos)
                break;
            existing.resize(cut + 1);
        }
        const std::uint64_t available = m_fs.availableSpace(existing);
        if (available < m_bytesToCopy) {
            m_host.message(
                freeSpaceMessage(QString::fromStdString(m_fs.driveOf(existing)), available));
            return Outcome::NotEnoughSpace;
        }
    } catch (const PlatformError &error) {
        m_host.failure(error);
        return Outcome::Failed;
    }
    if (request.totals.count == 0 || request.marked.empty()) {
        m_host.message(QStringLiteral("No files were selected"));
        return Outcome::NothingSelected;
    }
    return Outcome::Ready;
}

ExportReport ExportRun::copy(ExportProgress &progress, const ExportHooks &hooks)
{
    m_copying = true;
    ExportReport report = copyPlanned(m_fs, m_snapshot, *m_record, *m_names, progress, hooks);
    finishRun(m_fs, m_snapshot, *m_record, *m_names, report);
    m_record.reset();
    return report;
}

void ExportRun::tell(const ExportReport &report)
{
    const QString closing = closingMessage(report);
    if (report.failure) {
        m_host.setBusy(false);
        m_host.failure(*report.failure);
    }
    if (!closing.isEmpty())
        m_host.message(closing);
    for (const std::optional<PlatformError> &later :
         {report.errorsFileFailure, report.recordFailure}) {
        if (later && !report.failure) {
            m_host.setBusy(false);
            m_host.failure(*later);
        }
    }
    m_host.setBusy(false);
}

QString rescuedNote(std::uint64_t lost)
{
    return QStringLiteral("%1 KB could not be read and were left silent").arg((lost + 1023) / 1024);
}

QString closingMessage(const ExportReport &report)
{
    if (report.end == ExportReport::End::PlayerGone) {
        QString text = QStringLiteral("The iPod %1 cannot be read any more (%2). %3 of %4 files "
                                      "were exported. Connect it again and export again to "
                                      "copy the rest.")
                           .arg(QString::fromStdString(report.player), report.goneReason)
                           .arg(report.copied + report.already)
                           .arg(report.count);
        for (std::size_t i = 0; i < report.skipped.size() && i < 20; ++i)
            text += QLatin1Char('\n') + report.skipped[i].title + QStringLiteral(": ") +
                    report.skipped[i].reason;
        if (!report.errorsFile.empty()) {
            text += QStringLiteral("\nThe full list is in ") +
                    QString::fromStdString(report.errorsFile) + QLatin1Char('.');
        }
        return text;
    }
    const bool whole = report.end == ExportReport::End::Finished && report.skipped.empty();
    if (whole && report.already == 0) {
        return report.count == 1 ? QStringLiteral("File exported successfully")
                                 : QStringLiteral("Files exported successfully");
    }
    QString text;
    if (report.end == ExportReport::End::Cancelled)
        text = QStringLiteral("Export cancelled: ");
    else if (report.skipped.empty() && !whole)
        return QString(); // the failure report says it all
    text += QStringLiteral("%1 of %2 files exported").arg(report.copied).arg(report.count);
    if (report.already > 0)
        text += QStringLiteral("; %1 were already there").arg(report.already);
    text += QLatin1Char('.');
    constexpr std::size_t Shown = 20;
    for (std::size_t i = 0; i < report.skipped.size() && i < Shown; ++i)
        text += QLatin1Char('\n') + report.skipped[i].title + QStringLiteral(": ") +
                report.skipped[i].reason;
    if (!report.errorsFile.empty()) {
        text += QStringLiteral("\nThe full list is in ") +
                QString::fromStdString(report.errorsFile) + QLatin1Char('.');
    }
    return text;
}

} // namespace sondrel
