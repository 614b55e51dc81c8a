#pragma once

#include "artworkdb.h"

#include <cstdint>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace sondrel {

class FileSystem;

using JpegBytes = std::vector<std::uint8_t>;

// The picture as a baseline JPEG of `quality` (1 to 100); empty when it cannot be made.
JpegBytes encodeJpeg(const CoverPixels &pixels, int quality = 90);

// The player's covers as the copies get them: each image read and encoded once, whichever
// copying thread asks first; the others wait for that one. Safe to use from several
// threads at once.
class CoverJpegs
{
public:
    CoverJpegs(const PlayerFiles &fs, std::shared_ptr<const PlayerArtwork> artwork);

    // The JPEG of image `image`; empty when there is none or it cannot be read.
    std::shared_ptr<const JpegBytes> jpeg(std::uint32_t image);

private:
    const PlayerFiles &m_fs;
    std::shared_ptr<const PlayerArtwork> m_artwork;
    std::mutex m_mutex;
    std::map<std::uint32_t, std::shared_future<std::shared_ptr<const JpegBytes>>> m_made;
};

// The picture embedded in the file at `path` (an ID3v2 APIC frame, the front cover first,
// or an MP4 "covr" item) as it is stored, JPEG or PNG; empty when it has none, its format
// takes no pictures, or it cannot be read. Reads at most the file's first MaxTagBytes.
// Never raises.
enum class HistoryFormat;
inline constexpr std::size_t MaxTagBytes = std::size_t(4) << 20;
JpegBytes embeddedPicture(const PlayerFiles &fs, const std::string &player, const std::string &path,
                          HistoryFormat format);

// What the tag step did about a copy's cover.
enum class CoverOutcome {
    None,       // not asked for, or no cover to be had
    Written,    // the player's cover was put in
    OwnPicture, // the file has a picture of its own, left as it is
};

// A cover the tag step is asked to put into a copy that has no picture; `jpeg` is called
// only then, and `outcome` tells what was done.
struct CoverRequest
{
    std::function<std::shared_ptr<const JpegBytes>()> jpeg;
    CoverOutcome outcome = CoverOutcome::None;
};

} // namespace sondrel
