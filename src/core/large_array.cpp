#include "core/large_array.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <new>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace quillon {

namespace {

std::size_t RoundedToHugePages(std::size_t bytes) {
    return (bytes + HugePageBytes - 1) / HugePageBytes * HugePageBytes;
}

// Blocks released while a KeptMemoryScope lives, their pages still touched, for the next
// arrays of about their size; and how many scopes live.
struct KeptBlock {
    void* p = nullptr;
    std::size_t bytes = 0;
};
std::mutex keptMutex;
int keptScopes = 0;
std::vector<KeptBlock> keptBlocks;
constexpr std::size_t kKeptBlocks = 32;

#if defined(__linux__)
// Fresh memory from the system, 2 MB aligned and advised as huge pages (only advice: where
// the kernel has none to give, ordinary pages serve).
void* MapAligned(std::size_t rounded) {
    const std::size_t span = rounded + HugePageBytes;
    void* raw = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (start + HugePageBytes - 1) & ~(HugePageBytes - 1);
    if (aligned > start)
        munmap(raw, aligned - start);
    const std::uintptr_t end = start + span;
    if (end > aligned + rounded)
        munmap(reinterpret_cast<void*>(aligned + rounded), end - (aligned + rounded));
    void* p = reinterpret_cast<void*>(aligned);
#if defined(MADV_HUGEPAGE)
    (void)madvise(p, rounded, MADV_HUGEPAGE);
#endif
    return p;
}

void Unmap(void* p, std::size_t rounded) {
    munmap(p, rounded);
}
// A mapping can give back its tail, so a kept block serves a smaller array.
constexpr bool kTailsReturn = true;
#else
void* MapAligned(std::size_t rounded) {
    void* p = std::aligned_alloc(HugePageBytes, rounded);
    if (p == nullptr)
        throw std::bad_alloc();
    return p;
}

void Unmap(void* p, std::size_t) {
    std::free(p);
}
constexpr bool kTailsReturn = false;
#endif

} // namespace

void* AllocateLargeArrayMemory(std::size_t bytes) {
    const std::size_t rounded = RoundedToHugePages(bytes);
    {
        // A kept block of this size up to twice it, the smallest.
        const std::lock_guard<std::mutex> lock(keptMutex);
        auto best = keptBlocks.end();
        for (auto it = keptBlocks.begin(); it != keptBlocks.end(); ++it)
            if (it->bytes >= rounded && it->bytes <= (kTailsReturn ? 2 * rounded : rounded) &&
                (best == keptBlocks.end() || it->bytes < best->bytes))
                best = it;
        if (best != keptBlocks.end()) {
            void* p = best->p;
            // The block keeps its own size: its tail beyond `rounded` goes with it.
            const std::size_t extra = best->bytes - rounded;
            if (extra != 0)
                Unmap(static_cast<char*>(p) + rounded, extra);
            keptBlocks.erase(best);
            return p;
        }
    }
    return MapAligned(rounded);
}

void ReleaseLargeArrayMemory(void* p, std::size_t bytes) noexcept {
    const std::size_t rounded = RoundedToHugePages(bytes);
    {
        const std::lock_guard<std::mutex> lock(keptMutex);
        if (keptScopes > 0 && keptBlocks.size() < kKeptBlocks) {
            keptBlocks.push_back({p, rounded});
            return;
        }
    }
    Unmap(p, rounded);
}

KeptMemoryScope::KeptMemoryScope() {
    const std::lock_guard<std::mutex> lock(keptMutex);
    if (keptScopes++ > 0)
        return;
#if defined(__GLIBC__)
    // Smaller blocks up to 1 GB come from the heap, which is not trimmed while the scope
    // lasts.
    (void)mallopt(M_MMAP_THRESHOLD, 1 << 30);
    (void)mallopt(M_TRIM_THRESHOLD, 1 << 30);
#endif
}

KeptMemoryScope::~KeptMemoryScope() {
    const std::lock_guard<std::mutex> lock(keptMutex);
    if (--keptScopes > 0)
        return;
    for (const KeptBlock& block : keptBlocks)
        Unmap(block.p, block.bytes);
    keptBlocks.clear();
#if defined(__GLIBC__)
    // The allocator's own defaults, and the kept memory back to the system.
    (void)mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    (void)mallopt(M_TRIM_THRESHOLD, 128 * 1024);
    (void)malloc_trim(0);
#endif
}

} // namespace quillon
