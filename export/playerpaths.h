#pragma once

#include "playerfiles.h"

#include <QString>

#include <optional>
#include <string>
#include <vector>

namespace sondrel {

// The path below `root` (which ends with the separator) of `names`, one below the other.
std::string playerPath(const std::string &root, const std::vector<std::string> &names,
                       char separator);

// The folder and file names of a location from the player's database (":F:G:name"),
// or nothing when the location cannot be trusted: it does not begin with ":", or one
// of its names is empty, made of dots (".", ".."), holds a path separator of either
// kind or the separator `separator`, or a NUL character. Where the separator is "\\"
// (Windows) a device name (CON, NUL, COM1, ...) is refused as well: it names no file
// on the player's drive.
std::optional<std::vector<std::string>> locationNames(const QString &location, char separator);

// The path of a file below `root` (which ends with the separator) named by `names`.
// When that path does not exist as written, each name is looked up in its folder
// without regard to letter case; a name found neither way is kept as written.
std::string resolvePlayerPath(const PlayerFiles &fs, CaseInsensitiveFolders &folders,
                              const std::string &root, const std::vector<std::string> &names);

} // namespace sondrel
