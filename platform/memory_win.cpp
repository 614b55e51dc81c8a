#include "memory.h"

namespace sondrel {

// Large pages on Windows need the "Lock pages in memory" privilege, which a user's
// account does not hold: ordinary pages it is.
void adviseLargeBlock(void *, std::size_t) {}

void preferLargePagesForHeap() {}

} // namespace sondrel
