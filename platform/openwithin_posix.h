#pragma once

// Opening a file of the player without following a link out of it. Included only by the
// *_posix.cpp files.

#include "descriptor_posix.h"

#include <string>

#include <sys/stat.h>

namespace sondrel::posix {

// How openWithin ended.
struct OpenedWithin
{
    enum class End {
        Opened,     // `fd` is the regular file, opened for reading
        LeadsOut,   // the path, or a link on it, leads out of the folder
        NotRegular, // a folder, FIFO, socket or device: never opened
        Missing,    // nothing at the path (ENOENT, ENOTDIR)
        Failed,     // any other error: `error`
    } end = End::Failed;
    Descriptor fd;
    int error = 0;
    struct stat status
    {
    }; // of the opened file
};

// Opens the file at `path`, which lies in `folder`, for reading (O_RDONLY | O_NONBLOCK,
// which is then cleared), only when it is reached from `folder` without leaving it: links
// that stay inside are followed, also absolute ones that name the folder's own path; a
// ".." above the folder or a link elsewhere is LeadsOut, as is a path that does not begin
// with `folder`. `folder` itself is followed where it leads (the user chose it). What is at
// the path is looked at before it is opened, and the opened file again. Uses openat2 with
// RESOLVE_BENEATH; where the kernel lacks it (before 5.6, or a sandbox refuses it), or for
// an absolute link, the path is walked name by name from held folders.
enum class Resolve {
    Kernel, // openat2 first, the walk where it cannot decide
    Walk,   // the walk only (to test it on a kernel that has openat2)
};
OpenedWithin openWithin(const std::string &folder, const std::string &path,
                        Resolve resolve = Resolve::Kernel);

} // namespace sondrel::posix
