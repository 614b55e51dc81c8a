#pragma once

// The hex text of bytes, two upper-case digits per byte. Plain C++ without Qt, so that it
// builds for Windows as it is.

#include <cstddef>
#include <cstdint>

namespace sondrel {

// The ways of encoding: with the vector instructions of newer processors (chosen when the
// processor has them) or byte by byte.
enum class HexPath { Plain, Ssse3, Avx2 };

// True when this processor (and this build) can run `path`.
bool hexPathAvailable(HexPath path);

// The fastest path this processor runs.
HexPath fastestHexPath();

// Writes the hex text of `count` bytes at `in` to `out` (2 * count characters, no
// terminator), high digit first: {0, 10, 255} gives "000AFF". Takes the fastest path.
void encodeHex(const std::uint8_t *in, std::size_t count, char *out);

// The same through one path, which must be available.
void encodeHexWith(HexPath path, const std::uint8_t *in, std::size_t count, char *out);

} // namespace sondrel
