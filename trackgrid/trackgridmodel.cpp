#include "trackgridmodel.h"

#include <QGuiApplication>
#include <QLocale>
#include <QPalette>

#include <algorithm>
#include <numeric>

namespace sondrel {

TrackGridModel::TrackGridModel(QObject *parent) : QAbstractTableModel(parent) {}

void TrackGridModel::resize(int rows, int cols)
{
    rows = std::max(rows, 0);
    cols = std::max(cols, 0);
    if (rows == m_rows && cols == m_cols)
        return;
    beginResetModel();
    if (cols == m_cols) {
        m_cells.resize(std::size_t(rows) * cols);
    } else {
        std::vector<QString> cells(std::size_t(rows) * cols);
        for (int r = 0; r < std::min(rows, m_rows); ++r)
            for (int c = 0; c < std::min(cols, m_cols); ++c)
                cells[std::size_t(r) * cols + c] = std::move(m_cells[offset(r, c)]);
        m_cells = std::move(cells);
    }
    m_rows = rows;
    m_cols = cols;
    endResetModel();
}

QString TrackGridModel::cell(int row, int col) const
{
    if (row < 0 || row >= m_rows || col < 0 || col >= m_cols)
        return QString();
    return m_cells[offset(row, col)];
}

bool TrackGridModel::setCell(int row, int col, const QString &text)
{
    if (row < 0 || row >= m_rows || col < 0 || col >= m_cols)
        return false;
    m_cells[offset(row, col)] = text;
    if (m_held) {
        m_changedWhileHeld = true;
    } else if (row == 0 && col > 0) {
        Q_EMIT headerDataChanged(Qt::Horizontal, col - 1, col - 1);
    } else if (col == 0 && row > 0) {
        Q_EMIT headerDataChanged(Qt::Vertical, row - 1, row - 1);
    } else if (row > 0 && col > 0) {
        const QModelIndex at = index(row - 1, col - 1);
        Q_EMIT dataChanged(at, at, {Qt::DisplayRole});
    }
    return true;
}

void TrackGridModel::release()
{
    if (--m_held > 0 || !m_changedWhileHeld)
        return;
    m_changedWhileHeld = false;
    if (m_cols > 1)
        Q_EMIT headerDataChanged(Qt::Horizontal, 0, m_cols - 2);
    if (m_rows > 1 && m_cols > 1)
        Q_EMIT dataChanged(index(0, 0), index(m_rows - 2, m_cols - 2), {Qt::DisplayRole});
}

namespace {

// A cell's sort key: empty cells first, then numbers by value, then text.
struct SortKey
{
    enum Kind { Empty, Number, Text } kind;
    double number = 0;
    QString text;
};

SortKey keyOf(const QString &cell, const QLocale &locale)
{
    if (cell.isEmpty())
        return {SortKey::Empty, 0, QString()};
    // Most cells are plain text: only one that starts like a number is parsed.
    const QChar first = cell.front();
    if (!first.isDigit() && first != u'-' && first != u'+' && first != u'.' &&
        first != locale.decimalPoint().front() && !first.isSpace())
        return {SortKey::Text, 0, cell};
    bool ok = false;
    double value = locale.toDouble(cell, &ok);
    if (!ok)
        value = QLocale::c().toDouble(cell, &ok);
    if (ok)
        return {SortKey::Number, value, QString()};
    return {SortKey::Text, 0, cell};
}

bool keyLess(const SortKey &a, const SortKey &b)
{
    if (a.kind != b.kind)
        return a.kind < b.kind;
    if (a.kind == SortKey::Number)
        return a.number < b.number;
    if (a.kind == SortKey::Text) {
        const int folded = a.text.compare(b.text, Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : a.text < b.text;
    }
    return false;
}

} // namespace

void TrackGridModel::sortByColumn(int col)
{
    if (col < 0 || col >= m_cols || m_rows <= 2)
        return;
    const int dataRows = m_rows - 1;
    const QLocale locale;
    std::vector<SortKey> keys;
    keys.reserve(std::size_t(dataRows));
    for (int r = 1; r < m_rows; ++r)
        keys.push_back(keyOf(m_cells[offset(r, col)], locale));
    std::vector<int> order(static_cast<std::size_t>(dataRows));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return keyLess(keys[std::size_t(a)], keys[std::size_t(b)]); });

    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<QString> sorted(m_cells.size());
    for (int c = 0; c < m_cols; ++c)
        sorted[offset(0, c)] = std::move(m_cells[offset(0, c)]);
    for (int r = 0; r < dataRows; ++r)
        for (int c = 0; c < m_cols; ++c)
            sorted[offset(r + 1, c)] = std::move(m_cells[offset(order[std::size_t(r)] + 1, c)]);
    m_cells = std::move(sorted);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int TrackGridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : std::max(m_rows - 1, 0);
}

int TrackGridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : std::max(m_cols - 1, 0);
}

QVariant TrackGridModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return m_cells[offset(index.row() + 1, index.column() + 1)];
    case Qt::BackgroundRole:
        // Cells in the window colour; the grid behind them is dark grey.
        return QGuiApplication::palette().brush(QPalette::Base);
    default:
        return {};
    }
}

QVariant TrackGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (orientation == Qt::Horizontal)
        return cell(0, section + 1);
    return cell(section + 1, 0);
}

} // namespace sondrel
