#include "frmmain.h"
#include "itunesdbbuilder.h"
#include "mainwindowscene.h"
#include "modalanswerer.h"
#include "platformerror.h"
#include "soundfilecheck.h"
#include "testfiles.h"
#include "testmain.h"
#include "trackgrid.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <cerrno>

using namespace sondrel;
using namespace sondrel::test;

Q_DECLARE_METATYPE(sondrel::test::TestDatabase)

namespace {

const char *const NotThePlayer = "This is not the iPod drive. Select the right one.";
const char *const CouldNotRead = "Sondrel couldn't read the iPod database...";

// What can go wrong in the operating system during a check.
enum class CheckFault {
    None,
    ReadOnlyExportDirectory, // every write into the export directory is refused
    DiskFullWritingHex,      // the hex file fills the disk after a few bytes
    DeleteRefused,           // the work files cannot be deleted
};

std::vector<Fault> faultsOf(CheckFault fault, const std::string &exportDir)
{
    switch (fault) {
    case CheckFault::None:
        return {};
    case CheckFault::ReadOnlyExportDirectory: {
        std::vector<Fault> faults;
        for (FsOp op : {FsOp::DeleteFile, FsOp::CreateFile, FsOp::ReplaceFile})
            faults.push_back({op, EROFS, 0, exportDir, 0});
        return faults;
    }
    case CheckFault::DiskFullWritingHex:
        return {{FsOp::Write, ENOSPC, 0, "", 100}};
    case CheckFault::DeleteRefused:
        return {{FsOp::DeleteFile, EBUSY, 0, "", 0}};
    }
    return {};
}

QStringList gridRow(const TrackGrid *grid, int row)
{
    QStringList cells;
    for (int c = 2; c <= 10; ++c)
        cells << grid->TextMatrix(row, c);
    return cells;
}

// Records each caption of the status label as it is painted, and each message box as it
// shows, with the work files' sizes at that moment (-1 for a missing file).
class CaptionWatcher : public QObject
{
public:
    struct Seen
    {
        QString caption;
        qint64 copySize;
        qint64 hexSize;
    };

    CaptionWatcher(QLabel *label, const MainWindowScene &scene, QString copyName = "Vemo_temp")
        : m_label(label), m_scene(scene), m_copy(std::move(copyName))
    {
        qApp->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const auto size = [&](const QString &name) {
            const QFileInfo info(QDir(m_scene.exportPath()).filePath(name));
            return info.exists() ? info.size() : qint64(-1);
        };
        const QString hex = m_copy + "_hex.txt";
        if (watched == m_label && event->type() == QEvent::Paint) {
            const QString caption = m_label->text();
            if (seen.isEmpty() || seen.last().caption != caption)
                seen.push_back({caption, size(m_copy), size(hex)});
        } else if (auto *box = qobject_cast<QMessageBox *>(watched);
                   box && event->type() == QEvent::Show) {
            messages.push_back({box->text(), size(m_copy), size(hex)});
        }
        return false;
    }

    QStringList captions() const
    {
        QStringList out;
        for (const Seen &s : seen)
            out << s.caption;
        return out;
    }

    QList<Seen> seen;
    QList<Seen> messages;

private:
    QLabel *m_label;
    const MainWindowScene &m_scene;
    QString m_copy; // the staged copy's name; the hex file's is that and "_hex.txt"
};

TestTrack song(const QString &title, qint32 size, qint32 duration)
{
    return TestTrack::make(title, title + " artist", title + " album", "Rock",
                           ":iPod_Control:Music:F00:" + title + ".mp3", "MPEG audio file")
        .withComment(title + " comment")
        .withSize(size)
        .withDuration(duration);
}

// The window state right after ResetTrackList.
void verifyReset(const FrmMain &window)
{
    QCOMPARE(window.MSFlexGridSoundList->Rows(), 1);
    QVERIFY(window.LblStatusiPod->isHidden());
    QCOMPARE(window.LblSelFilesNum->text(), " 0 file(s) selected");
    QCOMPARE(window.LblSelFilesSize->text(), " 0 Kb = 0 Mb = 0 Gb");
    QCOMPARE(window.LblSelFilesDur->text(), " 00:00:00 hh:mm:ss");
    QCOMPARE(window.LblSelFilesNumI->text(), "0");
    QVERIFY(!window.BtnSelSound->isEnabled());
    QVERIFY(!window.BtnExport->isEnabled());
    QVERIFY(!QApplication::overrideCursor());
}

// Leaves rows, a mark and totals from an earlier read in the window.
void dirtyTheWindow(FrmMain &window)
{
    window.MSFlexGridSoundList->setRows(4);
    window.MSFlexGridSoundList->setTextMatrix(2, 1, "X");
    window.LblStatusiPod->show();
    window.LblSelFilesNumI->setText("3");
    window.LblSelFilesNum->setText(" 3 file(s) selected");
    window.LblSelFilesSize->setText(" 9 Kb = 0 Mb = 0 Gb");
    window.LblSelFilesDur->setText(" 00:01:00 hh:mm:ss");
    window.BtnSelSound->setEnabled(true);
    window.BtnExport->setEnabled(true);
}

} // namespace

class TestCheckForSoundFiles : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { ModalAnswerer::closeLeftovers(); }

    // Grid cells of a track: ID, texts, "hh:mm:ss" or "N.A.", Kb in the "Standard" form.
    void cellTexts_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("duration");
        QTest::addColumn<QString>("sizeText");
        QTest::addColumn<QString>("durationText");
        QTest::newRow("zero") << 0 << 0 << "0.00"
                              << "00:00:00";
        QTest::newRow("fractions of a second dropped") << 1536 << 215999 << "1.50"
                                                       << "00:03:35";
        QTest::newRow("one hour, one megabyte") << 1048576 << 3600000 << "1,024.00"
                                                << "01:00:00";
        QTest::newRow("a tie goes to the even digit") << 128 << 59999 << "0.12"
                                                      << "00:00:59";
        QTest::newRow("negative duration") << 1024 << -1 << "1.00"
                                           << "N.A.";
        QTest::newRow("most negative duration") << 2147483647 << int(0x80000000) << "2,097,152.00"
                                                << "N.A.";
        // The size is unsigned: a file of 4 GB - 2 KB never shows as a negative size.
        QTest::newRow("size above 2 GB") << -2048 << 1000 << "4,194,302.00"
                                         << "00:00:01";
        QTest::newRow("hours above 99") << 1 << 360000000 << "0.00"
                                        << "100:00:00";
    }

    void cellTexts()
    {
        QFETCH(int, size);
        QFETCH(int, duration);
        TestDatabase db;
        db.tracks << song("A", size, duration);

        MainWindowScene bench;
        QVERIFY(writePlayer(bench.playerPath(), db));
        FrmMain &window = bench.window();
        QCOMPARE(bench.check().size(), 1);
        const QStringList expected{"1",         "A", "A artist", "A album",        "Rock",
                                   "A comment", "",  "",         "MPEG audio file"};
        QStringList row = gridRow(window.MSFlexGridSoundList, 1);
        QTEST(row[6], "durationText");
        QTEST(row[7], "sizeText");
        row[6].clear();
        row[7].clear();
        QCOMPARE(row, expected);
        QTEST(durationCell(duration), "durationText");
        QTEST(sizeCell(std::uint32_t(size)), "sizeText");
    }

    // The columns after "File Type": track, disc, year (plain, empty when not set), album
    // artist, composer. They sort as numbers, empty cells first, and the grid opens
    // unscrolled with them to the right.
    void laterColumns()
    {
        MainWindowScene bench;
        TestDatabase db;
        const QList<QList<int>> numbers{{10, 1, 2001}, {9, 0, 1999}, {0, 2, 0}, {2, 1, 2001}};
        for (int i = 0; i < numbers.size(); ++i) {
            TestTrack t = song(QString("S%1").arg(i), 1000, 1000);
            t.trackNumber = numbers[i][0];
            t.discNumber = numbers[i][1];
            t.year = numbers[i][2];
            if (i % 2 == 0)
                t.withString(StringAlbumArtist, "Various");
            t.withString(StringComposer, QString("C%1").arg(i));
            db.tracks << t;
        }
        QVERIFY(bench.load(db));
        FrmMain &window = bench.window();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        TrackGrid *grid = window.MSFlexGridSoundList;
        QCOMPARE(bench.column(11), (QStringList{"10", "9", "", "2"}));
        QCOMPARE(bench.column(12), (QStringList{"1", "", "2", "1"}));
        QCOMPARE(bench.column(13), (QStringList{"2001", "1999", "", "2001"}));
        QCOMPARE(bench.column(14), (QStringList{"Various", "", "Various", ""}));
        QCOMPARE(bench.column(15), (QStringList{"C0", "C1", "C2", "C3"}));
        QCOMPARE(grid->Col(), 10);
        QCOMPARE(grid->horizontalScrollBar()->value(), 0);
        QVERIFY(grid->horizontalScrollBar()->maximum() > 0);

        grid->scrollTo(grid->model()->index(0, 10));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, bench.cellCentre(1, 11));
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, bench.cellCentre(1, 11));
        QCOMPARE(bench.column(11), (QStringList{"", "2", "9", "10"}));
        QCOMPARE(bench.column(3), (QStringList{"S2", "S3", "S1", "S0"}));
    }

    // The history columns after "Composer", with the player's Play Counts merged: stars,
    // plays, skips, last played and date added, empty when not set; each sorts by its
    // value, empty first.
    void historyColumns()
    {
        MainWindowScene bench;
        TestDatabase db;
        for (int i = 0; i < 3; ++i)
            db.tracks << song(QString("S%1").arg(i), 1000, 1000);
        db.tracks[0].rating = 100;
        db.tracks[0].playCount = 4;
        db.tracks[0].dateAdded = 3'787'362'739u; // 2024-01-06 05:12:19
        db.tracks[1].skipCount = 2;
        db.tracks[1].lastPlayed = 3'029'529'540u; // 1999-12-31 23:59
        db.tracks[2].dateAdded = 3'029'529'540u;
        QVERIFY(
            writePlayerFile(bench.playerPath(), "iPod_Control/iTunes/Play Counts",
                            buildPlayCounts({{1, 0, 0, 1, 0}, {0, 0, 60, 0, 0}, {0, 0, 0, 0, 0}})));
        QVERIFY(bench.load(db));
        QCOMPARE(bench.column(16), (QStringList{"★★★★★", "★★★", ""}));
        QCOMPARE(bench.column(17), (QStringList{"5", "", ""}));
        QCOMPARE(bench.column(18), (QStringList{"1", "2", ""}));
        QCOMPARE(bench.column(19), (QStringList{"", "1999-12-31 23:59", ""}));
        QCOMPARE(bench.column(20), (QStringList{"2024-01-06 05:12", "", "1999-12-31 23:59"}));

        TrackGrid *grid = bench.grid();
        grid->scrollTo(grid->model()->index(0, 19));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, bench.cellCentre(1, 20));
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, bench.cellCentre(1, 20));
        QCOMPARE(bench.column(3), (QStringList{"S1", "S2", "S0"}));
    }

    // The playlists of the player come with its tracks; damaged ones are dropped without
    // a word and the tracks are listed all the same.
    void readsPlaylistsWithTheTracks()
    {
        MainWindowScene bench;
        TestDatabase db;
        db.dataSets = TestDatabase::modernOrder();
        db.tracks << song("One", 1, 1) << song("Two", 2, 2);
        TestPlaylist road;
        road.title = "Road";
        road.items = {101, 100};
        db.playlists << db.masterPlaylist() << road;
        QVERIFY(bench.load(db));
        QCOMPARE(bench->trackTable().playlists(), (std::vector<Playlist>{{"Road", {2, 1}}}));

        TestLayout at;
        QByteArray damaged = buildDatabase(db, &at);
        putLe32(damaged, at.playlists[1] + 16, 5); // more items than it holds
        QVERIFY(writePlayer(bench.playerPath(), damaged));
        QVERIFY(bench.check().value(0).startsWith("Updated in "));
        QCOMPARE(bench->MSFlexGridSoundList->Rows(), 3);
        QVERIFY(bench->trackTable().playlists().empty());
    }

    // After the fill, row j holds track j and the current cell is on row n, column 10.
    void fillsTheGrid()
    {
        MainWindowScene bench;
        TestDatabase db;
        db.dataSets = TestDatabase::modernOrder();
        db.tracks << song("One", 1000, 61000) << song("Two", 2000, 62000)
                  << song("Three", 3000, 63000);
        TestTrack bare; // no strings at all: empty text cells, numbers filled
        bare.withSize(4096).withDuration(1000);
        db.tracks << bare;
        QVERIFY(writePlayer(bench.playerPath(), db));

        FrmMain &window = bench.window();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        dirtyTheWindow(window);

        const QStringList messages = bench.check();
        QCOMPARE(messages.size(), 1);
        QVERIFY2(QRegularExpression("^Updated in \\d+(\\.\\d\\d?)? seconds$")
                     .match(messages[0])
                     .hasMatch(),
                 qPrintable(messages[0]));

        const TrackGrid *grid = window.MSFlexGridSoundList;
        QCOMPARE(grid->Rows(), 5);
        QCOMPARE(gridRow(grid, 1),
                 (QStringList{"1", "One", "One artist", "One album", "Rock", "One comment",
                              "00:01:01", "0.98", "MPEG audio file"}));
        QCOMPARE(gridRow(grid, 2),
                 (QStringList{"2", "Two", "Two artist", "Two album", "Rock", "Two comment",
                              "00:01:02", "1.95", "MPEG audio file"}));
        QCOMPARE(gridRow(grid, 3).first(), "3");
        QCOMPARE(gridRow(grid, 4), (QStringList{"4", "", "", "", "", "", "00:00:01", "4.00", ""}));
        for (int j = 1; j <= 4; ++j)
            QCOMPARE(grid->TextMatrix(j, 1), QString()); // nothing marked
        QCOMPARE(grid->Row(), 4);
        QCOMPARE(grid->Col(), 10);

        QVERIFY(window.LblStatusiPod->isVisible());
        QCOMPARE(window.LblStatusiPod->text(), "4 files in your iPod");
        QCOMPARE(window.LblSelFilesNum->text(), " 0 file(s) selected");
        QCOMPARE(window.LblSelFilesNumI->text(), "0");
        QVERIFY(window.BtnSelSound->isEnabled());
        QVERIFY(window.BtnExport->isEnabled());
        QVERIFY(!QApplication::overrideCursor());
        QCOMPARE(bench.exportFiles(), QStringList());
        QCOMPARE(window.trackTable().count(), 4);
        QCOMPARE(window.trackTable().text(2, FieldLocation), ":iPod_Control:Music:F00:Two.mp3");
    }

    // While the action runs, the export directory holds the copy and the hex file, written
    // beside the walk: complete (the database's size, and twice that) by the time the grid
    // is filled. The last progress caption is the full one. A name that is taken (the
    // user's own "Vemo_temp", a link at "Vemo_temp_hex.txt") is left as it is: the work
    // files take the next free pair, and only they are gone afterwards.
    void workFilesDuringTheAction_data()
    {
        QTest::addColumn<bool>("taken");
        QTest::newRow("names free") << false;
        QTest::newRow("the user's file and a link at the names") << true;
    }

    void workFilesDuringTheAction()
    {
        QFETCH(bool, taken);
        MainWindowScene bench;
        TestDatabase db;
        for (int i = 1; i <= 300; ++i)
            db.tracks << song(QString("T%1").arg(i), i, i);
        const qint64 dbSize = buildDatabase(db).size();
        QVERIFY(writePlayer(bench.playerPath(), db));
        QTemporaryDir outside;
        const QString target = outside.filePath("target");
        QStringList left;
        if (taken) {
            const QByteArray own(3 * dbSize, 'z');
            QVERIFY(writePlayerFile(bench.exportPath(), "Vemo_temp", own));
            QVERIFY(writePlayerFile(outside.path(), "target", "not Sondrel's"));
            QVERIFY(QFile::link(target, QDir(bench.exportPath()).filePath("Vemo_temp_hex.txt")));
            left = QStringList{"Vemo_temp", "Vemo_temp_hex.txt"};
        }

        FrmMain &window = bench.window();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        CaptionWatcher watcher(window.LblStatusiPod, bench, taken ? "Vemo_temp (2)" : "Vemo_temp");
        QCOMPARE(bench.check().size(), 1);

        // " Updating...", the progress (at least the first and the last), " Updating
        // grid...", then the count, painted while the completion message is up.
        const QStringList captions = watcher.captions();
        const qsizetype grid = captions.indexOf(" Updating grid...");
        QVERIFY2(grid >= 3 && grid == captions.size() - 2, qPrintable(captions.join(" / ")));
        QCOMPARE(captions.first(), " Updating...");
        QCOMPARE(captions[1], " Updating files information (1 of 300)");
        QCOMPARE(captions[grid - 1], " Updating files information (300 of 300)");
        QCOMPARE(captions.last(), "300 files in your iPod");
        QCOMPARE(watcher.seen.first().copySize, qint64(-1));
        for (qsizetype i = 1; i < grid; ++i) { // the old hex file is replaced from the start
            QVERIFY(watcher.seen[i].copySize >= 0 && watcher.seen[i].copySize <= dbSize);
            QVERIFY(watcher.seen[i].hexSize >= 0 && watcher.seen[i].hexSize <= 2 * dbSize);
        }
        QCOMPARE(watcher.seen[grid].copySize, dbSize);
        QCOMPARE(watcher.seen[grid].hexSize, 2 * dbSize);
        QCOMPARE(watcher.seen.last().copySize, qint64(-1));
        QCOMPARE(watcher.seen.last().hexSize, qint64(-1));
        QCOMPARE(window.LblStatusiPod->text(), "300 files in your iPod");
        QCOMPARE(bench.exportFiles(), left);
        if (taken) {
            QCOMPARE(readAll(QDir(bench.exportPath()).filePath("Vemo_temp")),
                     QByteArray(3 * dbSize, 'z'));
            QCOMPARE(readAll(target), QByteArray("not Sondrel's"));
        }
    }

    // A wrong tag or damaged record anywhere: the message, both work files gone, the
    // grid back to its header row.
    void abandonsOnDamage_data()
    {
        QTest::addColumn<QByteArray>("data");

        TestDatabase db;
        db.tracks << song("One", 1, 1) << song("Two", 2, 2);
        TestLayout at;
        const QByteArray good = buildDatabase(db, &at);
        const auto tagged = [&](int offset, const char *tag) {
            QByteArray d = good;
            d.replace(offset, 4, tag);
            return d;
        };
        const auto patched = [&](int offset, qint32 value) {
            QByteArray d = good;
            putLe32(d, offset, value);
            return d;
        };
        QTest::newRow("database header") << tagged(0, "mhbx");
        QTest::newRow("data set") << tagged(at.trackListDataSet, "mhsx");
        QTest::newRow("no track list") << tagged(at.trackList, "mhlx");
        QTest::newRow("track") << tagged(at.tracks[1], "mhix");
        QTest::newRow("string child") << tagged(at.children[1][2], "mhox");
        QTest::newRow("more tracks than present") << patched(at.trackList + 8, 3);
        QTest::newRow("hostile track count") << patched(at.trackList + 8, 0x7FFFFFFF);
        QTest::newRow("string past its child") << patched(at.children[0][0] + 28, 5000);
        QTest::newRow("negative length") << patched(at.tracks[0] + 8, -1);
        QTest::newRow("3 bytes") << QByteArray("\x00\x0A\xFF", 3);
        QTest::newRow("empty file") << QByteArray();
    }

    void abandonsOnDamage()
    {
        QFETCH(QByteArray, data);
        MainWindowScene bench;
        QVERIFY(writePlayer(bench.playerPath(), data));
        FrmMain &window = bench.window();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        dirtyTheWindow(window);

        const QStringList messages = bench.check();
        QCOMPARE(messages, QStringList{CouldNotRead});
        verifyReset(window);
        QCOMPARE(bench.exportFiles(), QStringList());
    }

    // The work files exist until the abandon: the progress shown before the failing
    // track saw both of them, and they are complete when the message shows.
    void workFilesExistUntilTheAbandon()
    {
        MainWindowScene bench;
        TestDatabase db;
        db.tracks << song("One", 1, 1) << song("Two", 2, 2);
        TestLayout at;
        QByteArray data = buildDatabase(db, &at);
        data.replace(at.tracks[1], 4, "xxxx");
        QVERIFY(writePlayer(bench.playerPath(), data));
        FrmMain &window = bench.window();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        CaptionWatcher watcher(window.LblStatusiPod, bench);

        QCOMPARE(bench.check(), QStringList{CouldNotRead});
        QCOMPARE(watcher.captions().last(), " Updating files information (2 of 2)");
        QVERIFY(watcher.seen.last().copySize >= 0 && watcher.seen.last().hexSize >= 0);
        QCOMPARE(watcher.messages.size(), 1);
        QCOMPARE(watcher.messages[0].copySize, qint64(data.size()));
        QCOMPARE(watcher.messages[0].hexSize, 2 * qint64(data.size()));
        QCOMPARE(bench.exportFiles(), QStringList());
        verifyReset(window);
    }

    void databaseMissing()
    {
        MainWindowScene bench; // an empty player folder
        FrmMain &window = bench.window();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        dirtyTheWindow(window);
        CaptionWatcher watcher(window.LblStatusiPod, bench);

        QCOMPARE(bench.check(), QStringList{NotThePlayer});
        verifyReset(window);
        QCOMPARE(bench.exportFiles(), QStringList());
        QVERIFY(watcher.captions().isEmpty()); // the label never showed
    }

    // A database that is slow to read: the window goes on painting, a progress window with
    // Cancel comes after a second, and Cancel leaves the track list empty and no work file.
    void cancelWhileTheDatabaseIsRead_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("cancelled") << true;
        QTest::newRow("waited for") << false;
    }

    void cancelWhileTheDatabaseIsRead()
    {
        QFETCH(bool, cancel);
        MainWindowScene bench;
        TestDatabase db;
        for (int i = 1; i <= 20; ++i)
            db.tracks << song(QString("T%1").arg(i), i, i);
        QVERIFY(writePlayer(bench.playerPath(), db));
        FrmMain &window = bench.window();
        std::atomic<bool> held{true};
        bench.faults->probe = [&](FsOp op, const std::string &path) {
            if (op == FsOp::ReadFile && path.find("iTunesDB") != std::string::npos) {
                while (held.load())
                    QThread::msleep(5);
            }
        };
        QElapsedTimer clock;
        clock.start();
        bool shownAfterASecond = false;
        int painted = 0;
        QTimer look;
        QObject::connect(&look, &QTimer::timeout, [&] {
            ++painted; // this thread's events go on while the database is read
            auto *dialog = window.findChild<QProgressDialog *>("FrmCheckProgress");
            if (!held.load() || !dialog || !dialog->isVisible())
                return;
            shownAfterASecond = clock.elapsed() >= 990;
            if (cancel)
                QTest::mouseClick(dialog->findChild<QPushButton *>("BtnCancel"), Qt::LeftButton);
            held = false;
        });
        look.start(20);
        const QStringList said = bench.check();
        bench.faults->probe = {};
        QVERIFY(shownAfterASecond);
        QVERIFY(painted > 20);
        if (!cancel) {
            QCOMPARE(said.size(), 1);
            QCOMPARE(window.LblStatusiPod->text(), "20 files in your iPod");
            return;
        }
        QCOMPARE(said, QStringList{});
        verifyReset(window);
        QCOMPARE(window.trackTable().count(), 0);
        QCOMPARE(bench.exportFiles(), QStringList());
    }

    // An empty player completes: header row only, "0 files in your iPod".
    void emptyPlayer()
    {
        MainWindowScene bench;
        TestDatabase db;
        db.dataSets = TestDatabase::modernOrder();
        QVERIFY(writePlayer(bench.playerPath(), db));
        FrmMain &window = bench.window();
        dirtyTheWindow(window);

        const QStringList messages = bench.check();
        QCOMPARE(messages.size(), 1);
        QVERIFY(messages[0].startsWith("Updated in "));
        QCOMPARE(window.MSFlexGridSoundList->Rows(), 1);
        QCOMPARE(window.LblStatusiPod->text(), "0 files in your iPod");
        QCOMPARE(window.trackTable().count(), 0);
        QCOMPARE(bench.exportFiles(), QStringList());
        QVERIFY(!QApplication::overrideCursor());

        // "(Un)Select file" then finds nothing to mark: grid and totals stay as they are.
        QVERIFY(window.BtnSelSound->isEnabled());
        QTest::mouseClick(window.BtnSelSound, Qt::LeftButton);
        QCOMPARE(window.MSFlexGridSoundList->Rows(), 1);
        QCOMPARE(window.MSFlexGridSoundList->TextMatrix(0, 1), "X");
        QCOMPARE(bench.totals(), (QStringList{"0", "0", "0", " 0 file(s) selected",
                                              " 0 Kb = 0 Mb = 0 Gb", " 00:00:00 hh:mm:ss"}));
    }

    // Two checks in a row give the same grid; a check after a track was added renumbers.
    void checkingAgain()
    {
        MainWindowScene bench;
        TestDatabase db;
        db.tracks << song("One", 1, 1) << song("Two", 2, 2);
        QVERIFY(writePlayer(bench.playerPath(), db));
        FrmMain &window = bench.window();
        bench.check();
        const QStringList first = gridRow(window.MSFlexGridSoundList, 2);
        bench.check();
        QCOMPARE(window.MSFlexGridSoundList->Rows(), 3);
        QCOMPARE(gridRow(window.MSFlexGridSoundList, 2), first);

        db.tracks.prepend(song("Zero", 0, 0));
        QVERIFY(writePlayer(bench.playerPath(), db));
        bench.check();
        QCOMPARE(window.MSFlexGridSoundList->Rows(), 4);
        QCOMPARE(gridRow(window.MSFlexGridSoundList, 1).mid(0, 2), (QStringList{"1", "Zero"}));
        QCOMPARE(gridRow(window.MSFlexGridSoundList, 3).mid(0, 2), (QStringList{"3", "Two"}));
    }

    // A newer player formatted on another system: the database compressed in "iTunesCDB"
    // beside an outdated "iTunesDB", the names in upper case.
    void readsANewerPlayer()
    {
        TestDatabase db;
        db.dataSets = TestDatabase::modernOrder();
        for (int i = 1; i <= 120; ++i)
            db.tracks << song(QString("T%1").arg(i), i * 1000, i * 1000);
        TestDatabase outdated;
        outdated.tracks << song("Old", 1, 1);
        MainWindowScene bench;
        QVERIFY(writePlayerFile(bench.playerPath(), "IPOD_CONTROL/ITUNES/ITUNESDB",
                                buildDatabase(outdated)));
        QVERIFY(writePlayerFile(bench.playerPath(), "IPOD_CONTROL/ITUNES/ITUNESCDB",
                                compressDatabase(buildDatabase(db))));
        const QStringList messages = bench.check();
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages[0].startsWith("Updated in "), qPrintable(messages[0]));
        QCOMPARE(bench.grid()->Rows(), 121);
        QCOMPARE(gridRow(bench.grid(), 120).mid(0, 2), (QStringList{"120", "T120"}));
        QCOMPARE(bench.exportFiles(), QStringList());
    }

    // A compressed database that cannot be inflated: the message, no work file left (not
    // even one of those names from before), the program ready for the next check.
    void unreadableCompressedDatabase_data()
    {
        QTest::addColumn<QByteArray>("data");
        TestDatabase db;
        db.tracks << song("One", 1, 1) << song("Two", 2, 2);
        const QByteArray cdb = compressDatabase(buildDatabase(db));
        QTest::newRow("stream cut short") << cdb.left(cdb.size() - 12);
        QTest::newRow("zip bomb") << compressDatabase(
            buildDatabase(db).left(0x68) + "mhsd" + QByteArray(8 << 20, '\0'), 9);
    }

    void unreadableCompressedDatabase()
    {
        QFETCH(QByteArray, data);
        MainWindowScene bench;
        QVERIFY(writePlayerFile(bench.playerPath(), "iPod_Control/iTunes/iTunesCDB", data));
        for (const char *name : {"Vemo_temp", "Vemo_temp_hex.txt"})
            QVERIFY(writePlayerFile(bench.exportPath(), name, "from an earlier run"));
        FrmMain &window = bench.window();
        dirtyTheWindow(window);

        QCOMPARE(bench.check(), QStringList{CouldNotRead});
        verifyReset(window);
        // Files of those names are not the check's: left as they were.
        QCOMPARE(bench.exportFiles(), (QStringList{"Vemo_temp", "Vemo_temp_hex.txt"}));
        QCOMPARE(readAll(QDir(bench.exportPath()).filePath("Vemo_temp")),
                 QByteArray("from an earlier run"));

        TestDatabase db;
        db.tracks << song("One", 1, 1);
        QVERIFY(writePlayerFile(bench.playerPath(), "iPod_Control/iTunes/iTunesCDB",
                                compressDatabase(buildDatabase(db))));
        QVERIFY(bench.check().value(0).startsWith("Updated in "));
        QCOMPARE(window.MSFlexGridSoundList->Rows(), 2);
    }

    // The database the player's desktop software wrote, as its README lists it.
    void readsTheSharedFixture()
    {
        const QByteArray folder = qgetenv("SONDREL_FIXTURES");
        QFile file(QString::fromLocal8Bit(folder) + "/iTunesDB-two-tracks-album-list-first");
        if (folder.isEmpty() || !file.open(QIODevice::ReadOnly))
            QSKIP("The shared fixtures are absent (set SONDREL_FIXTURES to their folder).");
        MainWindowScene bench;
        QVERIFY(writePlayer(bench.playerPath(), file.readAll()));
        FrmMain &window = bench.window();
        const QStringList messages = bench.check();
        QCOMPARE(messages.size(), 1);
        QVERIFY(messages[0].startsWith("Updated in "));

        const TrackGrid *grid = window.MSFlexGridSoundList;
        QCOMPARE(grid->Rows(), 3);
        QCOMPARE(gridRow(grid, 1),
                 (QStringList{"1", QString::fromUtf8("終わりへ向かう始まりの歌"), "supercell",
                              "Today Is A Beautiful Day", " ", " ", "00:02:09", "2,798.76",
                              QString::fromUtf8("AAC 音訊檔")}));
        QCOMPARE(gridRow(grid, 2),
                 (QStringList{"2", QString::fromUtf8("君の知らない物語"), "supercell",
                              "Today Is A Beautiful Day", " ", " ", "00:05:39", "9,376.03",
                              QString::fromUtf8("AAC 音訊檔")}));
        QCOMPARE(window.trackTable().text(1, FieldLocation), ":iPod_Control:Music:F01:IQZL.m4a");
        QCOMPARE(window.trackTable().text(2, FieldLocation), ":iPod_Control:Music:F01:RSEG.m4a");
        QCOMPARE(window.LblStatusiPod->text(), "2 files in your iPod");
    }

    // A failure of the operating system during the action: the run-time error report,
    // whichever work files exist removed, the track list reset, the program running.
    void platformFailures_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<bool>("removeExportDirectory");
        QTest::addColumn<int>("errorNumber");
        QTest::newRow("export directory missing") << int(CheckFault::None) << true << ENOENT;
        QTest::newRow("export directory read-only")
            << int(CheckFault::ReadOnlyExportDirectory) << false << EROFS;
        QTest::newRow("disk full while writing the hex file")
            << int(CheckFault::DiskFullWritingHex) << false << ENOSPC;
        QTest::newRow("work files cannot be deleted")
            << int(CheckFault::DeleteRefused) << false << EBUSY;
    }

    void platformFailures()
    {
        QFETCH(int, fault);
        QFETCH(bool, removeExportDirectory);
        QFETCH(int, errorNumber);
        MainWindowScene bench;
        TestDatabase db;
        db.tracks << song("One", 1, 1);
        QVERIFY(writePlayer(bench.playerPath(), db));
        if (removeExportDirectory)
            QVERIFY(QDir(bench.exportPath()).removeRecursively());
        bench.faults->faults = faultsOf(CheckFault(fault), bench.exportPath().toStdString());
        FrmMain &window = bench.window();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        dirtyTheWindow(window);

        const QStringList messages = bench.check();
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages[0].startsWith(QString("Run-time error '%1':").arg(errorNumber)),
                 qPrintable(messages[0]));
        verifyReset(window);
        if (CheckFault(fault) != CheckFault::DeleteRefused)
            QCOMPARE(bench.exportFiles(), QStringList());

        // The program keeps running: the same window checks again once the fault is gone.
        bench.faults->faults = faultsOf(CheckFault::None, bench.exportPath().toStdString());
        QDir().mkpath(bench.exportPath());
        const QStringList again = bench.check();
        QCOMPARE(again.size(), 1);
        QVERIFY(again[0].startsWith("Updated in "));
        QCOMPARE(window.MSFlexGridSoundList->Rows(), 2);
        // Work files that could not be deleted are files like any other to the next check:
        // it works beside them and leaves them.
        const QStringList left = CheckFault(fault) == CheckFault::DeleteRefused
                                     ? QStringList{"Vemo_temp", "Vemo_temp_hex.txt"}
                                     : QStringList();
        QCOMPARE(bench.exportFiles(), left);
    }

    // A folder whose permissions refuse writing (only meaningful for a normal user).
    void readOnlyFolderOnDisk()
    {
        MainWindowScene bench;
        TestDatabase db;
        db.tracks << song("One", 1, 1);
        QVERIFY(writePlayer(bench.playerPath(), db));
        QFile::setPermissions(bench.exportPath(), QFile::ReadOwner | QFile::ExeOwner);
        QFile probe(QDir(bench.exportPath()).filePath("probe"));
        if (probe.open(QIODevice::WriteOnly)) {
            probe.remove();
            QFile::setPermissions(bench.exportPath(),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            QSKIP("Running as a user whom folder permissions do not stop (root).");
        }
        FrmMain &window = bench.window();
        const QStringList messages = bench.check();
        QFile::setPermissions(bench.exportPath(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages[0].startsWith(QString("Run-time error '%1':").arg(EACCES)),
                 qPrintable(messages[0]));
        verifyReset(window);
        QCOMPARE(bench.exportFiles(), QStringList());
    }

    // The status captions of a large player fit the status label whole.
    void captionsFitTheLabel_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::newRow("progress") << " Updating files information (40000 of 40000)";
        QTest::newRow("grid") << " Updating grid...";
        QTest::newRow("count") << "40000 files in your iPod";
    }

    void captionsFitTheLabel()
    {
        QFETCH(QString, caption);
        MainWindowScene bench;
        FrmMain &window = bench.window();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QLabel *label = window.LblStatusiPod;
        QVERIFY2(label->fontMetrics().horizontalAdvance(caption) <= label->contentsRect().width(),
                 qPrintable(QString("%1 px in %2 px")
                                .arg(label->fontMetrics().horizontalAdvance(caption))
                                .arg(label->contentsRect().width())));
    }

    // Which progress captions are painted: the first, then one per interval, and the last.
    void progressPacing_data()
    {
        QTest::addColumn<QList<int>>("times"); // the clock at tracks 1..n
        QTest::addColumn<QList<int>>("shown"); // the tracks whose caption is painted
        QTest::newRow("one track") << QList<int>{0} << QList<int>{1};
        QTest::newRow("fast walk: first and last") << QList<int>{0, 1, 2, 3, 4} << QList<int>{1, 5};
        QTest::newRow("one per 50 ms")
            << QList<int>{0, 20, 50, 60, 99, 100, 101} << QList<int>{1, 3, 6, 7};
        QTest::newRow("slow walk: every track")
            << QList<int>{0, 50, 100, 150} << QList<int>{1, 2, 3, 4};
    }

    void progressPacing()
    {
        QFETCH(QList<int>, times);
        ProgressPacer pacer;
        QList<int> shown;
        const int n = int(times.size());
        for (int j = 1; j <= n; ++j)
            if (pacer.due(j, n, times[j - 1]))
                shown << j;
        QTEST(shown, "shown");
    }
};

SONDREL_TEST_MAIN(TestCheckForSoundFiles)
#include "test_checkforsoundfiles.moc"
