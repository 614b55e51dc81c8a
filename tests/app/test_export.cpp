// "Export selected file(s)" in the main window: the checks and their messages, the
// progress window and the status line while the copies run on their own thread, the
// locked buttons, Cancel, closing the window mid-run, the closing messages, the order
// after a sort with marked tracks the find box hides, and a failing export drive that
// ends the run but not the program.
#include "mainwindowscene.h"
#include "modalanswerer.h"
#include "testfiles.h"
#include "testmain.h"
#include "trackgrid.h"
#include "tracktables.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMutex>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QSemaphore>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <cerrno>
#include <functional>

using namespace sondrel;
using namespace sondrel::test;

namespace {

// The pointer's shape right now: -1 for the default pointer.
int pointer()
{
    const QCursor *cursor = QApplication::overrideCursor();
    return cursor ? int(cursor->shape()) : -1;
}

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

// Holds the copying thread before each of its copies until the window shows that copy's
// progress text, and then lets the test look at the window (on the window's thread).
class CopyGate : public QObject
{
public:
    using Look = std::function<void(int copy)>;

    CopyGate(MainWindowScene &scene, Look look) : m_scene(scene), m_look(std::move(look))
    {
        scene.faults->probe = [this](FsOp op, const std::string &path) {
            if (op != FsOp::SafeCopy)
                return;
            {
                QMutexLocker lock(&m_mutex);
                m_destinations << QString::fromStdString(path);
            }
            m_arrived.release();
            while (!m_go.tryAcquire(1, 5)) {
                if (m_open.load())
                    return;
            }
        };
        connect(&m_timer, &QTimer::timeout, this, &CopyGate::poll);
        m_timer.start(5);
    }
    ~CopyGate() override { m_scene.faults->probe = {}; }

    // From now on the copies go on without waiting.
    void open() { m_open.store(true); }

    QStringList destinations() const
    {
        QMutexLocker lock(&m_mutex);
        return m_destinations;
    }

private:
    void poll()
    {
        if (m_waiting == 0 && m_arrived.tryAcquire())
            m_waiting = ++m_copies;
        // The copy's progress text is queued to this thread before the copy starts.
        if (m_waiting > 0 && m_scene->LblStatusExport->text().startsWith(
                                 QString(" Exporting file %1 of").arg(m_waiting))) {
            if (m_look)
                m_look(m_waiting);
            m_waiting = 0;
            m_go.release();
        }
    }

    MainWindowScene &m_scene;
    Look m_look;
    QTimer m_timer;
    QSemaphore m_arrived;
    QSemaphore m_go;
    mutable QMutex m_mutex;
    QStringList m_destinations;
    int m_copies = 0;
    int m_waiting = 0;
    std::atomic<bool> m_open{false};
};

// How long after Cancel the test looks for the note on a read that does not return.
// SONDREL_WAIT_SHOWN_MS makes it longer, so that a screenshot can be taken meanwhile.
const int WaitShownMs = qEnvironmentVariableIsSet("SONDREL_WAIT_SHOWN_MS")
                            ? qEnvironmentVariableIntValue("SONDREL_WAIT_SHOWN_MS")
                            : 2300;

QProgressDialog *progressWindow(MainWindowScene &scene)
{
    return scene->findChild<QProgressDialog *>("FrmExportProgress");
}

TestDatabase tracksT(int n, int size = 3000)
{
    TestDatabase db;
    for (int k = 1; k <= n; ++k) {
        QByteArray bytes;
        while (bytes.size() < size)
            bytes += QString("sound %1 ").arg(k).toLatin1();
        bytes.truncate(size);
        db.tracks << TestTrack::make(QString("T%1").arg(k), "", "", "",
                                     QString(":iPod_Control:Music:F00:F%1.mp3").arg(k))
                         .withContents(bytes);
    }
    return db;
}

// The buttons a run locks, by name, with whether each is enabled.
QStringList lockable(MainWindowScene &scene)
{
    QStringList out;
    for (QPushButton *button :
         {scene->BtnChangeDfltDrive, scene->BtnChangeDfltDir, scene->BtnChangeExpName,
          scene->BtnUpdate, scene->BtnMarkShown, scene->BtnUnmarkShown, scene->BtnSelSound,
          scene->BtnExport, scene->BtnOpenDir, scene->BtnExit})
        out << button->objectName() + (button->isEnabled() ? "=on" : "=off");
    return out;
}

} // namespace

class TestExport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { ModalAnswerer::closeLeftovers(); }

    // Each check ends the run before any copy, with its message shown on the default
    // pointer (the wait pointer while the marks are counted).
    void checksAndTheirMessages_data()
    {
        QTest::addColumn<bool>("player");
        QTest::addColumn<bool>("marked");
        QTest::addColumn<qint64>("available"); // -1: what the disk has
        QTest::addColumn<QString>("text");     // "<drive>" stands for the export folder
        QTest::addColumn<int>("pointerAtMessage");

        QTest::newRow("player missing")
            << false << true << qint64(-1) << "The iPod is not connected." << -1;
        QTest::newRow("too little free space: the export drive named twice")
            << true << true << qint64(1024)
            << "You have less space available in <drive> than the total size of the files you "
               "want to export.\rPlease select less files.\rYour total available size in <drive> "
               "right now is (1.00 Kb = 0.00 Mb = 0.00 Gb)."
            << -1;
        QTest::newRow("nothing marked")
            << true << false << qint64(-1) << "No files were selected" << int(Qt::WaitCursor);
    }

    void checksAndTheirMessages()
    {
        QFETCH(bool, player);
        QFETCH(bool, marked);
        QFETCH(qint64, available);
        QFETCH(QString, text);
        QFETCH(int, pointerAtMessage);

        MainWindowScene scene;
        QVERIFY(scene.load(tracksT(3)));
        if (marked)
            scene.markRows(2, 2);
        if (!player)
            scene->state().setPlayerDrive(scene.playerPath() + "/gone/");
        if (available >= 0)
            scene.faults->availableSpace = std::uint64_t(available);
        const QStringList before = scene.totals();
        BoxWatch watch;
        // The export folder is a file system of its own in the scene.
        QCOMPARE(scene.exportMarked(), QStringList{text.replace("<drive>", scene.exportPath())});
        QCOMPARE(watch.pointers, QList<int>{pointerAtMessage});
        QCOMPARE(pointer(), -1);
        QVERIFY(scene->LblStatusExport->isHidden());
        QCOMPARE(scene.faults->calls[FsOp::SafeCopy], 0);
        QCOMPARE(scene.exportFiles(), QStringList{});
        QCOMPARE(scene.totals(), before);
    }

    // While the copies run: a window-modal progress window titled "Sondrel" with the
    // status text, a bar and "Cancel"; the status line shows the same text; the buttons
    // that change what is exported are locked, and come back afterwards.
    void theProgressWindowAndTheLockedButtons()
    {
        MainWindowScene scene;
        QVERIFY(scene.load(tracksT(8)));
        scene.markRows(2, 2);
        scene.markRows(7, 7);
        const QStringList totals = scene.totals();
        const QStringList marks = scene.column(1);
        const QStringList before = lockable(scene);

        QStringList seen;
        CopyGate gate(scene, [&](int copy) {
            QProgressDialog *dialog = progressWindow(scene);
            QVERIFY(dialog);
            seen << QString("%1|%2|%3|%4|%5|%6|%7")
                        .arg(copy)
                        .arg(dialog->isVisible())
                        .arg(dialog->windowTitle())
                        .arg(dialog->windowModality() == Qt::WindowModal)
                        .arg(dialog->labelText())
                        .arg(scene->LblStatusExport->text())
                        .arg(dialog->findChild<QPushButton *>("BtnCancel")->text());
            seen << lockable(scene).join(' ');
            seen << QString::number(pointer());
        });
        BoxWatch watch;
        QCOMPARE(scene.exportMarked(), QStringList{"Files exported successfully"});
        const QString locked = "BtnChangeDfltDrive=off BtnChangeDfltDir=off BtnChangeExpName=off "
                               "BtnUpdate=off BtnMarkShown=off BtnUnmarkShown=off BtnSelSound=off "
                               "BtnExport=off BtnOpenDir=on BtnExit=on";
        const QString busy = QString::number(int(Qt::BusyCursor));
        QCOMPARE(seen, (QStringList{"1|1|Sondrel|1| Exporting file 1 of 2 (T2)| Exporting file 1 "
                                    "of 2 (T2)|Cancel",
                                    locked, busy,
                                    "2|1|Sondrel|1| Exporting file 2 of 2 (T7)| Exporting file 2 "
                                    "of 2 (T7)|Cancel",
                                    locked, busy}));
        QCOMPARE(watch.pointers, QList<int>{Qt::WaitCursor});
        QCOMPARE(pointer(), -1);
        QVERIFY(!progressWindow(scene) || !progressWindow(scene)->isVisible());
        QVERIFY(scene->LblStatusExport->isVisible());
        QCOMPARE(scene->LblStatusExport->text(), QString());
        QCOMPARE(lockable(scene), before);
        QCOMPARE(scene.totals(), totals);
        QCOMPARE(scene.column(1), marks);
    }

    void theBarRunsOverTheBytes()
    {
        MainWindowScene scene;
        QVERIFY(scene.load(tracksT(2, 3 << 20)));
        scene.markRows(1, 2);
        QList<int> values;
        CopyGate gate(scene, [&](int) {
            QTest::qWait(120); // the bar is repainted every 50 ms
            const auto *bar = progressWindow(scene)->findChild<QProgressBar *>("BarExportProgress");
            values << bar->value() << bar->maximum();
        });
        QCOMPARE(scene.exportMarked(), QStringList{"Files exported successfully"});
        QCOMPARE(values, (QList<int>{0, 10000, 5000, 10000}));
    }

    // Every marked track is copied, those the find box hides too, in the order of the
    // whole list as it is sorted.
    void exportFollowsTheSortedList_data()
    {
        QTest::addColumn<QString>("findBeforeSort");
        QTest::addColumn<QString>("findAfterSort");
        QTest::newRow("after a sort") << ""
                                      << "";
        QTest::newRow("marked tracks hidden after the sort") << ""
                                                             << "t1";
        QTest::newRow("sorted while some are hidden") << "T1"
                                                      << "T1";
        QTest::newRow("sorted while some are hidden, all shown again") << "t1"
                                                                       << "";
    }

    void exportFollowsTheSortedList()
    {
        QFETCH(QString, findBeforeSort);
        QFETCH(QString, findAfterSort);
        MainWindowScene scene;
        QVERIFY(scene.load(tracksT(12)));
        scene->state().setNameFields(onlyTitleFields(), "Title");
        scene.markRows(2, 2);
        scene.markRows(10, 11);
        scene->TxtFind->setText(findBeforeSort);
        // Titles sort as text: T1, T10, T11, T12, T2, ...
        TrackGrid *grid = scene.grid();
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, scene.cellCentre(1, 3));
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, scene.cellCentre(1, 3));
        QCOMPARE(grid->TextMatrix(2, 3), QString("T10"));
        scene->TxtFind->setText(findAfterSort);
        QCOMPARE(scene.markedTitles().contains("T2"), findAfterSort.isEmpty());

        CopyGate gate(scene, {});
        QCOMPARE(scene.exportMarked(), QStringList{"Files exported successfully"});
        const QString to = scene.exportPath() + "/";
        QCOMPARE(gate.destinations(), (QStringList{to + "T10.mp3", to + "T11.mp3", to + "T2.mp3"}));
    }

    void theNameListIsReadAtEachRun()
    {
        MainWindowScene scene;
        QVERIFY(scene.load(tracksT(2)));
        scene.markRows(1, 1);
        QCOMPARE(scene.exportMarked(), QStringList{"File exported successfully"});
        scene->state().setNameFields(onlyTitleFields(), "Title");
        QCOMPARE(scene.exportMarked(), QStringList{"File exported successfully"});
        QCOMPARE(scene.exportFiles(), (QStringList{"T1.mp3", "__T1__1.mp3"}));
    }

    void aFailingExportDriveEndsTheRunNotTheProgram()
    {
        MainWindowScene scene;
        QVERIFY(scene.load(tracksT(4)));
        scene->state().setNameFields(onlyTitleFields(), "Title");
        scene.markRows(1, 3);
        scene.faults->faults.push_back({FsOp::SafeCopy, ENOSPC, 2, "", 1000});
        BoxWatch watch;

        const QStringList texts = scene.exportMarked();
        QCOMPARE(texts.size(), 1);
        QVERIFY2(texts[0].startsWith(QString("Run-time error '%1':").arg(ENOSPC)),
                 qPrintable(texts[0]));
        QVERIFY(texts[0].contains(scene.exportPath() + "/T2.mp3"));
        QCOMPARE(watch.pointers, QList<int>{-1});
        QCOMPARE(scene->LblStatusExport->text(), QString());
        QCOMPARE(scene.exportFiles(), QStringList{"T1.mp3"}); // no temporary file either

        // The window is still there and the next run copies what is missing.
        scene.faults->faults.clear();
        QVERIFY(scene->BtnExport->isEnabled());
        QCOMPARE(scene.exportMarked(), QStringList{"2 of 3 files exported; 1 were already there."});
        QCOMPARE(scene.exportFiles(), (QStringList{"T1.mp3", "T2.mp3", "T3.mp3"}));
    }

    // Cancel finishes nothing half: the copy under way is dropped with its temporary
    // file, an earlier file of its name stays, and the run says how far it came.
    void cancelMidRun()
    {
        MainWindowScene scene;
        QVERIFY(scene.load(tracksT(3)));
        scene->state().setNameFields(onlyTitleFields(), "Title");
        scene.markRows(1, 3);
        QFile earlier(scene.exportPath() + "/T2.mp3");
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write("exported before");
        earlier.close();
        const QStringList before = lockable(scene);
        CopyGate gate(scene, [&](int copy) {
            if (copy == 2)
                QTest::mouseClick(progressWindow(scene)->findChild<QPushButton *>("BtnCancel"),
                                  Qt::LeftButton);
        });
        QCOMPARE(scene.exportMarked(), QStringList{"Export cancelled: 1 of 3 files exported."});
        QCOMPARE(scene.exportFiles(), (QStringList{"T1.mp3", "T2.mp3"}));
        QCOMPARE(readAll(scene.exportPath() + "/T2.mp3"), QByteArray("exported before"));
        QCOMPARE(lockable(scene), before);
        QCOMPARE(pointer(), -1);
    }

    // A read that has not returned 2 s after Cancel: the progress window comes back with
    // what the run waits for, the window goes on painting, and the run ends with the read.
    void cancelWhileTheiPodDoesNotAnswer()
    {
        MainWindowScene scene;
        QVERIFY(scene.load(tracksT(2, 3 << 20)));
        scene->state().setNameFields(onlyTitleFields(), "Title");
        scene.markRows(1, 2);
        ReadGate gate;
        gate.hold();
        scene.faults->readFault = gate.fault();
        QElapsedTimer clock;
        int step = 0;
        QString before, waiting, status;
        bool visible = false;
        QTimer look;
        QObject::connect(&look, &QTimer::timeout, [&] {
            QProgressDialog *dialog = progressWindow(scene);
            if (step == 0 && gate.held() && dialog && dialog->isVisible()) {
                QTest::mouseClick(dialog->findChild<QPushButton *>("BtnCancel"), Qt::LeftButton);
                clock.start();
                step = 1;
            } else if (step == 1 && clock.elapsed() > 1000) {
                before = dialog->isVisible() ? dialog->labelText() : QString();
                step = 2;
            } else if (step == 2 && clock.elapsed() > WaitShownMs) {
                visible = dialog->isVisible();
                waiting = dialog->labelText();
                status = scene->LblStatusExport->text();
                gate.release();
                step = 3;
            }
        });
        look.start(10);
        QCOMPARE(scene.exportMarked(), QStringList{"Export cancelled: 0 of 2 files exported."});
        QCOMPARE(step, 3);
        QCOMPARE(before, QString()); // the progress window went at the click
        QVERIFY(visible);
        QCOMPARE(waiting, "Waiting for the iPod to answer...");
        QCOMPARE(status, "Waiting for the iPod to answer...");
        QCOMPARE(scene.exportFiles(), QStringList{});
        QVERIFY(!scene->exportRunning());
    }

    // Closing the main window during a run stops the run and waits for its end.
    void closingTheWindowStopsTheRun()
    {
        MainWindowScene scene;
        QVERIFY(scene.load(tracksT(3)));
        scene->state().setNameFields(onlyTitleFields(), "Title");
        scene.markRows(1, 3);
        bool closed = false;
        CopyGate *held = nullptr;
        CopyGate gate(scene, [&](int copy) {
            if (copy == 2) { // the copying thread goes on while the window closes
                held->open();
                closed = scene->close();
            }
        });
        held = &gate;
        QCOMPARE(scene.exportMarked(), QStringList{});
        QVERIFY(closed);
        QVERIFY(!scene->isVisible());
        QVERIFY(!scene->exportRunning());
        QVERIFY(!scene.exportFiles().contains("T3.mp3"));
        QVERIFY(scene.exportFiles().filter(".sondrel-").isEmpty());
        QCOMPARE(pointer(), -1);
    }
};

SONDREL_TEST_MAIN(TestExport)
#include "test_export.moc"
