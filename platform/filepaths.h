#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace sondrel {

// Which file a path names, whatever its spelling: device and inode on Linux, volume
// serial number and file index on Windows. Two paths name the same file (or folder)
// exactly when their identities are equal.
struct FileIdentity
{
    std::uint64_t volume = 0;
    std::uint64_t file = 0;

    friend bool operator==(const FileIdentity &, const FileIdentity &) = default;
};

// A modification time: nanoseconds since 1970-01-01 00:00 UTC.
using FileTime = std::int64_t;

// What a path names, links followed.
struct FileStatus
{
    enum class Kind { File, Folder, Other } kind = Kind::Other;
    std::uint64_t size = 0;
    FileTime modified = 0;
};

// One entry of a folder.
struct FolderEntry
{
    std::string name;
    bool folder = false; // a folder, or a link to one
};

// A file being written. Every call raises PlatformError on failure.
class OutputFile
{
public:
    virtual ~OutputFile() = default;
    virtual void write(const void *data, std::size_t size) = 0;
    // Flushes and closes; a failure to flush (disk full) raises here.
    virtual void close() = 0;
};

// What every user of the file layer asks of a path: the reading of the player, the export
// and the installer alike. Paths are UTF-8 text in the platform's own form. Every operation
// that changes or reads the disk raises PlatformError when the operating system refuses it;
// the boolean tests never raise.
class FilePaths
{
public:
    virtual ~FilePaths() = default;

    // True when a regular file exists at the path.
    virtual bool fileExists(const std::string &path) const = 0;
    // True when a folder exists at the path (a trailing separator or a drive root is fine).
    virtual bool folderExists(const std::string &path) const = 0;
    // The identity of the file or folder at `path`, links followed; nothing when there
    // is none or it cannot be read.
    virtual std::optional<FileIdentity> identity(const std::string &path) const = 0;
    // Deletes one file.
    virtual void deleteFile(const std::string &path) const = 0;
    // The separator of built paths: '\\' on Windows, '/' on Linux.
    virtual char separator() const = 0;
};

// A hidden temporary name in the folder of `path` (which ends in a file name after the
// last `separator`): ".sondrel-<random>.part", for a file that is written whole and then
// renamed over `path`.
std::string temporaryNameBeside(const std::string &path, char separator);

} // namespace sondrel
