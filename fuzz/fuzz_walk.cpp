// libFuzzer target: arbitrary bytes as the player's track database, read both ways the
// program reads one: as "iTunesDB", straight through the record walk, and as "iTunesCDB",
// inflated first and then walked. Any read outside the buffer, undefined behaviour, leak
// or hang is a bug.

#include "compresseddatabase.h"
#include "recordwalk.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

void walk(const std::vector<std::uint8_t> &bytes)
{
    sondrel::TrackTable table;
    long calls = 0;
    const sondrel::WalkOutcome outcome = sondrel::walkDatabase(bytes, table, [&](int j, int n) {
        ++calls;
        if (j < 1 || j > n || n != table.count())
            __builtin_trap();
    });
    sondrel::readPlaylists(bytes, table);
    if (outcome.complete() && calls != table.count())
        __builtin_trap();
    if (outcome.complete())
        for (int k = 1; k <= table.count(); ++k)
            if (table.track(k).id != k)
                __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // Exact-size copies, so that the sanitizer sees a read one byte past the end.
    const std::vector<std::uint8_t> stored(data, data + size);
    walk(stored);

    const sondrel::InflatedDatabase inflated = sondrel::inflateDatabase(stored);
    if (inflated.status != sondrel::InflateStatus::Inflated) {
        if (!inflated.bytes().empty())
            __builtin_trap();
        return 0;
    }
    // An ordinary database now: the stored header, then at most 64 times as many inflated
    // bytes as there were compressed ones.
    const std::vector<std::uint8_t> bytes(inflated.bytes().begin(), inflated.bytes().end());
    std::uint32_t header = 0;
    std::memcpy(&header, data + 4, 4);
    if (bytes.size() < header || bytes.size() - header > 64 * (size - header) ||
        std::memcmp(bytes.data(), data, header) != 0)
        __builtin_trap();
    walk(bytes);
    return 0;
}
