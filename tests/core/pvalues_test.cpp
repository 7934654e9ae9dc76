// P values of the seven tests, the policy check, and the fast paths against the literal
// procedures.
#include "core/numtext.h"
#include "core/pvalues.h"
#include "reference/core_literal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>

namespace quillon {
namespace {

std::string Six(double x) {
    return GiveNumberTonsf(x, 6);
}

struct TableCase {
    const char* name;
    double a, b, c, d;
    // Six significant figures of the program's own worked examples (the 1 1 0 3 chi
    // squared P values recomputed with the same midpoint integral in Python); tests 4 to 7
    // agree with exact rational arithmetic (Python fractions over math.comb).
    const char* chi[3];
    const char* p[3];
    const char* fisher[4];
};

TEST(PValues, WorkedTables) {
    const TableCase cases[] = {
        {"symmetric 3 1 1 3",
         3,
         1,
         1,
         3,
         {"2.00000", ".500000", "1.75000"},
         {".157297", ".479498", ".185875"},
         {".485714", ".485714", ".257143", ".142857"}},
        {"Yates threshold 1 1 0 3",
         1,
         1,
         0,
         3,
         {"1.87500", "0", "1.50000"},
         {".170902", "1.00000", ".220669"},
         {".800000", ".400000", ".400000", ".200000"}},
        {"strong association 10 2 3 15",
         10,
         2,
         3,
         15,
         {"13.0317", "10.4581", "12.5973"},
         {".000306249", ".00122104", ".000386286"},
         {".000930362", ".000536724", ".000480662", ".000311874"}},
    };
    for (const TableCase& c : cases) {
        for (int test = 1; test <= 3; ++test) {
            const double X = ChiSquaredValue(c.a, c.b, c.c, c.d, test);
            EXPECT_EQ(Six(X), c.chi[test - 1]) << c.name << " test " << test;
            EXPECT_EQ(Six(ChiSquaredPValue(X)), c.p[test - 1]) << c.name << " test " << test;
        }
        const FisherPValues f =
            FishersExactTest(static_cast<std::int64_t>(c.a), static_cast<std::int64_t>(c.b),
                             static_cast<std::int64_t>(c.c), static_cast<std::int64_t>(c.d));
        for (int test = 4; test <= 7; ++test)
            EXPECT_EQ(Six(f[test]), c.fisher[test - 4]) << c.name << " test " << test;
    }
}

TEST(PValues, IntegrationFiguresOfTheProgram) {
    // The midpoint integral is off in the sixth figure, and the program's figures are its.
    EXPECT_EQ(Six(ChiSquaredPValue(1)), ".317308");
    EXPECT_EQ(Six(ChiSquaredPValue(3.84145882)), ".0499990");
    // A chi squared of 0 gives a hair above 1, uncapped; beyond 36, exactly 0.
    EXPECT_GT(ChiSquaredPValue(0), 1.0);
    EXPECT_NEAR(ChiSquaredPValue(0), 1.00000000004, 5e-11);
    EXPECT_EQ(ChiSquaredPValue(36.0001), 0.0);
    EXPECT_EQ(CumulativeNormal(-6.0000001), 0.0);
    EXPECT_EQ(CumulativeNormal(6.0000001), 1.0);
}

TEST(CumulativeNormal, BitIdenticalToTheLiteralLoop) {
    std::vector<double> zs = {-6, 6, 0, -1.959963985, 1.959963985, -5.995, 5.995};
    // On and next to every grid point the loop would produce, where the number of whole
    // steps changes.
    double t = -6;
    for (int k = 0; k < 1200; ++k) {
        t = t + 0.01;
        zs.push_back(t);
        zs.push_back(std::nextafter(t, -10.0));
        zs.push_back(std::nextafter(t, 10.0));
    }
    std::mt19937_64 rng(20261206);
    std::uniform_real_distribution<double> any(-6.5, 6.5);
    for (int i = 0; i < 3000; ++i)
        zs.push_back(any(rng));
    for (double z : zs)
        ASSERT_EQ(CumulativeNormal(z), reference::CumulativeNormalLiteral(z)) << "z = " << z;
}

// The literal chi squared P value: the square root by the power, the integral step by
// step.
double LiteralChiSquaredPValue(double X) {
    return 2 * reference::CumulativeNormalLiteral(-std::pow(X, 0.5));
}

TEST(ChiSquaredPValue, BitIdenticalToTheLiteralIntegralAroundAndBeyondItsEnd) {
    // The integral ends at a root of 6, a chi squared value of 36; beyond 36.001 the P value
    // is 0 without the integral.
    std::vector<double> xs = {0,       1e-300, 0.5,    3.84, 3.841458821, 35.999, 36,
                              36.0005, 36.001, 36.002, 37,   100,         1e6,    1e300};
    for (double x = 35.99; x < 36.01; x += 1e-4)
        xs.push_back(x);
    for (double x : {36.0, 36.001}) {
        double below = x, above = x;
        for (int i = 0; i < 20; ++i) {
            below = std::nextafter(below, 0.0);
            above = std::nextafter(above, 100.0);
            xs.push_back(below);
            xs.push_back(above);
        }
    }
    for (double X : xs)
        ASSERT_EQ(ChiSquaredPValue(X), LiteralChiSquaredPValue(X)) << "chi squared " << X;
}

// Levels to decide at: the usual ones, the extremes, and levels equal to P values the
// tests give (where P <= alpha holds with equality).
std::vector<double> DecisionLevels() {
    std::vector<double> levels = {-0.5, 0,     1e-300, 1e-12, 2e-9,          1e-6,
                                  1e-4, 0.001, 0.01,   0.025, 0.05,          0.1,
                                  0.2,  0.5,   0.9999, 1,     1.00000000004, 2};
    for (double X : {0.0, 0.5, 2.0, 3.8414588206941236, 3.85, 6.635, 10.0, 20.0, 35.9})
        levels.push_back(ChiSquaredPValue(X));
    return levels;
}

TEST(ChiSquaredDecision, CertainlyAboveOnlyWhereThePValueExceedsTheLevel) {
    std::vector<double> xs;
    for (double X = 0; X < 40; X += 0.0007)
        xs.push_back(X);
    for (double X : {0.0, 0.5, 2.0, 3.8414588206941236, 3.85, 6.635, 10.0, 20.0, 35.9})
        xs.push_back(X);
    for (double level : DecisionLevels()) {
        SCOPED_TRACE("level " + std::to_string(level));
        const ChiSquaredDecision decision(level);
        int decided = 0, above = 0;
        for (double X : xs) {
            const double P = ChiSquaredPValue(X);
            if (decision.CertainlyAbove(X)) {
                ASSERT_GT(P, level) << "chi squared " << X;
                ++decided;
            }
            above += P > level;
        }
        // Every value far enough below the critical one is decided: all but those within a
        // hair of it.
        EXPECT_GE(decided, above - 3);
    }
    // At .05 the critical value is 3.8415 (P = .0499990 there by the program's integral).
    const ChiSquaredDecision at05(0.05);
    EXPECT_TRUE(at05.CertainlyAbove(3.84));
    EXPECT_FALSE(at05.CertainlyAbove(3.8416));
}

TEST(FishersExactTest, ZeroMarginGivesTheSingleTable) {
    // The one table's probability is 1 up to the rounding of its log-factorials.
    constexpr double kRounding = 8 * std::numeric_limits<double>::epsilon();
    const FisherPValues f = FishersExactTest(0, 0, 3, 4);
    EXPECT_EQ(f.test4, 1.0); // 2 capped
    EXPECT_NEAR(f.test5, 1.0, kRounding);
    EXPECT_NEAR(f.test6, 1.0, kRounding);
    EXPECT_NEAR(f.test7, 0.5, kRounding);
}

TEST(FishersExactTest, ExactTiesCountInTest5AndNotInTest7) {
    struct Tie {
        const char* name;
        std::int64_t a, b, c, d;
        double test5, test7; // exact rational values (Python fractions)
    };
    // Probabilities come back through ExpBase, 4.6e-10 below e: a term exp(x) is computed
    // as exp(x (1 - 1.7e-10)), so each carries a relative error of about 1.7e-10 |x|.
    constexpr double kExpBaseShortfall = 1e-9;
    const Tie ties[] = {
        // P(0) = P(1) = 10/21 exactly, yet the computed doubles differ.
        {"2 3 0 2", 2, 3, 0, 2, 1.0, 0.2857142857142857},
        {"6 6 5 7", 6, 6, 5, 7, 1.0, 0.56023690940907256},
        {"3 1 1 3 (mirror)", 3, 1, 1, 3, 0.48571428571428571, 0.14285714285714285},
    };
    for (const Tie& t : ties) {
        const FisherPValues f = FishersExactTest(t.a, t.b, t.c, t.d);
        EXPECT_NEAR(f.test5, t.test5, kExpBaseShortfall) << t.name;
        EXPECT_NEAR(f.test7, t.test7, kExpBaseShortfall) << t.name;
    }
}

// Exact probabilities of small tables in 128-bit integers: C(R1, i) C(R2, K1 - i), which is
// proportional to P(i). An oracle for ties independent of the prime-exponent check.
__extension__ typedef unsigned __int128 Wide;

Wide Choose(std::int64_t n, std::int64_t k) {
    Wide r = 1;
    for (std::int64_t i = 1; i <= k; ++i)
        r = r * static_cast<Wide>(n - k + i) / static_cast<Wide>(i);
    return r;
}

TEST(FishersExactTest, TieRuleAgreesWithIntegerArithmeticOnAllSmallTables) {
    int ties = 0;
    for (std::int64_t N = 2; N <= 26; ++N)
        for (std::int64_t a = 0; a <= N; ++a)
            for (std::int64_t b = 0; a + b <= N; ++b)
                for (std::int64_t c = 0; a + b + c <= N; ++c) {
                    const std::int64_t d = N - a - b - c;
                    const FisherWorkingTable w = MakeWorkingTable(a, b, c, d);
                    const std::int64_t R1 = w.R1(), R2 = w.C + w.D, K1 = w.K1();
                    const FisherTerms terms(R1, K1, w.K2());
                    const auto exact = [&](std::int64_t i) {
                        return Choose(R1, i) * Choose(R2, K1 - i);
                    };
                    std::int64_t expected = -1;
                    for (std::int64_t j = 0; j <= R1; ++j)
                        if (j != w.A && exact(j) == exact(w.A))
                            expected = j;
                    ASSERT_EQ(terms.TiePartner(w.A), expected)
                        << a << " " << b << " " << c << " " << d;
                    ties += expected >= 0;
                }
    EXPECT_GT(ties, 100); // the grid does exercise the rule
}

TEST(FishersExactTest, FastPathEqualsTheLiteralProcedure) {
    std::mt19937_64 rng(7);
    for (int i = 0; i < 400; ++i) {
        std::uniform_int_distribution<std::int64_t> cell(0, i < 300 ? 30 : 400);
        const std::int64_t a = cell(rng), b = cell(rng), c = cell(rng), d = cell(rng);
        const FisherPValues fast = FishersExactTest(a, b, c, d);
        const FisherPValues slow = reference::FishersExactTestLiteral(a, b, c, d);
        for (int test = 4; test <= 7; ++test)
            ASSERT_EQ(fast[test], slow[test])
                << a << " " << b << " " << c << " " << d << " test " << test;
    }
}

// Tests 4 to 7 take their sums from running sums and short tails instead of one loop over
// every term; they must be the loop's sums bit for bit, for every table.
void ExpectLiteralFisher(std::int64_t a, std::int64_t b, std::int64_t c, std::int64_t d) {
    const FisherPValues fast = FishersExactTest(a, b, c, d);
    const FisherPValues slow = reference::FishersExactTestLiteral(a, b, c, d);
    for (int test = 4; test <= 7; ++test)
        ASSERT_EQ(fast[test], slow[test])
            << a << " " << b << " " << c << " " << d << " test " << test;
}

TEST(FishersExactTest, EveryTableUpToFiftyHasTheLiteralSums) {
    for (std::int64_t N = 1; N <= 50; ++N)
        for (std::int64_t a = 0; a <= N; ++a)
            for (std::int64_t b = 0; a + b <= N; ++b)
                for (std::int64_t c = 0; a + b + c <= N; ++c)
                    ASSERT_NO_FATAL_FAILURE(ExpectLiteralFisher(a, b, c, N - a - b - c));
}

TEST(FishersExactTest, EveryTableOfLargeMarginsHasTheLiteralSums) {
    struct Margins {
        const char* name;
        std::int64_t R1, C1, N; // row 1 and column 1 totals
        std::int64_t stride;    // every stride-th table of the margins
    };
    const Margins cases[] = {
        {"symmetric, ties at every mirror pair", 1000, 1000, 2000, 1},
        {"small row against large columns", 37, 1500, 2000, 1},
        {"skewed", 400, 900, 2000, 1},
        {"the comparative trial of the speed targets", 500, 300, 1000, 1},
        {"total ten thousand", 5000, 5000, 10000, 17},
        {"total ten thousand, skewed", 1200, 7000, 10000, 13},
    };
    for (const Margins& m : cases) {
        SCOPED_TRACE(m.name);
        const std::int64_t lo = std::max<std::int64_t>(0, m.R1 + m.C1 - m.N);
        const std::int64_t hi = std::min(m.R1, m.C1);
        for (std::int64_t a = lo; a <= hi; a += m.stride)
            ASSERT_NO_FATAL_FAILURE(
                ExpectLiteralFisher(a, m.R1 - a, m.C1 - a, m.N - m.R1 - m.C1 + a));
    }
}

// Beyond the log-factorial cache there is no literal procedure, but the sums must still be
// those of the loop over the held terms.
TEST(FisherTerms, TermsBeyondTheCacheHaveTheLoopsSums) {
    const FisherTerms terms = FisherTerms::WithoutCache(5'000'000, 12'000'000, 8'000'000);
    const std::vector<double>& P = terms.P();
    const std::int64_t first = terms.First();
    const auto n = static_cast<std::int64_t>(P.size());
    for (std::int64_t k = -3; k < n + 3; k += 97) {
        const std::int64_t A = first + k;
        const double pa = k >= 0 && k < n ? P[static_cast<std::size_t>(k)] : 0.0;
        const std::int64_t partner = terms.TiePartner(A);
        double sLo = 0, sHi = 0, s5 = 0, s7 = 0;
        for (std::int64_t i = 0; i < n; ++i) {
            const std::int64_t j = first + i;
            const double v = P[static_cast<std::size_t>(i)];
            if (j < A)
                sLo = sLo + v;
            if (j > A)
                sHi = sHi + v;
            if (j == partner || v <= pa)
                s5 = s5 + v;
            if (j != partner && v < pa)
                s7 = s7 + v;
        }
        const double sMin = sHi < sLo ? sHi : sLo;
        const FisherPValues f = terms.PValues(A);
        EXPECT_EQ(f.test4, std::min(1.0, 2 * (sMin + pa))) << "A = " << A;
        EXPECT_EQ(f.test5, std::min(1.0, s5)) << "A = " << A;
        EXPECT_EQ(f.test6, 2 * sMin + pa) << "A = " << A;
        EXPECT_EQ(f.test7, std::min(1.0, s7 + 0.5 * pa)) << "A = " << A;
    }
}

// LowerBounds: at most each P value, for every table of every margins of small totals and
// of larger ones; and close enough to decide most tables far above the usual levels.
TEST(FisherTerms, LowerBoundsNeverExceedThePValues) {
    struct Margins {
        std::int64_t R1, K1, K2;
    };
    std::vector<Margins> margins;
    for (std::int64_t N = 1; N <= 40; ++N)
        for (std::int64_t R1 = 0; 2 * R1 <= N; ++R1)
            for (std::int64_t K1 = R1; K1 <= N - R1; ++K1)
                margins.push_back({R1, K1, N - K1});
    margins.push_back({1000, 1000, 1000});
    margins.push_back({37, 1500, 500});
    margins.push_back({300, 700, 500});
    std::int64_t far = 0, farDecided = 0;
    for (const Margins& m : margins) {
        const FisherTerms terms(m.R1, m.K1, m.K2);
        for (std::int64_t A = 0; A <= m.R1; ++A) {
            const FisherPValues p = terms.PValues(A);
            const FisherPValues bound = terms.LowerBounds(A);
            for (int test = 4; test <= 7; ++test) {
                ASSERT_LE(bound[test], p[test])
                    << m.R1 << " " << m.K1 << " " << m.K2 << " A " << A << " test " << test;
                if (p[test] > 0.1) {
                    ++far;
                    farDecided += bound[test] > 0.05;
                }
            }
        }
    }
    EXPECT_GT(far, 50000);
    EXPECT_GE(static_cast<double>(farDecided), 0.99 * static_cast<double>(far));
}

TEST(PValues, MirrorAndTransposedTablesAgree) {
    // Swapping rows, swapping columns or transposing leaves every P value unchanged, up to
    // the order in which the margins are multiplied (chi squared) or in which the terms
    // are summed (Fisher-Irwin, when two cells tie for the smallest and the working table
    // is taken the other way round).
    constexpr double kTolerance = 64 * std::numeric_limits<double>::epsilon();
    for (std::int64_t a = 0; a <= 6; ++a)
        for (std::int64_t b = 0; b <= 6; ++b)
            for (std::int64_t c = 0; c <= 6; ++c)
                for (std::int64_t d = 0; d <= 6; d += 2) {
                    if (a + b == 0 || c + d == 0 || a + c == 0 || b + d == 0)
                        continue;
                    const double A = double(a), B = double(b), C = double(c), D = double(d);
                    for (int test = 1; test <= 3; ++test) {
                        const double X = ChiSquaredValue(A, B, C, D, test);
                        EXPECT_NEAR(X, ChiSquaredValue(D, C, B, A, test), kTolerance * X);
                        EXPECT_NEAR(X, ChiSquaredValue(A, C, B, D, test), kTolerance * X);
                    }
                    const FisherPValues f = FishersExactTest(a, b, c, d);
                    for (const FisherPValues& g :
                         {FishersExactTest(c, d, a, b), FishersExactTest(b, a, d, c),
                          FishersExactTest(a, c, b, d)})
                        for (int test = 4; test <= 7; ++test)
                            EXPECT_NEAR(f[test], g[test], kTolerance)
                                << a << " " << b << " " << c << " " << d;
                }
}

TEST(FishersExactTest, LargeTotalStaysExactAndFinite) {
    // A total of ten million: the exact tie screen widens with the rounding of the
    // log-factorials, yet a symmetric table still finds its mirror.
    const FisherPValues f = FishersExactTest(2'500'000, 2'500'001, 2'500'001, 2'499'998);
    EXPECT_GT(f.test5, 0.99);
    EXPECT_LE(f.test5, 1.0);
}

TEST(CheckTablePolicy, Codes) {
    // Margins 5, 15, 4, 16 of N = 20: expected numbers 1, 4, 3, 12; smallest margin 4.
    const PolicyResult r = CheckTablePolicy(20, 5, 15, 4, 16, 1, 5);
    EXPECT_FALSE(r.eligible);
    EXPECT_EQ(r.code, PolicyCodeMarginal);
    EXPECT_EQ(CheckTablePolicy(20, 5, 15, 4, 16, 1.01, 5).code, PolicyCodeBoth);
    EXPECT_EQ(CheckTablePolicy(20, 5, 15, 4, 16, 1.01, 4).code, PolicyCodeExpected);
    const PolicyResult ok = CheckTablePolicy(20, 5, 15, 4, 16, 1, 4);
    EXPECT_TRUE(ok.eligible);
    EXPECT_EQ(ok.code, 1.0);
    // Every code stands above every P value.
    EXPECT_GT(PolicyCodeMarginal, 1.0);
    EXPECT_LT(PolicyCodeMarginal, PolicyCodeExpected);
    EXPECT_LT(PolicyCodeExpected, PolicyCodeBoth);
}

} // namespace
} // namespace quillon
