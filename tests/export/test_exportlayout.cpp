// Where a run puts its files when it sorts them into artist and album folders, how names
// stay unique per folder, and the text of the playlist files.
#include "artistfolders.h"
#include "exportplan.h"
#include "exportrecord.h"
#include "filesystem_posix.h"
#include "playlisttext.h"
#include "testmain.h"
#include "tracktables.h"

#include <QDir>
#include <QTemporaryDir>
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

    // Names of one run in one folder: a folder never takes the name of a file of the run
    // or of the folder, nor the errors list's; a file never that of a folder (numbering
    // against the files on the disk and the record is the export run's test).
    void filesAndFoldersShareTheirFoldersNames()
    {
        QTemporaryDir dir;
        const std::string root = dir.path().toStdString() + "/";
        PosixFileSystem fs;
        const ExportRecord record;
        FolderNames names(fs, root, record, Linux);
        names.reserve("Sondrel export errors.txt");
        const auto file = [&](const QStringList &folders, const ExportName &name) {
            for (int n = 1;; ++n) {
                const QString given = name.finished(Linux, n);
                if (names.look(folders, given).use == FolderNames::Use::Free) {
                    names.claim(folders, given);
                    return given;
                }
            }
        };
        QCOMPARE(file({}, song("Song")), QString("Song.mp3"));
        QCOMPARE(names.folders({"Sondrel export errors.txt", "A"}),
                 (QStringList{"Sondrel export errors.txt (2)", "A"}));
        QCOMPARE(names.folders({"song.MP3", "A"}), (QStringList{"song.MP3 (2)", "A"}));
        QCOMPARE(names.folders({"SONG.mp3", "a"}), (QStringList{"song.MP3 (2)", "A"}));
        QCOMPARE(file({}, song("song.mp3 (2)", "")), QString("song.mp3 (2) (2)"));
        QCOMPARE(file({"song.MP3 (2)"}, song("A", "")), QString("A (2)"));
        QVERIFY(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
    }

    // The durations, the missing artist and the paths are the export run's tests: here
    // the texts that could break a playlist's lines.
    void playlistTextsKeepToTheirLines()
    {
        const QByteArray text =
            playlistText({{1000, "A\r\nB", "C\nD\tE", "x.mp3"},
                          {129124, " ", QString::fromUtf8("終わり"), QString::fromUtf8("Ü/ï.mp3")},
                          {0, "", "#1 Crush", "#1 Crush.mp3"},
                          {0, "", "x", "#1 Dads/y.mp3"}});
        QCOMPARE(text, QByteArray("#EXTM3U\n#EXTINF:1,A  B - C D E\nx.mp3\n"
                                  "#EXTINF:129,  - \xE7\xB5\x82\xE3\x82\x8F\xE3\x82\x8A\n"
                                  "\xC3\x9C/\xC3\xAF.mp3\n"
                                  "#EXTINF:-1,#1 Crush\n./#1 Crush.mp3\n"
                                  "#EXTINF:-1,x\n./#1 Dads/y.mp3\n"));
    }
};

SONDREL_TEST_MAIN_CORE(TestExportLayout)
#include "test_exportlayout.moc"
