// The order of the tables by P value and the reuse of a pass across the combinations of
// a run that differ only in their proportions.
#include "study/significance.h"

#include "core/pvalues.h"
#include "core/tables.h"

#include <gtest/gtest.h>

#include <algorithm>
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

} // namespace
} // namespace quillon
