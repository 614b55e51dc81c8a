#include "testmain.h"
#include "trackgrid.h"

#include <QAbstractItemModelTester>
#include <QAccessible>
#include <QHeaderView>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>

using namespace sondrel;

namespace {

// Clicks a data cell of the grid (row and column as the grid counts them).
void clickCell(TrackGrid &grid, int row, int col, Qt::KeyboardModifiers modifiers = {})
{
    const QModelIndex index = grid.model()->index(row - 1, col - 1);
    grid.scrollTo(index);
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, modifiers, grid.visualRect(index).center());
}

QStringList column(const TrackGrid &grid, int col)
{
    QStringList out;
    for (int r = 1; r < grid.Rows(); ++r)
        out << grid.TextMatrix(r, col);
    return out;
}

void fill(TrackGrid &grid, const QStringList &rows) // "a|b|c" per row, from column 1
{
    TrackGrid::Batch batch(grid);
    grid.setRows(int(rows.size()) + 1);
    for (int r = 0; r < rows.size(); ++r) {
        const QStringList cells = rows[r].split(QLatin1Char('|'));
        for (int c = 0; c < cells.size(); ++c)
            grid.setTextMatrix(r + 1, c + 1, cells[c]);
    }
}

} // namespace

class TestTrackGrid : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The model stays a sound item model through a batch fill, a sort and a reset.
    void modelHoldsThroughFillSortAndReset()
    {
        TrackGrid grid;
        QAbstractItemModelTester tester(grid.model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        grid.setCols(4);
        grid.setRows(51);
        {
            const TrackGrid::Batch batch(grid);
            for (int r = 1; r <= 50; ++r) {
                grid.setTextMatrix(r, 2, QString::number(r));
                grid.setTextMatrix(r, 3,
                                   QStringLiteral("T%1").arg(51 - r, 2, 10, QLatin1Char('0')));
            }
        }
        grid.setRow(5);
        grid.setCol(3);
        grid.setSort(1);
        QCOMPARE(column(grid, 3).first(), QStringLiteral("T01"));
        QCOMPARE(column(grid, 2).first(), QStringLiteral("50"));
        QCOMPARE(column(grid, 2).last(), QStringLiteral("1"));
        grid.setCol(2);
        grid.setSort(1);
        QCOMPARE(column(grid, 2).mid(0, 3), (QStringList{"1", "2", "3"}));
        grid.setRows(1);
        QCOMPARE(grid.model()->rowCount(), 0);
        grid.setRows(3);
        grid.setSort(1); // sorting rows of empty cells changes nothing
        QCOMPARE(column(grid, 2), (QStringList{"", ""}));
    }

    void cellsAndHeader()
    {
        TrackGrid grid;
        QAbstractItemModelTester tester(grid.model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        grid.setCols(4);
        grid.setRows(1);
        QCOMPARE(grid.Rows(), 1);
        QCOMPARE(grid.model()->rowCount(), 0);
        grid.setRow(0);
        grid.setCol(2);
        grid.setText(QStringLiteral("Title"));
        QCOMPARE(grid.TextMatrix(0, 2), QStringLiteral("Title"));
        QCOMPARE(grid.model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Title"));

        grid.setRows(4);
        QCOMPARE(grid.model()->rowCount(), 3);
        grid.setTextMatrix(3, 3, QStringLiteral("c"));
        QCOMPARE(grid.model()->index(2, 2).data().toString(), QStringLiteral("c"));
        QCOMPARE(grid.TextMatrix(3, 1), QString());
        QCOMPARE(grid.TextMatrix(9, 9), QString()); // outside: empty, no crash

        grid.setRows(1); // drops every data row and its texts
        grid.setRows(4);
        QCOMPARE(grid.TextMatrix(3, 3), QString());
        QCOMPARE(grid.TextMatrix(0, 2), QStringLiteral("Title"));
    }

    void columnWidthsInTwips()
    {
        TrackGrid grid;
        grid.setCols(11);
        grid.setColWidth(0, 150);
        grid.setColWidth(1, 200);
        grid.setColWidth(2, 550);
        QCOMPARE(grid.ColWidth(0), 150);
        QCOMPARE(grid.columnWidth(0), 13);
        QCOMPARE(grid.ColWidth(2), 555); // whole pixels
    }

    void rowRangeFollowsTheUser()
    {
        TrackGrid grid;
        grid.resize(400, 300);
        grid.setCols(3);
        fill(grid, {"a|1", "b|2", "c|3", "d|4", "e|5", "f|6"});
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));

        clickCell(grid, 5, 2);
        QCOMPARE(grid.Row(), 5);
        QCOMPARE(grid.RowSel(), 5);
        QCOMPARE(grid.Col(), 2);

        clickCell(grid, 3, 1, Qt::ShiftModifier); // an upward range keeps its anchor
        QCOMPARE(grid.Row(), 5);
        QCOMPARE(grid.RowSel(), 3);
        QCOMPARE(grid.selectionModel()->selectedRows().size(), 3);

        clickCell(grid, 2, 2);
        QCOMPARE(grid.Row(), 2);
        QCOMPARE(grid.RowSel(), 2);

        grid.setRow(4);
        grid.setRowSel(6);
        QCOMPARE(grid.selectionModel()->selectedRows().size(), 3);
        grid.setRows(3);
        QCOMPARE(grid.Row(), 2);
        QCOMPARE(grid.RowSel(), 2);
        grid.setRows(1);
        QCOMPARE(grid.Row(), 0); // only the header is left
    }

    // What the grid highlights is exactly the range from Row to RowSel, whatever the
    // user did with the mouse and the keys.
    void highlightIsTheRowRange_data()
    {
        QTest::addColumn<QStringList>("gestures");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("rowSel");
        const auto row = [](const char *name, const QStringList &gestures, int from, int to) {
            QTest::newRow(name) << gestures << from << to;
        };
        row("click", {"click 4"}, 4, 4);
        row("shift-click downward", {"click 3", "shift 5"}, 3, 5);
        row("shift-click upward", {"click 5", "shift 3"}, 5, 3);
        row("click inside a range", {"click 3", "shift 5", "click 4"}, 4, 4);
        row("click on the range's anchor", {"click 3", "shift 5", "click 3"}, 3, 3);
        row("ctrl-click is a plain click", {"click 3", "shift 5", "ctrl 7"}, 7, 7);
        row("ctrl-click inside a range", {"click 3", "shift 5", "ctrl 4"}, 4, 4);
        row("shift+down twice", {"click 2", "shift+down", "shift+down"}, 2, 4);
        row("shift+up", {"click 5", "shift+up"}, 5, 4);
        row("down after a range", {"click 2", "shift 4", "down"}, 5, 5);
        row("ctrl+a", {"click 3", "ctrl+a"}, 1, 8);
        row("drag downward", {"drag 2 6"}, 2, 6);
        row("click below the last row keeps the range", {"click 3", "shift 5", "below"}, 3, 5);
        row("set by the program, then shift-click", {"set 5", "shift 7"}, 5, 7);
    }

    void highlightIsTheRowRange()
    {
        QFETCH(QStringList, gestures);
        QFETCH(int, row);
        QFETCH(int, rowSel);
        TrackGrid grid;
        grid.resize(400, 400);
        grid.setCols(3);
        fill(grid, {"a|1", "b|2", "c|3", "d|4", "e|5", "f|6", "g|7", "h|8"});
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        grid.setFocus();
        for (const QString &gesture : gestures) {
            const QStringList word = gesture.split(' ');
            if (word[0] == "click")
                clickCell(grid, word[1].toInt(), 2);
            else if (word[0] == "shift")
                clickCell(grid, word[1].toInt(), 2, Qt::ShiftModifier);
            else if (word[0] == "ctrl")
                clickCell(grid, word[1].toInt(), 2, Qt::ControlModifier);
            else if (word[0] == "set")
                grid.setRow(word[1].toInt());
            else if (word[0] == "shift+down")
                QTest::keyClick(&grid, Qt::Key_Down, Qt::ShiftModifier);
            else if (word[0] == "shift+up")
                QTest::keyClick(&grid, Qt::Key_Up, Qt::ShiftModifier);
            else if (word[0] == "down")
                QTest::keyClick(&grid, Qt::Key_Down);
            else if (word[0] == "ctrl+a")
                QTest::keyClick(&grid, Qt::Key_A, Qt::ControlModifier);
            else if (word[0] == "below")
                QTest::mouseClick(grid.viewport(), Qt::LeftButton, {},
                                  QPoint(20, grid.viewport()->height() - 5));
            else if (word[0] == "drag") {
                const auto centre = [&](int r) {
                    return grid.visualRect(grid.model()->index(r - 1, 1)).center();
                };
                QTest::mousePress(grid.viewport(), Qt::LeftButton, {}, centre(word[1].toInt()));
                for (int r = word[1].toInt() + 1; r <= word[2].toInt(); ++r)
                    QTest::mouseMove(grid.viewport(), centre(r));
                QTest::mouseRelease(grid.viewport(), Qt::LeftButton, {}, centre(word[2].toInt()));
            }
        }
        QCOMPARE(grid.Row(), row);
        QCOMPARE(grid.RowSel(), rowSel);
        QList<int> highlighted;
        for (const QModelIndex &index : grid.selectionModel()->selectedRows())
            highlighted << index.row() + 1;
        std::sort(highlighted.begin(), highlighted.end());
        QList<int> range;
        for (int r = std::min(row, rowSel); r <= std::max(row, rowSel); ++r)
            range << r;
        QCOMPARE(highlighted, range);
    }

    void sortsGenerically_data()
    {
        QTest::addColumn<QStringList>("cells");
        QTest::addColumn<QStringList>("sorted");
        QTest::newRow("numbers by value")
            << QStringList{"10", "9", "100", "-1"} << QStringList{"-1", "9", "10", "100"};
        QTest::newRow("grouped numbers") << QStringList{"1,024.00", "512.50", "4.00"}
                                         << QStringList{"4.00", "512.50", "1,024.00"};
        QTest::newRow("text without case, empty first, numbers before text")
            << QStringList{"beta", "Alpha", "", "7", "alpha"}
            << QStringList{"", "7", "Alpha", "alpha", "beta"};
        QTest::newRow("durations as text") << QStringList{"00:10:00", "N.A.", "00:02:00"}
                                           << QStringList{"00:02:00", "00:10:00", "N.A."};
    }

    void sortsGenerically()
    {
        QFETCH(QStringList, cells);
        QFETCH(QStringList, sorted);
        TrackGrid grid;
        grid.setCols(3);
        QStringList rows;
        for (int i = 0; i < cells.size(); ++i)
            rows << QStringLiteral("%1|%2").arg(i + 1).arg(cells[i]);
        fill(grid, rows);
        grid.setRow(1);
        grid.setCol(2);
        grid.setSort(1);
        QCOMPARE(column(grid, 2), sorted);
        // Rows move whole: each first cell still belongs to its second cell.
        for (int r = 1; r < grid.Rows(); ++r)
            QCOMPARE(grid.TextMatrix(r, 2), cells[grid.TextMatrix(r, 1).toInt() - 1]);
    }

    void sortIsStable()
    {
        TrackGrid grid;
        grid.setCols(3);
        fill(grid, {"1|x", "2|y", "3|x", "4|y", "5|x"});
        grid.setCol(2);
        grid.setSort(1);
        QCOMPARE(column(grid, 1), (QStringList{"1", "3", "5", "2", "4"}));
    }

    // Screen readers and automated checks read cells and column headers through the
    // grid's accessible table.
    void accessibleTable()
    {
        TrackGrid grid;
        grid.setCols(3);
        grid.setTextMatrix(0, 1, "Title");
        grid.setTextMatrix(0, 2, "Artist");
        fill(grid, {"Song|Band"});
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        QAccessibleInterface *view = QAccessible::queryAccessibleInterface(&grid);
        QVERIFY(view);
        QAccessibleTableInterface *table = view->tableInterface();
        QVERIFY(table);
        QCOMPARE(table->rowCount(), 1);
        QCOMPARE(table->columnCount(), 2);
        QAccessibleInterface *cell = table->cellAt(0, 1);
        QVERIFY(cell);
        QCOMPARE(cell->text(QAccessible::Name), QString("Band"));
        QCOMPARE(table->columnDescription(0), QString("Title"));
    }

    void doubleClickSignals()
    {
        TrackGrid grid;
        grid.resize(400, 300);
        grid.setCols(3);
        fill(grid, {"b|1", "a|2"});
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        QSignalSpy spy(&grid, &TrackGrid::DblClick);
        const QModelIndex index = grid.model()->index(1, 1);
        // A real double-click is a press, a release and then the double-click event.
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, grid.visualRect(index).center());
        QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, grid.visualRect(index).center());
        QCOMPARE(spy.count(), 1);
        QCOMPARE(grid.Col(), 2);
        QCOMPARE(grid.Row(), 2);

        const int x = grid.horizontalHeader()->sectionViewportPosition(0) + 5;
        QTest::mouseDClick(grid.horizontalHeader()->viewport(), Qt::LeftButton, {}, QPoint(x, 5));
        QCOMPARE(spy.count(), 2);
        QCOMPARE(grid.Col(), 1);
    }
};

SONDREL_TEST_MAIN(TestTrackGrid)
#include "test_trackgrid.moc"
