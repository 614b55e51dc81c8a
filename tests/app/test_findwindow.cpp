// Finding and picking in the main window: the find box as it is typed into, the playlists
// to show, the keys, and the marks, which a filter never drops.
#include "mainwindowscene.h"
#include "modalanswerer.h"
#include "testmain.h"
#include "trackgrid.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <algorithm>

using namespace sondrel;
using namespace sondrel::test;

namespace {

// Five tracks (unique IDs 100 to 104), and the playlist "Road": Sig, Glósóli, Hoppípolla,
// Glósóli again; then an empty one.
TestDatabase fiveTracks()
{
    TestDatabase db;
    db.dataSets = TestDatabase::modernOrder();
    const char *const rows[][4] = {{"Hoppípolla", "Sigur Rós", "Takk", "Post-rock"},
                                   {"Halo", "Beyoncé", "I Am", "Pop"},
                                   {"Glósóli", "Sigur Rós", "Takk", "Post-rock"},
                                   {"Single Ladies", "Beyoncé", "I Am", "Pop"},
                                   {"Sig", "Other", "X", "Rock"}};
    for (int k = 1; k <= 5; ++k) {
        const auto &row = rows[k - 1];
        db.tracks << TestTrack::make(row[0], row[1], row[2], row[3],
                                     QString(":iPod_Control:Music:F00:T%1.mp3").arg(k))
                         .withContents(QByteArray(1000 * k, 'x'));
    }
    TestPlaylist road;
    road.title = "Road";
    road.items = {104, 102, 100, 102};
    TestPlaylist empty;
    empty.title = "Empty";
    db.playlists << db.masterPlaylist() << road << empty;
    return db;
}

QString shown(MainWindowScene &scene)
{
    return scene.column(3).join(", ") + " | " + scene->LblShown->text();
}

void type(MainWindowScene &scene, const QString &keys)
{
    for (const QChar key : keys) {
        if (key == '\b')
            QTest::keyClick(scene->TxtFind, Qt::Key_Backspace);
        else
            QTest::keyClicks(scene->TxtFind, QString(key));
    }
}

void doubleClickTitle(MainWindowScene &scene)
{
    TrackGrid *grid = scene.grid();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, scene.cellCentre(1, 3));
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, scene.cellCentre(1, 3));
}

} // namespace

class TestFindWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { ModalAnswerer::closeLeftovers(); }

    // Each keystroke filters the grid: one more letter looks only among the rows shown,
    // one less among all of them again.
    void typing_data()
    {
        QTest::addColumn<QStringList>("keys"); // typed in turn; "\b" is Backspace
        QTest::addColumn<QStringList>("after");

        QTest::newRow("on and back")
            << QStringList{"s", "ig", "u", "\b", "\b\b\b"}
            << QStringList{"Hoppípolla, Glósóli, Single Ladies, Sig | 4 of 5 tracks shown",
                           "Hoppípolla, Glósóli, Sig | 3 of 5 tracks shown",
                           "Hoppípolla, Glósóli | 2 of 5 tracks shown",
                           "Hoppípolla, Glósóli, Sig | 3 of 5 tracks shown",
                           "Hoppípolla, Halo, Glósóli, Single Ladies, Sig | "};
        QTest::newRow("a second word, in another field")
            << QStringList{"ros", " ", "h", "\bgl", "x"}
            << QStringList{"Hoppípolla, Glósóli | 2 of 5 tracks shown",
                           "Hoppípolla, Glósóli | 2 of 5 tracks shown",
                           "Hoppípolla | 1 of 5 tracks shown", "Glósóli | 1 of 5 tracks shown",
                           " | 0 of 5 tracks shown"};
        QTest::newRow("a word typed anew")
            << QStringList{"halo", "\b\b\b", "\bsingle"}
            << QStringList{"Halo | 1 of 5 tracks shown",
                           "Hoppípolla, Halo, Sig | 3 of 5 tracks shown",
                           "Single Ladies | 1 of 5 tracks shown"};
    }

    void typing()
    {
        QFETCH(QStringList, keys);
        QFETCH(QStringList, after);
        MainWindowScene scene;
        QVERIFY(scene.load(fiveTracks()));
        QStringList seen;
        for (const QString &step : keys) {
            type(scene, step);
            seen << shown(scene);
        }
        QCOMPARE(seen, after);
    }

    // A playlist shows its tracks once each, in its order until a column is sorted; find
    // and playlist combine.
    void playlists()
    {
        MainWindowScene scene;
        QVERIFY(scene.load(fiveTracks()));
        QComboBox *choice = scene->CboPlaylist;
        QStringList items;
        for (int i = 0; i < choice->count(); ++i)
            items << choice->itemText(i);
        QCOMPARE(items, (QStringList{"All tracks (5)", "Road (3)", "Empty (0)"}));

        choice->setCurrentIndex(1);
        QCOMPARE(shown(scene), QString("Sig, Glósóli, Hoppípolla | 3 of 5 tracks shown"));
        type(scene, "sigur");
        QCOMPARE(shown(scene), QString("Glósóli, Hoppípolla | 2 of 5 tracks shown"));
        type(scene, "\b\b\b\b\b");
        QCOMPARE(shown(scene), QString("Sig, Glósóli, Hoppípolla | 3 of 5 tracks shown"));
        doubleClickTitle(scene);
        QCOMPARE(shown(scene), QString("Glósóli, Hoppípolla, Sig | 3 of 5 tracks shown"));
        type(scene, "p");
        QCOMPARE(shown(scene), QString("Glósóli, Hoppípolla | 2 of 5 tracks shown"));
        choice->setCurrentIndex(0); // the whole list, as sorted
        QCOMPARE(shown(scene),
                 QString("Glósóli, Halo, Hoppípolla, Single Ladies | 4 of 5 tracks shown"));
        choice->setCurrentIndex(1); // chosen again: its own order
        QCOMPARE(shown(scene), QString("Glósóli, Hoppípolla | 2 of 5 tracks shown"));
        type(scene, "\b");
        QCOMPARE(shown(scene), QString("Sig, Glósóli, Hoppípolla | 3 of 5 tracks shown"));
        choice->setCurrentIndex(2);
        QCOMPARE(shown(scene), QString(" | 0 of 5 tracks shown"));

        // A new reading lists all tracks again; the find text stays.
        type(scene, "pop");
        QVERIFY(scene.check().value(0).startsWith("Updated in "));
        QCOMPARE(choice->currentIndex(), 0);
        QCOMPARE(shown(scene), QString("Halo, Single Ladies | 2 of 5 tracks shown"));
    }

    // Marks and totals cover every track, shown or not: no filter drops one. The marking
    // buttons act on the shown rows only.
    void marksSurviveFilters()
    {
        MainWindowScene scene;
        QVERIFY(scene.load(fiveTracks()));
        scene.markRows(2, 2); // Halo
        type(scene, "sigur");
        QTest::mouseClick(scene->BtnMarkShown, Qt::LeftButton);
        QCOMPARE(scene.column(1), (QStringList{"X", "X"}));
        QCOMPARE(scene.totals().mid(0, 2), (QStringList{"3", "6000"}));

        type(scene, "\b\b\b\b\bbeyonce");
        QCOMPARE(scene.column(1), (QStringList{"X", ""}));
        scene.markRows(1, 2); // (Un)Select: Halo off, Single Ladies on
        QCOMPARE(scene.column(1), (QStringList{"", "X"}));
        QCOMPARE(scene.totals().mid(0, 2), (QStringList{"3", "8000"}));

        scene->TxtFind->clear();
        QCOMPARE(scene.markedTitles(), (QStringList{"Hoppípolla", "Glósóli", "Single Ladies"}));
        scene->CboPlaylist->setCurrentIndex(1); // Sig, Glósóli, Hoppípolla
        QTest::mouseClick(scene->BtnUnmarkShown, Qt::LeftButton);
        QCOMPARE(scene.column(1), (QStringList{"", "", ""}));
        scene->CboPlaylist->setCurrentIndex(0);
        QCOMPARE(scene.markedTitles(), QStringList{"Single Ladies"});
        QCOMPARE(scene.totals().mid(0, 2), (QStringList{"1", "4000"}));
        QTest::mouseClick(scene->BtnMarkShown, Qt::LeftButton);
        QCOMPARE(scene.totals().mid(0, 2), (QStringList{"5", "15000"}));
    }

    // Ctrl+F goes to the find box; Esc clears it; Enter or Down go on to the grid, with
    // the first row highlighted when the highlight's track is not shown. Ctrl+A in the
    // grid highlights every shown row.
    void keys()
    {
        MainWindowScene scene;
        QVERIFY(scene.load(fiveTracks()));
        QVERIFY(QTest::qWaitForWindowActive(&scene.window()));
        TrackGrid *grid = scene.grid();
        QTest::keyClick(grid, Qt::Key_F, Qt::ControlModifier);
        QTRY_COMPARE(QApplication::focusWidget(), scene->TxtFind);

        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Down}) {
            scene->TxtFind->setFocus();
            type(scene, "beyonce");
            QCOMPARE(grid->Row(), 1);
            QTest::keyClick(scene->TxtFind, key);
            QTRY_COMPARE(QApplication::focusWidget(), grid);
            QTest::keyClick(grid, Qt::Key_A, Qt::ControlModifier);
            QCOMPARE(std::min(grid->Row(), grid->RowSel()), 1);
            QCOMPARE(std::max(grid->Row(), grid->RowSel()), 2);
            scene->TxtFind->setFocus();
            QTest::keyClick(scene->TxtFind, Qt::Key_Escape);
            QCOMPARE(scene->TxtFind->text(), QString());
            QCOMPARE(grid->Rows(), 6);
        }
    }
};

SONDREL_TEST_MAIN(TestFindWindow)
#include "test_findwindow.moc"
