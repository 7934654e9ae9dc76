// The two sample-size rules on hand-made lists (the expected sizes read off by eye), and on
// a list where the engine's own power saw-tooths.
#include "power/sample_size.h"

#include "power/evaluation.h"

#include <gtest/gtest.h>

#include <optional>

namespace quillon {
namespace {

constexpr std::optional<double> None = std::nullopt;

TEST(SampleSize, FirstAndStableN) {
    struct Case {
        const char* name;
        std::vector<double> N, power;
        double target;
        std::optional<double> first, stable;
    };
    const Case cases[] = {
        {"rising", {10, 20, 30, 40}, {.3, .6, .8, .9}, .8, 30, 30},
        {"saw_tooth_dips_after_first", {10, 20, 30, 40, 50}, {.5, .81, .79, .85, .9}, .8, 20, 40},
        {"dips_twice", {10, 11, 12, 13, 14, 15}, {.8, .7, .8, .7, .8, .8}, .8, 10, 14},
        {"exactly_the_target_counts", {4, 5}, {.79999, .8}, .8, 5, 5},
        {"never", {10, 20}, {.1, .2}, .8, None, None},
        {"largest_falls_short", {10, 20, 30}, {.9, .95, .7}, .8, 10, None},
        {"all_reach", {10, 20}, {.9, .95}, .8, 10, 10},
        // Both along N, whatever the order typed: a descending list must not report its
        // largest qualifying N as the first.
        {"unsorted_list", {40, 10, 30, 20}, {.9, .85, .82, .7}, .8, 10, 30},
        {"descending_list", {50, 40, 30, 20}, {.95, .9, .85, .6}, .8, 30, 30},
        {"single_value", {25}, {.81}, .8, 25, 25},
        {"target_zero", {10, 20}, {0, 0}, 0, 10, 10},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        const SampleSizes s = FindSampleSizes(k.N, k.power, k.target);
        EXPECT_EQ(s.firstN, k.first);
        EXPECT_EQ(s.stableN, k.stable);
    }
}

TEST(SampleSize, BlockLines) {
    SampleSizeRow row;
    row.test = 5;
    row.row = .5;
    row.p1 = .2;
    row.p2 = .6;
    row.MEN = 1;
    row.target = .8;
    row.sizes = {40, None};
    EXPECT_EQ(SampleSizeHeading(), "Test\tRow1\tP1\tP2\tMEN\tTarget\tFirst N\tStable N");
    EXPECT_EQ(SampleSizeLine(row), " 5\t .5\t .2\t .6\t 1\t .8\t 40\t-");
    const std::string message = SampleSizeMessage({row});
    // The window's message: one sentence a row, no columns to line up.
    EXPECT_NE(message.find("\r\n\r\nTest 5 (row 1 = .5, p1 = .2, p2 = .6, MEN = 1, target = .8):  "
                           "First N 40,  Stable N not reached"),
              std::string::npos)
        << message;
}

// The power of Fisher's test (test 5) saw-tooths with N: in a comparative trial with half
// the subjects in each row, p1 = .2, p2 = .6, it falls from N = 39 to N = 40 in places. The
// rules applied to the engine's figures must then pick the first N reached and a later
// stable N, whatever the target between the dip's ends.
TEST(SampleSize, SawToothingEnginePowerSeparatesTheRules) {
    std::vector<double> N, power;
    for (std::int64_t n = 20; n <= 60; ++n) {
        PowerPoint point;
        point.N = n;
        point.row = static_cast<double>(n / 2);
        point.p1 = .2;
        point.p2 = .6;
        point.tests = {5};
        const auto ev = EvaluatePower(point);
        ASSERT_TRUE(ev.has_value());
        N.push_back(static_cast<double>(n));
        power.push_back(ev->ForTest(5).power);
    }
    // A dip: a value followed by a smaller one.
    std::optional<std::size_t> dip;
    for (std::size_t i = 0; i + 1 < power.size() && !dip; ++i)
        if (power[i + 1] < power[i] && power[i] > .5)
            dip = i;
    ASSERT_TRUE(dip.has_value()) << "power rose steadily over N = 20 to 60";
    const double target = power[*dip];
    const SampleSizes s = FindSampleSizes(N, power, target);
    ASSERT_TRUE(s.firstN && s.stableN);
    EXPECT_LE(*s.firstN, N[*dip]);
    EXPECT_GT(*s.stableN, N[*dip]);
    // Stable: every larger N reaches the target, the one below does not.
    for (std::size_t i = 0; i < N.size(); ++i) {
        if (N[i] >= *s.stableN) {
            EXPECT_GE(power[i], target) << "N = " << N[i];
        }
    }
    const auto below = static_cast<std::size_t>(*s.stableN - 20) - 1;
    EXPECT_LT(power[below], target);
}

} // namespace
} // namespace quillon
