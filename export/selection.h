#pragma once

#include <QString>

namespace sondrel {

class TrackTable;

// The mark column and the ID column of the track grid's data rows, as the selection
// works on them. The grid's row 0 is its header row and is never offered.
class MarkableRows
{
public:
    virtual ~MarkableRows() = default;
    // The text of the row's mark cell: "X" when marked, empty when not.
    virtual QString mark(int row) const = 0;
    // Writes the row's mark cell.
    virtual void setMark(int row, const QString &mark) = 0;
    // The text of the row's ID cell, the track's number in the track table.
    virtual QString id(int row) const = 0;
};

// The three running totals of the marked tracks: how many, their bytes and their
// milliseconds (negative durations counted as 0).
struct SelectionTotals
{
    double count = 0;
    double bytes = 0;
    double milliseconds = 0;

    // The totals as the hidden total labels hold them (general number text).
    static SelectionTotals fromTexts(const QString &count, const QString &bytes,
                                     const QString &milliseconds);
    QString countText() const;
    QString bytesText() const;
    QString millisecondsText() const;
};

// The track number in an ID cell; text that is no whole number gives 0.
int trackNumberOf(const QString &idText);

// A track's duration as it counts in the duration total: never below 0.
double countedDuration(double milliseconds);

// Toggles the mark of every data row from `row` to `rowSel` (either order; the rows are
// visited from `row` towards `rowSel`) and keeps the totals in step: an empty mark
// becomes "X" and adds the track, any other mark becomes empty and takes it off again.
// Rows outside 1..lastRow (the header row, for a grid without data rows) are left alone.
// A row whose ID names no track counts as a track of 0 bytes and 0 milliseconds.
void toggleMarks(MarkableRows &rows, int row, int rowSel, int lastRow, const TrackTable &table,
                 SelectionTotals &totals);

// The captions of the three shown total labels.
// " <count> file(s) selected", from the count's text as the hidden label holds it.
QString filesCaption(const QString &countText);
// " K Kb = M Mb = G Gb", each quotient rounded to two decimals (ties to even) and written
// in general number form.
QString sizeCaption(double bytes);
// " hh:mm:ss hh:mm:ss" of the milliseconds, fractions of a second dropped.
QString durationCaption(double milliseconds);

} // namespace sondrel
