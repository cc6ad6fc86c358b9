#include "HugePages.h"

#include <cstdint>

#include <sys/mman.h>

void AdviseHugePages(const void *data, std::size_t bytes)
{
#ifdef MADV_HUGEPAGE
    constexpr std::uintptr_t Huge = std::uintptr_t(2) << 20;
    // Only ranges the allocator surely mapped on their own (it maps anything over 32 MiB so):
    // advised memory among the allocator's small blocks would be kept in huge pages long after
    // those are freed.
    constexpr std::size_t Least = std::size_t(32) << 20;
    if (bytes < Least)
        return;
    const std::uintptr_t from = (std::uintptr_t(data) + Huge - 1) & ~(Huge - 1);
    const std::uintptr_t to = (std::uintptr_t(data) + bytes) & ~(Huge - 1);
    // Only advice: where the kernel has no huge pages to give, the memory stays as it is.
    if (to > from)
        ::madvise(reinterpret_cast<void *>(from), to - from, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}
