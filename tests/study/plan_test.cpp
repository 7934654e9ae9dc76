// The plan of a run: the order of its combinations (the first loop outermost, the last
// fastest), an innermost loop whose size follows the outermost, the loops completed at a
// combination, and the variation keys' texts the summary-chart rules are written in.
#include "study/plan.h"

#include <gtest/gtest.h>

#include <vector>

namespace quillon {
namespace {

using D = Dimension;

// The positions of every combination by nested loops written out, as the runs once looped.
std::vector<std::vector<std::size_t>> NestedLoops(const std::vector<std::size_t>& outer,
                                                  std::size_t middle) {
    std::vector<std::vector<std::size_t>> all;
    for (std::size_t a = 0; a < outer.size(); ++a)
        for (std::size_t b = 0; b < middle; ++b)
            for (std::size_t c = 0; c < outer[a]; ++c)
                all.push_back({a, b, c});
    return all;
}

TEST(Plan, FixedLoopsInNestedOrder) {
    const Plan plan({{D::Number, 3}, {D::PCol, 2}, {D::PRow, 1}, {D::MEN, 4}});
    ASSERT_EQ(plan.Count(), 24u);
    std::uint64_t i = 0;
    for (std::size_t n = 0; n < 3; ++n)
        for (std::size_t p = 0; p < 2; ++p)
            for (std::size_t m = 0; m < 4; ++m, ++i)
                EXPECT_EQ(plan.Positions(i), (std::vector<std::size_t>{n, p, 0, m})) << i;
}

TEST(Plan, InnermostLoopFollowsTheOutermost) {
    // The maximum study: numbers in row 1 up to N / 2 for each N, tests in between; an N
    // with no number in row 1 has no combination.
    const std::vector<std::size_t> inner{2, 0, 3, 1};
    const Plan plan({{D::Number, 4}, {D::Test, 2}, {D::RowOne, 1}}, inner);
    const auto expected = NestedLoops(inner, 2);
    ASSERT_EQ(plan.Count(), expected.size());
    for (std::uint64_t i = 0; i < plan.Count(); ++i)
        EXPECT_EQ(plan.Positions(i), expected[i]) << i;
    EXPECT_THROW(Plan({{D::Number, 2}, {D::RowOne, 1}}, std::vector<std::size_t>{1}),
                 std::invalid_argument);
}

TEST(Plan, CompletedLoops) {
    const Plan plan({{D::Number, 2}, {D::PCol, 3}, {D::MEN, 1}});
    struct Case {
        std::uint64_t index;
        DimensionSet completed;
    };
    // A loop of one value never completes; the outer loop completes only at its last value.
    const Case cases[] = {
        {0, {}},
        {2, {D::PCol}},
        {3, {D::Number}},
        {5, {D::Number, D::PCol}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(plan.Completed(c.index), c.completed) << c.index;
    // With a varying innermost loop, its own size at that N decides.
    const Plan maxima({{D::Number, 2}, {D::Test, 1}, {D::RowOne, 1}}, {1, 3});
    EXPECT_EQ(maxima.Completed(0), DimensionSet{});
    EXPECT_EQ(maxima.Completed(3), (DimensionSet{D::Number, D::RowOne}));
    EXPECT_EQ(maxima.LoopOf(D::RowOne), 2u);
    EXPECT_EQ(maxima.LoopOf(D::PCol), 3u);
}

TEST(DimensionSet, KeyTextsInTheirOrder) {
    EXPECT_EQ(DimensionSet{}.Text(), "");
    // Added in any order, the text follows the dimensions' order.
    EXPECT_EQ((DimensionSet{D::MEN, D::Number, D::PCol}).Text(), "_Number_Pcol_MEN");
    EXPECT_EQ((DimensionSet{D::Test, D::RowOne, D::Number}).Text(), "_Number_n1_Test");
    EXPECT_EQ((DimensionSet{D::P2, D::P1, D::PRow}).Text(), "_Prow_P1_P2");
}

TEST(Plan, EmptyListsGiveNoCombination) {
    EXPECT_EQ(Plan({{D::Number, 0}, {D::Test, 3}}).Count(), 0u);
    EXPECT_EQ(Plan({}).Count(), 0u);
}

} // namespace
} // namespace quillon
