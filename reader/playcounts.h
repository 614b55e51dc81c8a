#pragma once

#include "databasereader.h"
#include "playerfiles.h"
#include "tracktable.h"

#include <cstdint>
#include <span>
#include <string>

namespace sondrel {

// How the player's "Play Counts" file was taken into the track table.
enum class PlayCountsStatus {
    Merged,     // its counts, dates and ratings are in the table
    Absent,     // the player has no such file
    Damaged,    // short, not such a file, or its entries run past its end
    TooFew,     // fewer entries than the table has tracks
    Compressed, // the player keeps a compressed database, whose tracks the file does not follow
    Unreadable, // the file is there but could not be read
};

// Merges the bytes of a "Play Counts" file into `table`, whose tracks are in the stored
// order of the database's track list. The file: "mhdp", its header length at 4, entry
// length at 8 and entry count at 12 (little-endian); entry i belongs to track i + 1 and
// holds the plays since the last sync at 0, the last play at 4, the rating at 12 (entries
// of 16 bytes or more), and the skips since the last sync at 20 and the last skip at 24
// (entries of 28 bytes or more). Plays and skips are added to the track's counts; dates
// that are not 0 replace the track's, as does a rating that is not 0. A file that is
// Damaged or TooFew changes nothing.
PlayCountsStatus mergePlayCounts(std::span<const std::uint8_t> bytes, TrackTable &table);

// Finds "iPod_Control/iTunes/Play Counts" under the player's root (which ends with the
// separator; every name matched without regard to letter case) and merges it into
// `table`, which `outcome` has read. Nothing is done unless the database was read, nor
// for a player whose database was compressed. Never raises: a file that cannot be read
// changes nothing.
PlayCountsStatus mergePlayerPlayCounts(const PlayerFiles &fs, const std::string &playerDrive,
                                       const ReadOutcome &outcome, TrackTable &table);

} // namespace sondrel
