#pragma once

namespace sondrel {

class FrmMain;

// "(Un)Select file": toggles the marks of the grid's current row range, gives the
// keyboard focus back to the grid and rewrites the three total captions from the
// hidden totals. A grid without data rows is left as it is.
void toggleSelectedRows(FrmMain &window);

// A double-click on the grid: the data rows are sorted by the current column; marks,
// IDs and totals move with their rows.
void sortTrackGrid(FrmMain &window);

} // namespace sondrel
