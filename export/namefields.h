#pragma once

#include <QString>

#include <vector>

namespace sondrel {

class TrackTable;

// One entry of the export-name field list: a label, whether it is part of the name,
// and the track-table field it stands for.
struct NameField
{
    QString label;
    bool chosen = false;
    int field = 0;

    friend bool operator==(const NameField &, const NameField &) = default;
};

using NameFields = std::vector<NameField>;

// The list as the program starts with it: Genre, Artist, Title, Album, ID, all chosen,
// then Track, Disc, Year, AlbumArtist and Composer, not chosen.
NameFields defaultNameFields();

// How an export run lays out what it writes, besides the names; all off at start, so
// that every file goes straight into the export directory untouched, and no playlist
// or library file is written.
struct ExportOptions
{
    bool artistAlbumFolders = false; // each file into <album artist, else artist>/<album>/
    bool writePlaylists = false;     // one "<title>.m3u8" per playlist holding exported tracks
    bool historyTags = false;        // ratings and play counts written into the copies' tags
    bool libraryFile = false;        // "Sondrel Library.xml" written for other players
    bool rescue = false;             // damaged files copied with unreadable blocks as zeros
    bool covers = false;             // the player's covers put into copies that have none

    friend bool operator==(const ExportOptions &, const ExportOptions &) = default;
};

// Every export option under the name it is kept by between runs; an option is kept once
// it has its line here.
struct ExportOptionKey
{
    const char *key;
    bool ExportOptions::*option;
};
inline constexpr ExportOptionKey ExportOptionKeys[] = {
    {"artistAlbumFolders", &ExportOptions::artistAlbumFolders},
    {"writePlaylists", &ExportOptions::writePlaylists},
    {"historyTags", &ExportOptions::historyTags},
    {"libraryFile", &ExportOptions::libraryFile},
    {"rescue", &ExportOptions::rescue},
    {"covers", &ExportOptions::covers},
};

// A pattern may be confirmed only while its "Title" entry is chosen.
bool titleChosen(const NameFields &fields);

// The text of field `field` of track k as it goes into an export name: the track number
// with at least two digits ("07"), every other field as the table gives it (numbers
// plain, a field not set empty).
QString nameFieldText(const TrackTable &table, int k, int field);

} // namespace sondrel
