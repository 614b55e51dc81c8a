#include "selectionaction.h"

#include "frmmain.h"
#include "selection.h"
#include "trackgrid.h"
#include "trackgridmodel.h"

#include <algorithm>
#include <vector>

namespace sondrel {

namespace {

enum { MarkColumn = 1, IdColumn = 2 };

const QString Marked = QStringLiteral("X");

// The track a data row shows: the number in its ID column. For a row of the grid's
// source that number is the source's own key of the column, so the text is not made.
int trackOfRow(const TrackGrid &grid, int r)
{
    const TrackGridModel &model = *grid.gridModel();
    if (model.source() && !model.isWritten(r, IdColumn)) {
        GridSortKey key;
        if (model.source()->sortKey(model.sourceRow(r), IdColumn, key) &&
            key.kind == GridSortKey::Number)
            return int(key.number);
    }
    return trackNumberOf(grid.TextMatrix(r, IdColumn));
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
    {
        const TrackGrid::Batch batch(grid);
        for (std::size_t i = 0; i < rows.size(); ++i)
            grid.setTextMatrix(rows[i], MarkColumn, state.isMarked(tracks[i]) ? Marked : QString());
    }
    grid.SetFocus();
}

std::vector<int> markedTracksInGridOrder(const FrmMain &window)
{
    const TrackGrid &grid = *window.MSFlexGridSoundList;
    std::vector<int> marked;
    marked.reserve(std::size_t(window.state().totals().count));
    for (int r = 1; r < grid.Rows(); ++r) {
        const int k = trackOfRow(grid, r);
        if (window.state().isMarked(k))
            marked.push_back(k);
    }
    return marked;
}

void sortTrackGrid(FrmMain &window)
{
    window.MSFlexGridSoundList->setSort(1);
}

} // namespace sondrel
