// Arrays of a whole enumeration: large ones 2 MB aligned (the huge-page advice needs it),
// small ones from the ordinary allocator, and both behaving as vectors.
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

} // namespace
} // namespace quillon
