#include "largeplayer.h"

#include <QString>
#include <QStringList>

#include <algorithm>
#include <random>

namespace sondrel::test {

TestDatabase makeLargePlayer(int tracks, bool eight)
{
    std::mt19937 random(20240611u + unsigned(tracks) + (eight ? 7u : 0u));
    const auto pick = [&](int n) { return int(random() % unsigned(n)); };
    static const char *const words[] = {
        "love",  "night", "river",    "golden", "heart",  "fire",   "summer",  "road",
        "dream", "city",  "blue",     "rain",   "light",  "shadow", "morning", "wild",
        "song",  "home",  "electric", "ocean",  "silver", "stone",  "paper",   "winter",
        "dance", "ghost", "echo",     "radio",  "garden", "street"};
    static const char *const genres[] = {
        "Rock",    "Pop",   "Jazz", "Classical", "Electronic",  "Hip-Hop", "Folk",    "Blues",
        "Country", "Metal", "Soul", "Reggae",    "Alternative", "Indie",   "Ambient", "Soundtrack",
        "Latin",   "Funk",  "Punk", "R&B",       "World",       "Gospel",  "Techno",  "House"};
    static const char *const fileTypes[] = {"MPEG audio file", "AAC audio file",
                                            "Purchased AAC audio file", "Apple Lossless audio file",
                                            "WAV audio file"};
    static const char *const extensions[] = {"mp3", "m4a", "m4p", "m4a", "wav"};
    const QString foreign[] = {QString::fromUtf8("Café"),
                               QString::fromUtf8("Über"),
                               QString::fromUtf8("君の知らない物語"),
                               QString::fromUtf8("“Quoted”"),
                               QString::fromUtf8("Señorita"),
                               QString::fromUtf8("終わりへ")};
    const auto phrase = [&](int count) {
        QStringList parts;
        for (int i = 0; i < count; ++i) {
            QString w = QString::fromLatin1(words[pick(30)]);
            w[0] = w[0].toUpper();
            parts << (pick(20) == 0 ? foreign[pick(6)] : w);
        }
        return parts.join(QLatin1Char(' '));
    };

    const int artistCount = std::max(1, tracks / 20);
    const int albumCount = std::max(1, tracks / 10);
    QStringList artists, albums;
    for (int i = 0; i < artistCount; ++i)
        artists << phrase(1 + pick(3)) + (pick(4) == 0 ? QStringLiteral(" & The Band") : QString());
    for (int i = 0; i < albumCount; ++i)
        albums << phrase(2 + pick(4));

    TestDatabase db;
    db.dataSets = TestDatabase::modernOrder();
    db.tracks.reserve(tracks);
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    for (int j = 0; j < tracks; ++j) {
        const int kind = pick(5);
        QString name;
        for (int i = 0; i < 4; ++i)
            name += QLatin1Char(letters[pick(26)]);
        const QString location = QStringLiteral(":iPod_Control:Music:F%1:%2.%3")
                                     .arg(pick(50), 2, 10, QLatin1Char('0'))
                                     .arg(name, QLatin1String(extensions[kind]));
        const QString artist = artists[pick(artistCount)];
        const QString title = phrase(1 + pick(6));
        const QString album = albums[pick(albumCount)];
        TestTrack t = TestTrack::make(title, artist, album, QString::fromLatin1(genres[pick(24)]),
                                      location, QString::fromLatin1(fileTypes[kind]));
        t.withSize(1'000'000 + pick(12'000'000)).withDuration(60'000 + pick(540'000));
        const auto numbers = [&] {
            t.trackNumber = 1 + pick(16);
            t.discNumber = pick(4) == 0 ? 1 + pick(2) : 0;
            t.year = pick(5) == 0 ? 0 : 1960 + pick(65);
            // The history: most tracks added over twelve years, many played, some rated.
            t.dateAdded = 3'300'000'000u + unsigned(pick(378'000'000));
            if (pick(3) != 0) {
                t.playCount = 1 + unsigned(pick(200));
                t.lastPlayed = t.dateAdded + unsigned(pick(10'000'000));
            }
            if (pick(4) == 0) {
                t.skipCount = 1 + unsigned(pick(20));
                t.lastSkipped = t.dateAdded + unsigned(pick(10'000'000));
            }
            t.rating = std::uint8_t(20 * pick(6));
        };
        if (eight) {
            t.withString(StringEqualiser, phrase(1));
            t.withComment(phrase(8 + pick(18)));
            numbers();
            db.tracks << t;
            continue;
        }
        t.withComment(pick(3) == 0 ? QString() : phrase(8 + pick(18)));
        if (pick(2) == 0)
            t.withString(13, phrase(2 + pick(3))); // grouping
        t.withString(12, phrase(2));               // composer
        t.withString(27, title);                   // sort title
        t.withString(23, artist);                  // sort artist
        t.withString(24, album);                   // sort album
        if (pick(3) == 0)
            t.withString(StringAlbumArtist, artists[pick(artistCount)]);
        numbers();
        db.tracks << t;
    }
    // The master playlist (every track) and a few dozen playlists of up to 2,000 tracks.
    db.playlists << db.masterPlaylist();
    for (int p = 0; p < std::max(1, tracks / 1600); ++p) {
        TestPlaylist playlist;
        playlist.title = phrase(1 + pick(3));
        const int size = 10 + pick(std::min(tracks, 2000));
        for (int i = 0; i < size; ++i)
            playlist.items << db.uniqueIdOf(pick(tracks));
        db.playlists << playlist;
    }
    return db;
}

QByteArray makeLargePlayCounts(int tracks)
{
    std::mt19937 random(7u + unsigned(tracks));
    QList<TestPlayCount> entries(tracks);
    for (TestPlayCount &entry : entries) {
        if (random() % 10 == 0) {
            entry.plays = 1 + random() % 5;
            entry.lastPlayed = 3'700'000'000u + random() % 600'000;
        }
        if (random() % 50 == 0)
            entry.rating = 20 * (1 + random() % 5);
    }
    return buildPlayCounts(entries);
}

} // namespace sondrel::test
