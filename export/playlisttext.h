#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

namespace sondrel {

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

// `text` with each control character (tab and line breaks too) made a blank, for a field
// that must keep to its line.
QString oneLine(QString text);

} // namespace sondrel
