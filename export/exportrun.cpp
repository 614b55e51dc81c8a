#include "exportrun.h"

#include "exportlayout.h"
#include "filesystem.h"
#include "numberformat.h"
#include "platformerror.h"
#include "tracktable.h"

#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <future>
#include <memory>
#include <new>
#include <set>
#include <system_error>

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

ExportRun::Outcome ExportRun::check(const ExportRequest &request)
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
        // The free space of the file system that holds the export directory, in bytes.
        const QString drive = QString::fromStdString(m_fs.driveOf(exportDirectory));
        const std::uint64_t available = m_fs.availableSpace(exportDirectory);
        if (available < request.totals.bytes) {
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

ExportSnapshot takeSnapshot(const TrackTable &table, const ExportRequest &request, char separator,
                            const NameLimit &limit)
{
    ExportSnapshot snapshot;
    snapshot.exportDirectory = request.exportDirectory.toStdString();
    snapshot.playerRoot = request.playerDrive.toStdString();
    snapshot.options = request.options;
    snapshot.items.reserve(request.marked.size());
    RunNames names(limit);
    names.reserve(QString::fromLatin1(ExportErrorsFileName));
    for (const int k : request.marked) {
        ExportItem item;
        item.track = k;
        const bool known = table.contains(k);
        item.title = known ? table.text(k, FieldTitle) : QString();
        item.size = known ? table.track(k).size : 0;
        item.duration = known ? table.track(k).duration : 0;
        item.artist = known ? table.text(k, FieldArtist) : QString();
        const QString location = known ? table.text(k, FieldLocation) : QString();
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
            item.folders = names.folders(artistAlbumFolders(table, k, limit));
        item.name = names.file(item.folders, exportName(table, request.fields, k, location));
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
            for (const int k : playlist.tracks) {
                if (const auto found = itemOf.constFind(k); found != itemOf.cend())
                    written.items.push_back(*found);
            }
            if (written.items.empty())
                continue;
            written.name = names.file(
                {}, {playlist.title, QStringLiteral(".m3u8"), QStringLiteral("Playlist")});
            snapshot.playlists.push_back(std::move(written));
        }
    }
    return snapshot;
}

QString exportStatusText(int n, int count, const QString &title)
{
    return QStringLiteral(" Exporting file %1 of %2 (").arg(n).arg(count) + title +
           QLatin1Char(')');
}

namespace {

QString skipReason(const CopyResult &result)
{
    const QString system = QString::fromStdString(result.message);
    switch (result.outcome) {
    case CopyOutcome::SourceMissing:
        return QStringLiteral("missing on the iPod");
    case CopyOutcome::SourceNotRegular:
        return QStringLiteral("not a regular file");
    case CopyOutcome::SameFile:
        return QStringLiteral("same file as the destination");
    case CopyOutcome::NameRefused:
        return QStringLiteral("name refused by the export folder: ") + system;
    default:
        return QStringLiteral("could not be read: ") + system;
    }
}

// A field of the errors list: tabs and line breaks would break its lines.
QString listField(QString text)
{
    for (QChar &c : text) {
        if (c.unicode() < 32)
            c = QLatin1Char(' ');
    }
    return text;
}

// A failed copy or write as the run-time error report tells it.
PlatformError failureOf(const CopyResult &result)
{
    return PlatformError(result.error, result.message + ": " + result.path);
}

// Replaces the errors list in the export directory with the tracks passed over: one
// line each, title, tab, source path, tab, reason, in UTF-8.
std::string writeErrorsFile(const FileSystem &fs, const std::string &exportDirectory,
                            const std::vector<SkippedTrack> &skipped)
{
    const std::string path = exportDirectory + ExportErrorsFileName;
    const char *const lineEnd = fs.separator() == '\\' ? "\r\n" : "\n";
    QByteArray text;
    for (const SkippedTrack &track : skipped) {
        text += listField(track.title).toUtf8() + '\t' +
                listField(QString::fromStdString(track.source)).toUtf8() + '\t' +
                listField(track.reason).toUtf8() + lineEnd;
    }
    // Written like the sound files: flushed before it replaces an earlier list.
    const CopyResult result = fs.writeFileSafely(path, text.constData(), std::size_t(text.size()));
    if (!result.copied())
        throw failureOf(result);
    return path;
}

// The path of a snapshot's folder, `folders` below the export directory, with its
// separator at the end.
std::string folderPath(const ExportSnapshot &snapshot, const QStringList &folders, char separator)
{
    std::string path = snapshot.exportDirectory;
    for (const QString &folder : folders)
        path += folder.toStdString() + separator;
    return path;
}

// Makes the folders of `folders` that are not there yet, from the top; `made` remembers
// those known to be there. Raises PlatformError for a folder that cannot be made.
void makeFolders(const FileSystem &fs, const ExportSnapshot &snapshot, const QStringList &folders,
                 std::set<std::string> &made)
{
    for (qsizetype depth = 1; depth <= folders.size(); ++depth) {
        const std::string path = folderPath(snapshot, folders.first(depth), fs.separator());
        if (made.count(path))
            continue;
        if (!fs.folderExists(path)) {
            try {
                fs.createFolder(path);
            } catch (const PlatformError &) {
                if (!fs.folderExists(path)) // not made by someone else meanwhile
                    throw;
            }
        }
        made.insert(path);
    }
}

// Writes the file of `playlist` into the export directory with those of its tracks that
// the run placed (`placed`, by item), and notes it in `written`; nothing when it holds
// none of them. Returns the playlist as passed over when its file cannot be written.
std::optional<SkippedTrack> writePlaylist(const FileSystem &fs, const ExportSnapshot &snapshot,
                                          const ExportPlaylist &playlist,
                                          const std::vector<bool> &placed,
                                          std::vector<std::string> &written)
{
    std::vector<PlaylistLine> lines;
    for (const std::size_t i : playlist.items) {
        if (!placed[i])
            continue;
        const ExportItem &item = snapshot.items[i];
        QStringList path = item.folders;
        path << item.name;
        lines.push_back({item.duration, item.artist, item.title, path.join(QLatin1Char('/'))});
    }
    if (lines.empty())
        return std::nullopt;
    const QByteArray text = playlistText(lines);
    const std::string destination = snapshot.exportDirectory + playlist.name.toStdString();
    const CopyResult result =
        fs.writeFileSafely(destination, text.constData(), std::size_t(text.size()));
    if (result.copied()) {
        written.push_back(destination);
        return std::nullopt;
    }
    const QString system = QString::fromStdString(result.message);
    return SkippedTrack{playlist.title + QStringLiteral(".m3u8"), destination,
                        result.outcome == CopyOutcome::NameRefused
                            ? QStringLiteral("name refused by the export folder: ") + system
                            : QStringLiteral("could not be written: ") + system};
}

} // namespace

ExportReport copyTracks(const FileSystem &fs, const ExportSnapshot &snapshot,
                        ExportProgress &progress)
{
    // A copied file is flushed to the disk and renamed on a thread of its own while the
    // next one is copied: the disk flushes several at once (as it does for cp and one
    // sync), and the player is still read one file after the other.
    constexpr std::size_t MaxPlacing = 8;
    struct Placing
    {
        std::size_t index;
        std::string source;
        std::string destination;
        std::future<CopyResult> result;
    };
    std::deque<Placing> placing;
    std::vector<std::pair<std::size_t, SkippedTrack>> skipped;
    std::vector<bool> placed(snapshot.items.size(), false);
    ExportReport report;
    report.count = int(snapshot.items.size());

    // The first failure ends the run; later ones (of placings still under way) add nothing.
    const auto stop = [&](const PlatformError &error) {
        if (!report.failure) {
            report.end = ExportReport::End::DestinationFailed;
            report.failure = error;
        }
    };
    const auto fail = [&](const CopyResult &result) { stop(failureOf(result)); };
    const auto skip = [&](std::size_t index, const std::string &source, const QString &reason) {
        skipped.push_back({index, {snapshot.items[index].title, source, reason}});
    };
    // Takes the results of the placings done, and waits while more than `most` are under way.
    const auto settle = [&](std::size_t most) {
        while (!placing.empty() &&
               (placing.size() > most || placing.front().result.wait_for(std::chrono::seconds(0)) ==
                                             std::future_status::ready)) {
            Placing &done = placing.front();
            const CopyResult result = done.result.get();
            if (result.copied()) {
                ++report.copied;
                placed[done.index] = true;
                report.written.push_back(done.destination);
            } else if (result.outcome == CopyOutcome::DestinationFailed) {
                fail(result);
            } else {
                skip(done.index, done.source, skipReason(result));
            }
            placing.pop_front();
        }
    };

    try {
        CaseInsensitiveFolders folders(fs);
        std::set<std::string> made; // the folders known to be there
        const std::string playerDrive = fs.driveOf(snapshot.playerRoot);
        std::uint64_t before = 0; // bytes of the tracks done, as the database gives them
        for (std::size_t i = 0; i < snapshot.items.size() && !report.failure; ++i) {
            const ExportItem &item = snapshot.items[i];
            if (progress.cancelled()) {
                report.end = ExportReport::End::Cancelled;
                break;
            }
            ++report.reached;
            progress.reach(report.reached, report.count, item.title);
            progress.setBytes(before);

            if (!item.refusal.isEmpty()) {
                skip(i, item.source, item.refusal);
            } else {
                const std::string source =
                    resolvePlayerPath(fs, folders, snapshot.playerRoot, item.names);
                // A link may lead anywhere: the file itself must lie on the player's drive.
                if (fs.fileExists(source) && fs.driveOf(source) != playerDrive) {
                    skip(i, source,
                         QStringLiteral("could not be read: it lies outside the iPod's drive"));
                } else {
                    // A source that is no file fails before the folders are needed: none
                    // is made for it.
                    if (!item.folders.isEmpty() && fs.fileExists(source))
                        makeFolders(fs, snapshot, item.folders, made);
                    CopyOptions options;
                    options.progress = [&](std::uint64_t copied) {
                        progress.setBytes(before + std::min(copied, item.size));
                        return !progress.cancelled();
                    };
                    const std::string destination =
                        folderPath(snapshot, item.folders, fs.separator()) +
                        item.name.toStdString();
                    Staging staging = fs.stageCopy(source, destination, options);
                    if (staging.copy) {
                        placing.push_back({i, source, destination,
                                           std::async(std::launch::async,
                                                      [copy = std::move(staging.copy)] {
                                                          return copy->place();
                                                      })});
                    } else if (staging.result.outcome == CopyOutcome::Cancelled) {
                        report.end = ExportReport::End::Cancelled;
                        break;
                    } else if (staging.result.outcome == CopyOutcome::DestinationFailed) {
                        fail(staging.result);
                        break;
                    } else {
                        skip(i, source, skipReason(staging.result));
                    }
                }
            }
            before += item.size;
            progress.setBytes(before);
            settle(MaxPlacing - 1);
        }
    } catch (const PlatformError &error) {
        stop(error);
    } catch (const std::system_error &error) { // no thread to be had for a placing
        stop(PlatformError(error.code().value(), error.what()));
    } catch (const std::bad_alloc &) {
        stop(PlatformError(ENOMEM, std::strerror(ENOMEM)));
    }
    settle(0); // the files copied before a cancel or a failure are whole: they are placed

    if (report.end == ExportReport::End::Finished) {
        for (std::size_t p = 0; p < snapshot.playlists.size(); ++p) {
            if (std::optional<SkippedTrack> failed =
                    writePlaylist(fs, snapshot, snapshot.playlists[p], placed, report.written))
                skipped.push_back({snapshot.items.size() + p, std::move(*failed)});
        }
    }

    std::stable_sort(skipped.begin(), skipped.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    for (auto &[index, track] : skipped)
        report.skipped.push_back(std::move(track));
    if (!report.skipped.empty()) {
        try {
            report.errorsFile = writeErrorsFile(fs, snapshot.exportDirectory, report.skipped);
        } catch (const PlatformError &error) {
            report.errorsFileFailure = error;
        }
    }
    return report;
}

QString closingMessage(const ExportReport &report)
{
    const bool whole = report.end == ExportReport::End::Finished && report.skipped.empty();
    if (whole) {
        return report.count == 1 ? QStringLiteral("File exported successfully")
                                 : QStringLiteral("Files exported successfully");
    }
    QString text;
    if (report.end == ExportReport::End::Cancelled)
        text = QStringLiteral("Export cancelled: ");
    else if (report.skipped.empty())
        return QString(); // the failure report says it all
    text += QStringLiteral("%1 of %2 files exported.").arg(report.copied).arg(report.count);
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
