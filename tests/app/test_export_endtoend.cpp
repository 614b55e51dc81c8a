// The whole main job through the real window: a player folder with a generated
// database and real sound files, "Check for sound files", a marked range, "Export
// selected file(s)", and the exported files compared with their sources; bad files on
// the player among good ones. Where root may mount a small volume, the export also runs
// into a volume that fills up mid-run.
#include "filesystem_posix.h"
#include "frmchgexpname.h"
#include "mainwindowscene.h"
#include "modalanswerer.h"
#include "testfiles.h"
#include "testmain.h"
#include "trackgrid.h"
#include "tracktables.h"

#include <QCheckBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <memory>

#include <sys/stat.h>
#include <unistd.h>

using namespace sondrel;
using namespace sondrel::test;

namespace {

QByteArray noise(int size, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &b : bytes)
        b = char(random.bounded(256));
    return bytes;
}

// A small ext4 volume, loop-mounted for the life of the object.
class LoopVolume
{
public:
    explicit LoopVolume(int megabytes)
    {
        if (::geteuid() != 0) {
            m_why = "mounting a volume needs root";
            return;
        }
        const QString image = m_dir.filePath("volume.img");
        mountPoint = m_dir.filePath("mnt");
        QDir().mkpath(mountPoint);
        {
            QFile file(image);
            if (!file.open(QIODevice::WriteOnly) || !file.resize(qint64(megabytes) << 20)) {
                m_why = "cannot make the image file";
                return;
            }
        }
        if (QProcess::execute("mkfs.ext4", {"-q", "-F", image}) != 0) {
            m_why = "mkfs.ext4 is not available";
            return;
        }
        if (QProcess::execute("mount", {"-o", "loop", image, mountPoint}) != 0) {
            m_why = "this machine does not allow loop mounts";
            return;
        }
        m_mounted = true;
    }

    ~LoopVolume()
    {
        if (m_mounted && QProcess::execute("umount", {mountPoint}) != 0)
            QProcess::execute("umount", {"-l", mountPoint});
    }

    bool mounted() const { return m_mounted; }
    QString whyNot() const { return m_why; }
    QString mountPoint;

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
    QString m_why;
};

} // namespace

class TestExportEndToEnd : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { ModalAnswerer::closeLeftovers(); }

    void checkMarkExportCompare()
    {
        TestDatabase db;
        const QStringList genres{"Rock", "Jazz", "Pop", "Folk", "Rock", "Soul"};
        for (int i = 0; i < 6; ++i) {
            const QString location = QString(":iPod_Control:Music:F0%1:TRK%2.%3")
                                         .arg(i % 2)
                                         .arg(i)
                                         .arg(i == 3 ? "m4a" : "mp3");
            db.tracks << TestTrack::make(QString("Title %1").arg(i + 1), "Band", "Disc", genres[i],
                                         location)
                             .withContents(noise(20000 + 7919 * i, quint32(i + 1)))
                             .withDuration(i == 4 ? 180000 : 60000 * (i + 1));
        }
        MainWindowScene scene;
        QVERIFY(QTest::qWaitForWindowExposed(&scene.window()));
        QVERIFY(scene.load(db));
        // A copy of a player on a file system that minds letter case: one folder's name
        // differs in case from what the database says.
        QVERIFY(QDir(scene.playerPath() + "/iPod_Control/Music").rename("F01", "f01"));
        QCOMPARE(scene.grid()->Rows(), 7);

        scene.markRows(5, 2); // upward, rows 2 to 5
        QCOMPARE(scene->LblSelFilesNum->text(), QString(" 4 file(s) selected"));
        QCOMPARE(scene->LblSelFilesDur->text(), QString(" 00:12:00 hh:mm:ss"));

        QCOMPARE(scene.exportMarked(), QStringList{"Files exported successfully"});
        QStringList expected;
        for (int i = 1; i <= 4; ++i) {
            const QString name = QString("%1_Band_Title %2_Disc_%3.%4")
                                     .arg(genres[i])
                                     .arg(i + 1)
                                     .arg(i + 1)
                                     .arg(i == 3 ? "m4a" : "mp3");
            expected << name;
            QCOMPARE(readAll(scene.exportPath() + "/" + name), db.tracks[i].contents);
        }
        expected.sort();
        QCOMPARE(scene.exportFiles(), expected);

        // A fresh check forgets the marks: one track of three minutes shows alone.
        QCOMPARE(scene.check().size(), 1);
        QCOMPARE(scene->LblSelFilesNum->text(), QString(" 0 file(s) selected"));
        scene.markRows(5, 5);
        QCOMPARE(scene->LblSelFilesDur->text(), QString(" 00:03:00 hh:mm:ss"));
    }

    // Both options checked in the composer: the files go into artist and album folders,
    // and the playlist holding exported tracks is written beside them with those tracks.
    void foldersAndPlaylistsChosenInTheComposer()
    {
        TestDatabase db;
        db.dataSets = TestDatabase::modernOrder();
        db.tracks << TestTrack::make("Opening", "Band", "First", "Rock",
                                     ":iPod_Control:Music:F00:A.mp3")
                         .withContents(noise(40000, 1))
                         .withDuration(185500);
        db.tracks << TestTrack::make("Duet", "Guest", "First", "Rock",
                                     ":iPod_Control:Music:F01:B.m4a")
                         .withString(StringAlbumArtist, "Band")
                         .withContents(noise(30000, 2));
        db.tracks << TestTrack::make("Loose", "", "", "", ":iPod_Control:Music:F00:C.mp3")
                         .withContents(noise(20000, 3))
                         .withDuration(30000);
        db.tracks << TestTrack::make("Left out", "Band", "Second", "Pop",
                                     ":iPod_Control:Music:F00:D.mp3")
                         .withContents(noise(10000, 4));
        TestPlaylist road;
        road.title = "Road trip";
        road.items = {db.uniqueIdOf(2), db.uniqueIdOf(3), db.uniqueIdOf(0)};
        TestPlaylist unmarked;
        unmarked.title = "Unmarked only";
        unmarked.items = {db.uniqueIdOf(3)};
        db.playlists << db.masterPlaylist() << road << unmarked;
        MainWindowScene scene;
        QVERIFY(scene.load(db));
        QCOMPARE(scene->state().tracks().playlists().size(), std::size_t(2));

        ExportOptions composed;
        QVERIFY(onDialog<FrmChgExpName>(scene->BtnChangeExpName, [&](FrmChgExpName *dialog) {
            QTest::mouseClick(dialog->ChkFolders, Qt::LeftButton);
            QTest::mouseClick(dialog->ChkPlaylists, Qt::LeftButton);
            composed = dialog->options();
            QTest::mouseClick(dialog->BtnOK, Qt::LeftButton);
        }));
        QCOMPARE(composed, (ExportOptions{true, true}));
        QCOMPARE(scene->TxtExpName->text(),
                 QString("AlbumArtist/Album/Genre_Artist_Title_Album_ID"));

        scene.markRows(1, 3);
        QCOMPARE(scene.exportMarked(), QStringList{"Files exported successfully"});
        const QString to = scene.exportPath() + "/";
        QStringList tree;
        QDirIterator it(to, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            tree << it.next().mid(to.size());
        tree.sort();
        QCOMPARE(tree,
                 (QStringList{".sondrel-record.tsv", "Band/First/Rock_Band_Opening_First_1.mp3",
                              "Band/First/Rock_Guest_Duet_First_2.m4a", "Road trip.m3u8",
                              "Unknown Artist/Unknown Album/__Loose__3.mp3"}));
        QCOMPARE(readAll(to + "Band/First/Rock_Band_Opening_First_1.mp3"), db.tracks[0].contents);
        QCOMPARE(readAll(to + "Band/First/Rock_Guest_Duet_First_2.m4a"), db.tracks[1].contents);
        QCOMPARE(readAll(to + "Unknown Artist/Unknown Album/__Loose__3.mp3"),
                 db.tracks[2].contents);
        QCOMPARE(readAll(to + "Road trip.m3u8"),
                 QByteArray("#EXTM3U\n"
                            "#EXTINF:30,Loose\n"
                            "Unknown Artist/Unknown Album/__Loose__3.mp3\n"
                            "#EXTINF:185,Band - Opening\n"
                            "Band/First/Rock_Band_Opening_First_1.mp3\n"));
    }

    // A FIFO and a link to /dev/zero on the player among real files: the run neither
    // hangs nor writes without end; it copies the others and lists the two.
    void badFilesOnThePlayerArePassedOver()
    {
        TestDatabase db;
        for (int i = 1; i <= 4; ++i)
            db.tracks << TestTrack::make(QString("T%1").arg(i), "", "", "",
                                         QString(":iPod_Control:Music:F00:T%1.mp3").arg(i))
                             .withContents(noise(300000, quint32(i)));
        MainWindowScene scene;
        QVERIFY(scene.load(db));
        scene->state().setNameFields(onlyTitleFields(), "Title");
        const QString music = scene.playerPath() + "/iPod_Control/Music/F00/";
        QVERIFY(QFile::remove(music + "T2.mp3"));
        QCOMPARE(::mkfifo(QFile::encodeName(music + "T2.mp3").constData(), 0644), 0);
        QVERIFY(QFile::remove(music + "T3.mp3"));
        QVERIFY(QFile::link("/dev/zero", music + "T3.mp3"));
        scene.markRows(1, 4);

        const QString list = scene.exportPath() + "/Sondrel export errors.txt";
        QCOMPARE(scene.exportMarked(),
                 QStringList{"2 of 4 files exported.\nT2: not a regular file\nT3: a link out of "
                             "the player\nThe full list is in " +
                             list + "."});
        QCOMPARE(scene.exportFiles(),
                 (QStringList{"Sondrel export errors.txt", "T1.mp3", "T4.mp3"}));
        QCOMPARE(readAll(scene.exportPath() + "/T1.mp3"), db.tracks[0].contents);
        QCOMPARE(readAll(scene.exportPath() + "/T4.mp3"), db.tracks[3].contents);
        QCOMPARE(QString::fromUtf8(readAll(list)), "T2\t" + music +
                                                       "T2.mp3\tnot a regular file\nT3\t" + music +
                                                       "T3.mp3\ta link out of the player\n");
    }

    // Another program fills the export drive during the run: the run stops with the
    // run-time error report, the file being written leaves no trace, the copy of an
    // earlier run under that name and the files finished before stay.
    void exportDriveFillsUpDuringTheRun()
    {
        LoopVolume volume(8);
        if (!volume.mounted())
            QSKIP(qPrintable("No small volume to fill: " + volume.whyNot()));

        TestDatabase db;
        for (int i = 0; i < 3; ++i) {
            db.tracks << TestTrack::make(QString("T%1").arg(i + 1), "", "", "",
                                         QString(":iPod_Control:Music:F00:T%1.mp3").arg(i + 1))
                             .withContents(noise(1536 * 1024, quint32(100 + i)));
        }
        MainWindowScene scene;
        QVERIFY(scene.load(db));
        scene->state().setExportDirectory(volume.mountPoint + "/");
        scene->state().setNameFields(onlyTitleFields(), "Title");
        scene.markRows(1, 3);
        QCOMPARE(scene->LblSelFilesNum->text(), QString(" 3 file(s) selected"));
        QFile earlier(volume.mountPoint + "/T2.mp3");
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write("exported by an earlier run");
        earlier.close();

        // Another program takes nearly all the room once the first file is written.
        const QString filler = volume.mountPoint + "/other program.bin";
        scene.faults->probe = [&](FsOp op, const std::string &) {
            if (op != FsOp::SafeCopy || scene.faults->calls[FsOp::SafeCopy] != 1)
                return; // the count is of the calls before this one
            QFile file(filler);
            if (!file.open(QIODevice::WriteOnly))
                return;
            const QByteArray block(64 * 1024, 'f');
            PosixFileSystem fs;
            while (fs.availableSpace(volume.mountPoint.toStdString()) > 256 * 1024) {
                if (file.write(block) != block.size() || !file.flush())
                    break;
            }
        };

        const QStringList texts = scene.exportMarked();
        scene.faults->probe = {};
        QCOMPARE(texts.size(), 1);
        QVERIFY2(texts[0].startsWith(QString("Run-time error '%1':").arg(ENOSPC)),
                 qPrintable(texts[0]));
        // T2.mp3 is not the run's: its copy was on the way to the next name.
        QVERIFY(texts[0].contains(volume.mountPoint + "/T2 (2).mp3"));
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        QCOMPARE(scene->LblStatusExport->text(), QString());

        QDir exported(volume.mountPoint);
        QCOMPARE(exported.entryList(QDir::Files | QDir::Hidden, QDir::Name),
                 (QStringList{".sondrel-record.tsv", "T1.mp3", "T2.mp3", "other program.bin"}));
        QCOMPARE(readAll(volume.mountPoint + "/T1.mp3"), db.tracks[0].contents);
        QCOMPARE(readAll(volume.mountPoint + "/T2.mp3"), QByteArray("exported by an earlier run"));
        QVERIFY(scene->isVisible());
    }
};

SONDREL_TEST_MAIN(TestExportEndToEnd)
#include "test_export_endtoend.moc"
