#include "selectionaction.h"

#include "frmmain.h"
#include "totals.h"
#include "trackgrid.h"
#include "trackgridmodel.h"

#include <algorithm>
#include <vector>

namespace sondrel {

namespace {

enum { MarkColumn = 1, IdColumn = 2 };

const QString Marked = QStringLiteral("X");

// The track of a row of the grid's source: the number in its ID column, which is the
// source's own key of the column, so that the text is not made. 0 when it has none.
int trackOfSourceRow(const TrackGridSource &source, int sourceRow)
{
    GridSortKey key;
    if (source.sortKey(sourceRow, IdColumn, key) && key.kind == GridSortKey::Number)
        return int(key.number);
    return trackNumberOf(source.text(sourceRow, IdColumn));
}

} // namespace

int trackOfRow(const TrackGrid &grid, int r)
{
    const TrackGridModel &model = *grid.gridModel();
    if (model.source() && !model.isWritten(r, IdColumn))
        return trackOfSourceRow(*model.source(), model.sourceRow(r));
    return trackNumberOf(grid.TextMatrix(r, IdColumn));
}

namespace {

// Writes the marks of `tracks` into the mark column of `rows`, its shown rows.
void showMarks(TrackGrid &grid, const AppState &state, const std::vector<int> &rows,
               const std::vector<int> &tracks)
{
    const TrackGrid::Batch batch(grid);
    for (std::size_t i = 0; i < rows.size(); ++i)
        grid.setTextMatrix(rows[i], MarkColumn, state.isMarked(tracks[i]) ? Marked : QString());
}

} // namespace

void toggleSelectedRows(FrmMain &window)
{
    TrackGrid &grid = *window.MSFlexGridSoundList;
    const int lastRow = grid.Rows() - 1;
    if (lastRow < 1) { // no data rows: nothing to mark, the totals stay
        grid.SetFocus();
        return;
    }
    // The rows from Row towards RowSel, each toggled once, in that order.
    const int from = std::clamp(grid.Row(), 1, lastRow);
    const int to = std::clamp(grid.RowSel(), 1, lastRow);
    const int step = from > to ? -1 : 1;
    std::vector<int> rows;
    std::vector<int> tracks;
    for (int r = from;; r += step) {
        rows.push_back(r);
        tracks.push_back(trackOfRow(grid, r));
        if (r == to)
            break;
    }
    AppState &state = window.state();
    state.toggleMarks(tracks);
    showMarks(grid, state, rows, tracks);
    grid.SetFocus();
}

void markShownRows(FrmMain &window, bool marked)
{
    TrackGrid &grid = *window.MSFlexGridSoundList;
    std::vector<int> rows;
    std::vector<int> tracks;
    rows.reserve(std::size_t(std::max(grid.Rows() - 1, 0)));
    tracks.reserve(rows.capacity());
    for (int r = 1; r < grid.Rows(); ++r) {
        rows.push_back(r);
        tracks.push_back(trackOfRow(grid, r));
    }
    AppState &state = window.state();
    state.setMarks(tracks, marked);
    showMarks(grid, state, rows, tracks);
}

std::vector<int> markedTracksInListOrder(const FrmMain &window)
{
    const TrackGrid &grid = *window.MSFlexGridSoundList;
    const AppState &state = window.state();
    std::vector<int> marked;
    marked.reserve(std::size_t(state.totals().count));
    const TrackGridModel &model = *grid.gridModel();
    if (const TrackGridSource *source = model.source()) {
        for (const int sourceRow : model.sortedRows()) {
            const int k = trackOfSourceRow(*source, sourceRow);
            if (state.isMarked(k))
                marked.push_back(k);
        }
        return marked;
    }
    // Rows written cell by cell: all of them shown.
    for (int r = 1; r < grid.Rows(); ++r) {
        const int k = trackOfRow(grid, r);
        if (state.isMarked(k))
            marked.push_back(k);
    }
    return marked;
}

void sortTrackGrid(FrmMain &window)
{
    window.MSFlexGridSoundList->setSort(1);
    window.finder().sorted();
}

} // namespace sondrel
