#include "recordwalk.h"

#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace sondrel {

namespace {

// The fewest bytes of each record that the walk reads: tag and header length for the
// database header; up to the total length for data sets and the track list's count;
// up to the duration (offset 40) for a track; up to the type for a string child, and
// the 40-byte string header for the children that carry one.
constexpr std::size_t DatabaseHeaderMin = 8;
constexpr std::size_t DataSetMin = 12;
constexpr std::size_t TrackListMin = 12;
constexpr std::size_t TrackMin = 44;
constexpr std::size_t ChildMin = 16;
constexpr std::size_t StringHeader = 40;
// The playlists: a data set's type (offset 12); the playlist list's count (offset 8);
// a playlist up to its master flag (byte 20); any record's total length (offset 8); an
// item's track ID (offset 24), inside its header.
constexpr std::size_t TypedDataSetMin = 16;
constexpr std::size_t PlaylistListMin = 12;
constexpr std::size_t PlaylistMin = 24;
constexpr std::size_t RecordMin = 12;
constexpr std::size_t ItemMin = 28;

// Track record numbers that only longer headers hold, with the offset of each.
struct OptionalNumber
{
    std::size_t offset;
    std::uint32_t Track::*field;
};
constexpr OptionalNumber OptionalNumbers[] = {
    {16, &Track::uniqueId},   {44, &Track::trackNumber}, {52, &Track::year},
    {92, &Track::discNumber}, {80, &Track::playCount},   {88, &Track::lastPlayed},
    {104, &Track::dateAdded},
};

// The rating, one byte (stars x 20), where longer headers hold it.
constexpr std::size_t RatingOffset = 31;
// The skip count and the last skip, which only headers of 244 bytes or more hold.
constexpr std::size_t SkipsHeaderMin = 244;
constexpr std::size_t SkipCountOffset = 156;
constexpr std::size_t LastSkippedOffset = 160;

// The track's persistent ID, a little-endian 64-bit number, where longer headers hold it.
constexpr std::size_t PersistentIdOffset = 112;
// The link to the track's image in the player's artwork, in headers of 0x164 bytes or more.
constexpr std::size_t ArtworkLinkHeaderMin = 0x164;
constexpr std::size_t ArtworkLinkOffset = 352;

// Where the text of a string child of type `type` goes; nothing for the types not kept.
QString *stringSlot(Track &track, std::int32_t type)
{
    if (type >= 1 && type <= 8)
        return &track.texts[std::size_t(type - 1)];
    if (type == 12)
        return &track.composer;
    if (type == 22)
        return &track.albumArtist;
    return nullptr;
}

// String child types whose texts many tracks share: album, artist, genre, file type,
// equaliser, composer, album artist. Titles, locations and comments are mostly unique.
bool isSharedType(std::int32_t type)
{
    return (type >= 3 && type <= 7) || type == 12 || type == 22;
}

// The texts of a walk by the bytes they were decoded from, so that equal strings share one
// text: an open-addressing table over a copy of each distinct string's bytes, kept
// together so that a look-up stays in a small part of memory whatever the database's size.
class SharedTexts
{
public:
    template <typename Decode>
    QString text(std::span<const std::uint8_t> raw, bool utf8, const Decode &decode)
    {
        const std::string_view bytes(reinterpret_cast<const char *>(raw.data()), raw.size());
        const std::size_t hash = std::hash<std::string_view>()(bytes) ^ (utf8 ? 1 : 0);
        if (2 * (m_used + 1) > m_slots.size())
            grow();
        const std::size_t mask = m_slots.size() - 1;
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            Slot &slot = m_slots[i];
            if (!slot.used) {
                slot.used = true;
                slot.hash = hash;
                slot.offset = m_bytes.size();
                slot.length = bytes.size();
                m_bytes.append(bytes);
                slot.text = decode();
                ++m_used;
                return slot.text;
            }
            if (slot.hash == hash && slot.length == bytes.size() &&
                std::memcmp(m_bytes.data() + slot.offset, bytes.data(), bytes.size()) == 0)
                return slot.text;
        }
    }

private:
    struct Slot
    {
        std::size_t hash = 0;
        std::size_t offset = 0;
        std::size_t length = 0;
        QString text;
        bool used = false;
    };

    void grow()
    {
        std::vector<Slot> slots(std::max<std::size_t>(1024, 2 * m_slots.size()));
        const std::size_t mask = slots.size() - 1;
        for (Slot &slot : m_slots) {
            if (!slot.used)
                continue;
            std::size_t i = slot.hash & mask;
            while (slots[i].used)
                i = (i + 1) & mask;
            slots[i] = std::move(slot);
        }
        m_slots = std::move(slots);
    }

    std::vector<Slot> m_slots;
    std::size_t m_used = 0;
    std::string m_bytes; // every distinct string's bytes, one after the other
};

// The database's bytes, read only where a range check allows it.
class RecordReader
{
public:
    explicit RecordReader(std::span<const std::uint8_t> bytes)
        : m_data(bytes.data()), m_size(bytes.size())
    {
    }

protected:
    // True when `length` bytes from `pos` lie inside [.., end).
    static bool fits(std::size_t pos, std::size_t length, std::size_t end)
    {
        return pos <= end && length <= end - pos;
    }
    bool tagIs(std::size_t pos, std::size_t end, const char (&tag)[5]) const
    {
        return fits(pos, 4, end) && std::memcmp(m_data + pos, tag, 4) == 0;
    }
    // The signed 32-bit little-endian number at `pos` (the caller has checked the range).
    std::int32_t number(std::size_t pos) const
    {
        const std::uint8_t *p = m_data + pos;
        return std::int32_t(std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 |
                            std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24);
    }
    // A length read at `pos` that must lie in [minimum, maximum]; -1 when it does not.
    std::int64_t length(std::size_t pos, std::size_t minimum, std::size_t maximum) const
    {
        const std::int64_t value = number(pos);
        if (value < 0 || std::size_t(value) < minimum || std::size_t(value) > maximum)
            return -1;
        return value;
    }
    // The string of the string child at `child` (total length `total`, at least the
    // string header): `bytes` from offset 40, UTF-8 when offset 24 holds 2, else UTF-16LE.
    // False when the string runs past the child.
    bool rawStringOf(std::size_t child, std::size_t total, std::span<const std::uint8_t> &raw,
                     bool &utf8) const
    {
        const std::int64_t bytes = length(child + 28, 0, total - StringHeader);
        if (bytes < 0)
            return false;
        raw = {m_data + child + StringHeader, std::size_t(bytes)};
        utf8 = number(child + 24) == 2;
        return true;
    }
    static QString decode(std::span<const std::uint8_t> raw, bool utf8)
    {
        return utf8 ? decodeUtf8(raw) : decodeUtf16Le(raw);
    }
    // The text of the string child at `child`; false as above.
    bool stringOf(std::size_t child, std::size_t total, QString &text) const
    {
        std::span<const std::uint8_t> raw;
        bool utf8 = false;
        if (!rawStringOf(child, total, raw, utf8))
            return false;
        text = decode(raw, utf8);
        return true;
    }

    const std::uint8_t *m_data;
    std::size_t m_size;
};

class Walk : RecordReader
{
public:
    Walk(std::span<const std::uint8_t> bytes, TrackTable &table, const WalkProgress &progress)
        : RecordReader(bytes), m_table(table), m_progress(progress)
    {
    }

    WalkOutcome run();

private:
    WalkOutcome stop(WalkStatus status, WalkRecord record, std::size_t offset) const
    {
        WalkOutcome out;
        out.status = status;
        out.record = record;
        out.track = m_track;
        out.offset = offset;
        out.tracks = m_tracks;
        return out;
    }

    WalkOutcome readTrack(std::size_t pos, std::size_t end, std::int64_t &total);

    TrackTable &m_table;
    const WalkProgress &m_progress;
    SharedTexts m_shared;
    int m_track = 0;
    int m_tracks = 0;
};

WalkOutcome Walk::run()
{
    // The database header: only its header length is used, to find the first data set.
    if (!tagIs(0, m_size, "mhbd"))
        return stop(WalkStatus::WrongTag, WalkRecord::DatabaseHeader, 0);
    if (!fits(0, DatabaseHeaderMin, m_size))
        return stop(WalkStatus::Damaged, WalkRecord::DatabaseHeader, 0);
    const std::int64_t headerLength = length(4, DatabaseHeaderMin, m_size);
    if (headerLength < 0)
        return stop(WalkStatus::Damaged, WalkRecord::DatabaseHeader, 0);

    // The data sets, each skipped by its total length, up to the one that holds the
    // track list. Current databases put the album list first.
    std::size_t set = std::size_t(headerLength);
    std::size_t list = 0;
    std::size_t setEnd = 0;
    for (;;) {
        if (set >= m_size)
            return stop(WalkStatus::NoTrackList, WalkRecord::DataSet, set);
        if (!tagIs(set, m_size, "mhsd"))
            return stop(WalkStatus::WrongTag, WalkRecord::DataSet, set);
        if (!fits(set, DataSetMin, m_size))
            return stop(WalkStatus::Damaged, WalkRecord::DataSet, set);
        const std::int64_t header = length(set + 4, DataSetMin, m_size - set);
        const std::int64_t total =
            header < 0 ? -1 : length(set + 8, std::size_t(header), m_size - set);
        if (total < 0)
            return stop(WalkStatus::Damaged, WalkRecord::DataSet, set);
        setEnd = set + std::size_t(total);
        list = set + std::size_t(header);
        if (tagIs(list, setEnd, "mhlt"))
            break;
        set = setEnd;
    }

    // The track list: its header length and the track count.
    if (!fits(list, TrackListMin, setEnd))
        return stop(WalkStatus::Damaged, WalkRecord::TrackList, list);
    const std::int64_t listHeader = length(list + 4, TrackListMin, setEnd - list);
    const std::int32_t n = number(list + 8);
    if (listHeader < 0 || n < 0)
        return stop(WalkStatus::Damaged, WalkRecord::TrackList, list);
    const std::size_t first = list + std::size_t(listHeader);
    // Every track needs at least its header inside the data set: a count that cannot
    // fit is refused before the table is made for it.
    if (std::size_t(n) > (setEnd - first) / TrackMin)
        return stop(WalkStatus::TooManyTracks, WalkRecord::TrackList, list);

    m_tracks = n;
    m_table.reset(n);
    std::size_t pos = first;
    for (int j = 1; j <= n; ++j) {
        m_track = j;
        if (m_progress)
            m_progress(j, n);
        std::int64_t total = 0;
        const WalkOutcome failure = readTrack(pos, setEnd, total);
        if (!failure.complete())
            return failure;
        pos += std::size_t(total);
    }
    m_track = 0;
    return stop(WalkStatus::Complete, WalkRecord::None, 0);
}

// Reads track m_track at `pos`; `total` receives its total length.
WalkOutcome Walk::readTrack(std::size_t pos, std::size_t end, std::int64_t &total)
{
    if (!tagIs(pos, end, "mhit"))
        return stop(WalkStatus::WrongTag, WalkRecord::Track, pos);
    Track &track = m_table.track(m_track);
    track.id = m_track;
    if (!fits(pos, TrackMin, end))
        return stop(WalkStatus::Damaged, WalkRecord::Track, pos);
    const std::int64_t header = length(pos + 4, TrackMin, end - pos);
    total = header < 0 ? -1 : length(pos + 8, std::size_t(header), end - pos);
    const std::int32_t children = number(pos + 12);
    if (total < 0 || children < 0)
        return stop(WalkStatus::Damaged, WalkRecord::Track, pos);
    track.size = std::uint32_t(number(pos + 36));
    track.duration = number(pos + 40);
    for (const OptionalNumber &optional : OptionalNumbers) {
        if (std::size_t(header) >= optional.offset + 4)
            track.*optional.field = std::uint32_t(number(pos + optional.offset));
    }
    if (std::size_t(header) > RatingOffset)
        track.rating = m_data[pos + RatingOffset];
    if (std::size_t(header) >= SkipsHeaderMin) {
        track.skipCount = std::uint32_t(number(pos + SkipCountOffset));
        track.lastSkipped = std::uint32_t(number(pos + LastSkippedOffset));
    }
    if (std::size_t(header) >= PersistentIdOffset + 8) {
        track.persistentId = std::uint64_t(std::uint32_t(number(pos + PersistentIdOffset))) |
                             std::uint64_t(std::uint32_t(number(pos + PersistentIdOffset + 4)))
                                 << 32;
    }
    if (std::size_t(header) >= ArtworkLinkHeaderMin)
        track.artworkLink = std::uint32_t(number(pos + ArtworkLinkOffset));

    const std::size_t trackEnd = pos + std::size_t(total);
    std::size_t child = pos + std::size_t(header);
    for (std::int32_t k = 0; k < children; ++k) {
        if (!tagIs(child, trackEnd, "mhod"))
            return stop(WalkStatus::WrongTag, WalkRecord::StringChild, child);
        if (!fits(child, ChildMin, trackEnd))
            return stop(WalkStatus::Damaged, WalkRecord::StringChild, child);
        const std::int64_t childTotal = length(child + 8, ChildMin, trackEnd - child);
        if (childTotal < 0)
            return stop(WalkStatus::Damaged, WalkRecord::StringChild, child);
        const std::int32_t type = number(child + 12);
        if (QString *text = stringSlot(track, type)) {
            std::span<const std::uint8_t> raw;
            bool utf8 = false;
            if (std::size_t(childTotal) < StringHeader ||
                !rawStringOf(child, std::size_t(childTotal), raw, utf8))
                return stop(WalkStatus::Damaged, WalkRecord::StringChild, child);
            // Texts that repeat from track to track (album, artist, genre...) are decoded
            // once and shared, which saves most of the table's allocations and memory.
            if (isSharedType(type))
                *text = m_shared.text(raw, utf8, [&] { return decode(raw, utf8); });
            else
                *text = decode(raw, utf8);
        }
        child += std::size_t(childTotal);
    }
    return stop(WalkStatus::Complete, WalkRecord::None, 0);
}

// A playlist as the database stores it: its title and its items' unique track IDs.
struct StoredPlaylist
{
    QString title;
    std::vector<std::uint32_t> ids;
};

// Reads the playlist list of the data set of type 2, or of type 3 when there is none.
class PlaylistWalk : RecordReader
{
public:
    explicit PlaylistWalk(std::span<const std::uint8_t> bytes) : RecordReader(bytes) {}

    // Appends every playlist but the master playlist to `playlists`.
    PlaylistStatus run(std::vector<StoredPlaylist> &playlists) const;

private:
    // The data set holding the playlists, as [begin, end) of its contents (`begin` left
    // 0 when there is none); false when the chain of data sets is damaged.
    bool findDataSet(std::size_t &begin, std::size_t &end) const;
    // Reads the playlist at `pos`, which must end by `end`; `total` receives its total
    // length. The master playlist is passed over whole, `master` set.
    bool readPlaylist(std::size_t pos, std::size_t end, std::int64_t &total, bool &master,
                      StoredPlaylist &playlist) const;
};

bool PlaylistWalk::findDataSet(std::size_t &begin, std::size_t &end) const
{
    if (!tagIs(0, m_size, "mhbd") || !fits(0, DatabaseHeaderMin, m_size))
        return false;
    const std::int64_t headerLength = length(4, DatabaseHeaderMin, m_size);
    if (headerLength < 0)
        return false;
    begin = 0;
    for (std::size_t set = std::size_t(headerLength); set < m_size;) {
        if (!tagIs(set, m_size, "mhsd") || !fits(set, DataSetMin, m_size))
            return false;
        const std::int64_t header = length(set + 4, DataSetMin, m_size - set);
        const std::int64_t total =
            header < 0 ? -1 : length(set + 8, std::size_t(header), m_size - set);
        if (total < 0)
            return false;
        const std::int32_t type = std::size_t(header) >= TypedDataSetMin ? number(set + 12) : 0;
        if (type == 2 || (type == 3 && begin == 0)) {
            begin = set + std::size_t(header);
            end = set + std::size_t(total);
            if (type == 2)
                return true;
        }
        set += std::size_t(total);
    }
    return true;
}

PlaylistStatus PlaylistWalk::run(std::vector<StoredPlaylist> &playlists) const
{
    std::size_t list = 0;
    std::size_t end = 0;
    if (!findDataSet(list, end))
        return PlaylistStatus::Damaged;
    if (list == 0)
        return PlaylistStatus::Absent;
    if (!tagIs(list, end, "mhlp") || !fits(list, PlaylistListMin, end))
        return PlaylistStatus::Damaged;
    const std::int64_t header = length(list + 4, PlaylistListMin, end - list);
    const std::int32_t count = number(list + 8);
    if (header < 0 || count < 0)
        return PlaylistStatus::Damaged;
    std::size_t pos = list + std::size_t(header);
    for (std::int32_t i = 0; i < count; ++i) {
        std::int64_t total = 0;
        bool master = false;
        StoredPlaylist playlist;
        if (!readPlaylist(pos, end, total, master, playlist))
            return PlaylistStatus::Damaged;
        if (!master)
            playlists.push_back(std::move(playlist));
        pos += std::size_t(total);
    }
    return PlaylistStatus::Read;
}

// A playlist's header holds the count of its other children (strings, smart-playlist
// rules, view settings...) and the count of its items; the other children come first.
// Every record is passed over by its total length; records among the items that are
// not items are passed over without being counted.
bool PlaylistWalk::readPlaylist(std::size_t pos, std::size_t end, std::int64_t &total, bool &master,
                                StoredPlaylist &playlist) const
{
    if (!tagIs(pos, end, "mhyp") || !fits(pos, PlaylistMin, end))
        return false;
    const std::int64_t header = length(pos + 4, PlaylistMin, end - pos);
    total = header < 0 ? -1 : length(pos + 8, std::size_t(header), end - pos);
    std::int32_t children = number(pos + 12);
    std::int32_t items = number(pos + 16);
    if (total < 0 || children < 0 || items < 0)
        return false;
    master = m_data[pos + 20] == 1;
    if (master)
        return true; // the whole library, not a playlist to the user

    const std::size_t playlistEnd = pos + std::size_t(total);
    for (std::size_t at = pos + std::size_t(header); children > 0 || items > 0;) {
        if (!fits(at, RecordMin, playlistEnd))
            return false;
        const std::int64_t recordTotal = length(at + 8, RecordMin, playlistEnd - at);
        if (recordTotal < 0)
            return false;
        if (children > 0) {
            --children;
            if (tagIs(at, playlistEnd, "mhod") && std::size_t(recordTotal) >= ChildMin &&
                number(at + 12) == 1) {
                if (std::size_t(recordTotal) < StringHeader ||
                    !stringOf(at, std::size_t(recordTotal), playlist.title))
                    return false;
            }
        } else if (tagIs(at, playlistEnd, "mhip")) {
            if (length(at + 4, ItemMin, std::size_t(recordTotal)) < 0)
                return false;
            playlist.ids.push_back(std::uint32_t(number(at + 24)));
            --items;
        }
        at += std::size_t(recordTotal);
    }
    return true;
}

} // namespace

WalkOutcome walkDatabase(std::span<const std::uint8_t> database, TrackTable &table,
                         const WalkProgress &progress)
{
    return Walk(database, table, progress).run();
}

PlaylistStatus readPlaylists(std::span<const std::uint8_t> database, TrackTable &table)
{
    std::vector<StoredPlaylist> stored;
    const PlaylistStatus status = PlaylistWalk(database).run(stored);
    if (status == PlaylistStatus::Damaged) {
        table.setPlaylists({});
        return status;
    }
    std::unordered_map<std::uint32_t, int> trackOf;
    trackOf.reserve(std::size_t(table.count()));
    for (int k = table.count(); k >= 1; --k) { // the first track of an ID wins
        if (const std::uint32_t id = table.track(k).uniqueId)
            trackOf[id] = k;
    }
    std::vector<Playlist> playlists;
    playlists.reserve(stored.size());
    for (StoredPlaylist &from : stored) {
        Playlist playlist{std::move(from.title), {}};
        playlist.tracks.reserve(from.ids.size());
        for (const std::uint32_t id : from.ids) {
            if (const auto k = trackOf.find(id); k != trackOf.end())
                playlist.tracks.push_back(k->second);
        }
        playlists.push_back(std::move(playlist));
    }
    table.setPlaylists(std::move(playlists));
    return status;
}

QString decodeUtf16Le(std::span<const std::uint8_t> bytes)
{
    const std::size_t units = bytes.size() / 2;
    const bool oddByte = bytes.size() % 2 != 0;
    QString text(qsizetype(units + (oddByte ? 1 : 0)), Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(text.data());
    char16_t *const start = out;
    const auto unitAt = [&](std::size_t i) {
        return char16_t(bytes[2 * i] | bytes[2 * i + 1] << 8);
    };
    for (std::size_t i = 0; i < units; ++i) {
        const char16_t u = unitAt(i);
        if (u == 0)
            continue;
        if (u < 0xD800 || u > 0xDFFF) {
            *out++ = u;
        } else if (u <= 0xDBFF && i + 1 < units && unitAt(i + 1) >= 0xDC00 &&
                   unitAt(i + 1) <= 0xDFFF) {
            *out++ = u;
            *out++ = unitAt(++i);
        } else {
            *out++ = 0xFFFD;
        }
    }
    if (oddByte && bytes.back() != 0)
        *out++ = bytes.back();
    text.truncate(qsizetype(out - start));
    return text;
}

QString decodeUtf8(std::span<const std::uint8_t> bytes)
{
    QString text =
        QString::fromUtf8(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size()));
    text.remove(QChar(0));
    return text;
}

QString describe(const WalkOutcome &outcome)
{
    static const char *const statuses[] = {"complete", "wrong tag", "no track list", "damaged",
                                           "too many tracks"};
    static const char *const records[] = {"-",          "database header", "data set",
                                          "track list", "track",           "string child"};
    return QStringLiteral("%1 at %2 (offset %3, track %4 of %5)")
        .arg(QLatin1String(statuses[int(outcome.status)]),
             QLatin1String(records[int(outcome.record)]))
        .arg(qulonglong(outcome.offset))
        .arg(outcome.track)
        .arg(outcome.tracks);
}

} // namespace sondrel
