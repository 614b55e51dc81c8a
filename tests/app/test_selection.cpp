// Marking tracks in the main window: "(Un)Select file", the total labels, and the
// double-click sort that keeps marks and totals with their rows.
#include "fakemachine.h"
#include "frmmain.h"
#include "modalanswerer.h"
#include "soundfilecheck.h"
#include "testmain.h"
#include "trackgrid.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <memory>

using namespace sondrel;

namespace {

struct TestTrackRow
{
    QString title;
    double size;
    double duration;
};

// A main window on an empty made-up machine, with the given tracks in its table and grid
// as the database reader leaves them.
class Window
{
public:
    explicit Window(const std::vector<TestTrackRow> &tracks)
    {
        Services services;
        const test::FakeMachine *machine = &m_machine;
        services.fileSystem = [machine] { return machine->fileSystem(); };
        w = std::make_unique<FrmMain>(services);

        TrackTable &table = w->trackTable();
        const int n = int(tracks.size());
        table.reset(n);
        for (int k = 1; k <= n; ++k) {
            Track &t = table.track(k);
            t.id = k;
            t.size = tracks[std::size_t(k - 1)].size;
            t.duration = tracks[std::size_t(k - 1)].duration;
            table.setText(k, FieldTitle, tracks[std::size_t(k - 1)].title);
        }
        TrackGrid *grid = w->MSFlexGridSoundList;
        grid->setRows(n + 1);
        for (int j = 1; j <= n; ++j) {
            const auto cells = gridCells(table, j);
            for (int c = 2; c <= 10; ++c)
                grid->setTextMatrix(j, c, cells[std::size_t(c - 2)]);
        }
        if (n > 0) {
            grid->setCol(10);
            grid->setRow(n);
            w->BtnSelSound->setEnabled(true);
            w->BtnExport->setEnabled(true);
        }
        w->show();
        w->activateWindow();
    }

    FrmMain *operator->() const { return w.get(); }
    TrackGrid *grid() const { return w->MSFlexGridSoundList; }

    void select(int row, int rowSel)
    {
        grid()->setRow(row);
        grid()->setRowSel(rowSel);
    }

    void toggle() { QTest::mouseClick(w->BtnSelSound, Qt::LeftButton); }

    QPoint cellCentre(int row, int col) const
    {
        return grid()->visualRect(grid()->model()->index(row - 1, col - 1)).center();
    }

    // A real double-click: a press and a release, then the double-click event.
    void doubleClick(int row, int col)
    {
        QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {}, cellCentre(row, col));
        QTest::mouseDClick(grid()->viewport(), Qt::LeftButton, {}, cellCentre(row, col));
    }

    QStringList labels() const
    {
        return {w->LblSelFilesNum->text(), w->LblSelFilesSize->text(), w->LblSelFilesDur->text()};
    }

    QStringList hidden() const
    {
        return {w->LblSelFilesNumI->text(), w->LblSelFilesSizeI->text(),
                w->LblSelFilesDurI->text()};
    }

    QStringList marked() const
    {
        QStringList titles;
        for (int r = 1; r < grid()->Rows(); ++r)
            if (grid()->TextMatrix(r, 1) == "X")
                titles << grid()->TextMatrix(r, 3);
        return titles;
    }

    QStringList column(int col) const
    {
        QStringList cells;
        for (int r = 1; r < grid()->Rows(); ++r)
            cells << grid()->TextMatrix(r, col);
        return cells;
    }

private:
    test::FakeMachine m_machine;
    std::unique_ptr<FrmMain> w;
};

// How the test picks the row range: set directly, or with the mouse as a user does.
enum class Gesture { None, ShiftClick, Drag };

const QStringList StartCaptions{" 0 file(s) selected", " 0 Kb = 0 Mb = 0 Gb", " 00:00:00 hh:mm:ss"};

std::vector<TestTrackRow> sixTracks()
{
    return {{"Echo", 1000, 60000},   {"Alpha", 2000, 120000}, {"Delta", 3000, 180000},
            {"Bravo", 4000, 240000}, {"Fox", 5000, 300000},   {"Charlie", 6000, 360000}};
}

} // namespace

Q_DECLARE_METATYPE(Gesture)

class TestSelection : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { test::ModalAnswerer::closeLeftovers(); }

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
        Window w(sixTracks());
        if (gesture == Gesture::None) {
            w.select(from, to);
        } else {
            QVERIFY(QTest::qWaitForWindowExposed(w.operator->()));
            QWidget *viewport = w.grid()->viewport();
            if (gesture == Gesture::ShiftClick) {
                QTest::mouseClick(viewport, Qt::LeftButton, {}, w.cellCentre(from, 4));
                QTest::mouseClick(viewport, Qt::LeftButton, Qt::ShiftModifier,
                                  w.cellCentre(to, 4));
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
        w.toggle();
        QCOMPARE(w.marked(), (QStringList{"Delta", "Bravo", "Fox"}));
        QCOMPARE(w.hidden(), (QStringList{"3", "12000", "720000"}));
        QCOMPARE(w.labels(), (QStringList{" 3 file(s) selected", " 11.72 Kb = 0.01 Mb = 0 Gb",
                                          " 00:12:00 hh:mm:ss"}));
    }

    void aMixedRangeFlipsEveryRow()
    {
        Window w(sixTracks());
        w.select(3, 3);
        w.toggle();
        w.select(5, 5);
        w.toggle();
        QCOMPARE(w.hidden()[0], QString("2"));
        w.select(3, 5);
        w.toggle();
        QCOMPARE(w.marked(), QStringList{"Bravo"});
        QCOMPARE(w.hidden(), (QStringList{"1", "4000", "240000"}));
        QCOMPARE(w.labels()[0], QString(" 1 file(s) selected"));
    }

    void sizeCaptionOfOneTrack()
    {
        Window w({{"Big", 5000000, 180000}});
        w.toggle(); // right after the fill the current row is the last track
        QCOMPARE(w.labels(), (QStringList{" 1 file(s) selected", " 4882.81 Kb = 4.77 Mb = 0 Gb",
                                          " 00:03:00 hh:mm:ss"}));
    }

    void durationCaptions_data()
    {
        QTest::addColumn<double>("first");
        QTest::addColumn<double>("second");
        QTest::addColumn<QString>("caption");
        QTest::newRow("3725999 ms") << 3600000.0 << 125999.0 << " 01:02:05 hh:mm:ss";
        QTest::newRow("100 hours") << 180000000.0 << 180000000.0 << " 100:00:00 hh:mm:ss";
    }

    void durationCaptions()
    {
        QFETCH(double, first);
        QFETCH(double, second);
        QFETCH(QString, caption);
        Window w({{"A", 1, first}, {"B", 1, second}});
        w.select(1, 2);
        w.toggle();
        QCOMPARE(w.labels()[2], caption);
    }

    void negativeDurationCountsAsZeroAndRestoresExactly()
    {
        Window w({{"Odd", 5000000, -5000}, {"Plain", 1024, 3000}});
        w.select(2, 2);
        w.toggle();
        const QStringList hiddenBefore = w.hidden();
        const QStringList labelsBefore = w.labels();
        QCOMPARE(w.grid()->TextMatrix(1, 8), QString("N.A."));

        w.select(1, 1);
        w.toggle();
        QCOMPARE(w.hidden(), (QStringList{"2", "5001024", "3000"}));
        QCOMPARE(w.labels()[2], QString(" 00:00:03 hh:mm:ss"));

        w.toggle();
        QCOMPARE(w.hidden(), hiddenBefore);
        QCOMPARE(w.labels(), labelsBefore);
    }

    void unmarkingEverythingGivesTheStartCaptions()
    {
        Window w(sixTracks());
        w.select(1, 6);
        w.toggle();
        QCOMPARE(w.hidden()[0], QString("6"));
        w.select(2, 2);
        w.toggle();
        w.select(6, 1); // five marked rows and one unmarked: flips back and forth
        w.toggle();
        QCOMPARE(w.marked(), QStringList{"Alpha"});
        w.select(2, 2);
        w.toggle();
        QCOMPARE(w.marked(), QStringList{});
        QCOMPARE(w.labels(), StartCaptions);
        QCOMPARE(w.hidden(), (QStringList{"0", "0", "0"}));
    }

    void theGridGetsTheFocusBack()
    {
        Window w(sixTracks());
        QVERIFY(QTest::qWaitForWindowActive(w.operator->()));
        w->BtnSelSound->setFocus();
        w.toggle();
        QVERIFY(w.grid()->hasFocus());
    }

    void withoutDataRowsNothingChanges()
    {
        Window w({});
        w->BtnSelSound->setEnabled(true); // a database without tracks
        QCOMPARE(w.grid()->Row(), 0);
        w.toggle();
        QCOMPARE(w.grid()->Rows(), 1);
        QCOMPARE(w.grid()->TextMatrix(0, 1), QString("X"));
        QCOMPARE(w.labels(), StartCaptions);
        QCOMPARE(w.hidden(), (QStringList{"0", "0", "0"}));
    }

    void doubleClickSortKeepsMarksAndTotals()
    {
        Window w(sixTracks());
        QVERIFY(QTest::qWaitForWindowExposed(w.operator->()));
        w.select(1, 2); // Echo, Alpha
        w.toggle();
        w.select(6, 6); // Charlie
        w.toggle();
        const QStringList hidden = w.hidden();
        const QStringList labels = w.labels();

        w.doubleClick(4, 3);
        QCOMPARE(w.column(3), (QStringList{"Alpha", "Bravo", "Charlie", "Delta", "Echo", "Fox"}));
        QCOMPARE(w.column(2), (QStringList{"2", "4", "6", "3", "1", "5"}));
        QCOMPARE(w.column(1), (QStringList{"X", "", "X", "", "X", ""}));
        QCOMPARE(w.hidden(), hidden);
        QCOMPARE(w.labels(), labels);

        // Toggling afterwards acts on the tracks the rows now show.
        w.select(2, 2); // Bravo, 4000 bytes, 4 minutes
        w.toggle();
        QCOMPARE(w.hidden(), (QStringList{"4", "13000", "780000"}));
        w.select(1, 1); // Alpha off again
        w.toggle();
        QCOMPARE(w.hidden(), (QStringList{"3", "11000", "660000"}));
    }

    void doubleClickSortsNumbersAsNumbers()
    {
        std::vector<TestTrackRow> tracks;
        for (int i = 0; i < 12; ++i)
            tracks.push_back({QString("T%1").arg(i), double((12 - i) * 1024), 1000});
        Window w(tracks);
        QVERIFY(QTest::qWaitForWindowExposed(w.operator->()));
        w.doubleClick(1, 9);
        QCOMPARE(w.column(9).mid(0, 4), (QStringList{"1.00", "2.00", "3.00", "4.00"}));
        QCOMPARE(w.column(9).last(), QString("12.00"));
        w.doubleClick(1, 2);
        QCOMPARE(w.column(2).mid(8), (QStringList{"9", "10", "11", "12"}));
    }

    void doubleClickSortsGroupedSizesAsNumbers()
    {
        // Sizes from a megabyte up carry thousands separators in the grid.
        Window w({{"A", 12641976.32, 1000}, {"B", 2048, 1000}, {"C", 1024000, 1000},
                  {"D", 1022976, 1000}, {"E", 102400000, 1000}});
        QVERIFY(QTest::qWaitForWindowExposed(w.operator->()));
        w.doubleClick(1, 9);
        QCOMPARE(w.column(9),
                 (QStringList{"2.00", "999.00", "1,000.00", "12,345.68", "100,000.00"}));
        QCOMPARE(w.column(3), (QStringList{"B", "D", "C", "A", "E"}));
    }
};

SONDREL_TEST_MAIN(TestSelection)
#include "test_selection.moc"
