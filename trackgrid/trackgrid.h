#pragma once

#include <QTableView>

#include <functional>
#include <memory>
#include <vector>

#include "trackgrid_export.h"

namespace sondrel {

class TrackGridModel;
class TrackGridSource;

// The track grid: a table of text cells addressed by row and column from 0. Row 0 is
// the one fixed (header) row, column 0 the one fixed column; the data rows start at 1.
// The current cell is (Row, Col); the row selection runs from Row to RowSel, in either
// order. The selection lives in one place, the view's selection model: Row and RowSel
// are read from what the view highlights, and writing them changes the highlight, so
// that the rows shown selected are always exactly the rows from Row to RowSel. A click
// with Ctrl is a plain click (the selection is one range). Built over a compact model,
// so that tens of thousands of rows fill and sort in a fraction of a second.
//
// The data rows are either written cell by cell (setRows, TextMatrix) or the rows of a
// source (setSource) whose cells are made only when they are drawn or read; the model
// (gridModel) maps shown rows to source rows and can show a filtered part of them.
class TRACKGRID_EXPORT TrackGrid : public QTableView
{
    Q_OBJECT

public:
    explicit TrackGrid(QWidget *parent = nullptr);
    ~TrackGrid() override;

    // Row count including the header row. Writing 1 drops every data row; writing
    // n + 1 gives n empty data rows.
    int Rows() const;
    void setRows(int rows);
    // Shows the rows of `source` (1.. in the source's order, unsorted and unfiltered),
    // nothing written into them. Writing Rows afterwards drops the source.
    void setSource(std::shared_ptr<const TrackGridSource> source);
    // Shows only the rows `keep` accepts (by source row); see TrackGridModel::filter.
    // Row and RowSel stay within the rows shown.
    void filterRows(const std::function<bool(int sourceRow)> &keep, bool narrowing = false);
    // The same over `rows`, shown in the order given; see TrackGridModel::filterInOrder.
    void filterRowsInOrder(const std::vector<int> &rows,
                           const std::function<bool(int sourceRow)> &keep);
    // The model behind the grid: shown rows to source rows, the whole sorted order.
    TrackGridModel *gridModel() const { return m_model; }
    int Cols() const;
    void setCols(int cols);
    // The grid always has exactly one fixed row; only 1 is accepted.
    int FixedRows() const { return 1; }
    void setFixedRows(int rows);

    // The current cell; writing Row also makes the selection that one row. Row 0 (the
    // header) has no highlight.
    int Row() const { return rowRange().row; }
    void setRow(int row);
    int Col() const { return m_col; }
    void setCol(int col);
    // The other end of the row selection, where the view's current cell is.
    int RowSel() const { return rowRange().rowSel; }
    void setRowSel(int row);

    // The text of the current cell.
    QString Text() const;
    void setText(const QString &text);
    // The text of any cell, without moving the current cell.
    QString TextMatrix(int row, int col) const;
    void setTextMatrix(int row, int col, const QString &text);

    // Column width in twips.
    int ColWidth(int col) const;
    void setColWidth(int col, int twips);

    // Writing 1 sorts the data rows ascending by the current column: cells that read
    // as numbers numerically and before text, text without regard to letter case.
    // Rows move whole; equal keys keep their order.
    void setSort(int order);

    void SetFocus();

    // Holds back the view's updates while many cells are written; the view is
    // refreshed once when the last Batch ends.
    class Batch
    {
    public:
        explicit Batch(TrackGrid &grid);
        ~Batch();
        Batch(const Batch &) = delete;
        Batch &operator=(const Batch &) = delete;

    private:
        TrackGrid &m_grid;
    };

Q_SIGNALS:
    // The user double-clicked a cell (which became the current cell) or a column header.
    void DblClick();
    // The current cell moved (by the user or by the program).
    void RowColChange();

protected:
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void selectionChanged(const QItemSelection &selected,
                          const QItemSelection &deselected) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    struct RowRange
    {
        int row = 0;
        int rowSel = 0;
    };
    // Row and RowSel as the view's selection shows them.
    RowRange rowRange() const;
    // Makes the view highlight rows `row` to `rowSel` with the current cell on (rowSel, Col).
    void select(int row, int rowSel);
    int clampRow(int row) const;

    TrackGridModel *m_model;
    int m_col = 0;
    bool m_onHeader = true; // Row is the header row, which the view cannot highlight
    bool m_selecting = false;
};

} // namespace sondrel
