// The evaluation of one point against the literal transcription of the study's steps
// (tests/reference/particular_literal), and the figures whose rules are easy to get wrong.
// The literal reference is the only source of expected values in the differential tests:
// P values and listings must agree bit for bit and byte for byte, the figures (summed by
// margins) within the regrouping tolerance of its table-by-table sums.
#include "particular/evaluation.h"

#include "core/memory.h"
#include "core/test_registry.h"
#include "particular/points.h"
#include "particular/result_files.h"
#include "reference/core_literal.h"
#include "reference/particular_literal.h"

#include "core/pvalues.h"

#include "support/sum_tolerance.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>

namespace quillon {
namespace {

std::uint64_t Bits(double x) {
    return std::bit_cast<std::uint64_t>(x);
}

std::string ListingText(const PointEvaluation& ev, const PointTexts& texts) {
    std::string out;
    const TextSink sink = [&out](std::string_view piece) -> std::optional<std::string> {
        out += piece;
        return std::nullopt;
    };
    EXPECT_EQ(WriteTableListing(ev, texts, sink), std::nullopt);
    EXPECT_EQ(WriteOrderedListing(ev, sink), std::nullopt);
    EXPECT_EQ(WriteCombinedListing(ev, sink), std::nullopt);
    return out;
}

struct DifferentialCase {
    const char* name;
    EvaluationPoint point;
};

void ExpectMatchesLiteral(const EvaluationPoint& point, unsigned threads) {
    EvaluationOptions options;
    options.threads = threads;
    const std::optional<PointEvaluation> ev = EvaluatePoint(point, options);
    ASSERT_TRUE(ev.has_value());

    const PointTexts texts{"01.02.03", "010203", "as typed"};
    const reference::LiteralPoint lp = testing::LiteralOf(point);
    const reference::LiteralEvaluation lit =
        reference::EvaluatePointLiteral(lp, CaptionLine(point, texts));

    ASSERT_EQ(ev->TableCount() + 1, lit.tableArray.size());
    for (std::size_t row = 1; row <= ev->TableCount(); ++row)
        for (int col = 8; col <= 14; ++col)
            ASSERT_EQ(Bits(ev->tables.Value(col, row)), Bits(lit.tableArray[row][col]))
                << "row " << row << " column " << col;

    ASSERT_EQ(point.tests.size(), lit.summaries.size());
    for (std::size_t i = 0; i < point.tests.size(); ++i) {
        const TestEvaluation& r = ev->ForTest(point.tests[i]);
        // The figures are summed by margins, the listing table by table: the regrouping
        // tolerance, with the table count as the number of terms.
        const auto T = static_cast<double>(ev->TableCount());
        const reference::LiteralSummary& l = lit.summaries[i];
        EXPECT_TRUE(testing::WithinSumTolerance(r.propSig, l.propSig, T))
            << "test " << r.test << ": " << r.propSig << " vs " << l.propSig;
        EXPECT_TRUE(testing::WithinSumTolerance(r.upperBound, l.upperBound, T))
            << "test " << r.test << ": " << r.upperBound << " vs " << l.upperBound;
        EXPECT_TRUE(testing::WithinExcessTolerance(r.maxDif, l.maxDif, l.propSig, T))
            << "test " << r.test << ": " << r.maxDif << " vs " << l.maxDif;
        EXPECT_EQ(r.groups.size(), lit.summaries[i].groupCount) << "test " << r.test;
    }
    EXPECT_EQ(ListingText(*ev, texts), lit.resultsText);
}

using testing::Point;

// The tests the literal procedure covers; the exact unconditional tests are checked in the
// studies against references of their own (tests/study/unconditional_studies_test.cpp).
const std::vector<int> kLiteralTests = reference::LiteralTests();

TEST(ParticularEvaluation, MatchesLiteralAlgorithm) {
    const DifferentialCase cases[] = {
        {"ct smallest", Point(ComparativeTrial, 4, .5, 0, 2, 0, 1, kLiteralTests, .05)},
        {"ct unbalanced rows, interval",
         Point(ComparativeTrial, 13, .3, .1, 4, 0, 1, kLiteralTests, .05)},
        {"ct MEN excludes", Point(ComparativeTrial, 20, .2, .05, 10, 1, 1, kLiteralTests, .1)},
        {"ct MMT excludes", Point(ComparativeTrial, 15, .5, 0, 7, 0, 3, kLiteralTests, .05)},
        {"ct both policies", Point(ComparativeTrial, 18, .4, .02, 6, 2, 4, kLiteralTests, .05)},
        {"ct m = 0", Point(ComparativeTrial, 6, .25, 0, 0, 0, 1, kLiteralTests, .05)},
        {"ct parameter 1", Point(ComparativeTrial, 12, .5, 0, 6, 0, 1, kLiteralTests, 1)},
        {"ct parameter 0", Point(ComparativeTrial, 12, .5, 0, 6, 0, 1, kLiteralTests, 0)},
        {"ct p = 0", Point(ComparativeTrial, 8, 0, .1, 4, 0, 1, {5, 1}, .05)},
        {"ct repeated and reordered tests",
         Point(ComparativeTrial, 16, .45, 0, 8, .5, 2, {7, 3, 7, 1}, .2)},
        {"cs smallest", Point(CrossSectionalStudy, 4, .5, 0, .5, 0, 1, kLiteralTests, .05)},
        {"cs interval", Point(CrossSectionalStudy, 9, .3, .01, .4, 0, 1, kLiteralTests, .05)},
        {"cs MEN and MMT", Point(CrossSectionalStudy, 12, .2, .05, .3, 1.5, 2, kLiteralTests, .1)},
        {"cs wide interval", Point(CrossSectionalStudy, 10, .45, .1, .2, 0, 1, {2, 6}, .5)},
        {"cs pi(row) 0", Point(CrossSectionalStudy, 6, .3, 0, 0, 0, 1, {4}, .05)},
    };
    for (const DifferentialCase& c : cases) {
        SCOPED_TRACE(c.name);
        ExpectMatchesLiteral(c.point, 1);
    }
}

// Large enough for the P-value pass and the sorts to be spread over threads.
TEST(ParticularEvaluation, ThreadedPassMatchesLiteralAlgorithm) {
    ExpectMatchesLiteral(Point(CrossSectionalStudy, 50, .3, .01, .45, 1, 2, {1, 5, 7}, .05), 2);
    ExpectMatchesLiteral(Point(ComparativeTrial, 300, .5, 0, 150, 0, 1, {3, 4}, .05), 3);
}

TEST(ParticularEvaluation, PolicyCodesFillEveryListedColumn) {
    // Comparative trial N = 20, m = 5, MEN 2, MMT 2. By the column total C1 of a table:
    //   C1 = 0:  smallest expected number 0 and smallest margin 0: both fail, 1.3;
    //   C1 = 4:  expected numbers 1, 4, 3, 12, margins 5, 15, 4, 16: MEN fails, 1.2;
    //   C1 = 10: smallest expected number 2.5, smallest margin 5: eligible.
    const std::optional<PointEvaluation> ev =
        EvaluatePoint(Point(ComparativeTrial, 20, .3, 0, 5, 2, 2, {1}, .05));
    ASSERT_TRUE(ev.has_value());
    const TableArray& t = ev->tables;
    const std::vector<int> listed = ListingColumns(TestSet{});
    ASSERT_FALSE(listed.empty());
    for (std::size_t row = 1; row <= t.Count(); ++row) {
        const int C1 = t.Cell(row, 1) + t.Cell(row, 3);
        for (int k : listed) {
            if (C1 == 0 || C1 == 20) {
                EXPECT_EQ(t.Result(row, k), PolicyCodeBoth) << "row " << row << " test " << k;
            } else if (C1 == 4 || C1 == 16) {
                EXPECT_EQ(t.Result(row, k), PolicyCodeExpected) << "row " << row << " test " << k;
            } else if (C1 == 10) {
                EXPECT_LE(t.Result(row, k), 1.0 + 1e-9) << "row " << row << " test " << k;
            }
        }
    }
    // The dummy groups come last, at most three of them.
    const TestEvaluation& r = ev->ForTest(1);
    std::size_t dummies = 0;
    for (const PValueGroup& g : r.groups)
        dummies += g.pValue > 1.01 ? 1 : 0;
    EXPECT_LE(dummies, 3u);
    EXPECT_EQ(r.groups.back().pValue, PolicyCodeBoth);
    const ExcludedProportions excluded = r.Excluded();
    EXPECT_EQ(excluded.marginal, 0.0);
    EXPECT_GT(excluded.expected, 0.0);
    EXPECT_GT(excluded.both, 0.0);
}

TEST(ParticularEvaluation, MmtOnlyFailureGivesMarginalCode) {
    // Comparative trial N = 10, m = 5, MEN 0, MMT 3: table (0, 5, 1, 4) has column total 1,
    // so it fails MMT only.
    const std::optional<PointEvaluation> ev =
        EvaluatePoint(Point(ComparativeTrial, 10, .5, 0, 5, 0, 3, {2}, .05));
    ASSERT_TRUE(ev.has_value());
    for (std::size_t row = 1; row <= ev->TableCount(); ++row)
        if (ev->tables.Cell(row, 1) == 0 && ev->tables.Cell(row, 3) == 1) {
            for (int k : ListingColumns(TestSet{}))
                EXPECT_EQ(ev->tables.Result(row, k), PolicyCodeMarginal);
        }
}

TEST(ParticularEvaluation, ParameterOneCountsEveryEligibleTableForFisherTests) {
    // With MMT 1 the tables with a zero column total are excluded (1.1); every other table
    // has a P value of at most 1 by tests 4, 5 and 7, so only the dummy group stays out.
    const std::optional<PointEvaluation> ev =
        EvaluatePoint(Point(ComparativeTrial, 10, .4, 0, 5, 0, 1, {4, 5, 7, 1}, 1));
    ASSERT_TRUE(ev.has_value());
    for (int test : {4, 5, 7}) {
        const TestEvaluation& r = ev->ForTest(test);
        ASSERT_GE(r.groups.size(), 2u);
        const PValueGroup& last = r.groups.back();
        EXPECT_EQ(last.pValue, PolicyCodeMarginal) << "test " << test;
        EXPECT_TRUE(testing::WithinSumTolerance(r.propSig, r.groups[r.groups.size() - 2].cumulative,
                                                static_cast<double>(ev->TableCount())))
            << "test " << test;
    }
    // Test 1: a table with ad = bc has chi squared 0 and a P value a hair above 1, which is
    // not significant even at 1 and forms its own group before the dummy group.
    const TestEvaluation& r1 = ev->ForTest(1);
    const PValueGroup& aboveOne = r1.groups[r1.groups.size() - 2];
    EXPECT_GT(aboveOne.pValue, 1.0);
    EXPECT_LT(aboveOne.pValue, 1.0 + 1e-9);
    EXPECT_TRUE(testing::WithinSumTolerance(r1.propSig, r1.groups[r1.groups.size() - 3].cumulative,
                                            static_cast<double>(ev->TableCount())));
}

TEST(ParticularEvaluation, ParameterBelowEveryPValueGivesZeros) {
    const std::optional<PointEvaluation> ev =
        EvaluatePoint(Point(ComparativeTrial, 12, .5, .05, 6, 0, 1, kLiteralTests, 1e-12));
    ASSERT_TRUE(ev.has_value());
    for (const TestEvaluation& r : ev->results) {
        EXPECT_EQ(r.propSig, 0.0) << "test " << r.test;
        EXPECT_EQ(r.upperBound, 0.0) << "test " << r.test;
        EXPECT_EQ(r.maxDif, 0.0) << "test " << r.test;
    }
}

TEST(ParticularEvaluation, ZeroIntervalMakesUpperBoundEqualPropSig) {
    for (DesignCode design : {CrossSectionalStudy, ComparativeTrial}) {
        const std::optional<PointEvaluation> ev = EvaluatePoint(Point(
            design, 14, .35, 0, design == CrossSectionalStudy ? .3 : 5, 0, 1, kLiteralTests, .05));
        ASSERT_TRUE(ev.has_value());
        for (const TestEvaluation& r : ev->results) {
            EXPECT_EQ(Bits(r.upperBound), Bits(r.propSig)) << DesignName(design);
            for (const PValueGroup& g : r.groups)
                EXPECT_EQ(Bits(g.cumulativeUpperBound), Bits(g.cumulative));
        }
    }
}

TEST(ParticularEvaluation, GroupsCoverEveryTableInIncreasingPValue) {
    const std::optional<PointEvaluation> ev =
        EvaluatePoint(Point(CrossSectionalStudy, 15, .25, .02, .35, 1, 2, kLiteralTests, .05));
    ASSERT_TRUE(ev.has_value());
    for (const TestEvaluation& r : ev->results) {
        std::uint64_t tables = 0;
        for (std::size_t g = 0; g < r.groups.size(); ++g) {
            tables += r.groups[g].count;
            if (g > 0) {
                EXPECT_LT(r.groups[g - 1].pValue, r.groups[g].pValue);
            }
        }
        EXPECT_EQ(tables, ev->TableCount());
        // The cumulative proportion ends at the total probability (about 1).
        EXPECT_NEAR(r.groups.back().cumulative, 1.0, 1e-6);
        EXPECT_GE(r.maxDif, 0.0);
    }
}

TEST(ParticularEvaluation, OnlyExactlyEqualPValuesCombine) {
    // Comparative trial N = 7, m = 2, p = .3, test 7: two different tables have P values
    // that are both 2/7 in exact arithmetic but differ in the last bits as computed
    // (found by searching the small points); they stay two groups. Mirror-image tables,
    // whose P values are the same double, do combine.
    const std::optional<PointEvaluation> ev =
        EvaluatePoint(Point(ComparativeTrial, 7, .3, 0, 2, 0, 1, {7}, .05));
    ASSERT_TRUE(ev.has_value());
    const std::vector<PValueGroup>& groups = ev->ForTest(7).groups;
    bool nearlyEqualPairSeen = false, combinedGroupSeen = false;
    for (std::size_t g = 0; g < groups.size(); ++g) {
        combinedGroupSeen = combinedGroupSeen || groups[g].count > 1;
        if (g > 0 && groups[g].pValue - groups[g - 1].pValue <=
                         4 * (std::nextafter(groups[g - 1].pValue, 2.0) - groups[g - 1].pValue)) {
            nearlyEqualPairSeen = true;
            EXPECT_NEAR(groups[g].pValue, 2.0 / 7, 1e-9);
            EXPECT_NE(groups[g].pValue, groups[g - 1].pValue);
        }
    }
    EXPECT_TRUE(nearlyEqualPairSeen);
    EXPECT_TRUE(combinedGroupSeen);
}

TEST(ParticularEvaluation, RepeatedTestIsEvaluatedOnce) {
    const std::optional<PointEvaluation> ev =
        EvaluatePoint(Point(ComparativeTrial, 10, .5, 0, 5, 0, 1, {3, 3, 1}, .05));
    ASSERT_TRUE(ev.has_value());
    ASSERT_EQ(ev->results.size(), 2u);
    EXPECT_EQ(ev->results[0].test, 3);
    EXPECT_EQ(ev->results[1].test, 1);
    EXPECT_EQ(ParticularSummaryCodec::Format(*ev, "010203").size(), 3u);
}

TEST(ParticularEvaluation, OnlyRequestedColumnsWhenAskedSo) {
    EvaluationOptions options;
    options.allTestColumns = false;
    const std::optional<PointEvaluation> ev =
        EvaluatePoint(Point(ComparativeTrial, 10, .5, 0, 5, 0, 1, {6}, .05), options);
    ASSERT_TRUE(ev.has_value());
    for (const TestEntry& test : RegisteredTests())
        EXPECT_EQ(ev->tables.HasTest(test.number), test.number == 6) << "test " << test.number;
    const std::optional<PointEvaluation> all =
        EvaluatePoint(Point(ComparativeTrial, 10, .5, 0, 5, 0, 1, {6}, .05));
    EXPECT_EQ(Bits(ev->ForTest(6).propSig), Bits(all->ForTest(6).propSig));
}

TEST(ParticularEvaluation, ProgressCallbackCanStop) {
    EvaluationOptions options;
    options.progress = [](ProgressStage, std::uint64_t, std::uint64_t) { return false; };
    EXPECT_FALSE(
        EvaluatePoint(Point(ComparativeTrial, 10, .5, 0, 5, 0, 1, {1}, .05), options).has_value());
}

// Combinations of a run that differ only in their proportions share the P values and the
// order of the first; every figure and the whole listing are those of a fresh evaluation,
// bit for bit, and a change of anything the P values depend on is computed afresh.
TEST(ParticularEvaluation, ReusedPassGivesTheFiguresOfAFreshOne) {
    const DifferentialCase sweep[] = {
        {"ct first", Point(ComparativeTrial, 30, .1, 0, 12, 0, 1, kLiteralTests, .05)},
        {"ct other pi(col)", Point(ComparativeTrial, 30, .37, .01, 12, 0, 1, kLiteralTests, .05)},
        {"ct fewer tests", Point(ComparativeTrial, 30, .5, 0, 12, 0, 1, {5, 2}, .1)},
        {"ct other m", Point(ComparativeTrial, 30, .5, 0, 11, 0, 1, kLiteralTests, .05)},
        {"ct other MEN", Point(ComparativeTrial, 30, .5, 0, 11, 1, 1, kLiteralTests, .05)},
        {"cs first", Point(CrossSectionalStudy, 14, .2, .01, .3, 0, 2, {1, 4, 7}, .05)},
        {"cs other pi(row)", Point(CrossSectionalStudy, 14, .45, 0, .1, 0, 2, {7, 1}, .05)},
        {"cs a test not kept", Point(CrossSectionalStudy, 14, .45, 0, .1, 0, 2, {3}, .05)},
    };
    auto reuse = std::make_shared<PValueReuse>();
    const PointTexts texts{"01.02.03", "010203", "as typed"};
    for (const DifferentialCase& c : sweep) {
        SCOPED_TRACE(c.name);
        EvaluationOptions shared;
        shared.reuse = reuse;
        const std::optional<PointEvaluation> fresh = EvaluatePoint(c.point);
        const std::optional<PointEvaluation> reused = EvaluatePoint(c.point, shared);
        ASSERT_TRUE(fresh && reused);
        for (int test : c.point.tests) {
            const TestEvaluation& f = fresh->ForTest(test);
            const TestEvaluation& r = reused->ForTest(test);
            EXPECT_EQ(Bits(r.propSig), Bits(f.propSig)) << "test " << test;
            EXPECT_EQ(Bits(r.upperBound), Bits(f.upperBound)) << "test " << test;
            EXPECT_EQ(Bits(r.maxDif), Bits(f.maxDif)) << "test " << test;
            EXPECT_EQ(r.order, f.order) << "test " << test;
        }
        EXPECT_EQ(ListingText(*reused, texts), ListingText(*fresh, texts));
    }
    // The pass of the last point is kept, and only for points that share it.
    const EvaluationPoint last = sweep[7].point;
    const TestSet needed = NeededTests(last.tests, true);
    EXPECT_NE(reuse->Find(MakePValuePass(CrossSectionalStudy, 14, .9, 0, 2), needed), nullptr);
    EXPECT_EQ(reuse->Find(MakePValuePass(CrossSectionalStudy, 14, .9, 1, 2), needed), nullptr);
    EXPECT_EQ(reuse->Find(MakePValuePass(CrossSectionalStudy, 15, .9, 0, 2), needed), nullptr);
}

TEST(ParticularEvaluation, MemoryRefusal) {
    // A cross-sectional N of 10000 has (N + 1)(N + 2)(N + 3) / 6 = 166,766,685,001 tables.
    const EvaluationPoint huge = Point(CrossSectionalStudy, 10000, .5, 0, .5, 0, 1, {1}, .05);
    EXPECT_EQ(EstimateEvaluationMemory(huge, false).tables, 166'766'685'001u);
    const std::optional<std::string> refusal = MemoryRefusal(huge, false, std::uint64_t{8} << 30);
    ASSERT_TRUE(refusal.has_value());
    EXPECT_NE(refusal->find("N = 10000"), std::string::npos) << *refusal;
    EXPECT_NE(refusal->find("cross-sectional study"), std::string::npos) << *refusal;
    EXPECT_NE(refusal->find("166766685001"), std::string::npos) << *refusal;
    EXPECT_NE(refusal->find("TB"), std::string::npos) << *refusal;
    // Even with unknown memory the row numbering refuses it.
    EXPECT_TRUE(MemoryRefusal(huge, false, std::nullopt).has_value());

    // The comparative trial of N = 10000, m = 5000 for one test fits in 8 GB.
    const EvaluationPoint big = Point(ComparativeTrial, 10000, .5, 0, 5000, 0, 1, {3}, .05);
    EXPECT_EQ(EstimateEvaluationMemory(big, false).tables, 25'010'001u);
    EXPECT_EQ(MemoryRefusal(big, false, std::uint64_t{8} << 30), std::nullopt);
    EXPECT_LT(EstimateEvaluationMemory(big, false).bytes, std::uint64_t{4} << 30);
}

} // namespace
} // namespace quillon

namespace quillon {
namespace {

TEST(ParticularEvaluation, AvailableMemoryIsKnownOnLinux) {
    const std::optional<std::uint64_t> available = AvailableMemoryBytes();
    ASSERT_TRUE(available.has_value());
    EXPECT_GT(*available, std::uint64_t{1} << 20);
}

// Beyond a total of about a thousand the coefficient of a table overflows and the kernel
// underflows (.5^1100 is below the smallest double, C(550, 275)^2 above the largest); the
// probabilities must still be probabilities and sum to about 1.
TEST(ParticularEvaluation, LargeTotalsGiveSoundProbabilities) {
    EvaluationPoint point;
    point.design = ComparativeTrial;
    point.N = 1100;
    point.pCol = .5;
    point.interval = .01;
    point.row = 550;
    point.tests = {3};
    EvaluationOptions options;
    options.allTestColumns = false;
    const std::optional<PointEvaluation> ev = EvaluatePoint(point, options);
    ASSERT_TRUE(ev.has_value());
    double total = 0;
    for (std::size_t row = 1; row <= ev->TableCount(); ++row) {
        ASSERT_TRUE(std::isfinite(ev->tables.Probability(row))) << row;
        ASSERT_GE(ev->tables.Upper(row), ev->tables.Probability(row)) << row;
        total += ev->tables.Probability(row);
    }
    EXPECT_NEAR(total, 1.0, 1e-6);
    const TestEvaluation& r = ev->ForTest(3);
    EXPECT_GT(r.propSig, 0.04);
    EXPECT_LT(r.propSig, 0.06);
}

} // namespace
} // namespace quillon
