#pragma once

#include <cstddef>

namespace sondrel {

// Blocks of this size and more are worth the advice below.
constexpr std::size_t LargeBlock = std::size_t(4) << 20;

// Asks the system to back a large block that is about to be filled (a database read or
// inflated whole) with large pages where it offers them, so that filling it costs a few
// dozen page faults instead of tens of thousands. Only the whole pages inside the block
// are concerned; the block's contents do not change. Nothing happens where the system
// has no such advice, or for a block smaller than LargeBlock.
void adviseLargeBlock(void *data, std::size_t size);

// For a short-lived program that fills tens of megabytes of small blocks at once (the
// command line reading a whole player): asks that the heap, from here on, be backed by
// large pages where the system offers them, and grow in large steps, so that its first
// use costs far fewer page faults. Call it once, at the start. Nothing happens where
// the system has no such advice.
void preferLargePagesForHeap();

} // namespace sondrel
