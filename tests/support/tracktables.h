#pragma once

#include "namefields.h"
#include "tracktable.h"

#include <QList>
#include <QString>

#include <cstdint>

namespace sondrel::test {

// One track of a table built by hand.
struct TableTrack
{
    QString title;
    std::uint64_t size = 0;
    std::int32_t duration = 0;
    QString location; // ":iPod_Control:Music:F00:T1.mp3"
    QString artist;
    QString album;
    QString genre;
    QString albumArtist;
    std::uint64_t persistentId = 0;
};

// A track table of the given tracks, as the reader leaves it: IDs 1..n in list order.
inline TrackTable tableOf(const QList<TableTrack> &tracks)
{
    TrackTable table;
    table.reset(int(tracks.size()));
    for (int k = 1; k <= table.count(); ++k) {
        const TableTrack &from = tracks[k - 1];
        Track &track = table.track(k);
        track.id = k;
        track.size = from.size;
        track.duration = from.duration;
        track.persistentId = from.persistentId;
        table.setText(k, FieldTitle, from.title);
        table.setText(k, FieldLocation, from.location);
        table.setText(k, FieldArtist, from.artist);
        table.setText(k, FieldAlbum, from.album);
        table.setText(k, FieldGenre, from.genre);
        table.setText(k, FieldAlbumArtist, from.albumArtist);
    }
    return table;
}

// The Parts' five name fields with only the title chosen: names are "<title>.<type>".
inline NameFields onlyTitleFields()
{
    return {{QStringLiteral("Genre"), false, FieldGenre},
            {QStringLiteral("Artist"), false, FieldArtist},
            {QStringLiteral("Title"), true, FieldTitle},
            {QStringLiteral("Album"), false, FieldAlbum},
            {QStringLiteral("ID"), false, FieldId}};
}

} // namespace sondrel::test
