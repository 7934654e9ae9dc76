// Table probabilities: log-factorials, kernel bounds and the enumeration of both designs.
#include "core/tables.h"
#include "reference/core_literal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace quillon {
namespace {

constexpr double kEps = std::numeric_limits<double>::epsilon();

TEST(LogFactorial, SmallValuesAndCacheGrowth) {
    ResetLogFactorialCache();
    EXPECT_EQ(LogFactorial(0), 0.0);
    EXPECT_EQ(LogFactorialUpperBound(), 0); // 0 does not touch the cache
    EXPECT_EQ(LogFactorial(1), 0.0);
    // ln 120 = 4.787491742782046 (any table of logarithms).
    EXPECT_NEAR(LogFactorial(5), 4.787491742782046, 4 * kEps * 4.79);
    EXPECT_EQ(LogFactorialUpperBound(), 5);
    LogFactorial(3);
    EXPECT_EQ(LogFactorialUpperBound(), 5);
}

TEST(LogFactorial, CacheEqualsTheRunningSumBitForBit) {
    // Grown in several steps and across a block boundary of the cache.
    ResetLogFactorialCache();
    for (std::int64_t x : {7, 3, 1000, 65535, 65536, 70001})
        EXPECT_EQ(LogFactorial(x), reference::LogFactorialLiteral(x)) << "x = " << x;
}

TEST(LogFactorial, RefusesArgumentsOutsideItsRange) {
    EXPECT_THROW(LogFactorial(-1), std::out_of_range);
    EXPECT_THROW(LogFactorial(MaxLogFactorialArgument + 1), std::out_of_range);
}

TEST(KernelBounds, MaximumInsideTheInterval) {
    // f(t) = t^3 (1 - t)^7 peaks at .3, inside (.2, .4).
    const auto r = KernelBounds(0.2, 0.2, 3, 10);
    EXPECT_EQ(r.value, std::pow(0.2, 3.0) * std::pow(0.8, 7.0));
    EXPECT_EQ(r.upper, std::pow(0.3, 3.0) * std::pow(0.7, 7.0));
    EXPECT_NEAR(r.upper, 0.002223566, 1e-9); // .3^3 .7^7
    EXPECT_EQ(r.lower, std::min(r.value, std::pow(0.4, 3.0) * std::pow(0.6, 7.0)));
}

TEST(KernelBounds, EdgeCases) {
    // Zero width: all three equal.
    const auto flat = KernelBounds(0.3, 0, 2, 5);
    EXPECT_EQ(flat.upper, flat.value);
    EXPECT_EQ(flat.lower, flat.value);
    // k / n exactly at an end: the upper bound is the larger end value, not f(k/n) again.
    const auto atEnd = KernelBounds(0.5, 0.1, 5, 10);
    EXPECT_EQ(atEnd.upper, std::max(atEnd.value, std::pow(0.6, 5.0) * std::pow(0.4, 5.0)));
    // 0^0 = 1.
    EXPECT_EQ(KernelBounds(0, 0, 0, 4).value, 1.0);
}

TEST(BinomialProbability, CoefficientThroughExpBase) {
    // C(4, 2) = 6 comes back as ExpBase^(ln 6), a little under 6.
    const double p = BinomialProbability(0.5, 2, 4);
    EXPECT_LT(p, 0.375);
    EXPECT_NEAR(p, 0.375, 1e-9);
}

TEST(BinomialProbability, LargeNStaysAProbability) {
    // C(2000, 1000) overflows a double and .5^2000 underflows to 0; their product is
    // still the probability: C(2000, 1000) / 2^2000 = .0178390111... (exact, Python
    // fractions), less the ExpBase shortfall of about 1.7e-10 x ln C = 2.3e-7 relative.
    const double p = BinomialProbability(0.5, 1000, 2000);
    EXPECT_NEAR(p, 0.0178390111, 0.0178390111 * 3e-7);
    EXPECT_EQ(BinomialProbability(0, 3, 2000), 0.0);
}

TEST(EnumerateTables, ComparativeTrialNEquals4) {
    // Figures of the program's own worked example (N = 4, m = 2, p = .5, w = 0).
    TableArray t;
    EnumerateTables(ComparativeTrial, 4, 0.5, 0, 2, 0, t);
    ASSERT_EQ(t.Count(), 9u);
    const int cells[9][4] = {{0, 2, 0, 2}, {0, 2, 1, 1}, {0, 2, 2, 0}, {1, 1, 0, 2}, {1, 1, 1, 1},
                             {1, 1, 2, 0}, {2, 0, 0, 2}, {2, 0, 1, 1}, {2, 0, 2, 0}};
    const double probability[9] = {0.0625,
                                   0.12499999998536823,
                                   0.0625,
                                   0.12499999998536823,
                                   0.24999999994147293,
                                   0.12499999998536823,
                                   0.0625,
                                   0.12499999998536823,
                                   0.0625};
    double sum = 0;
    for (std::size_t row = 1; row <= 9; ++row) {
        for (int k = 1; k <= 4; ++k)
            EXPECT_EQ(t.Cell(row, k), cells[row - 1][k - 1]) << "row " << row;
        EXPECT_EQ(t.Probability(row), probability[row - 1]) << "row " << row;
        EXPECT_EQ(t.Lower(row), t.Probability(row));
        EXPECT_EQ(t.Upper(row), t.Probability(row));
        EXPECT_EQ(t.Value(5, row), t.Probability(row));
        sum += t.Probability(row);
    }
    EXPECT_NEAR(sum, 0.99999999988, 1e-11); // the ExpBase shortfall
}

TEST(EnumerateTables, IntervalBounds) {
    TableArray t;
    EnumerateTables(ComparativeTrial, 4, 0.3, 0.1, 2, 0, t);
    // (0, 2, 0, 2): .7^4 at p = .3, .6^4 at .4.
    EXPECT_NEAR(t.Probability(1), 0.2401, 1e-12);
    EXPECT_NEAR(t.Lower(1), 0.1296, 1e-12);
    EXPECT_NEAR(t.Upper(1), 0.2401, 1e-12);
    // (0, 2, 2, 0): kernel maximum .5 lies outside [.3, .4].
    EXPECT_NEAR(t.Probability(3), 0.0441, 1e-12);
    EXPECT_NEAR(t.Lower(3), 0.0441, 1e-12);
    EXPECT_NEAR(t.Upper(3), 0.0576, 1e-12);
}

TEST(EnumerateTables, CrossSectionalOrderAndCount) {
    TableArray t;
    EnumerateTables(CrossSectionalStudy, 2, 0.3, 0, 0.4, 0, t);
    ASSERT_EQ(t.Count(), 10u);
    EXPECT_EQ(TableCount(CrossSectionalStudy, 2, 0), 10u);
    EXPECT_EQ(t.Cell(1, 1), 0);
    EXPECT_EQ(t.Cell(1, 4), 2);
}

TEST(EnumerateTables, CapacityDoubles) {
    TableArray t(10);
    EnumerateTables(ComparativeTrial, 10, 0.5, 0, 0, 0, t); // 11 tables
    EXPECT_EQ(t.Capacity(), 20u);
    TableArray u(10);
    EnumerateTables(ComparativeTrial, 8, 0.5, 0, 4, 0, u); // 25 tables
    EXPECT_EQ(u.Capacity(), 40u);
    TableArray v(10);
    EnumerateTables(CrossSectionalStudy, 7, 0.5, 0, 0.5, 0, v); // 120 tables
    EXPECT_EQ(v.Capacity(), 160u);
    TableArray untouched(10);
    EnumerateTables(static_cast<DesignCode>(3), 7, 0.5, 0, 0.5, 0, untouched);
    EXPECT_EQ(untouched.Count(), 0u);
}

TEST(EnumerateTables, MatchesTheLiteralLoopsBitForBit) {
    struct Case {
        const char* name;
        DesignCode design;
        std::int64_t N;
        double p, w, x, wx;
    };
    const Case cases[] = {
        {"ct even", ComparativeTrial, 12, 0.5, 0, 6, 0},
        {"ct interval", ComparativeTrial, 15, 0.23, 0.04, 5, 0},
        {"ct p zero", ComparativeTrial, 9, 0, 0.01, 3, 0},
        {"cs point", CrossSectionalStudy, 9, 0.3, 0, 0.4, 0},
        {"cs interval", CrossSectionalStudy, 11, 0.17, 0.02, 0.45, 0.02},
    };
    for (const Case& c : cases) {
        TableArray t;
        EnumerateTables(c.design, c.N, c.p, c.w, c.x, c.wx, t);
        const auto rows = reference::EnumerateTablesLiteral(c.design, c.N, c.p, c.w, c.x, c.wx);
        ASSERT_EQ(t.Count(), rows.size()) << c.name;
        double sum = 0;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const auto& r = rows[i];
            const std::size_t row = i + 1;
            EXPECT_EQ(t.Cell(row, 1), r.a) << c.name << " row " << row;
            EXPECT_EQ(t.Cell(row, 3), r.c) << c.name << " row " << row;
            EXPECT_EQ(t.Probability(row), r.probability) << c.name << " row " << row;
            EXPECT_EQ(t.Lower(row), r.lower) << c.name << " row " << row;
            EXPECT_EQ(t.Upper(row), r.upper) << c.name << " row " << row;
            EXPECT_LE(t.Lower(row), t.Probability(row));
            EXPECT_LE(t.Probability(row), t.Upper(row));
            sum += t.Probability(row);
        }
        // The probabilities sum to 1 less the shortfall of ExpBase below e (about 4.6e-10
        // relative per unit of log-coefficient), never more.
        EXPECT_LE(sum, 1 + 1e3 * kEps) << c.name;
        EXPECT_GT(sum, 1 - 1e-7) << c.name;
    }
}

} // namespace
} // namespace quillon
