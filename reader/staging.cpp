#include "staging.h"

#include <array>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace sondrel {

namespace {

// "00" to "FF", two characters per byte value.
constexpr std::array<char, 512> makeHexPairs()
{
    constexpr char digits[] = "0123456789ABCDEF";
    std::array<char, 512> pairs{};
    for (int b = 0; b < 256; ++b) {
        pairs[std::size_t(2 * b)] = digits[b >> 4];
        pairs[std::size_t(2 * b + 1)] = digits[b & 15];
    }
    return pairs;
}

constexpr std::array<char, 512> HexPairs = makeHexPairs();

void encode(const std::uint8_t *in, std::size_t count, char *out)
{
    for (std::size_t i = 0; i < count; ++i) {
        const char *pair = &HexPairs[std::size_t(in[i]) * 2];
        out[2 * i] = pair[0];
        out[2 * i + 1] = pair[1];
    }
}

std::string joined(const QString &folder, const char *name)
{
    return folder.toStdString() + name;
}

// Writes the staged copy and the hex text of an inflating database on a thread of its
// own, so that inflating and writing share the time instead of adding up. Pieces are
// copied out of the inflater's buffer (which moves when it grows) into a few buffers of
// their own; when all of those wait to be written, the inflater waits too.
class WorkFileWriter
{
public:
    WorkFileWriter(OutputFile &copy, OutputFile &hex)
        : m_copy(copy), m_hex(hex), m_thread([this] { run(); })
    {
    }
    ~WorkFileWriter() { finish(); }

    // Queues a copy of `piece`. Raises what writing an earlier piece raised.
    void add(std::span<const std::uint8_t> piece)
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_error || m_queue.size() < Buffers; });
        if (m_error)
            std::rethrow_exception(m_error);
        std::vector<std::uint8_t> buffer;
        if (!m_spare.empty()) {
            buffer = std::move(m_spare.back());
            m_spare.pop_back();
        }
        lock.unlock();
        buffer.assign(piece.begin(), piece.end());
        lock.lock();
        m_queue.push_back(std::move(buffer));
        m_changed.notify_all();
    }

    // Waits until every queued piece is written (or writing failed) and ends the thread.
    // Raises what writing raised, unless an exception is already on its way.
    void finish()
    {
        if (!m_thread.joinable())
            return;
        {
            std::lock_guard lock(m_mutex);
            m_done = true;
            m_changed.notify_all();
        }
        m_thread.join();
        if (m_error && std::uncaught_exceptions() == 0)
            std::rethrow_exception(std::exchange(m_error, nullptr));
    }

private:
    static constexpr std::size_t Buffers = 8;

    void run()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [&] { return m_done || !m_queue.empty(); });
            if (m_queue.empty())
                return;
            std::vector<std::uint8_t> piece = std::move(m_queue.front());
            m_queue.pop_front();
            lock.unlock();
            try {
                m_copy.write(piece.data(), piece.size());
                writeHexText(m_hex, piece);
            } catch (...) {
                lock.lock();
                m_error = std::current_exception();
                m_queue.clear();
                m_changed.notify_all();
                return;
            }
            lock.lock();
            m_spare.push_back(std::move(piece));
            m_changed.notify_all();
        }
    }

    OutputFile &m_copy;
    OutputFile &m_hex;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::vector<std::uint8_t>> m_queue;
    std::vector<std::vector<std::uint8_t>> m_spare;
    std::exception_ptr m_error;
    bool m_done = false;
    std::thread m_thread; // last: started once everything above is there
};

} // namespace

WorkFiles workFiles(const QString &playerDrive, const QString &exportDirectory, char separator)
{
    const std::string sep(1, separator);
    WorkFiles files;
    files.database = playerDrive.toStdString() + "iPod_Control" + sep + "iTunes" + sep + "iTunesDB";
    files.stagedCopy = joined(exportDirectory, "Vemo_temp");
    files.hexFile = joined(exportDirectory, "Vemo_temp_hex.txt");
    return files;
}

std::string hexText(std::span<const std::uint8_t> bytes)
{
    std::string text(bytes.size() * 2, '\0');
    encode(bytes.data(), bytes.size(), text.data());
    return text;
}

void writeHexText(OutputFile &out, std::span<const std::uint8_t> bytes)
{
    constexpr std::size_t Piece = 64 * 1024; // bytes of the database per write
    std::vector<char> buffer(2 * Piece);
    for (std::size_t done = 0; done < bytes.size();) {
        const std::size_t count = std::min(Piece, bytes.size() - done);
        encode(bytes.data() + done, count, buffer.data());
        out.write(buffer.data(), 2 * count);
        done += count;
    }
}

PlayerDatabase findPlayerDatabase(const FileSystem &fs, const std::string &playerDrive)
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

StagedDatabase stageDatabase(const FileSystem &fs, const WorkFiles &files,
                             const InflateLimits &limits)
{
    StagedDatabase staged;
    if (!files.compressed.empty()) {
        std::vector<std::uint8_t> stored = fs.readFile(files.compressed);
        // An empty one is a stub, unless there is nothing else to read.
        if (!stored.empty() || files.database.empty()) {
            // Both work files are written while the database inflates; a stream that
            // turns out unreadable takes them away again.
            const std::unique_ptr<OutputFile> copy = fs.createFile(files.stagedCopy);
            const std::unique_ptr<OutputFile> hex = fs.createFile(files.hexFile);
            {
                WorkFileWriter writer(*copy, *hex);
                staged.inflated = inflateDatabase(
                    stored, limits, [&](std::span<const std::uint8_t> piece) { writer.add(piece); });
                writer.finish();
            }
            staged.status = staged.inflated.status;
            if (staged.status == InflateStatus::Plain) {
                staged.read = std::move(stored);
                copy->write(staged.read.data(), staged.read.size());
                writeHexText(*hex, staged.read);
            }
            copy->close();
            hex->close();
            if (!staged.readable()) {
                fs.deleteFile(files.hexFile);
                fs.deleteFile(files.stagedCopy);
            }
            return staged;
        }
    }
    fs.copyFile(files.database, files.stagedCopy, true);
    staged.read = fs.readFile(files.stagedCopy);
    const std::unique_ptr<OutputFile> hex = fs.createFile(files.hexFile);
    writeHexText(*hex, staged.read);
    hex->close();
    return staged;
}

} // namespace sondrel
