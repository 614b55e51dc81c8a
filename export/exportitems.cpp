#include "exportitems.h"

#include "artistfolders.h"
#include "playerpaths.h"
#include "tracktable.h"

#include <QHash>

namespace sondrel {

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
            item.source = playerPath(snapshot.playerRoot, item.names, separator);
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

} // namespace sondrel
