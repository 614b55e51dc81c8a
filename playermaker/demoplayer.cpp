#include "demoplayer.h"

#include <QHash>
#include <QSet>
#include <QStringList>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

namespace sondrel::test {

namespace {

void appendLe16(QByteArray &out, quint16 value)
{
    out.append(char(value & 0xFF));
    out.append(char(value >> 8));
}

void appendLe32(QByteArray &out, quint32 value)
{
    appendLe16(out, quint16(value & 0xFFFF));
    appendLe16(out, quint16(value >> 16));
}

enum class Script { English, Latin, Greek, Cyrillic };

// One made-up album: its tracks get titles from the word pool of its script unless the
// album lists them.
struct DemoAlbum
{
    const char *artist;
    const char *album;
    const char *genre;
    int year;
    int tracks;
    Script script = Script::English;
    const char *composer = "";
    const char *albumArtist = "";
    int discs = 1;
    QStringList titles = {};
};

QStringList words(Script script)
{
    switch (script) {
    case Script::English:
        return QString::fromUtf8(
                   "Love Night River Golden Heart Fire Summer Road Dream City Blue Rain Light "
                   "Shadow Morning Wild Song Home Electric Ocean Silver Stone Paper Winter Dance "
                   "Ghost Echo Radio Garden Street")
            .split(QLatin1Char(' '));
    case Script::Latin:
        return QString::fromUtf8(
                   "Café Mañana Corazón Été Rêve Fenêtre Noël Straße Über Ørken Łąka Żółw Señorita "
                   "Canción São Niño Jalapeño Crème Brûlée Ångström Fjörður Déjà Naïve Garçon "
                   "Smörgås Tür Œuvre")
            .split(QLatin1Char(' '));
    case Script::Greek:
        return QString::fromUtf8("Θάλασσα Ήλιος Νύχτα Αγάπη Φεγγάρι Δρόμος Όνειρο Καλοκαίρι "
                                 "Βροχή Αστέρι Καρδιά Σπίτι Τραγούδι Άνεμος Λιμάνι Ψυχή")
            .split(QLatin1Char(' '));
    case Script::Cyrillic:
        return QString::fromUtf8("Ночь Река Звезда Город Весна Дорога Лето Песня Ветер Сердце "
                                 "Дом Снег Утро Море Берёза Тишина Журавли")
            .split(QLatin1Char(' '));
    }
    return {};
}

QString u(const char *text)
{
    return QString::fromUtf8(text);
}

QList<DemoAlbum> albums()
{
    QStringList months = u("Январь Февраль Март Апрель Май Июнь Июль Август Сентябрь Октябрь "
                           "Ноябрь Декабрь")
                             .split(QLatin1Char(' '));
    QStringList goldberg{QStringLiteral("Aria")};
    for (int i = 1; i <= 14; ++i)
        goldberg << QStringLiteral("Variatio %1").arg(i);
    goldberg << QStringLiteral("Aria da capo");

    return {
        {"The Blue Rivers", "Night Roads", "Rock", 1994, 12, Script::English, "Tom Rivers"},
        {"Анна Соколова", "Белые ночи", "Folk", 2008, 11, Script::Cyrillic, "Анна Соколова"},
        {"Νίκος Παπαδόπουλος", "Θάλασσα και Ήλιος", "Έντεχνο", 1985, 12, Script::Greek,
         "Μίκης Θεοδωράκης"},
        {"The Blue Rivers", "Stone & Water", "Rock", 1997, 11, Script::English, "Tom Rivers"},
        {"Silver Echo", "Radio Ghosts", "Pop", 2003, 10},
        {"Zoë Ångström", "Café Solitude", "Jazz", 2011, 9, Script::Latin, "Zoë Ångström"},
        {"Los Hermanos Peña", "Canciones del Mañana", "Latin", 1988, 12, Script::Latin},
        {"Les Étoiles Filantes", "Été éternel", "Pop", 1979, 10, Script::Latin},
        {"Łukasz Dvořák Trio", "Łódź nocą", "Jazz", 2016, 8, Script::Latin, "Łukasz Dvořák"},
        {"Björk Søndergård", "Nordlys", "Electronic", 2020, 11, Script::Latin},
        {"Ορχήστρα Αθηνών", "Νύχτες του Αυγούστου", "Classical", 1999, 10, Script::Greek,
         "Μάνος Χατζιδάκις"},
        {"Χορωδία Κρήτης", "Τραγούδια της Κρήτης", "World", 1996, 10, Script::Greek},
        {"Кино и Вино", "Город звёзд", "Rock", 1990, 12, Script::Cyrillic},
        {"Московский камерный оркестр", "Времена года", "Classical", 1972, 12, Script::Cyrillic,
         "Пётр Ильич Чайковский", "", 1, months},
        {"Трио «Балалайка»", "Дорога домой", "Folk", 1983, 10, Script::Cyrillic},
        {"Orchestre de Chambre de Genève", "Goldberg-Variationen", "Classical", 1981, 16,
         Script::Latin, "Johann Sebastian Bach", "", 2, goldberg},
        {"Paper Lanterns", "Morning Parade", "Folk", 2014, 9},
        {"Electric Garden", "Circuits", "Electronic", 2019, 10},
        {"Wild Stone", "Heavy Weather", "Metal", 2006, 8},
        {"Ocean Light", "Tides", "Ambient", 2012, 9},
        {"Muddy Street Band", "Delta Blues Sessions", "Blues", 1965, 10, Script::English,
         "Traditional"},
        {"", "Summer Hits 2009", "Pop", 2009, 14, Script::English, "", "Various Artists"},
        {"Golden Road", "The Long Way Home (Original Soundtrack)", "Soundtrack", 2001, 12,
         Script::English, "Hans Greenwood"},
        {"Radio Ghosts", "Live at the Paradiso", "Rock", 2005, 20, Script::English, "", "", 2},
        {"Mariam Okonkwo", "Lagos Mornings", "World", 2017, 9},
        {"DJ Søren", "Club Nights", "House", 2022, 10, Script::Latin},
        {"Sigrún Ólafsdóttir", "Hljóð", "Ambient", 2018, 8, Script::Latin},
        // Loose tracks: no album.
        {"Demo Singles", "", "Pop", 0, 5},
    };
}

} // namespace

namespace demo {

QString longTitle()
{
    return u("A Very Long Title That Goes On And On Past Every Column Width, Through The "
             "Whole Grid, Beyond What Any File System Wants In One Name, Because Some Live "
             "Recordings Really Are Named Like This One: Part One Of The Extended Twelve-Inch "
             "Remix Of The Song Nobody Remembers, Recorded Live In The Rain On A Tuesday");
}

QString forbiddenTitle()
{
    return u("What? <Yes>: \"No\" / Maybe \\ Either | Or *");
}

QString duplicateTitle()
{
    return QStringLiteral("Home");
}

} // namespace demo

QByteArray toneWav(double hertz, int milliseconds)
{
    constexpr int Rate = 8000;
    const int samples = std::max(0, int(qint64(Rate) * milliseconds / 1000));
    const int fade = Rate / 50; // 20 ms
    QByteArray data;
    data.reserve(samples * 2);
    for (int i = 0; i < samples; ++i) {
        const double envelope = std::min({1.0, double(i) / fade, double(samples - 1 - i) / fade});
        const double value =
            0.3 * 32767.0 * envelope * std::sin(2.0 * std::numbers::pi * hertz * i / Rate);
        appendLe16(data, quint16(qint16(std::lround(value))));
    }

    QByteArray wav;
    wav.reserve(44 + data.size());
    wav.append("RIFF");
    appendLe32(wav, quint32(36 + data.size()));
    wav.append("WAVE");
    wav.append("fmt ");
    appendLe32(wav, 16);       // the format chunk's length
    appendLe16(wav, 1);        // PCM
    appendLe16(wav, 1);        // mono
    appendLe32(wav, Rate);     // samples a second
    appendLe32(wav, Rate * 2); // bytes a second
    appendLe16(wav, 2);        // bytes a sample
    appendLe16(wav, 16);       // bits a sample
    wav.append("data");
    appendLe32(wav, quint32(data.size()));
    wav.append(data);
    return wav;
}

TestDatabase makeDemoPlayer()
{
    std::mt19937 random(20261208u);
    const auto pick = [&](int n) { return int(random() % unsigned(n)); };
    const QStringList comments = {
        u("Recorded live"),       u("Remastered 2009"),
        u("Bonus track"),         u("From the vinyl"),
        u("Ζωντανή ηχογράφηση"),  u("Концертная запись"),
        u("Enregistré à Genève"), u("A second of a tone: the demo's own sound")};
    const QStringList guests = {u("Silver Echo"),    u("Zoë Ångström"),       u("Кино и Вино"),
                                u("Paper Lanterns"), u("Νίκος Παπαδόπουλος"), u("Wild Stone")};
    // The tones: a pentatonic scale over two octaves from A3.
    const int steps[] = {0, 2, 4, 7, 9, 12, 14, 16, 19, 21};

    TestDatabase db;
    db.dataSets = TestDatabase::modernOrder();
    QSet<QString> names;
    QList<int> greek, cyrillic, rock;
    QHash<QString, int> firstTrack; // of each album, by its title
    for (const DemoAlbum &album : albums()) {
        const QStringList pool = words(album.script);
        const int perDisc = (album.tracks + album.discs - 1) / album.discs;
        firstTrack.insert(u(album.album), int(db.tracks.size()));
        for (int n = 0; n < album.tracks; ++n) {
            const int index = int(db.tracks.size());
            QString title = n < album.titles.size() ? album.titles[n] : QString();
            if (title.isEmpty()) {
                QStringList parts;
                for (int w = 1 + pick(3); w > 0; --w)
                    parts << pool[pick(int(pool.size()))];
                title = parts.join(QLatin1Char(' '));
            }
            QString artist = u(album.artist);
            if (artist.isEmpty())
                artist = guests[n % guests.size()];

            QString name;
            do {
                name.clear();
                for (int i = 0; i < 4; ++i)
                    name += QLatin1Char(char('A' + pick(26)));
            } while (names.contains(name));
            names.insert(name);
            const QString location = QStringLiteral(":iPod_Control:Music:F%1:%2.wav")
                                         .arg(index % 20, 2, 10, QLatin1Char('0'))
                                         .arg(name);
            const double hertz = 220.0 * std::pow(2.0, steps[index % 10] / 12.0);
            TestTrack track = TestTrack::make(title, artist, u(album.album), u(album.genre),
                                              location, QStringLiteral("WAV audio file"));
            track.withContents(toneWav(hertz)).withDuration(1000);
            track.trackNumber = album.album[0] ? n % perDisc + 1 : 0;
            track.discNumber = album.discs > 1 ? n / perDisc + 1 : 0;
            track.year = album.year;
            track.persistentId = 0x5D0E000000000000ull + quint64(index) * 7919u;
            // A listening history to show: most tracks rated and played, some never,
            // added over two years and last played over the last one (Mac times).
            constexpr quint32 Added2023 = 3755376000u; // 2023-01-01 00:00 (UTC)
            track.rating = quint8((index * 7) % 6 * 20);
            track.playCount = index % 5 == 4 ? 0 : quint32(index * 37 % 61);
            track.skipCount = quint32(index * 13 % 7 < 2 ? index % 4 : 0);
            track.dateAdded = Added2023 + quint32(index) * 211u * 1187u;
            track.lastPlayed = track.playCount ? Added2023 + 365u * 86400u +
                                                     quint32(index) * 7919u * 37u % (300u * 86400u)
                                               : 0;
            if (album.composer[0])
                track.withString(StringComposer, u(album.composer));
            if (album.albumArtist[0])
                track.withString(StringAlbumArtist, u(album.albumArtist));
            if (pick(3) == 0)
                track.withComment(comments[pick(int(comments.size()))]);
            db.tracks << track;
            if (album.script == Script::Greek)
                greek << db.uniqueIdOf(index);
            if (album.script == Script::Cyrillic)
                cyrillic << db.uniqueIdOf(index);
            if (u(album.genre) == QLatin1String("Rock"))
                rock << db.uniqueIdOf(index);
        }
    }

    // The odd ones, each in an album of its own kind.
    const auto retitle = [&db](int index, const QString &title) {
        for (TestString &s : db.tracks[index].strings)
            if (s.type == StringTitle)
                s = TestString::utf16(StringTitle, title);
    };
    retitle(firstTrack[u("Night Roads")], demo::duplicateTitle());
    retitle(firstTrack[u("Stone & Water")], demo::duplicateTitle());
    retitle(firstTrack[u("Radio Ghosts")] + 2, demo::forbiddenTitle());
    retitle(firstTrack[u("The Long Way Home (Original Soundtrack)")] + 4, demo::longTitle());

    TestPlaylist master = db.masterPlaylist();
    master.title = QStringLiteral("Sondrel Demo");
    db.playlists << master;

    TestPlaylist favourites;
    favourites.title = QStringLiteral("Favourites");
    for (int i = 3; i < db.tracks.size(); i += 7)
        favourites.items << db.uniqueIdOf(i);
    db.playlists << favourites;

    TestPlaylist road;
    road.title = QStringLiteral("Road Trip");
    std::shuffle(rock.begin(), rock.end(), random);
    road.items = rock.mid(0, 25);
    db.playlists << road;

    TestPlaylist greekList;
    greekList.title = u("Ελληνικά");
    greekList.items = greek;
    db.playlists << greekList;

    TestPlaylist russian;
    russian.title = u("Русская музыка");
    russian.items = cyrillic;
    db.playlists << russian;

    // A short one that lists a track twice, and one with nothing in it.
    TestPlaylist shortList;
    shortList.title = QStringLiteral("Short & Sweet");
    shortList.items = {db.uniqueIdOf(1), db.uniqueIdOf(40), db.uniqueIdOf(99), db.uniqueIdOf(1),
                       db.uniqueIdOf(250)};
    db.playlists << shortList;

    TestPlaylist empty;
    empty.title = QStringLiteral("Later");
    db.playlists << empty;
    return db;
}

namespace {

// Diagonal stripes of `colour` over the picture of a thumbnail, so that a cover shows
// more than a flat square.
void stripe(TestThumbnail &t, quint32 colour)
{
    const quint16 pixel = rgb565(colour);
    for (int y = t.vpad; y < t.height; ++y) {
        for (int x = t.hpad; x < t.width; ++x) {
            if ((x + y) * 8 / t.slotWidth % 2 == 0)
                continue;
            const int at = (y * t.slotWidth + x) * 2;
            t.pixels[at] = char(pixel & 0xFF);
            t.pixels[at + 1] = char(pixel >> 8);
        }
    }
}

} // namespace

TestArtwork demoCovers(TestDatabase &db)
{
    constexpr quint32 Colours[] = {0x1F4E79, 0x7B2D26, 0x2E6B30, 0x6A4C93, 0xC06014,
                                   0x117A8B, 0x8E244D, 0x4D5D1F, 0x335C81, 0xA23E48};
    TestArtwork art;
    QHash<QString, quint32> images; // by album
    QString lastAlbum;
    const auto albumOf = [](const TestTrack &t) {
        for (const TestString &s : t.strings)
            if (s.type == StringAlbum)
                return QString::fromUtf16(reinterpret_cast<const char16_t *>(s.bytes.constData()),
                                          s.bytes.size() / 2);
        return QString();
    };
    for (const TestTrack &t : db.tracks)
        if (!albumOf(t).isEmpty())
            lastAlbum = albumOf(t);
    bool ownPicture = false;
    for (TestTrack &t : db.tracks) {
        const QString album = albumOf(t);
        if (album.isEmpty() || album == lastAlbum)
            continue;
        const quint32 id = 100 + quint32(art.images.size());
        const quint32 colour = Colours[art.images.size() % std::size(Colours)];
        if (!ownPicture && album == QStringLiteral("Radio Ghosts")) {
            ownPicture = true;
            TestThumbnail wide = fitThumbnail(1060, 320, 600, 400, colour);
            stripe(wide, 0xE8D8A0);
            art.images << TestImage{id, t.persistentId, {wide}};
            t.artworkLink = id;
            continue;
        }
        if (!images.contains(album)) {
            images.insert(album, id);
            TestThumbnail large = fitThumbnail(1060, 320, 500, 500, colour);
            TestThumbnail small = fitThumbnail(1055, 128, 500, 500, colour);
            stripe(large, 0xF0F0F0);
            stripe(small, 0xF0F0F0);
            art.images << TestImage{id, t.persistentId, {small, large}};
        }
        t.artworkLink = images.value(album);
    }
    return art;
}

} // namespace sondrel::test
