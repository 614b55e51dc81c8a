#pragma once

#include "compresseddatabase.h"
#include "filesystem.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace sondrel {

// The player's database and the two work files of a check, as full paths.
struct WorkFiles
{
    std::string database;   // <player drive>iPod_Control<sep>iTunes<sep>iTunesDB
    std::string compressed; // the compressed database "iTunesCDB" beside it; empty when none
    std::string stagedCopy; // <export directory>Vemo_temp
    std::string hexFile;    // <export directory>Vemo_temp_hex.txt
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
PlayerDatabase findPlayerDatabase(const FileSystem &fs, const std::string &playerDrive);

// The hex text of `bytes`: two upper-case hexadecimal digits per byte, high digit
// first, nothing between the pairs and nothing after the last ({0, 10, 255} gives
// "000AFF").
std::string hexText(std::span<const std::uint8_t> bytes);

// Writes the hex text of `bytes` to `out` in pieces of a fixed size, so that a large
// database never needs a second buffer of twice its size. Raises PlatformError.
void writeHexText(OutputFile &out, std::span<const std::uint8_t> bytes);

// What staging leaves for the record walk.
struct StagedDatabase
{
    // Inflated when it came from a compressed database, Plain otherwise; Damaged or
    // TooLarge when the compressed database cannot be read (no work file is left then).
    InflateStatus status = InflateStatus::Plain;
    std::vector<std::uint8_t> read; // the staged copy, read back (Plain)
    InflatedDatabase inflated;      // the inflated database (Inflated)

    bool readable() const
    {
        return status == InflateStatus::Plain || status == InflateStatus::Inflated;
    }
    // The staged copy's bytes.
    std::span<const std::uint8_t> bytes() const
    {
        if (status == InflateStatus::Inflated)
            return inflated.bytes();
        return read;
    }
};

// Stages the player's database: copies it to the staged copy (replacing a file of that
// name), reads the copy and writes its hex text to the hex file. A non-empty compressed
// database is read instead of "iTunesDB" (newer players leave a stub or an outdated one
// beside it) and inflated first: the staged copy and the hex text then hold the inflated
// database, so that everything after staging is the same for both kinds; they are
// written while it inflates, and removed again when it cannot be inflated.
// Raises PlatformError when the operating system refuses any step.
StagedDatabase stageDatabase(const FileSystem &fs, const WorkFiles &files,
                             const InflateLimits &limits = {});

} // namespace sondrel
