#include "faultyfilesystem.h"

#include "platformerror.h"

#include <algorithm>
#include <cstring>
#include <fstream>

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

} // namespace

FaultyFileSystem::FaultyFileSystem(std::shared_ptr<FaultPlan> plan, std::unique_ptr<FileSystem> inner)
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
    const int call = ++plan.calls[op];
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

void FaultyFileSystem::copyFile(const std::string &source, const std::string &destination,
                                bool overwrite) const
{
    if (const Fault *fault = meet(FsOp::CopyFile, destination)) {
        if (fault->bytesFirst > 0)
            writeHead(source, destination, fault->bytesFirst);
        raise(*fault, destination);
    }
    m_inner->copyFile(source, destination, overwrite);
}

Staging FaultyFileSystem::stageCopy(const std::string &source, const std::string &destination,
                                    const CopyOptions &options) const
{
    const Fault *fault = meet(FsOp::SafeCopy, destination);
    if (!fault)
        return m_inner->stageCopy(source, destination, options);
    std::uint64_t through = 0;
    if (fault->bytesFirst > 0) {
        CopyOptions stopping;
        stopping.progress = [&](std::uint64_t copied) {
            through = std::min(copied, fault->bytesFirst);
            if (options.progress && !options.progress(through))
                return false;
            return copied < fault->bytesFirst;
        };
        Staging staging = m_inner->stageCopy(source, destination, stopping);
        if (staging.result.outcome != CopyOutcome::Cancelled || through < fault->bytesFirst)
            return staging; // done before the fault, or ended on its own
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

Staging FaultyFileSystem::stageBytes(const std::string &destination, const void *data,
                                     std::size_t size) const
{
    const Fault *fault = meet(FsOp::SafeWrite, destination);
    if (!fault)
        return m_inner->stageBytes(destination, data, size);
    Staging staging;
    staging.result.outcome = fault->outcome;
    staging.result.error = fault->error;
    staging.result.message = std::strerror(fault->error);
    staging.result.path = destination;
    return staging;
}

void FaultyFileSystem::moveFile(const std::string &source, const std::string &destination) const
{
    pass(FsOp::MoveFile, destination);
    m_inner->moveFile(source, destination);
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
    m_inner->copyFile(source, destination, false);
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

std::uint64_t FaultyFileSystem::availableSpace(const std::string &path) const
{
    pass(FsOp::AvailableSpace, path);
    return m_plan->availableSpace ? *m_plan->availableSpace : m_inner->availableSpace(path);
}

} // namespace sondrel::test
