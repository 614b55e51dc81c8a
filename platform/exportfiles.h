#pragma once

#include "filepaths.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sondrel {

// How a file system measures one name (a file or folder name, not a whole path), and
// the most it takes.
enum class NameUnit {
    Utf8Bytes,  // Linux: bytes of the UTF-8 form
    Utf16Units, // Windows: UTF-16 code units
};

struct NameLimit
{
    NameUnit unit = NameUnit::Utf8Bytes;
    int length = 255;
};

// How a staged copy (stageCopy, stageBytes) ended. The failures up to NameRefused are the source's
// (or its name's): the file cannot be had, and the destination folder is fine.
// DestinationFailed is the destination's: its drive or folder refused the bytes.
enum class CopyOutcome {
    Copied,
    Cancelled,         // stopped on request between two chunks
    SourceMissing,     // no file at the source path
    SourceNotRegular,  // a folder, FIFO, socket or device: never read
    SameFile,          // the source is the very file at the destination
    SourceUnreadable,  // opening or reading the source failed
    SourceGone,        // the source's drive itself no longer answers (pulled, switched off)
    NameRefused,       // the destination's folder refused the file's name
    TooLarge,          // the destination's file system takes no file this large (FAT)
    DestinationFailed, // creating, writing, flushing or placing the copy failed
    NameTaken,         // placing without replacing: something is at the name already
    OutsideFolder,     // the source is reached only by leaving CopyOptions::within: never read
};

// The description of a source that became shorter while it was copied.
inline constexpr const char *ShorterWhileCopied = "it became shorter while it was copied";

struct CopyResult
{
    CopyOutcome outcome = CopyOutcome::Copied;
    int error = 0;           // the system's error number, when the failure has one
    std::string message;     // the system's description of that error
    std::string path;        // the path the failure is about
    std::uint64_t bytes = 0; // bytes copied
    // With CopyOptions::rescue: bytes of the source that could not be read and are zeros
    // in the copy (whole blocks of RescueBlock bytes, the last one cut at the end).
    std::uint64_t lost = 0;
    // A copy's source as it was opened, and the flushed copy (StagedCopy::flush).
    FileTime sourceModified = 0;
    FileTime modified = 0;

    bool copied() const { return outcome == CopyOutcome::Copied; }
    bool sourceFault() const
    {
        return outcome != CopyOutcome::Copied && outcome != CopyOutcome::Cancelled &&
               outcome != CopyOutcome::DestinationFailed && outcome != CopyOutcome::TooLarge &&
               outcome != CopyOutcome::NameTaken;
    }
};

// A copy reads its source in pieces of at most this size, so that a cancel (looked at
// between two pieces) and the progress never wait long for a slow drive.
inline constexpr std::size_t CopyPiece = std::size_t(1) << 20;
// What a rescuing copy reads at a time around a piece that cannot be read, and fills with
// zeros when it still fails: a disk's sector, or several.
inline constexpr std::size_t RescueBlock = 4096;

struct CopyOptions
{
    // Called on the copying thread after each piece with the bytes copied so far;
    // returning false stops the copy there.
    std::function<bool(std::uint64_t copied)> progress;
    // When set, the folder that holds the source (the player's root): the source is read
    // only when it is reached from there without leaving it (see readFileWithin), and a
    // path that leads out gives OutsideFolder.
    std::string within;
    // A piece of the source that cannot be read even when tried again is read in blocks of
    // RescueBlock bytes, and each block that fails is left as zeros in the copy (its bytes
    // counted in CopyResult::lost). Off: the copy fails as SourceUnreadable.
    bool rescue = false;
    // Called on the copying thread before each read of the source, with its offset and
    // size; an error number returned fails that read as the drive would, 0 lets it go on.
    // It may also hold the read, as a slow drive does. Set by the tests' file systems.
    std::function<int(std::uint64_t offset, std::size_t size)> beforeRead;
};

// How reading one piece of a source went (readPiece).
struct PieceRead
{
    std::size_t bytes = 0;  // read into the buffer; fewer than asked only at the end
    int error = 0;          // the error of the read that failed, 0 when the piece was read
    std::uint64_t lost = 0; // bytes of the piece left as zeros (rescued)
    bool cancelled = false; // the progress asked to stop while blocks were rescued
};

// One read of a source at `offset`: the bytes read (0 at its end), or -1 with `error` set.
using SourceRead =
    std::function<std::int64_t(std::uint64_t offset, char *data, std::size_t size, int &error)>;

// Reads `size` bytes of a source at `offset` into `data` through `read`, calling
// options.beforeRead before each read. A read that fails is tried once more (dying disks
// often read on the second try), unless `gone` tells that the error shows the drive
// itself gone. When it fails again and options.rescue is set, the piece is read in blocks
// of RescueBlock bytes, each block that fails left as zeros (options.progress is called
// between blocks). Shared by the platforms' copies.
PieceRead readPiece(const SourceRead &read, std::uint64_t offset, char *data, std::size_t size,
                    const CopyOptions &options, const std::function<bool(int error)> &gone);

// How the time of a flushed copy is set.
enum class CopyTime {
    Now,        // left as the writes made it
    FromSource, // the source's modification time (stageCopy only)
};

// A copy whose bytes are all in its hidden temporary file beside the destination, not
// yet flushed nor placed. Dropped before it is renamed, it removes its temporary file.
// Its steps come in this order: the bytes may be read and changed in place (readAt,
// writeAt, resize), then flush(), then rename() (again, onto another name, after
// NameTaken).
class StagedCopy
{
public:
    virtual ~StagedCopy() = default;
    // The staged bytes, read and changed before flush() through the copy's own open file,
    // so that nothing else opens the temporary file (Windows would refuse a second open of
    // it for writing). Each raises PlatformError on failure.
    // Reads up to `size` bytes from `offset` into `data`; fewer at the end of the file.
    virtual std::size_t readAt(std::uint64_t offset, void *data, std::size_t size) = 0;
    // Writes `size` bytes at `offset`, extending the file when they reach past its end.
    virtual void writeAt(std::uint64_t offset, const void *data, std::size_t size) = 0;
    // Cuts the file to `size` bytes, or extends it with zero bytes.
    virtual void resize(std::uint64_t size) = 0;
    // The file's size now.
    virtual std::uint64_t size() = 0;
    // The hidden temporary file that holds the bytes, until the copy is renamed.
    virtual const std::string &temporaryPath() const = 0;
    // The path the copy was staged for.
    virtual const std::string &destination() const = 0;
    // Sets the modification time, flushes the temporary file to the disk and closes it;
    // the result tells the copy's size and its time as the disk keeps it. On failure it
    // removes the file. Any thread may call it, once. Never raises.
    virtual CopyResult flush(CopyTime time = CopyTime::Now) = 0;
    // Renames the flushed file to `destination`, in the folder of the temporary file:
    // over a file there when `replace`; otherwise only onto a free name (renameat2 with
    // RENAME_NOREPLACE; MoveFileExW without MOVEFILE_REPLACE_EXISTING), and a name taken
    // by anything gives NameTaken with the file still staged for another name. Any other
    // failure removes it. Never raises. The folder's new entry is on the disk only after
    // flushFolder() (Windows: at once, MOVEFILE_WRITE_THROUGH).
    virtual CopyResult rename(const std::string &destination, bool replace) = 0;
    // Flushes the entries of the folder of the temporary file, where the renames live (one
    // flush for several copies renamed there). A file system that cannot flush a folder
    // (some network and FUSE ones) still did the renames.
    virtual void flushFolder() = 0;
    // flush(), then rename() over the destination it was staged for, then flushFolder().
    CopyResult place();
};

struct Staging
{
    CopyResult result;
    std::unique_ptr<StagedCopy> copy; // set when the bytes are staged
};

// A file held open under an exclusive lock that no other open of it, in this process or
// another, can take at the same time (flock on Linux; LockFileEx on Windows, on a byte far
// beyond any content, so that it keeps no one from reading). The lock goes with the object.
// Every call raises PlatformError on failure.
class LockedFile
{
public:
    virtual ~LockedFile() = default;
    // True when the open made the file (it was not there).
    virtual bool created() const = 0;
    // The whole file as it is now.
    virtual std::vector<std::uint8_t> read() = 0;
    // Adds bytes at the end of the file, not yet flushed.
    virtual void append(const void *data, std::size_t size) = 0;
    // Flushes what was added to the disk.
    virtual void flush() = 0;
    // Writes the whole file anew: `size` bytes into a hidden temporary file beside it,
    // flushed and renamed over it (and hidden again on Windows, where a file held open
    // cannot be renamed over, so the lock ends just before). The object holds no lock
    // afterwards. On failure the file stays as it was.
    virtual void replace(const void *data, std::size_t size) = 0;
};

// A folder held open for a run that works below it (an export directory and the folders in
// it). Every name given is one name in this folder, never a path, and is reached without
// following a link (openat, mkdirat, renameat2, unlinkat and fstatat relative to the held
// folder on Linux; handles opened with FILE_FLAG_OPEN_REPARSE_POINT, and refused when they
// are reparse points, on Windows), so that no folder on the way can be swapped for a link
// between a look and its use. Only a plain folder is a folder here and only a regular file
// with one hard link is a file: a link, a FIFO, a device or a file with other names is
// someone else's and is never opened blocking, replaced or removed. Run as root into a folder
// of another user's, the files and folders made below it take that folder's owner and group.
// Every call raises PlatformError on failure unless it says otherwise.
class HeldFolder
{
public:
    virtual ~HeldFolder() = default;
    // The folder's path as it was asked for, ending with the separator (for messages).
    virtual const std::string &path() const = 0;
    // The plain folder `name` in this folder, held; nothing when nothing is there, or a link,
    // a file or anything else that is not a plain folder, or it cannot be opened. Never raises.
    virtual std::unique_ptr<HeldFolder> folder(const std::string &name) const = 0;
    // Makes the folder `name` (a plain folder that is there already is taken as it is) and
    // holds it; anything else at the name raises.
    virtual std::unique_ptr<HeldFolder> makeFolder(const std::string &name) const = 0;
    // The entries (without "." and ".."); `folder` only for plain folders, not for links.
    virtual std::vector<FolderEntry> entries() const = 0;
    // What is at `name`, no link followed: File only for a regular file with one link,
    // Folder for a plain folder, Other for anything else; nothing when nothing is there.
    // Never raises.
    virtual std::optional<FileStatus> status(const std::string &name) const = 0;
    // The identity of what is at `name`, no link followed. Never raises.
    virtual std::optional<FileIdentity> identity(const std::string &name) const = 0;
    // True when the regular file `source` (anywhere) and the file `name` here hold the same
    // bytes; false when `name` is not a file. Raises when one of them cannot be read.
    virtual bool sameContents(const std::string &source, const std::string &name) const = 0;
    // The whole file `name`; raises for anything that is not a file.
    virtual std::vector<std::uint8_t> readFile(const std::string &name) const = 0;
    // ExportFiles::stageCopy and stageBytes into the file `name` of this folder: the temporary
    // file is made here, new, and the copy is renamed within this folder (the destination's
    // last name is used). A rename over a name (`replace`) replaces only a file; anything else
    // there gives NameTaken.
    virtual Staging stageCopy(const std::string &source, const std::string &name,
                              const CopyOptions &options = {}) const = 0;
    virtual Staging stageBytes(const std::string &name, const void *data,
                               std::size_t size) const = 0;
    // Removes the file `name` when it is a file and `expected` accepts its status; true when
    // it was removed. A folder, a link or anything else is never removed (false).
    virtual bool removeFile(const std::string &name,
                            const std::function<bool(const FileStatus &)> &expected) const = 0;
    // ExportFiles::lockFile of the file `name`, opened without following a link: anything at
    // the name that is not a file raises (status() tells what it is).
    virtual std::unique_ptr<LockedFile> lockFile(const std::string &name) const = 0;
};

// What the export needs beyond reading the player: its directory held open, copies and
// written files staged beside their destinations and placed whole, the locked record, and
// how long a name may be.
class ExportFiles : public virtual FilePaths
{
public:
    // Stages a copy of the regular file at `source` (links followed) for `destination` so
    // that nothing is ever lost: the source is opened once without blocking and copied only
    // when that open file is a regular file and not the destination's own file, up to the
    // size it had when opened; the bytes go into temporaryNameBeside(destination). When they
    // are all there, the result is Copied and `copy` flushes them to the disk and renames
    // them over `destination` (StagedCopy::place); on any failure or cancel the temporary
    // file is removed and a file already at `destination` stays as it was. Never raises:
    // the result tells which side failed.
    virtual Staging stageCopy(const std::string &source, const std::string &destination,
                              const CopyOptions &options = {}) const = 0;
    // Writes `size` bytes as the whole file at `destination` the way stageCopy stages a
    // copy: into temporaryNameBeside(destination), not yet flushed; `copy` places them. On
    // failure nothing is left behind. Never raises: the result is Copied, NameRefused or
    // DestinationFailed.
    virtual Staging stageBytes(const std::string &destination, const void *data,
                               std::size_t size) const = 0;
    // The folder at `path` held open (see HeldFolder), its links followed once: the user
    // chose it. Raises PlatformError when it is no folder or cannot be opened.
    virtual std::unique_ptr<HeldFolder> holdFolder(const std::string &path) const = 0;
    // Opens the file at `path`, making it empty when there is none (hidden on Windows),
    // and locks it without waiting; nothing when someone else holds its lock. Raises
    // PlatformError when it cannot be opened (a folder at the path, a read-only drive).
    virtual std::unique_ptr<LockedFile> lockFile(const std::string &path) const = 0;
    // How long one name in a folder may be.
    virtual NameLimit nameLimit() const = 0;
};

} // namespace sondrel
