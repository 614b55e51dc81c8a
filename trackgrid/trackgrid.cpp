#include "trackgrid.h"

#include "trackgridmodel.h"

#include <QEvent>
#include <QHeaderView>
#include <QPalette>

#include <algorithm>

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
    m_model->resize(std::max(rows, 1), m_model->gridCols());
    m_row = clampRow(m_row);
    m_rowSel = clampRow(m_rowSel);
    showCurrent();
}

int TrackGrid::Cols() const
{
    return m_model->gridCols();
}

void TrackGrid::setCols(int cols)
{
    m_model->resize(m_model->gridRows(), std::max(cols, 1));
    m_col = std::min(m_col, Cols() - 1);
    showCurrent();
}

void TrackGrid::setFixedRows(int rows)
{
    Q_ASSERT(rows == 1);
    Q_UNUSED(rows);
}

void TrackGrid::setRow(int row)
{
    m_row = m_rowSel = clampRow(row);
    showCurrent();
}

void TrackGrid::setCol(int col)
{
    m_col = std::clamp(col, 0, Cols() - 1);
    showCurrent();
}

void TrackGrid::setRowSel(int row)
{
    m_rowSel = clampRow(row);
    showCurrent();
}

QString TrackGrid::Text() const
{
    return m_model->cell(m_row, m_col);
}

void TrackGrid::setText(const QString &text)
{
    m_model->setCell(m_row, m_col, text);
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
    m_model->sortByColumn(m_col);
    showCurrent();
}

void TrackGrid::SetFocus()
{
    setFocus(Qt::OtherFocusReason);
}

TrackGrid::Batch::Batch(TrackGrid &grid) : m_grid(grid)
{
    ++m_grid.m_batchDepth;
    m_grid.m_model->holdBack();
}

TrackGrid::Batch::~Batch()
{
    --m_grid.m_batchDepth;
    m_grid.m_model->release();
    if (m_grid.m_batchDepth == 0)
        m_grid.showCurrent();
}

QItemSelectionModel::SelectionFlags TrackGrid::selectionCommand(const QModelIndex &index,
                                                                const QEvent *event) const
{
    const QItemSelectionModel::SelectionFlags flags = QTableView::selectionCommand(index, event);
    // A selection started afresh (a plain click or key) moves the anchor, Row; a
    // drag or a shift-click only moves the other end, RowSel.
    m_newAnchor = flags.testFlag(QItemSelectionModel::Clear);
    return flags;
}

void TrackGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTableView::currentChanged(current, previous);
    if (m_moving || !current.isValid())
        return;
    m_rowSel = current.row() + 1;
    m_col = current.column() + 1;
    if (m_newAnchor)
        m_row = m_rowSel;
    m_newAnchor = false;
}

int TrackGrid::clampRow(int row) const
{
    return std::clamp(row, 0, Rows() - 1);
}

// Shows the current cell and the row selection in the view.
void TrackGrid::showCurrent()
{
    if (m_batchDepth > 0 || !selectionModel())
        return;
    m_moving = true;
    QItemSelectionModel *selection = selectionModel();
    if (m_row >= 1 && m_rowSel >= 1 && Cols() > 1) {
        const int col = std::max(m_col, 1) - 1;
        const int top = std::min(m_row, m_rowSel) - 1;
        const int bottom = std::max(m_row, m_rowSel) - 1;
        selection->setCurrentIndex(m_model->index(m_rowSel - 1, col), QItemSelectionModel::NoUpdate);
        selection->select(QItemSelection(m_model->index(top, 0), m_model->index(bottom, Cols() - 2)),
                          QItemSelectionModel::ClearAndSelect);
    } else {
        selection->clear();
    }
    m_moving = false;
}

} // namespace sondrel
