#include "exportfinish.h"

#include "coverart.h"
#include "exportplace.h"
#include "exportplan.h"
#include "exportrecord.h"
#include "historytags.h"
#include "libraryfile.h"
#include "platformerror.h"
#include "playlisttext.h"

namespace sondrel {

namespace {

QString writeFailure(const CopyResult &result)
{
    const QString system = QString::fromStdString(result.message);
    return result.outcome == CopyOutcome::NameRefused
               ? QStringLiteral("name refused by the export folder: ") + system
               : QStringLiteral("could not be written: ") + system;
}

// The path from the export directory of the copy a playlist lists for `track`: the run's
// own, else the newest recorded copy that is still there, spelt as on the disk.
std::optional<std::string> copyOf(const ExportSnapshot &snapshot, RecordFile &record,
                                  FolderNames &names, const PlaylistTrack &track)
{
    if (track.item != PlaylistTrack::NoItem && snapshot.items[track.item].present) {
        const ExportItem &item = snapshot.items[track.item];
        return FolderNames::relative(item.folders, item.name);
    }
    const std::vector<const RecordLine *> lines = record.record().byKey(RecordTrack, track.key);
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
        if (std::optional<std::string> spelt = names.onDisk((*line)->path))
            return spelt;
    }
    return std::nullopt;
}

// The name of an album folder's picture.
const ExportName AlbumCoverName{QStringLiteral("cover"), QStringLiteral(".jpg"),
                                QStringLiteral("cover")};

bool isJpeg(const JpegBytes &bytes)
{
    return bytes.size() > 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF;
}

// The picture of each album folder that holds a copy of the run's tracks: the largest of the
// player's covers of its tracks, or else the first track's own picture when it is a JPEG.
void writeAlbumCovers(const FileSystem &fs, ExportSnapshot &snapshot, RecordFile &record,
                      FolderNames &names, ExportReport &report)
{
    struct Album
    {
        QStringList folders;
        std::uint32_t image = 0;
        std::int64_t area = 0;
        const ExportItem *first = nullptr;
    };
    std::vector<Album> albums;
    QHash<QString, std::size_t> byFolder; // the folders' path, case folded
    for (const ExportItem &item : snapshot.items) {
        if (!item.present || item.folders.isEmpty())
            continue;
        const QString folder = item.folders.join(QLatin1Char('/')).toCaseFolded();
        auto found = byFolder.find(folder);
        if (found == byFolder.end()) {
            found = byFolder.insert(folder, albums.size());
            albums.push_back({item.folders, 0, 0, &item});
        }
        Album &album = albums[*found];
        if (item.cover && snapshot.artwork) {
            const auto thumb = snapshot.artwork->images.find(item.cover);
            const std::int64_t area =
                thumb == snapshot.artwork->images.end()
                    ? 0
                    : std::int64_t(thumb->second.width()) * thumb->second.height();
            if (area > album.area) {
                album.image = item.cover;
                album.area = area;
            }
        }
    }
    if (albums.empty())
        return;
    if (!snapshot.covers && snapshot.artwork)
        snapshot.covers = std::make_shared<CoverJpegs>(fs, snapshot.artwork);

    for (const Album &album : albums) {
        JpegBytes bytes;
        if (album.image && snapshot.covers) {
            if (const std::shared_ptr<const JpegBytes> jpeg = snapshot.covers->jpeg(album.image))
                bytes = *jpeg;
        }
        if (bytes.empty()) {
            const ExportItem &first = *album.first;
            const std::string &source =
                first.resolvedSource.empty() ? first.source : first.resolvedSource;
            bytes =
                embeddedPicture(fs, snapshot.playerRoot, source, historyFormat(first.names.back()));
            if (!isJpeg(bytes))
                continue;
        }
        const QString key = QString::fromStdString(FolderNames::relative(album.folders, {}));
        const PlacedFile placed = placeFile(
            record, names, snapshot, RecordCover, key, AlbumCoverName,
            QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size())),
            album.folders, true);
        if (placed.result.copied() && !placed.unchanged)
            report.written.push_back(placed.path);
        if (!placed.result.copied() && placed.result.outcome != CopyOutcome::Cancelled)
            report.skipped.push_back(
                {key + QStringLiteral("cover.jpg"), placed.path, writeFailure(placed.result)});
    }
}

} // namespace

void finishRun(const FileSystem &fs, ExportSnapshot &snapshot, RecordFile &record,
               FolderNames &names, ExportReport &report)
{
    const auto note = [&](const PlacedFile &placed) {
        if (placed.result.copied())
            report.written.push_back(placed.path);
    };
    try {
        if (report.end == ExportReport::End::Finished) {
            for (const ExportPlaylist &playlist : snapshot.playlists) {
                std::vector<PlaylistLine> lines;
                for (const PlaylistTrack &track : playlist.tracks) {
                    if (std::optional<std::string> path = copyOf(snapshot, record, names, track))
                        lines.push_back({track.duration, track.artist, track.title,
                                         QString::fromStdString(*path)});
                }
                if (lines.empty())
                    continue;
                const PlacedFile placed =
                    placeFile(record, names, snapshot, RecordPlaylist, playlist.title,
                              {playlist.title, QStringLiteral(".m3u8"), QStringLiteral("Playlist")},
                              playlistText(lines));
                note(placed);
                if (!placed.result.copied() && placed.result.outcome != CopyOutcome::Cancelled)
                    report.skipped.push_back({playlist.title + QStringLiteral(".m3u8"), placed.path,
                                              writeFailure(placed.result)});
            }
            if (snapshot.options.artistAlbumFolders && snapshot.options.covers)
                writeAlbumCovers(fs, snapshot, record, names, report);
            if (snapshot.library) {
                const PlacedFile placed = writeLibraryFile(fs, snapshot, record, names);
                note(placed);
                if (!placed.result.copied() && placed.result.outcome != CopyOutcome::Cancelled)
                    report.skipped.push_back({QString::fromLatin1(LibraryFileName), placed.path,
                                              writeFailure(placed.result)});
            }
        }

        if (!report.skipped.empty()) {
            const char *const lineEnd = fs.separator() == '\\' ? "\r\n" : "\n";
            QByteArray text;
            for (const SkippedTrack &track : report.skipped) {
                text += oneLine(track.title).toUtf8() + '\t' +
                        oneLine(QString::fromStdString(track.source)).toUtf8() + '\t' +
                        oneLine(track.reason).toUtf8() + lineEnd;
            }
            const QString errors = QString::fromLatin1(ExportErrorsFileName);
            const PlacedFile placed = placeFile(
                record, names, snapshot, RecordErrors, QString(),
                {errors.left(errors.lastIndexOf(QLatin1Char('.'))), QStringLiteral(".txt"), errors},
                text);
            if (placed.result.copied())
                report.errorsFile = placed.path;
            else
                report.errorsFileFailure =
                    PlatformError(placed.result.error, placed.result.message + ": " + placed.path);
        } else if (report.end == ExportReport::End::Finished) {
            // Nothing passed over: the list of an earlier run is out of date. Only a file
            // that the record names, reached without a link, and as it was written, goes.
            std::vector<std::string> gone;
            for (const RecordLine *line : record.record().byKey(RecordErrors, QString())) {
                const std::optional<std::string> spelt = names.onDisk(line->path);
                if (!spelt)
                    continue;
                const QStringList parts = QString::fromStdString(*spelt).split(QLatin1Char('/'));
                const HeldFolder *folder = names.held(parts.mid(0, parts.size() - 1));
                const auto written = [&](const FileStatus &there) {
                    return there.kind == FileStatus::Kind::File &&
                           asRecorded(*line, there.size, there.modified);
                };
                if (folder && folder->removeFile(parts.last().toStdString(), written))
                    gone.push_back(line->path);
            }
            for (const std::string &path : gone)
                record.forget(path);
        }
    } catch (const PlatformError &error) {
        // The record could not be written: the files it does not name stay hidden
        // temporary files, removed by the next run.
        if (!report.failure) {
            report.end = ExportReport::End::DestinationFailed;
            report.failure = error;
        }
    }

    try {
        record.close([&](const RecordLine &line) { return names.mayBePresent(line.path); });
    } catch (const PlatformError &error) {
        report.recordFailure = error;
    }
}

} // namespace sondrel
