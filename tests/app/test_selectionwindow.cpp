// Marking in the main window: the grid's row range, the marks in the grid, the totals'
// captions, the focus, and sorting by a double-click.
#include "mainwindowscene.h"
#include "modalanswerer.h"
#include "testmain.h"
#include "trackgrid.h"
#include "tracktables.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <algorithm>

using namespace sondrel;
using namespace sondrel::test;

namespace {

// A player with the given tracks (title, size, duration), read by the scene's window.
TestDatabase playerOf(const QList<TableTrack> &tracks)
{
    TestDatabase db;
    int k = 0;
    for (const TableTrack &t : tracks)
        db.tracks << TestTrack::make(t.title, t.artist, t.album, t.genre,
                                     QStringLiteral(":iPod_Control:Music:F00:T%1.mp3").arg(++k))
                         .withSize(qint32(t.size))
                         .withDuration(t.duration);
    return db;
}

// How the test picks the row range: set directly, or with the mouse as a user does.
enum class Gesture { None, ShiftClick, Drag };

const QStringList StartTotals{
    "0", "0", "0", " 0 file(s) selected", " 0 Kb = 0 Mb = 0 Gb", " 00:00:00 hh:mm:ss"};

QList<TableTrack> sixTracks()
{
    return {{"Echo", 1000, 60000},   {"Alpha", 2000, 120000}, {"Delta", 3000, 180000},
            {"Bravo", 4000, 240000}, {"Fox", 5000, 300000},   {"Charlie", 6000, 360000}};
}

void select(MainWindowScene &scene, int row, int rowSel)
{
    scene.grid()->setRow(row);
    scene.grid()->setRowSel(rowSel);
}

void toggle(MainWindowScene &scene)
{
    QTest::mouseClick(scene->BtnSelSound, Qt::LeftButton);
}

// A real double-click: a press and a release, then the double-click event.
void doubleClick(MainWindowScene &scene, int row, int col)
{
    QTest::mouseClick(scene.grid()->viewport(), Qt::LeftButton, {}, scene.cellCentre(row, col));
    QTest::mouseDClick(scene.grid()->viewport(), Qt::LeftButton, {}, scene.cellCentre(row, col));
}

} // namespace

Q_DECLARE_METATYPE(Gesture)

class TestSelectionWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { ModalAnswerer::closeLeftovers(); }

    void rangesInEitherDirection_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<Gesture>("gesture");
        QTest::newRow("rows 3 to 5 downward") << 3 << 5 << Gesture::None;
        QTest::newRow("rows 3 to 5 upward") << 5 << 3 << Gesture::None;
        QTest::newRow("click row 3, shift-click row 5") << 3 << 5 << Gesture::ShiftClick;
        QTest::newRow("click row 5, shift-click row 3") << 5 << 3 << Gesture::ShiftClick;
        QTest::newRow("drag from row 3 down to row 5") << 3 << 5 << Gesture::Drag;
        QTest::newRow("drag from row 5 up to row 3") << 5 << 3 << Gesture::Drag;
    }

    void rangesInEitherDirection()
    {
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(Gesture, gesture);
        MainWindowScene w;
        QVERIFY(w.load(playerOf(sixTracks())));
        if (gesture == Gesture::None) {
            select(w, from, to);
        } else {
            QVERIFY(QTest::qWaitForWindowExposed(&w.window()));
            QWidget *viewport = w.grid()->viewport();
            if (gesture == Gesture::ShiftClick) {
                QTest::mouseClick(viewport, Qt::LeftButton, {}, w.cellCentre(from, 4));
                QTest::mouseClick(viewport, Qt::LeftButton, Qt::ShiftModifier, w.cellCentre(to, 4));
            } else {
                // Pressed on the first row, moved with the button held over the rows
                // between, released on the last.
                QTest::mousePress(viewport, Qt::LeftButton, {}, w.cellCentre(from, 4));
                const int step = from < to ? 1 : -1;
                for (int r = from + step; r != to + step; r += step)
                    QTest::mouseMove(viewport, w.cellCentre(r, 4));
                QTest::mouseRelease(viewport, Qt::LeftButton, {}, w.cellCentre(to, 4));
            }
            QCOMPARE(w.grid()->Row(), from);
            QCOMPARE(w.grid()->RowSel(), to);
        }
        toggle(w);
        QCOMPARE(w.markedTitles(), (QStringList{"Delta", "Bravo", "Fox"}));
        QCOMPARE(w.totals().mid(0, 3), (QStringList{"3", "12000", "720000"}));
        QCOMPARE(w.totals().mid(3),
                 (QStringList{" 3 file(s) selected", " 11.72 Kb = 0.01 Mb = 0 Gb",
                              " 00:12:00 hh:mm:ss"}));
    }

    // "(Un)Select file" acts on exactly the rows the grid highlights, however they were
    // chosen.
    void theHighlightIsWhatGetsMarked_data()
    {
        QTest::addColumn<QStringList>("gestures");
        QTest::addColumn<QStringList>("marked");
        QTest::newRow("rows 3 to 5, then a click on row 4")
            << QStringList{"click 3", "shift 5", "click 4"} << QStringList{"Bravo"};
        QTest::newRow("ctrl-click acts as a plain click")
            << QStringList{"click 2", "shift 4", "ctrl 6"} << QStringList{"Charlie"};
        QTest::newRow("shift+down twice") << QStringList{"click 2", "shift+down", "shift+down"}
                                          << QStringList{"Alpha", "Delta", "Bravo"};
        QTest::newRow("ctrl+a marks every row")
            << QStringList{"click 4", "ctrl+a"}
            << QStringList{"Echo", "Alpha", "Delta", "Bravo", "Fox", "Charlie"};
    }

    void theHighlightIsWhatGetsMarked()
    {
        QFETCH(QStringList, gestures);
        QFETCH(QStringList, marked);
        MainWindowScene w;
        QVERIFY(w.load(playerOf(sixTracks())));
        QVERIFY(QTest::qWaitForWindowExposed(&w.window()));
        QWidget *viewport = w.grid()->viewport();
        for (const QString &gesture : gestures) {
            const QStringList word = gesture.split(' ');
            const auto at = [&] { return w.cellCentre(word[1].toInt(), 4); };
            if (word[0] == "click")
                QTest::mouseClick(viewport, Qt::LeftButton, {}, at());
            else if (word[0] == "shift")
                QTest::mouseClick(viewport, Qt::LeftButton, Qt::ShiftModifier, at());
            else if (word[0] == "ctrl")
                QTest::mouseClick(viewport, Qt::LeftButton, Qt::ControlModifier, at());
            else if (word[0] == "shift+down")
                QTest::keyClick(w.grid(), Qt::Key_Down, Qt::ShiftModifier);
            else if (word[0] == "ctrl+a")
                QTest::keyClick(w.grid(), Qt::Key_A, Qt::ControlModifier);
        }
        QStringList highlighted;
        for (const QModelIndex &index : w.grid()->selectionModel()->selectedRows())
            highlighted << w.grid()->TextMatrix(index.row() + 1, 3);
        toggle(w);
        QCOMPARE(w.markedTitles(), marked);
        std::sort(highlighted.begin(), highlighted.end());
        std::sort(marked.begin(), marked.end());
        QCOMPARE(highlighted, marked);
    }

    // A range of marked and unmarked rows flips each row; unmarking every row gives the
    // captions of the start.
    void unmarkingEverythingGivesTheStartCaptions()
    {
        MainWindowScene w;
        QVERIFY(w.load(playerOf(sixTracks())));
        toggle(w); // right after the fill the current row is the last track
        QCOMPARE(w.markedTitles(), QStringList{"Charlie"});
        select(w, 1, 5);
        toggle(w);
        QCOMPARE(w.totals()[0], QString("6"));
        select(w, 2, 2);
        toggle(w);
        select(w, 6, 1); // five marked rows and one unmarked: flips back and forth
        toggle(w);
        QCOMPARE(w.markedTitles(), QStringList{"Alpha"});
        QCOMPARE(w.totals().mid(0, 4), (QStringList{"1", "2000", "120000", " 1 file(s) selected"}));
        select(w, 2, 2);
        toggle(w);
        QCOMPARE(w.markedTitles(), QStringList{});
        QCOMPARE(w.totals(), StartTotals);
    }

    void theGridGetsTheFocusBack()
    {
        MainWindowScene w;
        QVERIFY(w.load(playerOf(sixTracks())));
        QVERIFY(QTest::qWaitForWindowActive(&w.window()));
        w->BtnSelSound->setFocus();
        toggle(w);
        QVERIFY(w.grid()->hasFocus());
    }

    void doubleClickSortKeepsMarksAndTotals()
    {
        MainWindowScene w;
        QVERIFY(w.load(playerOf(sixTracks())));
        QVERIFY(QTest::qWaitForWindowExposed(&w.window()));
        select(w, 1, 2); // Echo, Alpha
        toggle(w);
        select(w, 6, 6); // Charlie
        toggle(w);
        const QStringList hidden = w.totals().mid(0, 3);
        const QStringList labels = w.totals().mid(3);

        doubleClick(w, 4, 3);
        QCOMPARE(w.column(3), (QStringList{"Alpha", "Bravo", "Charlie", "Delta", "Echo", "Fox"}));
        QCOMPARE(w.column(2), (QStringList{"2", "4", "6", "3", "1", "5"}));
        QCOMPARE(w.column(1), (QStringList{"X", "", "X", "", "X", ""}));
        QCOMPARE(w.totals().mid(0, 3), hidden);
        QCOMPARE(w.totals().mid(3), labels);

        // Toggling afterwards acts on the tracks the rows now show.
        select(w, 2, 2); // Bravo, 4000 bytes, 4 minutes
        toggle(w);
        QCOMPARE(w.totals().mid(0, 3), (QStringList{"4", "13000", "780000"}));
        select(w, 1, 1); // Alpha off again
        toggle(w);
        QCOMPARE(w.totals().mid(0, 3), (QStringList{"3", "11000", "660000"}));
    }

    void doubleClickSortsNumbersAsNumbers()
    {
        QList<TableTrack> tracks;
        for (int i = 0; i < 12; ++i)
            tracks.push_back({QString("T%1").arg(i), std::uint64_t((12 - i) * 1024), 1000});
        MainWindowScene w;
        QVERIFY(w.load(playerOf(tracks)));
        QVERIFY(QTest::qWaitForWindowExposed(&w.window()));
        doubleClick(w, 1, 9);
        QCOMPARE(w.column(9).mid(0, 4), (QStringList{"1.00", "2.00", "3.00", "4.00"}));
        QCOMPARE(w.column(9).last(), QString("12.00"));
        doubleClick(w, 1, 2);
        QCOMPARE(w.column(2).mid(8), (QStringList{"9", "10", "11", "12"}));
    }

    void doubleClickSortsGroupedSizesAsNumbers()
    {
        // Sizes from a megabyte up carry thousands separators in the grid.
        MainWindowScene w;
        QVERIFY(w.load(playerOf({{"A", 12641976, 1000},
                                 {"B", 2048, 1000},
                                 {"C", 1024000, 1000},
                                 {"D", 1022976, 1000},
                                 {"E", 102400000, 1000}})));
        QVERIFY(QTest::qWaitForWindowExposed(&w.window()));
        doubleClick(w, 1, 9);
        QCOMPARE(w.column(9),
                 (QStringList{"2.00", "999.00", "1,000.00", "12,345.68", "100,000.00"}));
        QCOMPARE(w.column(3), (QStringList{"B", "D", "C", "A", "E"}));
    }
};

SONDREL_TEST_MAIN(TestSelectionWindow)
#include "test_selectionwindow.moc"
