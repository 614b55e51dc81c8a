#pragma once

#include "exportplace.h"
#include "exportrun.h"
#include "tracktable.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <string>
#include <vector>

namespace sondrel {

class FolderNames;
class RecordFile;

// The library file other players import, in the export directory, and its kind in the
// folder's record.
inline constexpr char LibraryFileName[] = "Sondrel Library.xml";
inline constexpr char RecordLibrary[] = "library";

// A file URL as the library file writes it: "file://localhost/" and the absolute path
// with "/" between its names, every byte of its UTF-8 form but letters, digits, "-",
// ".", "_", "~" and "/" percent-encoded ("+" too); a Windows drive keeps its colon
// ("file://localhost/C:/Music/a.mp3"). `separator` is the path's own.
QByteArray fileUrl(const std::string &path, char separator);

// The library file for the tracks of `table` that have a copy: `copies[k - 1]` is the
// absolute path of track k's copy, empty when it has none. An Apple XML property list in
// the layout of the desktop software's music library file: versions, date, the music
// folder (`exportDirectory`, which ends with the separator), the tracks keyed by their
// number in the table, then the playlists: "Library" with every track, and each of the
// player's playlists with its tracks that have a copy, in order. Keys with no value are
// left out; texts are XML-escaped, with the characters XML forbids dropped.
QByteArray libraryXml(const TrackTable &table, const std::vector<std::string> &copies,
                      const std::string &exportDirectory, char separator, const QDateTime &now);

// Writes the library file at the end of a run through the record (placeFile): every track
// of the snapshot's table with a copy in the folder, this run's or a recorded one still
// there, spelt as on the disk. Raises PlatformError when the record cannot be written.
PlacedFile writeLibraryFile(const FileSystem &fs, const ExportSnapshot &snapshot,
                            RecordFile &record, FolderNames &names);

} // namespace sondrel
