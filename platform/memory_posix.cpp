#include "memory.h"

#include <malloc.h>
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

void preferLargePagesForHeap()
{
#if defined(MADV_HUGEPAGE) && defined(__GLIBC__)
    // Blocks up to 32 MB come from the heap rather than from mappings of their own, which
    // would each start with small pages; freed, the heap keeps its room.
    constexpr std::size_t Block = std::size_t(30) << 20;
    constexpr int Blocks = 8; // 240 MB of room, only address space until it is used
    ::mallopt(M_MMAP_THRESHOLD, 32 << 20);
    ::mallopt(M_TRIM_THRESHOLD, 1 << 30);
    // The heap grows by the room at once, and the room is advised: the kernel keeps the
    // advice with the region it was given for, not with the heap's later growth.
    void *room[Blocks] = {};
    for (void *&block : room)
        block = ::malloc(Block);
    const auto page = std::uintptr_t(::sysconf(_SC_PAGESIZE));
    const auto begin = (std::uintptr_t(room[0]) + page - 1) & ~(page - 1);
    const auto end = std::uintptr_t(::sbrk(0)) & ~(page - 1);
    if (room[0] && end > begin)
        ::madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
    for (void *block : room)
        ::free(block);
#endif
}

} // namespace sondrel
