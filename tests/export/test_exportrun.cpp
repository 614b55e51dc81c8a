// The export run without a window: its checks, the copies in grid order, the progress
// line, the messages, and what happens to untrusted locations and failed copies.
#include "exportrun.h"
#include "fakemachine.h"
#include "filesystem_posix.h"
#include "platformerror.h"
#include "testmain.h"
#include "tracktable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <array>
#include <cerrno>
#include <optional>

using namespace sondrel;

namespace {

// Records what the run shows, in order.
class Host : public ExportHost
{
public:
    QStringList events;

    void message(const QString &text) override { events << "message:" + text; }
    void failure(const PlatformError &error) override
    {
        events << "failure:" + QString::fromStdString(error.description());
    }
    void setBusy(bool busy) override { events << (busy ? "busy" : "pointer"); }
    void showStatus(const QString &text) override { events << "status:" + text; }
    void clearStatus() override { events << "cleared"; }

    QStringList messages() const
    {
        return events.filter(QRegularExpression("^(message|failure):"));
    }
};

// The Linux service with the free space (and the paths asked about) under the test's control.
class SpaceFileSystem : public PosixFileSystem
{
public:
    using PosixFileSystem::PosixFileSystem;
    std::optional<std::uint64_t> available;
    mutable std::vector<std::string> spaceAsked;

    std::uint64_t availableSpace(const std::string &path) const override
    {
        spaceAsked.push_back(path);
        return available ? *available : PosixFileSystem::availableSpace(path);
    }
};

// Copies `goodCopies` files, then writes `partialBytes` of the next one and fails as a
// full disk does.
class FailingFileSystem : public PosixFileSystem
{
public:
    int goodCopies = 0;
    qint64 partialBytes = 1000;
    mutable int copies = 0;

    void copyFile(const std::string &source, const std::string &destination,
                  bool overwrite) const override
    {
        if (copies++ < goodCopies) {
            PosixFileSystem::copyFile(source, destination, overwrite);
            return;
        }
        QFile in(QString::fromStdString(source));
        QFile out(QString::fromStdString(destination));
        if (in.open(QIODevice::ReadOnly) && out.open(QIODevice::WriteOnly))
            out.write(in.read(partialBytes));
        throw PlatformError(ENOSPC, "No space left on device: " + destination);
    }
};

// A player folder and an export folder, and the track table that describes the player.
struct Scene
{
    QTemporaryDir dir;
    QString player;    // ends with "/"
    QString exportDir; // ends with "/"
    TrackTable table;
    ExportRequest request; // the marked tracks in grid order, their totals, the fields
    Host host;

    Scene()
    {
        QDir(dir.path()).mkpath("player/iPod_Control/Music/F00");
        QDir(dir.path()).mkpath("export");
        player = dir.filePath("player") + "/";
        exportDir = dir.filePath("export") + "/";
        request.playerDrive = player;
        request.exportDirectory = exportDir;
        request.fields = defaultNameFields();
    }

    // Adds track k (the next one) with its file on the player, and its grid row.
    int addTrack(const QString &title, const QString &location, const QByteArray &contents,
                 bool marked = true, bool writeFile = true)
    {
        const int k = table.count() + 1;
        std::vector<Track> keep;
        for (int i = 1; i < k; ++i)
            keep.push_back(table.track(i));
        table.reset(k);
        for (int i = 1; i < k; ++i)
            table.track(i) = keep[std::size_t(i - 1)];
        Track &t = table.track(k);
        t.id = k;
        t.size = std::uint64_t(contents.size());
        table.setText(k, FieldTitle, title);
        table.setText(k, FieldLocation, location);
        if (writeFile && location.startsWith(':')) {
            const QString path = player + location.mid(1).replace(':', '/');
            QDir().mkpath(QFileInfo(path).path());
            QFile file(path);
            if (file.open(QIODevice::WriteOnly))
                file.write(contents);
        }
        if (marked) {
            request.marked.push_back(k);
            request.totals.count += 1;
            request.totals.bytes += std::uint64_t(contents.size());
        }
        return k;
    }

    ExportRun::Outcome run(const FileSystem &fs)
    {
        ExportRun exportRun(fs, table, host);
        return exportRun.run(request);
    }

    QStringList exported() const
    {
        return QDir(exportDir).entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    }

    QByteArray exportedBytes(const QString &name) const
    {
        QFile file(exportDir + name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
};

NameFields onlyTitle()
{
    return {{"Genre", false, 8},
            {"Artist", false, 7},
            {"Title", true, 4},
            {"Album", false, 6},
            {"ID", false, 1}};
}

QByteArray bytesOf(char c, int n)
{
    return QByteArray(n, c);
}

} // namespace

class TestExportRun : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // ---- checks before the copies ----

    void checksComeInTheirOrder_data()
    {
        QTest::addColumn<bool>("directory");
        QTest::addColumn<bool>("player");
        QTest::addColumn<qint64>("available");
        QTest::addColumn<bool>("marked");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QStringList>("events");

        QTest::newRow("directory and player missing: the directory first")
            << false << false << qint64(1) << true << int(ExportRun::Outcome::DirectoryMissing)
            << QStringList{"message:The default directory doesn't exist."};
        QTest::newRow("player missing")
            << true << false << qint64(1) << true << int(ExportRun::Outcome::PlayerMissing)
            << QStringList{"message:The iPod is not connected."};
        QTest::newRow("one byte short")
            << true << true << qint64(2999) << true << int(ExportRun::Outcome::NotEnoughSpace)
            << QStringList{"space"};
        QTest::newRow("free space exactly the marked total: the export runs")
            << true << true << qint64(3000) << true << int(ExportRun::Outcome::Exported)
            << QStringList{"busy",
                           "status:",
                           "status: Exporting file 1 of 1 (Song)",
                           "cleared",
                           "message:File exported successfully",
                           "pointer"};
        QTest::newRow("nothing marked: the space check passes, the pointer comes back")
            << true << true << qint64(0) << false << int(ExportRun::Outcome::NothingSelected)
            << QStringList{"busy", "message:No files were selected", "pointer"};
    }

    void checksComeInTheirOrder()
    {
        QFETCH(bool, directory);
        QFETCH(bool, player);
        QFETCH(qint64, available);
        QFETCH(bool, marked);
        QFETCH(int, outcome);
        QFETCH(QStringList, events);

        Scene scene;
        scene.addTrack("Song", ":iPod_Control:Music:F00:A.mp3", bytesOf('a', 3000), marked);
        if (!directory)
            QVERIFY(QDir(scene.exportDir).removeRecursively());
        if (!player)
            QVERIFY(QDir(scene.player).removeRecursively());
        SpaceFileSystem fs;
        fs.available = std::uint64_t(available);

        QCOMPARE(int(scene.run(fs)), outcome);
        if (events == QStringList{"space"}) {
            QCOMPARE(scene.host.events.size(), 1);
            QVERIFY(scene.host.events[0].startsWith("message:You have less space available in "));
        } else {
            QCOMPARE(scene.host.events, events);
        }
        if (outcome != int(ExportRun::Outcome::Exported) && directory)
            QCOMPARE(scene.exported(), QStringList{});
    }

    void freeSpaceMessageNamesTheDriveTwice()
    {
        const QString expected =
            "You have less space available in /media/usb than the total size of the files you "
            "want to export.\rPlease select less files.\rYour total available size in /media/usb "
            "right now is (1,024.00 Kb = 1.00 Mb = 0.00 Gb).";
        QCOMPARE(freeSpaceMessage("/media/usb", 1048576), expected);
        QVERIFY(!expected.contains('\n'));
        QVERIFY(freeSpaceMessage("C:", 2097152).endsWith("(2,048.00 Kb = 2.00 Mb = 0.00 Gb)."));
    }

    void twoMegabytesMarkedOnOneMegabyteFree()
    {
        // The space is that of the file system holding the export directory, and the
        // message names that file system's mount point.
        Scene scene;
        scene.addTrack("Big", ":iPod_Control:Music:F00:A.mp3", bytesOf('b', 2097152));
        test::FakeMachine machine;
        machine.mount("/dev/sda1", "/", "ext4");
        const QString exportMount = QDir::cleanPath(scene.exportDir);
        machine.mount("/dev/sdz1", exportMount, "vfat");
        SpaceFileSystem fs(machine.mountTablePath().toStdString(),
                           machine.sysfsRoot().toStdString());
        fs.available = 1048576;

        QCOMPARE(scene.run(fs), ExportRun::Outcome::NotEnoughSpace);
        QCOMPARE(scene.host.events,
                 QStringList{"message:" + freeSpaceMessage(exportMount, 1048576)});
        QVERIFY(scene.host.events[0].contains("(1,024.00 Kb = 1.00 Mb = 0.00 Gb)."));
        QCOMPARE(scene.host.events[0].count(exportMount), 2);
        QCOMPARE(fs.spaceAsked, std::vector<std::string>{scene.exportDir.toStdString()});
        QCOMPARE(scene.exported(), QStringList{});
    }

    // ---- the copies ----

    void progressFollowsTheMarkedRows()
    {
        Scene scene;
        for (int k = 1; k <= 8; ++k) {
            scene.addTrack(QString("T%1").arg(k), QString(":iPod_Control:Music:F00:F%1.mp3").arg(k),
                           bytesOf(char('0' + k), 100 + k), k == 2 || k == 7);
        }
        PosixFileSystem fs;
        QCOMPARE(scene.run(fs), ExportRun::Outcome::Exported);
        QCOMPARE(scene.host.events,
                 (QStringList{"busy", "status:", "status: Exporting file 1 of 2 (T2)",
                              "status: Exporting file 2 of 2 (T7)", "cleared",
                              "message:Files exported successfully", "pointer"}));
        QCOMPARE(scene.exported(), (QStringList{"__T2__2.mp3", "__T7__7.mp3"}));
        QCOMPARE(scene.exportedBytes("__T7__7.mp3"), bytesOf('7', 107));
    }

    void namesComeFromTheFieldsOfEachTrack()
    {
        Scene scene;
        const int k = scene.addTrack("Song", ":iPod_Control:Music:F00:ABCD.mp3", "sound");
        scene.table.setText(k, FieldGenre, "Rock");
        scene.table.setText(k, FieldArtist, "Band");
        scene.table.setText(k, FieldAlbum, "Disc");
        PosixFileSystem fs;
        QCOMPARE(scene.run(fs), ExportRun::Outcome::Exported);
        QCOMPARE(scene.exported(), QStringList{"Rock_Band_Song_Disc_1.mp3"});
        QCOMPARE(scene.host.messages(), QStringList{"message:File exported successfully"});
    }

    void gridOrderDecidesTheCopyOrder()
    {
        Scene scene;
        scene.request.fields = onlyTitle();
        scene.addTrack("A", ":iPod_Control:Music:F00:A.mp3", "a");
        scene.addTrack("B", ":iPod_Control:Music:F00:B.mp3", "b");
        scene.addTrack("C", ":iPod_Control:Music:F00:C.mp3", "c");
        // As after a sort by title, descending in this made-up case: C, B, A.
        std::swap(scene.request.marked[0], scene.request.marked[2]);
        PosixFileSystem fs;
        QCOMPARE(scene.run(fs), ExportRun::Outcome::Exported);
        QCOMPARE(
            scene.host.events.filter("status: "),
            (QStringList{"status: Exporting file 1 of 3 (C)", "status: Exporting file 2 of 3 (B)",
                         "status: Exporting file 3 of 3 (A)"}));
        ExportRun again(fs, scene.table, scene.host);
        again.run(scene.request);
        QCOMPARE(again.written(),
                 (std::vector<std::string>{(scene.exportDir + "C.mp3").toStdString(),
                                           (scene.exportDir + "B.mp3").toStdString(),
                                           (scene.exportDir + "A.mp3").toStdString()}));
    }

    void aSecondRunReplacesTheFirstCopies()
    {
        Scene scene;
        scene.request.fields = onlyTitle();
        scene.addTrack("Song", ":iPod_Control:Music:F00:A.mp3", "new sound");
        QFile old(scene.exportDir + "Song.mp3");
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("a much longer file left by an earlier run");
        old.close();

        PosixFileSystem fs;
        QCOMPARE(scene.run(fs), ExportRun::Outcome::Exported);
        QCOMPARE(scene.run(fs), ExportRun::Outcome::Exported);
        QCOMPARE(scene.exported(), QStringList{"Song.mp3"});
        QCOMPARE(scene.exportedBytes("Song.mp3"), QByteArray("new sound"));
    }

    // ---- equal names within one run ----

    void equalNamesGetANumber()
    {
        Scene scene;
        scene.request.fields = onlyTitle();
        scene.addTrack("Song", ":iPod_Control:Music:F00:A.mp3", "first");
        scene.addTrack("Song", ":iPod_Control:Music:F00:B.mp3", "second");
        scene.addTrack("Song", ":iPod_Control:Music:F00:C.mp3", "third");
        scene.addTrack("SONG", ":iPod_Control:Music:F00:D.mp3", "fourth");
        scene.addTrack("Song", ":iPod_Control:Music:F00:E", "no extension");
        scene.addTrack("Song", ":iPod_Control:Music:F00:F", "no extension either");
        PosixFileSystem fs;
        QCOMPARE(scene.run(fs), ExportRun::Outcome::Exported);
        QCOMPARE(scene.host.messages(), QStringList{"message:Files exported successfully"});
        QCOMPARE(scene.exported(), (QStringList{"SONG (4).mp3", "Song", "Song (2)", "Song (2).mp3",
                                                "Song (3).mp3", "Song.mp3"}));
        QCOMPARE(scene.exportedBytes("Song.mp3"), QByteArray("first"));
        QCOMPARE(scene.exportedBytes("Song (2).mp3"), QByteArray("second"));
        QCOMPARE(scene.exportedBytes("Song (3).mp3"), QByteArray("third"));
        QCOMPARE(scene.exportedBytes("SONG (4).mp3"), QByteArray("fourth"));
        QCOMPARE(scene.exportedBytes("Song"), QByteArray("no extension"));
        QCOMPARE(scene.exportedBytes("Song (2)"), QByteArray("no extension either"));

        // The next run starts afresh and replaces the same files.
        QCOMPARE(scene.run(fs), ExportRun::Outcome::Exported);
        QCOMPARE(scene.exported().size(), 6);
    }

    void aNumberedNameDoesNotMeetAnotherTrack()
    {
        Scene scene;
        scene.request.fields = onlyTitle();
        scene.addTrack("Song", ":iPod_Control:Music:F00:A.mp3", "1");
        scene.addTrack("Song (2)", ":iPod_Control:Music:F00:B.mp3", "2");
        scene.addTrack("Song", ":iPod_Control:Music:F00:C.mp3", "3");
        PosixFileSystem fs;
        QCOMPARE(scene.run(fs), ExportRun::Outcome::Exported);
        QCOMPARE(scene.exported(), (QStringList{"Song (2).mp3", "Song (3).mp3", "Song.mp3"}));
        QCOMPARE(scene.exportedBytes("Song (2).mp3"), QByteArray("2"));
        QCOMPARE(scene.exportedBytes("Song (3).mp3"), QByteArray("3"));
    }

    // ---- names and locations from the database ----

    void controlCharactersAndNoExtension()
    {
        Scene scene;
        scene.request.fields = onlyTitle();
        scene.addTrack(QString("Tab\tand") + QChar(1), ":iPod_Control:Music:F00:NOEXT", "x");
        PosixFileSystem fs;
        QCOMPARE(scene.run(fs), ExportRun::Outcome::Exported);
        QCOMPARE(scene.exported(), QStringList{"Tab-and-"});
    }

    void untrustedLocationsAreNotCopied_data()
    {
        QTest::addColumn<QString>("location");
        QTest::newRow("empty") << "";
        QTest::newRow("no leading colon") << "iPod_Control:Music:F00:A.mp3";
        QTest::newRow("only the colon") << ":";
        QTest::newRow("empty name") << ":iPod_Control::F00:A.mp3";
        QTest::newRow("trailing colon") << ":iPod_Control:Music:F00:";
        QTest::newRow("dot") << ":iPod_Control:.:Music:F00:A.mp3";
        QTest::newRow("dot dot") << ":iPod_Control:..:..:outside.mp3";
        QTest::newRow("three dots") << ":iPod_Control:...:A.mp3";
        QTest::newRow("separator in a name") << ":iPod_Control:Music/F00:A.mp3";
        QTest::newRow("absolute path in a name") << ":/etc/passwd";
        QTest::newRow("backslash in a name") << ":iPod_Control:..\\..\\x:A.mp3";
        QTest::newRow("NUL in a name") << QString(":iPod_Control:Music:F00:A.mp3") + QChar(0) + "x";
    }

    void untrustedLocationsAreNotCopied()
    {
        QFETCH(QString, location);
        Scene scene;
        scene.request.fields = onlyTitle();
        scene.addTrack("Before", ":iPod_Control:Music:F00:A.mp3", "before");
        scene.addTrack("Bad", location, "bad", true, false);
        scene.addTrack("After", ":iPod_Control:Music:F00:C.mp3", "after");
        // A file that the dot-dot row would reach.
        QFile outside(scene.dir.filePath("outside.mp3"));
        QVERIFY(outside.open(QIODevice::WriteOnly));
        outside.write("outside");
        outside.close();

        PosixFileSystem fs;
        QCOMPARE(scene.run(fs), ExportRun::Outcome::Failed);
        QCOMPARE(scene.exported(), QStringList{"Before.mp3"});
        const QStringList events = scene.host.events;
        QCOMPARE(events.mid(events.size() - 3, 2), (QStringList{"cleared", "pointer"}));
        QVERIFY(events.last().startsWith("failure:"));
        QVERIFY(!events.join('|').contains("successfully"));
        QVERIFY(!events.join('|').contains("(After)"));
    }

    void locationNamesAreSplitAtColons()
    {
        const auto names = locationNames(":iPod_Control:Music:F00:AB CD.mp3", '/');
        QVERIFY(names);
        QCOMPARE(*names, (std::vector<std::string>{"iPod_Control", "Music", "F00", "AB CD.mp3"}));
        QVERIFY(!locationNames(":a:b\\c", '/'));
        QVERIFY(!locationNames(":a:b/c", '\\'));
        QVERIFY(locationNames(":a:.hidden", '/'));
        // Device names reach no file on the drive where Windows reads them as devices.
        for (const char *device : {":iPod_Control:CON", ":iPod_Control:nul.mp3", ":COM1:a.mp3",
                                   ":iPod_Control:Music:lpt9 .mp3"}) {
            QVERIFY2(!locationNames(device, '\\'), device);
            QVERIFY2(locationNames(device, '/'), device);
        }
        QVERIFY(locationNames(":iPod_Control:CONS.mp3", '\\'));
        QVERIFY(locationNames(":iPod_Control:COM0.mp3", '\\'));
    }

    void aLinkLeadingOffThePlayersDriveIsRefused()
    {
        Scene scene;
        QTemporaryDir elsewhere;
        QFile secret(elsewhere.filePath("secret.mp3"));
        QVERIFY(secret.open(QIODevice::WriteOnly));
        secret.write("secret");
        secret.close();
        QVERIFY(QFile::link(secret.fileName(), scene.player + "iPod_Control/Music/F00/LINK.mp3"));
        QVERIFY(QFile::link(scene.player + "iPod_Control/Music/F00/OWN.mp3",
                            scene.player + "iPod_Control/Music/F00/INSIDE.mp3"));

        test::FakeMachine machine;
        machine.mount("/dev/sda1", "/", "ext4");
        machine.mount("/dev/sdb1", QDir::cleanPath(scene.player), "vfat");
        machine.mount("/dev/sdc1", elsewhere.path(), "ext4");
        const auto fs = machine.fileSystem();

        scene.request.fields = onlyTitle();
        scene.addTrack("Own", ":iPod_Control:Music:F00:OWN.mp3", "own");
        scene.addTrack("Inside", ":iPod_Control:Music:F00:INSIDE.mp3", "", true, false);
        scene.addTrack("Link", ":iPod_Control:Music:F00:LINK.mp3", "", true, false);
        QCOMPARE(scene.run(*fs), ExportRun::Outcome::Failed);
        QCOMPARE(scene.exported(), (QStringList{"Inside.mp3", "Own.mp3"}));
        QCOMPARE(scene.exportedBytes("Inside.mp3"), QByteArray("own"));
        QVERIFY(scene.host.events.last().startsWith("failure:"));
        QVERIFY(scene.host.events.last().contains("LINK.mp3"));
    }

    void letterCaseOfTheLocationIsForgiven()
    {
        Scene scene;
        scene.request.fields = onlyTitle();
        scene.addTrack("Song", ":iPod_Control:Music:F00:ABCD.mp3", "sound");
        scene.table.setText(1, FieldLocation, ":IPOD_CONTROL:music:f00:abcd.MP3");
        PosixFileSystem fs;
        QCOMPARE(scene.run(fs), ExportRun::Outcome::Exported);
        QCOMPARE(scene.exported(), QStringList{"Song.MP3"});
        QCOMPARE(scene.exportedBytes("Song.MP3"), QByteArray("sound"));
    }

    void theExactNameWinsOverOtherCases()
    {
        QTemporaryDir dir;
        QDir(dir.path()).mkpath("Music/f00");
        QDir(dir.path()).mkpath("Music/F00");
        for (const char *name : {"Music/f00/a.mp3", "Music/F00/A.mp3", "Music/F00/a.mp3"}) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        PosixFileSystem fs;
        CaseInsensitiveFolders folders(fs);
        const std::string root = dir.path().toStdString() + "/";
        QCOMPARE(resolvePlayerPath(fs, folders, root, {"Music", "F00", "A.mp3"}),
                 root + "Music/F00/A.mp3");
        // Only the last name needs another case: the folder is taken as written.
        QCOMPARE(resolvePlayerPath(fs, folders, root, {"Music", "f00", "A.MP3"}),
                 root + "Music/f00/a.mp3");
        // Nothing matches: the path stays as written.
        QCOMPARE(resolvePlayerPath(fs, folders, root, {"MUSIC", "F01", "A.mp3"}),
                 root + "MUSIC/F01/A.mp3");
        QCOMPARE(resolvePlayerPath(fs, folders, root, {"MUSIC", "F00", "b.mp3"}),
                 root + "MUSIC/F00/b.mp3");
    }

    // ---- failed copies ----

    void aFailedCopyStopsTheRunAndLeavesNothingHalfWritten()
    {
        Scene scene;
        scene.request.fields = onlyTitle();
        scene.addTrack("One", ":iPod_Control:Music:F00:A.mp3", bytesOf('1', 5000));
        scene.addTrack("Two", ":iPod_Control:Music:F00:B.mp3", bytesOf('2', 5000));
        scene.addTrack("Three", ":iPod_Control:Music:F00:C.mp3", bytesOf('3', 5000));
        FailingFileSystem fs;
        fs.goodCopies = 1;

        QCOMPARE(scene.run(fs), ExportRun::Outcome::Failed);
        QCOMPARE(fs.copies, 2);
        QCOMPARE(scene.exported(), QStringList{"One.mp3"});
        QCOMPARE(scene.exportedBytes("One.mp3"), bytesOf('1', 5000));
        QCOMPARE(scene.host.events,
                 (QStringList{"busy", "status:", "status: Exporting file 1 of 3 (One)",
                              "status: Exporting file 2 of 3 (Two)", "cleared", "pointer",
                              "failure:No space left on device: " + scene.exportDir + "Two.mp3"}));
    }

    void aFailedCopyOverAnEarlierFileRemovesTheTruncatedRest()
    {
        Scene scene;
        scene.request.fields = onlyTitle();
        scene.addTrack("One", ":iPod_Control:Music:F00:A.mp3", bytesOf('1', 5000));
        QFile old(scene.exportDir + "One.mp3");
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(bytesOf('1', 5000));
        old.close();
        FailingFileSystem fs;
        QCOMPARE(scene.run(fs), ExportRun::Outcome::Failed);
        QCOMPARE(scene.exported(), QStringList{});
    }

    void aMissingSourceIsReportedByName()
    {
        Scene scene;
        scene.request.fields = onlyTitle();
        scene.addTrack("Gone", ":iPod_Control:Music:F00:GONE.mp3", "x", true, false);
        PosixFileSystem fs;
        QCOMPARE(scene.run(fs), ExportRun::Outcome::Failed);
        QCOMPARE(scene.exported(), QStringList{});
        QVERIFY(scene.host.events.last().startsWith("failure:"));
        QVERIFY(
            scene.host.events.last().contains(scene.player + "iPod_Control/Music/F00/GONE.mp3"));
    }

    void aMissingSourceLeavesTheCopyOfAnEarlierRunAlone()
    {
        // The copy fails before it writes anything: the file of that name from an
        // earlier run is no half-written one and stays as it was.
        Scene scene;
        scene.request.fields = onlyTitle();
        scene.addTrack("Kept", ":iPod_Control:Music:F00:A.mp3", "kept");
        scene.addTrack("Gone", ":iPod_Control:Music:F00:GONE.mp3", "x", true, false);
        QFile earlier(scene.exportDir + "Gone.mp3");
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write("exported before the file left the player");
        earlier.close();

        PosixFileSystem fs;
        QCOMPARE(scene.run(fs), ExportRun::Outcome::Failed);
        QCOMPARE(scene.exported(), (QStringList{"Gone.mp3", "Kept.mp3"}));
        QCOMPARE(scene.exportedBytes("Gone.mp3"),
                 QByteArray("exported before the file left the player"));
        QVERIFY(
            scene.host.events.last().contains(scene.player + "iPod_Control/Music/F00/GONE.mp3"));
        QVERIFY(!scene.host.events.join('|').contains("successfully"));
    }

    void aSourceThatGoesDuringTheCopyLeavesNothingHalfWritten()
    {
        // The player is pulled out while a file is being copied: what was written of it goes.
        struct Unplugged : PosixFileSystem
        {
            void copyFile(const std::string &source, const std::string &destination,
                          bool) const override
            {
                QFile out(QString::fromStdString(destination));
                if (out.open(QIODevice::WriteOnly))
                    out.write("the first part");
                out.close();
                QFile::remove(QString::fromStdString(source));
                throw PlatformError(EIO, "Input/output error: " + source);
            }
        } fs;
        Scene scene;
        scene.request.fields = onlyTitle();
        scene.addTrack("Song", ":iPod_Control:Music:F00:A.mp3", "the whole song");
        QCOMPARE(scene.run(fs), ExportRun::Outcome::Failed);
        QCOMPARE(scene.exported(), QStringList{});
    }

    void anUnwritableDestinationIsReportedAndLeftAlone()
    {
        // A folder where the file should go: the copy cannot write it, and the folder
        // (not a half-written file) stays.
        Scene scene;
        scene.request.fields = onlyTitle();
        scene.addTrack("Song", ":iPod_Control:Music:F00:A.mp3", "x");
        QVERIFY(QDir(scene.exportDir).mkdir("Song.mp3"));
        PosixFileSystem fs;
        QCOMPARE(scene.run(fs), ExportRun::Outcome::Failed);
        QVERIFY(QFileInfo(scene.exportDir + "Song.mp3").isDir());
        QVERIFY(scene.host.events.last().contains("Song.mp3"));
        QVERIFY(!scene.host.events.join('|').contains("successfully"));
    }

    void failureReportNamesTheFile()
    {
        // A service whose description names no path: the run adds the destination.
        struct Mute : PosixFileSystem
        {
            void copyFile(const std::string &, const std::string &, bool) const override
            {
                throw PlatformError(5, "Access is denied.");
            }
        } fs;
        Scene scene;
        scene.request.fields = onlyTitle();
        scene.addTrack("Song", ":iPod_Control:Music:F00:A.mp3", "x");
        QCOMPARE(scene.run(fs), ExportRun::Outcome::Failed);
        QCOMPARE(scene.host.events.last(),
                 "failure:Access is denied.: " + scene.exportDir + "Song.mp3");
    }

    // ---- the folder listing of the service ----

    void listFolderGivesTheEntryNames()
    {
        QTemporaryDir dir;
        QDir(dir.path()).mkdir("Sub");
        QFile file(dir.filePath("a.mp3"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        PosixFileSystem fs;
        std::vector<std::string> names = fs.listFolder(dir.path().toStdString());
        std::sort(names.begin(), names.end());
        QCOMPARE(names, (std::vector<std::string>{"Sub", "a.mp3"}));
        QVERIFY(fs.listFolder(dir.filePath("Sub").toStdString()).empty());
        QVERIFY_THROWS_EXCEPTION(PlatformError, fs.listFolder(dir.filePath("none").toStdString()));
    }
};

SONDREL_TEST_MAIN_CORE(TestExportRun)
#include "test_exportrun.moc"
