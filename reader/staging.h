#pragma once

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
    std::string stagedCopy; // <export directory>Vemo_temp
    std::string hexFile;    // <export directory>Vemo_temp_hex.txt
};

// The paths for a player drive and an export directory that both end with `separator`.
WorkFiles workFiles(const QString &playerDrive, const QString &exportDirectory, char separator);

// The hex text of `bytes`: two upper-case hexadecimal digits per byte, high digit
// first, nothing between the pairs and nothing after the last ({0, 10, 255} gives
// "000AFF").
std::string hexText(std::span<const std::uint8_t> bytes);

// Writes the hex text of `bytes` to `out` in pieces of a fixed size, so that a large
// database never needs a second buffer of twice its size. Raises PlatformError.
void writeHexText(OutputFile &out, std::span<const std::uint8_t> bytes);

// Copies the database to the staged copy (replacing a file of that name), reads the
// copy and writes its hex text to the hex file. Returns the copy's bytes.
// Raises PlatformError when the operating system refuses any step.
std::vector<std::uint8_t> stageDatabase(const FileSystem &fs, const WorkFiles &files);

} // namespace sondrel
