#pragma once

namespace sondrel {

class FrmMain;

// The find row's part after a reading of the player (or a reset of the track list): the
// playlist choice lists "All tracks (N)" and the playlists of the table the grid shows
// (none after a reset) with all tracks chosen, and the find box's text is applied to the
// new list.
void showTrackListChoices(FrmMain &window);

// Shows in the grid what the window's finder accepts (every track when it does not
// filter) and says in LblShown how many; `narrowing` when the rows shown now are the
// only ones to ask. The highlight stays on its track while that is shown, else it goes
// to the first row. A grid without the track table's rows is left as it is.
void showFoundTracks(FrmMain &window, bool narrowing = false);

} // namespace sondrel
