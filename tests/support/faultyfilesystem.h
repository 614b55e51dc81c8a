#pragma once

#include "filesystem.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace sondrel::test {

// The operations of the file-system service that a test can make fail.
enum class FsOp {
    SafeCopy,  // stageCopy
    SafeWrite, // stageBytes; LockedFile::replace
    ReplaceFile,
    RenameOrCopy, // with bytesFirst: a copy that breaks off after that many bytes
    DeleteFile,
    CreateFolder,
    ListFolder,
    ReadFile,
    CreateFile,
    Write, // a write into a file made by CreateFile
    AvailableSpace,
    Flush,  // StagedCopy::flush: the time set, the bytes flushed
    Rename, // StagedCopy::rename, also the one of a copy placed whole
    Lock,   // lockFile
    Append, // LockedFile::append
    Sync,   // LockedFile::flush
};

// Thrown by the call at which a plan kills the run: nothing after it reaches the disk.
struct Killed
{
};

// One failure made to happen on purpose.
struct Fault
{
    FsOp op = FsOp::SafeCopy;
    int error = 5;          // the error number raised (EIO by default)
    int call = 0;           // which call of `op` fails, counted from 1; 0: every call
    std::string pathPrefix; // only calls on a path that begins with this (empty: any)
    std::uint64_t bytesFirst =
        0; // SafeCopy, RenameOrCopy and Write: bytes that reach the file first
    // SafeCopy and SafeWrite: how the copy ends (its error is `error`, except for Cancelled).
    CopyOutcome outcome = CopyOutcome::DestinationFailed;
};

// A fault in the reads of a copy's source: called before each read with the source's
// path, the read's offset and size; returns the error number the read fails with, or 0
// for a read that goes on. It runs on the copying thread and may hold the read.
using ReadFault =
    std::function<int(const std::string &source, std::uint64_t offset, std::size_t size)>;

// Every read that reaches past `from` bytes fails with `error` (a drive that is pulled
// after so many bytes of the file).
ReadFault failingFrom(std::uint64_t from, int error);
// Reads that take in the block of RescueBlock bytes at `offset` fail with `error`, the
// first `times` of them (0: every one), as a bad sector does.
ReadFault badBlock(std::uint64_t offset, int error, int times = 0);

// A source whose reads are held until the test lets them go: hold() makes the next reads
// wait, held() tells whether one waits now, release() lets every read go on.
class ReadGate
{
public:
    ReadFault fault();
    void hold();
    void release();
    bool held();
    // Waits until a read is held (at most `ms`); false when none came.
    bool waitHeld(int ms);

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_closed = false;
    int m_waiting = 0;
};

// What a test wants of the file system, shared by every service made from it (each
// action of a window makes its own service object).
struct FaultPlan
{
    // Faults in the reads of copies' sources (stageCopy), when set.
    ReadFault readFault;
    std::vector<Fault> faults;
    // The free space every service reports instead of the disk's, when set.
    std::optional<std::uint64_t> availableSpace;
    // The name limit every service reports instead of its own, when set.
    std::optional<NameLimit> nameLimit;
    // Called before each operation with the path it acts on (the destination of a copy
    // or a move), so that a test can look at the window at that moment. It runs on the
    // thread that makes the call: the export's copies make theirs on a thread of their
    // own, where no widget may be touched.
    std::function<void(FsOp, const std::string &path)> probe;
    // renameOrCopy copies as it does between two file systems, also on one.
    bool otherFileSystem = false;
    // The largest file every service reports the export drive to take, when set.
    std::optional<std::uint64_t> fileSizeLimit;
    // The run is killed at this call of this operation (counted from 1 like a fault's): the
    // call throws Killed before it does anything, and from then on no temporary file is
    // removed, as after a power cut or a killed process.
    std::optional<std::pair<FsOp, int>> kill;
    std::atomic<bool> killed{false};
    // How many times each operation has been called so far (the export's copies call from
    // several threads: counted under a lock).
    std::map<FsOp, int> calls;
};

// A file-system service that forwards every call to another one and fails the calls
// that its plan names: the named call raises PlatformError(error, "<description>:
// <path>") as the machine's own service does; a copy or a write first lets `bytesFirst`
// bytes through, as a disk that fills up does. A failing SafeCopy returns the fault's
// outcome instead; with `bytesFirst` the real copy runs that far and is then stopped, so
// that its temporary file comes and goes as on a full disk (a file no larger than
// `bytesFirst` is copied whole). A failing SafeWrite writes nothing and returns the
// fault's outcome.
class FaultyFileSystem : public FileSystem
{
public:
    FaultyFileSystem(std::shared_ptr<FaultPlan> plan, std::unique_ptr<FileSystem> inner);

    // Factories for a window's services.
    using Factory = std::function<std::unique_ptr<FileSystem>()>;
    static Factory factory(std::shared_ptr<FaultPlan> plan, Factory inner = createFileSystem);

    std::vector<Drive> drives() const override { return m_inner->drives(); }
    std::string driveRoot(const Drive &drive) const override { return m_inner->driveRoot(drive); }
    bool fileExists(const std::string &path) const override { return m_inner->fileExists(path); }
    bool folderExists(const std::string &path) const override
    {
        return m_inner->folderExists(path);
    }
    Staging stageCopy(const std::string &source, const std::string &destination,
                      const CopyOptions &options = {}) const override;
    Staging stageBytes(const std::string &destination, const void *data,
                       std::size_t size) const override;
    void replaceFile(const std::string &from, const std::string &to) const override;
    bool renameOrCopy(const std::string &source, const std::string &destination) const override;
    // None: an install on this machine places its files through renameOrCopy and replaceFile
    // as one not run as root does, so that the faults above meet its steps.
    RootFolderCheck rootFolder(const std::string &) const override { return {}; }
    // The inner service's, its steps meeting the plan's faults as the path-based ones do.
    std::unique_ptr<HeldFolder> holdFolder(const std::string &path) const override;
    bool sameContents(const std::string &a, const std::string &b) const override
    {
        return m_inner->sameContents(a, b);
    }
    std::optional<FileIdentity> identity(const std::string &path) const override
    {
        return m_inner->identity(path);
    }
    void deleteFile(const std::string &path) const override;
    void createFolder(const std::string &path) const override;
    std::vector<std::string> listFolder(const std::string &path) const override;
    std::vector<FolderEntry> listEntries(const std::string &path) const override;
    std::optional<FileStatus> status(const std::string &path) const override
    {
        return m_inner->status(path);
    }
    std::unique_ptr<LockedFile> lockFile(const std::string &path) const override;
    std::vector<std::uint8_t> readFile(const std::string &path) const override;
    std::unique_ptr<OutputFile> createFile(const std::string &path) const override;
    NewFile createNewFile(const std::string &path) const override; // as CreateFile
    std::vector<std::uint8_t> readFileWithin(const std::string &folder,
                                             const std::string &path) const override; // as ReadFile
    std::string driveOf(const std::string &path) const override { return m_inner->driveOf(path); }
    std::uint64_t availableSpace(const std::string &path) const override;
    std::optional<std::uint64_t> fileSizeLimit(const std::string &path) const override
    {
        return m_plan->fileSizeLimit ? m_plan->fileSizeLimit : m_inner->fileSizeLimit(path);
    }
    std::string systemFolder() const override { return m_inner->systemFolder(); }
    std::string musicFolder() const override { return m_inner->musicFolder(); }
    std::string homeFolder() const override { return m_inner->homeFolder(); }
    bool folderWritable(const std::string &path) const override
    {
        return m_inner->folderWritable(path);
    }
    char separator() const override { return m_inner->separator(); }
    NameLimit nameLimit() const override
    {
        return m_plan->nameLimit ? *m_plan->nameLimit : m_inner->nameLimit();
    }

    // The fault this call of `op` on `path` meets, if any; counts the call, and throws
    // Killed at the call that the plan kills.
    static const Fault *faultFor(FaultPlan &plan, FsOp op, const std::string &path);

private:
    // Shows the call to the plan's probe; the fault it meets, if any (the call is counted).
    const Fault *meet(FsOp op, const std::string &path) const;
    // Raises the fault this call meets, if any.
    void pass(FsOp op, const std::string &path) const;

    std::shared_ptr<FaultPlan> m_plan;
    std::unique_ptr<FileSystem> m_inner;
};

} // namespace sondrel::test
