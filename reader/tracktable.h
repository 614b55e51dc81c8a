#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <vector>

namespace sondrel {

// Field numbers of the track table. They are also the item data of the export-name
// field list, so they must never be renumbered.
enum TrackField {
    FieldId = 1,
    FieldSize = 2,      // bytes
    FieldDuration = 3,  // milliseconds
    FieldTitle = 4,
    FieldLocation = 5,  // ":iPod_Control:Music:F01:ABCD.mp3", as the database stores it
    FieldAlbum = 6,
    FieldArtist = 7,
    FieldGenre = 8,
    FieldFileType = 9,
    FieldEqualiser = 10,
    FieldComment = 11,
};

// One track: its ID, its two numbers and the texts of the string fields 4 to 11.
struct Track
{
    int id = 0;                   // 0 while the track has not been read
    std::uint64_t size = 0;       // bytes; the database stores an unsigned 32-bit value
    std::int32_t duration = 0;    // milliseconds, signed as the database stores them; may be negative
    std::array<QString, 8> texts; // fields 4 to 11
};

// Every track of the player's database, numbered 1 to n in database order.
class TrackTable
{
public:
    // Drops every track and makes n empty ones.
    void reset(int n)
    {
        m_tracks.assign(std::size_t(n < 0 ? 0 : n), Track{});
    }

    int count() const { return int(m_tracks.size()); }
    bool isEmpty() const { return m_tracks.empty(); }
    bool contains(int k) const { return k >= 1 && k <= count(); }

    // Track k, counted from 1.
    Track &track(int k) { return m_tracks[std::size_t(k - 1)]; }
    const Track &track(int k) const { return m_tracks[std::size_t(k - 1)]; }

    // Any field as text: the numbers in plain decimal (the ID empty while unread), texts
    // as stored.
    QString text(int k, int field) const
    {
        const Track &t = track(k);
        switch (field) {
        case FieldId: return t.id ? QString::number(t.id) : QString();
        case FieldSize: return QString::number(t.size);
        case FieldDuration: return QString::number(t.duration);
        default: break;
        }
        if (field >= FieldTitle && field <= FieldComment)
            return t.texts[std::size_t(field - FieldTitle)];
        return QString();
    }

    void setText(int k, int field, const QString &value)
    {
        track(k).texts[std::size_t(field - FieldTitle)] = value;
    }

private:
    std::vector<Track> m_tracks;
};

} // namespace sondrel
