#pragma once

#include <QLocale>
#include <QString>

#include "trackgrid_export.h"

namespace sondrel {

// What a grid cell sorts by: empty cells first, then numbers by value, then text without
// regard to letter case (texts that differ only in case: by their code units).
struct TRACKGRID_EXPORT GridSortKey
{
    enum Kind { Empty, Number, Text };

    Kind kind = Empty;
    double number = 0;
    QString text;

    static GridSortKey empty() { return {}; }
    static GridSortKey of(double number) { return {Number, number, QString()}; }
    // The key of a cell's text: empty; a number when the whole text reads as one in
    // `locale` or in the C locale; text otherwise.
    static GridSortKey of(const QString &text, const QLocale &locale);

    friend bool operator<(const GridSortKey &a, const GridSortKey &b)
    {
        if (a.kind != b.kind)
            return a.kind < b.kind;
        if (a.kind == Number)
            return a.number < b.number;
        if (a.kind == Text) {
            const int folded = a.text.compare(b.text, Qt::CaseInsensitive);
            return folded != 0 ? folded < 0 : a.text < b.text;
        }
        return false;
    }
};

// Where the grid's data rows come from when it shows a table it does not hold: the grid
// asks for a cell's text only when it draws the cell or a caller reads it, and stores
// only what is written into it (TextMatrix), which then stands in front of the source's
// text. Rows are the source's rows 0..rows() - 1; columns are the grid's (1 and up).
class TRACKGRID_EXPORT TrackGridSource
{
public:
    virtual ~TrackGridSource();

    virtual int rows() const = 0;
    // The text of source row `row` in grid column `col`; empty for a column it does not fill.
    virtual QString text(int row, int col) const = 0;
    // The key column `col` sorts by when it is not the key of the text (a number the text
    // shows in another form, say): sets `key` and returns true. False: the text's key.
    virtual bool sortKey(int row, int col, GridSortKey &key) const;
};

} // namespace sondrel
