// The export run without a window: its checks, the snapshot it copies from, the copies in
// grid order with their progress, and what happens to bad sources, untrusted locations,
// a failing export drive and a cancel.
#include "exportrun.h"
#include "fakemachine.h"
#include "faultyfilesystem.h"
#include "filesystem_posix.h"
#include "platformerror.h"
#include "testmain.h"
#include "tracktables.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <optional>

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
        for (const int k : marked) {
            r.totals.count += 1;
            r.totals.bytes += tracks[k - 1].size;
        }
        r.fields = fields;
        r.options = options;
        return r;
    }

    std::unique_ptr<FileSystem>
    fileSystem(std::unique_ptr<FileSystem> inner = std::make_unique<PosixFileSystem>()) const
    {
        return std::make_unique<FaultyFileSystem>(faults, std::move(inner));
    }

    ExportRun::Outcome check() { return ExportRun(*fileSystem(), host).check(request()); }

    // The copies of the marked tracks; `whileCopying` runs before each copy with the
    // run's progress (to cancel it).
    ExportReport copy(const FileSystem &fs, std::function<void(ExportProgress &)> whileCopying = {})
    {
        TrackTable table = tableOf(tracks);
        table.setPlaylists(playlists);
        const ExportSnapshot snapshot = takeSnapshot(table, request(), '/', fs.nameLimit());
        ExportProgress progress;
        QSignalSpy reached(&progress, &ExportProgress::reached);
        if (whileCopying) {
            faults->probe = [&](FsOp op, const std::string &) {
                if (op == FsOp::SafeCopy)
                    whileCopying(progress);
            };
        }
        const ExportReport report = copyTracks(fs, snapshot, progress);
        faults->probe = {};
        statuses.clear();
        for (const QList<QVariant> &args : reached)
            statuses << exportStatusText(args[0].toInt(), args[1].toInt(), args[2].toString());
        lastBytes = progress.bytes();
        return report;
    }
    ExportReport copy() { return copy(*fileSystem()); }

    // The files in the export folder, hidden ones too.
    QStringList exported() const
    {
        return QDir(exportDir).entryList(QDir::Files | QDir::System | QDir::Hidden, QDir::Name);
    }

    // Every file below the export folder, hidden ones too, by its path from there.
    QStringList tree() const
    {
        QStringList files;
        QDirIterator it(exportDir, QDir::Files | QDir::System | QDir::Hidden,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            files << it.next().mid(exportDir.size());
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

        QCOMPARE(ExportRun(*p.fileSystem(machine.fileSystem()), p.host).check(p.request()),
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

    void aSecondRunReplacesTheFirstCopies()
    {
        Player p;
        p.fields = onlyTitleFields();
        p.add("Song", ":iPod_Control:Music:F00:A.mp3", "new sound");
        p.writeExported("Song.mp3", "a much longer file left by an earlier run");
        QCOMPARE(p.copy().copied, 1);
        QCOMPARE(p.copy().copied, 1);
        QCOMPARE(p.exported(), QStringList{"Song.mp3"});
        QCOMPARE(p.exportedBytes("Song.mp3"), QByteArray("new sound"));
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
                                           << "not a regular file";
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
    }

    void badSourcesArePassedOver()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        Player p;
        p.fields = onlyTitleFields();
        p.add("Before", ":iPod_Control:Music:F00:A.mp3", bytesOf('a', 70000));
        const QString location = kind == "nowhere"   ? QString()
                                 : kind == "dot dot" ? ":iPod_Control:..:..:outside.mp3"
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
                 (QStringList{"SONG.mp3", ErrorsFile}));
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
                 "No space left on device: " + p.exportDir + "Two.mp3");
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
        QVERIFY(QDir(p.exportDir).removeRecursively()); // the export folder went away
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
        QCOMPARE(p.exported(), (QStringList{"One.mp3", ErrorsFile, "Two.mp3"}));
        QCOMPARE(closingMessage(report),
                 "Export cancelled: 1 of 4 files exported.\nGone: missing on the iPod\n"
                 "The full list is in " +
                     p.exportDir + ErrorsFile + ".");
    }

    // ---- the errors list ----

    void theErrorsListIsReplacedOnlyWhenSomethingIsSkipped()
    {
        Player p;
        p.fields = onlyTitleFields();
        for (int i = 1; i <= 25; ++i)
            p.add(QString("Gone\t%1").arg(i), QString(":iPod_Control:Music:F00:G%1.mp3").arg(i), "",
                  Mark::Yes, File::Absent);
        p.writeExported(ErrorsFile, "an older list");
        const ExportReport report = p.copy();
        const QStringList lines = QString::fromUtf8(p.exportedBytes(ErrorsFile)).split('\n');
        QCOMPARE(lines.size(), 26); // 25 lines, each ended
        QCOMPARE(lines[24],
                 "Gone 25\t" + p.player + "iPod_Control/Music/F00/G25.mp3\tmissing on the iPod");
        const QStringList message = closingMessage(report).split('\n');
        QCOMPARE(message.size(), 22); // the count, the first 20, where the list is
        QCOMPARE(message[0], QString("0 of 25 files exported."));
        QCOMPARE(message[20], QString("Gone\t20: missing on the iPod"));

        // A run that skips nothing leaves the list alone.
        p.marked.clear();
        p.add("Here", ":iPod_Control:Music:F00:H.mp3", "here");
        p.copy();
        QCOMPARE(p.exportedBytes(ErrorsFile).count('\n'), 25);
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
        QTest::newRow("a folder in its place")
            << "folder"
            << "name refused by the export folder: Is a directory";
        QTest::newRow("the disk full") << "full"
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
        if (cause == "folder") {
            QVERIFY(QDir(p.exportDir).mkdir("Road.m3u8"));
        } else {
            p.writeExported("Road.m3u8", "an earlier playlist");
            p.faults->faults.push_back(
                {FsOp::SafeWrite, ENOSPC, 0, (p.exportDir + "Road.m3u8").toStdString()});
        }
        const ExportReport report = p.copy();
        QCOMPARE(report.end, ExportReport::End::Finished);
        QCOMPARE(report.copied, 2);
        QCOMPARE(skippedOf(report), QStringList{"Road.m3u8: " + reason});
        QCOMPARE(closingMessage(report), "2 of 2 files exported.\nRoad.m3u8: " + reason +
                                             "\nThe full list is in " + p.exportDir + ErrorsFile +
                                             ".");
        QCOMPARE(QString::fromUtf8(p.exportedBytes(ErrorsFile)),
                 "Road.m3u8\t" + p.exportDir + "Road.m3u8\t" + reason + "\n");
        QCOMPARE(p.exportedBytes("Other.m3u8"), QByteArray("#EXTM3U\n#EXTINF:1,One\nOne.mp3\n"));
        if (cause == "full") {
            QCOMPARE(p.tree(),
                     (QStringList{"One.mp3", "Other.m3u8", "Road.m3u8", ErrorsFile, "Two.mp3"}));
            QCOMPARE(p.exportedBytes("Road.m3u8"), QByteArray("an earlier playlist"));
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
        QCOMPARE(p.faults->calls[FsOp::SafeWrite], 0);
    }

    // A folder that cannot be made is the export drive's failure: the run ends there and
    // the files placed before stay. No folder is made for a track that has no file.
    void aFolderThatCannotBeMadeEndsTheRun_data()
    {
        QTest::addColumn<QString>("cause");
        QTest::addColumn<int>("error");
        QTest::newRow("refused") << "refused" << EACCES;
        QTest::newRow("a file in its way") << "file" << EEXIST;
    }

    void aFolderThatCannotBeMadeEndsTheRun()
    {
        QFETCH(QString, cause);
        QFETCH(int, error);
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
        if (cause == "file")
            p.writeExported("Band", "a file of that name");
        else
            p.faults->faults.push_back(
                {FsOp::CreateFolder, EACCES, 0, (p.exportDir + "Band").toStdString()});

        const ExportReport report = p.copy();
        QCOMPARE(report.end, ExportReport::End::DestinationFailed);
        QCOMPARE(report.failure->number(), error);
        QVERIFY2(
            QString::fromStdString(report.failure->description()).contains(p.exportDir + "Band"),
            report.failure->description().c_str());
        QCOMPARE(report.reached, 3);
        QCOMPARE(report.copied, 1);
        QStringList tree{ErrorsFile, "Unknown Artist/Unknown Album/First.mp3"};
        if (cause == "file")
            tree.prepend("Band");
        QCOMPARE(p.tree(), tree);
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
