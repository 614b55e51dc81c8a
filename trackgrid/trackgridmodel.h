#pragma once

#include "trackgridsource.h"

#include <QAbstractTableModel>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

#include "trackgrid_export.h"

namespace sondrel {

// The cells of the track grid. The model shows data rows 1.. as its rows and columns 1..
// as its columns; the header row (row 0) gives the horizontal header and the fixed column
// (column 0) the vertical one.
//
// The data rows are rows of a source (TrackGridSource), or plain rows without one. Each
// shown row stands for one source row: a row order over all source rows, which sorting
// permutes, and a filter that can narrow which of them are shown. A cell's text is the
// text written into it (setCell), else the source's; only written cells are stored, and a
// written cell moves with its source row.
class TRACKGRID_EXPORT TrackGridModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit TrackGridModel(QObject *parent = nullptr);
    ~TrackGridModel() override;

    // Rows shown, the header row included; columns, the fixed one included.
    int gridRows() const { return int(shown().size()) + 1; }
    int gridCols() const { return m_cols; }
    // A new row count drops the source, the sort and the filter: the cells of the first
    // rows (as shown) stay, the new rows are empty plain rows. 1 drops every data row.
    void resize(int rows, int cols);

    // Shows every row of `source` (none: no data row), in the source's order, unfiltered,
    // nothing written.
    void setSource(std::shared_ptr<const TrackGridSource> source);
    const TrackGridSource *source() const { return m_source.get(); }

    QString cell(int row, int col) const;
    // Returns false when the cell lies outside the grid.
    bool setCell(int row, int col, const QString &text);
    // True when the cell's text was written into it (setCell), not made by the source.
    bool isWritten(int row, int col) const;

    // The source row that shown row `row` (1..) stands for; -1 outside the data rows.
    int sourceRow(int row) const;
    // Every source row in the order of the whole list as it is sorted, shown or not.
    const std::vector<int> &sortedRows() const { return m_order; }
    // The source rows shown, in shown order (shown row r is element r - 1).
    const std::vector<int> &shownRows() const { return shown(); }

    // Shows only the source rows that `keep` accepts, in sorted order; an empty function
    // shows every row. With `narrowing`, only the rows shown now are asked (for a filter
    // that can only take rows away, such as one more character typed), which is quicker.
    void filter(const std::function<bool(int sourceRow)> &keep, bool narrowing = false);
    // The same over `rows` (source rows, each once), shown in the order given (a
    // playlist's, say) until the next sort, which puts them in the list's order.
    void filterInOrder(const std::vector<int> &rows,
                       const std::function<bool(int sourceRow)> &keep);
    bool filtered() const { return m_filtered; }

    // Ascending by one column, rows moving whole, equal keys keeping their order. The
    // whole list is sorted, the rows the filter hides too.
    void sortByColumn(int col);

    // While held back, cell writes emit nothing; release() refreshes every cell once.
    void holdBack() { ++m_held; }
    void release();

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    // The cells written into one column, by source row.
    struct Written
    {
        std::vector<QString> texts;
        std::vector<bool> set;
    };

    const std::vector<int> &shown() const { return m_filtered ? m_shown : m_order; }
    // Source rows 0..rows - 1 in order, nothing written, no filter.
    void resetRows(int rows);
    // Shows the rows of `candidates` that `keep` accepts (all without it), in that order.
    void show(const std::vector<int> &candidates, const std::function<bool(int sourceRow)> &keep);
    QString dataCell(int sourceRow, int col) const;
    GridSortKey keyOf(int sourceRow, int col, const QLocale &locale) const;

    std::shared_ptr<const TrackGridSource> m_source;
    int m_sourceRows = 0;
    int m_cols = 0;
    std::vector<QString> m_header;  // row 0, by column
    std::vector<Written> m_written; // by column; empty until the column is written
    std::vector<int> m_order;       // every source row, sorted
    std::vector<int> m_shown;       // the rows the filter keeps, in sorted order
    std::vector<bool> m_kept;       // by source row, while filtered
    bool m_filtered = false;
    int m_held = 0;
    bool m_changedWhileHeld = false;
};

} // namespace sondrel
