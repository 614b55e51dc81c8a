#pragma once

#include "itunesdbbuilder.h"

#include <QByteArray>

namespace sondrel::test {

// A large player of plausible track data, the same for the same arguments: a few
// thousand artists and albums, two dozen genres, titles of a few words with some accented
// and Japanese ones, comments of varied length, track, disc and year numbers, the history
// (date added, plays, skips, ratings), and the playlists: the master one and one per
// 1,600 tracks. The tracks carry sizes but no file contents.
// `eight`: every track has exactly the eight string fields 1 to 8 (title, location, album,
// artist, genre, file type, equaliser, comment), all of them filled, and none other.
TestDatabase makeLargePlayer(int tracks, bool eight = false);

// The player's "Play Counts" file for `tracks` tracks: the plays of a week since the last sync.
QByteArray makeLargePlayCounts(int tracks);

} // namespace sondrel::test
