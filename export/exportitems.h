#pragma once

#include "coverart.h"
#include "expfilename.h"
#include "filesystem.h"
#include "historytags.h"
#include "namefields.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sondrel {

class TrackTable;

// What one export run works on, taken when the user asks for it.
struct ExportRequest
{
    QString playerDrive;     // the player's drive root, ending with the separator
    QString exportDirectory; // ending with the separator
    std::vector<int> marked; // the marked tracks' numbers, in the order they are copied
    NameFields fields;       // the export-name fields in list order
    ExportOptions options;   // folders and playlists
};

// What a run does with a marked track, as its plan decides from the export directory's
// record and the files there.
enum class ExportStep {
    Copy,         // copied under a free name, or again under the name the record gives it
    Replace,      // the recorded copy is as placed but its source changed (or, with history
                  // tags, it was tagged otherwise): copied anew over it
    AlreadyThere, // the recorded copy and its source are as recorded (or the user changed
                  // the copy and its source is as recorded): nothing to copy
    Compare,      // a file the record does not name is at its name, as large as the source:
                  // compared in full, it is the copy (and recorded) or the name is passed by
    Skip,         // passed over before copying; `refusal` tells why
};

// One marked track as the run copies it.
struct ExportItem
{
    int track = 0; // its number in the track table
    QString title;
    std::vector<std::string> names; // the location's folder and file names
    std::string source;             // the file as the location names it on the player
    QString refusal;                // why it is passed over, if it is
    QString key;                    // in the record: the persistent ID, else the location
    QStringList wantedFolders;      // with artist and album folders: those two, valid names
    ExportName exportName;          // the file name before it is numbered
    std::uint64_t size = 0;         // as the database gives it
    std::int32_t duration = 0;      // milliseconds, for the playlists
    QString artist;                 // for the playlists
    // With history tags: what its copy is tagged with (see historyTagsFor).
    std::optional<HistoryTags> history;
    // With covers: the player's image for its copy (0: none).
    std::uint32_t cover = 0;

    // Decided by the plan.
    ExportStep step = ExportStep::Copy;
    QStringList folders;                    // below the export directory, as spelt on the disk
    QString name;                           // in that folder
    int number = 1;                         // n of " (n)" in the name
    std::string resolvedSource;             // the source as found on the player, once looked at
    std::optional<FileStatus> sourceStatus; // once looked at
    // Set by the copies: its copy is in the folder (copied, or already there).
    bool present = false;
    // Set by the copies: the source's size as copied; TagLib refused its copy, which was
    // copied again untagged, and the note it is listed with.
    std::uint64_t sourceBytes = 0;
    bool tagsRefused = false;
    QString tagsNote;
    // Set by the plan: the recorded copy is a rescued one that lost this many bytes; its
    // source is read again, and the copy replaced only when the whole file reads.
    std::uint64_t rescuedLost = 0;
    // Set by the copies: bytes of its copy that could not be read and are zeros.
    std::uint64_t lost = 0;
    CoverOutcome coverOutcome = CoverOutcome::None; // set by the copies
};

// A track of a playlist: one of the run's items, or a track whose recorded copy it lists.
struct PlaylistTrack
{
    static constexpr std::size_t NoItem = std::size_t(-1);
    std::size_t item = NoItem;
    QString key;
    std::int32_t duration = 0;
    QString artist;
    QString title;
};

// A playlist of the player as a run writes it.
struct ExportPlaylist
{
    QString title;
    std::vector<PlaylistTrack> tracks; // all of the player's playlist, in its order
};

// Everything a run copies, taken at the click, so that the copying thread reads no
// state that the window owns.
struct ExportSnapshot
{
    std::string exportDirectory;   // ends with the separator
    std::string playerRoot;        // ends with the separator
    std::vector<ExportItem> items; // the marked tracks in the request's order
    std::uint64_t bytes = 0;       // the sum of their sizes
    ExportOptions options;
    NameLimit limit;
    std::vector<ExportPlaylist> playlists; // with playlists: those holding a marked track
    // With the library file: the player's whole table (tracks and playlists) as it was at
    // the click; nothing otherwise.
    std::shared_ptr<const TrackTable> library;
    // With covers: the player's artwork, which the items' covers name, and its JPEGs, made
    // once each for the copies and the albums' cover.jpg.
    std::shared_ptr<const PlayerArtwork> artwork;
    std::shared_ptr<CoverJpegs> covers;
};

// The snapshot of a request: each marked track's title, its source built from its
// location, its key in the record, with artist and album folders its two folders
// (artistAlbumFolders), and its export name before numbering. With playlists, every
// playlist of the table that holds a marked track, in table order, with all its tracks.
// With the library file, a copy of the whole table. Touches no file; the names are the plan's.
ExportSnapshot takeSnapshot(const TrackTable &table, const ExportRequest &request, char separator,
                            const NameLimit &limit);

// The key of track k in the record: its persistent ID as 16 hexadecimal digits, or its
// location when the database gives it none.
QString recordKey(const TrackTable &table, int k);

} // namespace sondrel
