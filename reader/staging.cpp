#include "staging.h"

#include "hextext.h"

#include "platformerror.h"

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

namespace sondrel {

namespace {

std::string joined(const QString &folder, const char *name)
{
    return folder.toStdString() + name;
}

// Writes hex text in pieces of a fixed size through one buffer of its own, so that a
// large database never needs a second buffer of twice its size.
class HexPieces
{
public:
    static constexpr std::size_t Piece = 64 * 1024; // bytes of the database per write

    void write(OutputFile &out, std::span<const std::uint8_t> bytes)
    {
        m_buffer.resize(2 * std::min(Piece, bytes.size()));
        for (std::size_t done = 0; done < bytes.size();) {
            const std::size_t count = std::min(Piece, bytes.size() - done);
            encodeHex(bytes.data() + done, count, m_buffer.data());
            out.write(m_buffer.data(), 2 * count);
            done += count;
        }
    }

private:
    std::vector<char> m_buffer;
};

} // namespace

// Writes the staged copy and the hex text on a thread of its own, straight from the
// database's bytes in memory, while the caller inflates or walks them. The caller says how
// far the bytes go (follow) and, before they move, waits until every byte is written
// (settle), so that nothing is copied on the way.
class WorkFileWriter
{
public:
    WorkFileWriter(OutputFile &copy, OutputFile &hex)
        : m_copy(copy), m_hex(hex), m_thread([this] { run(); })
    {
    }
    ~WorkFileWriter()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_stop = true;
            m_stopping.store(true, std::memory_order_relaxed);
            m_changed.notify_all();
        }
        if (m_thread.joinable())
            m_thread.join();
    }

    // The bytes to write are the first `sofar.size()` bytes of the database, now at
    // `sofar.data()`; those already written are not written again. Raises what writing
    // has raised.
    void follow(std::span<const std::uint8_t> sofar)
    {
        const std::lock_guard lock(m_mutex);
        if (m_error)
            std::rethrow_exception(m_error);
        m_base = sofar.data();
        m_size = sofar.size();
        m_changed.notify_all();
    }

    // Waits until every byte given is written, or writing has failed (and raises that).
    void settle()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_error || m_written == m_size; });
        if (m_error)
            std::rethrow_exception(m_error);
    }

    // No more bytes come: waits until they are written and ends the thread. Raises what
    // writing raised.
    void finish()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_last = true;
            m_changed.notify_all();
        }
        if (m_thread.joinable())
            m_thread.join();
        if (m_error)
            std::rethrow_exception(m_error);
    }

    void raiseIfFailed() const
    {
        if (!m_failed.load(std::memory_order_acquire))
            return;
        const std::lock_guard lock(m_mutex);
        std::rethrow_exception(m_error);
    }

private:
    void run()
    {
        HexPieces hex;
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [&] { return m_stop || m_last || m_written < m_size; });
            if (m_stop || m_written == m_size)
                return;
            const std::uint8_t *const base = m_base;
            const std::size_t from = m_written;
            const std::size_t to = m_size;
            lock.unlock();
            try {
                // The copy and the hex text piece by piece, while each piece is in the cache.
                for (std::size_t at = from; at < to;) {
                    const std::size_t count = std::min(HexPieces::Piece, to - at);
                    m_copy.write(base + at, count);
                    hex.write(m_hex, {base + at, count});
                    at += count;
                    if (m_stopping.load(std::memory_order_relaxed))
                        return;
                }
            } catch (...) {
                lock.lock();
                m_error = std::current_exception();
                m_failed.store(true, std::memory_order_release);
                m_changed.notify_all();
                return;
            }
            lock.lock();
            m_written = to;
            m_changed.notify_all();
        }
    }

    OutputFile &m_copy;
    OutputFile &m_hex;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    const std::uint8_t *m_base = nullptr;
    std::size_t m_size = 0;
    std::size_t m_written = 0;
    bool m_last = false;
    bool m_stop = false;
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_failed{false};
    std::exception_ptr m_error;
    std::thread m_thread; // last: started once everything above is there
};

WorkFiles workFiles(const QString &playerDrive, const QString &exportDirectory, char separator)
{
    const std::string sep(1, separator);
    WorkFiles files;
    files.player = playerDrive.toStdString();
    files.database = playerDrive.toStdString() + "iPod_Control" + sep + "iTunes" + sep + "iTunesDB";
    files.stagedCopy = joined(exportDirectory, "Vemo_temp");
    files.hexFile = joined(exportDirectory, "Vemo_temp_hex.txt");
    return files;
}

std::string hexText(std::span<const std::uint8_t> bytes)
{
    std::string text(bytes.size() * 2, '\0');
    encodeHex(bytes.data(), bytes.size(), text.data());
    return text;
}

void writeHexText(OutputFile &out, std::span<const std::uint8_t> bytes)
{
    HexPieces().write(out, bytes);
}

PlayerDatabase findPlayerDatabase(const PlayerFiles &fs, const std::string &playerDrive)
{
    PlayerDatabase found;
    const std::string control = findEntry(fs, playerDrive, "iPod_Control");
    const std::string itunes = control.empty() ? control : findEntry(fs, control, "iTunes");
    if (itunes.empty())
        return found;
    const auto file = [&](const char *name) {
        const std::string path = findEntry(fs, itunes, name);
        return !path.empty() && fs.fileExists(path) ? path : std::string();
    };
    found.plain = file("iTunesDB");
    found.compressed = file("iTunesCDB");
    return found;
}

void MadeWorkFiles::add(std::string path, FileIdentity identity)
{
    m_files.emplace_back(std::move(path), identity);
}

void MadeWorkFiles::remove(const PlayerFiles &fs)
{
    while (!m_files.empty()) {
        const auto &[path, identity] = m_files.back();
        if (fs.identity(path) == identity)
            fs.deleteFile(path);
        m_files.pop_back();
    }
}

void MadeWorkFiles::discard(const PlayerFiles &fs) noexcept
{
    for (auto file = m_files.rbegin(); file != m_files.rend(); ++file) {
        try {
            if (fs.identity(file->first) == file->second)
                fs.deleteFile(file->first);
        } catch (const PlatformError &) {
        }
    }
    m_files.clear();
}

namespace {

// The most pairs of work-file names tried before the check gives up.
constexpr int MaxWorkFileNames = 1000;

// Makes the two work files new under the first pair of names that are both free:
// "Vemo_temp" and "Vemo_temp_hex.txt", then "Vemo_temp (2)" and "Vemo_temp (2)_hex.txt"...
// Sets their paths in `files` and adds them to `made`.
std::pair<std::unique_ptr<OutputFile>, std::unique_ptr<OutputFile>>
makeWorkFiles(const PlayerFiles &fs, WorkFiles &files, MadeWorkFiles &made)
{
    for (int n = 1; n <= MaxWorkFileNames; ++n) {
        const std::string copyPath =
            n == 1 ? files.stagedCopy : files.stagedCopy + " (" + std::to_string(n) + ")";
        const std::string hexPath = n == 1 ? files.hexFile : copyPath + "_hex.txt";
        NewFile copy = fs.createNewFile(copyPath);
        if (!copy.file)
            continue;
        made.add(copyPath, copy.identity);
        NewFile hex = fs.createNewFile(hexPath);
        if (!hex.file) {
            copy.file.reset(); // closed before it is removed (Windows)
            MadeWorkFiles single;
            single.add(copyPath, copy.identity);
            single.remove(fs);
            made = MadeWorkFiles();
            continue;
        }
        made.add(hexPath, hex.identity);
        files.stagedCopy = copyPath;
        files.hexFile = hexPath;
        return {std::move(copy.file), std::move(hex.file)};
    }
    throw PlatformError(EEXIST, std::string(std::strerror(EEXIST)) + ": " + files.stagedCopy);
}

} // namespace

StagedDatabase::StagedDatabase() = default;
StagedDatabase::StagedDatabase(StagedDatabase &&) noexcept = default;
StagedDatabase &StagedDatabase::operator=(StagedDatabase &&) noexcept = default;
StagedDatabase::~StagedDatabase() = default;

void StagedDatabase::raiseIfWritingFailed() const
{
    if (m_writer)
        m_writer->raiseIfFailed();
}

void StagedDatabase::finish()
{
    if (!m_writer)
        return;
    // The thread ends whatever happens; the files are closed only after a complete write.
    const std::unique_ptr<WorkFileWriter> writer = std::move(m_writer);
    writer->finish();
    m_copy->close();
    m_hex->close();
}

// The steps of startStaging, into `staged`, whose files are set; raises with the work files
// it made in `staged.made`.
void stageInto(StagedDatabase &staged, const PlayerFiles &fs, const InflateLimits &limits);

StagedDatabase startStaging(const PlayerFiles &fs, const WorkFiles &files,
                            const InflateLimits &limits)
{
    StagedDatabase staged;
    staged.files = files;
    try {
        stageInto(staged, fs, limits);
    } catch (...) {
        // Nothing is left behind: the writing ends and the files are closed, then removed.
        staged.m_writer.reset();
        staged.m_copy.reset();
        staged.m_hex.reset();
        staged.made.discard(fs);
        throw;
    }
    return staged;
}

void stageInto(StagedDatabase &staged, const PlayerFiles &fs, const InflateLimits &limits)
{
    WorkFiles &files = staged.files;
    const bool writing = !files.stagedCopy.empty();
    const auto read = [&](const std::string &path) {
        return files.player.empty() ? fs.readFile(path) : fs.readFileWithin(files.player, path);
    };
    std::vector<std::uint8_t> stored;
    // An empty compressed database is a stub, unless there is nothing else to read.
    const bool compressed = !files.compressed.empty() &&
                            (!(stored = read(files.compressed)).empty() || files.database.empty());
    if (!compressed)
        stored = read(files.database);
    if (writing) {
        std::tie(staged.m_copy, staged.m_hex) = makeWorkFiles(fs, files, staged.made);
        staged.m_writer = std::make_unique<WorkFileWriter>(*staged.m_copy, *staged.m_hex);
    }
    WorkFileWriter *const writer = staged.m_writer.get();
    if (compressed) {
        // Both work files are written while the database inflates; a stream that turns
        // out unreadable takes them away again.
        InflateFollower follower;
        if (writer) {
            follower.grown = [writer](std::span<const std::uint8_t> sofar) {
                writer->follow(sofar);
            };
            follower.moving = [writer] { writer->settle(); };
        }
        staged.m_inflated = inflateDatabase(stored, limits, follower);
        staged.status = staged.m_inflated.status;
        if (!staged.readable()) {
            staged.finish();
            staged.made.remove(fs);
            return;
        }
    }
    if (staged.status == InflateStatus::Plain)
        staged.m_read = std::move(stored); // the buffer stays where it is
    else
        std::vector<std::uint8_t>().swap(stored); // the compressed bytes are not needed any more
    if (writer)
        writer->follow(staged.bytes());
}

StagedDatabase stageDatabase(const PlayerFiles &fs, const WorkFiles &files,
                             const InflateLimits &limits)
{
    StagedDatabase staged = startStaging(fs, files, limits);
    staged.finish();
    return staged;
}

} // namespace sondrel
