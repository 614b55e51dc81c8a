#include "trackgridmodel.h"

#include <QGuiApplication>
#include <QPalette>

#include <algorithm>
#include <numeric>

namespace sondrel {

TrackGridSource::~TrackGridSource() = default;

bool TrackGridSource::sortKey(int, int, GridSortKey &) const
{
    return false;
}

GridSortKey GridSortKey::of(const QString &text, const QLocale &locale)
{
    if (text.isEmpty())
        return {};
    // Most cells are plain text: only one that starts like a number is parsed.
    const QChar first = text.front();
    if (!first.isDigit() && first != u'-' && first != u'+' && first != u'.' &&
        first != locale.decimalPoint().front() && !first.isSpace())
        return {Text, 0, text};
    bool ok = false;
    double value = locale.toDouble(text, &ok);
    if (!ok)
        value = QLocale::c().toDouble(text, &ok);
    if (ok)
        return of(value);
    return {Text, 0, text};
}

TrackGridModel::TrackGridModel(QObject *parent) : QAbstractTableModel(parent) {}

TrackGridModel::~TrackGridModel() = default;

void TrackGridModel::resetRows(int rows)
{
    m_sourceRows = rows;
    m_order.resize(std::size_t(rows));
    std::iota(m_order.begin(), m_order.end(), 0);
    m_shown.clear();
    m_kept.clear();
    m_filtered = false;
    for (Written &column : m_written)
        column = Written();
}

void TrackGridModel::resize(int rows, int cols)
{
    rows = std::max(rows, 0);
    cols = std::max(cols, 0);
    const int dataRows = std::max(rows - 1, 0);
    // A filtered grid that shows as many rows as asked for still lets go of its source and
    // its hidden rows: a filter dropped later must not bring back rows of a source that has
    // gone.
    const bool rowsChange = dataRows != gridRows() - 1 || m_filtered;
    if (!rowsChange && cols == m_cols)
        return;
    beginResetModel();
    m_header.resize(std::size_t(cols));
    if (rowsChange) {
        // The cells of the rows that stay, as they show now, become written cells of
        // plain rows.
        const int kept = std::min(dataRows, gridRows() - 1);
        std::vector<Written> written(std::size_t(std::min(cols, m_cols)));
        for (int c = 0; c < int(written.size()); ++c) {
            if (!m_source && m_written[std::size_t(c)].set.empty())
                continue;
            Written &column = written[std::size_t(c)];
            column.texts.resize(std::size_t(dataRows));
            column.set.assign(std::size_t(dataRows), false);
            for (int r = 0; r < kept; ++r) {
                column.texts[std::size_t(r)] = cell(r + 1, c);
                column.set[std::size_t(r)] = true;
            }
        }
        m_source.reset();
        resetRows(dataRows);
        m_written = std::move(written);
    }
    m_written.resize(std::size_t(cols));
    m_cols = cols;
    endResetModel();
}

void TrackGridModel::setSource(std::shared_ptr<const TrackGridSource> source)
{
    beginResetModel();
    m_source = std::move(source);
    resetRows(m_source ? std::max(m_source->rows(), 0) : 0);
    endResetModel();
}

QString TrackGridModel::dataCell(int sourceRow, int col) const
{
    const Written &written = m_written[std::size_t(col)];
    if (!written.set.empty() && written.set[std::size_t(sourceRow)])
        return written.texts[std::size_t(sourceRow)];
    return m_source ? m_source->text(sourceRow, col) : QString();
}

QString TrackGridModel::cell(int row, int col) const
{
    if (row < 0 || row >= gridRows() || col < 0 || col >= m_cols)
        return QString();
    if (row == 0)
        return m_header[std::size_t(col)];
    return dataCell(shown()[std::size_t(row - 1)], col);
}

bool TrackGridModel::setCell(int row, int col, const QString &text)
{
    if (row < 0 || row >= gridRows() || col < 0 || col >= m_cols)
        return false;
    if (row == 0) {
        m_header[std::size_t(col)] = text;
    } else {
        Written &written = m_written[std::size_t(col)];
        if (written.set.empty()) {
            written.texts.resize(std::size_t(m_sourceRows));
            written.set.assign(std::size_t(m_sourceRows), false);
        }
        const std::size_t at = std::size_t(shown()[std::size_t(row - 1)]);
        written.texts[at] = text;
        written.set[at] = true;
    }
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

bool TrackGridModel::isWritten(int row, int col) const
{
    if (row < 1 || row >= gridRows() || col < 0 || col >= m_cols)
        return row == 0 && col >= 0 && col < m_cols;
    const Written &written = m_written[std::size_t(col)];
    return !written.set.empty() && written.set[std::size_t(shown()[std::size_t(row - 1)])];
}

int TrackGridModel::sourceRow(int row) const
{
    if (row < 1 || row >= gridRows())
        return -1;
    return shown()[std::size_t(row - 1)];
}

void TrackGridModel::filter(const std::function<bool(int sourceRow)> &keep, bool narrowing)
{
    if (!keep) {
        beginResetModel();
        m_filtered = false;
        m_shown.clear();
        m_kept.clear();
        endResetModel();
        return;
    }
    show(narrowing ? shown() : m_order, keep);
}

void TrackGridModel::filterInOrder(const std::vector<int> &rows,
                                   const std::function<bool(int sourceRow)> &keep)
{
    show(rows, keep);
}

void TrackGridModel::show(const std::vector<int> &candidates,
                          const std::function<bool(int sourceRow)> &keep)
{
    beginResetModel();
    std::vector<int> kept;
    kept.reserve(candidates.size());
    std::vector<bool> keptRows(std::size_t(m_sourceRows), false);
    for (const int r : candidates) {
        if (r < 0 || r >= m_sourceRows || keptRows[std::size_t(r)])
            continue;
        if (!keep || keep(r)) {
            kept.push_back(r);
            keptRows[std::size_t(r)] = true;
        }
    }
    // (The candidates may be the rows shown now: they are replaced only here.)
    m_shown = std::move(kept);
    m_kept = std::move(keptRows);
    m_filtered = true;
    endResetModel();
}

void TrackGridModel::release()
{
    if (--m_held > 0 || !m_changedWhileHeld)
        return;
    m_changedWhileHeld = false;
    const int rows = gridRows();
    if (m_cols > 1)
        Q_EMIT headerDataChanged(Qt::Horizontal, 0, m_cols - 2);
    if (rows > 1 && m_cols > 1)
        Q_EMIT dataChanged(index(0, 0), index(rows - 2, m_cols - 2), {Qt::DisplayRole});
}

GridSortKey TrackGridModel::keyOf(int sourceRow, int col, const QLocale &locale) const
{
    const Written &written = m_written[std::size_t(col)];
    if (!written.set.empty() && written.set[std::size_t(sourceRow)])
        return GridSortKey::of(written.texts[std::size_t(sourceRow)], locale);
    if (!m_source)
        return {};
    GridSortKey key;
    if (m_source->sortKey(sourceRow, col, key))
        return key;
    return GridSortKey::of(m_source->text(sourceRow, col), locale);
}

void TrackGridModel::sortByColumn(int col)
{
    if (col < 0 || col >= m_cols || m_sourceRows < 2)
        return;
    // The keys are made in the source's order (which reads the source in sequence), then
    // put in the list's present order and the positions sorted: the merging then reads
    // the keys mostly in sequence, whatever order the rows are in.
    const QLocale locale;
    const std::size_t n = m_order.size();
    std::vector<GridSortKey> bySource(n);
    for (std::size_t r = 0; r < n; ++r)
        bySource[r] = keyOf(int(r), col, locale);
    std::vector<GridSortKey> keys;
    keys.reserve(n);
    for (const int r : m_order)
        keys.push_back(std::move(bySource[std::size_t(r)]));
    bySource = {};
    std::vector<int> positions(n);
    std::iota(positions.begin(), positions.end(), 0);
    std::stable_sort(positions.begin(), positions.end(),
                     [&](int a, int b) { return keys[std::size_t(a)] < keys[std::size_t(b)]; });

    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> order(n);
    for (std::size_t i = 0; i < n; ++i)
        order[i] = m_order[std::size_t(positions[i])];
    m_order = std::move(order);
    if (m_filtered) {
        m_shown.clear();
        for (const int r : m_order)
            if (m_kept[std::size_t(r)])
                m_shown.push_back(r);
    }
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int TrackGridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : gridRows() - 1;
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
        return dataCell(shown()[std::size_t(index.row())], index.column() + 1);
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
