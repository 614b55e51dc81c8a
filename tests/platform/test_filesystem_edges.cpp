// The operating-system layer where real machines differ from made-up ones: odd mount
// tables, moves between two file systems, free space of a folder on another file system
// than its parent's.
#include "fakemachine.h"
#include "filesystem_posix.h"
#include "platformerror.h"
#include "testmain.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <sys/statvfs.h>

using namespace sondrel;
using sondrel::test::driveList;

namespace {

dev_t deviceOf(const QString &path)
{
    struct stat st
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_dev : dev_t(-1);
}

// A writable folder on another file system than the temporary folders, when the machine
// has one (/dev/shm is a tmpfs on most Linux machines).
QString otherFileSystem(const QString &than)
{
    const QString shm = QStringLiteral("/dev/shm");
    if (QFileInfo(shm).isDir() && QFileInfo(shm).isWritable() && deviceOf(shm) != deviceOf(than))
        return shm;
    return QString();
}

} // namespace

class TestFileSystemEdges : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void mountTableEscapes_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("mountPoint");
        QTest::newRow("blank") << "/dev/sdb1 /media/me/My\\040iPod vfat rw 0 0"
                               << "/media/me/My iPod";
        QTest::newRow("tab and backslash") << "/dev/sdb1 /mnt/a\\011b\\134c vfat rw 0 0"
                                           << "/mnt/a\tb\\c";
        QTest::newRow("line break") << "/dev/sdb1 /mnt/two\\012lines vfat rw 0 0"
                                    << "/mnt/two\nlines";
        QTest::newRow("not an escape") << "/dev/sdb1 /mnt/x\\9y vfat rw 0 0"
                                       << "/mnt/x\\9y";
        QTest::newRow("escape at the end") << "/dev/sdb1 /mnt/x\\04 vfat rw 0 0"
                                           << "/mnt/x\\04";
        QTest::newRow("a malformed line is passed over")
            << "garbage\n/dev/sdb1 /media/my\\040player vfat rw 0 0"
            << "/media/my player";
    }

    void mountTableEscapes()
    {
        QFETCH(QString, line);
        QFETCH(QString, mountPoint);
        const auto entries = parseMountTable(line.toStdString() + "\n");
        QCOMPARE(entries.size(), std::size_t(1));
        QCOMPARE(QString::fromStdString(entries[0].mountPoint), mountPoint);
        QCOMPARE(entries[0].type, std::string("vfat"));
    }

    // One device mounted at two places (a bind mount) is a drive at each; one mount point
    // mounted twice is listed once, where it first stood, as its later mount shows it.
    void bindMountsAndDevicesListedTwice()
    {
        test::FakeMachine machine;
        machine.blockDevice(QStringLiteral("sdb"), true, {QStringLiteral("sdb1")});
        machine.mount(QStringLiteral("/dev/sda1"), QStringLiteral("/"));
        machine.mount(QStringLiteral("/dev/sdb1"), QStringLiteral("/mnt/player"),
                      QStringLiteral("vfat"));
        machine.mount(QStringLiteral("/dev/sda1"), QStringLiteral("/srv/music"));
        machine.mount(QStringLiteral("/dev/sdb1"), QStringLiteral("/mnt/again"),
                      QStringLiteral("vfat"));
        machine.mount(QStringLiteral("/dev/sr0"), QStringLiteral("/mnt/player"),
                      QStringLiteral("iso9660"));
        QCOMPARE(driveList(*machine.fileSystem()),
                 QStringLiteral("/=2 /mnt/player=4 /srv/music=2 /mnt/again=1"));
    }

    // The free space is that of the file system that holds the folder itself, not of its
    // parent's.
    void freeSpaceOfAFolderOnAnotherFileSystem()
    {
        QTemporaryDir here;
        const QString there = otherFileSystem(here.path());
        if (there.isEmpty())
            QSKIP("this machine has no second writable file system (/dev/shm) to measure");
        QTemporaryDir folder(there + QStringLiteral("/sondrel-test-XXXXXX"));
        struct statvfs own
        {
        };
        struct statvfs parent
        {
        };
        QCOMPARE(::statvfs(QFile::encodeName(there).constData(), &own), 0);
        QCOMPARE(::statvfs(QFile::encodeName(here.path()).constData(), &parent), 0);
        const double ownFree = double(own.f_bavail) * double(own.f_frsize);
        const double parentFree = double(parent.f_bavail) * double(parent.f_frsize);
        if (qAbs(ownFree - parentFree) < 0.05 * qMax(ownFree, parentFree))
            QSKIP("the two file systems have about the same free space; nothing to tell apart");

        PosixFileSystem fs;
        const double measured = double(fs.availableSpace(folder.path().toStdString() + "/"));
        QVERIFY2(qAbs(measured - ownFree) < 0.01 * ownFree + (64 << 20),
                 qPrintable(QStringLiteral("%1 against %2").arg(measured).arg(ownFree)));
    }

    // A file is read whole, whatever its size says: the size is only where reading starts
    // to look for the end. Files of /proc say 0 and hold text; a large one is read into a
    // block that may be backed by large pages, which must not change a byte.
    void readsWholeFilesWhateverTheirSizeSays()
    {
        PosixFileSystem fs;
        const std::vector<std::uint8_t> status = fs.readFile("/proc/self/status");
        QVERIFY(QByteArray(reinterpret_cast<const char *>(status.data()), qsizetype(status.size()))
                    .contains("Pid:"));

        QTemporaryDir dir;
        const QString empty = dir.filePath(QStringLiteral("empty"));
        const QString large = dir.filePath(QStringLiteral("large"));
        QByteArray bytes(9 << 20, '\0');
        for (qsizetype i = 0; i < bytes.size(); ++i)
            bytes[i] = char(i * 7 + i / 4093);
        for (const auto &[path, contents] :
             {std::pair{empty, QByteArray()}, std::pair{large, bytes}}) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(contents);
        }
        QVERIFY(fs.readFile(empty.toStdString()).empty());
        const std::vector<std::uint8_t> read = fs.readFile(large.toStdString());
        QVERIFY(QByteArray::fromRawData(reinterpret_cast<const char *>(read.data()),
                                        qsizetype(read.size())) == bytes);

        // A file larger than memory (a sparse terabyte, as a damaged player can show) is
        // refused with ENOMEM, not by ending the program.
        QFile overcommit(QStringLiteral("/proc/sys/vm/overcommit_memory"));
        if (overcommit.open(QIODevice::ReadOnly) && overcommit.readAll().trimmed() == "1")
            QSKIP("this machine grants any allocation (vm.overcommit_memory = 1)");
        QFile sparse(dir.filePath(QStringLiteral("sparse")));
        QVERIFY(sparse.open(QIODevice::WriteOnly));
        if (!sparse.resize(qint64(1) << 40))
            QSKIP("this file system holds no sparse terabyte");
        sparse.close();
        int raised = 0;
        try {
            fs.readFile(sparse.fileName().toStdString());
        } catch (const PlatformError &error) {
            raised = error.number();
        }
        QCOMPARE(raised, ENOMEM);
    }
};

SONDREL_TEST_MAIN_CORE(TestFileSystemEdges)
#include "test_filesystem_edges.moc"
