#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
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

// How a copy by copyFileSafely ended. The failures up to NameRefused are the source's
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

// The largest file that FAT12, FAT16 and FAT32 take: 4 GiB - 1.
inline constexpr std::uint64_t FatFileSizeLimit = 0xFFFFFFFFull;

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

// The description of a source that became shorter while it was copied.
inline constexpr const char *ShorterWhileCopied = "it became shorter while it was copied";

// The description of a file that is reached only through a link that leads out of the
// folder it is read from (the player's): such a file is never opened.
inline constexpr const char *LinkOutOfFolder = "a link out of the player";

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
    std::size_t bytes = 0;   // read into the buffer; fewer than asked only at the end
    int error = 0;           // the error of the read that failed, 0 when the piece was read
    std::uint64_t lost = 0;  // bytes of the piece left as zeros (rescued)
    bool cancelled = false;  // the progress asked to stop while blocks were rescued
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

// A file being written. Every call raises PlatformError on failure.
class OutputFile
{
public:
    virtual ~OutputFile() = default;
    virtual void write(const void *data, std::size_t size) = 0;
    // Flushes and closes; a failure to flush (disk full) raises here.
    virtual void close() = 0;
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
    // FileSystem::stageCopy and stageBytes into the file `name` of this folder: the temporary
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
    // FileSystem::lockFile of the file `name`, opened without following a link: anything at
    // the name that is not a file raises (status() tells what it is).
    virtual std::unique_ptr<LockedFile> lockFile(const std::string &name) const = 0;
};

// What FileSystem::rootFolder found.
struct RootFolderCheck
{
    std::unique_ptr<RootFolder> folder;
    // The first folder or link on the way that is not root's alone; `folder` is then empty.
    std::string unsafe;
};

// A file made new by FileSystem::createNewFile, with the identity it was made with; no file
// when the name was taken.
struct NewFile
{
    std::unique_ptr<OutputFile> file;
    FileIdentity identity;
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
    // Copies the regular file at `source` (links followed) to `destination` so that
    // nothing is ever lost: the source is opened once without blocking and copied only
    // when that open file is a regular file and not the destination's own file, up to
    // the size it had when opened; the bytes go into temporaryNameBeside(destination),
    // are flushed to the disk and renamed over `destination`. On any failure or cancel
    // the temporary file is removed and a file already at `destination` stays as it was.
    // Never raises: the result tells which side failed.
    CopyResult copyFileSafely(const std::string &source, const std::string &destination,
                              const CopyOptions &options = {}) const
    {
        Staging staging = stageCopy(source, destination, options);
        return staging.copy ? staging.copy->place() : staging.result;
    }
    // The first part of copyFileSafely: everything up to the flush. When the bytes are
    // all in the temporary file, the result is Copied and `copy` places them; otherwise
    // the result tells the failure and nothing is left behind.
    virtual Staging stageCopy(const std::string &source, const std::string &destination,
                              const CopyOptions &options = {}) const = 0;
    // Writes `size` bytes as the whole file at `destination` the way copyFileSafely
    // places a copy: into temporaryNameBeside(destination), flushed to the disk and renamed
    // over it; a failure removes the temporary file and leaves a file at `destination` as
    // it was. Never raises: the result is Copied, NameRefused or DestinationFailed.
    CopyResult writeFileSafely(const std::string &destination, const void *data,
                               std::size_t size) const
    {
        Staging staging = stageBytes(destination, data, size);
        return staging.copy ? staging.copy->place() : staging.result;
    }
    // The first part of writeFileSafely: the bytes written into the temporary file, not
    // yet flushed; `copy` places them. On failure nothing is left behind.
    virtual Staging stageBytes(const std::string &destination, const void *data,
                               std::size_t size) const = 0;
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
    // The folder at `path` held open (see HeldFolder), its links followed once: the user
    // chose it. Raises PlatformError when it is no folder or cannot be opened.
    virtual std::unique_ptr<HeldFolder> holdFolder(const std::string &path) const = 0;
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
    // The same with whether each is a folder.
    virtual std::vector<FolderEntry> listEntries(const std::string &path) const = 0;
    // What is at `path` (links followed): its kind, size and modification time; nothing
    // when there is nothing or it cannot be looked at.
    virtual std::optional<FileStatus> status(const std::string &path) const = 0;
    // Opens the file at `path`, making it empty when there is none (hidden on Windows),
    // and locks it without waiting; nothing when someone else holds its lock. Raises
    // PlatformError when it cannot be opened (a folder at the path, a read-only drive).
    virtual std::unique_ptr<LockedFile> lockFile(const std::string &path) const = 0;
    // Gives the file the hidden attribute (Windows); on Linux the leading "." of its name
    // hides it and nothing is done. Raises PlatformError on failure.
    virtual void setHidden(const std::string &path) const = 0;

    // The whole file, read as raw bytes.
    virtual std::vector<std::uint8_t> readFile(const std::string &path) const = 0;
    // At most `size` bytes from `offset` (fewer at its end) of the file at `path`, which lies
    // in `folder`, opened as readFileWithin opens it. Raises PlatformError as that does.
    // This default reads the whole file.
    virtual std::vector<std::uint8_t> readFilePart(const std::string &folder,
                                                   const std::string &path, std::uint64_t offset,
                                                   std::size_t size) const;
    // Creates (or truncates) a file for writing.
    virtual std::unique_ptr<OutputFile> createFile(const std::string &path) const = 0;
    // Creates a new file for writing, never opening what is at `path` already: a name taken
    // by anything (a file, a folder, a link, even one that leads nowhere) gives a NewFile
    // without a file (O_CREAT | O_EXCL | O_NOFOLLOW; CREATE_NEW on Windows). Raises
    // PlatformError for any other failure.
    virtual NewFile createNewFile(const std::string &path) const = 0;
    // The whole file at `path`, which lies in `folder`, read only when it is a regular file
    // reached from `folder` without leaving it: links that stay inside are followed, one that
    // leads out raises PlatformError described as LinkOutOfFolder (openat2 with
    // RESOLVE_BENEATH, or a walk name by name where the kernel lacks it; on Windows the
    // opened file's final path is checked). It is opened without blocking and looked at
    // before it is read: a FIFO, socket or device raises PlatformError too.
    virtual std::vector<std::uint8_t> readFileWithin(const std::string &folder,
                                                     const std::string &path) const = 0;

    // The drive that holds the path: "C:" on Windows, the mount point on Linux.
    virtual std::string driveOf(const std::string &path) const = 0;
    // Bytes free for the caller on the drive that holds the path.
    virtual std::uint64_t availableSpace(const std::string &path) const = 0;
    // The largest file the file system that holds the path takes: 4 GiB - 1 on FAT12, FAT16
    // and FAT32 (statfs; GetVolumeInformationW); nothing where files are not limited so
    // (exFAT, NTFS, ext4...) or the file system cannot be asked.
    virtual std::optional<std::uint64_t> fileSizeLimit(const std::string &path) const = 0;
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
    // How long one name in a folder may be.
    virtual NameLimit nameLimit() const = 0;
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
