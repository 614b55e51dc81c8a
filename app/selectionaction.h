#pragma once

#include <vector>

namespace sondrel {

class FrmMain;
class TrackGrid;

// "(Un)Select file": toggles the marks of the tracks in the grid's current row range
// (from Row towards RowSel), shows the new marks in the grid and gives the keyboard
// focus back to it; the window's totals follow the state. A grid without data rows is
// left as it is.
void toggleSelectedRows(FrmMain &window);

// The track a data row of the grid shows: the number in its ID column.
int trackOfRow(const TrackGrid &grid, int r);

// "Mark shown" (`marked`) and "Unmark shown": marks or unmarks the tracks of every shown
// row and shows the new marks; the window's totals follow the state.
void markShownRows(FrmMain &window, bool marked);

// Every marked track, shown or not, in the order of the whole list as it is sorted.
std::vector<int> markedTracksInListOrder(const FrmMain &window);

// A double-click on the grid: the whole list is sorted by the current column, and the
// shown rows with it; marks, IDs and totals move with their rows.
void sortTrackGrid(FrmMain &window);

} // namespace sondrel
