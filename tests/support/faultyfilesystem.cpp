#include "faultyfilesystem.h"

#include "platformerror.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>

namespace sondrel::test {

namespace {

[[noreturn]] void raise(const Fault &fault, const std::string &path)
{
    throw PlatformError(fault.error, std::string(std::strerror(fault.error)) + ": " + path);
}

// Writes the first `bytes` bytes of `source` into `destination`, as a copy that breaks off.
void writeHead(const std::string &source, const std::string &destination, std::uint64_t bytes)
{
    std::ifstream in(source, std::ios::binary);
    std::ofstream out(destination, std::ios::binary | std::ios::trunc);
    std::vector<char> head(static_cast<std::size_t>(bytes));
    in.read(head.data(), std::streamsize(head.size()));
    out.write(head.data(), in.gcount());
}

// A file that lets the first bytes of a failing write through and then fails.
class FaultyOutputFile : public OutputFile
{
public:
    FaultyOutputFile(std::shared_ptr<FaultPlan> plan, std::unique_ptr<OutputFile> inner,
                     std::string path)
        : m_plan(std::move(plan)), m_inner(std::move(inner)), m_path(std::move(path))
    {
    }

    void write(const void *data, std::size_t size) override
    {
        if (const Fault *fault = FaultyFileSystem::faultFor(*m_plan, FsOp::Write, m_path)) {
            const std::uint64_t room = fault->bytesFirst - std::min(fault->bytesFirst, m_written);
            const std::size_t through = std::size_t(std::min<std::uint64_t>(size, room));
            m_inner->write(data, through);
            m_written += through;
            if (size > through)
                raise(*fault, m_path);
            return;
        }
        m_inner->write(data, size);
        m_written += size;
    }
    void close() override { m_inner->close(); }

private:
    std::shared_ptr<FaultPlan> m_plan;
    std::unique_ptr<OutputFile> m_inner;
    std::string m_path;
    std::uint64_t m_written = 0;
};

// The failure a fault makes of a copy's step.
CopyResult failedStep(const Fault &fault, const std::string &path)
{
    CopyResult result;
    result.outcome = fault.outcome;
    result.error = fault.error;
    result.message = std::strerror(fault.error);
    result.path = path;
    return result;
}

// A staged copy whose flush and rename meet the plan's faults; after a kill it leaves its
// temporary file behind.
class FaultyStagedCopy : public StagedCopy
{
public:
    FaultyStagedCopy(std::shared_ptr<FaultPlan> plan, std::unique_ptr<StagedCopy> inner)
        : m_plan(std::move(plan)), m_inner(std::move(inner))
    {
    }
    ~FaultyStagedCopy() override
    {
        if (m_plan->killed)
            (void)m_inner.release(); // as a killed process would, it removes nothing
    }

    const std::string &temporaryPath() const override { return m_inner->temporaryPath(); }
    const std::string &destination() const override { return m_inner->destination(); }
    std::size_t readAt(std::uint64_t offset, void *data, std::size_t size) override
    {
        return m_inner->readAt(offset, data, size);
    }
    void writeAt(std::uint64_t offset, const void *data, std::size_t size) override
    {
        m_inner->writeAt(offset, data, size);
    }
    void resize(std::uint64_t size) override { m_inner->resize(size); }
    std::uint64_t size() override { return m_inner->size(); }
    void flushFolder() override
    {
        if (m_inner)
            m_inner->flushFolder();
    }

    CopyResult flush(CopyTime time) override
    {
        if (m_plan->probe)
            m_plan->probe(FsOp::Flush, destination());
        if (const Fault *fault = FaultyFileSystem::faultFor(*m_plan, FsOp::Flush, destination())) {
            m_inner.reset();
            return failedStep(*fault, destination());
        }
        return m_inner->flush(time);
    }

    CopyResult rename(const std::string &to, bool replace) override
    {
        if (m_plan->probe)
            m_plan->probe(FsOp::Rename, to);
        if (const Fault *fault = FaultyFileSystem::faultFor(*m_plan, FsOp::Rename, to)) {
            if (fault->outcome != CopyOutcome::NameTaken)
                m_inner.reset();
            return failedStep(*fault, to);
        }
        return m_inner->rename(to, replace);
    }

private:
    std::shared_ptr<FaultPlan> m_plan;
    std::unique_ptr<StagedCopy> m_inner;
};

// A locked file whose appends and flushes meet the plan's faults.
class FaultyLockedFile : public LockedFile
{
public:
    FaultyLockedFile(std::shared_ptr<FaultPlan> plan, std::unique_ptr<LockedFile> inner,
                     std::string path)
        : m_plan(std::move(plan)), m_inner(std::move(inner)), m_path(std::move(path))
    {
    }

    bool created() const override { return m_inner->created(); }
    std::vector<std::uint8_t> read() override { return m_inner->read(); }
    void append(const void *data, std::size_t size) override
    {
        pass(FsOp::Append);
        m_inner->append(data, size);
    }
    void flush() override
    {
        pass(FsOp::Sync);
        m_inner->flush();
    }
    void replace(const void *data, std::size_t size) override
    {
        pass(FsOp::SafeWrite);
        m_inner->replace(data, size);
    }

private:
    void pass(FsOp op)
    {
        if (m_plan->probe)
            m_plan->probe(op, m_path);
        if (const Fault *fault = FaultyFileSystem::faultFor(*m_plan, op, m_path))
            raise(*fault, m_path);
    }

    std::shared_ptr<FaultPlan> m_plan;
    std::unique_ptr<LockedFile> m_inner;
    std::string m_path;
};

// A staging whose copy meets the plan's faults.
Staging wrapped(const std::shared_ptr<FaultPlan> &plan, Staging staging)
{
    if (staging.copy)
        staging.copy = std::make_unique<FaultyStagedCopy>(plan, std::move(staging.copy));
    return staging;
}

} // namespace

ReadFault failingFrom(std::uint64_t from, int error)
{
    return [from, error](const std::string &, std::uint64_t offset, std::size_t size) {
        return offset + size > from ? error : 0;
    };
}

ReadFault badBlock(std::uint64_t offset, int error, int times)
{
    auto failed = std::make_shared<std::atomic<int>>(0);
    return [=](const std::string &, std::uint64_t at, std::size_t size) {
        const bool meets = at < offset + RescueBlock && at + size > offset;
        if (!meets || (times > 0 && failed->load() >= times))
            return 0;
        ++*failed;
        return error;
    };
}

ReadFault ReadGate::fault()
{
    return [this](const std::string &, std::uint64_t, std::size_t) {
        std::unique_lock<std::mutex> lock(m_mutex);
        ++m_waiting;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return !m_closed; });
        --m_waiting;
        return 0;
    };
}

void ReadGate::hold()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_closed = true;
}

void ReadGate::release()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_closed = false;
    m_changed.notify_all();
}

bool ReadGate::held()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_closed && m_waiting > 0;
}

bool ReadGate::waitHeld(int ms)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(ms),
                              [this] { return m_closed && m_waiting > 0; });
}

FaultyFileSystem::FaultyFileSystem(std::shared_ptr<FaultPlan> plan,
                                   std::unique_ptr<FileSystem> inner)
    : m_plan(std::move(plan)), m_inner(std::move(inner))
{
}

FaultyFileSystem::Factory FaultyFileSystem::factory(std::shared_ptr<FaultPlan> plan, Factory inner)
{
    return [plan, inner]() -> std::unique_ptr<FileSystem> {
        return std::make_unique<FaultyFileSystem>(plan, inner());
    };
}

const Fault *FaultyFileSystem::faultFor(FaultPlan &plan, FsOp op, const std::string &path)
{
    static std::mutex counting;
    std::unique_lock<std::mutex> one(counting);
    const int call = ++plan.calls[op];
    one.unlock();
    if (plan.kill && plan.kill->first == op && plan.kill->second == call) {
        plan.killed = true;
        throw Killed{};
    }
    for (const Fault &fault : plan.faults) {
        if (fault.op == op && (fault.call == 0 || fault.call == call) &&
            path.rfind(fault.pathPrefix, 0) == 0)
            return &fault;
    }
    return nullptr;
}

const Fault *FaultyFileSystem::meet(FsOp op, const std::string &path) const
{
    if (m_plan->probe)
        m_plan->probe(op, path);
    return faultFor(*m_plan, op, path);
}

void FaultyFileSystem::pass(FsOp op, const std::string &path) const
{
    if (const Fault *fault = meet(op, path))
        raise(*fault, path);
}

namespace {

// A copy to `destination` that meets `fault` (if any) and the plan's read faults; `stage`
// makes the real one.
Staging faultyCopy(const std::shared_ptr<FaultPlan> &m_plan, const Fault *fault,
                   const std::string &source, const std::string &destination,
                   const CopyOptions &given,
                   const std::function<Staging(const CopyOptions &)> &stage)
{
    CopyOptions options = given;
    if (m_plan->readFault) {
        options.beforeRead = [plan = m_plan, source, given](std::uint64_t offset,
                                                            std::size_t size) {
            if (const int error = plan->readFault(source, offset, size))
                return error;
            return given.beforeRead ? given.beforeRead(offset, size) : 0;
        };
    }
    if (!fault)
        return wrapped(m_plan, stage(options));
    std::uint64_t through = 0;
    if (fault->bytesFirst > 0) {
        CopyOptions stopping = options;
        stopping.progress = [&](std::uint64_t copied) {
            through = std::min(copied, fault->bytesFirst);
            if (options.progress && !options.progress(through))
                return false;
            return copied < fault->bytesFirst;
        };
        Staging staging = stage(stopping);
        if (staging.result.outcome != CopyOutcome::Cancelled || through < fault->bytesFirst)
            return wrapped(m_plan,
                           std::move(staging)); // done before the fault, or ended on its own
    }
    Staging staging;
    CopyResult &result = staging.result;
    result.outcome = fault->outcome;
    const bool cancelled = fault->outcome == CopyOutcome::Cancelled;
    result.error = cancelled ? 0 : fault->error;
    result.message = cancelled ? std::string() : std::string(std::strerror(fault->error));
    const bool sourceSide = fault->outcome == CopyOutcome::SourceMissing ||
                            fault->outcome == CopyOutcome::SourceNotRegular ||
                            fault->outcome == CopyOutcome::SourceUnreadable;
    result.path = sourceSide ? source : destination;
    result.bytes = through;
    return staging;
}

// A written file that meets `fault`: nothing is written.
Staging faultyWrite(const Fault &fault, const std::string &destination)
{
    Staging staging;
    staging.result.outcome = fault.outcome;
    staging.result.error = fault.error;
    staging.result.message = std::strerror(fault.error);
    staging.result.path = destination;
    return staging;
}

// A held folder whose steps meet the plan's faults under the paths they act on.
class FaultyHeldFolder : public HeldFolder
{
public:
    FaultyHeldFolder(std::shared_ptr<FaultPlan> plan, std::unique_ptr<HeldFolder> inner)
        : m_plan(std::move(plan)), m_inner(std::move(inner))
    {
    }
    static std::unique_ptr<HeldFolder> wrap(const std::shared_ptr<FaultPlan> &plan,
                                            std::unique_ptr<HeldFolder> inner)
    {
        if (!inner)
            return nullptr;
        return std::make_unique<FaultyHeldFolder>(plan, std::move(inner));
    }

    const std::string &path() const override { return m_inner->path(); }
    std::unique_ptr<HeldFolder> folder(const std::string &name) const override
    {
        return wrap(m_plan, m_inner->folder(name));
    }
    std::unique_ptr<HeldFolder> makeFolder(const std::string &name) const override
    {
        pass(FsOp::CreateFolder, path() + name);
        return wrap(m_plan, m_inner->makeFolder(name));
    }
    std::vector<FolderEntry> entries() const override
    {
        pass(FsOp::ListFolder, path());
        return m_inner->entries();
    }
    std::optional<FileStatus> status(const std::string &name) const override
    {
        return m_inner->status(name);
    }
    std::optional<FileIdentity> identity(const std::string &name) const override
    {
        return m_inner->identity(name);
    }
    bool sameContents(const std::string &source, const std::string &name) const override
    {
        return m_inner->sameContents(source, name);
    }
    std::vector<std::uint8_t> readFile(const std::string &name) const override
    {
        pass(FsOp::ReadFile, path() + name);
        return m_inner->readFile(name);
    }
    Staging stageCopy(const std::string &source, const std::string &name,
                      const CopyOptions &options) const override
    {
        const std::string destination = path() + name;
        return faultyCopy(
            m_plan, meet(FsOp::SafeCopy, destination), source, destination, options,
            [&](const CopyOptions &with) { return m_inner->stageCopy(source, name, with); });
    }
    Staging stageBytes(const std::string &name, const void *data, std::size_t size) const override
    {
        if (const Fault *fault = meet(FsOp::SafeWrite, path() + name))
            return faultyWrite(*fault, path() + name);
        return wrapped(m_plan, m_inner->stageBytes(name, data, size));
    }
    bool removeFile(const std::string &name,
                    const std::function<bool(const FileStatus &)> &expected) const override
    {
        pass(FsOp::DeleteFile, path() + name);
        return m_inner->removeFile(name, expected);
    }
    std::unique_ptr<LockedFile> lockFile(const std::string &name) const override
    {
        pass(FsOp::Lock, path() + name);
        std::unique_ptr<LockedFile> inner = m_inner->lockFile(name);
        if (!inner)
            return nullptr;
        return std::make_unique<FaultyLockedFile>(m_plan, std::move(inner), path() + name);
    }

private:
    const Fault *meet(FsOp op, const std::string &path) const
    {
        if (m_plan->probe)
            m_plan->probe(op, path);
        return FaultyFileSystem::faultFor(*m_plan, op, path);
    }
    void pass(FsOp op, const std::string &path) const
    {
        if (const Fault *fault = meet(op, path))
            raise(*fault, path);
    }

    std::shared_ptr<FaultPlan> m_plan;
    std::unique_ptr<HeldFolder> m_inner;
};

} // namespace

Staging FaultyFileSystem::stageCopy(const std::string &source, const std::string &destination,
                                    const CopyOptions &options) const
{
    return faultyCopy(
        m_plan, meet(FsOp::SafeCopy, destination), source, destination, options,
        [&](const CopyOptions &with) { return m_inner->stageCopy(source, destination, with); });
}

std::unique_ptr<HeldFolder> FaultyFileSystem::holdFolder(const std::string &path) const
{
    return FaultyHeldFolder::wrap(m_plan, m_inner->holdFolder(path));
}

Staging FaultyFileSystem::stageBytes(const std::string &destination, const void *data,
                                     std::size_t size) const
{
    const Fault *fault = meet(FsOp::SafeWrite, destination);
    if (!fault)
        return wrapped(m_plan, m_inner->stageBytes(destination, data, size));
    return faultyWrite(*fault, destination);
}

void FaultyFileSystem::replaceFile(const std::string &from, const std::string &to) const
{
    pass(FsOp::ReplaceFile, to);
    m_inner->replaceFile(from, to);
}

bool FaultyFileSystem::renameOrCopy(const std::string &source, const std::string &destination) const
{
    if (const Fault *fault = meet(FsOp::RenameOrCopy, destination)) {
        // A copy that breaks off leaves its first bytes behind.
        if (fault->bytesFirst > 0)
            writeHead(source, destination, fault->bytesFirst);
        raise(*fault, destination);
    }
    if (!m_plan->otherFileSystem)
        return m_inner->renameOrCopy(source, destination);
    // A new file at `destination` with the bytes of `source`, as a copy between two file
    // systems makes it.
    std::error_code error;
    std::filesystem::copy_file(source, destination, error);
    if (error)
        throw PlatformError(error.value(), error.message() + ": " + destination);
    return true;
}

void FaultyFileSystem::deleteFile(const std::string &path) const
{
    pass(FsOp::DeleteFile, path);
    m_inner->deleteFile(path);
}

void FaultyFileSystem::createFolder(const std::string &path) const
{
    pass(FsOp::CreateFolder, path);
    m_inner->createFolder(path);
}

std::vector<std::string> FaultyFileSystem::listFolder(const std::string &path) const
{
    pass(FsOp::ListFolder, path);
    return m_inner->listFolder(path);
}

std::vector<FolderEntry> FaultyFileSystem::listEntries(const std::string &path) const
{
    pass(FsOp::ListFolder, path);
    return m_inner->listEntries(path);
}

std::unique_ptr<LockedFile> FaultyFileSystem::lockFile(const std::string &path) const
{
    pass(FsOp::Lock, path);
    std::unique_ptr<LockedFile> inner = m_inner->lockFile(path);
    if (!inner)
        return nullptr;
    return std::make_unique<FaultyLockedFile>(m_plan, std::move(inner), path);
}

std::vector<std::uint8_t> FaultyFileSystem::readFile(const std::string &path) const
{
    pass(FsOp::ReadFile, path);
    return m_inner->readFile(path);
}

std::unique_ptr<OutputFile> FaultyFileSystem::createFile(const std::string &path) const
{
    pass(FsOp::CreateFile, path);
    return std::make_unique<FaultyOutputFile>(m_plan, m_inner->createFile(path), path);
}

NewFile FaultyFileSystem::createNewFile(const std::string &path) const
{
    pass(FsOp::CreateFile, path);
    NewFile made = m_inner->createNewFile(path);
    if (made.file)
        made.file = std::make_unique<FaultyOutputFile>(m_plan, std::move(made.file), path);
    return made;
}

std::vector<std::uint8_t> FaultyFileSystem::readFileWithin(const std::string &folder,
                                                           const std::string &path) const
{
    pass(FsOp::ReadFile, path);
    return m_inner->readFileWithin(folder, path);
}

std::uint64_t FaultyFileSystem::availableSpace(const std::string &path) const
{
    pass(FsOp::AvailableSpace, path);
    return m_plan->availableSpace ? *m_plan->availableSpace : m_inner->availableSpace(path);
}

} // namespace sondrel::test
