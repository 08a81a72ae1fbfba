// Huge-page advice (madvise MADV_HUGEPAGE) for the aligned 2 MiB blocks inside a buffer: only
// memory of the buffer itself is advised, so no page outside it is ever mapped on its account.
#include "common/LargeBuffer.h"

#include <sys/mman.h>

#include <cstdint>

void adviseLargeBuffer(const void* data, std::size_t bytes) {
#ifdef MADV_HUGEPAGE
    const std::uintptr_t kHugePage = std::uintptr_t(2) << 20;
    const std::uintptr_t begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t last = (begin + bytes) & ~(kHugePage - 1);
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}
