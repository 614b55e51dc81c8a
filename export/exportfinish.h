#pragma once

#include "exportitems.h"
#include "exportreport.h"
#include "filesystem.h"

namespace sondrel {

class FolderNames;
class RecordFile;

// The end of a run, after its copies. A run that reached its end writes the snapshot's
// playlists, each with every track of the player's playlist that has a copy in the folder,
// from this run or an earlier one (as the record shows), in the playlist's order; one that
// holds none is not written; one that cannot be written is passed over as
// "<title>.m3u8". With the library file option, "Sondrel Library.xml" follows (see
// writeLibraryFile). Then, when something was passed over, the list of those tracks and
// playlists is written (it replaces the errors list of an earlier run); when a whole run
// passed nothing over, an earlier errors list of Sondrel's is removed. Playlists and the
// list go through the record (placeFile). Last, the record is written anew without the
// lines whose files are known to be gone, and released.
void finishRun(const FileSystem &fs, ExportSnapshot &snapshot, RecordFile &record,
               FolderNames &names, ExportReport &report);

} // namespace sondrel
