// Arrays of a whole enumeration (a value per sample table), allocated where first touching
// them is cheap.
//
// A sample table array of a cross-sectional N = 150 holds tens of megabytes, written once
// per evaluation point. On a virtual machine the first touch of each fresh 4 KB page is a
// trap costing microseconds, which made page faults the largest single cost of a point.
// Arrays of LargeArrayMinimumBytes or more are therefore aligned to 2 MB and offered to the
// kernel as transparent huge pages (one fault per 2 MB where the kernel grants them);
// smaller ones come from the ordinary allocator. Values are default-initialised: a resize
// leaves new elements unset, for arrays whose every element is written before it is read.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace quillon {

inline constexpr std::size_t HugePageBytes = std::size_t{2} << 20;
inline constexpr std::size_t LargeArrayMinimumBytes = HugePageBytes / 2;

// Memory for `bytes` bytes (at least LargeArrayMinimumBytes), 2 MB aligned and advised as
// huge pages; release it with ReleaseLargeArrayMemory(p, bytes).
void* AllocateLargeArrayMemory(std::size_t bytes);
void ReleaseLargeArrayMemory(void* p, std::size_t bytes) noexcept;

template <typename T> class LargeArrayAllocator {
public:
    using value_type = T;

    LargeArrayAllocator() = default;
    template <typename U> LargeArrayAllocator(const LargeArrayAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) {
        if (n > static_cast<std::size_t>(-1) / sizeof(T))
            throw std::bad_array_new_length();
        const std::size_t bytes = n * sizeof(T);
        if (bytes < LargeArrayMinimumBytes)
            return std::allocator<T>().allocate(n);
        return static_cast<T*>(AllocateLargeArrayMemory(bytes));
    }
    void deallocate(T* p, std::size_t n) noexcept {
        const std::size_t bytes = n * sizeof(T);
        if (bytes < LargeArrayMinimumBytes)
            std::allocator<T>().deallocate(p, n);
        else
            ReleaseLargeArrayMemory(p, bytes);
    }
    // Elements are default-initialised (left unset for numbers) unless given a value.
    template <typename U>
    void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>) {
        ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args> void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }

    friend bool operator==(const LargeArrayAllocator&, const LargeArrayAllocator&) { return true; }
};

template <typename T> using LargeArray = std::vector<T, LargeArrayAllocator<T>>;

// While one of these lives, memory the process frees is kept by the allocator for the
// next allocations instead of going back to the system: a run's combinations allocate
// arrays of much the same sizes one after another, and on a virtual machine touching
// fresh pages cost a third of a sweep of small combinations. When the last one ends the
// kept memory is handed back. Scopes may nest and overlap across threads.
class KeptMemoryScope {
public:
    KeptMemoryScope();
    ~KeptMemoryScope();
    KeptMemoryScope(const KeptMemoryScope&) = delete;
    KeptMemoryScope& operator=(const KeptMemoryScope&) = delete;
};

} // namespace quillon
