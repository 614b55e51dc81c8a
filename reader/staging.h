#pragma once

#include "compresseddatabase.h"
#include "playerfiles.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace sondrel {

// The player's database and the two work files of a check, as full paths.
struct WorkFiles
{
    std::string player;     // the player drive's root: the database is read only within it
    std::string database;   // <player drive>iPod_Control<sep>iTunes<sep>iTunesDB
    std::string compressed; // the compressed database "iTunesCDB" beside it; empty when none
    std::string stagedCopy; // <export directory>Vemo_temp
    std::string hexFile;    // <export directory>Vemo_temp_hex.txt
};

// The work files a check made, each with the identity it was made with, so that only those
// are ever removed: a file put at one of their names since is someone else's.
class MadeWorkFiles
{
public:
    void add(std::string path, FileIdentity identity);
    bool empty() const { return m_files.empty(); }
    // Deletes each file made that is still the one made, the last made first; one that is
    // gone or is another file now is passed over. Raises PlatformError, and those not yet
    // deleted stay to be deleted.
    void remove(const PlayerFiles &fs);
    // The same without a word when one cannot be deleted.
    void discard(const PlayerFiles &fs) noexcept;

private:
    std::vector<std::pair<std::string, FileIdentity>> m_files;
};

// The paths for a player drive and an export directory that both end with `separator`,
// the database spelled as the player's software spells it.
WorkFiles workFiles(const QString &playerDrive, const QString &exportDirectory, char separator);

// The database files on a player, spelled as on its drive: "iTunesDB" and, on the newer
// players, the compressed "iTunesCDB", both in iPod_Control/iTunes/ and every name matched
// without regard to letter case (players formatted on other systems say "ipod_control").
struct PlayerDatabase
{
    std::string plain;      // empty when there is no "iTunesDB"
    std::string compressed; // empty when there is no "iTunesCDB"

    bool found() const { return !plain.empty() || !compressed.empty(); }
};

// Looks for the database files under the player drive's root (which ends with the separator).
PlayerDatabase findPlayerDatabase(const PlayerFiles &fs, const std::string &playerDrive);

// The hex text of `bytes`: two upper-case hexadecimal digits per byte, high digit
// first, nothing between the pairs and nothing after the last ({0, 10, 255} gives
// "000AFF").
std::string hexText(std::span<const std::uint8_t> bytes);

// Writes the hex text of `bytes` to `out` in pieces of a fixed size, so that a large
// database never needs a second buffer of twice its size. Raises PlatformError.
void writeHexText(OutputFile &out, std::span<const std::uint8_t> bytes);

class WorkFileWriter;

// The staged database: its bytes in memory for the record walk, and the two work files,
// which a thread of their own goes on writing while the walk reads the bytes.
class StagedDatabase
{
public:
    StagedDatabase();
    StagedDatabase(StagedDatabase &&) noexcept;
    StagedDatabase &operator=(StagedDatabase &&) noexcept;
    // Stops the writing where it is when finish() was not called (on the way out of a
    // failure: the work files are removed then anyway).
    ~StagedDatabase();

    // Inflated when it came from a compressed database, Plain otherwise; Damaged or
    // TooLarge when the compressed database cannot be read (no work file is left then).
    InflateStatus status = InflateStatus::Plain;
    // The files staged from, with the work files as they were made: "Vemo_temp" and
    // "Vemo_temp_hex.txt", or the first free pair "Vemo_temp (2)" and "Vemo_temp
    // (2)_hex.txt", ... when a name is taken.
    WorkFiles files;
    // The work files made, for the caller to remove.
    MadeWorkFiles made;

    bool readable() const
    {
        return status == InflateStatus::Plain || status == InflateStatus::Inflated;
    }
    // The database's bytes, as the staged copy holds them.
    std::span<const std::uint8_t> bytes() const
    {
        if (status == InflateStatus::Inflated)
            return m_inflated.bytes();
        return m_read;
    }

    // Raises what writing the work files has raised so far (a full disk), so that a
    // long walk beside them can stop early. Does not wait.
    void raiseIfWritingFailed() const;
    // Waits until both work files are written and closed. Raises PlatformError when
    // writing or closing them failed.
    void finish();

private:
    friend void stageInto(StagedDatabase &, const PlayerFiles &, const InflateLimits &);
    friend StagedDatabase startStaging(const PlayerFiles &, const WorkFiles &,
                                       const InflateLimits &);

    std::vector<std::uint8_t> m_read; // the database as read (Plain)
    InflatedDatabase m_inflated;      // the inflated database (Inflated)
    std::unique_ptr<OutputFile> m_copy;
    std::unique_ptr<OutputFile> m_hex;
    std::unique_ptr<WorkFileWriter> m_writer;
};

// Stages the player's database: reads it into memory (only a regular file reached within
// `files.player`, when that is set) and writes it to the staged copy and its hex text to
// the hex file, both made new: a name taken by anything (a file, a folder, a link) is
// never opened, written or removed, and the pair takes the next free names instead. A non-empty
// compressed database is read instead of "iTunesDB" (newer players leave a stub or an
// outdated one beside it) and inflated first: the staged copy and the hex text then hold
// the inflated database, so that everything after staging is the same for both kinds;
// they are written while it inflates, and removed again when it cannot be inflated.
// Returns as soon as the bytes are in memory, while the work files are still being
// written on a second thread: finish() waits for them. Without a staged copy's path
// (`files.stagedCopy` empty) the database is only read, and no file is written.
// Raises PlatformError when the operating system refuses any step, after removing the work
// files it made.
StagedDatabase startStaging(const PlayerFiles &fs, const WorkFiles &files,
                            const InflateLimits &limits = {});

// startStaging() and finish(): the work files are complete when it returns.
StagedDatabase stageDatabase(const PlayerFiles &fs, const WorkFiles &files,
                             const InflateLimits &limits = {});

} // namespace sondrel
