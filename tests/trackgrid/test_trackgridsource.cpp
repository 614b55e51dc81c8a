#include "testmain.h"
#include "trackgrid.h"
#include "trackgridmodel.h"

#include <QAbstractItemModelTester>
#include <QTest>

#include <memory>

using namespace sondrel;

namespace {

// Five rows: ID (column 2), title (3) and a rating shown as stars (4) that sorts by its
// number of stars, empty first.
class Rows : public TrackGridSource
{
public:
    int rows() const override { return 5; }
    QString text(int row, int col) const override
    {
        static const char *const titles[] = {"b", "A", "", "c", "a"};
        switch (col) {
        case 2:
            return QString::number(row + 1);
        case 3:
            return QLatin1String(titles[row]);
        case 4:
            return QString(stars[row], QChar(0x2605));
        default:
            return QString();
        }
    }
    bool sortKey(int row, int col, GridSortKey &key) const override
    {
        if (col != 4)
            return false;
        key = stars[row] ? GridSortKey::of(double(stars[row])) : GridSortKey::empty();
        return true;
    }

private:
    const int stars[5] = {2, 0, 1, 3, 1};
};

// A grid of five columns over the five rows, its model checked at every change.
struct SourceGrid
{
    SourceGrid()
    {
        grid.setCols(5);
        grid.setSource(rows);
    }

    TrackGrid grid;
    QAbstractItemModelTester tester{grid.model(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest};
    std::shared_ptr<Rows> rows = std::make_shared<Rows>();
};

QStringList column(const TrackGrid &grid, int col)
{
    QStringList out;
    for (int r = 1; r < grid.Rows(); ++r)
        out << grid.TextMatrix(r, col);
    return out;
}

QStringList ids(const std::vector<int> &sourceRows)
{
    QStringList out;
    for (const int r : sourceRows)
        out << QString::number(r + 1);
    return out;
}

} // namespace

class TestTrackGridSource : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The shown rows and the whole sorted list after a filter and a sort; a mark written
    // into a row moves with it, and the hidden rows are sorted too.
    void sortsAndFiltersTheSourceRows_data()
    {
        QTest::addColumn<bool>("titledOnly"); // filter: rows with a title
        QTest::addColumn<bool>("thenOdd");    // narrowing: odd IDs of those
        QTest::addColumn<int>("sortColumn");
        QTest::addColumn<QStringList>("shown"); // IDs
        QTest::addColumn<QStringList>("sorted");
        QTest::addColumn<QStringList>("marks");
        QTest::newRow("by title: empty first, letter case aside")
            << false << false << 3 << QStringList{"3", "2", "5", "1", "4"}
            << QStringList{"3", "2", "5", "1", "4"} << QStringList{"", "", "", "X", ""};
        QTest::newRow("by stars: the source's key, empty first")
            << false << false << 4 << QStringList{"2", "3", "5", "1", "4"}
            << QStringList{"2", "3", "5", "1", "4"} << QStringList{"", "", "", "X", ""};
        QTest::newRow("by ID: numbers by value")
            << false << false << 2 << QStringList{"1", "2", "3", "4", "5"}
            << QStringList{"1", "2", "3", "4", "5"} << QStringList{"X", "", "", "", ""};
        QTest::newRow("filtered: the hidden row is sorted too")
            << true << false << 3 << QStringList{"2", "5", "1", "4"}
            << QStringList{"3", "2", "5", "1", "4"} << QStringList{"", "", "X", ""};
        QTest::newRow("narrowed") << true << true << 4 << QStringList{"5", "1"}
                                  << QStringList{"2", "3", "5", "1", "4"} << QStringList{"", "X"};
    }

    void sortsAndFiltersTheSourceRows()
    {
        QFETCH(bool, titledOnly);
        QFETCH(bool, thenOdd);
        QFETCH(int, sortColumn);
        SourceGrid shown;
        TrackGrid &grid = shown.grid;
        const std::shared_ptr<Rows> &rows = shown.rows;
        QCOMPARE(column(grid, 3), (QStringList{"b", "A", "", "c", "a"}));
        grid.setTextMatrix(1, 1, "X"); // ID 1
        if (titledOnly)
            grid.filterRows([&](int r) { return !rows->text(r, 3).isEmpty(); });
        if (thenOdd)
            grid.filterRows([](int r) { return r % 2 == 0; }, true);
        grid.setCol(sortColumn);
        grid.setSort(1);
        QTEST(column(grid, 2), "shown");
        QTEST(ids(grid.gridModel()->sortedRows()), "sorted");
        QTEST(column(grid, 1), "marks");
        QCOMPARE(ids(grid.gridModel()->shownRows()), column(grid, 2));
        grid.filterRows({}); // every row again, in the sorted order
        QTEST(column(grid, 2), "sorted");
    }

    // Rows shown in an order of their own (a playlist's): each once, rows the source
    // lacks passed over, the filter applied; narrowing keeps that order, a sort puts them
    // in the list's.
    void showsRowsInAGivenOrder()
    {
        SourceGrid shown;
        TrackGrid &grid = shown.grid;
        const std::shared_ptr<Rows> &rows = shown.rows;
        grid.filterRowsInOrder({3, 0, 3, 9, -1, 1, 2},
                               [&](int r) { return !rows->text(r, 3).isEmpty(); });
        QCOMPARE(column(grid, 2), (QStringList{"4", "1", "2"}));
        grid.filterRows([](int r) { return r != 0; }, true);
        QCOMPARE(column(grid, 2), (QStringList{"4", "2"}));
        grid.setCol(3);
        grid.setSort(1);
        QCOMPARE(column(grid, 2), (QStringList{"2", "4"}));
    }

    // What is written stands in front of the source; a new row count keeps the rows as
    // they show, without the source; one row drops them all.
    void writtenCellsAndRowCounts()
    {
        TrackGrid grid;
        grid.setCols(5);
        grid.setSource(std::make_shared<Rows>());
        grid.setTextMatrix(2, 3, "Written");
        grid.setCol(4);
        grid.setSort(1); // ID 2 (no stars) first
        QCOMPARE(grid.TextMatrix(1, 3), "Written");
        QCOMPARE(grid.gridModel()->sourceRow(1), 1);
        grid.setRows(3);
        QVERIFY(!grid.gridModel()->source());
        QCOMPARE(column(grid, 3), (QStringList{"Written", ""}));
        QCOMPARE(column(grid, 4), (QStringList{"", QString(QChar(0x2605))}));
        grid.setRows(1);
        QCOMPARE(grid.Rows(), 1);
        QCOMPARE(grid.gridModel()->sortedRows().size(), std::size_t(0));

        // Emptied while a filter shows no row: the filter dropped afterwards shows none.
        grid.setSource(std::make_shared<Rows>());
        grid.filterRows([](int) { return false; });
        grid.setRows(1);
        QVERIFY(!grid.gridModel()->source());
        grid.filterRows({});
        QCOMPARE(grid.Rows(), 1);
    }
};

SONDREL_TEST_MAIN(TestTrackGridSource)
#include "test_trackgridsource.moc"
