#pragma once

#include "tracksearch.h"

#include <QString>

#include <optional>
#include <vector>

namespace sondrel {

class TrackTable;
struct Playlist;

// "All tracks (N)".
QString allTracksCaption(int tracks);
// "<title> (<n>)", n counting each track of the playlist once.
QString playlistCaption(const Playlist &playlist);
// "<n> of <N> tracks shown".
QString shownCaption(int shown, int tracks);

// The tracks of a playlist in its order, each once (where it first stands).
std::vector<int> distinctTracks(const Playlist &playlist, int tracks);

// What the find row asks the grid to show: the tracks of the chosen playlist (or all),
// whose texts hold every word of the find box. The search is made from the table at the
// first query after a reading of the player, not before and not at each keystroke.
class TrackFinder
{
public:
    // A new reading of the player (or none): all tracks, the search made anew when asked.
    void reset(const TrackTable *table);

    // The find box's text; true when the tracks it shows are among those shown before,
    // so that only those need to be asked again.
    bool setQuery(const QString &text);
    // The playlist shown, by its index in the table's playlists; -1 for all tracks. It
    // shows in its own order until the list is sorted.
    void setPlaylist(int index);
    // The list was sorted by a column: the rows shown follow its order from now on.
    void sorted() { m_inPlaylistOrder = false; }
    bool inPlaylistOrder() const { return m_inPlaylistOrder; }

    // Whether a find text or a playlist narrows the list.
    bool filtering() const { return !m_words.isEmpty() || m_playlist >= 0; }
    int playlist() const { return m_playlist; }
    // The chosen playlist's tracks in its order, each once; empty for all tracks.
    const std::vector<int> &playlistTracks() const { return m_playlistTracks; }
    // Whether track k is shown.
    bool shows(int k) const;

private:
    const TrackTable *m_table = nullptr;
    std::optional<TrackSearch> m_search;
    SearchWords m_words;
    std::vector<char> m_matched; // by track number - 1, while there are words
    int m_playlist = -1;
    bool m_inPlaylistOrder = false;
    std::vector<int> m_playlistTracks;
    std::vector<bool> m_inPlaylist; // by track number
};

} // namespace sondrel
