#pragma once

#include <QString>

#include <cstdint>

namespace sondrel {

class TrackTable;

// The columns in which the track table is shown: the main window's grid (whose columns 0
// and 1 are the row header and the mark) and the command line's listing. Columns 2 to 20
// are a track's ID, title, artist, album, genre, comment, duration, size in Kb, file
// type, track number, disc number, year, album artist and composer, then its history:
// rating, plays, skips, last played and date added; then whether the player has its cover.
enum TrackColumn {
    ColumnId = 2,
    ColumnTitle,
    ColumnArtist,
    ColumnAlbum,
    ColumnGenre,
    ColumnComment,
    ColumnDuration,
    ColumnSize,
    ColumnFileType,
    ColumnTrackNumber,
    ColumnDiscNumber,
    ColumnYear,
    ColumnAlbumArtist,
    ColumnComposer,
    ColumnRating,
    ColumnPlays,
    ColumnSkips,
    ColumnLastPlayed,
    ColumnDateAdded,
    ColumnCover,    // "yes" when the player holds a cover of the track
    TrackColumnEnd, // one past the last column
};
inline constexpr int FirstTrackColumn = ColumnId;

// The caption of column `col` ("" for the row header, "X" for the mark, "Title", ...).
QString trackColumnCaption(int col);

// The text of column `col` for track k: the ID, the track, disc and year numbers plain
// (empty when not set), the duration as "hh:mm:ss" ("N.A." when negative), the size in Kb
// in the "Standard" form, the rating as stars, plays and skips plain and the two dates as
// "yyyy-MM-dd HH:mm" (each empty when not set), every other field as stored. Empty for a
// column that shows no field.
QString trackColumnText(const TrackTable &table, int k, int col);

// The duration cell for a number of milliseconds.
QString durationCell(std::int32_t milliseconds);
// The size cell for a number of bytes: Kb rounded to two decimals, digits grouped.
QString sizeCell(std::uint64_t bytes);
// The cell of a track, disc or year number: plain decimal, empty for 0 (not set).
QString numberCell(std::uint32_t number);

} // namespace sondrel
