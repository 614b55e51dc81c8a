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

bool sameIgnoringCase(const std::string &a, const std::string &b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return lowerAscii(x) == lowerAscii(y);
           });
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

std::vector<std::uint8_t> FileSystem::readFilePart(const std::string &path, std::uint64_t offset,
                                                   std::size_t size) const
{
    std::vector<std::uint8_t> bytes = readFile(path);
    if (offset >= bytes.size())
        return {};
    const auto from = bytes.begin() + std::ptrdiff_t(offset);
    return {from, from + std::ptrdiff_t(std::min<std::uint64_t>(size, bytes.size() - offset))};
}

std::string findEntry(const FileSystem &fs, const std::string &folder, const std::string &name)
{
    const char separator = fs.separator();
    const std::string base =
        folder.empty() || folder.back() == separator ? folder : folder + separator;
    const std::string exact = base + name;
    if (fs.fileExists(exact) || fs.folderExists(exact))
        return exact;
    std::vector<std::string> entries;
    try {
        entries = fs.listFolder(folder);
    } catch (const PlatformError &) {
        return {};
    }
    // Of several spellings (possible where names are case-sensitive), the first in byte order.
    std::sort(entries.begin(), entries.end());
    const auto found = std::find_if(entries.begin(), entries.end(), [&](const std::string &entry) {
        return sameIgnoringCase(entry, name);
    });
    return found == entries.end() ? std::string() : base + *found;
}

} // namespace sondrel
