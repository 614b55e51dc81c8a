#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sondrel {

// Drive types as the drive list reports them. The programs act on Removable and
// Fixed only; every other value is passed over.
enum class DriveType {
    Unknown = 0,
    Removable = 1,
    Fixed = 2,
    Network = 3,
    Optical = 4,
    RamDisk = 5,
};

// Which file a path names, whatever its spelling: device and inode on Linux, volume
// serial number and file index on Windows. Two paths name the same file (or folder)
// exactly when their identities are equal.
struct FileIdentity
{
    std::uint64_t volume = 0;
    std::uint64_t file = 0;

    friend bool operator==(const FileIdentity &, const FileIdentity &) = default;
};

struct Drive
{
    DriveType type = DriveType::Unknown;
    std::string path; // "C:" on Windows; the mount point ("/" or "/media/ipod") on Linux
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

// The file-system service of both programs. Paths are UTF-8 text in the platform's
// own form. Every operation that changes or reads the disk raises PlatformError when
// the operating system refuses it; the boolean tests never raise.
class FileSystem
{
public:
    virtual ~FileSystem() = default;

    // The machine's drives, in the platform's own order, each once.
    virtual std::vector<Drive> drives() const = 0;
    // The drive a setting is built from: the drive's path followed by one separator.
    virtual std::string driveRoot(const Drive &drive) const = 0;

    // True when a regular file exists at the path.
    virtual bool fileExists(const std::string &path) const = 0;
    // True when a folder exists at the path (a trailing separator or a drive root is fine).
    virtual bool folderExists(const std::string &path) const = 0;

    // Copies the file's bytes; with overwrite an existing destination is replaced.
    virtual void copyFile(const std::string &source, const std::string &destination,
                          bool overwrite) const = 0;
    // Moves one file; an existing destination is not replaced (the call fails).
    virtual void moveFile(const std::string &source, const std::string &destination) const = 0;
    // Renames `from` over `to` in one step, replacing a file at `to`; both lie in one
    // folder (one volume). Afterwards `to` holds either its old bytes or all of `from`'s,
    // never a mix, and the rename is on the disk when the call returns (Windows:
    // MoveFileExW with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH).
    virtual void replaceFile(const std::string &from, const std::string &to) const = 0;
    // Brings `source` to `destination`, a free name (a temporary name) on the volume
    // where the file is to stay: renamed there when both lie on one volume; else copied
    // with its permissions and flushed to the disk, `source` being left for the caller to
    // remove. Returns true when it copied. A file that root places belongs to root, also
    // when it was renamed. On failure nothing is left at `destination`.
    virtual bool renameOrCopy(const std::string &source, const std::string &destination) const = 0;
    // True when the two files hold the same bytes (their sizes are compared first).
    // Raises PlatformError when one of them cannot be read.
    virtual bool sameContents(const std::string &a, const std::string &b) const = 0;
    // The identity of the file or folder at `path`, links followed; nothing when there
    // is none or it cannot be read.
    virtual std::optional<FileIdentity> identity(const std::string &path) const = 0;
    // Deletes one file.
    virtual void deleteFile(const std::string &path) const = 0;
    // Creates one folder; its parent must exist. A trailing separator is accepted.
    virtual void createFolder(const std::string &path) const = 0;
    // The names of the entries of a folder (files and folders, without "." and ".."),
    // in no particular order.
    virtual std::vector<std::string> listFolder(const std::string &path) const = 0;

    // The whole file, read as raw bytes.
    virtual std::vector<std::uint8_t> readFile(const std::string &path) const = 0;
    // Creates (or truncates) a file for writing.
    virtual std::unique_ptr<OutputFile> createFile(const std::string &path) const = 0;

    // The drive that holds the path: "C:" on Windows, the mount point on Linux.
    virtual std::string driveOf(const std::string &path) const = 0;
    // Bytes free for the caller on the drive that holds the path.
    virtual std::uint64_t availableSpace(const std::string &path) const = 0;
    // The system folder (where the grid control file is placed), without a trailing separator.
    virtual std::string systemFolder() const = 0;

    // The current user's music folder, without a trailing separator; empty when the system
    // names none. It need not exist.
    virtual std::string musicFolder() const = 0;
    // The current user's home folder (on Windows the profile folder), without a trailing
    // separator; empty when the system names none.
    virtual std::string homeFolder() const = 0;
    // True when the path is an existing folder in which the caller may create files.
    virtual bool folderWritable(const std::string &path) const = 0;

    // The separator of built paths: '\\' on Windows, '/' on Linux.
    virtual char separator() const = 0;
};

// The machine's own file-system service.
std::unique_ptr<FileSystem> createFileSystem();

// A hidden temporary name in the folder of `path` (which ends in a file name after the
// last `separator`): ".sondrel-<random>.part", for a file that is written whole and then
// renamed over `path`.
std::string temporaryNameBeside(const std::string &path, char separator);

// The full path of the entry `name` in `folder` as the disk spells it, the letters A to Z
// matched without regard to case ("ipod_control" is found for "iPod_Control"); an entry
// spelled exactly as asked wins. Empty when there is none or the folder cannot be read.
// `folder` may end with the separator.
std::string findEntry(const FileSystem &fs, const std::string &folder, const std::string &name);

// The settings every run starts from, before the drives are looked at.
struct PlatformDefaults
{
    std::string playerDrive;      // E:\ on Windows
    std::string exportDirectory;  // C:\ on Windows
    std::string installDirectory; // C:\Program Files\Sondrel\ on Windows
};

PlatformDefaults platformDefaults();

} // namespace sondrel
