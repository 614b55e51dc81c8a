// The main window's kept settings: the user's choices written as they are made and found
// again at the next start, start-up fallbacks never written over them, a damaged store
// read as defaults; and the window that grows.
#include "frmchgdir.h"
#include "frmchgexpname.h"
#include "keptsettings.h"
#include "keptwindow.h"
#include "mainwindowscene.h"
#include "modalanswerer.h"
#include "testfiles.h"
#include "testmain.h"
#include "trackgrid.h"

#include <QCheckBox>
#include <QDir>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

using namespace sondrel;
using namespace sondrel::test;

Q_DECLARE_METATYPE(std::optional<KeptWindow>)

namespace {

void pressOk(QWidget *dialog)
{
    QTest::mouseClick(dialog->findChild<QPushButton *>("BtnOK"), Qt::LeftButton);
}

// The export directory chosen in its dialog: opened at `folder`, confirmed with OK.
bool chooseExportDirectory(MainWindowScene &scene, const QString &folder)
{
    scene->state().setExportDirectory(folder);
    return onDialog<FrmChgDir>(scene->BtnChangeDfltDir, pressOk);
}

// The window's place and size as the settings file holds them.
std::optional<KeptWindow> keptPlace(const QString &file)
{
    KeptSettings kept(file);
    return readKeptWindow(keptWindowGroup(kept));
}

QList<int> sectionSizes(const TrackGrid *grid)
{
    QList<int> sizes;
    for (int s = 0; s < grid->horizontalHeader()->count(); ++s)
        sizes << grid->horizontalHeader()->sectionSize(s);
    return sizes;
}

} // namespace

class TestKeptWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { ModalAnswerer::closeLeftovers(); }

    // The export directory, the name fields and the options are written when the user
    // confirms them (not when a dialog is cancelled), and the next run starts with them.
    void choicesAreKeptForTheNextRun()
    {
        MainWindowScene scene;
        const QString chosen = scene.path("export/Chosen/");
        QVERIFY(QDir().mkpath(chosen));
        QVERIFY(chooseExportDirectory(scene, chosen));
        // On the disk at once, not only when the program ends.
        QVERIFY(readAll(scene.settingsFile()).contains("Chosen"));

        QVERIFY(onDialog<FrmChgExpName>(scene->BtnChangeExpName, [](FrmChgExpName *dialog) {
            dialog->ListFields->item(0)->setCheckState(Qt::Unchecked); // Genre
            QTest::mouseClick(dialog->ChkFolders, Qt::LeftButton);
            pressOk(dialog);
        }));
        QVERIFY(onDialog<FrmChgExpName>(scene->BtnChangeExpName, [](FrmChgExpName *dialog) {
            QTest::mouseClick(dialog->ChkPlaylists, Qt::LeftButton);
            QTest::mouseClick(dialog->BtnCancel, Qt::LeftButton);
        }));
        QVERIFY(readAll(scene.settingsFile()).contains("artistAlbumFolders=true"));
        QVERIFY(readAll(scene.settingsFile()).contains("writePlaylists=false"));

        scene.restart();
        QCOMPARE(scene->state().exportDirectory(), chosen);
        QCOMPARE(scene->TxtDfltDir->text(), chosen);
        QCOMPARE(scene->TxtExpName->text(), QString("AlbumArtist/Album/Artist_Title_Album_ID"));
        QCOMPARE(scene->state().exportOptions(), (ExportOptions{true, false}));
        NameFields fields = defaultNameFields();
        fields[0].chosen = false;
        QCOMPARE(scene->state().nameFields(), fields);
    }

    // A kept export directory that is gone (its drive unplugged) gives the start-up
    // default, and that fallback is not written over it: it is used again once back.
    void aFallbackIsNotWrittenOverTheKeptFolder()
    {
        MainWindowScene scene;
        const QString chosen = scene.path("export/OnTheStick/");
        QVERIFY(QDir().mkpath(chosen));
        QVERIFY(chooseExportDirectory(scene, chosen));
        QVERIFY(QDir(chosen).removeRecursively());

        scene.restart();
        const QString fallback = scene.exportPath() + '/'; // the last fixed drive
        QCOMPARE(scene->state().exportDirectory(), fallback);
        QVERIFY(scene.check().size() == 1); // the run goes on with the fallback
        scene->close();
        QCOMPARE(KeptSettings(scene.settingsFile()).exportDirectory(), chosen);

        QVERIFY(QDir().mkpath(chosen));
        scene.restart();
        QCOMPARE(scene->state().exportDirectory(), chosen);
    }

    // The kept place as the store holds it: read as far as it validates, never failing.
    void keptPlaceAsStored_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<std::optional<KeptWindow>>("window");

        const std::optional<KeptWindow> none;
        QTest::newRow("nothing kept") << QByteArray() << none;
        QTest::newRow("binary junk")
            << QByteArray("\x00\xff[\x01=\n\xfe\xfe=@Rect(\x00", 14) << none;
        QTest::newRow("a value of the wrong kind") << QByteArray("[window]\ngeometry=12\n") << none;
        QTest::newRow("a window of no area")
            << QByteArray("[window]\ngeometry=@Rect(10 10 0 500)\nmaximized=true\n") << none;
        QTest::newRow("a window beyond any screen's reach")
            << QByteArray("[window]\ngeometry=@Rect(10 10 2147483647 500)\n") << none;
        QTest::newRow("a window whose state does not validate")
            << QByteArray("[window]\ngeometry=@Rect(10 20 800 600)\nmaximized=sometimes\n")
            << std::optional<KeptWindow>(KeptWindow{QRect(10, 20, 800, 600), false});
    }

    void keptPlaceAsStored()
    {
        QFETCH(QByteArray, contents);
        QFETCH(std::optional<KeptWindow>, window);
        QTemporaryDir dir;
        const QString file = dir.filePath("Sondrel.conf");
        QVERIFY(writeAll(file, contents));
        QCOMPARE(keptPlace(file), window);
    }

    // What one run writes the next reads, under the keys the users' settings files hold.
    void keptPlaceReadsBackWhatWasWritten()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("Sondrel.conf");
        const KeptWindow window{QRect(-40, 20, 1200, 800), true};
        {
            KeptSettings kept(file);
            SettingsGroup group = keptWindowGroup(kept);
            writeKeptWindow(group, window);
            // On the disk at once, while the settings are still open.
            QVERIFY(readAll(file).contains(
                "[window]\ngeometry=@Rect(-40 20 1200 800)\nmaximized=true\n"));
        }
        QCOMPARE(keptPlace(file), std::optional<KeptWindow>(window));
    }

    // The window opens where and as large as it was left when that shows on a screen;
    // else at its designed place and size. A damaged store opens it as designed.
    void placeAndSize_data()
    {
        QTest::addColumn<QByteArray>("kept");
        QTest::addColumn<QRect>("expected"); // empty: the designed place and size
        QTest::addColumn<bool>("maximized");

        const QRect designed(11, 30, 775, 562);
        QTest::newRow("on the screen")
            << QByteArray("geometry=@Rect(5 8 780 570)") << QRect(5, 8, 780, 570) << false;
        QTest::newRow("off every screen")
            << QByteArray("geometry=@Rect(5000 3000 780 570)") << designed << false;
        QTest::newRow("smaller than the least size")
            << QByteArray("geometry=@Rect(5 8 300 200)") << QRect(5, 8, 775, 562) << false;
        QTest::newRow("larger than the screen: the screen's size")
            << QByteArray("geometry=@Rect(0 0 5000 5000)") << QRect() << false;
        QTest::newRow("maximised") << QByteArray("geometry=@Rect(5 8 780 570)\nmaximized=true")
                                   << QRect(5, 8, 780, 570) << true;
        QTest::newRow("damaged") << QByteArray("geometry=@Rect(5 8\x00\xff") << designed << false;
    }

    void placeAndSize()
    {
        QFETCH(QByteArray, kept);
        QFETCH(QRect, expected);
        QFETCH(bool, maximized);
        MainWindowScene scene;
        scene->close();
        QVERIFY(writeAll(scene.settingsFile(), "[window]\n" + kept + "\n"));
        scene.restart();
        QCOMPARE(scene->isMaximized(), maximized);
        const QRect shown = maximized ? scene->normalGeometry() : scene->geometry();
        if (expected.isEmpty()) // where the platform puts it, as large as the screen
            QCOMPARE(shown.size(), scene->screen()->availableGeometry().size());
        else
            QCOMPARE(shown, expected);
    }

    // Moving or sizing the window, once it has been placed, is kept; what start-up does
    // is not.
    void movesAreKept()
    {
        MainWindowScene scene;
        QVERIFY(QTest::qWaitForWindowExposed(&scene.window()));
        QTest::qWait(50);
        QVERIFY(!keptPlace(scene.settingsFile()));
        QTest::qWait(600); // placed
        scene->setGeometry(20, 40, 790, 580);
        QTRY_COMPARE(keptPlace(scene.settingsFile()),
                     std::optional<KeptWindow>(KeptWindow{QRect(20, 40, 790, 580), false}));
    }

    // A grown window gives the room to the track frame and grid, and the grid's width to
    // Title, Artist and Album; the buttons at the right stay at the right. A border the
    // user drags is kept, without the shares.
    void aGrownWindowAndDraggedColumns()
    {
        MainWindowScene scene;
        TrackGrid *grid = scene.grid();
        const QList<int> designed = sectionSizes(grid);
        const QRect gridAt = grid->geometry();
        const int exportFromRight =
            scene->width() - scene->BtnExport->mapTo(&scene.window(), QPoint(0, 0)).x();
        const int selFromRight = scene->width() - scene->BtnSelSound->x();
        const int selFromBottom = scene->height() - scene->BtnSelSound->y();

        scene->resize(scene->width() + 301, scene->height() + 100);
        QCOMPARE(grid->geometry(), gridAt.adjusted(0, 0, 301, 100));
        QList<int> grown = designed;
        grown[2] += 101; // Title
        grown[3] += 100; // Artist
        grown[4] += 100; // Album
        QCOMPARE(sectionSizes(grid), grown);
        QCOMPARE(scene->width() - scene->BtnExport->mapTo(&scene.window(), QPoint(0, 0)).x(),
                 exportFromRight);
        QCOMPARE(scene->width() - scene->BtnSelSound->x(), selFromRight);
        QCOMPARE(scene->height() - scene->BtnSelSound->y(), selFromBottom);
        QCOMPARE(scene->BtnChangeDfltDrive->pos(), QPoint(16, 16));

        // Title dragged 20 pixels narrower, Genre 30 wider.
        grid->horizontalHeader()->resizeSection(2, grown[2] - 20);
        grid->horizontalHeader()->resizeSection(5, grown[5] + 30);
        QList<int> kept = designed;
        kept[2] -= 20;
        kept[5] += 30;
        // Kept when the window closes, even right after the drag.
        scene.restart();
        QVERIFY(readAll(scene.settingsFile()).contains("columnWidths"));
        const std::vector<int> read = KeptSettings(scene.settingsFile()).columnWidths();
        QCOMPARE(QList<int>(read.begin(), read.end()), kept);
        QCOMPARE(sectionSizes(scene.grid()), kept);
    }
};

SONDREL_TEST_MAIN(TestKeptWindow)
#include "test_keptwindow.moc"
