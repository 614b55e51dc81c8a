#include "fakemachine.h"
#include "frmmain.h"
#include "itunesdbbuilder.h"
#include "testmain.h"
#include "trackgrid.h"
#include "wrapbutton.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace sondrel;

namespace {

QStringList gridRow(const TrackGrid *grid, int row)
{
    QStringList cells;
    for (int c = 0; c < grid->Cols(); ++c)
        cells << grid->TextMatrix(row, c);
    return cells;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void startUpPicksTheLastDrives_data()
    {
        QTest::addColumn<QStringList>("table");
        QTest::addColumn<QString>("drive");
        QTest::addColumn<QString>("dir");

        QTest::newRow("two fixed, two removable: the last of each")
            << QStringList{"/dev/sda1|/|ext4", "/dev/sda2|/data|ext4", "/dev/sdb1|/media/e|vfat",
                           "/dev/sdc1|/media/f|vfat"}
            << "/media/f/"
            << "/data/";
        QTest::newRow("no removable drive keeps the default player drive")
            << QStringList{"/dev/sda1|/|ext4", "/dev/sda2|/home|ext4"} << "/media/ipod/"
            << "/home/";
        QTest::newRow("no fixed drive keeps the default export directory")
            << QStringList{"/dev/sdb1|/media/ipod2|vfat", "tmpfs|/tmp|tmpfs"} << "/media/ipod2/"
            << "/";
        QTest::newRow("network and optical extras change nothing")
            << QStringList{"/dev/sda1|/|ext4", "server:/music|/mnt/music|nfs4",
                           "/dev/sr0|/media/cdrom|iso9660"}
            << "/media/ipod/"
            << "/";
        QTest::newRow("no drives at all") << QStringList{} << "/media/ipod/"
                                          << "/";
        QTest::newRow("a file mounted over another is no drive")
            << QStringList{"/dev/sda1|/|ext4", "/dev/sda2|/data|ext4", "/dev/sda1|/etc/passwd|ext4"}
            << "/media/ipod/"
            << "/data/";
    }

    void startUpPicksTheLastDrives()
    {
        QFETCH(QStringList, table);
        QFETCH(QString, drive);
        QFETCH(QString, dir);
        test::FakeMachine machine(table);
        FrmMain window(machine.services(), test::freshSettings());
        QCOMPARE(window.state().playerDrive(), drive);
        QCOMPARE(window.TxtDfltDrive->text(), drive);
        QCOMPARE(window.state().exportDirectory(), dir);
        QCOMPARE(window.TxtDfltDir->text(), dir);
    }

    // On a machine with a music folder and a player, the window starts on both: the
    // player's drive although a stick was plugged in after it.
    void startUpOnAUsersMachine()
    {
        QTemporaryDir dir;
        const QString home = dir.filePath("home/me");
        const QString player = dir.filePath("media/IPOD");
        const QString stick = dir.filePath("media/STICK");
        QVERIFY(QDir().mkpath(home + "/Music") && QDir().mkpath(stick));
        QVERIFY(test::writePlayerFile(player, "iPod_Control/iTunes/iTunesCDB", "mhbd"));
        test::FakeMachine machine({"/dev/sda1|/|ext4"});
        machine.blockDevice("sdb", true, {"sdb1"});
        machine.blockDevice("sdc", true, {"sdc1"});
        machine.mount("/dev/sdb1", player, "hfsplus");
        machine.mount("/dev/sdc1", stick, "vfat");
        machine.setUserFolders(home, home + "/Music");

        FrmMain window(machine.services(), test::freshSettings());
        QCOMPARE(window.state().exportDirectory(), home + "/Music/");
        QCOMPARE(window.TxtDfltDir->text(), home + "/Music/");
        QCOMPARE(window.state().playerDrive(), player + "/");
        QCOMPARE(window.TxtDfltDrive->text(), player + "/");
    }

    void startUpState()
    {
        test::FakeMachine machine({"/dev/sda1|/|ext4"});
        FrmMain window(machine.services(), test::freshSettings());

        TrackGrid *grid = window.findChild<TrackGrid *>("MSFlexGridSoundList");
        QVERIFY(grid);
        QCOMPARE(grid->Rows(), 1);
        QCOMPARE(grid->Cols(), 22);
        QCOMPARE(
            gridRow(grid, 0),
            (QStringList{"",      "X",           "ID",           "Title",     "Artist",    "Album",
                         "Genre", "Comment",     "Duration",     "Size (Kb)", "File Type", "Track",
                         "Disc",  "Year",        "Album Artist", "Composer",  "Rating",    "Plays",
                         "Skips", "Last Played", "Date Added",   "Cover"}));
        QCOMPARE(grid->ColWidth(0), 150);
        QCOMPARE(grid->ColWidth(1), 195); // 200 twips in whole pixels
        QCOMPARE(grid->ColWidth(2), 555);

        QCOMPARE(window.state().nameFields(), defaultNameFields());
        QVERIFY(window.state().exportName().isEmpty());
        QCOMPARE(window.TxtExpName->text(), QString("Genre_Artist_Title_Album_ID"));

        QVERIFY(window.LblStatusExport->isHidden());
        QVERIFY(window.LblStatusiPod->isHidden());
        QVERIFY(!window.BtnSelSound->isEnabled());
        QVERIFY(!window.BtnExport->isEnabled());
        QVERIFY(window.BtnOpenDir->isEnabled());
        for (QLineEdit *box : {window.TxtDfltDrive, window.TxtDfltDir, window.TxtExpName})
            QVERIFY(box->isReadOnly());
        QCOMPARE(window.LblSelFilesNum->text(), QString(" 0 file(s) selected"));
        QCOMPARE(window.LblSelFilesSize->text(), QString(" 0 Kb = 0 Mb = 0 Gb"));
        QCOMPARE(window.LblSelFilesDur->text(), QString(" 00:00:00 hh:mm:ss"));
        for (QLabel *raw :
             {window.LblSelFilesNumI, window.LblSelFilesSizeI, window.LblSelFilesDurI}) {
            QVERIFY(raw->isHidden());
            QCOMPARE(raw->text(), QString("0"));
        }
        QCOMPARE(window.windowTitle(), QString("Sondrel"));
        // The classic window's size with the find row above the grid, at the least.
        QCOMPARE(window.size(), QSize(775, 538 + 24));
        QCOMPARE(window.minimumSize(), window.size());
    }

    // The focus starts on "iPod Drive" and Tab walks the controls in order, leaving the
    // grid for the next control instead of moving from cell to cell. No button is a
    // default button that Enter would press.
    void tabKeyWalksTheOrder()
    {
        test::FakeMachine machine;
        FrmMain window(machine.services(), test::freshSettings());
        TrackGrid *grid = window.MSFlexGridSoundList;
        grid->setRows(3);
        grid->setTextMatrix(1, 2, "1");
        grid->setTextMatrix(2, 2, "2");
        for (QPushButton *button :
             {window.BtnMarkShown, window.BtnUnmarkShown, window.BtnSelSound, window.BtnExport})
            button->setEnabled(true);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QVERIFY(QTest::qWaitFor([] { return QApplication::focusWidget() != nullptr; }));
        QCOMPARE(QApplication::focusWidget()->objectName(), QString("BtnChangeDfltDrive"));

        QStringList visited;
        for (int i = 0; i < 17; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << (QApplication::focusWidget() ? QApplication::focusWidget()->objectName()
                                                    : QString());
        }
        QCOMPARE(visited, (QStringList{"TxtDfltDrive", "BtnChangeDfltDir", "TxtDfltDir",
                                       "BtnChangeExpName", "TxtExpName", "BtnUpdate", "BtnHelp",
                                       "BtnExit", "TxtFind", "CboPlaylist", "BtnMarkShown",
                                       "BtnUnmarkShown", "BtnSelSound", "MSFlexGridSoundList",
                                       "BtnExport", "BtnOpenDir", "BtnChangeDfltDrive"}));
        for (auto *button : window.findChildren<QPushButton *>())
            QVERIFY2(!button->isDefault() && !button->autoDefault(),
                     qPrintable(button->objectName()));
    }

    // Every caption fits its control: single-line labels and boxes in their width, wrapped
    // buttons in their height.
    void noCaptionIsClipped()
    {
        test::FakeMachine machine;
        FrmMain window(machine.services(), test::freshSettings());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        for (auto *label : window.findChildren<QLabel *>()) {
            if (label->isHidden())
                continue;
            // Leading blanks of a right-aligned caption may fall outside; its letters may not.
            const QString shown =
                label->alignment() & Qt::AlignRight ? label->text().trimmed() : label->text();
            const int needed = label->fontMetrics().horizontalAdvance(shown);
            QVERIFY2(needed <= label->contentsRect().width(),
                     qPrintable(QString("%1: %2 > %3")
                                    .arg(label->objectName())
                                    .arg(needed)
                                    .arg(label->contentsRect().width())));
        }
        for (auto *box : window.findChildren<QLineEdit *>()) {
            const int needed = box->fontMetrics().horizontalAdvance(box->text());
            QVERIFY2(needed < box->width() - 4, qPrintable(box->objectName()));
        }
        for (auto *button : window.findChildren<WrapButton *>()) {
            const int lines = button->lineCount();
            QVERIFY2(lines * button->fontMetrics().height() <= button->height() + 2,
                     qPrintable(button->objectName()));
            if (button->height() < 30)
                QVERIFY2(lines == 1, qPrintable(button->objectName()));
        }
    }

    void resetTakesTheTrackAreaBack()
    {
        test::FakeMachine machine;
        FrmMain window(machine.services(), test::freshSettings());
        TrackGrid *grid = window.MSFlexGridSoundList;
        grid->setRows(4);
        for (int r = 1; r <= 3; ++r) {
            grid->setTextMatrix(r, 1, "X");
            grid->setTextMatrix(r, 2, QString::number(r));
        }
        window.LblSelFilesNumI->setText("3");
        window.LblSelFilesSizeI->setText("3000");
        window.LblSelFilesDurI->setText("180000");
        window.LblSelFilesNum->setText(" 3 file(s) selected");
        window.LblSelFilesSize->setText(" 2.93 Kb = 0 Mb = 0 Gb");
        window.LblSelFilesDur->setText(" 00:03:00 hh:mm:ss");
        window.LblStatusiPod->show();
        window.LblStatusExport->setText(" Exporting file 1 of 3 (x)");
        window.LblStatusExport->show();
        window.BtnSelSound->setEnabled(true);
        window.BtnExport->setEnabled(true);
        window.state().setExportDirectory("/chosen/");

        window.ResetTrackList();

        QCOMPARE(grid->Rows(), 1);
        QCOMPARE(grid->TextMatrix(0, 3), QString("Title"));
        QVERIFY(window.LblStatusiPod->isHidden());
        for (QLabel *raw :
             {window.LblSelFilesNumI, window.LblSelFilesSizeI, window.LblSelFilesDurI})
            QCOMPARE(raw->text(), QString("0"));
        QCOMPARE(window.LblSelFilesNum->text(), QString(" 0 file(s) selected"));
        QCOMPARE(window.LblSelFilesSize->text(), QString(" 0 Kb = 0 Mb = 0 Gb"));
        QCOMPARE(window.LblSelFilesDur->text(), QString(" 00:00:00 hh:mm:ss"));
        QVERIFY(!window.BtnSelSound->isEnabled());
        QVERIFY(!window.BtnExport->isEnabled());
        // What the reset does not own stays as it was.
        QVERIFY(!window.LblStatusExport->isHidden());
        QCOMPARE(window.state().exportDirectory(), QString("/chosen/"));
        grid->setRows(2);
        QCOMPARE(grid->TextMatrix(1, 1), QString()); // no mark survives
    }
};

SONDREL_TEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
