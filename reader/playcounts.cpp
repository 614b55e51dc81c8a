#include "playcounts.h"

#include "platformerror.h"

#include <cstring>

namespace sondrel {

namespace {

constexpr std::size_t HeaderMin = 16;   // up to the entry count
constexpr std::size_t EntryMin = 8;     // plays and the last play
constexpr std::size_t EntryRating = 16; // up to the rating
constexpr std::size_t EntrySkips = 28;  // up to the last skip

std::uint32_t le32(const std::uint8_t *p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

// Adds without wrapping round: a damaged count never makes a small one.
std::uint32_t added(std::uint32_t a, std::uint32_t b)
{
    return a > UINT32_MAX - b ? UINT32_MAX : a + b;
}

} // namespace

PlayCountsStatus mergePlayCounts(std::span<const std::uint8_t> bytes, TrackTable &table)
{
    if (bytes.size() < HeaderMin || std::memcmp(bytes.data(), "mhdp", 4) != 0)
        return PlayCountsStatus::Damaged;
    const std::uint64_t header = le32(bytes.data() + 4);
    const std::uint64_t entry = le32(bytes.data() + 8);
    const std::uint64_t count = le32(bytes.data() + 12);
    if (header < HeaderMin || entry < EntryMin || header > bytes.size() ||
        count > (bytes.size() - header) / entry)
        return PlayCountsStatus::Damaged;
    if (count < std::uint64_t(table.count()))
        return PlayCountsStatus::TooFew;

    const std::uint8_t *at = bytes.data() + header;
    for (int k = 1; k <= table.count(); ++k, at += entry) {
        Track &track = table.track(k);
        track.playCount = added(track.playCount, le32(at));
        if (const std::uint32_t played = le32(at + 4))
            track.lastPlayed = played;
        if (entry >= EntryRating) {
            if (const std::uint32_t rating = le32(at + 12))
                track.rating = std::uint8_t(std::min<std::uint32_t>(rating, 100));
        }
        if (entry >= EntrySkips) {
            track.skipCount = added(track.skipCount, le32(at + 20));
            if (const std::uint32_t skipped = le32(at + 24))
                track.lastSkipped = skipped;
        }
    }
    return PlayCountsStatus::Merged;
}

PlayCountsStatus mergePlayerPlayCounts(const PlayerFiles &fs, const std::string &playerDrive,
                                       const ReadOutcome &outcome, TrackTable &table)
{
    if (!outcome.read())
        return PlayCountsStatus::Absent;
    if (outcome.inflate != InflateStatus::Plain)
        return PlayCountsStatus::Compressed;
    try {
        const std::string control = findEntry(fs, playerDrive, "iPod_Control");
        const std::string itunes = control.empty() ? control : findEntry(fs, control, "iTunes");
        const std::string file = itunes.empty() ? itunes : findEntry(fs, itunes, "Play Counts");
        if (file.empty() || !fs.fileExists(file))
            return PlayCountsStatus::Absent;
        const std::vector<std::uint8_t> bytes = fs.readFileWithin(playerDrive, file);
        return mergePlayCounts(bytes, table);
    } catch (const PlatformError &) {
        return PlayCountsStatus::Unreadable;
    }
}

} // namespace sondrel
