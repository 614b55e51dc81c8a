#include "fakemachine.h"
#include "filesystem_posix.h"
#include "openwithin_posix.h"
#include "otheruser.h"
#include "platformerror.h"
#include "testfiles.h"
#include "testmain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <map>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace sondrel;
using sondrel::test::driveList;
using sondrel::test::readAll;

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// A copy staged and placed over its destination, as the export places one.
CopyResult placedCopy(const FileSystem &fs, const std::string &source,
                      const std::string &destination, const CopyOptions &options = {})
{
    Staging staging = fs.stageCopy(source, destination, options);
    return staging.copy ? staging.copy->place() : staging.result;
}

// Bytes staged and placed as the whole file at `destination`.
CopyResult placedBytes(const FileSystem &fs, const std::string &destination, const void *data,
                       std::size_t size)
{
    Staging staging = fs.stageBytes(destination, data, size);
    return staging.copy ? staging.copy->place() : staging.result;
}

} // namespace

class TestFileSystem : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void drivesAndTheirTypes_data()
    {
        QTest::addColumn<QStringList>("table"); // source|mount point|type
        QTest::addColumn<QString>("expected");

        QTest::newRow("block devices only, in table order")
            << QStringList{"proc|/proc|proc", "/dev/sda1|/|ext4", "tmpfs|/tmp|tmpfs",
                           "/dev/sda2|/home|ext4"}
            << "/=2 /home=2";
        QTest::newRow("desktop mount folders are removable")
            << QStringList{"/dev/sda1|/|ext4", "/dev/sdx1|/media/ipod|vfat",
                           "/dev/sdy1|/run/media/me/PLAYER|vfat"}
            << "/=2 /media/ipod=1 /run/media/me/PLAYER=1";
        QTest::newRow("optical file systems")
            << QStringList{"/dev/sr0|/mnt/cd|iso9660", "/dev/sr1|/mnt/dvd|udf"}
            << "/mnt/cd=4 /mnt/dvd=4";
        QTest::newRow("trailing slash dropped, each mount point once")
            << QStringList{"/dev/sda1|/data/|ext4", "/dev/sda3|/data|xfs"} << "/data=2";
        QTest::newRow("network shares are not drives")
            << QStringList{"/dev/sda1|/|ext4", "server:/share|/mnt/share|nfs4",
                           "//srv/music|/mnt/smb|cifs"}
            << "/=2";
        QTest::newRow("images, boot partitions and snap's mounts are not drives")
            << QStringList{"/dev/sda2|/|ext4",
                           "/dev/loop0|/snap/core22/1122|squashfs",
                           "/dev/sda1|/boot/efi|vfat",
                           "/dev/sda3|/boot|ext4",
                           "/dev/loop1|/mnt/image|erofs",
                           "/dev/loop2|/var/snap/lxd/common/ns|ext4",
                           "/dev/sda2|/var/lib/snapd/hostfs|ext4",
                           "/dev/sda4|/home|ext4",
                           "/dev/sda5|/snapshots|ext4",
                           "/dev/sda6|/mnt/boot-backup|ext4"}
            << "/=2 /home=2 /snapshots=2 /mnt/boot-backup=2";
        // A player formatted on a Mac mounts read-only; a disk image comes from a loop device.
        QTest::newRow("read-only players and images under /media stay")
            << QStringList{"/dev/sda1|/|ext4", "/dev/sdx2|/media/me/IPOD|hfsplus",
                           "/dev/loop7|/media/me/Backup|ext4", "/dev/sdy1|/run/media/me/NANO|vfat",
                           "/dev/sdz1|/mnt/music|ext4"}
            << "/=2 /media/me/IPOD=1 /media/me/Backup=1 /run/media/me/NANO=1 /mnt/music=2";
    }

    void drivesAndTheirTypes()
    {
        QFETCH(QStringList, table);
        QFETCH(QString, expected);
        const test::FakeMachine machine(table);
        QCOMPARE(driveList(*machine.fileSystem()), expected);
    }

    void removableFromSysfs()
    {
        test::FakeMachine machine;
        machine.blockDevice(QStringLiteral("sda"), false, {QStringLiteral("sda1")});
        machine.blockDevice(QStringLiteral("sdb"), true, {QStringLiteral("sdb1")});
        machine.blockDevice(QStringLiteral("sdc"), true);
        machine.mount(QStringLiteral("/dev/sda1"), QStringLiteral("/"));
        machine.mount(QStringLiteral("/dev/sdb1"), QStringLiteral("/mnt/player"),
                      QStringLiteral("vfat"));
        machine.mount(QStringLiteral("/dev/sdc"), QStringLiteral("/mnt/stick"),
                      QStringLiteral("vfat"));
        QCOMPARE(driveList(*machine.fileSystem()),
                 QStringLiteral("/=2 /mnt/player=1 /mnt/stick=1"));
    }

    // A file bind-mounted from a block device is no drive; a folder mount point is, and so
    // is a mount point that a made-up table names without a folder behind it.
    void fileMountsAreNotDrives()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("hosts"));
        writeFile(file, "127.0.0.1 localhost\n");
        test::FakeMachine machine;
        machine.mount(QStringLiteral("/dev/sda1"), QStringLiteral("/"));
        machine.mount(QStringLiteral("/dev/sda1"), dir.path());
        machine.mount(QStringLiteral("/dev/sda1"), file);
        machine.mount(QStringLiteral("/dev/sdb1"), QStringLiteral("/no/such/data"));
        QCOMPARE(driveList(*machine.fileSystem()),
                 QStringLiteral("/=2 %1=2 /no/such/data=2").arg(dir.path()));
    }

    void findsEntriesWithoutRegardToCase_data()
    {
        QTest::addColumn<QStringList>("entries"); // in the folder; a trailing "/" makes a folder
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("found");
        QTest::newRow("exact") << QStringList{"iPod_Control/"} << "iPod_Control"
                               << "iPod_Control";
        QTest::newRow("lower case on the disk") << QStringList{"ipod_control/"} << "iPod_Control"
                                                << "ipod_control";
        QTest::newRow("a file, upper case") << QStringList{"ITUNESCDB"} << "iTunesCDB"
                                            << "ITUNESCDB";
        QTest::newRow("the exact spelling wins")
            << QStringList{"ITUNES/", "iTunes/", "itunes/"} << "iTunes"
            << "iTunes";
        QTest::newRow("else the first in byte order")
            << QStringList{"itunes/", "ITUNES/"} << "iTunes"
            << "ITUNES";
        QTest::newRow("missing") << QStringList{"iTunesDB.bak"} << "iTunesDB"
                                 << "";
    }

    void findsEntriesWithoutRegardToCase()
    {
        QFETCH(QStringList, entries);
        QFETCH(QString, name);
        QTemporaryDir dir;
        for (const QString &entry : entries) {
            if (entry.endsWith('/'))
                QVERIFY(QDir(dir.path()).mkdir(entry.chopped(1)));
            else
                writeFile(dir.filePath(entry), "x");
        }
        PosixFileSystem fs;
        const std::string found = findEntry(fs, dir.path().toStdString() + "/", name.toStdString());
        QTEST(found.empty() ? QString() : QFileInfo(QString::fromStdString(found)).fileName(),
              "found");
        if (!found.empty())
            QCOMPARE(QFileInfo(QString::fromStdString(found)).path(), dir.path());
        // Without a trailing separator the folder is found the same; in a missing one, nothing.
        QCOMPARE(findEntry(fs, dir.path().toStdString(), name.toStdString()), found);
        QCOMPARE(findEntry(fs, dir.filePath("gone/").toStdString(), name.toStdString()),
                 std::string());
    }

    void folderWritable()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("file");
        writeFile(file, "x");
        PosixFileSystem fs;
        QVERIFY(fs.folderWritable(dir.path().toStdString()));
        QVERIFY(fs.folderWritable(dir.path().toStdString() + "/"));
        QVERIFY(!fs.folderWritable(file.toStdString()));
        QVERIFY(!fs.folderWritable(dir.filePath("missing").toStdString()));
        QVERIFY(!fs.folderWritable(""));
    }

    void driveRootHasOneSeparator()
    {
        PosixFileSystem fs;
        QCOMPARE(fs.driveRoot({DriveType::Fixed, "/"}), std::string("/"));
        QCOMPARE(fs.driveRoot({DriveType::Fixed, "/media/ipod"}), std::string("/media/ipod/"));
        QCOMPARE(fs.driveRoot({DriveType::Fixed, "/media/ipod//"}), std::string("/media/ipod/"));
    }

    void driveOfIsTheDeepestMountPoint()
    {
        QTemporaryDir dir;
        const QString inner = dir.filePath(QStringLiteral("vol"));
        QDir().mkpath(inner + QStringLiteral("/Music"));
        const QString canonical = QDir(inner).canonicalPath();
        test::FakeMachine machine;
        machine.mount(QStringLiteral("/dev/sda1"), QStringLiteral("/"));
        machine.mount(QStringLiteral("/dev/sdb1"), canonical);
        machine.mount(QStringLiteral("/dev/sdc1"), canonical + QStringLiteral("x"));
        const auto fs = machine.fileSystem();
        QCOMPARE(
            QString::fromStdString(fs->driveOf((inner + QStringLiteral("/Music/")).toStdString())),
            canonical);
        QCOMPARE(QString::fromStdString(fs->driveOf(canonical.toStdString())), canonical);
        QCOMPARE(fs->driveOf("/usr"), std::string("/"));
    }

    void fileOperations()
    {
        QTemporaryDir dir;
        PosixFileSystem fs;
        const std::string a = dir.filePath(QStringLiteral("a.bin")).toStdString();
        const std::string b = dir.filePath(QStringLiteral("b.bin")).toStdString();
        const std::string sub = dir.filePath(QStringLiteral("sub")).toStdString();
        writeFile(QString::fromStdString(a), QByteArray(3 << 20, 'x') + "end");

        QVERIFY(fs.fileExists(a));
        QVERIFY(!fs.fileExists(dir.path().toStdString()));
        QVERIFY(fs.folderExists(dir.path().toStdString() + "/"));
        QVERIFY(!fs.folderExists(a));

        fs.createFolder(sub + "/");
        QVERIFY(fs.folderExists(sub));
        QVERIFY_THROWS_EXCEPTION(PlatformError, fs.createFolder(sub + "/x/y"));
        writeFile(QString::fromStdString(sub + "/b.bin"), "b");
        QVERIFY(fs.fileExists(sub + "/b.bin"));
        fs.deleteFile(sub + "/b.bin");
        QVERIFY(!fs.fileExists(sub + "/b.bin"));

        auto out = fs.createFile(b);
        out->write("0A", 2);
        out->close();
        QCOMPARE(fs.readFile(b), (std::vector<std::uint8_t>{'0', 'A'}));
        QVERIFY(fs.availableSpace(dir.path().toStdString()) > 0);
    }

    // The rename that finishes every whole-file write: the old file is replaced at once,
    // and a failed rename leaves both files as they were.
    void replaceFileIsOneStep()
    {
        QTemporaryDir dir;
        PosixFileSystem fs;
        const std::string target = dir.filePath(QStringLiteral("song.mp3")).toStdString();
        const std::string temporary = temporaryNameBeside(target, '/');
        writeFile(QString::fromStdString(target), "old");
        writeFile(QString::fromStdString(temporary), "new and longer");
        fs.replaceFile(temporary, target);
        QCOMPARE(fs.readFile(target),
                 (std::vector<std::uint8_t>{'n', 'e', 'w', ' ', 'a', 'n', 'd', ' ', 'l', 'o', 'n',
                                            'g', 'e', 'r'}));
        QVERIFY(!fs.fileExists(temporary));

        writeFile(QString::fromStdString(temporary), "never placed");
        try {
            fs.replaceFile(temporary, dir.filePath(QStringLiteral("gone/song.mp3")).toStdString());
            QFAIL("a rename into a missing folder must fail");
        } catch (const PlatformError &error) {
            QCOMPARE(error.number(), ENOENT);
        }
        QVERIFY(fs.fileExists(temporary));
        QCOMPARE(fs.readFile(target).size(), std::size_t(14));
    }

    // The first half of putting a file in place: a rename on one file system, a flushed
    // copy with the same permissions across two (here the temporary folder and /dev/shm,
    // where they differ). Run by root it is always a copy, a new file of root's that is not
    // writable by group and others, whoever extracted the file and with what umask.
    void renameOrCopy_data()
    {
        QTest::addColumn<bool>("otherFileSystem");
        QTest::newRow("one file system: renamed, by root copied") << false;
        QTest::newRow("two file systems: copied") << true;
    }

    void renameOrCopy()
    {
        QFETCH(bool, otherFileSystem);
        QTemporaryDir dir;
        std::optional<QTemporaryDir> shm;
        PosixFileSystem fs;
        if (otherFileSystem) {
            shm.emplace(QStringLiteral("/dev/shm/sondrel-test-XXXXXX"));
            if (!shm->isValid() || fs.identity(shm->path().toStdString())->volume ==
                                       fs.identity(dir.path().toStdString())->volume)
                QSKIP("no second file system at /dev/shm");
        }
        const QString source =
            (otherFileSystem ? shm->path() : dir.path()) + QStringLiteral("/Sondrel");
        writeFile(source, "program bytes");
        QVERIFY(QFile::setPermissions(
            source, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::WriteGroup |
                        QFile::ReadOther | QFile::WriteOther | QFile::ExeOther));
        const std::string temporary =
            temporaryNameBeside(dir.filePath(QStringLiteral("Sondrel")).toStdString(), '/');
        const bool root = ::geteuid() == 0;
        if (root)
            QCOMPARE(::chown(QFile::encodeName(source).constData(), test::OtherUid, test::OtherUid),
                     0);

        QCOMPARE(fs.renameOrCopy(source.toStdString(), temporary), otherFileSystem || root);
        QCOMPARE(fs.readFile(temporary).size(), std::size_t(13));
        struct stat st
        {
        };
        QCOMPARE(::stat(temporary.c_str(), &st), 0);
        QCOMPARE(st.st_mode & 07777, mode_t(root ? 0705 : 0727));
        QCOMPARE(st.st_uid, ::geteuid());
        // A copy leaves the source for the caller to remove once the copy is in place.
        QCOMPARE(QFile::exists(source), otherFileSystem || root);

        // A name in use is never written over.
        writeFile(source, "again");
        try {
            fs.renameOrCopy(source.toStdString(), temporary);
            QFAIL("a destination in use must fail");
        } catch (const PlatformError &error) {
            QCOMPARE(error.number(), EEXIST);
        }
        QCOMPARE(fs.readFile(temporary).size(), std::size_t(13));
        QVERIFY(QFile::exists(source));
    }

    void sameContents_data()
    {
        QTest::addColumn<QByteArray>("a");
        QTest::addColumn<QByteArray>("b");
        QTest::addColumn<bool>("same");
        const QByteArray big(300000, 'x');
        QTest::newRow("equal") << QByteArray("library") << QByteArray("library") << true;
        QTest::newRow("both empty") << QByteArray() << QByteArray() << true;
        QTest::newRow("one byte differs, same size")
            << QByteArray("library") << QByteArray("librarx") << false;
        QTest::newRow("a partial copy") << big << big.left(65536) << false;
        QTest::newRow("large, equal") << big << big << true;
        QTest::newRow("large, last byte differs") << big << big.left(big.size() - 1) + 'y' << false;
    }

    void sameContents()
    {
        QFETCH(QByteArray, a);
        QFETCH(QByteArray, b);
        QFETCH(bool, same);
        QTemporaryDir dir;
        writeFile(dir.filePath(QStringLiteral("a")), a);
        writeFile(dir.filePath(QStringLiteral("b")), b);
        PosixFileSystem fs;
        QCOMPARE(fs.sameContents(dir.filePath(QStringLiteral("a")).toStdString(),
                                 dir.filePath(QStringLiteral("b")).toStdString()),
                 same);
        QVERIFY_THROWS_EXCEPTION(
            PlatformError,
            fs.sameContents(dir.filePath(QStringLiteral("a")).toStdString(), "/nonexistent/file"));
    }

    void temporaryNamesAreHiddenAndBeside()
    {
        const std::string a = temporaryNameBeside("/export/Rock_A.mp3", '/');
        const std::string b = temporaryNameBeside("/export/Rock_A.mp3", '/');
        QVERIFY(a.rfind("/export/.sondrel-", 0) == 0);
        QVERIFY(a.size() > 22 && a.compare(a.size() - 5, 5, ".part") == 0);
        QVERIFY(a != b);
        QVERIFY(temporaryNameBeside("C:\\Music\\x.mp3", '\\').rfind("C:\\Music\\.sondrel-", 0) ==
                0);
    }

    // Two spellings of one file (a link, "/./") have one identity; two files have two.
    void identityFollowsTheFileNotItsSpelling()
    {
        QTemporaryDir dir;
        PosixFileSystem fs;
        QDir(dir.path()).mkpath(QStringLiteral("real"));
        writeFile(dir.filePath(QStringLiteral("real/a")), "a");
        writeFile(dir.filePath(QStringLiteral("real/b")), "a");
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("real")),
                            dir.filePath(QStringLiteral("link"))));
        const auto id = [&](const char *relative) {
            return fs.identity(dir.filePath(QLatin1String(relative)).toStdString());
        };
        QVERIFY(id("real/a").has_value());
        QCOMPARE(id("link/a"), id("real/a"));
        QCOMPARE(id("real/./a"), id("real/a"));
        QCOMPARE(id("link"), id("real"));
        QVERIFY(id("real/b") != id("real/a"));
        QCOMPARE(id("real/missing"), std::nullopt);
    }

    // The copy the export makes: the source opened once, only a regular file copied and
    // never onto itself, the bytes placed under the final name only when whole; any
    // failure leaves no temporary file and an earlier destination as it was.
    void safeCopy_data()
    {
        QTest::addColumn<QString>("source");      // what stands at the source path
        QTest::addColumn<QString>("destination"); // what stands at the destination path
        QTest::addColumn<int>("outcome");
        const auto row = [](const char *name, const char *source, const char *destination,
                            CopyOutcome outcome) {
            QTest::newRow(name) << QString(source) << QString(destination) << int(outcome);
        };
        row("regular file", "file", "none", CopyOutcome::Copied);
        row("over an earlier file", "file", "old", CopyOutcome::Copied);
        row("empty file", "empty", "old", CopyOutcome::Copied);
        row("FIFO without a writer", "fifo", "old", CopyOutcome::SourceNotRegular);
        row("link to /dev/zero", "zero", "old", CopyOutcome::SourceNotRegular);
        row("folder", "folder", "old", CopyOutcome::SourceNotRegular);
        row("missing", "missing", "old", CopyOutcome::SourceMissing);
        row("dangling link", "dangling", "old", CopyOutcome::SourceMissing);
        row("destination is the source", "file", "hard link", CopyOutcome::SameFile);
        row("destination links to the source", "file", "link", CopyOutcome::SameFile);
        row("a folder of that name", "file", "folder", CopyOutcome::NameRefused);
        row("name too long", "file", "long name", CopyOutcome::NameRefused);
        row("destination folder gone", "file", "no folder", CopyOutcome::DestinationFailed);
    }

    void safeCopy()
    {
        QFETCH(QString, source);
        QFETCH(QString, destination);
        QFETCH(int, outcome);
        QTemporaryDir dir;
        PosixFileSystem fs;
        const QString from = dir.filePath(QStringLiteral("player.mp3"));
        QString to = dir.filePath(QStringLiteral("out/song.mp3"));
        QDir(dir.path()).mkpath(QStringLiteral("out"));
        const QByteArray sound = QByteArray(3 << 20, 's') + "end";
        const QByteArray sourceBytes = source == QLatin1String("empty") ? QByteArray() : sound;
        if (source == QLatin1String("file") || source == QLatin1String("empty"))
            writeFile(from, sourceBytes);
        if (source == QLatin1String("fifo"))
            QCOMPARE(::mkfifo(QFile::encodeName(from).constData(), 0644), 0);
        if (source == QLatin1String("zero"))
            QVERIFY(QFile::link(QStringLiteral("/dev/zero"), from));
        if (source == QLatin1String("folder"))
            QVERIFY(QDir().mkpath(from));
        if (source == QLatin1String("dangling"))
            QVERIFY(QFile::link(dir.filePath(QStringLiteral("nowhere")), from));
        if (destination == QLatin1String("old"))
            writeFile(to, "an earlier export");
        if (destination == QLatin1String("hard link"))
            QCOMPARE(::link(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()),
                     0);
        if (destination == QLatin1String("link"))
            QVERIFY(QFile::link(from, to));
        if (destination == QLatin1String("folder"))
            QVERIFY(QDir().mkpath(to));
        if (destination == QLatin1String("long name"))
            to = dir.filePath(QStringLiteral("out/") + QString(256, QLatin1Char('n')));
        if (destination == QLatin1String("no folder"))
            to = dir.filePath(QStringLiteral("gone/song.mp3"));

        std::uint64_t reported = 0;
        CopyOptions options;
        options.progress = [&](std::uint64_t copied) {
            reported = copied;
            return true;
        };
        const CopyResult result = placedCopy(fs, from.toStdString(), to.toStdString(), options);
        QCOMPARE(int(result.outcome), outcome);
        QCOMPARE(result.copied(), outcome == int(CopyOutcome::Copied));
        const QStringList left =
            QDir(dir.filePath(QStringLiteral("out")))
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        QVERIFY2(left.filter(QStringLiteral(".sondrel-")).isEmpty(), qPrintable(left.join(' ')));
        if (result.copied()) {
            QCOMPARE(readAll(to), sourceBytes);
            QCOMPARE(result.bytes, std::uint64_t(sourceBytes.size()));
            QCOMPARE(reported, result.bytes);
        } else if (destination == QLatin1String("old")) {
            QCOMPARE(readAll(to), QByteArray("an earlier export"));
        }
        if (source == QLatin1String("file"))
            QCOMPARE(readAll(from), sound); // the player's file is never written
        if (!result.copied()) {
            QVERIFY(!result.path.empty());
            QCOMPARE(result.sourceFault(), outcome != int(CopyOutcome::DestinationFailed));
        }
    }

    // A file of the player is read only when it is a regular file reached from the player's
    // folder without leaving it: links inside are followed, one out (a copied player whose
    // track leads to /etc/shadow) is never opened, nor is a FIFO waited on. The kernel's
    // openat2 and the walk name by name decide alike; the copy and the whole read agree.
    void readsOnlyWithinThePlayer_data()
    {
        QTest::addColumn<QStringList>("tree"); // "name=link target" or "name|fifo", in player/
        QTest::addColumn<QString>("path");     // what is read, from the temporary folder
        QTest::addColumn<int>("end");
        const auto row = [](const char *name, QStringList tree, const char *path,
                            posix::OpenedWithin::End end) {
            QTest::newRow(name) << tree << QString(path) << int(end);
        };
        using End = posix::OpenedWithin::End;
        const char *track = "player/Music/a.mp3";
        row("a file", {"Music/a.mp3|file"}, track, End::Opened);
        row("a link inside", {"Music/a.mp3=../Other/b.mp3"}, track, End::Opened);
        row("an absolute link inside", {"Music/a.mp3=$/player/Other/b.mp3"}, track, End::Opened);
        row("a folder linked inside", {"Music=Other", "Other/a.mp3|file"}, track, End::Opened);
        row("a link out", {"Music/a.mp3=../../secret"}, track, End::LeadsOut);
        row("an absolute link out", {"Music/a.mp3=$/secret"}, track, End::LeadsOut);
        row("a link to /etc/shadow", {"Music/a.mp3=/etc/shadow"}, track, End::LeadsOut);
        row("a folder linked out", {"Music=$"}, "player/Music/secret", End::LeadsOut);
        row("a link to a name beside the player", {"Music/a.mp3=$/player2/b.mp3"}, track,
            End::LeadsOut);
        row("up and out in the path", {}, "player/../secret", End::LeadsOut);
        row("a FIFO", {"Music/a.mp3|fifo"}, track, End::NotRegular);
        row("a link to a FIFO inside", {"Music/a.mp3=../Other/f", "Other/f|fifo"}, track,
            End::NotRegular);
        row("a folder", {"Music/a.mp3|folder"}, track, End::NotRegular);
        row("missing", {}, track, End::Missing);
        row("a dangling link", {"Music/a.mp3=../Other/none"}, track, End::Missing);
        row("a loop of links", {"Music/a.mp3=a.mp3"}, track, End::Failed);
    }

    void readsOnlyWithinThePlayer()
    {
        QFETCH(QStringList, tree);
        QFETCH(QString, path);
        QFETCH(int, end);
        QTemporaryDir dir;
        for (const char *folder : {"player/Music", "player/Other", "player2"})
            QVERIFY(QDir(dir.path()).mkpath(QLatin1String(folder)));
        writeFile(dir.filePath(QStringLiteral("secret")), "secret");
        writeFile(dir.filePath(QStringLiteral("player2/b.mp3")), "beside");
        writeFile(dir.filePath(QStringLiteral("player/Other/b.mp3")), "inside");
        for (const QString &entry : tree) {
            const qsizetype link = entry.indexOf(QLatin1Char('='));
            const qsizetype kind = entry.indexOf(QLatin1Char('|'));
            const QString at =
                dir.filePath(QStringLiteral("player/") + entry.left(link >= 0 ? link : kind));
            const QByteArray name = QFile::encodeName(at);
            if (link >= 0) {
                QFile::remove(at);
                QDir(at).removeRecursively();
                const QString target = entry.mid(link + 1).replace(QLatin1Char('$'), dir.path());
                QCOMPARE(::symlink(QFile::encodeName(target).constData(), name.constData()), 0);
            } else if (entry.mid(kind + 1) == QLatin1String("fifo")) {
                QCOMPARE(::mkfifo(name.constData(), 0644), 0);
            } else if (entry.mid(kind + 1) == QLatin1String("folder")) {
                QVERIFY(QDir().mkpath(at));
            } else {
                writeFile(at, "inside");
            }
        }
        const std::string folder = dir.filePath(QStringLiteral("player")).toStdString() + '/';
        const std::string source = dir.filePath(path).toStdString();
        for (posix::Resolve resolve : {posix::Resolve::Kernel, posix::Resolve::Walk}) {
            const posix::OpenedWithin opened = posix::openWithin(folder, source, resolve);
            QCOMPARE(int(opened.end), end);
            QCOMPARE(opened.fd.get() >= 0, end == int(posix::OpenedWithin::End::Opened));
        }

        using End = posix::OpenedWithin::End;
        const std::map<int, CopyOutcome> outcomes = {
            {int(End::Opened), CopyOutcome::Copied},
            {int(End::LeadsOut), CopyOutcome::OutsideFolder},
            {int(End::NotRegular), CopyOutcome::SourceNotRegular},
            {int(End::Missing), CopyOutcome::SourceMissing},
            {int(End::Failed), CopyOutcome::SourceUnreadable}};
        PosixFileSystem fs;
        CopyOptions options;
        options.within = folder;
        const std::string to = dir.filePath(QStringLiteral("copy.mp3")).toStdString();
        const CopyResult copied = placedCopy(fs, source, to, options);
        QCOMPARE(int(copied.outcome), int(outcomes.at(end)));
        QVERIFY(copied.copied() || copied.sourceFault());
        QCOMPARE(QFile::exists(QString::fromStdString(to)), copied.copied());
        if (copied.copied())
            QCOMPARE(readAll(QString::fromStdString(to)), QByteArray("inside"));
        try {
            const std::vector<std::uint8_t> bytes = fs.readFileWithin(folder, source);
            QCOMPARE(
                QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size())),
                QByteArray("inside"));
            QCOMPARE(end, int(End::Opened));
        } catch (const PlatformError &error) {
            QVERIFY(end != int(End::Opened));
            QCOMPARE(error.description().rfind(LinkOutOfFolder, 0) == 0, end == int(End::LeadsOut));
        }
    }

    // A work file is made new or not at all: whatever takes its name (a file, a folder, a
    // link, one to nowhere) is never opened, and stays as it was.
    void createNewFileTakesOnlyAFreeName_data()
    {
        QTest::addColumn<QString>("there");
        QTest::addColumn<bool>("made");
        QTest::newRow("free") << "none" << true;
        QTest::newRow("a file") << "file" << false;
        QTest::newRow("a folder") << "folder" << false;
        QTest::newRow("a link to a file elsewhere") << "link" << false;
        QTest::newRow("a link to nowhere") << "dangling" << false;
        QTest::newRow("a FIFO") << "fifo" << false;
    }

    void createNewFileTakesOnlyAFreeName()
    {
        QFETCH(QString, there);
        QFETCH(bool, made);
        QTemporaryDir dir;
        const QString name = dir.filePath(QStringLiteral("Vemo_temp"));
        const QString elsewhere = dir.filePath(QStringLiteral("elsewhere"));
        writeFile(elsewhere, "the user's");
        if (there == QLatin1String("file"))
            writeFile(name, "the user's");
        if (there == QLatin1String("folder"))
            QVERIFY(QDir().mkpath(name));
        if (there == QLatin1String("link"))
            QVERIFY(QFile::link(elsewhere, name));
        if (there == QLatin1String("dangling"))
            QVERIFY(QFile::link(dir.filePath(QStringLiteral("nowhere")), name));
        if (there == QLatin1String("fifo"))
            QCOMPARE(::mkfifo(QFile::encodeName(name).constData(), 0644), 0);
        PosixFileSystem fs;
        NewFile file = fs.createNewFile(name.toStdString());
        QCOMPARE(bool(file.file), made);
        if (made) {
            file.file->write("new", 3);
            file.file->close();
            QCOMPARE(readAll(name), QByteArray("new"));
            QCOMPARE(fs.identity(name.toStdString()), std::optional(file.identity));
        }
        QCOMPARE(readAll(elsewhere), QByteArray("the user's"));
        if (there == QLatin1String("file"))
            QCOMPARE(readAll(name), QByteArray("the user's"));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("nowhere"))));
    }

    // Comparing and reading never wait on a FIFO at a name (a FIFO where the copy of a
    // 0-byte track would go): it is no regular file, refused at once.
    void readsNeverWaitOnAFifo()
    {
        QTemporaryDir dir;
        const QString fifo = dir.filePath(QStringLiteral("fifo"));
        const QString empty = dir.filePath(QStringLiteral("empty"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
        writeFile(empty, QByteArray());
        PosixFileSystem fs;
        QVERIFY_THROWS_EXCEPTION(PlatformError,
                                 fs.sameContents(empty.toStdString(), fifo.toStdString()));
        QVERIFY_THROWS_EXCEPTION(PlatformError,
                                 fs.sameContents(fifo.toStdString(), empty.toStdString()));
        QVERIFY_THROWS_EXCEPTION(PlatformError, fs.readFile(fifo.toStdString()));
    }

    // A source that grows while it is copied is copied as large as it was when opened;
    // one that becomes shorter is not the file it was: refused, the earlier copy kept. A
    // cancel between chunks removes the part written.
    void safeCopyTakesTheSizeAtOpenAndCanBeCancelled()
    {
        QTemporaryDir dir;
        PosixFileSystem fs;
        const std::string from = dir.filePath(QStringLiteral("growing.bin")).toStdString();
        const std::string to = dir.filePath(QStringLiteral("copy.bin")).toStdString();
        const QByteArray first(20 << 20, 'g');
        writeFile(QString::fromStdString(from), first);
        CopyOptions growing;
        growing.progress = [&](std::uint64_t) {
            QFile more(QString::fromStdString(from));
            if (more.open(QIODevice::Append))
                more.write(QByteArray(1 << 20, 'm'));
            return true;
        };
        QVERIFY(placedCopy(fs, from, to, growing).copied());
        QCOMPARE(readAll(QString::fromStdString(to)), first);

        const std::string shrinking = dir.filePath(QStringLiteral("shrinking.bin")).toStdString();
        writeFile(QString::fromStdString(shrinking), first);
        CopyOptions cut;
        cut.progress = [&](std::uint64_t) { return ::truncate(shrinking.c_str(), 9 << 20) == 0; };
        const CopyResult shorter = placedCopy(fs, shrinking, to, cut);
        QCOMPARE(shorter.outcome, CopyOutcome::SourceUnreadable);
        QCOMPARE(shorter.message, std::string(ShorterWhileCopied));
        QCOMPARE(readAll(QString::fromStdString(to)), first);
        QVERIFY(QFile::remove(QString::fromStdString(shrinking)));

        int chunks = 0;
        CopyOptions cancel;
        cancel.progress = [&](std::uint64_t) { return ++chunks < 2; };
        const CopyResult result = placedCopy(fs, from, to, cancel);
        QCOMPARE(result.outcome, CopyOutcome::Cancelled);
        QCOMPARE(chunks, 2);
        QCOMPARE(readAll(QString::fromStdString(to)), first);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);

        // A staged copy that is never placed takes its temporary file with it.
        Staging staging = fs.stageCopy(from, to);
        QVERIFY(staging.copy);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 3);
        staging.copy.reset();
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
        QCOMPARE(readAll(QString::fromStdString(to)), first);
    }

    // From another file system (tmpfs) the kernel's copy call gives way to the others.
    void safeCopyAcrossFileSystems()
    {
        QTemporaryDir shm(QStringLiteral("/dev/shm/sondrel-test-XXXXXX"));
        QTemporaryDir dir;
        PosixFileSystem fs;
        if (!shm.isValid() || fs.identity(shm.path().toStdString())->volume ==
                                  fs.identity(dir.path().toStdString())->volume)
            QSKIP("no second file system at /dev/shm");
        QByteArray bytes(9 << 20, Qt::Uninitialized);
        for (int i = 0; i < bytes.size(); ++i)
            bytes[i] = char(i * 7 + i / 4096);
        writeFile(shm.filePath(QStringLiteral("a.bin")), bytes);
        const std::string to = dir.filePath(QStringLiteral("a.bin")).toStdString();
        QVERIFY(placedCopy(fs, shm.filePath(QStringLiteral("a.bin")).toStdString(), to).copied());
        QCOMPARE(readAll(QString::fromStdString(to)), bytes);
    }

    // A file written whole from memory: replaced in one step, never half; a failure
    // leaves the earlier file and no temporary file, and tells which side refused.
    void safeWrite_data()
    {
        QTest::addColumn<QString>("destination");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<int>("error");
        QTest::newRow("new") << "new" << int(CopyOutcome::Copied) << 0;
        QTest::newRow("over an earlier file") << "old" << int(CopyOutcome::Copied) << 0;
        QTest::newRow("a folder of that name")
            << "folder" << int(CopyOutcome::NameRefused) << EISDIR;
        QTest::newRow("no folder") << "no folder" << int(CopyOutcome::DestinationFailed) << ENOENT;
    }

    void safeWrite()
    {
        QFETCH(QString, destination);
        QFETCH(int, outcome);
        QFETCH(int, error);
        QTemporaryDir dir;
        PosixFileSystem fs;
        QString to = dir.filePath(QStringLiteral("Road.m3u8"));
        if (destination == QLatin1String("old"))
            writeFile(to, "a much longer earlier playlist");
        if (destination == QLatin1String("folder"))
            QVERIFY(QDir().mkpath(to));
        if (destination == QLatin1String("no folder"))
            to = dir.filePath(QStringLiteral("gone/Road.m3u8"));
        const QByteArray bytes("#EXTM3U\n");

        const CopyResult result =
            placedBytes(fs, to.toStdString(), bytes.constData(), std::size_t(bytes.size()));
        QCOMPARE(int(result.outcome), outcome);
        QCOMPARE(result.error, error);
        if (result.copied()) {
            QCOMPARE(readAll(to), bytes);
            QCOMPARE(result.bytes, std::uint64_t(bytes.size()));
        } else {
            QCOMPARE(result.path, to.toStdString());
            QCOMPARE(result.message, std::string(std::strerror(error)));
        }
        const QStringList left =
            QDir(dir.path())
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        QCOMPARE(left, destination == QLatin1String("no folder") ? QStringList{}
                                                                 : QStringList{"Road.m3u8"});
    }

    void failuresCarryTheErrorNumber()
    {
        QTemporaryDir dir;
        PosixFileSystem fs;
        try {
            fs.readFile(dir.filePath(QStringLiteral("missing")).toStdString());
            QFAIL("reading a missing file must fail");
        } catch (const PlatformError &error) {
            QCOMPARE(error.number(), ENOENT);
            QVERIFY(error.description().find("missing") != std::string::npos);
        }
        QVERIFY_THROWS_EXCEPTION(PlatformError, fs.readFile("/nonexistent/file"));
        QVERIFY_THROWS_EXCEPTION(PlatformError, fs.deleteFile("/nonexistent/file"));
        QVERIFY_THROWS_EXCEPTION(PlatformError, fs.availableSpace("/nonexistent/dir"));
    }

    // A held folder takes only a regular file with one name for a file, and only a plain
    // folder for a folder: a link, a second name of someone else's file or a FIFO at the name
    // is never gone through, locked, replaced or removed, and never blocks.
    void aHeldFolderGoesThroughNoLink_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<int>("kind");  // FileStatus::Kind
        QTest::addColumn<bool>("ours"); // replaced, removed and locked
        QTest::addColumn<bool>("folder");
        using Kind = FileStatus::Kind;
        QTest::newRow("a file") << "file" << int(Kind::File) << true << false;
        QTest::newRow("a link to a file outside") << "link" << int(Kind::Other) << false << false;
        QTest::newRow("a link to a folder outside")
            << "folder link" << int(Kind::Other) << false << false;
        QTest::newRow("a second name of a file outside")
            << "hard link" << int(Kind::Other) << false << false;
        QTest::newRow("a FIFO") << "fifo" << int(Kind::Other) << false << false;
        QTest::newRow("a folder") << "folder" << int(Kind::Folder) << false << true;
    }

    void aHeldFolderGoesThroughNoLink()
    {
        QFETCH(QString, what);
        QFETCH(int, kind);
        QFETCH(bool, ours);
        QFETCH(bool, folder);
        QTemporaryDir dir;
        QDir(dir.path()).mkpath("held");
        QDir(dir.path()).mkpath("outside");
        const QString outside = dir.filePath("outside/secret");
        writeFile(outside, "someone else's");
        const QByteArray at = QFile::encodeName(dir.filePath("held/name"));
        if (what == "file")
            writeFile(dir.filePath("held/name"), "ours");
        else if (what == "link")
            QVERIFY(::symlink(QFile::encodeName(outside).constData(), at.constData()) == 0);
        else if (what == "folder link")
            QVERIFY(::symlink(QFile::encodeName(dir.filePath("outside")).constData(),
                              at.constData()) == 0);
        else if (what == "hard link")
            QVERIFY(::link(QFile::encodeName(outside).constData(), at.constData()) == 0);
        else if (what == "fifo")
            QVERIFY(::mkfifo(at.constData(), 0600) == 0);
        else
            QVERIFY(::mkdir(at.constData(), 0700) == 0);

        PosixFileSystem fs;
        const std::unique_ptr<HeldFolder> held = fs.holdFolder(dir.filePath("held").toStdString());
        QCOMPARE(int(held->status("name")->kind), kind);
        QCOMPARE(bool(held->folder("name")), folder);
        if (!ours)
            QVERIFY_THROWS_EXCEPTION(PlatformError, held->lockFile("name"));
        if (!folder)
            QVERIFY_THROWS_EXCEPTION(PlatformError, held->makeFolder("name").reset());
        QVERIFY(!held->sameContents(outside.toStdString(), "name") || what == "file");
        Staging staging = held->stageBytes("name", "new", 3);
        QVERIFY(staging.copy);
        QCOMPARE(staging.copy->flush().outcome, CopyOutcome::Copied);
        const CopyResult replaced =
            staging.copy->rename(dir.filePath("held/name").toStdString(), true);
        QCOMPARE(replaced.outcome, ours ? CopyOutcome::Copied : CopyOutcome::NameTaken);
        staging.copy.reset(); // not placed: its temporary file goes
        QCOMPARE(held->removeFile("name", [](const FileStatus &) { return true; }), ours);
        QCOMPARE(readAll(outside), QByteArray("someone else's"));
        QCOMPARE(
            QDir(dir.filePath("held"))
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
            ours ? QStringList() : QStringList{"name"});
    }

    // Run as root into a user's folder, what the held folder makes takes the folder's owner.
    void aHeldFolderMakesTheOwnersFiles()
    {
        if (::geteuid() != 0)
            QSKIP("needs root");
        QTemporaryDir dir;
        const QByteArray path = QFile::encodeName(dir.path());
        QVERIFY(::chown(path.constData(), sondrel::test::OtherUid, sondrel::test::OtherUid) == 0);
        PosixFileSystem fs;
        const std::unique_ptr<HeldFolder> held = fs.holdFolder(dir.path().toStdString());
        const std::unique_ptr<HeldFolder> sub = held->makeFolder("Artist");
        Staging staging = sub->stageBytes("Song.mp3", "sound", 5);
        QCOMPARE(staging.copy->place().outcome, CopyOutcome::Copied);
        QVERIFY(held->lockFile(".record"));
        for (const char *name : {"/Artist", "/Artist/Song.mp3", "/.record"}) {
            struct stat st
            {
            };
            QVERIFY(::lstat((path + name).constData(), &st) == 0);
            QCOMPARE(st.st_uid, sondrel::test::OtherUid);
        }
    }

    void fullDiskFailsTheWrite()
    {
        if (!QFile::exists(QStringLiteral("/dev/full")))
            QSKIP("this machine has no /dev/full");
        PosixFileSystem fs;
        auto out = fs.createFile("/dev/full");
        try {
            out->write(QByteArray(1 << 16, 'x').constData(), 1 << 16);
            out->close();
            QFAIL("writing to a full device must fail");
        } catch (const PlatformError &error) {
            QCOMPARE(error.number(), ENOSPC);
        }
    }
};

SONDREL_TEST_MAIN_CORE(TestFileSystem)
#include "test_filesystem.moc"
