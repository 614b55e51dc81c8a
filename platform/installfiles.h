#pragma once

#include "filepaths.h"

#include <cstddef>
#include <memory>
#include <string>

namespace sondrel {

// A folder that an install run as root places files in (Linux). It is reached by following
// the links on its path, each of which must belong to root; every folder on the way must
// belong to root and be writable by root alone. An ancestor that others may write in is
// passed only with the sticky bit (/tmp), where no one but root can rename or remove root's
// entries; the folder that receives the files never. The folder is held open from the check
// on, so that nothing root places can be led elsewhere, whatever happens to its path. Every
// call raises PlatformError on failure.
class RootFolder
{
public:
    virtual ~RootFolder() = default;
    // The folder with every link followed, without a trailing separator.
    virtual std::string path() const = 0;
    // Makes the folder when it is missing, one level below an existing folder: root's, mode
    // 0755 whatever the umask. A folder that is there already stays as it is.
    virtual void create() = 0;
    // Puts the regular file at `source` into the folder as `name`, in the place of a file of
    // that name, as a new file that root makes: created beside it under a temporary name
    // (never an existing file, never through a link), the bytes copied in, owner root and
    // the source's permissions without set-id bits or write access for others, flushed, and
    // renamed over `name`. Only then is `source` removed, from the folder it was read from
    // and only if it is still the file that was read. A failure leaves the file at `name`
    // and `source` as they were, and no temporary file.
    virtual void moveIn(const std::string &source, const std::string &name) const = 0;
    // Puts `size` bytes into the folder as the file `name` (mode 0644) the same way.
    virtual void write(const std::string &name, const void *data, std::size_t size) const = 0;
    // Puts a symbolic link `name` to `target` into the folder, made by root under a temporary
    // name and renamed over `name`; but only where nothing or a link is at `name`: a file or
    // folder of that name is left as it is, and the call returns false.
    virtual bool link(const std::string &name, const std::string &target) const = 0;
};

// What InstallFiles::rootFolder found.
struct RootFolderCheck
{
    std::unique_ptr<RootFolder> folder;
    // The first folder or link on the way that is not root's alone; `folder` is then empty.
    std::string unsafe;
};

// What the installer needs to place its files: renamed or copied beside their places and
// renamed over them, or placed by root in a checked folder; the system folder it places the
// grid control in.
class InstallFiles : public virtual FilePaths
{
public:
    // Renames `from` over `to` in one step, replacing a file at `to`; both lie in one
    // folder (one volume). Afterwards `to` holds either its old bytes or all of `from`'s,
    // never a mix, and the rename is on the disk when the call returns (Windows:
    // MoveFileExW with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH).
    virtual void replaceFile(const std::string &from, const std::string &to) const = 0;
    // Brings `source` to `destination`, a free name (a temporary name) on the volume
    // where the file is to stay: renamed there when both lie on one volume; else copied
    // with its permissions and flushed to the disk, `source` being left for the caller to
    // remove. Returns true when it copied. Run by root it always copies, into a new file of
    // root's that is not writable by others (never the user's own file renamed); on Windows
    // it always copies, so that the file takes the owner and access list of its new folder.
    // On failure nothing is left at `destination`.
    virtual bool renameOrCopy(const std::string &source, const std::string &destination) const = 0;
    // The folder at `path` for an install run as root (see RootFolder), or the folder or link
    // on the way that a user other than root could change. Neither when the process does not
    // run as root, nor on Windows: installs then place their files with renameOrCopy and
    // replaceFile. Raises PlatformError when the path cannot be followed (a loop of links).
    virtual RootFolderCheck rootFolder(const std::string &path) const = 0;
    // True when the two files hold the same bytes (their sizes are compared first).
    // Raises PlatformError when one of them cannot be read.
    virtual bool sameContents(const std::string &a, const std::string &b) const = 0;
    // Creates one folder; its parent must exist. A trailing separator is accepted.
    virtual void createFolder(const std::string &path) const = 0;
    // Creates (or truncates) a file for writing.
    virtual std::unique_ptr<OutputFile> createFile(const std::string &path) const = 0;
    // The system folder (where the grid control file is placed), without a trailing separator.
    virtual std::string systemFolder() const = 0;
};

} // namespace sondrel
