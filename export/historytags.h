#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <string>

namespace sondrel {

class StagedCopy;
struct CoverRequest;

// The way the tags are written today: 2, play counts as whole numbers ("12"); copies
// tagged in the first way (1: "12.0") are tagged anew.
inline constexpr int CurrentTagForm = 2;

// The player's history as a copy's tags carry it: whole stars (0: unrated) and plays, and
// the way they were written.
struct HistoryTags
{
    int stars = 0;
    std::uint32_t plays = 0;
    int form = CurrentTagForm;

    friend bool operator==(const HistoryTags &, const HistoryTags &) = default;
};

// The tags a file takes the history in, by the extension of its name (its content must
// agree when they are written).
enum class HistoryFormat {
    None, // copied untouched: protected .m4p and every type not below
    Mpeg, // .mp3: its ID3v2 tag
    Wav,  // .wav: its ID3 chunk
    Aiff, // .aif, .aiff, .aifc: its ID3 chunk
    Mp4,  // .m4a, .m4b: freeform items
};
HistoryFormat historyFormat(const std::string &fileName);

// Whole stars from the database's rating (stars x 20), to the nearest, at most 5.
int starsOf(std::uint8_t rating);

// What a copy of a track is tagged with: nothing for a format that takes no history, and
// for a track unrated and never played (its copy stays byte for byte the player's file).
std::optional<HistoryTags> historyTagsFor(HistoryFormat format, std::uint8_t rating,
                                          std::uint32_t plays);

// The values as written. The POPM rating of Windows Media Player for 1 to 5 stars (0:
// unrated): 1, 64, 128, 196, 255.
int popmRating(int stars);
// FMPS_Rating: stars / 5 with a point ("0.6" for 3); FMPS_Playcount: a whole number, "12".
QString fmpsRating(int stars);
QString fmpsPlaycount(std::uint32_t plays);
// The e-mail of the POPM frame, which the common readers take ratings from.
inline constexpr char PopmEmail[] = "Windows Media Player 9 Series";
// The names of the freeform items of MP4 files.
inline constexpr char Mp4RatingItem[] = "----:com.apple.iTunes:FMPS_Rating";
inline constexpr char Mp4PlaycountItem[] = "----:com.apple.iTunes:FMPS_Playcount";

// Writes `tags` into the staged copy, through the copy's own open file, when its content
// is of `format` (by its first bytes, whatever its name) and not empty:
// - Mpeg, Wav, Aiff: the ID3v2 tag's POPM frames give way to one POPM frame (PopmEmail,
//   popmRating, counter = plays), and TXXX "FMPS_Rating" (left out when unrated) and
//   "FMPS_Playcount" are set. Nothing but the ID3v2 tag changes: ID3v1, APE and RIFF INFO
//   parts stay byte for byte. A 2.4 tag stays 2.4; every other is written as 2.3.
//   WAV and AIFF copies keep exactly one ID3 chunk, named "id3 ".
// - Mp4: the freeform items Mp4RatingItem (removed when unrated) and Mp4PlaycountItem.
// The tagged copy is then held against the bytes it was made from (audioLayout): sound data
// that moved or changed count as not written. Returns why the tags could not be written
// (the copy may then be half changed and is to be discarded), or nothing when they were.
std::optional<QString> writeHistoryTags(StagedCopy &copy, HistoryFormat format,
                                        const HistoryTags &tags);

// The same in one go with the player's cover (either may be left out): a copy without an
// embedded picture gets `cover`'s JPEG as an ID3v2 APIC frame of type 3, front cover
// (Mpeg, Wav, Aiff), or as the MP4 item "covr"; a picture of its own is kept as it is.
// A copy that nothing is written into is not saved at all, so it stays the player's file.
std::optional<QString> writeCopyTags(StagedCopy &copy, HistoryFormat format,
                                     const HistoryTags *tags, CoverRequest *cover);

} // namespace sondrel
