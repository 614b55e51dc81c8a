#include "trackgrid.h"

#include "trackgridmodel.h"

#include <QEvent>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPalette>

#include <algorithm>
#include <climits>

namespace sondrel {

namespace {

constexpr int TwipsPerPixel = 15;
constexpr int DefaultColumnWidth = 65; // pixels
constexpr int RowHeight = 17;          // pixels

} // namespace

TrackGrid::TrackGrid(QWidget *parent) : QTableView(parent), m_model(new TrackGridModel(this))
{
    setModel(m_model);
    m_model->resize(2, 2);

    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab and Shift+Tab move the focus on to the window's next control, not between cells.
    setTabKeyNavigation(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);

    // Dark grey behind the cells, light grey lines between them.
    QPalette colours = palette();
    // (The grid lines take the palette's mid colour; a style sheet would cost the cells
    // their font.)
    colours.setColor(QPalette::Base, QColor(0x80, 0x80, 0x80));
    colours.setColor(QPalette::Mid, QColor(0xC0, 0xC0, 0xC0));
    setPalette(colours);

    QHeaderView *columns = horizontalHeader();
    columns->setDefaultSectionSize(DefaultColumnWidth);
    columns->setMinimumSectionSize(1);
    columns->setHighlightSections(false);
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->setFixedHeight(RowHeight + 1);
    // A header click only moves the current column; a double-click sorts by it.
    disconnect(columns, &QHeaderView::sectionPressed, this, nullptr);
    disconnect(columns, &QHeaderView::sectionEntered, this, nullptr);
    connect(columns, &QHeaderView::sectionDoubleClicked, this, [this](int section) {
        setCol(section + 1);
        Q_EMIT DblClick();
    });

    QHeaderView *rows = verticalHeader();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(RowHeight);
    rows->setMinimumSectionSize(1);
    rows->setHighlightSections(false);

    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex &index) {
        if (index.isValid())
            Q_EMIT DblClick();
    });
}

TrackGrid::~TrackGrid() = default;

int TrackGrid::Rows() const
{
    return m_model->gridRows();
}

void TrackGrid::setRows(int rows)
{
    const RowRange range = rowRange(); // a reset of the model drops the view's selection
    m_model->resize(std::max(rows, 1), m_model->gridCols());
    select(range.row, range.rowSel);
}

void TrackGrid::setSource(std::shared_ptr<const TrackGridSource> source)
{
    const RowRange range = rowRange();
    m_model->setSource(std::move(source));
    select(range.row, range.rowSel);
}

void TrackGrid::filterRows(const std::function<bool(int sourceRow)> &keep, bool narrowing)
{
    const RowRange range = rowRange();
    m_model->filter(keep, narrowing);
    select(range.row, range.rowSel);
}

void TrackGrid::filterRowsInOrder(const std::vector<int> &rows,
                                  const std::function<bool(int sourceRow)> &keep)
{
    const RowRange range = rowRange();
    m_model->filterInOrder(rows, keep);
    select(range.row, range.rowSel);
}

int TrackGrid::Cols() const
{
    return m_model->gridCols();
}

void TrackGrid::setCols(int cols)
{
    const RowRange range = rowRange();
    m_model->resize(m_model->gridRows(), std::max(cols, 1));
    m_col = std::min(m_col, Cols() - 1);
    select(range.row, range.rowSel);
}

void TrackGrid::setFixedRows(int rows)
{
    Q_ASSERT(rows == 1);
    Q_UNUSED(rows);
}

void TrackGrid::setRow(int row)
{
    select(row, row);
}

void TrackGrid::setCol(int col)
{
    m_col = std::clamp(col, 0, Cols() - 1);
    const RowRange range = rowRange();
    select(range.row, range.rowSel);
}

void TrackGrid::setRowSel(int row)
{
    select(Row(), row);
}

QString TrackGrid::Text() const
{
    return m_model->cell(Row(), m_col);
}

void TrackGrid::setText(const QString &text)
{
    m_model->setCell(Row(), m_col, text);
}

QString TrackGrid::TextMatrix(int row, int col) const
{
    return m_model->cell(row, col);
}

void TrackGrid::setTextMatrix(int row, int col, const QString &text)
{
    m_model->setCell(row, col, text);
}

int TrackGrid::ColWidth(int col) const
{
    const int pixels = col == 0 ? verticalHeader()->width() : columnWidth(col - 1);
    return pixels * TwipsPerPixel;
}

void TrackGrid::setColWidth(int col, int twips)
{
    const int pixels = (twips + TwipsPerPixel / 2) / TwipsPerPixel;
    if (col == 0)
        verticalHeader()->setFixedWidth(pixels);
    else
        setColumnWidth(col - 1, pixels);
}

void TrackGrid::setSort(int order)
{
    if (order != 1)
        return;
    // The selected rows would move with their data; Row and RowSel stay where they are.
    const RowRange range = rowRange();
    m_model->sortByColumn(m_col);
    select(range.row, range.rowSel);
}

void TrackGrid::SetFocus()
{
    setFocus(Qt::OtherFocusReason);
}

TrackGrid::Batch::Batch(TrackGrid &grid) : m_grid(grid)
{
    m_grid.m_model->holdBack();
}

TrackGrid::Batch::~Batch()
{
    m_grid.m_model->release();
}

TrackGrid::RowRange TrackGrid::rowRange() const
{
    const QItemSelectionModel *selection = selectionModel();
    if (m_onHeader || !selection || Rows() <= 1)
        return {};
    const QModelIndex current = selection->currentIndex();
    const QItemSelection ranges = selection->selection();
    if (ranges.isEmpty()) {
        const int row = current.isValid() ? current.row() + 1 : 0;
        return {row, row};
    }
    int top = INT_MAX;
    int bottom = -1;
    for (const QItemSelectionRange &range : ranges) {
        top = std::min(top, range.top() + 1);
        bottom = std::max(bottom, range.bottom() + 1);
    }
    // The current cell is the end the user moved last; the anchor is the other end.
    if (current.isValid() && current.row() + 1 == top && top != bottom)
        return {bottom, top};
    return {top, bottom};
}

void TrackGrid::select(int row, int rowSel)
{
    QItemSelectionModel *selection = selectionModel();
    if (!selection)
        return;
    row = clampRow(row);
    rowSel = clampRow(rowSel);
    m_selecting = true;
    if (row >= 1 && rowSel >= 1 && Cols() > 1) {
        m_onHeader = false;
        const int col = std::max(m_col, 1) - 1;
        selection->setCurrentIndex(m_model->index(rowSel - 1, col), QItemSelectionModel::NoUpdate);
        selection->select(QItemSelection(m_model->index(std::min(row, rowSel) - 1, 0),
                                         m_model->index(std::max(row, rowSel) - 1, Cols() - 2)),
                          QItemSelectionModel::ClearAndSelect);
    } else {
        m_onHeader = true;
        selection->clear();
    }
    m_selecting = false;
}

void TrackGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTableView::currentChanged(current, previous);
    if (current.row() != previous.row())
        Q_EMIT RowColChange();
    if (m_selecting || !current.isValid())
        return;
    m_col = current.column() + 1;
    m_onHeader = false;
}

void TrackGrid::selectionChanged(const QItemSelection &selected, const QItemSelection &deselected)
{
    QTableView::selectionChanged(selected, deselected);
    if (m_selecting)
        return;
    if (!selectionModel()->selection().isEmpty()) {
        m_onHeader = false;
        return;
    }
    // A click beside the rows clears the view's selection; the range stays as it was.
    if (m_onHeader || Rows() <= 1 || deselected.isEmpty())
        return;
    int top = INT_MAX;
    int bottom = -1;
    for (const QItemSelectionRange &range : deselected) {
        top = std::min(top, range.top() + 1);
        bottom = std::max(bottom, range.bottom() + 1);
    }
    const QModelIndex current = selectionModel()->currentIndex();
    if (current.isValid() && current.row() + 1 == top)
        select(bottom, top);
    else
        select(top, bottom);
}

namespace {

// The selection is one range: Ctrl, which would add to it, is dropped.
void withoutControl(QMouseEvent *event)
{
    if (event->modifiers().testFlag(Qt::ControlModifier))
        event->setModifiers(event->modifiers() & ~Qt::ControlModifier);
}

} // namespace

void TrackGrid::mousePressEvent(QMouseEvent *event)
{
    withoutControl(event);
    QTableView::mousePressEvent(event);
}

void TrackGrid::mouseMoveEvent(QMouseEvent *event)
{
    withoutControl(event);
    QTableView::mouseMoveEvent(event);
}

void TrackGrid::mouseReleaseEvent(QMouseEvent *event)
{
    withoutControl(event);
    QTableView::mouseReleaseEvent(event);
}

void TrackGrid::mouseDoubleClickEvent(QMouseEvent *event)
{
    withoutControl(event);
    QTableView::mouseDoubleClickEvent(event);
}

int TrackGrid::clampRow(int row) const
{
    return std::clamp(row, 0, Rows() - 1);
}

} // namespace sondrel
