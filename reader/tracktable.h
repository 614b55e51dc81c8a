#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace sondrel {

struct PlayerArtwork;

// Field numbers of the track table. They are also the item data of the export-name
// field list, so they must never be renumbered.
enum TrackField {
    FieldId = 1,
    FieldSize = 2,     // bytes
    FieldDuration = 3, // milliseconds
    FieldTitle = 4,
    FieldLocation = 5, // ":iPod_Control:Music:F01:ABCD.mp3", as the database stores it
    FieldAlbum = 6,
    FieldArtist = 7,
    FieldGenre = 8,
    FieldFileType = 9,
    FieldEqualiser = 10,
    FieldComment = 11,
    // Read from longer track records; a number of 0 means "not set" and reads as empty.
    FieldUniqueId = 12, // the database's own track ID, which playlists name
    FieldTrackNumber = 13,
    FieldYear = 14,
    FieldDiscNumber = 15,
    FieldComposer = 16,
    FieldAlbumArtist = 17,
};

// One track: its ID, its numbers and the texts of its string fields.
struct Track
{
    int id = 0;                // 0 while the track has not been read
    std::uint64_t size = 0;    // bytes; the database stores an unsigned 32-bit value
    std::int32_t duration = 0; // milliseconds, signed as the database stores them; may be negative
    std::array<QString, 8> texts; // fields 4 to 11
    std::uint32_t uniqueId = 0;   // 0: not set, here and in the three numbers below
    std::uint32_t trackNumber = 0;
    std::uint32_t year = 0;
    std::uint32_t discNumber = 0;
    QString composer;
    QString albumArtist;
    // The database's 64-bit ID of the track, which stays the same across syncs (the unique
    // ID does not); 0 when the record is too short to hold it.
    std::uint64_t persistentId = 0;
    // The player's history of the track, from longer track records and the player's
    // "Play Counts" file; 0 means "not set" (unrated, never played, never skipped).
    std::uint8_t rating = 0; // stars x 20, 0 to 100
    std::uint32_t playCount = 0;
    std::uint32_t skipCount = 0;
    std::uint32_t lastPlayed = 0;  // Mac time: seconds from 1904-01-01, local time
    std::uint32_t lastSkipped = 0; // Mac time
    std::uint32_t dateAdded = 0;   // Mac time
    // The image the track record links to (offset 352 of longer headers; 0: none), and the
    // player's cover of the track as found in its artwork (0: none).
    std::uint32_t artworkLink = 0;
    std::uint32_t coverImage = 0;
};

// A playlist of the player, its tracks as track numbers (1..n) in the player's order.
struct Playlist
{
    QString title;
    std::vector<int> tracks;

    friend bool operator==(const Playlist &, const Playlist &) = default;
};

// Every track of the player's database, numbered 1 to n in database order.
class TrackTable
{
public:
    // Drops every track and playlist and makes n empty tracks.
    void reset(int n)
    {
        m_tracks.assign(std::size_t(n < 0 ? 0 : n), Track{});
        m_playlists.clear();
        m_artwork.reset();
    }

    int count() const { return int(m_tracks.size()); }
    bool isEmpty() const { return m_tracks.empty(); }
    bool contains(int k) const { return k >= 1 && k <= count(); }

    // Track k, counted from 1.
    Track &track(int k) { return m_tracks[std::size_t(k - 1)]; }
    const Track &track(int k) const { return m_tracks[std::size_t(k - 1)]; }

    // Any field as text: the numbers in plain decimal (the ID and the numbers of fields 12
    // to 15 empty while 0), texts as stored.
    QString text(int k, int field) const
    {
        const Track &t = track(k);
        const auto set = [](std::uint32_t n) { return n ? QString::number(n) : QString(); };
        switch (field) {
        case FieldId:
            return t.id ? QString::number(t.id) : QString();
        case FieldSize:
            return QString::number(t.size);
        case FieldDuration:
            return QString::number(t.duration);
        case FieldUniqueId:
            return set(t.uniqueId);
        case FieldTrackNumber:
            return set(t.trackNumber);
        case FieldYear:
            return set(t.year);
        case FieldDiscNumber:
            return set(t.discNumber);
        default:
            break;
        }
        const QString *stored = textOf(t, field);
        return stored ? *stored : QString();
    }

    // Stores the text of a string field (4 to 11, 16, 17); other fields are left alone.
    void setText(int k, int field, const QString &value)
    {
        if (QString *stored = textOf(track(k), field))
            *stored = value;
    }

    // The player's own playlists (the master playlist, the whole library, is not one of
    // them), in database order; empty until read and after every reset.
    const std::vector<Playlist> &playlists() const { return m_playlists; }
    void setPlaylists(std::vector<Playlist> playlists) { m_playlists = std::move(playlists); }

    // The player's covers, which the tracks' coverImage name; nothing until read, when the
    // player has none and after every reset.
    const std::shared_ptr<const PlayerArtwork> &artwork() const { return m_artwork; }
    void setArtwork(std::shared_ptr<const PlayerArtwork> artwork)
    {
        m_artwork = std::move(artwork);
    }

private:
    // Where string field `field` of a track is kept; nothing for the number fields.
    template <typename T> static auto textOf(T &t, int field) -> decltype(&t.composer)
    {
        if (field >= FieldTitle && field <= FieldComment)
            return &t.texts[std::size_t(field - FieldTitle)];
        if (field == FieldComposer)
            return &t.composer;
        if (field == FieldAlbumArtist)
            return &t.albumArtist;
        return nullptr;
    }

    std::vector<Track> m_tracks;
    std::vector<Playlist> m_playlists;
    std::shared_ptr<const PlayerArtwork> m_artwork;
};

} // namespace sondrel
