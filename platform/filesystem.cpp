#include "filesystem.h"

#include "platformerror.h"

#include <algorithm>
#include <random>

namespace sondrel {

namespace {

char lowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

std::string lowerAscii(std::string name)
{
    for (char &c : name)
        c = lowerAscii(c);
    return name;
}

} // namespace

CopyResult StagedCopy::place()
{
    const CopyResult flushed = flush();
    if (!flushed.copied())
        return flushed;
    CopyResult placed = rename(destination(), true);
    if (placed.copied())
        flushFolder();
    placed.sourceModified = flushed.sourceModified;
    placed.modified = flushed.modified;
    return placed;
}

std::string temporaryNameBeside(const std::string &path, char separator)
{
    static thread_local std::mt19937_64 random{std::random_device{}()};
    static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string name = ".sondrel-";
    for (int i = 0; i < 12; ++i)
        name += digits[random() % 36];
    name += ".part";
    const std::size_t cut = path.find_last_of(separator);
    return cut == std::string::npos ? name : path.substr(0, cut + 1) + name;
}

namespace {

// Reads up to `size` bytes at `offset` with one try of each read call, going on after a
// short read until the piece is whole or the source ends.
PieceRead readOnce(const SourceRead &read, std::uint64_t offset, char *data, std::size_t size,
                   const CopyOptions &options)
{
    PieceRead piece;
    while (piece.bytes < size) {
        const std::uint64_t at = offset + piece.bytes;
        const std::size_t want = size - piece.bytes;
        if (options.beforeRead) {
            if (const int error = options.beforeRead(at, want); error != 0) {
                piece.error = error;
                return piece;
            }
        }
        int error = 0;
        const std::int64_t got = read(at, data + piece.bytes, want, error);
        if (got < 0) {
            piece.error = error;
            return piece;
        }
        if (got == 0)
            break;
        piece.bytes += std::size_t(got);
    }
    return piece;
}

} // namespace

PieceRead readPiece(const SourceRead &read, std::uint64_t offset, char *data, std::size_t size,
                    const CopyOptions &options, const std::function<bool(int error)> &gone)
{
    PieceRead piece = readOnce(read, offset, data, size, options);
    if (piece.error == 0 || (gone && gone(piece.error)))
        return piece;
    // Tried again from where it failed.
    const std::size_t first = piece.bytes;
    PieceRead again = readOnce(read, offset + first, data + first, size - first, options);
    again.bytes += first;
    if (again.error == 0 || (gone && gone(again.error)) || !options.rescue)
        return again;

    // Block by block from the block that failed; a block that cannot be read is zeros.
    PieceRead rescued;
    rescued.bytes = again.bytes - again.bytes % RescueBlock;
    while (rescued.bytes < size) {
        if (options.progress && !options.progress(offset + rescued.bytes)) {
            rescued.cancelled = true;
            return rescued;
        }
        const std::size_t want = std::min(RescueBlock, size - rescued.bytes);
        PieceRead block =
            readOnce(read, offset + rescued.bytes, data + rescued.bytes, want, options);
        if (block.error != 0 && gone && gone(block.error)) {
            rescued.error = block.error;
            return rescued;
        }
        if (block.error != 0) {
            std::fill(data + rescued.bytes, data + rescued.bytes + want, char(0));
            rescued.lost += want;
            block.bytes = want;
        }
        rescued.bytes += block.bytes;
        if (block.bytes < want) // the source ends here
            break;
    }
    return rescued;
}

std::vector<std::uint8_t> PlayerFiles::readFilePart(const std::string &folder,
                                                    const std::string &path, std::uint64_t offset,
                                                    std::size_t size) const
{
    std::vector<std::uint8_t> bytes = readFileWithin(folder, path);
    if (offset >= bytes.size())
        return {};
    const auto from = bytes.begin() + std::ptrdiff_t(offset);
    return {from, from + std::ptrdiff_t(std::min<std::uint64_t>(size, bytes.size() - offset))};
}

std::string CaseInsensitiveFolders::find(const std::string &folder, const std::string &name)
{
    auto listed = m_folders.find(folder);
    if (listed == m_folders.end()) {
        std::vector<std::string> entries;
        try {
            entries = m_fs.listFolder(folder);
        } catch (const PlatformError &) {
        }
        std::sort(entries.begin(), entries.end());
        std::unordered_map<std::string, std::string> byName;
        for (std::string &entry : entries)
            byName.try_emplace(lowerAscii(entry), std::move(entry));
        listed = m_folders.emplace(folder, std::move(byName)).first;
    }
    const auto found = listed->second.find(lowerAscii(name));
    return found == listed->second.end() ? std::string() : found->second;
}

std::string findEntry(const PlayerFiles &fs, const std::string &folder, const std::string &name)
{
    const char separator = fs.separator();
    const std::string base =
        folder.empty() || folder.back() == separator ? folder : folder + separator;
    const std::string exact = base + name;
    if (fs.fileExists(exact) || fs.folderExists(exact))
        return exact;
    const std::string found = CaseInsensitiveFolders(fs).find(folder, name);
    return found.empty() ? found : base + found;
}

} // namespace sondrel
