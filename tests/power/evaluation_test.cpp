// The power and size of one combination against sources apart from the engine:
//  - exact rational power: the probabilities of the tables as integers over D^N (p1, p2 and
//    x given as u / D), summed in 128-bit integers over the tables that the literal
//    reference procedures (tests/reference) call significant, and divided once at the end
//    in long double;
//  - the particular-proportion study itself at p1 = p2 and at the pooled proportion, bit
//    for bit;
//  - peer figures of the exact power of the two-sided Fisher test computed with R.
#include "power/evaluation.h"

#include "core/test_registry.h"
#include "particular/evaluation.h"
#include "reference/core_literal.h"
#include "reference/particular_literal.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <numeric>

namespace quillon {
namespace {

std::uint64_t Bits(double x) {
    return std::bit_cast<std::uint64_t>(x);
}

// Agreement cases up to this total take every registered test, larger ones the tests of the
// literal procedure: the exact unconditional tests' designs cost seconds at the larger totals.
constexpr std::int64_t kEveryTestUpToN = 20;

// Every registered test, ascending.
std::vector<int> EveryTest() {
    std::vector<int> tests;
    for (const TestEntry& test : RegisteredTests())
        tests.push_back(test.number);
    return tests;
}

__extension__ typedef unsigned __int128 Wide;

Wide Power(Wide base, std::int64_t k) {
    Wide r = 1;
    for (std::int64_t i = 0; i < k; ++i)
        r *= base;
    return r;
}

Wide Choose(std::int64_t n, std::int64_t k) {
    Wide r = 1;
    for (std::int64_t i = 1; i <= k; ++i)
        r = r * static_cast<Wide>(n - k + i) / static_cast<Wide>(i);
    return r;
}

// A proportion u / D.
struct Fraction {
    std::int64_t u = 1, D = 4;
    double Value() const { return static_cast<double>(u) / static_cast<double>(D); }
};

struct RationalCase {
    const char* name;
    DesignCode design;
    std::int64_t N;
    Fraction row; // comparative trial: row.u is m, row.D unused
    Fraction p1, p2;
    double MEN, MMT, alpha;
};

// The exact probability numerator of table (a, b, c, d) over D^N (comparative trial) or
// over (Dx Dp)^N with one D for the proportions (cross-sectional study).
Wide Numerator(const RationalCase& k, std::int64_t a, std::int64_t b, std::int64_t c,
               std::int64_t d) {
    const Wide D = static_cast<Wide>(k.p1.D);
    const Wide u1 = static_cast<Wide>(k.p1.u), u2 = static_cast<Wide>(k.p2.u);
    const Wide kernel = Power(u1, a) * Power(D - u1, b) * Power(u2, c) * Power(D - u2, d);
    if (k.design == ComparativeTrial)
        return Choose(a + b, a) * Choose(c + d, c) * kernel;
    const Wide X = static_cast<Wide>(k.row.D), ux = static_cast<Wide>(k.row.u);
    const std::int64_t r = a + b;
    const Wide multinomial = Choose(k.N, r) * Choose(r, a) * Choose(k.N - r, c);
    return multinomial * Power(ux, r) * Power(X - ux, k.N - r) * kernel;
}

Wide Denominator(const RationalCase& k) {
    const Wide D = static_cast<Wide>(k.p1.D);
    if (k.design == ComparativeTrial)
        return Power(D, k.N);
    return Power(D * static_cast<Wide>(k.row.D), k.N);
}

// The program forms every coefficient C as ExpBase^(ln C), ExpBase = 2.718281828 standing in
// for e, so each of its probabilities is the exact one times ExpBase^(ln C) / e^(ln C) =
// e^(ln C (ln ExpBase - 1)), a relative change of about 1.7e-10 ln C.
long double ExpBaseFactor(DesignCode design, std::int64_t a, std::int64_t b, std::int64_t c,
                          std::int64_t d) {
    auto lf = [](std::int64_t x) { return std::lgamma(static_cast<long double>(x) + 1); };
    const long double lnC = design == ComparativeTrial
                                ? lf(a + b) - lf(a) - lf(b) + lf(c + d) - lf(c) - lf(d)
                                : lf(a + b + c + d) - lf(a) - lf(b) - lf(c) - lf(d);
    return std::exp(lnC * (std::log(static_cast<long double>(ExpBase)) - 1));
}

// Against the exact rational itself: ln C stays below 25 for these totals.
constexpr double kExpBaseTolerance = 25 * 1.7e-10;

// Tolerance of a double sum of at most a few thousand probabilities against the exact
// rational: a few hundred units of rounding.
constexpr double kSumTolerance = 1e-13;

TEST(PowerEvaluation, EqualsExactRationalPowerOverTheReferenceSignificantTables) {
    // p1, p2 (and x) are chosen with small denominators so that the numerators of N <= 14
    // fit in 128 bits: (4 * 4)^14 = 2^56 for the cross-sectional cases.
    const RationalCase cases[] = {
        {"ct_10_5_quarter_three_quarters", ComparativeTrial, 10, {5, 1}, {1, 4}, {3, 4}, 0, 1, .05},
        {"ct_12_4_unequal_rows", ComparativeTrial, 12, {4, 1}, {1, 10}, {7, 10}, 0, 1, .05},
        {"ct_9_3_mmt_excludes", ComparativeTrial, 9, {3, 1}, {1, 8}, {5, 8}, 0, 3, .1},
        {"ct_11_6_men_excludes", ComparativeTrial, 11, {6, 1}, {1, 5}, {4, 5}, 1, 1, .05},
        {"ct_8_4_alpha_one", ComparativeTrial, 8, {4, 1}, {1, 4}, {2, 4}, 0, 1, 1},
        {"cs_10_half", CrossSectionalStudy, 10, {1, 2}, {1, 4}, {3, 4}, 0, 1, .05},
        {"cs_12_quarter_men", CrossSectionalStudy, 12, {1, 4}, {1, 4}, {3, 4}, .5, 2, .1},
        {"cs_9_p1_zero", CrossSectionalStudy, 9, {1, 2}, {0, 4}, {3, 4}, 0, 1, .05},
    };
    for (const RationalCase& k : cases) {
        SCOPED_TRACE(k.name);
        ASSERT_EQ(k.p1.D, k.p2.D) << "one denominator for both proportions";
        PowerPoint point;
        point.design = k.design;
        point.N = k.N;
        point.row = k.design == ComparativeTrial ? static_cast<double>(k.row.u) : k.row.Value();
        point.p1 = k.p1.Value();
        point.p2 = k.p2.Value();
        point.MEN = k.MEN;
        point.MMT = k.MMT;
        point.alpha = k.alpha;
        point.tests = reference::LiteralTests();
        const std::optional<PowerEvaluation> ev = EvaluatePower(point);
        ASSERT_TRUE(ev.has_value());

        // The literal reference gives every table's P values (policy codes included) in
        // the enumeration order.
        reference::LiteralPoint lp;
        lp.design = k.design;
        lp.N = k.N;
        lp.p = 0.5;
        lp.x = point.row;
        lp.MEN = k.MEN;
        lp.MMT = k.MMT;
        lp.parameter = k.alpha;
        lp.tests = point.tests;
        const reference::LiteralEvaluation lit = reference::EvaluatePointLiteral(lp, "");
        ASSERT_EQ(lit.tableArray.size(), ev->tables.Count() + 1);
        for (int test : point.tests) {
            Wide significant = 0;
            long double withExpBase = 0;
            for (std::size_t row = 1; row < lit.tableArray.size(); ++row) {
                const auto& t = lit.tableArray[row];
                if (!(t[7 + test] <= k.alpha))
                    continue;
                const auto a = static_cast<std::int64_t>(t[1]), b = static_cast<std::int64_t>(t[2]),
                           c = static_cast<std::int64_t>(t[3]), d = static_cast<std::int64_t>(t[4]);
                const Wide numerator = Numerator(k, a, b, c, d);
                significant += numerator;
                withExpBase += static_cast<long double>(numerator) /
                               static_cast<long double>(Denominator(k)) *
                               ExpBaseFactor(k.design, a, b, c, d);
            }
            const long double exact =
                static_cast<long double>(significant) / static_cast<long double>(Denominator(k));
            EXPECT_NEAR(ev->ForTest(test).power, static_cast<double>(exact), kExpBaseTolerance)
                << "test " << test;
            EXPECT_NEAR(ev->ForTest(test).power, static_cast<double>(withExpBase), kSumTolerance)
                << "test " << test;
        }
    }
}

// Every table's probability under the alternative against the product of two binomial
// probabilities (or the multinomial) formed independently in long double.
TEST(PowerEvaluation, AlternativeProbabilitiesAreTheProductOfTheRows) {
    struct Case {
        const char* name;
        DesignCode design;
        std::int64_t N;
        double row, p1, p2;
    };
    const Case cases[] = {
        {"ct_30_12", ComparativeTrial, 30, 12, .15, .55},
        {"ct_41_20", ComparativeTrial, 41, 20, .9, .35},
        {"cs_15_third", CrossSectionalStudy, 15, 1.0 / 3, .2, .7},
    };
    constexpr double kRelative = 1e-11; // ExpBase's ten digits are exact here; the
                                        // log-factorial sums carry a few ulps
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        std::vector<double> alt;
        AlternativeProbabilities(k.design, k.N, k.p1, k.p2, k.row, alt);
        TableArray tables;
        EnumerateTables(k.design, k.N, .5, 0, k.row, 0, tables);
        ASSERT_EQ(alt.size(), tables.Count());
        long double total = 0;
        for (std::size_t row = 1; row <= tables.Count(); ++row) {
            const long double a = tables.Cell(row, 1), b = tables.Cell(row, 2),
                              c = tables.Cell(row, 3), d = tables.Cell(row, 4);
            const long double lnC =
                k.design == ComparativeTrial
                    ? std::lgamma(a + b + 1) - std::lgamma(a + 1) - std::lgamma(b + 1) +
                          std::lgamma(c + d + 1) - std::lgamma(c + 1) - std::lgamma(d + 1)
                    : std::lgamma(a + b + c + d + 1) - std::lgamma(a + 1) - std::lgamma(b + 1) -
                          std::lgamma(c + 1) - std::lgamma(d + 1);
            const long double p1 = static_cast<long double>(k.p1),
                              p2 = static_cast<long double>(k.p2),
                              x = static_cast<long double>(k.row);
            long double p = std::exp(lnC) * std::pow(p1, a) * std::pow(1 - p1, b) *
                            std::pow(p2, c) * std::pow(1 - p2, d);
            if (k.design == CrossSectionalStudy)
                p *= std::pow(x, a + b) * std::pow(1 - x, c + d);
            total += alt[row - 1];
            // ExpBase (2.718281828) stands in for e, so the coefficient differs from the
            // exact one by a factor e^(lnC (ln ExpBase - 1)), at most about 1e-8 here.
            const long double expBaseFactor =
                std::exp(lnC * (std::log(static_cast<long double>(ExpBase)) - 1));
            EXPECT_NEAR(alt[row - 1] / (p * expBaseFactor), 1.0, kRelative) << "row " << row;
        }
        EXPECT_NEAR(static_cast<double>(total), 1.0, 1e-6); // ExpBase's own error
    }
}

TEST(PowerEvaluation, LargeTotalsTakeTheLogarithmicForm) {
    // N = 3000: coefficients overflow and kernels underflow; every probability must stay
    // finite and the alternative still sum to one (to ExpBase's accuracy over N terms).
    std::vector<double> alt;
    AlternativeProbabilities(ComparativeTrial, 3000, .2, .5, 1500, alt);
    double total = 0;
    for (double p : alt) {
        ASSERT_TRUE(std::isfinite(p));
        ASSERT_GE(p, 0);
        total += p;
    }
    EXPECT_NEAR(total, 1.0, 1e-4);
}

struct AgreementCase {
    const char* name;
    DesignCode design;
    std::int64_t N;
    double row, p, MEN, MMT, alpha;
};

// Every test, both designs, policy exclusions, proportions above one half: the power at
// p1 = p2 = p and the size are the particular study's "Prop sig." at pi(col) = p.
TEST(PowerEvaluation, AtEqualProportionsPowerIsTheParticularStudysPropSigBitForBit) {
    const AgreementCase cases[] = {
        {"ct_20_10", ComparativeTrial, 20, 10, .5, 0, 1, .05},
        {"ct_37_11_men", ComparativeTrial, 37, 11, .3, 1.5, 1, .05},
        {"ct_30_15_mmt", ComparativeTrial, 30, 15, .25, 0, 4, .1},
        {"ct_25_12_above_half", ComparativeTrial, 25, 12, .8, 0, 1, .05},
        {"ct_200_100_large", ComparativeTrial, 200, 100, .45, 1, 2, .05},
        {"cs_12_half", CrossSectionalStudy, 12, .5, .5, 0, 1, .05},
        {"cs_18_third_men_mmt", CrossSectionalStudy, 18, .3, .35, 1, 2, .05},
        {"cs_15_above_half", CrossSectionalStudy, 15, .7, .9, 0, 1, .01},
    };
    for (const AgreementCase& k : cases) {
        SCOPED_TRACE(k.name);
        PowerPoint power;
        power.design = k.design;
        power.N = k.N;
        power.row = k.row;
        power.p1 = power.p2 = k.p;
        power.MEN = k.MEN;
        power.MMT = k.MMT;
        power.alpha = k.alpha;
        power.tests = k.N <= kEveryTestUpToN ? EveryTest() : reference::LiteralTests();
        const std::optional<PowerEvaluation> pw = EvaluatePower(power);
        ASSERT_TRUE(pw.has_value());
        EXPECT_EQ(Bits(pw->pooled), Bits(k.p));

        EvaluationPoint point;
        point.design = k.design;
        point.N = k.N;
        point.pCol = k.p;
        point.row = k.row;
        point.MEN = k.MEN;
        point.MMT = k.MMT;
        point.parameter = k.alpha;
        point.tests = power.tests;
        const std::optional<PointEvaluation> ev = EvaluatePoint(point);
        ASSERT_TRUE(ev.has_value());
        for (int test : power.tests) {
            EXPECT_EQ(Bits(pw->ForTest(test).power), Bits(ev->ForTest(test).propSig))
                << "test " << test;
            EXPECT_EQ(Bits(pw->ForTest(test).size), Bits(ev->ForTest(test).propSig))
                << "test " << test;
        }
    }
}

// At p1 != p2 the size is the particular study's "Prop sig." at the pooled proportion.
TEST(PowerEvaluation, SizeIsThePropSigAtThePooledProportion) {
    struct Case {
        const char* name;
        DesignCode design;
        std::int64_t N;
        double row, p1, p2, MEN, MMT;
        double pooled; // worked by hand from the pooling rule
    };
    const Case cases[] = {
        {"ct_20_10", ComparativeTrial, 20, 10, .2, .6, 0, 1, (10 * .2 + 10 * .6) / 20},
        {"ct_30_9_men", ComparativeTrial, 30, 9, .1, .5, 1, 1, (9 * .1 + 21 * .5) / 30},
        {"cs_14_quarter", CrossSectionalStudy, 14, .25, .3, .7, 0, 2, .25 * .3 + .75 * .7},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        PowerPoint power;
        power.design = k.design;
        power.N = k.N;
        power.row = k.row;
        power.p1 = k.p1;
        power.p2 = k.p2;
        power.MEN = k.MEN;
        power.MMT = k.MMT;
        power.tests = EveryTest();
        const std::optional<PowerEvaluation> pw = EvaluatePower(power);
        ASSERT_TRUE(pw.has_value());
        EXPECT_EQ(Bits(pw->pooled), Bits(k.pooled));

        EvaluationPoint point;
        point.design = k.design;
        point.N = k.N;
        point.pCol = k.pooled;
        point.row = k.row;
        point.MEN = k.MEN;
        point.MMT = k.MMT;
        point.tests = power.tests;
        const std::optional<PointEvaluation> ev = EvaluatePoint(point);
        ASSERT_TRUE(ev.has_value());
        for (int test : power.tests)
            EXPECT_EQ(Bits(pw->ForTest(test).size), Bits(ev->ForTest(test).propSig))
                << "test " << test;
    }
}

TEST(PowerEvaluation, ThreadsDoNotChangeAFigure) {
    PowerPoint point;
    point.N = 300;
    point.row = 150;
    point.p1 = .3;
    point.p2 = .45;
    point.tests = {7, 1, 5, 2, 6, 3, 4};
    PowerOptions one;
    one.threads = 1;
    PowerOptions many;
    many.threads = 4;
    const auto a = EvaluatePower(point, one);
    const auto b = EvaluatePower(point, many);
    ASSERT_TRUE(a && b);
    for (int test : point.tests) {
        EXPECT_EQ(Bits(a->ForTest(test).power), Bits(b->ForTest(test).power));
        EXPECT_EQ(Bits(a->ForTest(test).size), Bits(b->ForTest(test).size));
    }
}

// Peer figures: the exact power of the two-sided Fisher test that sums the tables as
// probable as or less probable than the observed one (test 5), computed with R 4.2.2 as
//   sum over tables with fisher.test(matrix(c(a, m - a, c, n - c), 2, byrow = TRUE))$p.value
//   <= alpha of dbinom(a, m, p1) * dbinom(c, n, p2)
// (cross-sectional: dmultinom with probabilities x p1, x (1 - p1), (1 - x) p2,
// (1 - x)(1 - p2)), printed to 17 digits.
TEST(PowerEvaluation, FisherPowerMatchesRsExactComputation) {
    struct Case {
        const char* name;
        DesignCode design;
        std::int64_t N;
        double row, p1, p2, alpha, rPower;
    };
    const Case cases[] = {
        {"ct_20_20", ComparativeTrial, 40, 20, .2, .6, .05, 0.65022492093519757},
        {"ct_10_10", ComparativeTrial, 20, 10, .1, .5, .05, 0.29505504770234381},
        {"ct_15_25", ComparativeTrial, 40, 15, .3, .7, .05, 0.63861725728865637},
        {"cs_20_half", CrossSectionalStudy, 20, .5, .2, .6, .05, 0.30488771219647243},
    };
    // R's probabilities use e exactly where the program uses ExpBase (2.718281828), a
    // relative difference of up to about 1e-8 per table for these totals.
    constexpr double kExpBaseAgainstR = 1e-7;
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        PowerPoint point;
        point.design = k.design;
        point.N = k.N;
        point.row = k.row;
        point.p1 = k.p1;
        point.p2 = k.p2;
        point.alpha = k.alpha;
        point.tests = {5};
        const auto ev = EvaluatePower(point);
        ASSERT_TRUE(ev.has_value());
        EXPECT_NEAR(ev->ForTest(5).power, k.rPower, kExpBaseAgainstR);
    }
}

TEST(PowerEvaluation, MemoryRefusalOfTooManyTables) {
    PowerPoint point;
    point.design = CrossSectionalStudy;
    point.N = 10000;
    point.row = .5;
    const std::optional<std::string> refusal = PowerMemoryRefusal(point, true, std::nullopt);
    ASSERT_TRUE(refusal.has_value());
    EXPECT_NE(refusal->find("N = 10000"), std::string::npos) << *refusal;
    point.N = 20;
    EXPECT_FALSE(PowerMemoryRefusal(point, true, std::nullopt).has_value());
    // A machine with almost no memory free refuses even a small one.
    EXPECT_TRUE(PowerMemoryRefusal(point, true, std::uint64_t{1000}).has_value());
}

TEST(PowerEvaluation, ProgressCallbackCanStop) {
    PowerPoint point;
    point.N = 400;
    point.row = 200;
    PowerOptions options;
    options.progress = [](ProgressStage, std::uint64_t, std::uint64_t) { return false; };
    EXPECT_FALSE(EvaluatePower(point, options).has_value());
}

} // namespace
} // namespace quillon
