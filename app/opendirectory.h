#pragma once

namespace sondrel {

class FrmMain;

// The "Open export directory" action: starts the system's file manager on the export
// directory without waiting for it. A failure to start it shows the run-time error
// report and leaves the window as it was.
void openExportDirectory(FrmMain &window);

} // namespace sondrel
