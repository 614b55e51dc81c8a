// "Export selected file(s)" in the main window: the checks and their messages, the
// progress line, the pointer, the completion messages, the order after a sort, and a
// failed copy that ends the run but not the program.
#include "fakemachine.h"
#include "filesystem_posix.h"
#include "frmmain.h"
#include "modalanswerer.h"
#include "platformerror.h"
#include "soundfilecheck.h"
#include "testmain.h"
#include "trackgrid.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <memory>
#include <optional>

using namespace sondrel;

namespace {

// The pointer's shape right now: -1 for the default pointer.
int pointer()
{
    const QCursor *cursor = QApplication::overrideCursor();
    return cursor ? int(cursor->shape()) : -1;
}

// What the window shows at each copy, seen from inside the file-system service.
struct Probe
{
    FrmMain *window = nullptr;
    QStringList progress;
    QList<bool> statusVisible;
    QList<int> pointers;
    std::optional<std::uint64_t> available;
    int failingCopy = -1; // this copy (counted from 0) writes 1000 bytes and fails
    int copies = 0;
};

class ProbeFileSystem : public PosixFileSystem
{
public:
    ProbeFileSystem(const test::FakeMachine &machine, Probe &probe)
        : PosixFileSystem(machine.mountTablePath().toStdString(),
                          machine.sysfsRoot().toStdString()),
          m_probe(probe)
    {
    }

    void copyFile(const std::string &source, const std::string &destination,
                  bool overwrite) const override
    {
        m_probe.progress << m_probe.window->LblStatusExport->text();
        m_probe.statusVisible << m_probe.window->LblStatusExport->isVisible();
        m_probe.pointers << pointer();
        if (m_probe.copies++ == m_probe.failingCopy) {
            QFile in(QString::fromStdString(source));
            QFile out(QString::fromStdString(destination));
            if (in.open(QIODevice::ReadOnly) && out.open(QIODevice::WriteOnly))
                out.write(in.read(1000));
            throw PlatformError(ENOSPC, "No space left on device: " + destination);
        }
        PosixFileSystem::copyFile(source, destination, overwrite);
    }

    std::uint64_t availableSpace(const std::string &path) const override
    {
        return m_probe.available ? *m_probe.available : PosixFileSystem::availableSpace(path);
    }

private:
    Probe &m_probe;
};

// Records the pointer at the moment each message box appears.
class BoxWatch : public QObject
{
public:
    BoxWatch() { qApp->installEventFilter(this); }
    ~BoxWatch() override { qApp->removeEventFilter(this); }
    QList<int> pointers;

protected:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (event->type() == QEvent::Show && qobject_cast<QMessageBox *>(object))
            pointers << pointer();
        return false;
    }
};

// A player folder with tracks T1..Tn (their files hold "sound k" repeated), an export
// folder, and a main window whose table and grid show the tracks.
class Scene
{
public:
    explicit Scene(int n, int size = 3000)
    {
        QDir(m_dir.path()).mkpath("player/iPod_Control/Music/F00");
        QDir(m_dir.path()).mkpath("export");
        player = m_dir.filePath("player") + "/";
        exportDir = m_dir.filePath("export") + "/";
        machine.mount("/dev/sda1", "/", "ext4");
        machine.mount("/dev/sdz1", m_dir.filePath("export"), "vfat");

        Services services;
        services.fileSystem = [this] { return std::make_unique<ProbeFileSystem>(machine, probe); };
        w = std::make_unique<FrmMain>(services);
        probe.window = w.get();
        w->state().setDfltDrive(player);
        w->state().setDfltDir(exportDir);

        TrackTable &table = w->trackTable();
        table.reset(n);
        for (int k = 1; k <= n; ++k) {
            Track &t = table.track(k);
            t.id = k;
            t.size = size;
            t.duration = 1000;
            table.setText(k, FieldTitle, QString("T%1").arg(k));
            table.setText(k, FieldLocation, QString(":iPod_Control:Music:F00:F%1.mp3").arg(k));
            QFile file(player + QString("iPod_Control/Music/F00/F%1.mp3").arg(k));
            if (file.open(QIODevice::WriteOnly))
                file.write(contents(k, size));
        }
        TrackGrid *grid = w->MSFlexGridSoundList;
        grid->setRows(n + 1);
        for (int j = 1; j <= n; ++j) {
            const auto cells = gridCells(table, j);
            for (int c = 2; c <= 10; ++c)
                grid->setTextMatrix(j, c, cells[std::size_t(c - 2)]);
        }
        grid->setCol(10);
        grid->setRow(n);
        w->BtnSelSound->setEnabled(true);
        w->BtnExport->setEnabled(true);
        w->show();
    }

    static QByteArray contents(int k, int size)
    {
        QByteArray bytes;
        while (bytes.size() < size)
            bytes += QString("sound %1 ").arg(k).toLatin1();
        bytes.truncate(size);
        return bytes;
    }

    void mark(int row)
    {
        w->MSFlexGridSoundList->setRow(row);
        QTest::mouseClick(w->BtnSelSound, Qt::LeftButton);
    }

    // Clicks "Export selected file(s)" and returns the texts of the boxes it showed.
    QStringList exportNow()
    {
        test::ModalAnswerer answerer;
        QTest::mouseClick(w->BtnExport, Qt::LeftButton);
        return answerer.texts();
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

    QStringList totals() const
    {
        return {w->LblSelFilesNumI->text(), w->LblSelFilesSizeI->text(), w->LblSelFilesDurI->text(),
                w->LblSelFilesNum->text(),  w->LblSelFilesSize->text(),  w->LblSelFilesDur->text()};
    }

    QStringList marks() const
    {
        QStringList out;
        for (int r = 1; r < w->MSFlexGridSoundList->Rows(); ++r)
            out << w->MSFlexGridSoundList->TextMatrix(r, 1);
        return out;
    }

    QTemporaryDir m_dir;
    test::FakeMachine machine;
    Probe probe;
    QString player;
    QString exportDir;
    std::unique_ptr<FrmMain> w;
};

NameFields onlyTitle()
{
    return {{"Genre", false, 8},
            {"Artist", false, 7},
            {"Title", true, 4},
            {"Album", false, 6},
            {"ID", false, 1}};
}

} // namespace

class TestExport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { test::ModalAnswerer::closeLeftovers(); }

    void checksAndTheirMessages_data()
    {
        QTest::addColumn<bool>("directory");
        QTest::addColumn<bool>("player");
        QTest::addColumn<bool>("marked");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("pointerAtMessage");

        QTest::newRow("both missing: the directory first")
            << false << false << true << "The default directory doesn't exist." << -1;
        QTest::newRow("player missing")
            << true << false << true << "The iPod is not connected." << -1;
        QTest::newRow("nothing marked")
            << true << true << false << "No files were selected" << int(Qt::WaitCursor);
    }

    void checksAndTheirMessages()
    {
        QFETCH(bool, directory);
        QFETCH(bool, player);
        QFETCH(bool, marked);
        QFETCH(QString, text);
        QFETCH(int, pointerAtMessage);

        Scene scene(3);
        if (marked)
            scene.mark(2);
        if (!directory)
            scene.w->state().setDfltDir(scene.exportDir + "gone/");
        if (!player)
            scene.w->state().setDfltDrive(scene.player + "gone/");
        const QStringList before = scene.totals();
        BoxWatch watch;
        QCOMPARE(scene.exportNow(), QStringList{text});
        QCOMPARE(watch.pointers, QList<int>{pointerAtMessage});
        QCOMPARE(pointer(), -1);
        QVERIFY(scene.w->LblStatusExport->isHidden());
        QCOMPARE(scene.probe.copies, 0);
        QCOMPARE(scene.exported(), QStringList{});
        QCOMPARE(scene.totals(), before);
    }

    void tooLittleFreeSpace()
    {
        Scene scene(2, 1048576);
        scene.mark(1);
        scene.mark(2); // 2 MB marked
        scene.probe.available = 1048576;
        const QString drive = scene.m_dir.filePath("export");
        BoxWatch watch;
        QCOMPARE(scene.exportNow(),
                 QStringList{"You have less space available in " + drive +
                             " than the total size of the files you want to export.\r"
                             "Please select less files.\rYour total available size in " +
                             drive + " right now is (1,024.00 Kb = 1.00 Mb = 0.00 Gb)."});
        QCOMPARE(watch.pointers, QList<int>{-1});
        QCOMPARE(scene.probe.copies, 0);

        scene.probe.available = 2097152; // exactly the marked total
        QCOMPARE(scene.exportNow(), QStringList{"Files exported successfully"});
        QCOMPARE(scene.exported().size(), 2);
    }

    void progressOfRowsTwoAndSeven()
    {
        Scene scene(8);
        scene.mark(2);
        scene.mark(7);
        const QStringList totals = scene.totals();
        const QStringList marks = scene.marks();
        BoxWatch watch;

        QCOMPARE(scene.exportNow(), QStringList{"Files exported successfully"});
        QCOMPARE(scene.probe.progress,
                 (QStringList{" Exporting file 1 of 2 (T2)", " Exporting file 2 of 2 (T7)"}));
        QCOMPARE(scene.probe.statusVisible, (QList<bool>{true, true}));
        QCOMPARE(scene.probe.pointers, (QList<int>{Qt::WaitCursor, Qt::WaitCursor}));
        QCOMPARE(watch.pointers, QList<int>{Qt::WaitCursor});
        QCOMPARE(pointer(), -1);
        QVERIFY(scene.w->LblStatusExport->isVisible());
        QCOMPARE(scene.w->LblStatusExport->text(), QString());
        QCOMPARE(scene.totals(), totals);
        QCOMPARE(scene.marks(), marks);
        QCOMPARE(scene.exported(), (QStringList{"__T2__2.mp3", "__T7__7.mp3"}));
        QCOMPARE(scene.exportedBytes("__T7__7.mp3"), Scene::contents(7, 3000));
    }

    void oneMarkedTrack()
    {
        Scene scene(3);
        scene.mark(3); // right after the fill the current row is the last one
        QCOMPARE(scene.exportNow(), QStringList{"File exported successfully"});
        QCOMPARE(scene.probe.progress, QStringList{" Exporting file 1 of 1 (T3)"});
    }

    void exportAfterASortFollowsTheNewOrder()
    {
        Scene scene(12);
        QVERIFY(QTest::qWaitForWindowExposed(scene.w.get()));
        scene.mark(2);
        scene.mark(10);
        scene.mark(11);
        // Titles sort as text: T1, T10, T11, T12, T2, ...
        TrackGrid *grid = scene.w->MSFlexGridSoundList;
        const QPoint title = grid->visualRect(grid->model()->index(0, 2)).center();
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, title);
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, title);
        QCOMPARE(grid->TextMatrix(2, 3), QString("T10"));

        QCOMPARE(scene.exportNow(), QStringList{"Files exported successfully"});
        QCOMPARE(scene.probe.progress,
                 (QStringList{" Exporting file 1 of 3 (T10)", " Exporting file 2 of 3 (T11)",
                              " Exporting file 3 of 3 (T2)"}));
    }

    void theNameListIsReadAtEachRun()
    {
        Scene scene(2);
        scene.mark(1);
        QCOMPARE(scene.exportNow(), QStringList{"File exported successfully"});
        scene.w->state().setNameFields(onlyTitle(), QString());
        QCOMPARE(scene.exportNow(), QStringList{"File exported successfully"});
        QCOMPARE(scene.exported(), (QStringList{"T1.mp3", "__T1__1.mp3"}));
    }

    void aFailedCopyEndsTheRunNotTheProgram()
    {
        Scene scene(4);
        scene.w->state().setNameFields(onlyTitle(), QString());
        for (int row = 1; row <= 3; ++row)
            scene.mark(row);
        scene.probe.failingCopy = 1;
        BoxWatch watch;

        const QStringList texts = scene.exportNow();
        QCOMPARE(texts.size(), 1);
        QVERIFY2(texts[0].startsWith(QString("Run-time error '%1':").arg(ENOSPC)),
                 qPrintable(texts[0]));
        QVERIFY(texts[0].contains(scene.exportDir + "T2.mp3"));
        QCOMPARE(watch.pointers, QList<int>{-1});
        QCOMPARE(pointer(), -1);
        QCOMPARE(scene.probe.progress,
                 (QStringList{" Exporting file 1 of 3 (T1)", " Exporting file 2 of 3 (T2)"}));
        QCOMPARE(scene.w->LblStatusExport->text(), QString());
        QCOMPARE(scene.exported(), QStringList{"T1.mp3"});
        QCOMPARE(scene.exportedBytes("T1.mp3"), Scene::contents(1, 3000));

        // The window is still there and the next run goes through.
        QVERIFY(scene.w->isVisible());
        QVERIFY(scene.w->BtnExport->isEnabled());
        QCOMPARE(scene.exportNow(), QStringList{"Files exported successfully"});
        QCOMPARE(scene.exported(), (QStringList{"T1.mp3", "T2.mp3", "T3.mp3"}));
    }
};

SONDREL_TEST_MAIN(TestExport)
#include "test_export.moc"
