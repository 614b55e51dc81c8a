// libFuzzer target: arbitrary bytes as the player's track database, through the
// record walk. Any read outside the buffer, undefined behaviour, leak or hang is a bug.

#include "recordwalk.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // An exact-size copy, so that the sanitizer sees a read one byte past the end.
    std::vector<std::uint8_t> bytes(data, data + size);
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
    return 0;
}
