// The figures of the significant tables (SignificantTablesOf, then SignificantSums,
// EntryProbabilities, SumOverTest and MaximumExcesses) against the same figures taken table by
// table in table order from the enumeration (EnumerateTables' probabilities and bounds,
// AlternativeProbabilities, every P value computed): the regrouping rule of the arithmetic,
// (number of tables) x 2^-52 relative, over grids that include comparative trials whose
// coefficients overflow a double (N = 1100) and cross-sectional studies whose kernels
// underflow (N = 200, pi(col) .01). And the tables gathered while the P values are decided
// against the tables read from a full table array, on one thread and on two: the same
// figures to the bit.
#include "study/significant_sums.h"

#include "core/numtext.h"
#include "core/significance_rules.h"
#include "core/tables.h"
#include "support/sum_tolerance.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <string>
#include <vector>

namespace quillon {
namespace {

struct Case {
    const char* name;
    DesignCode design;
    std::int64_t N;
    double row; // m, or pi(row)
    double pCol, interval;
    double MEN, MMT, alpha;
    double p1, p2; // an alternative
};

// Table by table, in table order: Prop. sig. and Upper bound as sums of the significant
// tables' probabilities; Max. dif. along the significant tables sorted by P value (equal
// ones in table order), group by group; power as the sum of the alternative probabilities.
struct Reference {
    double proportion = 0, upperBound = 0, maxDif = 0, power = 0;
};

Reference TableOrder(const TableArray& tables, const std::vector<double>& alternative, int test,
                     double alpha) {
    Reference r;
    std::vector<std::pair<double, std::size_t>> significant;
    for (std::size_t row = 1; row <= tables.Count(); ++row) {
        const double p = tables.Result(row, test);
        if (!SignificantAtLevel(p, alpha))
            continue;
        r.proportion += tables.Probability(row);
        r.upperBound += tables.Upper(row);
        r.power += alternative[row - 1];
        significant.emplace_back(p, row);
    }
    std::sort(significant.begin(), significant.end());
    double cum = 0;
    for (std::size_t i = 0; i < significant.size();) {
        const double p = significant[i].first;
        for (; i < significant.size() && significant[i].first == p; ++i)
            cum += tables.Probability(significant[i].second);
        r.maxDif = std::max(r.maxDif, cum - p);
    }
    return r;
}

struct Figures {
    std::vector<double> proportion, upperBound, maxDif, power;
};

Figures FiguresOf(const SignificantTables& s, const Case& c, const std::vector<int>& tests) {
    const double wx = c.design == CrossSectionalStudy ? c.interval : 0;
    const NullKernels kernels(c.design, c.N, c.pCol, c.interval, c.row, wx);
    LargeArray<double> probability, alternative;
    EntryProbabilities(s, kernels, probability);
    EntryProbabilities(s, AlternativeKernels(c.design, c.N, c.p1, c.p2, c.row), alternative);
    Figures f;
    const std::vector<double> maxDif = MaximumExcesses(s, probability);
    for (int t : tests) {
        const NullSums sums = SignificantSums(s, t, kernels);
        f.proportion.push_back(sums.proportion);
        f.upperBound.push_back(sums.upperBound);
        f.maxDif.push_back(maxDif[s.byTest[static_cast<std::size_t>(t)].column]);
        f.power.push_back(SumOverTest(s, t, alternative));
    }
    return f;
}

std::vector<std::uint64_t> Bits(const Figures& f) {
    std::vector<std::uint64_t> bits;
    for (const std::vector<double>* v : {&f.proportion, &f.upperBound, &f.maxDif, &f.power})
        for (double x : *v)
            bits.push_back(std::bit_cast<std::uint64_t>(x));
    return bits;
}

const Case kCases[] = {
    {"ct smallest", ComparativeTrial, 4, 2, .5, 0, 0, 1, .05, .2, .6},
    {"ct interval, policy", ComparativeTrial, 40, 15, .3, .05, 1, 3, .05, .3, .5},
    {"ct every eligible table", ComparativeTrial, 30, 15, .5, 0, 0, 1, 1, .4, .5},
    {"ct none significant", ComparativeTrial, 30, 15, .5, 0, 0, 1, 0, .4, .5},
    {"ct p = 0", ComparativeTrial, 12, 6, 0, .1, 0, 1, .05, 0, .3},
    {"ct 300, tiny level", ComparativeTrial, 300, 120, .2, .01, 0, 1, 1e-12, .1, .3},
    {"ct 1100: coefficients overflow", ComparativeTrial, 1100, 550, .3, 0, 0, 1, .05, .25, .35},
    {"ct 1100, every table", ComparativeTrial, 1100, 550, .5, .01, 0, 1, 1, .45, .5},
    {"cs smallest", CrossSectionalStudy, 4, .5, .5, 0, 0, 1, .05, .2, .6},
    {"cs interval, policy", CrossSectionalStudy, 25, .4, .3, .02, 1.5, 2, .1, .2, .4},
    {"cs 60", CrossSectionalStudy, 60, .3, .45, 0, 0, 1, .05, .3, .6},
    {"cs 200: kernels underflow", CrossSectionalStudy, 200, .5, .01, .005, 0, 1, .05, .01, .05},
};

TEST(SignificantSums, WithinTheRegroupingToleranceOfTableOrderSums) {
    const std::vector<int> tests{1, 2, 3, 4, 5, 6, 7};
    TestSet needed{};
    for (int t : tests)
        needed[static_cast<std::size_t>(t)] = true;
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        const double wx = c.design == CrossSectionalStudy ? c.interval : 0;
        TableArray tables;
        EnumerateTables(c.design, c.N, c.pCol, c.interval, c.row, wx, tables);
        std::vector<double> alternative;
        AlternativeProbabilities(c.design, c.N, c.p1, c.p2, c.row, alternative);
        const PValuePass pass = MakePValuePass(c.design, c.N, c.row, c.MEN, c.MMT);
        ASSERT_TRUE(ComputeTablePValues(pass, needed, tables, 1, {}));
        const auto terms = static_cast<double>(tables.Count());

        const auto significant =
            SignificantTablesOf(pass, needed, tests, c.alpha, true, nullptr, 1, {});
        ASSERT_NE(significant, nullptr);
        const Figures fast = FiguresOf(*significant, c, tests);
        for (std::size_t i = 0; i < tests.size(); ++i) {
            const Reference ref = TableOrder(tables, alternative, tests[i], c.alpha);
            SCOPED_TRACE("test " + std::to_string(tests[i]));
            EXPECT_TRUE(testing::WithinSumTolerance(fast.proportion[i], ref.proportion, terms))
                << fast.proportion[i] << " vs " << ref.proportion;
            EXPECT_TRUE(testing::WithinSumTolerance(fast.upperBound[i], ref.upperBound, terms))
                << fast.upperBound[i] << " vs " << ref.upperBound;
            EXPECT_TRUE(
                testing::WithinExcessTolerance(fast.maxDif[i], ref.maxDif, ref.proportion, terms))
                << fast.maxDif[i] << " vs " << ref.maxDif;
            EXPECT_TRUE(testing::WithinSumTolerance(fast.power[i], ref.power, terms))
                << fast.power[i] << " vs " << ref.power;
            // The seven-figure texts of the summary files: none moves on this grid.
            const double pairs[][2] = {{fast.proportion[i], ref.proportion},
                                       {fast.upperBound[i], ref.upperBound},
                                       {fast.maxDif[i], ref.maxDif},
                                       {fast.power[i], ref.power}};
            for (const auto& pair : pairs)
                EXPECT_EQ(GiveSignedNumberTonsf(pair[0], 7), GiveSignedNumberTonsf(pair[1], 7));
        }

        // Gathered from a full table array, and on two threads: the same bits.
        PValuePass decided = pass;
        decided.decisionLevel = c.alpha;
        SignificantTables fromArray;
        SignificantTablesFromArray(decided, tables, tests, c.alpha, true, fromArray);
        EXPECT_EQ(Bits(FiguresOf(fromArray, c, tests)), Bits(fast));
        const auto threaded =
            SignificantTablesOf(pass, needed, tests, c.alpha, true, nullptr, 2, {});
        ASSERT_NE(threaded, nullptr);
        EXPECT_EQ(Bits(FiguresOf(*threaded, c, tests)), Bits(fast));
    }
}

// The buckets Max. dif. is taken through increase with the P value, and 0 and 1 fall inside.
TEST(SignificantSums, BucketsIncreaseWithThePValue) {
    const double values[] = {0, 0x1p-1074, 1e-300, 1e-30, 0x1p-60, 1e-9, .01, .0499, .05, .5, 1};
    for (std::size_t i = 0; i + 1 < std::size(values); ++i)
        EXPECT_LE(SignificantBucket(values[i]), SignificantBucket(values[i + 1])) << values[i];
    EXPECT_LT(SignificantBucket(.01), SignificantBucket(.05));
    EXPECT_LT(SignificantBucket(1), SignificantTables::Buckets);
}

// Max. dif. where the largest excess lies among many tables of nearly equal P value and
// among many tables of P value 0 (chi squared beyond its grid): the pruned walk finds what
// the walk over every group finds.
TEST(SignificantSums, MaximumExcessOverManyCloseValues) {
    const std::vector<int> tests{1, 2, 3, 7};
    TestSet needed{};
    for (int t : tests)
        needed[static_cast<std::size_t>(t)] = true;
    for (double p : {.01, .1, .3, .5}) {
        const Case c{"ct 400", ComparativeTrial, 400, 200, p, 0, 0, 1, .05, .2, .3};
        SCOPED_TRACE(p);
        TableArray tables;
        EnumerateTables(c.design, c.N, c.pCol, 0, c.row, 0, tables);
        const PValuePass pass = MakePValuePass(c.design, c.N, c.row, 0, 1);
        ASSERT_TRUE(ComputeTablePValues(pass, needed, tables, 1, {}));
        const auto significant =
            SignificantTablesOf(pass, needed, tests, c.alpha, true, nullptr, 1, {});
        const Figures fast = FiguresOf(*significant, c, tests);
        for (std::size_t i = 0; i < tests.size(); ++i) {
            const Reference ref =
                TableOrder(tables, std::vector<double>(tables.Count()), tests[i], c.alpha);
            EXPECT_TRUE(testing::WithinExcessTolerance(fast.maxDif[i], ref.maxDif, ref.proportion,
                                                       static_cast<double>(tables.Count())))
                << "test " << tests[i] << ": " << fast.maxDif[i] << " vs " << ref.maxDif;
        }
    }
}

} // namespace
} // namespace quillon
