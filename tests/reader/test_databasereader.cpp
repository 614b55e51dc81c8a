#include "artworkbuilder.h"
#include "artworkdb.h"
#include "databasereader.h"
#include "faultyfilesystem.h"
#include "filesystem_posix.h"
#include "itunesdbbuilder.h"
#include "platformerror.h"
#include "testfiles.h"
#include "testmain.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstdio>

using namespace sondrel;
using namespace sondrel::test;

namespace {

TestDatabase tracks(int n)
{
    TestDatabase db;
    db.dataSets = TestDatabase::modernOrder();
    for (int i = 1; i <= n; ++i)
        db.tracks << TestTrack::make(QString("Title %1").arg(i), QString("Artist %1").arg(i % 7),
                                     "Album", "Rock",
                                     QString(":iPod_Control:Music:F00:%1.mp3").arg(i))
                         .withComment(QString("Comment %1").arg(i));
    return db;
}

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

constexpr quint32 Blue = 0x2040C0, Red = 0xF00000;
constexpr quint64 Song = 0x1000000000000001ull;

TestImage image(quint32 id, quint64 song, QList<TestThumbnail> thumbnails)
{
    return TestImage{id, song, std::move(thumbnails)};
}

} // namespace

Q_DECLARE_METATYPE(sondrel::test::TestArtwork)

class TestDatabaseReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // What a read gives for each kind of player, with the work files it leaves for
    // removeWorkFiles(): the database's bytes and their hex text, or nothing at all.
    void readsThePlayer_data()
    {
        QTest::addColumn<QByteArray>("plain");      // "iTunesDB"; none when null
        QTest::addColumn<QByteArray>("compressed"); // "iTunesCDB"; none when null
        QTest::addColumn<bool>("staging");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("tracks");
        QTest::addColumn<QByteArray>("staged"); // the staged copy left; null: no work file

        const QByteArray db = buildDatabase(tracks(300));
        const QByteArray cdb = compressDatabase(db);
        const QByteArray inflated = cdb.left(0x68) + db.mid(0x68); // the header as stored
        TestLayout at;
        QByteArray damaged = buildDatabase(tracks(3), &at);
        damaged.replace(at.tracks[2], 4, "mhix");
        const int read = int(ReadStatus::Read);
        const int unreadable = int(ReadStatus::Unreadable);
        QTest::newRow("plain") << db << QByteArray() << true << read << 300 << db;
        QTest::newRow("plain, nothing written")
            << db << QByteArray() << false << read << 300 << QByteArray();
        QTest::newRow("compressed beside an outdated one")
            << buildDatabase(tracks(1)) << cdb << true << read << 300 << inflated;
        QTest::newRow("compressed, nothing written")
            << QByteArray() << cdb << false << read << 300 << QByteArray();
        QTest::newRow("no database") << QByteArray() << QByteArray() << true
                                     << int(ReadStatus::NoDatabase) << 0 << QByteArray();
        QTest::newRow("a damaged track: the work files wait for the caller")
            << damaged << QByteArray() << true << unreadable << 3 << damaged;
        QTest::newRow("compressed, cut short: no work file")
            << QByteArray() << cdb.left(cdb.size() - 30) << true << unreadable << 0 << QByteArray();
    }

    void readsThePlayer()
    {
        QFETCH(QByteArray, plain);
        QFETCH(QByteArray, compressed);
        QFETCH(bool, staging);
        QFETCH(QByteArray, staged);
        QTemporaryDir player;
        QTemporaryDir work;
        if (!plain.isNull())
            QVERIFY(writePlayerFile(player.path(), "iPod_Control/iTunes/iTunesDB", plain));
        if (!compressed.isNull())
            QVERIFY(writePlayerFile(player.path(), "iPod_Control/iTunes/iTunesCDB", compressed));
        QVERIFY(writePlayerFile(work.path(), "Vemo_temp_hex.txt", "from an earlier run"));

        const PosixFileSystem fs;
        const std::string drive = player.path().toStdString() + '/';
        DatabaseReader reader = staging ? DatabaseReader(fs, drive, work.path().toStdString() + '/')
                                        : DatabaseReader(fs, drive);
        TrackTable table;
        int calls = 0;
        ReadOutcome outcome;
        if (reader.find())
            outcome = reader.read(table, [&](int, int) { ++calls; });
        QTEST(int(outcome.status), "status");
        QTEST(outcome.tracks(), "tracks");
        if (outcome.read()) {
            QCOMPARE(calls, outcome.tracks());
            QCOMPARE(table.text(300, FieldTitle), "Title 300");
        }
        // A file at one of the names (the user's, or one an earlier run left) is never
        // written: the pair takes the next free names, and only those are removed.
        if (staged.isNull()) {
            QCOMPARE(filesIn(work.path()), QStringList{"Vemo_temp_hex.txt"});
        } else {
            QCOMPARE(QString::fromStdString(reader.files().stagedCopy),
                     work.filePath("Vemo_temp (2)"));
            QCOMPARE(readAll(work.filePath("Vemo_temp (2)")), staged);
            QCOMPARE(readAll(work.filePath("Vemo_temp (2)_hex.txt")), staged.toHex().toUpper());
        }
        reader.removeWorkFiles();
        QCOMPARE(filesIn(work.path()), QStringList{"Vemo_temp_hex.txt"});
        QCOMPARE(readAll(work.filePath("Vemo_temp_hex.txt")), QByteArray("from an earlier run"));
    }

    // Whatever takes a work file's name is left as it is: a link is not written through, a
    // folder not opened, the user's own file neither truncated nor removed; a file put at a
    // work file's name while the check runs is not removed either.
    void workFilesTakeFreeNames_data()
    {
        QTest::addColumn<QStringList>(
            "taken"); // "name" (a file), "name/" (a folder), "name>" (a link out)
        QTest::addColumn<QString>("copy"); // the staged copy's name
        QTest::addColumn<QString>("hex");
        QTest::newRow("both free") << QStringList{} << "Vemo_temp"
                                   << "Vemo_temp_hex.txt";
        QTest::newRow("the user's Vemo_temp") << QStringList{"Vemo_temp"} << "Vemo_temp (2)"
                                              << "Vemo_temp (2)_hex.txt";
        QTest::newRow("a link at the hex file's name")
            << QStringList{"Vemo_temp_hex.txt>"} << "Vemo_temp (2)"
            << "Vemo_temp (2)_hex.txt";
        QTest::newRow("a folder, then a link")
            << QStringList{"Vemo_temp/", "Vemo_temp (2)>", "Vemo_temp (3)_hex.txt"}
            << "Vemo_temp (4)"
            << "Vemo_temp (4)_hex.txt";
    }

    void workFilesTakeFreeNames()
    {
        QFETCH(QStringList, taken);
        QFETCH(QString, copy);
        QFETCH(QString, hex);
        QTemporaryDir player;
        QTemporaryDir work;
        QTemporaryDir outside;
        const QByteArray db = buildDatabase(tracks(5));
        QVERIFY(writePlayerFile(player.path(), "iPod_Control/iTunes/iTunesDB", db));
        const QString target = outside.filePath("target");
        QVERIFY(writePlayerFile(outside.path(), "target", "not Sondrel's"));
        QStringList left;
        for (QString name : taken) {
            if (name.endsWith('/')) {
                name.chop(1);
                QVERIFY(QDir(work.path()).mkdir(name));
            } else if (name.endsWith('>')) {
                name.chop(1);
                QVERIFY(QFile::link(target, work.filePath(name)));
            } else {
                QVERIFY(writePlayerFile(work.path(), name, "the user's"));
            }
            left << name;
        }
        const PosixFileSystem fs;
        DatabaseReader reader(fs, player.path().toStdString() + '/',
                              work.path().toStdString() + '/');
        QVERIFY(reader.find());
        TrackTable table;
        QVERIFY(reader.read(table).read());
        QCOMPARE(readAll(work.filePath(copy)), db);
        QCOMPARE(readAll(work.filePath(hex)), db.toHex().toUpper());
        QCOMPARE(readAll(target), QByteArray("not Sondrel's"));

        // Another program puts a file of its own at the hex file's name meanwhile.
        QVERIFY(writePlayerFile(outside.path(), "theirs", "someone else's"));
        QVERIFY(::rename(QFile::encodeName(outside.filePath("theirs")).constData(),
                         QFile::encodeName(work.filePath(hex)).constData()) == 0);
        reader.removeWorkFiles();
        left << hex;
        left.sort();
        QCOMPARE(QDir(work.path())
                     .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name),
                 left);
        QCOMPARE(readAll(work.filePath(hex)), QByteArray("someone else's"));
        for (const QString &name : taken)
            if (!name.endsWith('/') && !name.endsWith('>'))
                QCOMPARE(readAll(work.filePath(name)), QByteArray("the user's"));
        QCOMPARE(readAll(target), QByteArray("not Sondrel's"));
    }

    // The database is read only within the player: a database that is a link out of it
    // (to a file of root's, say) is refused with that reason, and no work file is left.
    void databaseLinkedOutOfThePlayerIsRefused()
    {
        QTemporaryDir player;
        QTemporaryDir work;
        QTemporaryDir outside;
        QVERIFY(writePlayerFile(outside.path(), "iTunesDB", buildDatabase(tracks(2))));
        QVERIFY(QDir(player.path()).mkpath("iPod_Control/iTunes"));
        QVERIFY(QFile::link(outside.filePath("iTunesDB"),
                            player.filePath("iPod_Control/iTunes/iTunesDB")));
        const PosixFileSystem fs;
        DatabaseReader reader(fs, player.path().toStdString() + '/',
                              work.path().toStdString() + '/');
        QVERIFY(reader.find());
        TrackTable table;
        QString raised;
        try {
            reader.read(table);
        } catch (const PlatformError &error) {
            raised = QString::fromStdString(error.description());
        }
        QVERIFY2(raised.startsWith(LinkOutOfFolder), qPrintable(raised));
        QCOMPARE(filesIn(work.path()), QStringList());
    }

    // Which cover a track gets and what its picture is: the track record's link at 352,
    // else the image whose song ID is the track's persistent ID; the picture cropped to
    // the padding, the largest usable thumbnail of an image. Damaged or missing artwork
    // gives no cover and the tracks are read all the same.
    void coversOfThePlayer_data()
    {
        QTest::addColumn<TestArtwork>("artwork");
        QTest::addColumn<quint32>("link");   // the track's link at 352
        QTest::addColumn<int>("header");     // of the track record
        QTest::addColumn<QString>("damage"); // "cut" the ArtworkDB, drop "file"s, link them "out"
        QTest::addColumn<quint32>("image");  // the track's cover
        QTest::addColumn<QSize>("size");     // of the decoded picture; empty: none

        const TestThumbnail full = fitThumbnail(1060, 320, 500, 500, Blue, Red);
        const TestThumbnail small = fitThumbnail(1055, 128, 500, 500, Blue, Red);
        TestThumbnail second = full;
        second.file = 2;
        TestThumbnail notRgb565 = full;
        notRgb565.pixels.append(QByteArray(320 * 320, '\0')); // 3 bytes a pixel
        TestThumbnail escaping = full;
        escaping.fileName = ":..:iTunes:F1060_1.ithmb";
        const TestArtwork linked{{image(5, Song + 1, {small}), image(7, Song + 2, {full})}};
        const TestArtwork bySong{{image(7, Song, {full})}};

        QTest::newRow("link at 352") << linked << 7u << 0x248 << "" << 7u << QSize(320, 320);
        QTest::newRow("song ID without a link")
            << bySong << 0u << 0x248 << "" << 7u << QSize(320, 320);
        QTest::newRow("link to no image: song ID")
            << bySong << 9u << 0x248 << "" << 7u << QSize(320, 320);
        QTest::newRow("header too short for the link: song ID")
            << TestArtwork{{image(7, Song + 1, {full}), image(8, Song, {small})}} << 7u << 0x120
            << "" << 8u << QSize(128, 128);
        QTest::newRow("600 x 400 cropped out of its padding")
            << TestArtwork{{image(7, Song, {fitThumbnail(1060, 320, 600, 400, Blue, Red)})}} << 0u
            << 0x248 << "" << 7u << QSize(320, 214);
        QTest::newRow("400 x 600 cropped out of its padding")
            << TestArtwork{{image(7, Song, {fitThumbnail(1029, 200, 400, 600, Blue, Red)})}} << 0u
            << 0x248 << "" << 7u << QSize(134, 200);
        QTest::newRow("the largest thumbnail") << TestArtwork{{image(7, Song, {small, full})}} << 0u
                                               << 0x248 << "" << 7u << QSize(320, 320);
        QTest::newRow("in the second thumbnail file")
            << TestArtwork{{image(3, Song + 1, {full}), image(7, Song, {second})}} << 7u << 0x248
            << "" << 7u << QSize(320, 320);
        QTest::newRow("not RGB565: passed over")
            << TestArtwork{{image(7, Song, {notRgb565, small})}} << 7u << 0x248 << "" << 7u
            << QSize(128, 128);
        QTest::newRow("a file name leading elsewhere: no cover")
            << TestArtwork{{image(7, Song, {escaping})}} << 7u << 0x248 << "" << 0u << QSize(0, 0);
        QTest::newRow("damaged ArtworkDB: no cover")
            << linked << 7u << 0x248 << "cut" << 0u << QSize(0, 0);
        QTest::newRow("thumbnail file missing: no picture")
            << linked << 7u << 0x248 << "file" << 7u << QSize(0, 0);
        QTest::newRow("thumbnail file a link out of the player: no picture")
            << linked << 7u << 0x248 << "out" << 7u << QSize(0, 0);
    }

    void coversOfThePlayer()
    {
        QFETCH(TestArtwork, artwork);
        QFETCH(quint32, link);
        QFETCH(int, header);
        QFETCH(QString, damage);
        QTemporaryDir player;
        TestDatabase db = tracks(2);
        db.tracks[0].headerLength = header;
        db.tracks[0].artworkLink = link;
        db.tracks[0].persistentId = Song;
        QVERIFY(writePlayer(player.path(), db));
        BuiltArtwork built = buildArtwork(artwork);
        if (damage == "cut")
            built.database.chop(40);
        if (damage == "file")
            built.files.clear();
        QVERIFY(writePlayerFile(player.path(), "iPod_Control/artwork/artworkdb", built.database));
        QTemporaryDir elsewhere;
        for (auto f = built.files.cbegin(); f != built.files.cend(); ++f) {
            const QString name = "iPod_Control/artwork/" + f.key().toLower();
            if (damage != "out") {
                QVERIFY(writePlayerFile(player.path(), name, f.value()));
                continue;
            }
            QVERIFY(writePlayerFile(elsewhere.path(), f.key(), f.value()));
            QVERIFY(QFile::link(elsewhere.filePath(f.key()), player.filePath(name)));
        }

        const PosixFileSystem fs;
        TrackTable table;
        DatabaseReader reader(fs, player.path().toStdString() + '/');
        QVERIFY(readPlayer(reader, table).read());
        QCOMPARE(table.count(), 2);
        QTEST(table.track(1).coverImage, "image");
        QCOMPARE(table.track(2).coverImage, 0u);
        const CoverPixels pixels = table.artwork()
                                       ? readCover(fs, *table.artwork(), table.track(1).coverImage)
                                       : CoverPixels{};
        QTEST(QSize(pixels.width, pixels.height), "size");
        // Every pixel is the picture's, none of the padding's.
        const quint32 blue = widened(rgb565(Blue));
        for (std::size_t i = 0; i < pixels.rgb.size(); i += 3) {
            const quint32 rgb =
                quint32(pixels.rgb[i]) << 16 | quint32(pixels.rgb[i + 1]) << 8 | pixels.rgb[i + 2];
            if (rgb != blue)
                QFAIL(qPrintable(QString("pixel %1 is %2").arg(i / 3).arg(rgb, 6, 16)));
        }
    }

    // A disk that fills up while the work files are written beside the walk stops the read
    // with the disk's error, also when the walk would have found damage: the work files
    // come first, as when they were written before the walk. Nothing is left behind.
    void fullDiskDuringTheWalk_data()
    {
        QTest::addColumn<bool>("damaged");
        QTest::newRow("intact database") << false;
        QTest::newRow("damaged database") << true;
    }

    void fullDiskDuringTheWalk()
    {
        QFETCH(bool, damaged);
        QTemporaryDir player;
        QTemporaryDir work;
        TestLayout at;
        QByteArray db = buildDatabase(tracks(4000), &at);
        if (damaged)
            db.replace(at.tracks[10], 4, "mhix");
        QVERIFY(writePlayerFile(player.path(), "iPod_Control/iTunes/iTunesDB", db));
        auto plan = std::make_shared<FaultPlan>();
        plan->faults.push_back(
            {FsOp::Write, ENOSPC, 0, work.filePath("Vemo_temp_hex").toStdString(), 1 << 20});
        const FaultyFileSystem fs(plan, std::make_unique<PosixFileSystem>());

        int raised = 0;
        {
            DatabaseReader reader(fs, player.path().toStdString() + '/',
                                  work.path().toStdString() + '/');
            QVERIFY(reader.find());
            TrackTable table;
            try {
                reader.read(table);
            } catch (const PlatformError &error) {
                raised = error.number();
            }
        } // the reader removes what it left
        QCOMPARE(raised, ENOSPC);
        QCOMPARE(filesIn(work.path()), QStringList());
    }
};

SONDREL_TEST_MAIN_CORE(TestDatabaseReader)
#include "test_databasereader.moc"
