// Arrays of a whole enumeration: large ones 2 MB aligned (the huge-page advice needs it),
// small ones from the ordinary allocator, and both behaving as vectors; and the memory a
// run keeps for its next combinations (KeptMemoryScope).
#include "core/large_array.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace quillon {
namespace {

TEST(LargeArray, LargeArraysAreHugePageAlignedAndKeepTheirValuesAsTheyGrow) {
    struct Case {
        const char* name;
        std::size_t elements;
        bool aligned;
    };
    const Case cases[] = {
        {"small", 1000, false},
        {"just below the threshold", LargeArrayMinimumBytes / 8 - 1, false},
        {"at the threshold", LargeArrayMinimumBytes / 8, true},
        {"several huge pages and a part", 3 * HugePageBytes / 8 + 5, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LargeArray<double> a;
        a.reserve(c.elements);
        if (c.aligned) {
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(a.data()) % HugePageBytes, 0u);
        }
        for (std::size_t i = 0; i < c.elements; ++i)
            a.push_back(static_cast<double>(i));
        // Growing past the capacity moves the values into a new (large) block.
        a.push_back(-1);
        ASSERT_EQ(a.size(), c.elements + 1);
        EXPECT_EQ(a[c.elements / 2], static_cast<double>(c.elements / 2));
        EXPECT_EQ(a.back(), -1);
        // A resize with a value fills with it, whatever the allocator leaves unset.
        a.clear();
        a.resize(c.elements, 0.0);
        EXPECT_EQ(a[c.elements - 1], 0.0);
    }
}

// Within a scope a released block serves the next array of its size or a little smaller,
// keeping its values' pages; a much smaller array does not take it, and outside every
// scope nothing is kept.
TEST(LargeArray, AScopeKeepsReleasedBlocksForTheNextArrays) {
    const std::size_t bytes = 3 * HugePageBytes;
    void* outside = AllocateLargeArrayMemory(bytes);
    ReleaseLargeArrayMemory(outside, bytes);
    {
        const KeptMemoryScope run;
        const KeptMemoryScope nested; // scopes nest
        void* first = AllocateLargeArrayMemory(bytes);
        static_cast<char*>(first)[bytes - 1] = 7;
        ReleaseLargeArrayMemory(first, bytes);
        // Three huge pages are too many for an array of one.
        void* small = AllocateLargeArrayMemory(HugePageBytes);
        EXPECT_NE(small, first);
        ReleaseLargeArrayMemory(small, HugePageBytes);
        // Two take it, 2 MB aligned as ever.
        void* again = AllocateLargeArrayMemory(bytes - HugePageBytes);
        EXPECT_EQ(again, first);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(again) % HugePageBytes, 0u);
        static_cast<char*>(again)[bytes - HugePageBytes - 1] = 1;
        ReleaseLargeArrayMemory(again, bytes - HugePageBytes);
        // The kept block, now of two huge pages, serves an array of that size again.
        void* last = AllocateLargeArrayMemory(2 * HugePageBytes);
        EXPECT_EQ(last, first);
        ReleaseLargeArrayMemory(last, 2 * HugePageBytes);
    }
}

} // namespace
} // namespace quillon
