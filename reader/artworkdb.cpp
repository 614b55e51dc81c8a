#include "artworkdb.h"

#include "databasereader.h"
#include "platformerror.h"
#include "playerfiles.h"
#include "recordwalk.h"
#include "tracktable.h"

#include <QStringList>

#include <cmath>
#include <cstring>

namespace sondrel {

namespace {

// A bounded view of the file: every read is checked against the record it belongs to.
class Bytes
{
public:
    explicit Bytes(std::span<const std::uint8_t> data) : m_data(data) {}

    std::size_t size() const { return m_data.size(); }
    bool fits(std::size_t at, std::size_t n, std::size_t end) const
    {
        return end <= m_data.size() && at <= end && n <= end - at;
    }
    std::uint32_t u32(std::size_t at) const
    {
        const std::uint8_t *p = m_data.data() + at;
        return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
               std::uint32_t(p[3]) << 24;
    }
    std::uint16_t u16(std::size_t at) const
    {
        return std::uint16_t(m_data[at] | m_data[at + 1] << 8);
    }
    std::uint64_t u64(std::size_t at) const { return u32(at) | std::uint64_t(u32(at + 4)) << 32; }
    bool tagIs(std::size_t at, const char *tag, std::size_t end) const
    {
        return fits(at, 4, end) && std::memcmp(m_data.data() + at, tag, 4) == 0;
    }
    std::span<const std::uint8_t> span(std::size_t at, std::size_t n) const
    {
        return m_data.subspan(at, n);
    }

private:
    std::span<const std::uint8_t> m_data;
};

// A record's header and total length, both within `end`; nothing when they do not fit.
struct Record
{
    std::size_t at = 0, header = 0, total = 0;
    std::size_t end() const { return at + total; }
};
std::optional<Record> record(const Bytes &b, std::size_t at, const char *tag, std::size_t end,
                             std::size_t headerMin)
{
    if (!b.tagIs(at, tag, end) || !b.fits(at, 12, end))
        return std::nullopt;
    const std::size_t header = b.u32(at + 4), total = b.u32(at + 8);
    if (header < headerMin || header > total || !b.fits(at, total, end))
        return std::nullopt;
    return Record{at, header, total};
}

// The thumbnail file's name (":F1060_1.ithmb") as names below the Artwork folder; nothing
// when one of them could lead elsewhere.
std::optional<std::vector<std::string>> fileNames(const QString &text)
{
    std::vector<std::string> names;
    for (const QString &name : text.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        if (name == QLatin1String(".") || name == QLatin1String("..") ||
            name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')) ||
            name.contains(QChar(0)))
            return std::nullopt;
        names.push_back(name.toStdString());
    }
    if (names.empty())
        return std::nullopt;
    return names;
}

// The slot of a thumbnail whose record gives its picture's far edges and its padding.
bool setSlot(CoverThumbnail &thumb, int width, int height, int hpad, int vpad)
{
    if (hpad < 0 || vpad < 0 || width <= hpad || height <= vpad)
        return false;
    const std::uint64_t bytes = thumb.bytes;
    int slotWidth = width + hpad, slotHeight = height + vpad;
    if (std::uint64_t(slotWidth) * std::uint64_t(slotHeight) * 2 != bytes) {
        // Padding that is not the same on both sides: the formats' slots are square.
        const auto side = int(std::llround(std::sqrt(double(bytes / 2))));
        if (std::uint64_t(side) * std::uint64_t(side) * 2 != bytes || side < width || side < height)
            return false;
        slotWidth = slotHeight = side;
    }
    thumb.slotWidth = slotWidth, thumb.slotHeight = slotHeight;
    thumb.left = hpad, thumb.top = vpad, thumb.right = width, thumb.bottom = height;
    return true;
}

// One "mhni" with its file-name child; nothing when it is damaged or no RGB565 slot.
enum class Thumb { Read, Unusable, Damaged };
Thumb readThumbnail(const Bytes &b, std::size_t at, std::size_t end, CoverThumbnail &thumb)
{
    const std::optional<Record> ni = record(b, at, "mhni", end, 0x24);
    if (!ni)
        return Thumb::Damaged;
    const std::uint32_t children = b.u32(at + 12);
    thumb.format = b.u32(at + 16);
    thumb.offset = b.u32(at + 20);
    thumb.bytes = b.u32(at + 24);
    const int vpad = std::int16_t(b.u16(at + 28)), hpad = std::int16_t(b.u16(at + 30));
    const int height = b.u16(at + 32), width = b.u16(at + 34);
    std::optional<std::vector<std::string>> names;
    std::size_t child = at + ni->header;
    for (std::uint32_t k = 0; k < children && child < ni->end(); ++k) {
        const std::optional<Record> od = record(b, child, "mhod", ni->end(), 0x18);
        if (!od)
            return Thumb::Damaged;
        if (b.u16(child + 12) == 3 && b.fits(child, 36, od->end())) {
            const std::size_t length = b.u32(child + 24);
            const std::uint32_t encoding = b.u32(child + 28);
            if (!b.fits(child + 36, length, od->end()))
                return Thumb::Damaged;
            const std::span<const std::uint8_t> text = b.span(child + 36, length);
            names = fileNames(encoding == 2 ? decodeUtf16Le(text) : decodeUtf8(text));
        }
        child = od->end();
    }
    if (!names || !setSlot(thumb, width, height, hpad, vpad))
        return Thumb::Unusable;
    thumb.file = std::move(*names);
    return Thumb::Read;
}

// One "mhii": its largest usable thumbnail into the artwork. False when it is damaged.
bool readImage(const Bytes &b, const Record &ii, PlayerArtwork &artwork)
{
    const std::size_t at = ii.at;
    if (!b.fits(at, 28, ii.end()))
        return false;
    const std::uint32_t children = b.u32(at + 12);
    const std::uint32_t image = b.u32(at + 16);
    const std::uint64_t song = b.u64(at + 20);
    std::optional<CoverThumbnail> best;
    std::size_t child = at + ii.header;
    for (std::uint32_t k = 0; k < children && child < ii.end(); ++k) {
        const std::optional<Record> od = record(b, child, "mhod", ii.end(), 0x18);
        if (!od)
            return false;
        if (b.u16(child + 12) == 2 && od->header < od->total) {
            CoverThumbnail thumb;
            const Thumb read = readThumbnail(b, child + od->header, od->end(), thumb);
            if (read == Thumb::Damaged)
                return false;
            if (read == Thumb::Read &&
                (!best || thumb.width() * thumb.height() > best->width() * best->height()))
                best = std::move(thumb);
        }
        child = od->end();
    }
    if (!best || image == 0)
        return true;
    artwork.images[image] = std::move(*best);
    if (song != 0)
        artwork.songs.emplace(song, image); // the first image of a song stands
    return true;
}

bool readImageList(const Bytes &b, const Record &set, PlayerArtwork &artwork)
{
    // The image list's third field is its count, not a length.
    const std::size_t list = set.at + set.header;
    if (!b.tagIs(list, "mhli", set.end()) || !b.fits(list, 12, set.end()))
        return false;
    const std::size_t header = b.u32(list + 4);
    const std::uint32_t count = b.u32(list + 8);
    if (header < 12 || !b.fits(list, header, set.end()))
        return false;
    std::size_t at = list + header;
    for (std::uint32_t k = 0; k < count; ++k) {
        const std::optional<Record> ii = record(b, at, "mhii", set.end(), 0x24);
        if (!ii || !readImage(b, *ii, artwork))
            return false;
        at = ii->end();
    }
    return true;
}

} // namespace

ArtworkStatus parseArtworkDb(std::span<const std::uint8_t> bytes, PlayerArtwork &artwork)
{
    artwork.images.clear();
    artwork.songs.clear();
    const Bytes b(bytes);
    const std::optional<Record> fd = record(b, 0, "mhfd", b.size(), 12);
    if (!fd || !b.fits(0, 24, fd->end()))
        return ArtworkStatus::Damaged;
    const std::uint32_t children = b.u32(20);
    std::size_t at = fd->header;
    bool images = false, damaged = false;
    for (std::uint32_t k = 0; k < children && at < fd->end() && !damaged; ++k) {
        const std::optional<Record> set = record(b, at, "mhsd", fd->end(), 14);
        if (!set) {
            damaged = true;
        } else if (b.u16(at + 12) == 1 && !images) {
            images = true;
            damaged = !readImageList(b, *set, artwork);
        }
        at = set ? set->end() : at;
    }
    if (images && !damaged)
        return ArtworkStatus::Read;
    artwork.images.clear();
    artwork.songs.clear();
    return ArtworkStatus::Damaged;
}

std::uint32_t coverImageOf(const PlayerArtwork &artwork, std::uint32_t imageLink,
                           std::uint64_t persistentId)
{
    if (imageLink != 0 && artwork.images.count(imageLink))
        return imageLink;
    if (persistentId == 0)
        return 0;
    const auto song = artwork.songs.find(persistentId);
    return song == artwork.songs.end() ? 0 : song->second;
}

ArtworkStatus readPlayerArtwork(const PlayerFiles &fs, const std::string &playerDrive,
                                const ReadOutcome &outcome, TrackTable &table)
{
    table.setArtwork(nullptr);
    for (int k = 1; k <= table.count(); ++k)
        table.track(k).coverImage = 0;
    if (!outcome.read())
        return ArtworkStatus::Absent;
    auto artwork = std::make_shared<PlayerArtwork>();
    try {
        const std::string control = findEntry(fs, playerDrive, "iPod_Control");
        const std::string folder = control.empty() ? control : findEntry(fs, control, "Artwork");
        const std::string file = folder.empty() ? folder : findEntry(fs, folder, "ArtworkDB");
        if (file.empty() || !fs.fileExists(file))
            return ArtworkStatus::Absent;
        const std::vector<std::uint8_t> bytes = fs.readFileWithin(playerDrive, file);
        if (parseArtworkDb(bytes, *artwork) != ArtworkStatus::Read)
            return ArtworkStatus::Damaged;
        artwork->player = playerDrive;
        artwork->folder = folder + fs.separator();
    } catch (const PlatformError &) {
        return ArtworkStatus::Damaged;
    } catch (const std::bad_alloc &) {
        return ArtworkStatus::Damaged;
    }
    for (int k = 1; k <= table.count(); ++k) {
        Track &track = table.track(k);
        track.coverImage = coverImageOf(*artwork, track.artworkLink, track.persistentId);
    }
    table.setArtwork(std::move(artwork));
    return ArtworkStatus::Read;
}

CoverPixels decodeThumbnail(const CoverThumbnail &thumb, std::span<const std::uint8_t> slot)
{
    CoverPixels pixels;
    const std::size_t rowBytes = std::size_t(thumb.slotWidth) * 2;
    if (thumb.width() <= 0 || thumb.height() <= 0 || thumb.right > thumb.slotWidth ||
        thumb.bottom > thumb.slotHeight || slot.size() < rowBytes * std::size_t(thumb.slotHeight))
        return pixels;
    pixels.width = thumb.width();
    pixels.height = thumb.height();
    pixels.rgb.resize(std::size_t(pixels.width) * std::size_t(pixels.height) * 3);
    std::uint8_t *out = pixels.rgb.data();
    for (int y = thumb.top; y < thumb.bottom; ++y) {
        const std::uint8_t *in =
            slot.data() + std::size_t(y) * rowBytes + std::size_t(thumb.left) * 2;
        for (int x = thumb.left; x < thumb.right; ++x, in += 2) {
            const unsigned v = unsigned(in[0]) | unsigned(in[1]) << 8;
            const unsigned r = v >> 11, g = (v >> 5) & 0x3F, b = v & 0x1F;
            // Widened so that full scale stays full scale: 31 -> 255, 63 -> 255.
            *out++ = std::uint8_t(r << 3 | r >> 2);
            *out++ = std::uint8_t(g << 2 | g >> 4);
            *out++ = std::uint8_t(b << 3 | b >> 2);
        }
    }
    return pixels;
}

CoverPixels readCover(const PlayerFiles &fs, const PlayerArtwork &artwork, std::uint32_t image)
{
    const auto found = artwork.images.find(image);
    if (found == artwork.images.end() || artwork.folder.empty())
        return {};
    const CoverThumbnail &thumb = found->second;
    try {
        std::string path = artwork.folder;
        for (std::size_t i = 0; i < thumb.file.size(); ++i) {
            path = findEntry(fs, path, thumb.file[i]);
            if (path.empty())
                return {};
            if (i + 1 < thumb.file.size())
                path += fs.separator();
        }
        const std::vector<std::uint8_t> slot =
            fs.readFilePart(artwork.player, path, thumb.offset, thumb.bytes);
        return decodeThumbnail(thumb, slot);
    } catch (const PlatformError &) {
        return {};
    } catch (const std::bad_alloc &) {
        return {};
    }
}

} // namespace sondrel
