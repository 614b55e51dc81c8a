// The marks and the three running totals of the marked tracks, and the captions that
// show them, without a window.
#include "selection.h"
#include "testmain.h"
#include "tracktable.h"

#include <QTest>

#include <vector>

using namespace sondrel;

namespace {

// Data rows 1..n of a grid: the mark column and the ID column.
class Rows : public MarkableRows
{
public:
    explicit Rows(int n)
    {
        marks.resize(std::size_t(n) + 1);
        ids.resize(std::size_t(n) + 1);
        for (int r = 1; r <= n; ++r)
            ids[std::size_t(r)] = QString::number(r);
    }

    QString mark(int row) const override { return marks.at(std::size_t(row)); }
    void setMark(int row, const QString &mark) override
    {
        marks.at(std::size_t(row)) = mark;
        visited.push_back(row);
    }
    QString id(int row) const override { return ids.at(std::size_t(row)); }

    QStringList markedRows() const
    {
        QStringList out;
        for (std::size_t r = 1; r < marks.size(); ++r)
            if (marks[r] == "X")
                out << QString::number(r);
        return out;
    }

    std::vector<QString> marks;
    std::vector<QString> ids;
    std::vector<int> visited;
};

// Tracks 1..n with the given sizes (bytes) and durations (ms).
TrackTable tableOf(const std::vector<double> &sizes, const std::vector<double> &durations)
{
    TrackTable table;
    table.reset(int(sizes.size()));
    for (int k = 1; k <= table.count(); ++k) {
        table.track(k).id = k;
        table.track(k).size = sizes[std::size_t(k - 1)];
        table.track(k).duration = durations[std::size_t(k - 1)];
    }
    return table;
}

QString totalsText(const SelectionTotals &t)
{
    return t.countText() + "|" + t.bytesText() + "|" + t.millisecondsText();
}

} // namespace

class TestSelection : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void upAndDownRangesToggleTheSameRows_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::newRow("rows 3 to 5, dragged down") << 3 << 5;
        QTest::newRow("rows 3 to 5, dragged up") << 5 << 3;
    }

    void upAndDownRangesToggleTheSameRows()
    {
        QFETCH(int, from);
        QFETCH(int, to);
        const TrackTable table =
            tableOf({100, 200, 300, 400, 500, 600}, {1000, 2000, 3000, 4000, 5000, 6000});
        Rows rows(6);
        SelectionTotals totals;
        toggleMarks(rows, from, to, 6, table, totals);
        QCOMPARE(rows.markedRows(), (QStringList{"3", "4", "5"}));
        QCOMPARE(totalsText(totals), QString("3|1200|12000"));
        // Visited from the anchor towards the other end.
        const std::vector<int> down{3, 4, 5};
        const std::vector<int> up{5, 4, 3};
        QCOMPARE(rows.visited, from < to ? down : up);
    }

    void aMixedRangeFlipsEveryRow()
    {
        const TrackTable table = tableOf({10, 20, 30, 40, 50}, {1, 2, 3, 4, 5});
        Rows rows(5);
        SelectionTotals totals;
        toggleMarks(rows, 3, 3, 5, table, totals);
        toggleMarks(rows, 5, 5, 5, table, totals);
        QCOMPARE(totalsText(totals), QString("2|80|8"));

        toggleMarks(rows, 3, 5, 5, table, totals);
        QCOMPARE(rows.markedRows(), QStringList{"4"});
        QCOMPARE(totalsText(totals), QString("1|40|4"));
    }

    void anyNonEmptyMarkCountsAsMarked()
    {
        // Whatever else stands in the mark cell, the toggle takes the row off.
        const TrackTable table = tableOf({10, 20}, {1, 2});
        Rows rows(2);
        rows.marks[1] = " ";
        SelectionTotals totals{1, 10, 1};
        toggleMarks(rows, 1, 1, 2, table, totals);
        QCOMPARE(rows.marks[1], QString());
        QCOMPARE(totalsText(totals), QString("0|0|0"));
    }

    void negativeDurationsCountAsZero()
    {
        const TrackTable table = tableOf({5000000, 1000}, {-1, 3000});
        Rows rows(2);
        SelectionTotals totals;
        toggleMarks(rows, 2, 2, 2, table, totals);
        const QString before = totalsText(totals);
        toggleMarks(rows, 1, 1, 2, table, totals);
        QCOMPARE(totalsText(totals), QString("2|5001000|3000"));
        toggleMarks(rows, 1, 1, 2, table, totals);
        QCOMPARE(totalsText(totals), before);
        QCOMPARE(countedDuration(-2147483648.0), 0.0);
    }

    void wholeNumberTotalsStayExact()
    {
        // 40,000 tracks of the largest size the database can hold.
        const int n = 40000;
        TrackTable table;
        table.reset(n);
        for (int k = 1; k <= n; ++k) {
            table.track(k).id = k;
            table.track(k).size = 2147483647;
            table.track(k).duration = 2147483647;
        }
        Rows rows(n);
        SelectionTotals totals;
        toggleMarks(rows, 1, n, n, table, totals);
        QCOMPARE(totalsText(totals), QString("40000|85899345880000|85899345880000"));
        toggleMarks(rows, n, 1, n, table, totals);
        QCOMPARE(totalsText(totals), QString("0|0|0"));
    }

    void totalsReadTheHiddenLabelTexts()
    {
        const SelectionTotals totals = SelectionTotals::fromTexts("3", "5000000", "3725999");
        QCOMPARE(totals.count, 3.0);
        QCOMPARE(totals.bytes, 5000000.0);
        QCOMPARE(totals.milliseconds, 3725999.0);
        QCOMPARE(SelectionTotals{}.countText(), QString("0"));
    }

    void theHeaderRowIsNeverToggled_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<int>("lastRow");
        QTest::addColumn<QStringList>("marked");
        QTest::newRow("no data rows: current row is the header") << 0 << 0 << 0 << QStringList{};
        QTest::newRow("range reaching the header") << 0 << 2 << 3 << QStringList{"1", "2"};
    }

    void theHeaderRowIsNeverToggled()
    {
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(int, lastRow);
        QFETCH(QStringList, marked);
        const TrackTable table = tableOf({1, 2, 3}, {1, 2, 3});
        Rows rows(3);
        rows.marks[0] = "X"; // the header's caption of the mark column
        SelectionTotals totals;
        toggleMarks(rows, from, to, lastRow, table, totals);
        QCOMPARE(rows.marks[0], QString("X"));
        QCOMPARE(rows.markedRows(), marked);
        QCOMPARE(totals.count, double(marked.size()));
    }

    void anIdWithoutTrackCountsNothing()
    {
        const TrackTable table = tableOf({7}, {7});
        Rows rows(2);
        rows.ids[2] = "99";
        SelectionTotals totals;
        toggleMarks(rows, 1, 2, 2, table, totals);
        QCOMPARE(totalsText(totals), QString("2|7|7"));
    }

    void trackNumbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("k");
        QTest::newRow("plain") << "17" << 17;
        QTest::newRow("blank around") << " 17 " << 17;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("text") << "abc" << 0;
    }

    void trackNumbers()
    {
        QFETCH(QString, text);
        QFETCH(int, k);
        QCOMPARE(trackNumberOf(text), k);
    }

    void captions_data()
    {
        QTest::addColumn<QString>("count");
        QTest::addColumn<double>("bytes");
        QTest::addColumn<double>("milliseconds");
        QTest::addColumn<QStringList>("captions");

        QTest::newRow("start") << "0" << 0.0 << 0.0
                               << QStringList{" 0 file(s) selected", " 0 Kb = 0 Mb = 0 Gb",
                                              " 00:00:00 hh:mm:ss"};
        QTest::newRow("5000000 bytes")
            << "1" << 5000000.0 << 180000.0
            << QStringList{" 1 file(s) selected", " 4882.81 Kb = 4.77 Mb = 0 Gb",
                           " 00:03:00 hh:mm:ss"};
        QTest::newRow("fractions dropped")
            << "2" << 4608.0 << 3725999.0
            << QStringList{" 2 file(s) selected", " 4.5 Kb = 0 Mb = 0 Gb", " 01:02:05 hh:mm:ss"};
        QTest::newRow("100 hours")
            << "40000" << 1073741824.0 << 360000000.0
            << QStringList{" 40000 file(s) selected", " 1048576 Kb = 1024 Mb = 1 Gb",
                           " 100:00:00 hh:mm:ss"};
        QTest::newRow("half to even, down")
            << "1" << 128.0 << 0.0
            << QStringList{" 1 file(s) selected", " 0.12 Kb = 0 Mb = 0 Gb", " 00:00:00 hh:mm:ss"};
        QTest::newRow("half to even, up")
            << "1" << 384.0 << 999.0
            << QStringList{" 1 file(s) selected", " 0.38 Kb = 0 Mb = 0 Gb", " 00:00:00 hh:mm:ss"};
    }

    void captions()
    {
        QFETCH(QString, count);
        QFETCH(double, bytes);
        QFETCH(double, milliseconds);
        QFETCH(QStringList, captions);
        QCOMPARE(
            (QStringList{filesCaption(count), sizeCaption(bytes), durationCaption(milliseconds)}),
            captions);
    }
};

SONDREL_TEST_MAIN(TestSelection)
#include "test_selection.moc"
