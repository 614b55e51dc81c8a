#pragma once

#include "expfilename.h"
#include "filesystem.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace sondrel {

class TrackTable;

// The folders of track k below the export directory when a run sorts into artist and
// album folders: its album artist, else its artist, then its album, each made a valid
// name by safeComponent within `limit`. A value with no name of its own (empty, or only
// blanks and dots) gives "Unknown Artist" or "Unknown Album".
QStringList artistAlbumFolders(const TrackTable &table, int k, const NameLimit &limit);

// One track of a playlist file.
struct PlaylistLine
{
    std::int32_t duration = 0; // milliseconds; 0 or less: unknown
    QString artist;
    QString title;
    QString path; // relative to the export directory, "/" between valid names
};

// The text of a playlist file (.m3u8): UTF-8 without a byte-order mark, "#EXTM3U", then
// for each track "#EXTINF:<seconds>,<artist> - <title>" (whole seconds rounded down, -1
// for an unknown duration; only the title when the artist is empty) and its path, every
// line ended by "\n". Control characters in the artist and title become blanks, so that
// each entry keeps to its two lines.
QByteArray playlistText(const std::vector<PlaylistLine> &lines);

} // namespace sondrel
