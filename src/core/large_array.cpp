#include "core/large_array.h"

#include <cstdlib>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace quillon {

namespace {

std::size_t RoundedToHugePages(std::size_t bytes) {
    return (bytes + HugePageBytes - 1) / HugePageBytes * HugePageBytes;
}

} // namespace

void* AllocateLargeArrayMemory(std::size_t bytes) {
    const std::size_t rounded = RoundedToHugePages(bytes);
    void* p = std::aligned_alloc(HugePageBytes, rounded);
    if (p == nullptr)
        throw std::bad_alloc();
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // Only advice: where the kernel has no huge pages to give, ordinary pages serve.
    (void)madvise(p, rounded, MADV_HUGEPAGE);
#endif
    return p;
}

void ReleaseLargeArrayMemory(void* p, std::size_t) noexcept {
    std::free(p);
}

} // namespace quillon
