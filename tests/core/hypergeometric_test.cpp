// Fisher-Irwin tests of tables beyond the log-factorial cache: the terms of
// core/hypergeometric.h against exact rationals and SciPy, and against the cache's own
// terms where both can be formed.
#include "core/hypergeometric.h"
#include "core/pvalues.h"
#include "core/tables.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>

namespace quillon {
namespace {

// ExpBase (2.718281828) stands for e, so ExpBase^x = e^x e^(-x delta) with
// delta = 1 - ln ExpBase = 1.69e-10: a P value of logarithm L differs from the value over e
// by about delta |L| of itself (twice that allows for the tail terms in a sum).
constexpr double kExpBaseDelta = 1.7e-10;
// What the terms' own formulas may add (core/hypergeometric.h: about 1e-13 each).
constexpr double kTermsRelative = 1e-11;
// SciPy 1.10's two-sided value of the second table differs from the exact rational by
// 6.1e-9 of itself.
constexpr double kScipyRelative = 1e-8;

double Tolerance(double p, double extra) {
    return (kExpBaseDelta * (2 * std::fabs(std::log(p)) + 10) + extra) * p;
}

struct LargeTable {
    const char* name;
    std::int64_t a, b, c, d;
    double test4, test5, test6, test7;
};

// Exact rationals over math.comb in Python 3 (fractions.Fraction): test 4 = 2 (min tail +
// P(a)) capped at 1, test 5 = the sum of P <= P(a), test 6 = 2 min tail + P(a), test 7 =
// the sum of P < P(a) plus P(a) / 2, each rounded once to a double.
TEST(LargeTables, AgreeWithExactRationals) {
    const LargeTable cases[] = {
        {"scipy_second_table", 1, 2, 9, 84419233, 7.1073833464578402e-07, 3.5536916732289201e-07,
         3.5536920520907167e-07, 1.7768460260453584e-07},
        {"empty_cell", 0, 7, 12000000, 9000000, 0.0053112075216519674, 0.0026556037608259837,
         0.0026556037608259837, 0.0013278018804129918},
        {"far_tail", 3, 40, 25000000, 11000000, 2.1625678746272359e-17, 1.081283937313618e-17,
         1.1157013366477972e-17, 5.578506683238986e-18},
        {"small_row", 20, 15, 6000000, 9000000, 0.060098115608540177, 0.056001827105978341,
         0.043306992213655388, 0.04760626540853595},
        {"row_of_430", 250, 180, 9000000, 8000000, 0.034340880492475044, 0.033431326638077852,
         0.030608558911702083, 0.031565165847691375},
    };
    for (const LargeTable& t : cases) {
        SCOPED_TRACE(t.name);
        const FisherPValues p = FishersExactTestAnyTotal(t.a, t.b, t.c, t.d);
        EXPECT_NEAR(p.test4, t.test4, Tolerance(t.test4, kTermsRelative));
        EXPECT_NEAR(p.test5, t.test5, Tolerance(t.test5, kTermsRelative));
        EXPECT_NEAR(p.test6, t.test6, Tolerance(t.test6, kTermsRelative));
        EXPECT_NEAR(p.test7, t.test7, Tolerance(t.test7, kTermsRelative));
    }
}

// The two tables of SciPy's own fisher_exact tests that the cache could not take
// (scipy.stats.fisher_exact, SciPy 1.10, two-sided: our test 5).
TEST(LargeTables, AgreeWithScipy) {
    const double first = FishersExactTestAnyTotal(5829225, 5692693, 5760959, 5760959).test5;
    EXPECT_NEAR(first, 6.126212731825234e-178, Tolerance(6.126212731825234e-178, kScipyRelative));
    const double second = FishersExactTestAnyTotal(1, 2, 9, 84419233).test5;
    EXPECT_NEAR(second, 3.5536916515000046e-07, Tolerance(3.5536916515000046e-07, kScipyRelative));
}

// Where the cache reaches, both ways of forming the terms give the same P values, ties
// included (symmetric tables have exactly equal terms on both sides of the mode).
TEST(LargeTables, AgreeWithTheCacheOverAGrid) {
    // The cache's running sums of ln i carry about 1e-12 of their value at these totals.
    constexpr double kPathsRelative = 1e-9;
    int compared = 0;
    for (std::int64_t a : {0, 1, 3, 10, 40, 200})
        for (std::int64_t b : {0, 2, 10, 45, 300})
            for (std::int64_t c : {1, 7, 40, 250, 1500})
                for (std::int64_t d : {3, 10, 45, 900}) {
                    const FisherWorkingTable w = MakeWorkingTable(a, b, c, d);
                    const FisherPValues cached = FisherTerms(w.R1(), w.K1(), w.K2()).PValues(w.A);
                    const FisherPValues large =
                        FisherTerms::WithoutCache(w.R1(), w.K1(), w.K2()).PValues(w.A);
                    for (int test = 4; test <= 7; ++test) {
                        const double x = cached[test], y = large[test];
                        EXPECT_LE(std::fabs(x - y), kPathsRelative * std::max(x, y))
                            << a << " " << b << " " << c << " " << d << " test " << test;
                    }
                    ++compared;
                }
    EXPECT_EQ(compared, 600);
    // An exact tie found the same way: the margins of 3 1 1 3 have P(1) = P(3).
    EXPECT_EQ(FisherTerms::WithoutCache(4, 4, 4).TiePartner(1), 3);
    EXPECT_EQ(FisherTerms(4, 4, 4).TiePartner(1), 3);
}

// The terms left out are 0 as computed, and those held sum to 1 (up to ExpBase, whose
// terms near the mode, of logarithm about -8 here, sum to 1 + 8 delta).
TEST(LargeTables, HeldTermsSumToOne) {
    constexpr double kSumRelative = 20 * kExpBaseDelta;
    for (const auto& [R1, K1, K2] :
         {std::tuple<std::int64_t, std::int64_t, std::int64_t>{11521918, 11590184, 11453652},
          {3, 10, 84419235},
          {50000000, 60000000, 70000000}}) {
        const FisherTerms t = FisherTerms::WithoutCache(R1, K1, K2);
        double sum = 0;
        for (double p : t.P())
            sum += p;
        EXPECT_NEAR(sum, 1, kSumRelative) << R1;
        const std::int64_t last = t.First() + static_cast<std::int64_t>(t.P().size()) - 1;
        if (t.First() > 0) {
            EXPECT_EQ(ExpBasePower(LogHypergeometricTerm(t.First() - 1, R1, K1, K2)), 0);
        }
        if (last < R1) {
            EXPECT_EQ(ExpBasePower(LogHypergeometricTerm(last + 1, R1, K1, K2)), 0);
        }
        // Only a thin band around the mode: about the square root of the total.
        EXPECT_LT(t.P().size(), 1'000'000u);
    }
}

// The binomial terms at the edges of their range, against closed forms.
TEST(LargeTables, BinomialTermEdges) {
    constexpr double kClosedForm = 1e-13;
    EXPECT_NEAR(LogBinomialTerm(0, 10, 0.3, 0.7), 10 * std::log(0.7), kClosedForm);
    EXPECT_NEAR(LogBinomialTerm(10, 10, 0.3, 0.7), 10 * std::log(0.3), kClosedForm);
    EXPECT_NEAR(LogBinomialTerm(0, 1000, 0.01, 0.99), 1000 * std::log1p(-0.01), kClosedForm);
    // C(6, 2) .5^6 = 15 / 64
    EXPECT_NEAR(LogBinomialTerm(2, 6, 0.5, 0.5), std::log(15.0 / 64), kClosedForm);
    EXPECT_EQ(LogBinomialTerm(0, 0, 0.5, 0.5), 0);
}

} // namespace
} // namespace quillon
