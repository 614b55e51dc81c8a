#pragma once

#include "tracktable.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

namespace sondrel {

// How a walk of the player's database ended.
enum class WalkStatus {
    Complete,     // every announced track was read
    WrongTag,     // a record did not carry the tag it should
    NoTrackList,  // no data set starts with a track list
    Damaged,      // a length, count, offset or string reaches outside its record
    TooManyTracks // the track count cannot fit in the track list's data set
};

// The record the walk was reading when it stopped.
enum class WalkRecord { None, DatabaseHeader, DataSet, TrackList, Track, StringChild };

struct WalkOutcome
{
    WalkStatus status = WalkStatus::Complete;
    WalkRecord record = WalkRecord::None;
    int track = 0;          // the track being read (1..n), 0 before the tracks
    std::size_t offset = 0; // byte offset of that record in the database
    int tracks = 0;         // the track count n, once the track list has been read

    bool complete() const { return status == WalkStatus::Complete; }
};

// Called once per track, before it is read, with j = 1..n.
using WalkProgress = std::function<void(int j, int n)>;

// Walks the player's track database (the raw bytes of "iTunesDB") into `table`.
//
// The database header "mhbd" is followed by data sets "mhsd", each skipped by its total
// length up to the first whose first child is the track list "mhlt". The table is
// re-created with the track list's n tracks as soon as that record has been read (an
// earlier stop leaves it untouched); then each track "mhit" gives its ID, file size
// (offset 36) and duration (offset 40), and, where its header length reaches past
// them, its unique ID (offset 16), track number (44), year (52), disc number (92), its
// history: rating (one byte at 31), play count (80), last play (88), date added (104),
// and, in headers of 244 bytes or more, skip count (156) and last skip (160), in headers of
// 0x164 bytes or more the link to its image in the player's artwork (352);
// its string children "mhod" of types 1 to 8 give fields 4 to 11, of type 12 the
// composer and of type 22 the album artist (a later child of a type replaces an
// earlier one; other types are passed over). Every position is checked against its
// record before it is read, so damaged or hostile input ends the walk with an outcome
// instead of a bad read.
WalkOutcome walkDatabase(std::span<const std::uint8_t> database, TrackTable &table,
                         const WalkProgress &progress = {});

// How reading the playlists ended.
enum class PlaylistStatus {
    Read,   // the playlist data set was read (it may hold no playlist)
    Absent, // the database has no playlist data set
    Damaged // a record of the playlists is damaged: no playlist is kept
};

// Reads the player's playlists into `table`, whose tracks walkDatabase has read. The
// playlist list "mhlp" is the first child of the data set of type 2 (of type 3 when no
// data set has type 2); each playlist "mhyp" has its title in its string child of type
// 1 and its tracks in its items "mhip" (the track's unique ID at offset 24), kept in
// stored order as the track numbers of the tracks carrying those IDs; an item naming
// no track is passed over. The master playlist (byte 20 = 1) is the whole library and
// is left out. Damaged playlist data leaves the table with no playlist and its tracks
// as they were.
PlaylistStatus readPlaylists(std::span<const std::uint8_t> database, TrackTable &table);

// A string of the database as text: UTF-16 little-endian, surrogate pairs joined,
// code units of 0 dropped, an unpaired surrogate giving U+FFFD; an odd last byte
// counts as a code unit of its own.
QString decodeUtf16Le(std::span<const std::uint8_t> bytes);
// A string stored as UTF-8 (string children with 2 at offset 24); NULs dropped.
QString decodeUtf8(std::span<const std::uint8_t> bytes);

// A short English description of an outcome, for logs and test failures.
QString describe(const WalkOutcome &outcome);

} // namespace sondrel
