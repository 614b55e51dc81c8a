#pragma once

namespace sondrel {

class FrmMain;

// "Export selected file(s)": the checks (with the plan against the export directory's
// record, on a thread of its own), then the copies of the window's marked tracks
// from the player drive into the export directory (into artist and album folders, and
// followed by the player's playlists, when the composer's options ask for them) on a
// thread of their own, while a progress window with Cancel and the status line show how
// far the run is. A track that cannot be copied is passed over and listed at the end; a
// failure of the export drive ends the run with the run-time error report. Returns at
// once: the window stays usable, and FrmMain::exportEnded() tells when the run is over.
void exportSelectedFiles(FrmMain &window);

} // namespace sondrel
