#pragma once

#include "exportitems.h"
#include "exportplace.h"
#include "tracktable.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

namespace sondrel {

class FolderNames;
class RecordFile;

// The library file other players import, in the export directory, and its kind in the
// folder's record.
inline constexpr char LibraryFileName[] = "Sondrel Library.xml";
inline constexpr char RecordLibrary[] = "library";

// A file URL as the library file writes it: "file://" and the absolute path with "/"
// between its names, every byte of its UTF-8 form but letters, digits, "-", ".", "_", "~"
// and "/" percent-encoded ("+" too): "file:///home/me/a.mp3", the form every URL parser
// resolves. A Windows path keeps the desktop software's own form, its drive with its colon
// after the host "localhost" ("file://localhost/C:/Music/a.mp3"). `separator` is the
// path's own ('\\' on Windows).
QByteArray fileUrl(const std::string &path, char separator);

// A track's copy as the library file names it: its absolute path (empty: none) and the
// size of the placed file, which differs from the player's once the copy is tagged.
struct LibraryCopy
{
    std::string path;
    std::uint64_t size = 0;
};

// The library file for the tracks of `table` that have a copy: `copies[k - 1]` is track
// k's copy, with an empty path when it has none. An Apple XML property list in
// the layout of the desktop software's music library file: versions, date, the music
// folder (`exportDirectory`, which ends with the separator), the tracks keyed by their
// number in the table, then the playlists: "Library" with every track, and each of the
// player's playlists with its tracks that have a copy, in order. Keys with no value are
// left out; texts are XML-escaped, with the characters XML forbids dropped.
QByteArray libraryXml(const TrackTable &table, const std::vector<LibraryCopy> &copies,
                      const std::string &exportDirectory, char separator, const QDateTime &now);

// Writes the library file at the end of a run through the record (placeFile): every track
// of the snapshot's table with a copy in the folder, this run's or a recorded one still
// there, spelt as on the disk, with its size as recorded. Raises PlatformError when the record
// cannot be written.
PlacedFile writeLibraryFile(const FilePaths &fs, const ExportSnapshot &snapshot, RecordFile &record,
                            FolderNames &names);

} // namespace sondrel
