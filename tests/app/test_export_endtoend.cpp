// The whole main job through the real window: a player folder with a generated
// database and real sound files, "Check for sound files", a marked range, "Export
// selected file(s)", and the exported files compared with their sources. Where root may
// mount a small volume, the export also runs into a volume that fills up mid-run.
#include "fakemachine.h"
#include "filesystem_posix.h"
#include "frmmain.h"
#include "itunesdbbuilder.h"
#include "modalanswerer.h"
#include "testmain.h"
#include "trackgrid.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <functional>
#include <memory>

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

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// The machine's own file-system service, with a hook run after each successful copy.
class HookedFileSystem : public PosixFileSystem
{
public:
    std::function<void(int)> afterCopy;
    mutable int copies = 0;

    void copyFile(const std::string &source, const std::string &destination,
                  bool overwrite) const override
    {
        PosixFileSystem::copyFile(source, destination, overwrite);
        if (afterCopy)
            afterCopy(++copies);
    }
};

// The main window over a player folder and an export directory of the test's own.
class Desk
{
public:
    Desk(const QString &player, const QString &exportDir)
    {
        Services services;
        services.fileSystem = [this] {
            auto fs = std::make_unique<HookedFileSystem>();
            fs->afterCopy = afterCopy;
            return fs;
        };
        w = std::make_unique<FrmMain>(services);
        w->state().setDfltDrive(player + "/");
        w->state().setDfltDir(exportDir + "/");
        w->show();
    }

    QStringList click(QPushButton *button)
    {
        ModalAnswerer answerer;
        QTest::mouseClick(button, Qt::LeftButton);
        return answerer.texts();
    }

    QPoint cell(int row, int col) const
    {
        TrackGrid *grid = w->MSFlexGridSoundList;
        return grid->visualRect(grid->model()->index(row - 1, col - 1)).center();
    }

    // Selects rows `from` to `to` as a user does: a click, then a shift-click.
    void selectRows(int from, int to)
    {
        QWidget *viewport = w->MSFlexGridSoundList->viewport();
        QTest::mouseClick(viewport, Qt::LeftButton, {}, cell(from, 3));
        QTest::mouseClick(viewport, Qt::LeftButton, Qt::ShiftModifier, cell(to, 3));
    }

    std::function<void(int)> afterCopy;
    std::unique_ptr<FrmMain> w;
};

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
        QTemporaryDir dir;
        const QString player = dir.filePath("player");
        const QString exportDir = dir.filePath("export");
        QVERIFY(QDir().mkpath(player));
        QVERIFY(QDir().mkpath(exportDir));

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
        QVERIFY(writePlayer(player, db));
        // A copy of a player on a file system that minds letter case: one folder's name
        // differs in case from what the database says.
        QVERIFY(QDir(player + "/iPod_Control/Music").rename("F01", "f01"));

        Desk desk(player, exportDir);
        QVERIFY(QTest::qWaitForWindowExposed(desk.w.get()));
        const QStringList checked = desk.click(desk.w->BtnUpdate);
        QCOMPARE(checked.size(), 1);
        QVERIFY2(checked[0].startsWith("Updated in "), qPrintable(checked[0]));
        QCOMPARE(desk.w->MSFlexGridSoundList->Rows(), 7);
        QVERIFY(desk.w->BtnSelSound->isEnabled());

        desk.selectRows(5, 2); // upward, rows 2 to 5
        QTest::mouseClick(desk.w->BtnSelSound, Qt::LeftButton);
        QCOMPARE(desk.w->LblSelFilesNum->text(), QString(" 4 file(s) selected"));
        QCOMPARE(desk.w->LblSelFilesDur->text(), QString(" 00:12:00 hh:mm:ss"));

        QCOMPARE(desk.click(desk.w->BtnExport), QStringList{"Files exported successfully"});
        QStringList expected;
        for (int i = 1; i <= 4; ++i) {
            const TestTrack &track = db.tracks[i];
            const QString name = QString("%1_Band_Title %2_Disc_%3.%4")
                                     .arg(genres[i])
                                     .arg(i + 1)
                                     .arg(i + 1)
                                     .arg(i == 3 ? "m4a" : "mp3");
            expected << name;
            QCOMPARE(readAll(exportDir + "/" + name), track.contents);
        }
        expected.sort();
        QCOMPARE(QDir(exportDir).entryList(QDir::Files, QDir::Name), expected);

        // A fresh check forgets the marks: one track of three minutes shows alone.
        QCOMPARE(desk.click(desk.w->BtnUpdate).size(), 1);
        QCOMPARE(desk.w->LblSelFilesNum->text(), QString(" 0 file(s) selected"));
        desk.selectRows(5, 5);
        QTest::mouseClick(desk.w->BtnSelSound, Qt::LeftButton);
        QCOMPARE(desk.w->LblSelFilesDur->text(), QString(" 00:03:00 hh:mm:ss"));
    }

    void exportDriveFillsUpDuringTheRun()
    {
        LoopVolume volume(8);
        if (!volume.mounted())
            QSKIP(qPrintable("No small volume to fill: " + volume.whyNot()));

        QTemporaryDir dir;
        const QString player = dir.filePath("player");
        QVERIFY(QDir().mkpath(player));
        TestDatabase db;
        for (int i = 0; i < 3; ++i) {
            db.tracks << TestTrack::make(QString("T%1").arg(i + 1), "", "", "",
                                         QString(":iPod_Control:Music:F00:T%1.mp3").arg(i + 1))
                             .withContents(noise(1536 * 1024, quint32(100 + i)));
        }
        QVERIFY(writePlayer(player, db));

        Desk desk(player, volume.mountPoint);
        desk.w->state().setNameFields({{"Title", true, 4},
                               {"Genre", false, 8},
                               {"Artist", false, 7},
                               {"Album", false, 6},
                               {"ID", false, 1}}, QString());
        QCOMPARE(desk.click(desk.w->BtnUpdate).size(), 1);
        desk.selectRows(1, 3);
        QTest::mouseClick(desk.w->BtnSelSound, Qt::LeftButton);
        QCOMPARE(desk.w->LblSelFilesNum->text(), QString(" 3 file(s) selected"));

        // Another program takes nearly all the room once the first file is written.
        const QString filler = volume.mountPoint + "/other program.bin";
        desk.afterCopy = [&](int copies) {
            if (copies != 1)
                return;
            QFile file(filler);
            if (!file.open(QIODevice::WriteOnly))
                return;
            const QByteArray block(64 * 1024, 'f');
            const qint64 leave = 256 * 1024;
            PosixFileSystem fs;
            while (fs.availableSpace(volume.mountPoint.toStdString()) > std::uint64_t(leave)) {
                if (file.write(block) != block.size() || !file.flush())
                    break;
            }
        };

        const QStringList texts = desk.click(desk.w->BtnExport);
        QCOMPARE(texts.size(), 1);
        QVERIFY2(texts[0].startsWith(QString("Run-time error '%1':").arg(ENOSPC)),
                 qPrintable(texts[0]));
        QVERIFY(texts[0].contains("T2.mp3"));
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        QCOMPARE(desk.w->LblStatusExport->text(), QString());

        QDir exported(volume.mountPoint);
        QCOMPARE(exported.entryList(QDir::Files, QDir::Name),
                 (QStringList{"T1.mp3", "other program.bin"}));
        QCOMPARE(readAll(volume.mountPoint + "/T1.mp3"), db.tracks[0].contents);
        QVERIFY(desk.w->isVisible());
    }
};

SONDREL_TEST_MAIN(TestExportEndToEnd)
#include "test_export_endtoend.moc"
