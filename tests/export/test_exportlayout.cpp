// Where a run puts its files when it sorts them into artist and album folders, how names
// stay unique per folder, and the text of the playlist files.
#include "exportlayout.h"
#include "testmain.h"
#include "tracktables.h"

#include <QTest>

using namespace sondrel;
using namespace sondrel::test;

namespace {

const NameLimit Linux{NameUnit::Utf8Bytes, 255};

ExportName song(const QString &stem, const QString &extension = ".mp3")
{
    return {stem, extension, "Track 1"};
}

} // namespace

class TestExportLayout : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void folderPrefix_data()
    {
        QTest::addColumn<QStringList>("track"); // album artist, artist, album
        QTest::addColumn<QStringList>("folders");

        const QStringList unknown{"Unknown Artist", "Unknown Album"};
        QTest::newRow("album artist first")
            << QStringList{"Queen", "Freddie", "Opera"} << QStringList{"Queen", "Opera"};
        QTest::newRow("no album artist: the artist")
            << QStringList{"", "Band", "Disc"} << QStringList{"Band", "Disc"};
        QTest::newRow("a blank album artist is none")
            << QStringList{" ", "Band", "Disc"} << QStringList{"Band", "Disc"};
        QTest::newRow("all empty") << QStringList{"", "", ""} << unknown;
        QTest::newRow("dot and dot dot") << QStringList{".", "..", ".."} << unknown;
        QTest::newRow("blanks and dots") << QStringList{"", " . ", "..."} << unknown;
        QTest::newRow("trailing dots and blanks")
            << QStringList{"", "R.E.M.", "Best of... "} << QStringList{"R.E.M", "Best of"};
        QTest::newRow("leading dot")
            << QStringList{"", ".hack", ".5"} << QStringList{"_hack", "_5"};
        QTest::newRow("device names")
            << QStringList{"", "CON", "nul.live"} << QStringList{"CON_", "nul_.live"};
        QTest::newRow("control characters and the nine")
            << QStringList{"", "AC\tDC\n", "a/b:c*?\"<>|\\"}
            << QStringList{"AC-DC-", "a-b-c-------"};
        QTest::newRow("300 characters")
            << QStringList{QString(300, 'a'), "Band", QString(254, 'b') + ". b"}
            << QStringList{QString(255, 'a'), QString(254, 'b')};
    }

    void folderPrefix()
    {
        QFETCH(QStringList, track);
        QFETCH(QStringList, folders);

        TableTrack with;
        with.albumArtist = track[0];
        with.artist = track[1];
        with.album = track[2];
        QCOMPARE(artistAlbumFolders(tableOf({with}), 1, Linux), folders);
        QCOMPARE(artistAlbumFolders(tableOf({with}), 2, Linux), // no such track
                 (QStringList{"Unknown Artist", "Unknown Album"}));
    }

    // Equal names are numbered per folder; a folder asked for in another letter case is
    // the first one; files and folders share the names of their folder.
    void namesAreUniquePerFolder()
    {
        RunNames names(Linux);
        names.reserve("Sondrel export errors.txt");
        const QStringList band = names.folders({"Band", "Disc"});
        QCOMPARE(band, (QStringList{"Band", "Disc"}));
        QCOMPARE(names.file(band, song("Song")), QString("Song.mp3"));
        QCOMPARE(names.file(band, song("SONG")), QString("SONG (2).mp3"));
        QCOMPARE(names.folders({"BAND", "disc"}), band);
        QCOMPARE(names.file(names.folders({"BAND", "disc"}), song("song")),
                 QString("song (3).mp3"));
        // The same name in another folder is free.
        const QStringList other = names.folders({"Band", "Live"});
        QCOMPARE(other, (QStringList{"Band", "Live"}));
        QCOMPARE(names.file(other, song("Song")), QString("Song.mp3"));
        QCOMPARE(names.file({}, song("Song")), QString("Song.mp3"));

        // A folder never takes the name of a file of the run, nor a file that of a folder.
        QCOMPARE(names.folders({"Sondrel export errors.txt", "A"}),
                 (QStringList{"Sondrel export errors.txt (2)", "A"}));
        QCOMPARE(names.folders({"song.MP3", "A"}), (QStringList{"song.MP3 (2)", "A"}));
        QCOMPARE(names.file({}, song("band", "")), QString("band (2)"));
        QCOMPARE(names.file({}, song("Band", ".m3u8")), QString("Band.m3u8"));
    }

    void playlistLines_data()
    {
        QTest::addColumn<int>("duration");
        QTest::addColumn<QString>("artist");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QByteArray>("extinf");

        QTest::newRow("whole seconds rounded down")
            << 215999 << "Band"
            << "Song" << QByteArray("#EXTINF:215,Band - Song");
        QTest::newRow("zero: unknown") << 0 << "Band"
                                       << "Song" << QByteArray("#EXTINF:-1,Band - Song");
        QTest::newRow("negative: unknown") << -5000 << "Band"
                                           << "Song" << QByteArray("#EXTINF:-1,Band - Song");
        QTest::newRow("no artist: the title alone") << 60000 << ""
                                                    << "Song" << QByteArray("#EXTINF:60,Song");
        QTest::newRow("a blank artist is one") << 60000 << " "
                                               << "Song" << QByteArray("#EXTINF:60,  - Song");
        QTest::newRow("line breaks stay on the line")
            << 1000 << "A\r\nB"
            << "C\nD\tE" << QByteArray("#EXTINF:1,A  B - C D E");
        QTest::newRow("UTF-8") << 129124 << "supercell"
                               << QString::fromUtf8("終わりへ向かう始まりの歌")
                               << QByteArray("#EXTINF:129,supercell - "
                                             "\xE7\xB5\x82\xE3\x82\x8F\xE3\x82\x8A\xE3\x81\xB8"
                                             "\xE5\x90\x91\xE3\x81\x8B\xE3\x81\x86\xE5\xA7\x8B"
                                             "\xE3\x81\xBE\xE3\x82\x8A\xE3\x81\xAE\xE6\xAD\x8C");
    }

    void playlistLines()
    {
        QFETCH(int, duration);
        QFETCH(QString, artist);
        QFETCH(QString, title);
        QFETCH(QByteArray, extinf);
        const QByteArray text =
            playlistText({{duration, artist, title, QString::fromUtf8("Band/Disc/Ünïcode.mp3")}});
        QCOMPARE(text, "#EXTM3U\n" + extinf +
                           "\nBand/Disc/\xC3\x9Cn\xC3\xAF"
                           "code.mp3\n");
    }
};

SONDREL_TEST_MAIN_CORE(TestExportLayout)
#include "test_exportlayout.moc"
