#pragma once

#include "installfiles.h"

#include <string>

namespace sondrel {

// The folder at `path` (absolute, or from the current folder) for an install run as root,
// found and checked as RootFolder describes; what InstallFiles::rootFolder gives a process
// that runs as root. Missing folders at the end of the path are left for create(): the
// last folder that exists is checked as one on the way. Raises PlatformError when the
// path cannot be followed (a loop of links, an unreadable folder).
RootFolderCheck openRootFolder(const std::string &path);

// Copies the regular file at `source` into `destination`, a free name, as a new file of
// this process: made in a descriptor of the destination's folder with O_EXCL (never an
// existing file or a link), the source's permissions as a placed file keeps them, for
// root owned by root, flushed to the disk. Run by root, neither the source nor the
// destination's folder is reached through a link at the end of its path. A failure
// removes what it made and raises PlatformError.
void copyIntoNewFile(const std::string &source, const std::string &destination);

} // namespace sondrel
