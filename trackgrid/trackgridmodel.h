#pragma once

#include <QAbstractTableModel>
#include <QString>

#include <vector>

namespace sondrel {

// The cells of the track grid, row-major, header row and fixed column included.
// The model shows data rows 1.. as its rows and columns 1.. as its columns; the
// header row gives the horizontal header and the fixed column the vertical one.
class TrackGridModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit TrackGridModel(QObject *parent = nullptr);

    int gridRows() const { return m_rows; }
    int gridCols() const { return m_cols; }
    void resize(int rows, int cols);

    QString cell(int row, int col) const;
    // Returns false when the cell lies outside the grid.
    bool setCell(int row, int col, const QString &text);

    // Ascending by one column, rows moving whole, equal keys keeping their order.
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
    std::size_t offset(int row, int col) const { return std::size_t(row) * m_cols + col; }

    int m_rows = 0;
    int m_cols = 0;
    std::vector<QString> m_cells;
    int m_held = 0;
    bool m_changedWhileHeld = false;
};

} // namespace sondrel
