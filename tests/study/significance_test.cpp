// The order of the tables by P value and the reuse of a pass across the combinations of
// a run that differ only in their proportions.
#include "study/significance.h"

#include "core/pvalues.h"
#include "core/tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <numeric>
#include <random>

namespace quillon {
namespace {

// A table array of `keys.size()` rows whose test-1 column holds the keys.
TableArray WithKeys(const std::vector<double>& keys) {
    TableArray tables;
    for (std::size_t i = 0; i < keys.size(); ++i)
        tables.Append(0, 0, 0, 0, 0, 0, 0);
    tables.EnableTest(1);
    for (std::size_t i = 0; i < keys.size(); ++i)
        tables.SetResult(i + 1, 1, keys[i]);
    return tables;
}

// Increasing P value, equal P values in row order: the order std::stable_sort gives.
TEST(SortRowsByPValue, IncreasingWithTiesInTableOrder) {
    std::mt19937 random(11);
    struct Case {
        const char* name;
        std::size_t size;
        int distinct; // keys drawn from this many values (many ties when small)
    };
    const Case cases[] = {{"empty", 0, 1},
                          {"one", 1, 1},
                          {"all equal", 300, 1},
                          {"many ties", 5000, 9},
                          {"few ties", 70000, 60000}};
    // P values as the studies have them: tiny and exactly 0, up to 1, and the policy codes.
    const double special[] = {
        0.0, -0.0, 1e-300, 5e-324, 1.0, PolicyCodeMarginal, PolicyCodeExpected, PolicyCodeBoth};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<double> keys(c.size);
        for (double& k : keys) {
            const auto draw = static_cast<int>(random() % static_cast<unsigned>(c.distinct));
            k = draw < 8 && c.distinct > 8 ? special[draw]
                                           : std::ldexp(static_cast<double>(draw), -16) / 3;
        }
        const TableArray tables = WithKeys(keys);
        std::vector<std::uint32_t> order;
        SortWorkspace work;
        SortRowsByPValue(tables, 1, order, work);
        std::vector<std::uint32_t> expected(c.size);
        std::iota(expected.begin(), expected.end(), 1U);
        std::stable_sort(expected.begin(), expected.end(), [&](std::uint32_t x, std::uint32_t y) {
            return keys[x - 1] < keys[y - 1];
        });
        ASSERT_EQ(order, expected);
    }
}

// The groups of a pass give every combination the figures of combining along the sorted
// order, bit for bit: the same groups, counts, sums and cumulative sums, and the same
// order for the listing.
TEST(TestGroups, SumsAndOrderAreThoseOfTheSortedCombination) {
    std::mt19937 random(23);
    struct Case {
        const char* name;
        std::size_t size;
        int distinct;
        bool bounds;
    };
    const Case cases[] = {{"empty", 0, 1, true},
                          {"one", 1, 1, false},
                          {"all equal", 500, 1, true},
                          {"many ties", 8000, 12, true},
                          {"few ties", 40000, 30000, false}};
    const double special[] = {
        0.0, -0.0, 1e-300, 5e-324, 1.0, PolicyCodeMarginal, PolicyCodeExpected, PolicyCodeBoth};
    std::uniform_real_distribution<double> unit(0, 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<double> keys(c.size), probability(c.size), upper;
        for (std::size_t i = 0; i < c.size; ++i) {
            const auto draw = static_cast<int>(random() % static_cast<unsigned>(c.distinct));
            keys[i] = draw < 8 && c.distinct > 8 ? special[draw]
                                                 : std::ldexp(static_cast<double>(draw), -16) / 3;
            // Probabilities across many binades, so that the order of additions shows.
            probability[i] = std::ldexp(unit(random), -static_cast<int>(random() % 40));
        }
        if (c.bounds)
            for (double p : probability)
                upper.push_back(p * (1 + unit(random)));
        const TableArray tables = WithKeys(keys);
        std::vector<std::uint32_t> sorted;
        SortWorkspace work;
        SortRowsByPValue(tables, 1, sorted, work);
        std::vector<PValueGroup> expected;
        CombinePValueGroups(tables, 1, sorted, probability, upper, expected);

        TestGroups groups;
        std::vector<std::uint32_t> order;
        GroupTablesByPValue(tables, 1, groups, order, work);
        EXPECT_EQ(order, sorted);
        std::vector<std::uint32_t> rebuilt;
        OrderOfGroups(groups, rebuilt);
        EXPECT_EQ(rebuilt, sorted);
        std::vector<PValueGroup> summed;
        SumPValueGroups(groups, probability, upper, summed);
        ASSERT_EQ(summed.size(), expected.size());
        for (std::size_t g = 0; g < summed.size(); ++g) {
            SCOPED_TRACE("group " + std::to_string(g));
            EXPECT_EQ(std::bit_cast<std::uint64_t>(summed[g].pValue),
                      std::bit_cast<std::uint64_t>(expected[g].pValue));
            EXPECT_EQ(summed[g].count, expected[g].count);
            EXPECT_EQ(summed[g].proportion, expected[g].proportion);
            EXPECT_EQ(summed[g].cumulative, expected[g].cumulative);
            EXPECT_EQ(summed[g].upperBound, expected[g].upperBound);
            EXPECT_EQ(summed[g].cumulativeUpperBound, expected[g].cumulativeUpperBound);
        }
    }
}

} // namespace
} // namespace quillon
