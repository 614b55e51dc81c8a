#pragma once

#include <QString>
#include <QStringView>

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sondrel {

class TrackTable;

// Finding tracks by words, as the main window's find box and the command line do it.
//
// A track matches a query when every word of the query occurs in one of its title,
// artist, album, album artist, composer, genre or comment; different words may match
// different fields. Letter case and accents do not count: both sides are compared in
// their folded form (canonical decomposition, combining marks dropped, then case
// folding), so "beyonce" finds "Beyoncé" and "SIGUR ROS" finds "Sigur Rós".
//
//     const TrackSearch search(table);              // folds every track once
//     const SearchWords words = searchWords(query); // folds the query
//     std::vector<int> found = search.filter(allTracks, words);

// The text of one field as the search compares it, in UTF-8.
std::string foldedForSearch(QStringView text);

// A query split on blanks, each word folded; no words when the query is blank. A query
// without words matches every track.
struct SearchWords
{
    std::vector<std::string> words;

    bool isEmpty() const { return words.empty(); }
    // True when every track these words match is matched by `wider` as well: each word
    // of `wider` lies inside one of these words ("sigur r" narrows "sigur").
    bool narrows(const SearchWords &wider) const;

    friend bool operator==(const SearchWords &, const SearchWords &) = default;
};

SearchWords searchWords(QStringView query);

// The folded text of every track of a table, made once and searched at every query.
// Holds no reference to the table: a new reading of the player needs a new search.
class TrackSearch
{
public:
    TrackSearch() = default;
    explicit TrackSearch(const TrackTable &table);

    // The number of tracks it was made from; tracks 1..count() can be asked for.
    int count() const { return int(m_start.empty() ? 0 : m_start.size() - 1); }

    // Whether track k matches every word; a track outside the table matches nothing.
    bool matches(int k, const SearchWords &words) const;
    // The tracks of `tracks` that match, in the order given.
    std::vector<int> filter(std::span<const int> tracks, const SearchWords &words) const;
    // Whether each track matches (element k - 1 for track k), the text of all tracks
    // searched at once: quicker than asking track by track when most are to be asked.
    std::vector<char> matchAll(const SearchWords &words) const;

private:
    std::string_view textOf(int k) const
    {
        const std::size_t from = m_start[std::size_t(k - 1)];
        return std::string_view(m_text).substr(from, m_start[std::size_t(k)] - from);
    }

    // The searched fields of all tracks, each track's fields separated by a line end
    // (which no word holds), track k from m_start[k - 1] to m_start[k].
    std::string m_text;
    std::vector<std::size_t> m_start;
};

} // namespace sondrel
