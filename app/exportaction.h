#pragma once

namespace sondrel {

class FrmMain;

// "Export selected file(s)": the export run of the window's marked tracks from the
// player drive into the export directory, with its checks, progress line and messages.
// A failure ends the run with the run-time error report; the window stays usable.
void exportSelectedFiles(FrmMain &window);

} // namespace sondrel
