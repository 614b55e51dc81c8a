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
const NameLimit Windows{NameUnit::Utf16Units, 255};

ExportName song(const QString &stem, const QString &extension = ".mp3")
{
    return {stem, extension, "Track 1"};
}

} // namespace

Q_DECLARE_METATYPE(sondrel::NameLimit)

class TestExportLayout : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void folderPrefix_data()
    {
        QTest::addColumn<QString>("albumArtist");
        QTest::addColumn<QString>("artist");
        QTest::addColumn<QString>("album");
        QTest::addColumn<NameLimit>("limit");
        QTest::addColumn<QStringList>("folders");

        QTest::newRow("album artist first") << "Queen"
                                            << "Freddie"
                                            << "Opera" << Linux << QStringList{"Queen", "Opera"};
        QTest::newRow("no album artist: the artist")
            << ""
            << "Band"
            << "Disc" << Linux << QStringList{"Band", "Disc"};
        QTest::newRow("a blank album artist is none")
            << " "
            << "Band"
            << "Disc" << Linux << QStringList{"Band", "Disc"};
        QTest::newRow("all empty") << ""
                                   << ""
                                   << "" << Linux << QStringList{"Unknown Artist", "Unknown Album"};
        QTest::newRow("dot and dot dot")
            << "."
            << ".."
            << ".." << Linux << QStringList{"Unknown Artist", "Unknown Album"};
        QTest::newRow("blanks and dots")
            << ""
            << " . "
            << "..." << Linux << QStringList{"Unknown Artist", "Unknown Album"};
        QTest::newRow("trailing dots and blanks")
            << ""
            << "R.E.M."
            << "Best of... " << Linux << QStringList{"R.E.M", "Best of"};
        QTest::newRow("leading dot") << ""
                                     << ".hack"
                                     << ".5" << Linux << QStringList{"_hack", "_5"};
        QTest::newRow("device names") << ""
                                      << "CON"
                                      << "nul.live" << Linux << QStringList{"CON_", "nul_.live"};
        QTest::newRow("device names any case, blanks before the dot")
            << ""
            << "Com1 "
            << "lpt9 .x" << Linux << QStringList{"Com1_", "lpt9 _.x"};
        QTest::newRow("control characters and the nine")
            << ""
            << "AC\tDC\n"
            << "a/b:c*?\"<>|\\" << Linux << QStringList{"AC-DC-", "a-b-c-------"};
        QTest::newRow("300 characters") << QString(300, 'a') << "Band" << QString(300, 'b') << Linux
                                        << QStringList{QString(255, 'a'), QString(255, 'b')};
        QTest::newRow("300 two-byte characters: 127 of them in 255 bytes")
            << "" << QString(300, QChar(0xE9)) << "x" << Linux
            << QStringList{QString(127, QChar(0xE9)), "x"};
        QTest::newRow("300 two-byte characters on Windows: 255 units")
            << "" << QString(300, QChar(0xE9)) << "x" << Windows
            << QStringList{QString(255, QChar(0xE9)), "x"};
        QTest::newRow("cut before a trailing dot")
            << "" << QString(254, 'a') + ". b"
            << "x" << Linux << QStringList{QString(254, 'a'), "x"};
    }

    void folderPrefix()
    {
        QFETCH(QString, albumArtist);
        QFETCH(QString, artist);
        QFETCH(QString, album);
        QFETCH(NameLimit, limit);
        QFETCH(QStringList, folders);

        TableTrack track;
        track.albumArtist = albumArtist;
        track.artist = artist;
        track.album = album;
        QCOMPARE(artistAlbumFolders(tableOf({track}), 1, limit), folders);
        QCOMPARE(artistAlbumFolders(tableOf({track}), 2, limit),
                 (QStringList{"Unknown Artist", "Unknown Album"})); // no such track
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
        QTest::newRow("under a second") << 999 << "Band"
                                        << "Song" << QByteArray("#EXTINF:0,Band - Song");
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

    void anEmptyPlaylistIsItsHeaderAlone() { QCOMPARE(playlistText({}), QByteArray("#EXTM3U\n")); }
};

SONDREL_TEST_MAIN_CORE(TestExportLayout)
#include "test_exportlayout.moc"
