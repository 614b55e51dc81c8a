#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

namespace sondrel {

class PlayerFiles;
class TrackTable;
struct ReadOutcome;

// Where the largest thumbnail of one cover lies in the player's thumbnail files.
struct CoverThumbnail
{
    std::vector<std::string> file; // its names below iPod_Control/Artwork (":F1060_1.ithmb")
    std::uint32_t format = 0;      // the format ID (1060 for 320 x 320 on a classic)
    std::uint64_t offset = 0;      // of the slot in the file
    std::uint32_t bytes = 0;       // the slot's bytes: slotWidth x slotHeight x 2
    int slotWidth = 0, slotHeight = 0;
    // The picture within the slot: from (left, top) up to, not including, (right, bottom).
    int left = 0, top = 0, right = 0, bottom = 0;

    int width() const { return right - left; }
    int height() const { return bottom - top; }
};

// The covers of a player: its "ArtworkDB" read into an index, the pixels left in the
// thumbnail files until a cover is shown or exported.
struct PlayerArtwork
{
    std::string player; // the player's folder, which every file read lies in
    std::string folder; // iPod_Control/Artwork as the disk spells it, with its separator
    std::unordered_map<std::uint32_t, CoverThumbnail> images; // by image ID
    std::unordered_map<std::uint64_t, std::uint32_t> songs;   // song ID -> image ID
};

// How reading the ArtworkDB ended.
enum class ArtworkStatus {
    Read,    // every image record was read (some may have no usable thumbnail)
    Absent,  // the player has no ArtworkDB
    Damaged, // a record runs past its parent or the file is not an ArtworkDB: no covers
};

// Reads the bytes of an ArtworkDB into `artwork` (images and songs; the folder is left
// alone). The file: "mhfd" (header length at 4) holding data sets "mhsd" (index at 12, a
// 16-bit number); set 1 holds the image list "mhli" with one "mhii" per image (children
// count at 12, image ID at 16, 64-bit song ID at 20), each holding "mhod" children of type
// 2 (a 16-bit number at 12) that hold one "mhni" each (format at 16, offset in the file at
// 20, bytes at 24, vertical and horizontal padding as signed 16-bit numbers at 28 and 30,
// height and width at 32 and 34), whose "mhod" of type 3 names the thumbnail file (length
// at 24, encoding at 28: 2 UTF-16LE, 1 UTF-8, the text from 36). The slot is width +
// horizontal padding by height + vertical padding (or, where that does not give the
// slot's bytes, the square the bytes make); a thumbnail whose bytes are not those of an
// RGB565 slot is passed over, and of the rest each image keeps its largest. Damaged input
// gives Damaged and empties `artwork`.
ArtworkStatus parseArtworkDb(std::span<const std::uint8_t> bytes, PlayerArtwork &artwork);

// The image of a track: `imageLink` (the track record's link at 352) when it names an
// image, else the image whose song ID is the track's persistent ID; 0 for none.
std::uint32_t coverImageOf(const PlayerArtwork &artwork, std::uint32_t imageLink,
                           std::uint64_t persistentId);

// Finds iPod_Control/Artwork/ArtworkDB under the player's root (names matched without
// regard to letter case), reads it and sets each track's cover image in `table`, which
// `outcome` has read. Never raises: a damaged, short or missing file means no covers.
ArtworkStatus readPlayerArtwork(const PlayerFiles &fs, const std::string &playerDrive,
                                const ReadOutcome &outcome, TrackTable &table);

// A cover's picture as 8-bit RGB, rows top to bottom without padding.
struct CoverPixels
{
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb; // width x height x 3

    bool isNull() const { return rgb.empty(); }
};

// Decodes an RGB565 little-endian slot (rows top to bottom, no padding) and crops it to
// the thumbnail's picture; empty when the bytes are too few.
CoverPixels decodeThumbnail(const CoverThumbnail &thumb, std::span<const std::uint8_t> slot);

// Reads and decodes image `image` from its thumbnail file (the file's name matched
// without regard to letter case); empty when there is no such image or the file is
// missing, short or cannot be read. Never raises.
CoverPixels readCover(const PlayerFiles &fs, const PlayerArtwork &artwork, std::uint32_t image);

} // namespace sondrel
