#pragma once

#include "compresseddatabase.h"
#include "playerfiles.h"
#include "recordwalk.h"
#include "staging.h"
#include "tracktable.h"

#include <functional>
#include <string>

namespace sondrel {

// How reading a player's database ended.
enum class ReadStatus {
    NoDatabase, // the drive holds no track database
    Unreadable, // the database cannot be inflated, or the walk stopped on damage
    Read,       // every track is in the table, the playlists read as far as they could be
};

struct ReadOutcome
{
    ReadStatus status = ReadStatus::NoDatabase;
    InflateStatus inflate = InflateStatus::Plain; // how a compressed database inflated
    WalkOutcome walk;                             // where the walk stopped
    PlaylistStatus playlists = PlaylistStatus::Absent;

    bool read() const { return status == ReadStatus::Read; }
    int tracks() const { return walk.tracks; }
};

// Reads the track database of a player drive into a track table, without any window:
//
//     DatabaseReader reader(fs, "/media/ipod/", "/home/me/Music/"); // both end with the separator
//     if (!reader.find()) ...                                       // not a player
//     const ReadOutcome outcome = reader.read(table, progress);
//     ...
//     reader.removeWorkFiles();                                     // hex file, then staged copy
//
// With a work folder, the database is staged there ("Vemo_temp" and "Vemo_temp_hex.txt",
// or "Vemo_temp (2)" and "Vemo_temp (2)_hex.txt"... when a name is taken),
// the two work files written on a second thread while the walk reads the database from
// memory; without one nothing is written anywhere. Every operation that
// the operating system refuses raises PlatformError; the work files that may exist then
// are removed by discardWorkFiles(), or by the destructor, without a word.
class DatabaseReader
{
public:
    // Reads without writing anything.
    DatabaseReader(const PlayerFiles &fs, const std::string &playerDrive);
    // Stages the database in `workFolder`.
    DatabaseReader(const PlayerFiles &fs, const std::string &playerDrive,
                   const std::string &workFolder);
    ~DatabaseReader();
    DatabaseReader(const DatabaseReader &) = delete;
    DatabaseReader &operator=(const DatabaseReader &) = delete;

    // Looks for "iTunesDB" and "iTunesCDB" on the drive; false when there is neither.
    bool find();

    // Reads the database that find() found: reads it into memory (inflating a compressed
    // one), stages it, walks it into `table` with `progress` called once per track, waits
    // for the work files and reads the playlists (damaged ones are dropped; the tracks
    // stay). A failure to write the work files comes before the walk's damage, as when
    // they were written first. On Unreadable the work files of a database that could not
    // be inflated are gone already; those of a walk that stopped are left for
    // removeWorkFiles(), as on Read.
    ReadOutcome read(TrackTable &table, const WalkProgress &progress = {},
                     const InflateLimits &limits = {});

    // Deletes the hex file, then the staged copy, that read() made; only those (a file put
    // at their names since is left). Raises PlatformError.
    void removeWorkFiles();
    // The same without a word when either cannot be deleted.
    void discardWorkFiles() noexcept;

    const WorkFiles &files() const { return m_files; }
    const PlayerFiles &fileSystem() const { return m_fs; }
    const std::string &playerDrive() const { return m_playerDrive; }

private:
    const PlayerFiles &m_fs;
    std::string m_playerDrive;
    WorkFiles m_files;
    MadeWorkFiles m_made;
};

// The reading of a player's database that the window's check and the command line share:
// find(), then, once `found` has been called, read() into `table`, and the player's "Play
// Counts" merged into it (mergePlayerPlayCounts). NoDatabase when the drive holds none.
ReadOutcome readPlayer(DatabaseReader &reader, TrackTable &table, const WalkProgress &progress = {},
                       const std::function<void()> &found = {});

} // namespace sondrel
