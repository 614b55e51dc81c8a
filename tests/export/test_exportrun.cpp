// The export run without a window: its checks, the snapshot it copies from, the copies in
// grid order with their progress, and what happens to bad sources, untrusted locations,
// a failing export drive and a cancel.
#include "exportmessages.h"
#include "exportrecord.h"
#include "exportrun.h"
#include "fakemachine.h"
#include "faultyfilesystem.h"
#include "filesystem_posix.h"
#include "otheruser.h"
#include "platformerror.h"
#include "playerpaths.h"
#include "testmain.h"
#include "tracktables.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <cerrno>
#include <memory>
#include <optional>
#include <thread>

#include <sys/stat.h>

using namespace sondrel;
using namespace sondrel::test;

namespace {

// Records what the checks show, in order.
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
};

enum class Mark { Yes, No };
enum class File { Written, Absent };

// A player folder and an export folder, the tracks that describe the player, and a
// file system whose faults the test chooses.
struct Player
{
    QTemporaryDir dir;
    QString player;    // ends with "/"
    QString exportDir; // ends with "/"
    QList<TableTrack> tracks;
    std::vector<int> marked; // in grid order
    NameFields fields = defaultNameFields();
    ExportOptions options;
    std::vector<Playlist> playlists; // the player's, by track number
    std::shared_ptr<FaultPlan> faults = std::make_shared<FaultPlan>();
    Host host;
    ExportRun::Outcome outcome = ExportRun::Outcome::Ready; // of the last run's checks
    QStringList statuses; // the progress texts of the last copy run
    std::uint64_t lastBytes = 0;

    Player()
    {
        QDir(dir.path()).mkpath("player/iPod_Control/Music/F00");
        QDir(dir.path()).mkpath("export");
        player = dir.filePath("player") + "/";
        exportDir = dir.filePath("export") + "/";
    }

    // The path on the player that a location names.
    QString pathOf(const QString &location) const
    {
        return player + location.mid(1).replace(':', '/');
    }

    // Adds the next track (ID = its number) and, unless absent, its file on the player.
    int add(const QString &title, const QString &location, const QByteArray &contents,
            Mark mark = Mark::Yes, File file = File::Written)
    {
        TableTrack track;
        track.title = title;
        track.size = std::uint64_t(contents.size());
        track.duration = 1000;
        track.location = location;
        tracks.push_back(track);
        const int k = int(tracks.size());
        if (file == File::Written && location.startsWith(':')) {
            QDir().mkpath(QFileInfo(pathOf(location)).path());
            QFile out(pathOf(location));
            if (out.open(QIODevice::WriteOnly))
                out.write(contents);
        }
        if (mark == Mark::Yes)
            marked.push_back(k);
        return k;
    }

    ExportRequest request() const
    {
        ExportRequest r;
        r.playerDrive = player;
        r.exportDirectory = exportDir;
        r.marked = marked;
        r.fields = fields;
        r.options = options;
        return r;
    }

    std::unique_ptr<FileSystem>
    fileSystem(std::unique_ptr<FileSystem> inner = std::make_unique<PosixFileSystem>()) const
    {
        return std::make_unique<FaultyFileSystem>(faults, std::move(inner));
    }

    TrackTable table() const
    {
        TrackTable table = tableOf(tracks);
        table.setPlaylists(playlists);
        return table;
    }

    ExportRun::Outcome check() { return ExportRun(*fileSystem(), host).check(table(), request()); }

    // A whole run of the marked tracks, its checks first (their outcome in `outcome`);
    // `whileCopying` runs before each copy with the run's progress (to cancel it).
    ExportReport copy(const FileSystem &fs, std::function<void(ExportProgress &)> whileCopying = {})
    {
        ExportRun run(fs, host);
        outcome = run.check(table(), request());
        if (outcome != ExportRun::Outcome::Ready)
            return {};
        ExportProgress progress;
        QSignalSpy reached(&progress, &ExportProgress::reached);
        if (whileCopying) {
            faults->probe = [&](FsOp op, const std::string &) {
                if (op == FsOp::SafeCopy)
                    whileCopying(progress);
            };
        }
        const ExportReport report = run.copy(progress);
        faults->probe = {};
        statuses.clear();
        for (const QList<QVariant> &args : reached)
            statuses << exportStatusText(args[0].toInt(), args[1].toInt(), args[2].toString());
        lastBytes = progress.bytes();
        return report;
    }
    ExportReport copy() { return copy(*fileSystem()); }

    // The files in the export folder, hidden ones too, but for the record.
    QStringList exported() const
    {
        QStringList files =
            QDir(exportDir).entryList(QDir::Files | QDir::System | QDir::Hidden, QDir::Name);
        files.removeOne(ExportRecordFileName);
        return files;
    }

    // Every file below the export folder, hidden ones too, by its path from there.
    QStringList tree() const
    {
        QStringList files;
        QDirIterator it(exportDir, QDir::Files | QDir::System | QDir::Hidden,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            files << it.next().mid(exportDir.size());
        files.removeOne(ExportRecordFileName);
        files.sort();
        return files;
    }

    QByteArray exportedBytes(const QString &name) const
    {
        QFile file(exportDir + name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    void writeExported(const QString &name, const QByteArray &bytes) const
    {
        QFile file(exportDir + name);
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes);
    }
};

QByteArray bytesOf(char c, int n)
{
    return QByteArray(n, c);
}

QStringList skippedOf(const ExportReport &report)
{
    QStringList out;
    for (const SkippedTrack &track : report.skipped)
        out << track.title + ": " + track.reason;
    return out;
}

const QString ErrorsFile = "Sondrel export errors.txt";

// Seven tracks of a few artists and albums in four playlists, titles as names; all but
// "Unmarked" marked, and "Missing" has no file on the player.
void addBandTracks(Player &p)
{
    p.fields = onlyTitleFields();
    const auto add = [&](const QString &title, const QString &artist, const QString &album,
                         std::int32_t duration, const QString &file, Mark mark = Mark::Yes,
                         File written = File::Written) {
        const int k = p.add(title, ":iPod_Control:Music:F00:" + file, title.toUtf8() + " sound",
                            mark, written);
        p.tracks[k - 1].artist = artist;
        p.tracks[k - 1].album = album;
        p.tracks[k - 1].duration = duration;
        return k;
    };
    add("Intro", "Band", "First", 61999, "A.mp3");
    add("Song", "Guest", "First", 1000, "B.mp3");
    p.tracks[1].albumArtist = "Band";
    add("SONG", "band", "FIRST", 0, "C.mp3");
    add("Song", "", "", -1, "D.mp3");
    add("Missing", "Gone", "Away", 5000, "E.mp3", Mark::Yes, File::Absent);
    add("Unmarked", "Band", "First", 5000, "F.mp3", Mark::No);
    add("Flat", "AC/DC", "...", 0, "G.m4a");
    p.playlists = {{"Road", {3, 1, 5, 6, 4, 1}},
                   {"Nothing exported", {5, 6}},
                   {"Road", {2}},
                   {"Mix: A/B?", {7}},
                   {"", {1}}};
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
            << true << true << qint64(3000) << true << int(ExportRun::Outcome::Ready)
            << QStringList{"busy"};
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

        Player p;
        p.add("Song", ":iPod_Control:Music:F00:A.mp3", bytesOf('a', 3000),
              marked ? Mark::Yes : Mark::No);
        if (!directory)
            QVERIFY(QDir(p.exportDir).removeRecursively());
        if (!player)
            QVERIFY(QDir(p.player).removeRecursively());
        p.faults->availableSpace = std::uint64_t(available);

        QCOMPARE(int(p.check()), outcome);
        if (events == QStringList{"space"}) {
            QCOMPARE(p.host.events.size(), 1);
            QVERIFY(p.host.events[0].startsWith("message:You have less space available in "));
        } else {
            QCOMPARE(p.host.events, events);
        }
        QCOMPARE(p.faults->calls[FsOp::SafeCopy], 0);
    }

    void freeSpaceMessageNamesTheDriveTwice()
    {
        const QString expected =
            "You have less space available in /media/usb than the total size of the files you "
            "want to export.\rPlease select less files.\rYour total available size in /media/usb "
            "right now is (1,024.00 Kb = 1.00 Mb = 0.00 Gb).";
        QCOMPARE(freeSpaceMessage("/media/usb", 1048576), expected);
        QVERIFY(freeSpaceMessage("C:", 2097152).endsWith("(2,048.00 Kb = 2.00 Mb = 0.00 Gb)."));
    }

    void twoMegabytesMarkedOnOneMegabyteFree()
    {
        // The space is that of the file system holding the export directory, and the
        // message names that file system's mount point.
        Player p;
        p.add("Big", ":iPod_Control:Music:F00:A.mp3", bytesOf('b', 2097152));
        FakeMachine machine;
        machine.mount("/dev/sda1", "/", "ext4");
        const QString exportMount = QDir::cleanPath(p.exportDir);
        machine.mount("/dev/sdz1", exportMount, "vfat");
        p.faults->availableSpace = 1048576;
        QStringList asked;
        p.faults->probe = [&](FsOp op, const std::string &path) {
            if (op == FsOp::AvailableSpace)
                asked << QString::fromStdString(path);
        };

        QCOMPARE(
            ExportRun(*p.fileSystem(machine.fileSystem()), p.host).check(p.table(), p.request()),
            ExportRun::Outcome::NotEnoughSpace);
        QCOMPARE(p.host.events, QStringList{"message:" + freeSpaceMessage(exportMount, 1048576)});
        QCOMPARE(asked, QStringList{p.exportDir});
    }

    // ---- the copies ----

    // Only the marked tracks are copied, in the grid's order (here as after a sort).
    void progressCountsEveryMarkedTrackInGridOrder()
    {
        Player p;
        for (int k = 1; k <= 8; ++k) {
            p.add(QString("T%1").arg(k), QString(":iPod_Control:Music:F00:F%1.mp3").arg(k),
                  bytesOf(char('0' + k), 100 + k), Mark::No);
        }
        p.marked = {7, 2};
        const ExportReport report = p.copy();
        QCOMPARE(p.statuses,
                 (QStringList{" Exporting file 1 of 2 (T7)", " Exporting file 2 of 2 (T2)"}));
        QCOMPARE(report.written,
                 (std::vector<std::string>{(p.exportDir + "__T7__7.mp3").toStdString(),
                                           (p.exportDir + "__T2__2.mp3").toStdString()}));
        QCOMPARE(p.lastBytes, std::uint64_t(102 + 107));
        QCOMPARE(report.end, ExportReport::End::Finished);
        QCOMPARE(closingMessage(report), QString("Files exported successfully"));
        QCOMPARE(p.exported(), (QStringList{"__T2__2.mp3", "__T7__7.mp3"}));
        QCOMPARE(p.exportedBytes("__T7__7.mp3"), bytesOf('7', 107));
    }

    // ---- the export folder is the user's: the record ----

    // Whatever stands at a track's name (or its folder's) is kept and the copy takes the
    // next " (n)"; a file with the source's very bytes (an export made before the record)
    // is taken for the copy. A second run copies nothing and names nothing anew.
    void nothingAtTheNameIsReplaced_data()
    {
        QTest::addColumn<QString>("at");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("copy");
        QTest::addColumn<QString>("first");

        const QString copied = "File exported successfully";
        QTest::newRow("a file of the user's")
            << "Band/First/Song.mp3" << QByteArray("mine") << "Band/First/Song (2).mp3" << copied;
        QTest::newRow("the same size, other bytes")
            << "Band/First/Song.mp3" << QByteArray("old sound") << "Band/First/Song (2).mp3"
            << copied;
        QTest::newRow("the same bytes: an export made before the record")
            << "Band/First/Song.mp3" << QByteArray("new sound") << "Band/First/Song.mp3"
            << "0 of 1 files exported; 1 were already there.";
        QTest::newRow("a folder") << "Band/First/Song.mp3/x" << QByteArray("inside")
                                  << "Band/First/Song (2).mp3" << copied;
        QTest::newRow("the name in another letter case")
            << "Band/First/SONG.MP3" << QByteArray("mine") << "Band/First/Song (2).mp3" << copied;
        QTest::newRow("a file at the artist folder's name")
            << "Band" << QByteArray("mine") << "Band (2)/First/Song.mp3" << copied;
        QTest::newRow("the artist folder in another letter case: used as spelt on the disk")
            << "BAND/x" << QByteArray("mine") << "BAND/First/Song.mp3" << copied;
    }

    void nothingAtTheNameIsReplaced()
    {
        QFETCH(QString, at);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, copy);
        QFETCH(QString, first);
        Player p;
        p.fields = onlyTitleFields();
        p.options = {true, true};
        p.add("Song", ":iPod_Control:Music:F00:A.mp3", "new sound");
        p.tracks[0].artist = "Band";
        p.tracks[0].album = "First";
        p.tracks[0].persistentId = 0x1122334455667788;
        p.playlists = {{"Road", {1}}};
        QDir().mkpath(QFileInfo(p.exportDir + at).path());
        p.writeExported(at, bytes);
        QStringList tree{at, copy, "Road.m3u8"};
        tree.removeDuplicates();
        tree.sort();

        QCOMPARE(closingMessage(p.copy()), first);
        QCOMPARE(p.tree(), tree);
        QCOMPARE(p.exportedBytes(at), bytes);
        QCOMPARE(p.exportedBytes(copy), QByteArray("new sound"));
        QCOMPARE(p.exportedBytes("Road.m3u8"),
                 "#EXTM3U\n#EXTINF:1,Band - Song\n" + copy.toUtf8() + "\n");
        const QByteArray record = p.exportedBytes(".sondrel-record.tsv");
        QVERIFY2(record.contains(copy.toUtf8() + "\ttrack\t1122334455667788\t9\t"), record);

        QCOMPARE(closingMessage(p.copy()), QString("0 of 1 files exported; 1 were already there."));
        QCOMPARE(p.tree(), tree);
    }

    // A second run decides by size and time, of the copy and of its source.
    void whatASecondRunDoes_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QStringList>("tree");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QByteArray>("song");

        const QString already = "0 of 2 files exported; 2 were already there.";
        QTest::newRow("nothing: nothing copied")
            << "" << QStringList{"Other.mp3", "Song.mp3"} << already << QByteArray("song 1");
        QTest::newRow("the copy's time an hour off (daylight saving on FAT)")
            << "hour" << QStringList{"Other.mp3", "Song.mp3"} << already << QByteArray("song 1");
        QTest::newRow("the source changed: our copy replaced")
            << "source" << QStringList{"Other.mp3", "Song.mp3"}
            << "1 of 2 files exported; 1 were already there." << QByteArray("song 2, longer");
        QTest::newRow("the copy changed by the user: kept, already there")
            << "copy" << QStringList{"Other.mp3", "Song.mp3"} << already
            << QByteArray("the user's tags");
        QTest::newRow("both changed: the user's copy kept, the new one beside it")
            << "both" << QStringList{"Other.mp3", "Song (2).mp3", "Song.mp3"}
            << "1 of 2 files exported; 1 were already there." << QByteArray("the user's tags");
        QTest::newRow("the copy deleted: copied again under its name")
            << "deleted" << QStringList{"Other.mp3", "Song.mp3"}
            << "1 of 2 files exported; 1 were already there." << QByteArray("song 1");
        QTest::newRow("another pattern: copied again under the new name, the old copies stay")
            << "pattern" << QStringList{"Other.mp3", "Song.mp3", "_Song.mp3", "_Other.mp3"}
            << "Files exported successfully" << QByteArray("song 1");
    }

    void whatASecondRunDoes()
    {
        const QString already = "0 of 2 files exported; 2 were already there.";
        QFETCH(QString, change);
        QFETCH(QStringList, tree);
        QFETCH(QString, message);
        QFETCH(QByteArray, song);
        Player p;
        p.fields = onlyTitleFields();
        p.add("Song", ":iPod_Control:Music:F00:A.mp3", "song 1");
        p.add("Other", ":iPod_Control:Music:F00:B.mp3", "other");
        p.tracks[0].persistentId = 7;
        QCOMPARE(closingMessage(p.copy()), QString("Files exported successfully"));
        const QString source = p.pathOf(":iPod_Control:Music:F00:A.mp3");
        const auto rewrite = [](const QString &path, const QByteArray &bytes, int seconds) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(bytes);
            QVERIFY(file.setFileTime(QDateTime::currentDateTimeUtc().addSecs(seconds),
                                     QFileDevice::FileModificationTime));
        };
        if (change == "source" || change == "both")
            rewrite(source, "song 2, longer", 60);
        if (change == "copy" || change == "both")
            rewrite(p.exportDir + "Song.mp3", "the user's tags", 30);
        if (change == "hour") {
            QFile copy(p.exportDir + "Song.mp3");
            QVERIFY(copy.open(QIODevice::ReadWrite));
            QVERIFY(copy.setFileTime(copy.fileTime(QFileDevice::FileModificationTime).addSecs(3601),
                                     QFileDevice::FileModificationTime));
        }
        if (change == "deleted")
            QVERIFY(QFile::remove(p.exportDir + "Song.mp3"));
        if (change == "pattern")
            p.fields = {{"Genre", true, FieldGenre}, {"Title", true, FieldTitle}};
        // The free space is needed only for what the run writes.
        if (message == already)
            p.faults->availableSpace = 0;

        QCOMPARE(closingMessage(p.copy()), message);
        tree.sort();
        QCOMPARE(p.tree(), tree);
        QCOMPARE(p.exportedBytes("Song.mp3"), song);
        if (change == "both")
            QCOMPARE(p.exportedBytes("Song (2).mp3"), QByteArray("song 2, longer"));
        // And a third run finds everything there.
        p.faults->availableSpace.reset();
        QCOMPARE(p.copy().copied, 0);
        QCOMPARE(p.tree(), tree);
    }

    // A run killed at any step (a power cut, a killed process) leaves no file half and no
    // file unrecorded; the next run removes its leftovers and copies only what is missing,
    // under the names it meant, with no " (n)" of its own files.
    void aKilledRunResumes_data()
    {
        QTest::addColumn<int>("op");
        QTest::addColumn<int>("call");
        QTest::newRow("while copying the third") << int(FsOp::SafeCopy) << 3;
        QTest::newRow("flushing the second") << int(FsOp::Flush) << 2;
        QTest::newRow("recording the first batch") << int(FsOp::Sync) << 1;
        QTest::newRow("recorded, before the rename of the first") << int(FsOp::Rename) << 1;
        QTest::newRow("recorded, before the rename of the fourth") << int(FsOp::Rename) << 4;
        QTest::newRow("writing the playlist") << int(FsOp::SafeWrite) << 1;
    }

    void aKilledRunResumes()
    {
        QFETCH(int, op);
        QFETCH(int, call);
        Player p;
        p.fields = onlyTitleFields();
        p.options.writePlaylists = true;
        QStringList names;
        for (int i = 1; i <= 5; ++i) {
            p.add(QString("Song %1").arg(i), QString(":iPod_Control:Music:F00:%1.mp3").arg(i),
                  bytesOf(char('0' + i), 1000 * i));
            names << QString("Song %1.mp3").arg(i);
        }
        p.add("Same", ":iPod_Control:Music:F00:6.mp3", "six");
        p.add("Same", ":iPod_Control:Music:F00:7.mp3", "seven");
        names << "Same.mp3"
              << "Same (2).mp3";
        p.playlists = {{"All", {1, 2, 3, 4, 5, 6, 7}}};
        p.faults->kill = {FsOp(op), call};
        QVERIFY_THROWS_EXCEPTION(Killed, p.copy());
        p.faults->kill.reset();
        p.faults->killed = false;

        const ExportReport report = p.copy();
        QCOMPARE(report.end, ExportReport::End::Finished);
        QCOMPARE(report.copied + report.already, 7);
        QStringList tree = names;
        tree << "All.m3u8";
        tree.sort();
        QCOMPARE(p.tree(), tree); // no part file, no " (n)" of ours
        for (int i = 1; i <= 5; ++i)
            QCOMPARE(p.exportedBytes(names[i - 1]), bytesOf(char('0' + i), 1000 * i));
        QCOMPARE(p.exportedBytes("Same (2).mp3"), QByteArray("seven"));
        QCOMPARE(p.copy().copied, 0);
    }

    // A file too large for the export drive is passed over, not the drive's failure: found
    // before copying on a drive with a size limit (and left out of the free space), or by
    // EFBIG from the copy.
    void aFileTooLargeForTheDriveIsPassedOver_data()
    {
        QTest::addColumn<bool>("limit");
        QTest::newRow("larger than the drive's limit") << true;
        QTest::newRow("EFBIG from the copy") << false;
    }

    void aFileTooLargeForTheDriveIsPassedOver()
    {
        QFETCH(bool, limit);
        Player p;
        p.fields = onlyTitleFields();
        p.add("Small", ":iPod_Control:Music:F00:A.mp3", bytesOf('s', 10));
        p.add("Big", ":iPod_Control:Music:F00:B.mp3", bytesOf('b', 30));
        p.add("Last", ":iPod_Control:Music:F00:C.mp3", bytesOf('l', 20));
        if (limit) {
            p.faults->fileSizeLimit = 20;
            p.faults->availableSpace = 30; // the two that fit
        } else {
            p.faults->faults.push_back({FsOp::SafeCopy, EFBIG, 2, "", 0, CopyOutcome::TooLarge});
        }
        const ExportReport report = p.copy();
        QCOMPARE(int(p.outcome), int(ExportRun::Outcome::Ready));
        QCOMPARE(report.end, ExportReport::End::Finished);
        QCOMPARE(closingMessage(report),
                 "2 of 3 files exported.\nBig: too large for the export drive (FAT32 holds "
                 "files up to 4 GB)\nThe full list is in " +
                     p.exportDir + ErrorsFile + ".");
        QCOMPARE(p.exported(), (QStringList{"Last.mp3", "Small.mp3", ErrorsFile}));
        QCOMPARE(p.faults->calls[FsOp::SafeCopy], limit ? 2 : 3);
    }

    // A run into a folder whose record another run holds, or where a file of the user's
    // has the record's name, is refused and changes nothing; a damaged record is read as
    // far as it can be.
    void theRecordItself_data()
    {
        QTest::addColumn<QString>("record");
        QTest::addColumn<int>("outcome");
        QTest::newRow("held by another run") << "held" << int(ExportRun::Outcome::RecordHeld);
        QTest::newRow("a file of the user's") << "user's" << int(ExportRun::Outcome::RecordForeign);
        QTest::newRow("a folder") << "folder" << int(ExportRun::Outcome::RecordForeign);
        QTest::newRow("damaged lines, its last line cut short")
            << "damaged" << int(ExportRun::Outcome::Ready);
        QTest::newRow("its header cut short") << "header" << int(ExportRun::Outcome::Ready);
    }

    void theRecordItself()
    {
        QFETCH(QString, record);
        QFETCH(int, outcome);
        Player p;
        p.fields = onlyTitleFields();
        p.add("Song", ":iPod_Control:Music:F00:A.mp3", "sound");
        const QString path = p.exportDir + ".sondrel-record.tsv";
        const QByteArray header = "sondrel-record\t1\tpath\tkind\tkey\tsource size\tsource "
                                  "time\tsize\ttime\ttag stars\ttag plays\ttag form\tlost\tcover\n";
        std::unique_ptr<LockedFile> held;
        QByteArray before;
        if (record == "held") {
            held = PosixFileSystem().lockFile(path.toStdString());
        } else if (record == "folder") {
            QVERIFY(QDir(p.exportDir).mkdir(".sondrel-record.tsv"));
        } else {
            // A record of the version before the tag columns, with a column of a later one.
            const QByteArray older = "sondrel-record\t1\tpath\tkind\tkey\tsource size\tsource "
                                     "time\tsize\ttime\tlater\n";
            before = record == "user's"   ? QByteArray("my own notes\n")
                     : record == "header" ? header.left(9)
                                          : older + "Song.mp3\ttrack\tx\tnot a number\n"
                                                    "Other.mp3\ttrack\t:a\t1\t2\t3\t4\tlater\n"
                                                    "Cut.mp3\ttrack";
            p.writeExported(".sondrel-record.tsv", before);
            p.writeExported("Other.mp3", "a file of an earlier run");
        }
        p.copy();
        QCOMPARE(int(p.outcome), outcome);
        if (outcome != int(ExportRun::Outcome::Ready)) {
            const QString message =
                record == "held" ? recordHeldMessage(p.exportDir) : recordForeignMessage(path);
            QCOMPARE(p.host.events.last(), "message:" + message);
            QCOMPARE(p.exported(), record == "user's" ? QStringList{"Other.mp3"} : QStringList{});
            if (!before.isEmpty())
                QCOMPARE(p.exportedBytes(".sondrel-record.tsv"), before);
            return;
        }
        QCOMPARE(p.exported(), (QStringList{"Other.mp3", "Song.mp3"}));
        // Written anew at the end: the lines it could read (their later columns kept), ours.
        const QList<QByteArray> lines = p.exportedBytes(".sondrel-record.tsv").split('\n');
        if (record == "damaged") {
            QCOMPARE(lines[0] + '\n', header.chopped(1) + "\tlater\n");
            QCOMPARE(lines.size(), 4);
            QCOMPARE(lines[1], QByteArray("Other.mp3\ttrack\t:a\t1\t2\t3\t4\t\t\t\t\t\tlater"));
        } else {
            QCOMPARE(lines[0] + '\n', header);
        }
        QVERIFY(lines[lines.size() - 2].startsWith(
            "Song.mp3\ttrack\t:iPod_Control:Music:F00:A.mp3\t5\t"));
    }

    // Playlists list every track of the player's playlist with a copy in the folder, from
    // this run or an earlier one, and replace their own file of an earlier run; a user's
    // playlist of the same name stays.
    void playlistsGrowOverSessions()
    {
        Player p;
        p.fields = onlyTitleFields();
        p.options.writePlaylists = true;
        p.add("One", ":iPod_Control:Music:F00:A.mp3", "one");
        p.add("Two", ":iPod_Control:Music:F00:B.mp3", "two", Mark::No);
        p.playlists = {{"Mix", {2, 1}}};
        p.writeExported("Mix.m3u8", "the user's own mix");
        p.copy();
        QCOMPARE(p.exportedBytes("Mix (2).m3u8"), QByteArray("#EXTM3U\n#EXTINF:1,One\nOne.mp3\n"));
        p.marked = {2};
        p.copy();
        QCOMPARE(p.exported(), (QStringList{"Mix (2).m3u8", "Mix.m3u8", "One.mp3", "Two.mp3"}));
        QCOMPARE(p.exportedBytes("Mix (2).m3u8"),
                 QByteArray("#EXTM3U\n#EXTINF:1,Two\nTwo.mp3\n#EXTINF:1,One\nOne.mp3\n"));
        QCOMPARE(p.exportedBytes("Mix.m3u8"), QByteArray("the user's own mix"));
    }

    // ---- names ----

    void equalNamesGetANumber()
    {
        Player p;
        p.fields = onlyTitleFields();
        p.add("Song", ":iPod_Control:Music:F00:A.mp3", "first");
        p.add("Song", ":iPod_Control:Music:F00:B.mp3", "second");
        p.add("Song", ":iPod_Control:Music:F00:C.mp3", "third");
        p.add("SONG", ":iPod_Control:Music:F00:D.mp3", "fourth");
        p.add("Song", ":iPod_Control:Music:F00:E", "no extension");
        p.add("Song", ":iPod_Control:Music:F00:F", "no extension either");
        QCOMPARE(closingMessage(p.copy()), QString("Files exported successfully"));
        QCOMPARE(p.exported(), (QStringList{"SONG (4).mp3", "Song", "Song (2)", "Song (2).mp3",
                                            "Song (3).mp3", "Song.mp3"}));
        QCOMPARE(p.exportedBytes("Song (3).mp3"), QByteArray("third"));
        QCOMPARE(p.exportedBytes("SONG (4).mp3"), QByteArray("fourth"));
        QCOMPARE(p.exportedBytes("Song (2)"), QByteArray("no extension either"));
    }

    void aNumberedNameDoesNotMeetAnotherTrack()
    {
        Player p;
        p.fields = onlyTitleFields();
        p.add("Song", ":iPod_Control:Music:F00:A.mp3", "1");
        p.add("Song (2)", ":iPod_Control:Music:F00:B.mp3", "2");
        p.add("Song", ":iPod_Control:Music:F00:C.mp3", "3");
        p.add("Sondrel export errors", ":iPod_Control:Music:F00:D.txt", "4");
        p.copy();
        QCOMPARE(p.exported(), (QStringList{"Sondrel export errors (2).txt", "Song (2).mp3",
                                            "Song (3).mp3", "Song.mp3"}));
        QCOMPARE(p.exportedBytes("Song (3).mp3"), QByteArray("3"));
    }

    // Names that the Parts' rule would make empty, hidden, devices or too long land as
    // valid files.
    void namesThatAlwaysWork_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("location");
        QTest::addColumn<QString>("name");
        const QString mp3 = ":iPod_Control:Music:F00:A.mp3";
        QTest::newRow("empty") << "" << mp3 << "Track 1.mp3";
        QTest::newRow("hidden") << ".hidden" << mp3 << "_hidden.mp3";
        QTest::newRow("device without extension") << "Nul"
                                                  << ":iPod_Control:Music:F00:A"
                                                  << "Nul_";
        QTest::newRow("dot in a folder") << "Song"
                                         << ":iPod_Control:Mu.sic:F00:ABCD"
                                         << "Song";
        QTest::newRow("300 characters") << QString(300, 'x') << mp3 << QString(251, 'x') + ".mp3";
    }

    void namesThatAlwaysWork()
    {
        QFETCH(QString, title);
        QFETCH(QString, location);
        QFETCH(QString, name);
        Player p;
        p.fields = onlyTitleFields();
        p.add(title, location, "sound");
        QCOMPARE(p.copy().copied, 1);
        QCOMPARE(p.exported(), QStringList{name});
        QCOMPARE(p.exportedBytes(name), QByteArray("sound"));
    }

    // ---- bad sources: passed over, the run goes on ----

    void badSourcesArePassedOver_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("FIFO") << "fifo"
                              << "not a regular file";
        QTest::newRow("link to /dev/zero") << "zero"
                                           << "a link out of the player";
        QTest::newRow("folder") << "folder"
                                << "not a regular file";
        QTest::newRow("missing") << "missing"
                                 << "missing on the iPod";
        QTest::newRow("empty location") << "nowhere"
                                        << "missing on the iPod";
        QTest::newRow("unreadable") << "unreadable"
                                    << "could not be read: Input/output error";
        QTest::newRow("name refused") << "long name"
                                      << "name refused by the export folder: File name too long";
        QTest::newRow("untrusted location")
            << "dot dot"
            << "could not be read: the iPod's database gives an unusable location";
        // A copied player on the system disk: the drive is the same, the file is not the
        // player's (a link to /etc/shadow, read by root, would hand it to the user).
        QTest::newRow("a link out of the player") << "link out"
                                                  << "a link out of the player";
        QTest::newRow("a folder linked out of the player") << "folder out"
                                                           << "a link out of the player";
    }

    void badSourcesArePassedOver()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        Player p;
        p.fields = onlyTitleFields();
        p.add("Before", ":iPod_Control:Music:F00:A.mp3", bytesOf('a', 70000));
        const QString location = kind == "nowhere"      ? QString()
                                 : kind == "dot dot"    ? ":iPod_Control:..:..:outside.mp3"
                                 : kind == "folder out" ? ":iPod_Control:Music:F01:outside.mp3"
                                                        : ":iPod_Control:Music:F00:BAD.mp3";
        p.add("Bad", location, bytesOf('b', 5000), Mark::Yes,
              kind == "unreadable" || kind == "long name" ? File::Written : File::Absent);
        p.add("After", ":iPod_Control:Music:F00:C.mp3", bytesOf('c', 90000));
        const QString bad = p.pathOf(":iPod_Control:Music:F00:BAD.mp3");
        if (kind == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(bad).constData(), 0644), 0);
        if (kind == "zero")
            QVERIFY(QFile::link("/dev/zero", bad));
        if (kind == "folder")
            QVERIFY(QDir().mkpath(bad));
        if (kind == "link out")
            QVERIFY(QFile::link("../../../../outside.mp3", bad));
        if (kind == "folder out")
            QVERIFY(QFile::link(p.dir.path(), p.player + "iPod_Control/Music/F01"));
        if (kind == "unreadable") // the player fails after 1000 bytes
            p.faults->faults.push_back(
                {FsOp::SafeCopy, EIO, 2, "", 1000, CopyOutcome::SourceUnreadable});
        if (kind == "long name")
            p.fields = {{"Title", true, 4}, {"Album", true, 6}}; // album: 300 characters
        QFile outside(p.dir.filePath("outside.mp3"));
        QVERIFY(outside.open(QIODevice::WriteOnly));
        outside.write("outside");
        outside.close();

        if (kind == "long name") {
            // The name rule keeps 255 bytes; a folder that takes fewer refuses the name.
            p.faults->nameLimit = NameLimit{NameUnit::Utf8Bytes, 1000};
            p.tracks[1].album = QString(300, 'y');
        }
        const ExportReport report = p.copy();
        QCOMPARE(report.end, ExportReport::End::Finished);
        QCOMPARE(report.reached, 3);
        QCOMPARE(report.copied, 2);
        QCOMPARE(p.statuses.last(), QString(" Exporting file 3 of 3 (After)"));
        QCOMPARE(skippedOf(report), QStringList{"Bad: " + reason});
        const QString prefix = kind == "long name" ? "After_.mp3" : "After.mp3";
        QCOMPARE(p.exportedBytes(prefix), bytesOf('c', 90000));
        QCOMPARE(p.exportedBytes(kind == "long name" ? "Before_.mp3" : "Before.mp3"),
                 bytesOf('a', 70000));
        QCOMPARE(p.exported().size(), 3); // the two copies and the errors list, nothing else
        QCOMPARE(closingMessage(report), "2 of 3 files exported.\nBad: " + reason +
                                             "\nThe full list is in " + p.exportDir + ErrorsFile +
                                             ".");
        QCOMPARE(QString::fromUtf8(p.exportedBytes(ErrorsFile)),
                 "Bad\t" + QString::fromStdString(report.skipped[0].source) + "\t" + reason + "\n");
    }

    // A FIFO where the copy of a 0-byte track would go has the size of the source: it is
    // looked at, found no regular file and kept, never opened to compare (which would wait
    // for a writer for ever); the copy takes the next name.
    void aFifoAtTheNameOfAnEmptyTrackIsNeverOpened()
    {
        Player p;
        p.fields = onlyTitleFields();
        p.add("Song", ":iPod_Control:Music:F00:A.mp3", "");
        QVERIFY(QDir().mkpath(p.exportDir));
        QCOMPARE(::mkfifo(QFile::encodeName(p.exportDir + "Song.mp3").constData(), 0644), 0);
        const ExportReport report = p.copy();
        QCOMPARE(report.copied, 1);
        QCOMPARE(p.exportedBytes("Song (2).mp3"), QByteArray());
        struct stat st
        {
        };
        QCOMPARE(::lstat(QFile::encodeName(p.exportDir + "Song.mp3").constData(), &st), 0);
        QVERIFY(S_ISFIFO(st.st_mode));
    }

    void aLinkLeadingOffThePlayersDriveIsPassedOver()
    {
        Player p;
        QTemporaryDir elsewhere;
        QFile secret(elsewhere.filePath("secret.mp3"));
        QVERIFY(secret.open(QIODevice::WriteOnly));
        secret.write("secret");
        secret.close();
        QVERIFY(QFile::link(secret.fileName(), p.player + "iPod_Control/Music/F00/LINK.mp3"));
        QVERIFY(QFile::link(p.player + "iPod_Control/Music/F00/OWN.mp3",
                            p.player + "iPod_Control/Music/F00/INSIDE.mp3"));
        FakeMachine machine;
        machine.mount("/dev/sda1", "/", "ext4");
        machine.mount("/dev/sdb1", QDir::cleanPath(p.player), "vfat");
        machine.mount("/dev/sdc1", elsewhere.path(), "ext4");

        p.fields = onlyTitleFields();
        p.add("Own", ":iPod_Control:Music:F00:OWN.mp3", "own");
        p.add("Inside", ":iPod_Control:Music:F00:INSIDE.mp3", "", Mark::Yes, File::Absent);
        p.add("Link", ":iPod_Control:Music:F00:LINK.mp3", "", Mark::Yes, File::Absent);
        const ExportReport report = p.copy(*p.fileSystem(machine.fileSystem()));
        QCOMPARE(skippedOf(report),
                 QStringList{"Link: could not be read: it lies outside the iPod's drive"});
        QVERIFY(report.skipped[0].source.find("LINK.mp3") != std::string::npos);
        QCOMPARE(p.exportedBytes("Inside.mp3"), QByteArray("own"));
        QVERIFY(!p.exported().contains("Link.mp3"));
    }

    void theSameFileIsNotCopiedOntoItself_data()
    {
        QTest::addColumn<bool>("throughLink");
        QTest::newRow("export directory inside the player") << false;
        QTest::newRow("export directory a link to the player's folder") << true;
    }

    void theSameFileIsNotCopiedOntoItself()
    {
        QFETCH(bool, throughLink);
        Player p;
        p.fields = onlyTitleFields();
        p.add("SONG", ":iPod_Control:Music:F00:SONG.mp3", "the player's own file");
        const QString folder = p.player + "iPod_Control/Music/F00";
        if (throughLink) {
            QVERIFY(QFile::link(folder, p.dir.filePath("linked")));
            p.exportDir = p.dir.filePath("linked") + "/";
        } else {
            p.exportDir = folder + "/";
        }
        const QDateTime modified = QFileInfo(folder + "/SONG.mp3").lastModified();
        const ExportReport report = p.copy();
        QCOMPARE(skippedOf(report), QStringList{"SONG: same file as the destination"});
        QCOMPARE(p.exportedBytes("SONG.mp3"), QByteArray("the player's own file"));
        QCOMPARE(QFileInfo(folder + "/SONG.mp3").lastModified(), modified);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name),
                 (QStringList{".sondrel-record.tsv", "SONG.mp3", ErrorsFile}));
    }

    void letterCaseOfTheLocationIsForgiven()
    {
        Player p;
        p.fields = onlyTitleFields();
        p.add("Song", ":iPod_Control:Music:F00:ABCD.mp3", "sound");
        p.tracks[0].location = ":IPOD_CONTROL:music:f00:abcd.MP3";
        p.copy();
        QCOMPARE(p.exported(), QStringList{"Song.MP3"});
        QCOMPARE(p.exportedBytes("Song.MP3"), QByteArray("sound"));
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

    void locationNamesAreSplitAtColons()
    {
        const auto names = locationNames(":iPod_Control:Music:F00:AB CD.mp3", '/');
        QVERIFY(names);
        QCOMPARE(*names, (std::vector<std::string>{"iPod_Control", "Music", "F00", "AB CD.mp3"}));
        for (const QString &bad :
             {QString(), QString("iPod_Control:A.mp3"), QString(":"), QString(":a::b.mp3"),
              QString(":a:"), QString(":a:.:b"), QString(":a:..:b"), QString(":a:...:b"),
              QString(":a/b:c"), QString(":/etc/passwd"), QString(":a:..\\..\\x"),
              QString(":a:b.mp3") + QChar(0) + "x"})
            QVERIFY2(!locationNames(bad, '/'), qPrintable(bad));
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

    // ---- the export drive fails: the run ends ----

    void aFailingExportDriveEndsTheRunAndKeepsEarlierFiles()
    {
        Player p;
        p.fields = onlyTitleFields();
        p.add("One", ":iPod_Control:Music:F00:A.mp3", bytesOf('1', 5000));
        p.add("Gone", ":iPod_Control:Music:F00:GONE.mp3", "", Mark::Yes, File::Absent);
        p.add("Two", ":iPod_Control:Music:F00:B.mp3", bytesOf('2', 5000));
        p.add("Three", ":iPod_Control:Music:F00:C.mp3", bytesOf('3', 5000));
        p.writeExported("Two.mp3", "exported by an earlier run");
        // The disk fills up after 1000 bytes of the second copy.
        p.faults->faults.push_back({FsOp::SafeCopy, ENOSPC, 3, "", 1000});

        const ExportReport report = p.copy();
        QCOMPARE(report.end, ExportReport::End::DestinationFailed);
        QVERIFY(report.failure);
        QCOMPARE(report.failure->number(), ENOSPC);
        QCOMPARE(QString::fromStdString(report.failure->description()),
                 "No space left on device: " + p.exportDir + "Two (2).mp3");
        QCOMPARE(report.reached, 3);
        QCOMPARE(p.exportedBytes("One.mp3"), bytesOf('1', 5000));
        QCOMPARE(p.exportedBytes("Two.mp3"), QByteArray("exported by an earlier run"));
        QCOMPARE(p.exported(), (QStringList{"One.mp3", ErrorsFile, "Two.mp3"}));
        QCOMPARE(closingMessage(report),
                 "1 of 4 files exported.\nGone: missing on the iPod\nThe full list is in " +
                     p.exportDir + ErrorsFile + ".");
    }

    void aDestinationFailureWithNothingSkippedLeavesItToTheReport()
    {
        Player p;
        p.fields = onlyTitleFields();
        p.add("One", ":iPod_Control:Music:F00:A.mp3", "x");
        p.faults->probe = [&](FsOp op, const std::string &) {
            if (op == FsOp::SafeCopy) // the export folder goes away after the checks
                QDir(p.exportDir).removeRecursively();
        };
        const ExportReport report = p.copy();
        QCOMPARE(report.end, ExportReport::End::DestinationFailed);
        QCOMPARE(report.failure->number(), ENOENT);
        QCOMPARE(closingMessage(report), QString());
        QVERIFY(report.errorsFile.empty());
    }

    // ---- cancel ----

    void cancelStopsBetweenChunksAndLeavesNothingHalf()
    {
        Player p;
        p.fields = onlyTitleFields();
        p.add("One", ":iPod_Control:Music:F00:A.mp3", bytesOf('1', 5000));
        p.add("Gone", ":iPod_Control:Music:F00:GONE.mp3", "", Mark::Yes, File::Absent);
        p.add("Two", ":iPod_Control:Music:F00:B.mp3", bytesOf('2', 20 << 20));
        p.add("Three", ":iPod_Control:Music:F00:C.mp3", bytesOf('3', 5000));
        p.writeExported("Two.mp3", "exported by an earlier run");
        int copies = 0;
        const ExportReport report = p.copy(*p.fileSystem(), [&](ExportProgress &progress) {
            if (++copies == 3)
                progress.cancel(); // as the copy of "Two" starts
        });
        QCOMPARE(report.end, ExportReport::End::Cancelled);
        QCOMPARE(report.reached, 3);
        QCOMPARE(report.copied, 1);
        QCOMPARE(p.exportedBytes("Two.mp3"), QByteArray("exported by an earlier run"));
        QCOMPARE(p.exported(), (QStringList{"One.mp3", ErrorsFile, "Two.mp3"})); // no part file
        QCOMPARE(closingMessage(report),
                 "Export cancelled: 1 of 4 files exported.\nGone: missing on the iPod\n"
                 "The full list is in " +
                     p.exportDir + ErrorsFile + ".");
    }

    // ---- a slow or dying player ----

    // Reads that fail: tried again once; a bad block rescued as zeros when asked, else the
    // track passed over; a player that has gone ends the run once, and the next run goes on.
    void aDyingPlayer_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("rescue");
        QTest::addColumn<int>("end");
        QTest::addColumn<QStringList>("exported");
        QTest::addColumn<QStringList>("skipped");
        const auto finished = int(ExportReport::End::Finished);
        const auto gone = int(ExportReport::End::PlayerGone);
        const QStringList all{"One.mp3", "Three.mp3", "Two.mp3"};
        const QStringList errors{"One.mp3", ErrorsFile, "Three.mp3"};
        QTest::newRow("EIO once, then read")
            << "eio once" << false << finished << all << QStringList{};
        QTest::newRow("bad block passed over")
            << "bad block" << false << finished << errors
            << QStringList{"Two: could not be read: Input/output error"};
        QTest::newRow("bad block rescued")
            << "bad block" << true << finished
            << QStringList{"One.mp3", ErrorsFile, "Three.mp3", "Two.mp3"}
            << QStringList{"Two: 4 KB could not be read and were left silent"};
        QTest::newRow("ENODEV after 1 MiB")
            << "enodev" << true << gone << QStringList{"One.mp3"} << QStringList{};
        QTest::newRow("ENOTCONN") << "enotconn" << false << gone << QStringList{"One.mp3"}
                                  << QStringList{};
        QTest::newRow("mount gone after a failed read")
            << "unmounted" << false << gone << QStringList{"One.mp3"} << QStringList{};
        QTest::newRow("mount gone while rescuing")
            << "unmounted" << true << gone << QStringList{"One.mp3"} << QStringList{};
    }

    void aDyingPlayer()
    {
        QFETCH(QString, fault);
        QFETCH(bool, rescue);
        QFETCH(int, end);
        QFETCH(QStringList, exported);
        QFETCH(QStringList, skipped);
        Player p;
        p.fields = onlyTitleFields();
        p.options.rescue = rescue;
        QByteArray two(3 << 20, '\0');
        for (int i = 0; i < two.size(); ++i)
            two[i] = char('a' + (i * 7 + i / 4096) % 26);
        p.add("One", ":iPod_Control:Music:F00:A.mp3", bytesOf('1', 5000));
        p.add("Two", ":iPod_Control:Music:F00:B.mp3", two);
        p.add("Three", ":iPod_Control:Music:F00:C.mp3", bytesOf('3', 5000));
        const std::uint64_t bad = (1u << 20) + 3 * 4096; // in the second piece
        const ReadFault block = badBlock(bad, EIO, fault == "eio once" ? 1 : 0);
        const ReadFault pulled = failingFrom(1 << 20, fault == "enotconn" ? ENOTCONN : ENODEV);
        const std::string twoPath = p.pathOf(":iPod_Control:Music:F00:B.mp3").toStdString();
        p.faults->readFault = [&](const std::string &source, std::uint64_t at, std::size_t size) {
            if (source != twoPath)
                return 0;
            if (fault == "enodev" || fault == "enotconn")
                return pulled(source, at, size);
            if (fault == "unmounted") { // the mount point stays, empty
                QDir(p.player + "iPod_Control").removeRecursively();
                return EIO;
            }
            return block(source, at, size);
        };
        const ExportReport report = p.copy();
        QCOMPARE(int(report.end), end);
        QCOMPARE(p.exported(), exported);
        QCOMPARE(skippedOf(report), skipped);
        const QString record = QString::fromUtf8(p.exportedBytes(".sondrel-record.tsv"));
        const QStringList lines = record.split('\n');
        if (exported.contains("Two.mp3")) {
            QByteArray expected = two;
            if (rescue)
                expected.replace(int(bad), 4096, QByteArray(4096, '\0'));
            QCOMPARE(p.exportedBytes("Two.mp3"), expected);
            const QString line = lines.filter("Two.mp3").value(0);
            QCOMPARE(line.split('\t').value(10), rescue ? QString("4096") : QString());
        }
        if (end != int(ExportReport::End::PlayerGone))
            return;
        // One message, the record naming only what is there, and a next run that copies
        // the rest.
        QCOMPARE(closingMessage(report),
                 QString("The iPod %1 cannot be read any more (%2). 1 of 3 files were exported. "
                         "Connect it again and export again to copy the rest.")
                     .arg(p.player, fault == "enodev"     ? "No such device"
                                    : fault == "enotconn" ? "Transport endpoint is not connected"
                                    : rescue              ? "it no longer answers"
                                                          : "Input/output error"));
        QCOMPARE(lines.filter("\ttrack\t").size(), 1);
        if (fault == "unmounted")
            return;
        p.faults->readFault = {};
        const ExportReport again = p.copy();
        QCOMPARE(again.end, ExportReport::End::Finished);
        QCOMPARE(again.copied, 2);
        QCOMPARE(again.already, 1);
        QCOMPARE(p.exportedBytes("Two.mp3"), two);
    }

    // A rescued copy is read again by the next run: it stays while its source still fails,
    // and Sondrel's own copy is replaced once the whole file reads.
    void aRescuedCopyIsReplacedOnceItsSourceReads()
    {
        Player p;
        p.fields = onlyTitleFields();
        p.options.rescue = true;
        const QByteArray two = bytesOf('2', 3 * 4096);
        p.add("Two", ":iPod_Control:Music:F00:B.mp3", two);
        p.faults->readFault = badBlock(4096, EIO);
        QCOMPARE(skippedOf(p.copy()),
                 QStringList{"Two: 4 KB could not be read and were left silent"});
        p.options.rescue = false; // still failing, without the option: the rescued copy stays
        const ExportReport still = p.copy();
        QCOMPARE(skippedOf(still), QStringList{"Two: 4 KB could not be read and were left silent"});
        QCOMPARE(still.already, 1);
        QCOMPARE(p.exportedBytes("Two.mp3").mid(4096, 4096), QByteArray(4096, '\0'));
        p.faults->readFault = {};
        const ExportReport whole = p.copy();
        QCOMPARE(skippedOf(whole), QStringList{});
        QCOMPARE(whole.copied, 1);
        QCOMPARE(p.exported(), QStringList{"Two.mp3"});
        QCOMPARE(p.exportedBytes("Two.mp3"), two);
        QCOMPARE(p.exportedBytes(".sondrel-record.tsv").split('\n').value(1).split('\t').value(9),
                 QByteArray());
    }

    // A read that does not return holds the run, not the cancel: the run ends as soon as
    // the read returns, and leaves no temporary file.
    void aCancelWhileAReadIsHeldEndsWhenItReturns()
    {
        Player p;
        p.fields = onlyTitleFields();
        p.add("Big", ":iPod_Control:Music:F00:A.mp3", bytesOf('b', 5 << 20));
        p.add("After", ":iPod_Control:Music:F00:B.mp3", bytesOf('a', 10));
        ReadGate gate;
        p.faults->readFault = gate.fault();
        const std::unique_ptr<FileSystem> fs = p.fileSystem();
        ExportRun run(*fs, p.host);
        QCOMPARE(run.check(p.table(), p.request()), ExportRun::Outcome::Ready);
        ExportProgress progress;
        gate.hold();
        std::atomic<bool> ended{false};
        ExportReport report;
        std::thread copying([&] {
            report = run.copy(progress);
            ended = true;
        });
        QVERIFY(gate.waitHeld(5000));
        progress.cancel();
        QTest::qWait(200);
        QVERIFY(!ended); // still in the read
        QElapsedTimer clock;
        clock.start();
        gate.release();
        copying.join();
        QVERIFY(clock.elapsed() < 1000);
        QCOMPARE(report.end, ExportReport::End::Cancelled);
        QCOMPARE(p.exported(), QStringList{});
    }

    // ---- the errors list ----

    void theErrorsListIsReplacedOnlyWhenSomethingIsSkipped()
    {
        Player p;
        p.fields = onlyTitleFields();
        for (int i = 1; i <= 25; ++i)
            p.add(QString("Gone\t%1").arg(i), QString(":iPod_Control:Music:F00:G%1.mp3").arg(i), "",
                  Mark::Yes, File::Absent);
        p.writeExported(ErrorsFile, "a list of the user's"); // never replaced
        const QString ours = "Sondrel export errors (2).txt";
        const ExportReport report = p.copy();
        QCOMPARE(p.exportedBytes(ErrorsFile), QByteArray("a list of the user's"));
        const QStringList lines = QString::fromUtf8(p.exportedBytes(ours)).split('\n');
        QCOMPARE(lines.size(), 26); // 25 lines, each ended
        QCOMPARE(lines[24],
                 "Gone 25\t" + p.player + "iPod_Control/Music/F00/G25.mp3\tmissing on the iPod");
        const QStringList message = closingMessage(report).split('\n');
        QCOMPARE(message.size(), 22); // the count, the first 20, where the list is
        QCOMPARE(message[0], QString("0 of 25 files exported."));
        QCOMPARE(message[20], QString("Gone\t20: missing on the iPod"));

        QCOMPARE(message[21], "The full list is in " + p.exportDir + ours + ".");

        // A cancelled run leaves it; a whole run that skips nothing removes Sondrel's list,
        // never the user's.
        p.marked.clear();
        p.add("Here", ":iPod_Control:Music:F00:H.mp3", "here");
        p.copy(*p.fileSystem(), [](ExportProgress &progress) { progress.cancel(); });
        QCOMPARE(p.exportedBytes(ours).count('\n'), 25);
        QCOMPARE(closingMessage(p.copy()), QString("File exported successfully"));
        QCOMPARE(p.exported(), (QStringList{"Here.mp3", ErrorsFile}));
    }

    // ---- artist and album folders, playlists ----

    // Each option on its own and both: with neither, the files, their names and the
    // messages are those of a run without them.
    void optionsDecideTheLayout_data()
    {
        QTest::addColumn<bool>("folders");
        QTest::addColumn<bool>("playlists");
        QTest::addColumn<QStringList>("tree");
        QTest::addColumn<QByteArray>("road");

        const QStringList flat{"Flat.m4a", "Intro.mp3",    "SONG (2).mp3",
                               ErrorsFile, "Song (3).mp3", "Song.mp3"};
        const QStringList sorted{"AC-DC/Unknown Album/Flat.m4a",
                                 "Band/First/Intro.mp3",
                                 "Band/First/SONG (2).mp3",
                                 "Band/First/Song.mp3",
                                 ErrorsFile,
                                 "Unknown Artist/Unknown Album/Song.mp3"};
        const QStringList lists{"Mix- A-B-.m3u8", "Playlist.m3u8", "Road (2).m3u8", "Road.m3u8"};
        const auto with = [](QStringList files, const QStringList &more) {
            files += more;
            files.sort();
            return files;
        };
        QTest::newRow("both off: as without them") << false << false << flat << QByteArray();
        QTest::newRow("folders") << true << false << sorted << QByteArray();
        QTest::newRow("playlists")
            << false << true << with(flat, lists)
            << QByteArray("#EXTM3U\n#EXTINF:-1,band - SONG\nSONG (2).mp3\n"
                          "#EXTINF:61,Band - Intro\nIntro.mp3\n#EXTINF:-1,Song\nSong (3).mp3\n"
                          "#EXTINF:61,Band - Intro\nIntro.mp3\n");
        QTest::newRow("both") << true << true << with(sorted, lists)
                              << QByteArray(
                                     "#EXTM3U\n#EXTINF:-1,band - SONG\nBand/First/SONG (2).mp3\n"
                                     "#EXTINF:61,Band - Intro\nBand/First/Intro.mp3\n"
                                     "#EXTINF:-1,Song\nUnknown Artist/Unknown Album/Song.mp3\n"
                                     "#EXTINF:61,Band - Intro\nBand/First/Intro.mp3\n");
    }

    void optionsDecideTheLayout()
    {
        QFETCH(bool, folders);
        QFETCH(bool, playlists);
        QFETCH(QStringList, tree);
        QFETCH(QByteArray, road);

        Player p;
        addBandTracks(p);
        p.options.artistAlbumFolders = folders;
        p.options.writePlaylists = playlists;
        const ExportReport report = p.copy();
        QCOMPARE(p.tree(), tree);
        QCOMPARE(report.end, ExportReport::End::Finished);
        QCOMPARE(report.count, 6);
        QCOMPARE(report.copied, 5);
        QCOMPARE(closingMessage(report), "5 of 6 files exported.\nMissing: missing on the "
                                         "iPod\nThe full list is in " +
                                             p.exportDir + ErrorsFile + ".");
        QCOMPARE(p.exportedBytes(ErrorsFile), "Missing\t" + p.player.toUtf8() +
                                                  "iPod_Control/Music/F00/E.mp3\tmissing on "
                                                  "the iPod\n");
        const QString prefix = folders ? "Band/First/" : "";
        QCOMPARE(p.exportedBytes(prefix + "SONG (2).mp3"), QByteArray("SONG sound"));
        QCOMPARE(p.exportedBytes(prefix + "Song.mp3"), QByteArray("Song sound"));
        if (!playlists) {
            QCOMPARE(report.written.size(), std::size_t(5));
            return;
        }
        QCOMPARE(p.exportedBytes("Road.m3u8"), road);
        const QString inBand = folders ? "Band/First/" : "";
        QCOMPARE(p.exportedBytes("Road (2).m3u8"),
                 "#EXTM3U\n#EXTINF:1,Guest - Song\n" + inBand.toUtf8() + "Song.mp3\n");
        QCOMPARE(p.exportedBytes("Mix- A-B-.m3u8"),
                 "#EXTM3U\n#EXTINF:-1,AC/DC - Flat\n" +
                     QByteArray(folders ? "AC-DC/Unknown Album/" : "") + "Flat.m4a\n");
        QCOMPARE(p.exportedBytes("Playlist.m3u8"),
                 "#EXTM3U\n#EXTINF:61,Band - Intro\n" + inBand.toUtf8() + "Intro.mp3\n");
        // The playlists come after the copies, in the player's order.
        QCOMPARE(report.written.size(), std::size_t(9));
        QCOMPARE(QString::fromStdString(report.written[5]), p.exportDir + "Road.m3u8");
        QCOMPARE(QString::fromStdString(report.written[8]), p.exportDir + "Playlist.m3u8");
    }

    // A playlist that cannot be written is passed over like a track; the others and the
    // copies stay, and nothing temporary is left.
    void aPlaylistThatCannotBeWritten_data()
    {
        QTest::addColumn<QString>("cause");
        QTest::addColumn<QString>("reason");
        QTest::newRow("a name the folder refuses")
            << "refused"
            << "name refused by the export folder: Invalid argument";
        QTest::newRow("the disk full, a playlist of the user's at the name")
            << "full"
            << "could not be written: No space left on device";
    }

    void aPlaylistThatCannotBeWritten()
    {
        QFETCH(QString, cause);
        QFETCH(QString, reason);
        Player p;
        p.fields = onlyTitleFields();
        p.options.writePlaylists = true;
        p.add("One", ":iPod_Control:Music:F00:A.mp3", "one");
        p.add("Two", ":iPod_Control:Music:F00:B.mp3", "two");
        p.playlists = {{"Road", {2, 1}}, {"Other", {1}}};
        const std::string road = (p.exportDir + "Road").toStdString();
        if (cause == "refused") {
            p.faults->faults.push_back(
                {FsOp::SafeWrite, EINVAL, 0, road, 0, CopyOutcome::NameRefused});
        } else {
            p.writeExported("Road.m3u8", "a playlist of the user's");
            p.faults->faults.push_back({FsOp::SafeWrite, ENOSPC, 0, road});
        }
        const QString meant = cause == "full" ? "Road (2).m3u8" : "Road.m3u8";
        const ExportReport report = p.copy();
        QCOMPARE(report.end, ExportReport::End::Finished);
        QCOMPARE(report.copied, 2);
        QCOMPARE(skippedOf(report), QStringList{"Road.m3u8: " + reason});
        QCOMPARE(closingMessage(report), "2 of 2 files exported.\nRoad.m3u8: " + reason +
                                             "\nThe full list is in " + p.exportDir + ErrorsFile +
                                             ".");
        QCOMPARE(QString::fromUtf8(p.exportedBytes(ErrorsFile)),
                 "Road.m3u8\t" + p.exportDir + meant + "\t" + reason + "\n");
        QCOMPARE(p.exportedBytes("Other.m3u8"), QByteArray("#EXTM3U\n#EXTINF:1,One\nOne.mp3\n"));
        if (cause == "full") {
            QCOMPARE(p.tree(),
                     (QStringList{"One.mp3", "Other.m3u8", "Road.m3u8", ErrorsFile, "Two.mp3"}));
            QCOMPARE(p.exportedBytes("Road.m3u8"), QByteArray("a playlist of the user's"));
        } else {
            QCOMPARE(p.tree(), (QStringList{"One.mp3", "Other.m3u8", ErrorsFile, "Two.mp3"}));
        }
    }

    // A run that does not reach its end writes no playlist, also for the tracks it copied.
    void noPlaylistAfterACancelOrAStop_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("cancelled") << true;
        QTest::newRow("export drive failed") << false;
    }

    void noPlaylistAfterACancelOrAStop()
    {
        QFETCH(bool, cancel);
        Player p;
        addBandTracks(p);
        p.options = {true, true};
        if (!cancel)
            p.faults->faults.push_back({FsOp::SafeCopy, ENOSPC, 3});
        int copies = 0;
        const ExportReport report = p.copy(*p.fileSystem(), [&](ExportProgress &progress) {
            if (++copies == 3 && cancel)
                progress.cancel();
        });
        QCOMPARE(report.end,
                 cancel ? ExportReport::End::Cancelled : ExportReport::End::DestinationFailed);
        QCOMPARE(report.copied, 2);
        QCOMPARE(p.tree(), (QStringList{"Band/First/Intro.mp3", "Band/First/Song.mp3"}));
    }

    // A folder that cannot be made is the export drive's failure: the run ends there and
    // the files placed before stay. No folder is made for a track that has no file.
    void aFolderThatCannotBeMadeEndsTheRun()
    {
        Player p;
        p.fields = onlyTitleFields();
        p.options = {true, true};
        p.add("Gone", ":iPod_Control:Music:F00:X.mp3", "", Mark::Yes, File::Absent);
        p.add("First", ":iPod_Control:Music:F00:A.mp3", "first");
        p.add("Second", ":iPod_Control:Music:F00:B.mp3", "second");
        p.add("Third", ":iPod_Control:Music:F00:C.mp3", "third");
        p.tracks[0].artist = "Nobody";
        p.tracks[2].artist = "Band";
        p.tracks[3].artist = "Other";
        p.playlists = {{"All", {1, 2, 3, 4}}};
        p.faults->faults.push_back(
            {FsOp::CreateFolder, EACCES, 0, (p.exportDir + "Band").toStdString()});

        const ExportReport report = p.copy();
        QCOMPARE(report.end, ExportReport::End::DestinationFailed);
        QCOMPARE(report.failure->number(), EACCES);
        QVERIFY2(
            QString::fromStdString(report.failure->description()).contains(p.exportDir + "Band"),
            report.failure->description().c_str());
        QCOMPARE(report.reached, 3);
        QCOMPARE(report.copied, 1);
        QCOMPARE(p.tree(), (QStringList{ErrorsFile, "Unknown Artist/Unknown Album/First.mp3"}));
        QVERIFY(!QDir(p.exportDir + "Nobody").exists());
    }

    // Running out of memory or threads part way is the run's failure, reported like the
    // drive's, with the files placed before kept: never the end of the program.
    void runningOutOfMemoryEndsTheRunNotTheProgram()
    {
        Player p;
        p.fields = onlyTitleFields();
        p.add("First", ":iPod_Control:Music:F00:A.mp3", "first");
        p.add("Second", ":iPod_Control:Music:F00:B.mp3", "second");
        p.faults->probe = [calls = 0](FsOp op, const std::string &) mutable {
            if (op == FsOp::SafeCopy && ++calls == 2)
                throw std::bad_alloc();
        };
        const ExportReport report = p.copy();
        QCOMPARE(report.end, ExportReport::End::DestinationFailed);
        QCOMPARE(report.failure->number(), ENOMEM);
        QCOMPARE(report.copied, 1);
        QCOMPARE(p.tree(), QStringList{"First.mp3"});
    }

    // ---- the export folder is walked, never followed ----

    // Nothing outside the export folder is written, replaced or removed through a link (or
    // a FIFO) found in it: a link at a folder's name makes the folder take " (2)", one at the
    // record keeps the run from starting, and recorded lines under a link name nothing.
    void linksInTheFolderAreNeverFollowed_data()
    {
        QTest::addColumn<QString>("link");    // the name in the export folder
        QTest::addColumn<QString>("target");  // below the outside folder ("" for a FIFO)
        QTest::addColumn<QByteArray>("line"); // a record line (its size and time from the target)
        QTest::addColumn<QString>("copy");    // where the track lands; "" when the run is refused

        QTest::newRow("a link at the artist folder's name, a replaceable line under it")
            << "Band"
            << "" << QByteArray("Band/First/Song.mp3\ttrack\t1122334455667788")
            << "Band (2)/First/Song.mp3";
        QTest::newRow("a link at the album folder's name")
            << "Band/First"
            << "First" << QByteArray("Band/First/Song.mp3\ttrack\t1122334455667788")
            << "Band/First (2)/Song.mp3";
        QTest::newRow("a link at the track's name, to a file of the same bytes")
            << "Band/First/Song.mp3"
            << "First/Song.mp3" << QByteArray() << "Band/First/Song (2).mp3";
        QTest::newRow("a crafted errors line under a linked folder, nothing passed over")
            << "lnk"
            << "" << QByteArray("lnk/existing.conf\terrors\t") << "Band/First/Song.mp3";
        QTest::newRow("a link at the record") << ".sondrel-record.tsv"
                                              << "empty" << QByteArray() << "";
        QTest::newRow("a FIFO at the record") << ".sondrel-record.tsv"
                                              << "" << QByteArray() << "";
    }

    void linksInTheFolderAreNeverFollowed()
    {
        QFETCH(QString, link);
        QFETCH(QString, target);
        QFETCH(QByteArray, line);
        QFETCH(QString, copy);
        Player p;
        p.fields = onlyTitleFields();
        p.options = {true, false};
        p.add("Song", ":iPod_Control:Music:F00:A.mp3", "new sound");
        p.tracks[0].artist = "Band";
        p.tracks[0].album = "First";
        p.tracks[0].persistentId = 0x1122334455667788;
        // The outside folder: someone else's files, which must stay as they are.
        const QString outside = p.dir.filePath("outside") + "/";
        QDir().mkpath(outside + "First");
        const auto put = [](const QString &path, const QByteArray &bytes) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(bytes);
        };
        put(outside + "First/Song.mp3", "new sound");
        put(outside + "existing.conf", "secret=1\n");
        put(outside + "empty", "");
        QDir().mkpath(QFileInfo(p.exportDir + link).path());
        const QByteArray at = QFile::encodeName(p.exportDir + link);
        if (link.endsWith(".tsv") && target.isEmpty())
            QVERIFY(::mkfifo(at.constData(), 0600) == 0);
        else
            QVERIFY(::symlink(QFile::encodeName(outside + target).constData(), at.constData()) ==
                    0);
        if (!line.isEmpty()) {
            // Its real size and time, as a record of an earlier run would give them.
            const QString named =
                outside + target + "/" +
                QString::fromUtf8(line.left(line.indexOf('\t'))).mid(link.size() + 1);
            struct stat st
            {
            };
            QVERIFY2(::stat(QFile::encodeName(named).constData(), &st) == 0, qPrintable(named));
            const QByteArray size = QByteArray::number(qint64(st.st_size));
            const QByteArray time =
                QByteArray::number(qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec);
            p.writeExported(".sondrel-record.tsv",
                            "sondrel-record\t1\tpath\tkind\tkey\tsource size\tsource time\tsize\t"
                            "time\ttag stars\ttag plays\n" +
                                line + "\t1\t2\t" + size + "\t" + time + "\t\t\n");
        }
        const auto outsideNow = [&] {
            QStringList files;
            QDirIterator it(outside, QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot,
                            QDirIterator::Subdirectories);
            while (it.hasNext()) {
                const QString path = it.next();
                QFile file(path);
                files << path.mid(outside.size()) + "=" +
                             (file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
            }
            files.sort();
            return files;
        };
        const QStringList before = outsideNow();

        const ExportReport report = p.copy();
        QCOMPARE(outsideNow(), before);
        QVERIFY(QFileInfo(p.exportDir + link).isSymLink() || link.endsWith(".tsv"));
        if (copy.isEmpty()) {
            QCOMPARE(int(p.outcome), int(ExportRun::Outcome::RecordForeign));
            QCOMPARE(p.host.events.last(),
                     "message:" + recordForeignMessage(p.exportDir + ".sondrel-record.tsv"));
            return;
        }
        QCOMPARE(closingMessage(report), QString("File exported successfully"));
        QCOMPARE(p.exportedBytes(copy), QByteArray("new sound"));
        QVERIFY(!p.tree().contains(ErrorsFile));
        // A second run finds its copy and still leaves everything outside alone.
        QCOMPARE(closingMessage(p.copy()), QString("0 of 1 files exported; 1 were already there."));
        QCOMPARE(outsideNow(), before);
    }

    // Run as root into a user's folder, every file and folder the run makes there is the
    // user's, so that they can edit and delete their export (the CI runs as root).
    void rootMakesTheFolderOwnersFiles()
    {
        if (::geteuid() != 0)
            QSKIP("needs root");
        Player p;
        addBandTracks(p);
        p.options = {true, true};
        const QByteArray folder = QFile::encodeName(p.exportDir);
        QVERIFY(::chown(folder.constData(), OtherUid, OtherUid + 1) == 0);
        p.writeExported("Mine.txt", "root's own, already there");
        QCOMPARE(p.copy().copied, 5);
        QStringList wrong;
        QDirIterator it(p.exportDir, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        int seen = 0;
        while (it.hasNext()) {
            const QString path = it.next();
            struct stat st
            {
            };
            ::lstat(QFile::encodeName(path).constData(), &st);
            ++seen;
            const bool mine = path.endsWith("Mine.txt");
            if (mine ? st.st_uid != 0 : st.st_uid != OtherUid || st.st_gid != OtherUid + 1)
                wrong << path.mid(p.exportDir.size());
        }
        QCOMPARE(wrong, QStringList());
        QVERIFY(seen > 10); // the copies, their folders, playlists, errors list and record
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
