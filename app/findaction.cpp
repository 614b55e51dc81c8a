#include "findaction.h"

#include "frmmain.h"
#include "trackfinder.h"
#include "trackgrid.h"
#include "trackgridmodel.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QSignalBlocker>

#include <algorithm>

namespace sondrel {

void showTrackListChoices(FrmMain &window)
{
    // The table as the grid shows it; none after a reset.
    const TrackTable *table =
        window.MSFlexGridSoundList->gridModel()->source() ? &window.trackTable() : nullptr;
    TrackFinder &finder = window.finder();
    finder.reset(table);
    {
        const QSignalBlocker quiet(window.CboPlaylist);
        window.CboPlaylist->clear();
        window.CboPlaylist->addItem(allTracksCaption(table ? table->count() : 0));
        if (table) {
            for (const Playlist &playlist : table->playlists())
                window.CboPlaylist->addItem(playlistCaption(playlist));
        }
        window.CboPlaylist->setCurrentIndex(0);
        // The list opens wide enough for long titles, whatever the box's width.
        QAbstractItemView *list = window.CboPlaylist->view();
        list->setMinimumWidth(list->sizeHintForColumn(0) +
                              list->verticalScrollBar()->sizeHint().width());
    }
    finder.setQuery(window.TxtFind->text());
    showFoundTracks(window);
}

void showFoundTracks(FrmMain &window, bool narrowing)
{
    TrackGrid &grid = *window.MSFlexGridSoundList;
    const TrackFinder &finder = window.finder();
    // Source row j - 1 is track j (see TrackTableCells).
    const auto keep = [&finder](int sourceRow) { return finder.shows(sourceRow + 1); };
    const TrackGridModel &model = *grid.gridModel();
    if (model.source()) {
        // The highlight stays on its track while that is shown, else goes to the first row.
        const int highlighted = model.sourceRow(grid.RowSel());
        if (!finder.filtering()) {
            if (model.filtered())
                grid.filterRows({});
        } else if (narrowing) {
            grid.filterRows(keep, true);
        } else if (finder.inPlaylistOrder()) {
            std::vector<int> rows;
            rows.reserve(finder.playlistTracks().size());
            for (const int k : finder.playlistTracks())
                rows.push_back(k - 1);
            grid.filterRowsInOrder(rows, keep);
        } else {
            grid.filterRows(keep);
        }
        const std::vector<int> &shown = model.shownRows();
        const auto at = std::find(shown.begin(), shown.end(), highlighted);
        if (!shown.empty())
            grid.setRow(at == shown.end() ? 1 : int(at - shown.begin()) + 1);
    }
    window.LblShown->setText(finder.filtering()
                                 ? shownCaption(grid.Rows() - 1, window.trackTable().count())
                                 : QString());
}

} // namespace sondrel
