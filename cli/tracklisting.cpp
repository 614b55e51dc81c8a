#include "tracklisting.h"

#include "artistfolders.h"
#include "expfilename.h"
#include "historytext.h"
#include "trackcolumns.h"
#include "tracktable.h"

#include <QStringList>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace sondrel {

namespace {

// A piece of the listing in UTF-8, written through a cursor: a listing of 40,000 tracks
// appends some seven million characters.
class Listing
{
public:
    explicit Listing(ListingFormat format) : m_json(format == ListingFormat::Json) {}

    void raw(std::string_view text)
    {
        char *at = room(text.size());
        std::memcpy(at, text.data(), text.size());
        m_size += text.size();
    }

    // A text in UTF-8: in TSV tabs and line ends become blanks; in JSON it is a string.
    void text(QStringView text)
    {
        const char16_t *units = text.utf16();
        const qsizetype n = text.size();
        // At most six bytes a unit ("\u001f"), and the quotes.
        char *const start = room(std::size_t(n) * 6 + 2);
        char *out = start;
        if (m_json)
            *out++ = '"';
        for (qsizetype i = 0; i < n; ++i) {
            char32_t c = units[i];
            if (c < 0x80) {
                const char ascii = char(c);
                if (!m_json) {
                    *out++ = ascii == '\t' || ascii == '\n' || ascii == '\r' ? ' ' : ascii;
                } else if (ascii == '"' || ascii == '\\') {
                    *out++ = '\\';
                    *out++ = ascii;
                } else if (c < 0x20) {
                    static const char hex[] = "0123456789abcdef";
                    std::memcpy(out, "\\u00", 4);
                    out[4] = hex[c >> 4];
                    out[5] = hex[c & 15];
                    out += 6;
                } else {
                    *out++ = ascii;
                }
                continue;
            }
            if (c >= 0xD800 && c <= 0xDFFF) {
                if (c <= 0xDBFF && i + 1 < n && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF)
                    c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
                else
                    c = 0xFFFD; // a lone half of a pair
            }
            if (c < 0x800) {
                *out++ = char(0xC0 | (c >> 6));
            } else if (c < 0x10000) {
                *out++ = char(0xE0 | (c >> 12));
                *out++ = char(0x80 | ((c >> 6) & 0x3F));
            } else {
                *out++ = char(0xF0 | (c >> 18));
                *out++ = char(0x80 | ((c >> 12) & 0x3F));
                *out++ = char(0x80 | ((c >> 6) & 0x3F));
            }
            *out++ = char(0x80 | (c & 0x3F));
        }
        if (m_json)
            *out++ = '"';
        m_size += std::size_t(out - start);
    }

    // A whole number in decimal.
    void number(std::int64_t value)
    {
        char *at = room(20);
        m_size += std::size_t(std::to_chars(at, at + 20, value).ptr - at);
    }

    // A text as a JSON string, or null when it is empty.
    void textOrNull(QStringView value)
    {
        if (value.isEmpty())
            raw("null");
        else
            text(value);
    }

    std::string_view bytes() const { return {m_data.get(), m_size}; }
    void reserve(std::size_t bytes) { room(bytes); }

private:
    // Room for `more` bytes at the end.
    char *room(std::size_t more)
    {
        if (m_size + more > m_capacity) {
            const std::size_t capacity = std::max(m_capacity * 2, m_size + more + 4096);
            std::unique_ptr<char[]> grown(new char[capacity]);
            if (m_size)
                std::memcpy(grown.get(), m_data.get(), m_size);
            m_data = std::move(grown);
            m_capacity = capacity;
        }
        return m_data.get() + m_size;
    }

    bool m_json;
    std::unique_ptr<char[]> m_data;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
};

const QString ExportNameCaption = QStringLiteral("Export Name");

// For each track (by track number), the playlists that hold it, each once, in the player's
// order.
std::vector<std::vector<int>> playlistsByTrack(const TrackTable &table)
{
    std::vector<std::vector<int>> of(std::size_t(table.count()) + 1);
    const std::vector<Playlist> &playlists = table.playlists();
    for (int p = 0; p < int(playlists.size()); ++p) {
        for (const int k : playlists[std::size_t(p)].tracks) {
            if (!table.contains(k))
                continue;
            std::vector<int> &held = of[std::size_t(k)];
            if (held.empty() || held.back() != p) // a track listed twice is named once
                held.push_back(p);
        }
    }
    return of;
}

// The track's file on the player as a path from the player's root, "/" between the names:
// the database's ":iPod_Control:Music:F01:ABCD.mp3" is "iPod_Control/Music/F01/ABCD.mp3".
QString playerPath(const QString &location)
{
    if (!location.startsWith(QLatin1Char(':')))
        return location;
    QString path = location.mid(1);
    path.replace(QLatin1Char(':'), QLatin1Char('/'));
    return path;
}

// A track's two dates (last played, date added) as ISO 8601 UTC texts, each of 20
// characters; a date that is not set starts with '\0'.
using TrackDates = std::array<char, 40>;

// The dates of `tracks`. Turning the player's local time into UTC asks the time-zone rules
// once for each day a thread meets: each of `threads` threads takes the days of its own
// (day number modulo the threads), so that no day is asked for twice.
std::vector<TrackDates> trackDates(const TrackTable &table, std::span<const int> tracks,
                                   std::size_t threads)
{
    std::vector<TrackDates> dates(tracks.size());
    const auto mine = [threads](std::uint32_t macTime, std::size_t t) {
        return macTime != 0 && macTime / 86'400 % threads == t;
    };
    const auto make = [&](std::size_t t) {
        for (std::size_t i = 0; i < tracks.size(); ++i) {
            const Track &track = table.track(tracks[i]);
            if (mine(track.lastPlayed, t))
                writeMacTimeIsoUtc(track.lastPlayed, dates[i].data());
            if (mine(track.dateAdded, t))
                writeMacTimeIsoUtc(track.dateAdded, dates[i].data() + 20);
        }
    };
    std::vector<std::thread> workers;
    for (std::size_t t = 1; t < threads; ++t)
        workers.emplace_back(make, t);
    make(0);
    for (std::thread &worker : workers)
        worker.join();
    return dates;
}

// One track as a JSON object with typed values: numbers as numbers, what the player does
// not have as null.
void jsonTrack(Listing &l, const TrackTable &table, int k, const QString &exportName,
               const TrackDates &dates, const std::vector<int> &playlists,
               const std::vector<std::string> &playlistTitles)
{
    const Track &t = table.track(k);
    const auto numberOrNull = [&l](std::int64_t value) {
        if (value == 0)
            l.raw("null");
        else
            l.number(value);
    };
    const auto date = [&l](const char *text) {
        if (text[0] == '\0') {
            l.raw("null");
            return;
        }
        l.raw("\"");
        l.raw({text, 20});
        l.raw("\"");
    };
    l.raw("{\"id\": ");
    numberOrNull(t.id);
    l.raw(", \"title\": ");
    l.textOrNull(table.text(k, FieldTitle));
    l.raw(", \"artist\": ");
    l.textOrNull(table.text(k, FieldArtist));
    l.raw(", \"album\": ");
    l.textOrNull(table.text(k, FieldAlbum));
    l.raw(", \"genre\": ");
    l.textOrNull(table.text(k, FieldGenre));
    l.raw(", \"comment\": ");
    l.textOrNull(table.text(k, FieldComment));
    l.raw(", \"duration_ms\": ");
    if (t.duration < 0) // the grid's "N.A."
        l.raw("null");
    else
        l.number(t.duration);
    l.raw(", \"size_bytes\": ");
    l.number(std::int64_t(t.size));
    l.raw(", \"file_type\": ");
    l.textOrNull(table.text(k, FieldFileType));
    l.raw(", \"track\": ");
    numberOrNull(t.trackNumber);
    l.raw(", \"disc\": ");
    numberOrNull(t.discNumber);
    l.raw(", \"year\": ");
    numberOrNull(t.year);
    l.raw(", \"album_artist\": ");
    l.textOrNull(t.albumArtist);
    l.raw(", \"composer\": ");
    l.textOrNull(t.composer);
    l.raw(", \"rating\": ");
    // Stars as the grid shows them: to the nearest whole star, and at least one.
    numberOrNull(t.rating == 0 ? 0 : std::clamp((int(t.rating) + 10) / 20, 1, 5));
    l.raw(", \"plays\": ");
    l.number(t.playCount);
    l.raw(", \"skips\": ");
    l.number(t.skipCount);
    l.raw(", \"last_played\": ");
    date(dates.data());
    l.raw(", \"date_added\": ");
    date(dates.data() + 20);
    l.raw(", \"persistent_id\": ");
    if (t.persistentId == 0) {
        l.raw("null");
    } else {
        static const char digits[] = "0123456789ABCDEF";
        char text[18];
        text[0] = text[17] = '"';
        std::uint64_t id = t.persistentId;
        for (int i = 16; i >= 1; --i, id >>= 4)
            text[i] = digits[id & 0xF];
        l.raw({text, sizeof text});
    }
    l.raw(", \"location\": ");
    l.textOrNull(playerPath(table.text(k, FieldLocation)));
    l.raw(", \"export_name\": ");
    l.text(exportName);
    l.raw(", \"playlists\": [");
    for (std::size_t i = 0; i < playlists.size(); ++i) {
        if (i)
            l.raw(", ");
        l.raw(playlistTitles[std::size_t(playlists[i])]);
    }
    l.raw("]}");
}

} // namespace

QString listedExportName(const TrackTable &table, int k, const NameFields &fields,
                         const ExportOptions &options, const NameLimit &limit)
{
    const QString name = exportName(table, fields, k, table.text(k, FieldLocation)).finished(limit);
    if (!options.artistAlbumFolders)
        return name;
    return (artistAlbumFolders(table, k, limit) << name).join(QLatin1Char('/'));
}

void writeTrackListing(std::FILE *out, ListingFormat format, const TrackTable &table,
                       std::span<const int> tracks, const NameFields &fields,
                       const ExportOptions &options, const NameLimit &limit)
{
    const bool json = format == ListingFormat::Json;
    const auto write = [out](std::string_view bytes) {
        if (bytes.empty())
            return; // an empty view may hold no pointer, which fwrite must not be given
        std::fwrite(bytes.data(), 1, bytes.size(), out);
    };
    // The tracks' lines are made on a few threads at once, each a part of the tracks, and
    // written in order.
    const std::size_t threads =
        tracks.size() < 4096 ? 1
                             : std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 4);

    // JSON: each track's playlists, and their titles as JSON strings, made once; and the
    // dates, made before the lines.
    std::vector<std::vector<int>> playlists;
    std::vector<std::string> playlistTitles;
    std::vector<TrackDates> dates;
    if (json) {
        dates = trackDates(table, tracks, threads);
        playlists = playlistsByTrack(table);
        for (const Playlist &playlist : table.playlists()) {
            Listing title(format);
            title.text(playlist.title);
            playlistTitles.emplace_back(title.bytes());
        }
    }
    // The lines of `part`, the first of them after `first` (for JSON, the first of all).
    const auto lines = [&](std::span<const int> part, bool first) {
        auto listing = std::make_unique<Listing>(format);
        Listing &l = *listing;
        // A track takes some 280 bytes in TSV and 650 in JSON, its keys included: room made
        // at once spares copying and fresh pages while it grows.
        l.reserve(part.size() * (json ? 760 : 320));
        for (const int &k : part) { // a reference: its place in `tracks` finds its dates
            const QString name = listedExportName(table, k, fields, options, limit);
            if (json) {
                l.raw(first ? "\n  " : ",\n  ");
                first = false;
                jsonTrack(l, table, k, name, dates[std::size_t(&k - tracks.data())],
                          playlists[std::size_t(k)], playlistTitles);
                continue;
            }
            for (int col = FirstTrackColumn; col < TrackColumnEnd; ++col) {
                l.text(trackColumnText(table, k, col));
                l.raw("\t");
            }
            l.text(name);
            l.raw("\n");
        }
        return listing;
    };

    Listing head(format);
    if (json) {
        head.raw("[");
    } else {
        for (int col = FirstTrackColumn; col < TrackColumnEnd; ++col) {
            head.text(trackColumnCaption(col));
            head.raw("\t");
        }
        head.text(ExportNameCaption);
        head.raw("\n");
    }
    write(head.bytes());

    std::vector<std::unique_ptr<Listing>> parts(threads);
    std::vector<std::thread> workers;
    const std::size_t each = (tracks.size() + threads - 1) / std::max<std::size_t>(threads, 1);
    for (std::size_t t = 0; t < threads; ++t) {
        const std::size_t from = std::min(tracks.size(), t * each);
        const std::span<const int> part =
            tracks.subspan(from, std::min(each, tracks.size() - from));
        if (t + 1 == threads)
            parts[t] = lines(part, t == 0);
        else
            workers.emplace_back([&, t, part] { parts[t] = lines(part, t == 0); });
    }
    for (std::size_t t = 0; t < threads; ++t) {
        if (t < workers.size())
            workers[t].join();
        write(parts[t]->bytes());
        parts[t].reset();
    }

    if (json)
        write(tracks.empty() ? "]\n" : "\n]\n");
}

} // namespace sondrel
