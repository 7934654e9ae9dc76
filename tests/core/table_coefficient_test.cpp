// The table coefficient's logarithm against exact integer coefficients.
#include "core/table_coefficient.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace quillon {
namespace {

// ln N! is a sum of rounded logarithms, so ln M carries a few units of rounding per term.
constexpr double kLogTolerance = 1e-11;

// Exact coefficients, computed in integers with Python's math.factorial and math.comb:
// cross-sectional N! / (a! b! c! d!), comparative trial C(a + b, a) C(c + d, c).
struct CoefficientCase {
    const char* name;
    DesignCode design;
    std::int64_t a, b, c, d;
    double exact;
};
constexpr CoefficientCase kCases[] = {
    {"cross-sectional, equal cells", CrossSectionalStudy, 5, 5, 5, 5, 11732745024.0},
    {"cross-sectional, unequal cells", CrossSectionalStudy, 3, 7, 11, 9, 605563286328000.0},
    {"cross-sectional, one full cell", CrossSectionalStudy, 0, 12, 0, 0, 1.0},
    {"comparative trial, m = 10 of 20", ComparativeTrial, 3, 7, 4, 6, 25200.0},
    {"comparative trial, m = 40 of 100", ComparativeTrial, 17, 23, 22, 38,
     1255942947864367729610280000.0},
    {"comparative trial, empty row", ComparativeTrial, 0, 0, 2, 5, 21.0},
};

TEST(TableCoefficientLog, ExactCoefficients) {
    for (const CoefficientCase& c : kCases) {
        SCOPED_TRACE(c.name);
        const std::int64_t N = c.a + c.b + c.c + c.d;
        const TableCoefficientLog lnCoefficient(c.design, N, c.a + c.b);
        EXPECT_NEAR(lnCoefficient(c.a, c.b, c.c, c.d), std::log(c.exact),
                    kLogTolerance * std::max(1.0, std::log(c.exact)));
    }
}

TEST(TableCoefficientLog, CrossSectionalIsSymmetricInTheCells) {
    // N! / (a! b! c! d!) does not depend on the order of the cells; the one order of
    // subtraction may move the last bits only.
    const std::int64_t N = 37;
    const TableCoefficientLog lnCoefficient(CrossSectionalStudy, N, 0);
    for (std::int64_t a = 0; a <= N; a += 3)
        for (std::int64_t b = 0; a + b <= N; b += 4)
            for (std::int64_t c = 0; a + b + c <= N; c += 5) {
                const std::int64_t d = N - a - b - c;
                const double value = lnCoefficient(a, b, c, d);
                EXPECT_NEAR(lnCoefficient(d, c, b, a), value, kLogTolerance * (1 + value));
                EXPECT_NEAR(lnCoefficient(c, a, d, b), value, kLogTolerance * (1 + value));
            }
}

} // namespace
} // namespace quillon
