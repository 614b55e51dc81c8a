#pragma once

#include "filesystem.h"
#include "namefields.h"

#include <QString>

#include <cstdio>
#include <span>

namespace sondrel {

class TrackTable;

// The name track k is exported under, from the export directory: with artist and album
// folders those two first, "/" between the names. It is the name a run gives a new copy;
// a run adds " (n)" when the name is taken in the folder.
QString listedExportName(const TrackTable &table, int k, const NameFields &fields,
                         const ExportOptions &options, const NameLimit &limit);

// The forms of the listing.
enum class ListingFormat {
    Tsv,  // a line of captions, then one line per track, tabs and line ends in a text as blanks
    Json, // an array with one object per track, its values typed (numbers, null when not set)
};

// Writes the listing of `tracks` to `out` in UTF-8, as it is made. TSV: each column of the
// grid, as the grid shows it, under its caption, then "Export Name". JSON: one object per
// track under plain keys (id, title, ..., duration_ms, size_bytes, ..., rating in stars,
// plays, skips, the two dates as ISO 8601 UTC, persistent_id as 16 hexadecimal digits,
// location as the path on the player, export_name and the titles of its playlists);
// numbers as JSON numbers, texts the player leaves empty and values it does not have as
// null.
void writeTrackListing(std::FILE *out, ListingFormat format, const TrackTable &table,
                       std::span<const int> tracks, const NameFields &fields,
                       const ExportOptions &options, const NameLimit &limit);

} // namespace sondrel
