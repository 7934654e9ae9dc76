// Sums grouped by margins against sums taken table by table: plain doubles where they
// suffice, and long double sums of exp(ln M + ln kernels) where coefficients exceed a
// double and kernels underflow (the scaled form), up to N = 2000.
#include "core/margin_sums.h"

#include "core/tables.h"
#include "support/sum_tolerance.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <numbers>
#include <vector>

namespace quillon {
namespace {

using testing::WithinSumTolerance;

TEST(ScaledNumber, DoublesRoundTripAndLogarithmsScale) {
    for (double x : {1.0, 0.75, 3.0e200, DBL_MAX, DBL_MIN, 1.0e-300, 12345.678}) {
        const ScaledNumber s = ScaledFromDouble(x);
        EXPECT_GE(s.mantissa, 0.5);
        EXPECT_LT(s.mantissa, 1.0);
        EXPECT_EQ(ScaledToDouble(s), x);
    }
    EXPECT_EQ(ScaledFromDouble(0).mantissa, 0);
    EXPECT_EQ(ScaledFromLog(-HUGE_VAL).mantissa, 0);
    // Logarithms far beyond a double's range keep their figures: ln(m 2^e) = L.
    constexpr double kLogTolerance = 1e-15; // relative, on the logarithm
    for (double L : {-5000.0, -745.5, -1.0, 0.0, 0.3, 709.0, 2772.6, 10000.0}) {
        const ScaledNumber s = ScaledFromLog(L);
        ASSERT_GE(s.mantissa, 0.5) << L;
        ASSERT_LT(s.mantissa, 1.0) << L;
        const double back = std::log(s.mantissa) + s.exponent * std::numbers::ln2;
        EXPECT_NEAR(back, L, kLogTolerance * std::max(1.0, std::abs(L))) << L;
    }
}

// A set of tables of one design counted by a rule, W built from their coefficients as the
// enumeration forms them, and the probability of the set at (p, x) both ways.
struct Grouped {
    double fast = 0;
    long double reference = 0;
    double terms = 0;
};

template <typename Counted>
Grouped BothWays(DesignCode design, std::int64_t N, std::int64_t m, double p, double x,
                 Counted counted) {
    const bool cross = design == CrossSectionalStudy;
    const auto size = static_cast<std::size_t>(N) + 1;
    MarginWeights weights(cross ? size : 1, size);
    const double lfN = LogFactorial(N);
    const long double lnExpBase = std::log(static_cast<long double>(ExpBase));
    Grouped out;
    CellSum sum;
    for (std::int64_t r = 0; r <= (cross ? N : 0); ++r) {
        const std::int64_t rowB = cross ? r : m;
        const long double logRow = cross ? LogKernel(x, r, N) : 0.0;
        for (std::int64_t k = 0; k <= N; ++k) {
            sum.Clear();
            for (std::int64_t a = std::max<std::int64_t>(0, rowB + k - N); a <= std::min(rowB, k);
                 ++a) {
                const std::int64_t b = rowB - a, c = k - a, d = N - rowB - c;
                if (!counted(a, b, c, d))
                    continue;
                const double lnM =
                    cross ? (((lfN - LogFactorial(a)) - LogFactorial(b)) - LogFactorial(c)) -
                                LogFactorial(d)
                          : ((((LogFactorial(m) - LogFactorial(a)) - LogFactorial(b)) +
                              LogFactorial(N - m)) -
                             LogFactorial(c)) -
                                LogFactorial(d);
                sum.Add(ExpBasePower(lnM), lnM);
                out.reference += std::exp(lnM * lnExpBase + logRow + LogKernel(p, k, N));
                out.terms += 1;
            }
            weights.Set(static_cast<std::size_t>(r), static_cast<std::size_t>(k), sum.Result());
        }
    }
    weights.Seal();
    std::vector<ScaledNumber> rows, columns(size);
    for (std::int64_t k = 0; k <= N; ++k)
        columns[static_cast<std::size_t>(k)] = ScaledKernelBounds(p, 0, k, N).value;
    if (cross)
        for (std::int64_t r = 0; r <= N; ++r)
            rows.push_back(ScaledKernelBounds(x, 0, r, N).value);
    out.fast = weights.Sum(rows, columns, rows, columns).first;
    return out;
}

TEST(MarginWeights, ScaledSumsMatchLongDoubleSumsWhereDoublesOverflowAndUnderflow) {
    // Comparative trials beyond N = 1030 have coefficients above a double; at p = 1e-6 the
    // kernels of large k underflow. The rule keeps an irregular part of the tables.
    auto irregular = [](std::int64_t a, std::int64_t, std::int64_t c, std::int64_t) {
        return (a + 2 * c) % 3 != 0;
    };
    struct Case {
        const char* name;
        std::int64_t N, m;
        double p;
    };
    const Case trials[] = {
        {"N 40, plain doubles", 40, 17, 0.3},
        {"N 1100 at .5", 1100, 550, 0.5},
        {"N 2000 at .5", 2000, 1000, 0.5},
        {"N 2000 at 1e-6", 2000, 1000, 1e-6},
        {"N 2000 unequal rows at .03", 2000, 300, 0.03},
    };
    for (const Case& c : trials) {
        const Grouped g = BothWays(ComparativeTrial, c.N, c.m, c.p, 0, irregular);
        EXPECT_TRUE(WithinSumTolerance(g.fast, static_cast<double>(g.reference), g.terms))
            << c.name << ": " << g.fast << " vs " << static_cast<double>(g.reference);
        EXPECT_GT(g.fast, 0) << c.name;
    }
    // Cross-sectional N = 540: N! / (135!)^4 is about e^739, beyond a double; only the
    // middle rows are counted, to keep the table-by-table sum short.
    auto middleRows = [](std::int64_t a, std::int64_t b, std::int64_t c, std::int64_t) {
        return a + b >= 260 && a + b <= 280 && (a + c) % 2 == 0;
    };
    const double points[][2] = {{0.5, 0.5}, {0.45, 0.5}, {1e-6, 0.5}, {0.3, 0.2}};
    for (const auto& pt : points) {
        const Grouped g = BothWays(CrossSectionalStudy, 540, -1, pt[0], pt[1], middleRows);
        EXPECT_TRUE(WithinSumTolerance(g.fast, static_cast<double>(g.reference), g.terms))
            << "p " << pt[0] << " x " << pt[1] << ": " << g.fast << " vs "
            << static_cast<double>(g.reference);
    }
}

TEST(MarginWeights, NothingCountedSumsToZero) {
    MarginWeights weights(3, 4);
    weights.Seal();
    EXPECT_TRUE(weights.Empty());
    const std::vector<ScaledNumber> rows(3, ScaledFromDouble(1)), columns(4, ScaledFromDouble(1));
    const MarginWeights::Pair s = weights.Sum(rows, columns, rows, columns);
    EXPECT_EQ(s.first, 0);
    EXPECT_EQ(s.second, 0);
    // A cell whose kernel is zero contributes nothing, and the others are unaffected.
    weights.Set(1, 2, ScaledFromDouble(6));
    weights.Set(1, 3, ScaledFromDouble(10));
    weights.Seal();
    std::vector<ScaledNumber> some = columns;
    some[3] = ScaledNumber{};
    EXPECT_EQ(weights.Sum(rows, some, rows, columns).first, 6);
    EXPECT_EQ(weights.Sum(rows, some, rows, columns).second, 16);
}

} // namespace
} // namespace quillon
