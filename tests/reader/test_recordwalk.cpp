#include "itunesdbbuilder.h"
#include "recordwalk.h"
#include "testmain.h"

#include <QFile>
#include <QTest>

using namespace sondrel;
using namespace sondrel::test;

Q_DECLARE_METATYPE(sondrel::test::TestDatabase)
Q_DECLARE_METATYPE(sondrel::WalkStatus)
Q_DECLARE_METATYPE(sondrel::WalkRecord)
Q_DECLARE_METATYPE(sondrel::PlaylistStatus)

namespace {

// A track as one line: ID|size|duration|title|location|album|artist|genre|file type|
// equaliser|comment (or the fields `first` to `last`).
QString row(const TrackTable &table, int k, int first = FieldId, int last = FieldComment)
{
    QStringList cells;
    for (int field = first; field <= last; ++field)
        cells << table.text(k, field);
    return cells.join('|');
}

// An expected line, written without its trailing empty cells.
QString line(const QString &leading)
{
    QStringList cells = leading.split('|');
    while (cells.size() < FieldComment)
        cells << QString();
    return cells.join('|');
}

QStringList lines(const QStringList &leading)
{
    QStringList out;
    for (const QString &l : leading)
        out << line(l);
    return out;
}

QStringList rows(const TrackTable &table)
{
    QStringList out;
    for (int k = 1; k <= table.count(); ++k)
        out << row(table, k);
    return out;
}

WalkOutcome walk(const QByteArray &data, TrackTable &table)
{
    return walkDatabase(bytesOf(data), table);
}

TestTrack plainTrack(const QString &title, qint32 size = 1000, qint32 duration = 2000)
{
    return TestTrack::make(title, "Artist", "Album", "Rock",
                           ":iPod_Control:Music:F00:" + title + ".mp3", "MPEG audio file")
        .withSize(size)
        .withDuration(duration);
}

// A database of these tracks, its data sets in the oldest order.
TestDatabase withTracks(const QList<TestTrack> &tracks)
{
    TestDatabase db;
    db.tracks = tracks;
    return db;
}

TestDatabase twoTracks()
{
    return withTracks({plainTrack("One"), plainTrack("Two")});
}

QByteArray hexBytes(const char *hex)
{
    return QByteArray::fromHex(QByteArray(hex).replace(' ', ""));
}

// The fields that longer track records add: unique ID|track|year|disc|composer|album
// artist|persistent ID (hexadecimal, empty while 0).
QString laterFields(const TrackTable &table, int k)
{
    const std::uint64_t id = table.track(k).persistentId;
    return row(table, k, FieldUniqueId, FieldAlbumArtist) + '|' +
           (id ? QString::number(id, 16) : QString());
}

// The table's playlists as "title:track,track".
QStringList playlistsOf(const TrackTable &table)
{
    QStringList out;
    for (const Playlist &p : table.playlists()) {
        QStringList tracks;
        for (int k : p.tracks)
            tracks << QString::number(k);
        out << p.title + ':' + tracks.join(',');
    }
    return out;
}

TestPlaylist playlist(const QString &title, const QList<qint32> &items)
{
    TestPlaylist p;
    p.title = title;
    p.items = items;
    return p;
}

// Three tracks (unique IDs 100, 101, 102), the master playlist and two playlists, one
// naming a track that is not there.
TestDatabase withPlaylists()
{
    TestDatabase db;
    db.dataSets = TestDatabase::modernOrder();
    db.tracks << plainTrack("One") << plainTrack("Two") << plainTrack("Three");
    db.playlists << db.masterPlaylist() << playlist("Road", {102, 999, 100})
                 << playlist("Calm", {101});
    return db;
}

} // namespace

class TestRecordWalk : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // What a valid database of every shape gives.
    void fillsTheTable_data()
    {
        QTest::addColumn<TestDatabase>("db");
        QTest::addColumn<QStringList>("expected");

        const QString oneTwo =
            "1|1000|2000|One|:iPod_Control:Music:F00:One.mp3|Album|Artist|Rock|MPEG audio file||";
        const QString twoTwo =
            "2|1000|2000|Two|:iPod_Control:Music:F00:Two.mp3|Album|Artist|Rock|MPEG audio file||";

        QTest::newRow("two tracks") << twoTracks() << QStringList{oneTwo, twoTwo};

        TestDatabase modern = twoTracks();
        modern.dataSets = TestDatabase::modernOrder();
        QTest::newRow("album list first, track list second")
            << modern << QStringList{oneTwo, twoTwo};

        TestDatabase playlistsFirst = twoTracks();
        playlistsFirst.dataSets = {TestDataSet::PlaylistList, TestDataSet::AlbumList,
                                   TestDataSet::TrackList};
        QTest::newRow("track list third") << playlistsFirst << QStringList{oneTwo, twoTwo};

        TestDatabase longHeader = twoTracks();
        longHeader.headerLength = 244;
        QTest::newRow("database header of 244 bytes") << longHeader << QStringList{oneTwo, twoTwo};

        QTest::newRow("no tracks") << TestDatabase() << QStringList{};

        TestDatabase emptyModern;
        emptyModern.dataSets = TestDatabase::modernOrder();
        QTest::newRow("no tracks, album list first") << emptyModern << QStringList{};

        TestTrack all;
        all.withSize(5).withDuration(6);
        for (int type = 1; type <= 8; ++type)
            all.withString(type, QString("t%1").arg(type));
        QTest::newRow("types 1 to 8 to fields 4 to 11")
            << withTracks({all}) << QStringList{"1|5|6|t1|t2|t3|t4|t5|t6|t7|t8"};

        TestTrack reversed;
        reversed.withSize(5).withDuration(6);
        for (int type = 8; type >= 1; --type)
            reversed.withString(type, QString("t%1").arg(type));
        QTest::newRow("children in reverse order")
            << withTracks({reversed}) << QStringList{"1|5|6|t1|t2|t3|t4|t5|t6|t7|t8"};

        TestTrack repeated;
        repeated.withString(1, "first")
            .withString(4, "A")
            .withString(1, "second")
            .withString(1, "last");
        QTest::newRow("repeated type: the last one wins")
            << withTracks({repeated}) << QStringList{"1|0|0|last|||A"};

        TestTrack odd;
        odd.withString(100, "playlist")
            .withString(9, "category")
            .withString(0, "zero")
            .withString(-1, "negative")
            .withString(1, "Title")
            .withString(52, "x")
            .withString(12, "composer");
        QTest::newRow("types above 8, 0 and negative are passed over")
            << withTracks({odd, plainTrack("Two")}) << QStringList{"1|0|0|Title", twoTwo};

        TestTrack padded = plainTrack("One");
        padded.extra = QByteArray(300, '\x5A');
        QTest::newRow("extra bytes after a track")
            << withTracks({padded, plainTrack("Two")}) << QStringList{oneTwo, twoTwo};

        TestTrack childExtra;
        childExtra.withString(1, "Padded");
        childExtra.strings.last().extra = QByteArray(12, '\x01');
        childExtra.withString(4, "Next");
        QTest::newRow("extra bytes after a string")
            << withTracks({childExtra}) << QStringList{"1|0|0|Padded|||Next"};

        TestTrack longHeaderTrack = plainTrack("One");
        longHeaderTrack.headerLength = 0x9C;
        QTest::newRow("track header of 156 bytes")
            << withTracks({longHeaderTrack, plainTrack("Two")}) << QStringList{oneTwo, twoTwo};

        TestTrack emptyStrings;
        emptyStrings.withString(1, "").withString(4, "").withString(8, "");
        QTest::newRow("zero-length strings") << withTracks({emptyStrings}) << QStringList{"1|0|0"};

        TestTrack noStrings;
        noStrings.withSize(-1).withDuration(-5);
        // The size is unsigned 32-bit, the duration signed.
        QTest::newRow("no children, top bits set")
            << withTracks({noStrings}) << QStringList{"1|4294967295|-5"};

        TestTrack bigNumbers;
        bigNumbers.withSize(std::numeric_limits<qint32>::max())
            .withDuration(std::numeric_limits<qint32>::min());
        QTest::newRow("extreme numbers")
            << withTracks({bigNumbers}) << QStringList{"1|2147483647|-2147483648"};

        TestDatabase fewer = twoTracks();
        fewer.announcedTracks = 1;
        QTest::newRow("fewer tracks announced: the rest is unread") << fewer << QStringList{oneTwo};

        TestTrack utf8;
        utf8.strings << TestString::utf8(1, QString::fromUtf8("Grüße 日本"))
                     << TestString::utf8(4, "plain");
        QTest::newRow("UTF-8 strings (2 at offset 24)")
            << withTracks({utf8}) << QStringList{QString::fromUtf8("1|0|0|Grüße 日本|||plain")};
    }

    void fillsTheTable()
    {
        QFETCH(TestDatabase, db);
        QFETCH(QStringList, expected);
        TrackTable table;
        table.reset(3); // whatever was there before goes
        const WalkOutcome outcome = walk(buildDatabase(db), table);
        QVERIFY2(outcome.complete(), qPrintable(describe(outcome)));
        QCOMPARE(outcome.tracks, int(expected.size()));
        QCOMPARE(rows(table), lines(expected));
    }

    // The fields of longer track records, each read only where the header reaches past
    // it (a short header puts the string children where the numbers would be); zero is
    // "not set".
    void readsLaterFields_data()
    {
        QTest::addColumn<int>("headerLength");
        QTest::addColumn<QString>("expected");
        QTest::newRow("shortest header: unique ID only") << 44 << "4242||||Bach|Various|";
        QTest::newRow("header to the track number") << 48 << "4242|7|||Bach|Various|";
        QTest::newRow("one byte short of the year") << 55 << "4242|7|||Bach|Various|";
        QTest::newRow("header to the year") << 56 << "4242|7|1999||Bach|Various|";
        QTest::newRow("one byte short of the disc") << 95 << "4242|7|1999||Bach|Various|";
        QTest::newRow("header to the disc") << 96 << "4242|7|1999|2|Bach|Various|";
        QTest::newRow("one byte short of the persistent ID")
            << 119 << "4242|7|1999|2|Bach|Various|";
        QTest::newRow("header to the persistent ID: all 64 bits")
            << 120 << "4242|7|1999|2|Bach|Various|f123456789abcdef";
    }

    void readsLaterFields()
    {
        QFETCH(int, headerLength);
        TestTrack track = plainTrack("One");
        track.headerLength = headerLength;
        track.uniqueId = 4242;
        track.trackNumber = 7;
        track.year = 1999;
        track.discNumber = 2;
        track.persistentId = 0xF123456789ABCDEFull;
        track.withString(StringComposer, "Bach").withString(StringAlbumArtist, "Various");
        TestTrack unset = plainTrack("Two");
        unset.uniqueId = 0;
        const TestDatabase db = withTracks({track, unset});
        TrackTable table;
        const WalkOutcome outcome = walk(buildDatabase(db), table);
        QVERIFY2(outcome.complete(), qPrintable(describe(outcome)));
        QTEST(laterFields(table, 1), "expected");
        QCOMPARE(laterFields(table, 2), "||||||");
    }

    void readsPlaylists_data()
    {
        QTest::addColumn<TestDatabase>("db");
        QTest::addColumn<PlaylistStatus>("status");
        QTest::addColumn<QStringList>("expected");
        const QStringList both{"Road:3,1", "Calm:2"};

        QTest::newRow("master left out, missing track ID passed over")
            << withPlaylists() << PlaylistStatus::Read << both;

        TestDatabase rules = withPlaylists();
        rules.playlists[1].children << TestString::raw(50, QByteArray(136, '\x01'))
                                    << TestString::utf16(100, "view settings");
        rules.playlists[2].children << TestString::utf16(StringTitle, "Calm, renamed");
        QTest::newRow("rules and other children passed over, later title wins")
            << rules << PlaylistStatus::Read << QStringList{"Road:3,1", "Calm, renamed:2"};

        TestDatabase ownIds = withPlaylists();
        ownIds.tracks[0].uniqueId = 7;
        ownIds.tracks[1].uniqueId = 5;
        ownIds.tracks[2].uniqueId = 5; // the first track of an ID is the one named
        ownIds.playlists = {playlist("Ids", {5, 7, 100})};
        QTest::newRow("items name unique IDs")
            << ownIds << PlaylistStatus::Read << QStringList{"Ids:2,1"};

        TestDatabase podcasts = withPlaylists();
        podcasts.podcastPlaylists = {playlist("Podcasts", {100})};
        podcasts.dataSets = {TestDataSet::PodcastList, TestDataSet::TrackList,
                             TestDataSet::PlaylistList};
        QTest::newRow("type 2 read, type 3 before it passed over")
            << podcasts << PlaylistStatus::Read << both;
        podcasts.dataSets.removeLast();
        QTest::newRow("type 3 when there is no type 2")
            << podcasts << PlaylistStatus::Read << QStringList{"Podcasts:1"};
        podcasts.dataSets.removeFirst();
        QTest::newRow("no playlist data set")
            << podcasts << PlaylistStatus::Absent << QStringList{};
    }

    void readsPlaylists()
    {
        QFETCH(TestDatabase, db);
        const QByteArray data = buildDatabase(db);
        TrackTable table;
        QVERIFY(walk(data, table).complete());
        QTEST(readPlaylists(bytesOf(data), table), "status");
        QTEST(playlistsOf(table), "expected");
        QVERIFY(walk(data, table).complete()); // a walk makes the table anew, playlists too
        QVERIFY(table.playlists().empty());
    }

    // Damaged playlist data: no playlist is kept, the tracks stay as read.
    void dropsDamagedPlaylists_data()
    {
        QTest::addColumn<QByteArray>("data");
        TestLayout at;
        const QByteArray good = buildDatabase(withPlaylists(), &at);
        const auto patched = [&](int offset, qint32 value) {
            QByteArray d = good;
            putLe32(d, offset, value);
            return d;
        };
        const int list = at.playlistList;
        const int road = at.playlists[1];
        const int item = at.items[1][1];
        QTest::newRow("data set total past the end")
            << patched(at.playlistDataSet + 8, good.size());
        QTest::newRow("wrong playlist-list tag") << QByteArray(good).replace(list, 4, "mhlt");
        QTest::newRow("more playlists announced than present") << patched(list + 8, 4);
        QTest::newRow("playlist header shorter than its flag") << patched(road + 4, 20);
        QTest::newRow("playlist total past the data set") << patched(at.playlists[2] + 8, 0x100000);
        QTest::newRow("hostile children count") << patched(road + 12, 0x7FFFFFFF);
        QTest::newRow("more items announced than present") << patched(road + 16, 4);
        QTest::newRow("title length past its child") << patched(road + 0x6C + 28, 400);
        QTest::newRow("item total past the playlist") << patched(item + 8, 5000);
        QTest::newRow("item header shorter than its track ID") << patched(item + 4, 24);
    }

    void dropsDamagedPlaylists()
    {
        QFETCH(QByteArray, data);
        TrackTable table;
        QVERIFY(walk(data, table).complete());
        table.setPlaylists({Playlist{"earlier", {1}}});
        QCOMPARE(readPlaylists(bytesOf(data), table), PlaylistStatus::Damaged);
        QVERIFY(table.playlists().empty());
        QCOMPARE(table.text(3, FieldTitle), "Three");
    }

    // A database cut anywhere inside its playlists keeps its tracks and drops the playlists,
    // never reading past its end.
    void everyTruncatedPlaylistIsDropped()
    {
        TestLayout at;
        TestDatabase db = withPlaylists();
        db.dataSets = {TestDataSet::TrackList, TestDataSet::PlaylistList};
        const QByteArray good = buildDatabase(db, &at);
        for (qsizetype cut = at.playlistDataSet; cut < good.size(); ++cut) {
            const std::vector<std::uint8_t> piece(good.begin(), good.begin() + cut);
            TrackTable table;
            QVERIFY(walkDatabase(piece, table).complete());
            const PlaylistStatus status = readPlaylists(piece, table);
            QVERIFY2(status == (cut == at.playlistDataSet ? PlaylistStatus::Absent
                                                          : PlaylistStatus::Damaged),
                     qPrintable(QString::number(cut)));
            QVERIFY(table.playlists().empty());
        }
    }

    // Strings are UTF-16 little-endian; where every code unit is below 256 this is the
    // same as taking each non-zero byte as one character.
    void decodesStrings_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected");

        QTest::newRow("48 00 69 00") << hexBytes("48 00 69 00") << "Hi";
        QTest::newRow("E9 00") << hexBytes("E9 00") << QString(QChar(0xE9));
        QTest::newRow("52 01 is one character") << hexBytes("52 01") << QString(QChar(0x152));
        QTest::newRow("CJK title") << hexBytes("1B 54 6E 30 E5 77 89 30 6A 30 44 30 69 72 9E 8A")
                                   << QString::fromUtf8("君の知らない物語");
        QTest::newRow("typographic quotes")
            << hexBytes("1C 20 48 00 1D 20") << QString::fromUtf8("“H”");
        QTest::newRow("surrogate pair") << hexBytes("3D D8 00 DE") << QString::fromUtf8("😀");
        QTest::newRow("pair between letters")
            << hexBytes("41 00 34 D8 1E DD 42 00") << QString::fromUtf8("A𝄞B");
        QTest::newRow("code unit 0 dropped") << hexBytes("48 00 00 00 69 00 00 00") << "Hi";
        QTest::newRow("lone high surrogate")
            << hexBytes("3D D8 41 00") << QString::fromUtf8("\uFFFDA");
        QTest::newRow("lone high surrogate at the end")
            << hexBytes("41 00 3D D8") << QString::fromUtf8("A\uFFFD");
        QTest::newRow("lone low surrogate")
            << hexBytes("00 DE 41 00") << QString::fromUtf8("\uFFFDA");
        QTest::newRow("pair in the wrong order")
            << hexBytes("00 DE 3D D8") << QString::fromUtf8("\uFFFD\uFFFD");
        QTest::newRow("odd last byte") << hexBytes("48 00 69") << "Hi";
        QTest::newRow("odd last byte of 0") << hexBytes("48 00 00") << "H";
        QTest::newRow("empty") << QByteArray() << QString();
        QTest::newRow("byte-order mark kept")
            << hexBytes("FF FE 41 00") << QString(QChar(0xFEFF)) + "A";
    }

    void decodesStrings()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);
        QCOMPARE(decodeUtf16Le(bytesOf(bytes)), expected);

        // The same bytes as a title inside a database.
        TestTrack track;
        track.strings << TestString::raw(StringTitle, bytes);
        const TestDatabase db = withTracks({track});
        TrackTable table;
        QVERIFY(walk(buildDatabase(db), table).complete());
        QCOMPARE(table.text(1, FieldTitle), expected);
    }

    void decodesUtf8_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected");
        QTest::newRow("ASCII") << QByteArray("Hi") << "Hi";
        QTest::newRow("accents and CJK") << QByteArray("Gr\xC3\xBC\xC3\x9F"
                                                       "e \xE6\x97\xA5")
                                         << QString::fromUtf8("Grüße 日");
        QTest::newRow("NUL dropped") << QByteArray("H\0i", 3) << "Hi";
        QTest::newRow("invalid sequence") << QByteArray("A\xFF"
                                                        "B")
                                          << QString::fromUtf8("A\uFFFDB");
    }

    void decodesUtf8()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);
        QCOMPARE(decodeUtf8(bytesOf(bytes)), expected);
    }

    // Damaged input ends the walk with an outcome, never with a read outside the buffer.
    void refusesDamagedInput_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<WalkStatus>("status");
        QTest::addColumn<WalkRecord>("record");
        QTest::addColumn<int>("track");
        QTest::addColumn<bool>("tableRebuilt");

        TestLayout at;
        const QByteArray good = buildDatabase(twoTracks(), &at);
        const auto patched = [&](int offset, qint32 value) {
            QByteArray d = good;
            putLe32(d, offset, value);
            return d;
        };
        const auto tagged = [&](int offset, const char *tag) {
            QByteArray d = good;
            d.replace(offset, 4, tag);
            return d;
        };
        const int set = at.trackListDataSet;
        const int list = at.trackList;
        const int t1 = at.tracks[0];
        const int t2 = at.tracks[1];
        const int c1 = at.children[0][0];
        const int c2 = at.children[1][1];

        QTest::newRow("empty file")
            << QByteArray() << WalkStatus::WrongTag << WalkRecord::DatabaseHeader << 0 << false;
        QTest::newRow("3 bytes") << hexBytes("00 0A FF") << WalkStatus::WrongTag
                                 << WalkRecord::DatabaseHeader << 0 << false;
        QTest::newRow("tag only") << QByteArray("mhbd") << WalkStatus::Damaged
                                  << WalkRecord::DatabaseHeader << 0 << false;
        QTest::newRow("wrong database tag") << tagged(0, "mhbD") << WalkStatus::WrongTag
                                            << WalkRecord::DatabaseHeader << 0 << false;
        QTest::newRow("database header length negative")
            << patched(4, -8) << WalkStatus::Damaged << WalkRecord::DatabaseHeader << 0 << false;
        QTest::newRow("database header length past the end")
            << patched(4, good.size() + 1) << WalkStatus::Damaged << WalkRecord::DatabaseHeader << 0
            << false;
        QTest::newRow("database header length 0")
            << patched(4, 0) << WalkStatus::Damaged << WalkRecord::DatabaseHeader << 0 << false;
        QTest::newRow("database header is the whole file")
            << patched(4, good.size()) << WalkStatus::NoTrackList << WalkRecord::DataSet << 0
            << false;
        QTest::newRow("wrong data-set tag")
            << tagged(set, "mhsx") << WalkStatus::WrongTag << WalkRecord::DataSet << 0 << false;
        QTest::newRow("data-set header length negative")
            << patched(set + 4, -1) << WalkStatus::Damaged << WalkRecord::DataSet << 0 << false;
        QTest::newRow("data-set header length past the end")
            << patched(set + 4, 0x7FFFFFFF) << WalkStatus::Damaged << WalkRecord::DataSet << 0
            << false;
        QTest::newRow("data-set total length negative")
            << patched(set + 8, -1) << WalkStatus::Damaged << WalkRecord::DataSet << 0 << false;
        QTest::newRow("data-set total length past the end")
            << patched(set + 8, good.size()) << WalkStatus::Damaged << WalkRecord::DataSet << 0
            << false;
        QTest::newRow("data-set total below its header")
            << patched(set + 8, 12) << WalkStatus::Damaged << WalkRecord::DataSet << 0 << false;
        QTest::newRow("wrong track-list tag")
            << tagged(list, "mhlp") << WalkStatus::NoTrackList << WalkRecord::DataSet << 0 << false;
        QTest::newRow("track-list header length past its data set")
            << patched(list + 4, good.size()) << WalkStatus::Damaged << WalkRecord::TrackList << 0
            << false;
        QTest::newRow("track-list header length 4")
            << patched(list + 4, 4) << WalkStatus::Damaged << WalkRecord::TrackList << 0 << false;
        QTest::newRow("track count negative")
            << patched(list + 8, -2) << WalkStatus::Damaged << WalkRecord::TrackList << 0 << false;
        QTest::newRow("hostile track count")
            << patched(list + 8, 0x7FFFFFFF) << WalkStatus::TooManyTracks << WalkRecord::TrackList
            << 0 << false;
        QTest::newRow("more tracks announced than present")
            << patched(list + 8, 3) << WalkStatus::WrongTag << WalkRecord::Track << 3 << true;
        QTest::newRow("wrong track tag")
            << tagged(t2, "mhiT") << WalkStatus::WrongTag << WalkRecord::Track << 2 << true;
        QTest::newRow("track header length negative")
            << patched(t1 + 4, -584) << WalkStatus::Damaged << WalkRecord::Track << 1 << true;
        QTest::newRow("track header length too short")
            << patched(t1 + 4, 40) << WalkStatus::Damaged << WalkRecord::Track << 1 << true;
        QTest::newRow("track header longer than the track")
            << patched(t1 + 4, 5000) << WalkStatus::Damaged << WalkRecord::Track << 1 << true;
        QTest::newRow("track total length negative")
            << patched(t2 + 8, -1) << WalkStatus::Damaged << WalkRecord::Track << 2 << true;
        QTest::newRow("track total length past the data set")
            << patched(t2 + 8, 0x10000000) << WalkStatus::Damaged << WalkRecord::Track << 2 << true;
        QTest::newRow("children count negative")
            << patched(t1 + 12, -1) << WalkStatus::Damaged << WalkRecord::Track << 1 << true;
        QTest::newRow("more children announced than present")
            << patched(t2 + 12, 7) << WalkStatus::WrongTag << WalkRecord::StringChild << 2 << true;
        QTest::newRow("hostile children count")
            << patched(t1 + 12, 0x7FFFFFFF) << WalkStatus::WrongTag << WalkRecord::StringChild << 1
            << true;
        QTest::newRow("wrong child tag")
            << tagged(c2, "MHOD") << WalkStatus::WrongTag << WalkRecord::StringChild << 2 << true;
        QTest::newRow("child total length 0")
            << patched(c1 + 8, 0) << WalkStatus::Damaged << WalkRecord::StringChild << 1 << true;
        QTest::newRow("child total length negative")
            << patched(c1 + 8, -40) << WalkStatus::Damaged << WalkRecord::StringChild << 1 << true;
        QTest::newRow("child total length past the track")
            << patched(c1 + 8, 100000) << WalkStatus::Damaged << WalkRecord::StringChild << 1
            << true;
        QTest::newRow("string child shorter than its string header")
            << patched(c1 + 8, 24) << WalkStatus::Damaged << WalkRecord::StringChild << 1 << true;
        QTest::newRow("string length negative")
            << patched(c1 + 28, -2) << WalkStatus::Damaged << WalkRecord::StringChild << 1 << true;
        QTest::newRow("string length past its child")
            << patched(c1 + 28, 1000) << WalkStatus::Damaged << WalkRecord::StringChild << 1
            << true;
        QTest::newRow("string length huge") << patched(c1 + 28, 0x7FFFFFF0) << WalkStatus::Damaged
                                            << WalkRecord::StringChild << 1 << true;
        QTest::newRow("cut inside the first track")
            << good.left(t1 + 30) << WalkStatus::Damaged << WalkRecord::DataSet << 0 << false;
    }

    void refusesDamagedInput()
    {
        QFETCH(QByteArray, data);
        QFETCH(WalkStatus, status);
        QFETCH(WalkRecord, record);
        QFETCH(int, track);
        QFETCH(bool, tableRebuilt);

        TrackTable table;
        table.reset(1);
        table.track(1).id = 1;
        table.setText(1, FieldTitle, "earlier");

        const WalkOutcome outcome = walk(data, table);
        QVERIFY2(outcome.status == status, qPrintable(describe(outcome)));
        QVERIFY2(outcome.record == record, qPrintable(describe(outcome)));
        QCOMPARE(outcome.track, track);
        if (tableRebuilt) {
            QCOMPARE(table.count(), outcome.tracks);
            QVERIFY(table.text(1, FieldTitle) != "earlier");
        } else {
            QCOMPARE(rows(table), lines({"1|0|0|earlier"}));
        }
    }

    // A stop during the tracks leaves the earlier tracks complete and the later ones empty.
    void stopDuringTracksKeepsEarlierTracks()
    {
        const TestDatabase db =
            withTracks({plainTrack("One"), plainTrack("Two"), plainTrack("Three")});
        TestLayout at;
        QByteArray data = buildDatabase(db, &at);
        data.replace(at.tracks[1], 4, "xxxx");
        TrackTable table;
        const WalkOutcome outcome = walk(data, table);
        QCOMPARE(outcome.status, WalkStatus::WrongTag);
        QCOMPARE(outcome.track, 2);
        QCOMPARE(rows(table), (QStringList{"1|1000|2000|One|:iPod_Control:Music:F00:One.mp3|Album|"
                                           "Artist|Rock|MPEG audio file||",
                                           line("|0|0"), line("|0|0")}));
    }

    // Every shorter piece of a valid database is refused, none read past its end.
    void everyTruncationIsRefused()
    {
        TestDatabase db = twoTracks();
        db.dataSets = TestDatabase::modernOrder();
        const QByteArray good = buildDatabase(db);
        for (qsizetype cut = 0; cut < good.size(); ++cut) {
            // A copy of exactly `cut` bytes, so that a sanitizer sees any read past it.
            const std::vector<std::uint8_t> piece(good.begin(), good.begin() + cut);
            TrackTable table;
            const WalkOutcome outcome = walkDatabase(piece, table);
            // Only the trailing (empty) playlist data set may be cut away whole.
            if (outcome.complete())
                QVERIFY2(cut >= good.size() - 0x60 - 0x5C, qPrintable(QString::number(cut)));
        }
    }

    void reportsProgressForEveryTrack()
    {
        TestDatabase db;
        for (int i = 0; i < 5; ++i)
            db.tracks << plainTrack(QString::number(i));
        QList<QPair<int, int>> calls;
        TrackTable table;
        const QByteArray data = buildDatabase(db);
        const WalkOutcome outcome =
            walkDatabase(bytesOf(data), table, [&](int j, int n) { calls << qMakePair(j, n); });
        QVERIFY(outcome.complete());
        QCOMPARE(calls, (QList<QPair<int, int>>{{1, 5}, {2, 5}, {3, 5}, {4, 5}, {5, 5}}));
    }

    // A database written by the player's desktop software.
    void readsTheSharedFixture()
    {
        const QByteArray folder = qgetenv("SONDREL_FIXTURES");
        const QString path =
            QString::fromLocal8Bit(folder) + "/iTunesDB-two-tracks-album-list-first";
        if (folder.isEmpty() || !QFile::exists(path))
            QSKIP("The shared fixtures are absent (set SONDREL_FIXTURES to their folder).");
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray data = file.readAll();
        QCOMPARE(data.size(), 9906);

        TrackTable table;
        const WalkOutcome outcome = walk(data, table);
        QVERIFY2(outcome.complete(), qPrintable(describe(outcome)));
        QCOMPARE(table.count(), 2);
        QCOMPARE(
            rows(table),
            (QStringList{
                QString::fromUtf8(
                    "1|2865926|129124|終わりへ向かう始まりの歌|:iPod_Control:Music:F01:IQZL.m4a|"
                    "Today Is A Beautiful Day|supercell| |AAC 音訊檔|| "),
                QString::fromUtf8(
                    "2|9601059|339590|君の知らない物語|:iPod_Control:Music:F01:RSEG.m4a|"
                    "Today Is A Beautiful Day|supercell| |AAC 音訊檔|| ")}));
        // The persistent IDs as the desktop software wrote them (offset 112).
        QCOMPARE(laterFields(table, 1), "186|1|||||f99c9d1a363112d2");
        QCOMPARE(laterFields(table, 2), "203|2|||||d628800ca2342d7d");
        // Its only playlist is the master playlist (in data sets of type 2 and 3).
        QCOMPARE(readPlaylists(bytesOf(data), table), PlaylistStatus::Read);
        QVERIFY(table.playlists().empty());
    }
};

SONDREL_TEST_MAIN_CORE(TestRecordWalk)
#include "test_recordwalk.moc"
