#pragma once

#include "expfilename.h"
#include "filesystem.h"

#include <QString>
#include <QStringList>

namespace sondrel {

class TrackTable;

// The folders of track k below the export directory when a run sorts into artist and
// album folders: its album artist, else its artist, then its album, each made a valid
// name by safeComponent within `limit`. A value with no name of its own (empty, or only
// blanks and dots) gives "Unknown Artist" or "Unknown Album".
QStringList artistAlbumFolders(const TrackTable &table, int k, const NameLimit &limit);

} // namespace sondrel
