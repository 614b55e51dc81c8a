#pragma once

#include <vector>

namespace sondrel {

class FrmMain;

// "(Un)Select file": toggles the marks of the tracks in the grid's current row range
// (from Row towards RowSel), shows the new marks in the grid and gives the keyboard
// focus back to it; the window's totals follow the state. A grid without data rows is
// left as it is.
void toggleSelectedRows(FrmMain &window);

// The marked tracks, in the order their rows stand in the grid.
std::vector<int> markedTracksInGridOrder(const FrmMain &window);

// A double-click on the grid: the data rows are sorted by the current column; marks,
// IDs and totals move with their rows.
void sortTrackGrid(FrmMain &window);

} // namespace sondrel
