#include "trackfinder.h"

#include "tracktable.h"

#include <climits>

namespace sondrel {

QString allTracksCaption(int tracks)
{
    return QStringLiteral("All tracks (%1)").arg(tracks);
}

QString playlistCaption(const Playlist &playlist)
{
    const int tracks = int(distinctTracks(playlist, INT_MAX).size());
    return QStringLiteral("%1 (%2)").arg(playlist.title).arg(tracks);
}

QString shownCaption(int shown, int tracks)
{
    return QStringLiteral("%1 of %2 tracks shown").arg(shown).arg(tracks);
}

std::vector<int> distinctTracks(const Playlist &playlist, int tracks)
{
    std::vector<int> distinct;
    distinct.reserve(playlist.tracks.size());
    std::vector<bool> seen;
    for (const int k : playlist.tracks) {
        if (k < 1 || k > tracks)
            continue;
        if (std::size_t(k) >= seen.size())
            seen.resize(std::size_t(k) + 1, false);
        if (!seen[std::size_t(k)]) {
            seen[std::size_t(k)] = true;
            distinct.push_back(k);
        }
    }
    return distinct;
}

void TrackFinder::reset(const TrackTable *table)
{
    m_table = table;
    m_search.reset();
    m_words = {};
    m_matched.clear();
    setPlaylist(-1);
}

bool TrackFinder::setQuery(const QString &text)
{
    SearchWords words = searchWords(text);
    const bool narrowing = words.narrows(m_words);
    m_words = std::move(words);
    m_matched.clear();
    if (!m_words.isEmpty() && m_table) {
        if (!m_search)
            m_search.emplace(*m_table);
        m_matched = m_search->matchAll(m_words);
    }
    return narrowing;
}

void TrackFinder::setPlaylist(int index)
{
    m_playlistTracks.clear();
    m_inPlaylist.clear();
    m_playlist = -1;
    m_inPlaylistOrder = false;
    if (!m_table || index < 0 || std::size_t(index) >= m_table->playlists().size())
        return;
    m_playlist = index;
    m_inPlaylistOrder = true;
    m_playlistTracks = distinctTracks(m_table->playlists()[std::size_t(index)], m_table->count());
    m_inPlaylist.assign(std::size_t(m_table->count()) + 1, false);
    for (const int k : m_playlistTracks)
        m_inPlaylist[std::size_t(k)] = true;
}

bool TrackFinder::shows(int k) const
{
    if (m_playlist >= 0 &&
        (std::size_t(k) >= m_inPlaylist.size() || k < 0 || !m_inPlaylist[std::size_t(k)]))
        return false;
    return m_words.isEmpty() ||
           (k >= 1 && std::size_t(k) <= m_matched.size() && m_matched[std::size_t(k - 1)]);
}

} // namespace sondrel
