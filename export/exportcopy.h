#pragma once

#include "exportitems.h"
#include "exportreport.h"
#include "filesystem.h"

#include <QString>

namespace sondrel {

class FolderNames;
class RecordFile;

// Copies the planned items of `snapshot` in order, on the calling thread: a track passed
// over by the plan, or whose source is missing, no regular file, the destination's own
// file, unreadable, too large for the export drive (EFBIG) or whose name the export folder
// refuses, is listed and the run goes on; a failure of the destination (a folder that
// cannot be made, the record that cannot be written, too) ends the run, as does a cancel.
// Files placed before stay. A file of the user's at an item's name (ExportStep::Compare)
// is compared in full with the source: the same bytes are recorded as already there,
// others make the copy take the next free name. The report's `skipped` is in item order.
ExportReport copyPlanned(const FileSystem &fs, ExportSnapshot &snapshot, RecordFile &record,
                         FolderNames &names, ExportProgress &progress);

// The reason a copy that failed on the source's side is listed with.
QString skipReason(const CopyResult &result);

} // namespace sondrel
