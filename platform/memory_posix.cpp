#include "memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace sondrel {

void adviseLargeBlock(void *data, std::size_t size)
{
#ifdef MADV_HUGEPAGE
    if (!data || size < LargeBlock)
        return;
    const auto page = std::uintptr_t(::sysconf(_SC_PAGESIZE));
    const auto begin = (std::uintptr_t(data) + page - 1) & ~(page - 1);
    const auto end = (std::uintptr_t(data) + size) & ~(page - 1);
    // Transparent huge pages in "madvise" mode (the common default) only serve the
    // regions that ask; a refusal (no such pages in this kernel) changes nothing.
    if (end > begin)
        ::madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)data;
    (void)size;
#endif
}

} // namespace sondrel
