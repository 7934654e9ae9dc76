// The exact unconditional tests 8 and 9: against exact rational references, published and
// peer values, and the definitions evaluated directly (regions by brute force, totals by
// plain powers).
#include "core/pvalues.h"
#include "core/unconditional.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace quillon {
namespace {

// The certificate's own allowance plus the reference's refinement, relative.
constexpr double kReferenceRelative = 2 * CertificateRelative;
// Rounding of a total of at most a few hundred terms formed in two different ways.
constexpr double kRoundingRelative = 1e-11;
// The program's test-5 P values raise ExpBase (2.718281828) where test 9 raises e: a term
// ExpBase^x differs from e^x by about 1.7e-10 |x| relatively.
constexpr double kExpBaseRelative = 1e-8;

double Binomial(std::int64_t n, std::int64_t k) {
    return std::exp(std::lgamma(n + 1.0) - std::lgamma(k + 1.0) - std::lgamma(n - k + 1.0));
}

// The region of the definition, decided by brute force: test 8 by the chi squared value in
// long double (exact for these small totals, where the values are ratios of small
// integers compared cross-multiplied), test 9 by the program's own test-5 P value with the
// tests' tie tolerance.
std::vector<std::pair<int, int>> BruteRegion(int test, int a, int b, int c, int d) {
    const int m = a + b, n = c + d, N = m + n;
    auto chiNumerator = [&](int x, int y) {
        const long long D = static_cast<long long>(x) * n - static_cast<long long>(y) * m;
        return D * D;
    };
    auto chiDenominator = [&](int x, int y) {
        const long long k = x + y;
        return k * (N - k);
    };
    auto fisher = [&](int x, int y) { return FishersExactTest(x, m - x, y, n - y).test5; };
    std::vector<std::pair<int, int>> region;
    for (int x = 0; x <= m; ++x)
        for (int y = 0; y <= n; ++y) {
            bool in = false;
            if (test == 8) {
                const long long qx = chiDenominator(x, y), qo = chiDenominator(a, c);
                const long long nx = qx == 0 ? 0 : chiNumerator(x, y);
                const long long no = qo == 0 ? 0 : chiNumerator(a, c);
                // nx / qx >= no / qo, zero denominators meaning a value of 0.
                if (no == 0)
                    in = true;
                else if (nx != 0)
                    in = nx * qo >= no * qx;
            } else {
                in = fisher(x, y) <= fisher(a, c) * (1 + FisherTieRelative);
            }
            if (in)
                region.emplace_back(x, y);
        }
    return region;
}

double BruteTotal(const std::vector<std::pair<int, int>>& region, int m, int n, double p) {
    double sum = 0;
    for (const auto& [x, y] : region)
        sum +=
            Binomial(m, x) * Binomial(n, y) * std::pow(p, x + y) * std::pow(1 - p, m + n - x - y);
    return sum;
}

struct ReferenceCase {
    const char* name;
    int test, a, b, c, d;
    double value;
};

// tests/reference/unconditional_reference.py: exact rational regions, the total's
// polynomial evaluated exactly on 501 points of [0, 1] and refined by golden sections.
const ReferenceCase kRationalReferences[] = {
    {"Small8", 8, 3, 4, 5, 2, 0.4239501953125},
    {"Small9", 9, 3, 4, 5, 2, 0.4239501953125},
    {"Balanced8", 8, 2, 3, 2, 3, 1.0},
    {"Balanced9", 9, 2, 3, 2, 3, 1.0},
    {"ZeroCell8", 8, 0, 6, 5, 1, 0.00634765625},
    {"ZeroCell9", 9, 0, 6, 5, 1, 0.00634765625},
    {"ZeroColumn8", 8, 0, 7, 0, 5, 1.0},
    {"ZeroColumn9", 9, 0, 7, 0, 5, 1.0},
    {"TwoZeroCells8", 8, 0, 5, 5, 0, 0.001953125},
    {"TwoZeroCells9", 9, 0, 5, 5, 0, 0.001953125},
    {"FourTwelveNineEleven8", 8, 4, 8, 9, 2, 0.02150121548979723},
    {"FourTwelveNineEleven9", 9, 4, 8, 9, 2, 0.026057962917046772},
    {"OneRowOfOne8", 8, 1, 0, 3, 9, 0.16343129043899748},
    {"OneRowOfOne9", 9, 1, 0, 3, 9, 0.16343129043899748},
    {"Unequal8", 8, 7, 2, 1, 10, 0.0025768280029296875},
    {"Unequal9", 9, 7, 2, 1, 10, 0.0016326904296875},
};

TEST(Unconditional, ExactRationalReferences) {
    for (const ReferenceCase& r : kRationalReferences) {
        SCOPED_TRACE(r.name);
        const UnconditionalResult u = UnconditionalTest(r.test, r.a, r.b, r.c, r.d);
        EXPECT_TRUE(u.certified);
        EXPECT_NEAR(u.pValue, r.value, kReferenceRelative * r.value + CertificateAbsolute);
        // A coarse start (one interval) reaches the same certificate.
        const UnconditionalResult coarse =
            UnconditionalTest(r.test, r.a, r.b, r.c, r.d, UnconditionalOptions{1});
        EXPECT_TRUE(coarse.certified);
        EXPECT_NEAR(coarse.pValue, r.value, kReferenceRelative * r.value + CertificateAbsolute);
    }
}

struct PublishedCase {
    const char* name;
    int test, a, b, c, d;
    double value; // as published, four decimals
};

TEST(Unconditional, PublishedAndPeerValues) {
    const PublishedCase cases[] = {
        // Berger and Boos (1994), 14 of 47 against 48 of 283, pooled Z, two-sided.
        {"BergerBoos", 8, 14, 33, 48, 235, 0.0611},
        // SAS's Barnard test for 10 of 35 against 24 of 61, two-sided.
        {"SasBarnard", 8, 10, 25, 24, 37, 0.4063},
        // StatXact's Boschloo value for the same table (two-sided Fisher-Irwin ordering).
        {"StatXactBoschloo", 9, 10, 25, 24, 37, 0.3381},
        // 4 of 12 against 9 of 11 with exactly equal statistics counted (SAS).
        {"ExactTies", 8, 4, 8, 9, 2, 0.0215},
    };
    for (const PublishedCase& c : cases) {
        SCOPED_TRACE(c.name);
        const UnconditionalResult u = UnconditionalTest(c.test, c.a, c.b, c.c, c.d);
        EXPECT_TRUE(u.certified);
        EXPECT_DOUBLE_EQ(std::round(u.pValue * 1e4) / 1e4, c.value);
    }
}

// The certificate against the definition: on designs small enough for brute force, no point
// of a dense grid gives a total above the certified bound, and the P value is the total of
// the brute-force region at the reported proportion.
TEST(Unconditional, CertificateHoldsOnEveryTableOfSmallDesigns) {
    const std::pair<int, int> designs[] = {{5, 7}, {8, 8}, {3, 12}};
    constexpr int kGrid = 400;
    for (const auto& [m, n] : designs)
        for (int test : {8, 9})
            for (int a = 0; a <= m; ++a)
                for (int c = 0; c <= n; ++c) {
                    SCOPED_TRACE(std::to_string(test) + ": " + std::to_string(a) + " " +
                                 std::to_string(m - a) + " " + std::to_string(c) + " " +
                                 std::to_string(n - c));
                    const UnconditionalResult u = UnconditionalTest(test, a, m - a, c, n - c);
                    ASSERT_TRUE(u.certified);
                    const auto region = BruteRegion(test, a, m - a, c, n - c);
                    const double at = BruteTotal(region, m, n, u.proportion);
                    EXPECT_NEAR(u.pValue, at, kRoundingRelative * at);
                    double gridMax = 0;
                    for (int i = 0; i <= kGrid; ++i)
                        gridMax = std::max(gridMax, BruteTotal(region, m, n, 1.0 * i / kGrid));
                    EXPECT_LE(gridMax, u.bound * (1 + kRoundingRelative));
                    EXPECT_GE(u.pValue * (1 + CertificateRelative) + CertificateAbsolute,
                              gridMax * (1 - kRoundingRelative));
                }
}

TEST(Unconditional, MirrorTablesShareTheirPValues) {
    const int tables[][4] = {{14, 33, 48, 235}, {4, 8, 9, 2}, {0, 6, 5, 1}, {3, 3, 2, 4}};
    for (const auto& t : tables)
        for (int test : {8, 9}) {
            SCOPED_TRACE(std::to_string(test) + ": " + std::to_string(t[0]));
            const double p = UnconditionalTest(test, t[0], t[1], t[2], t[3]).pValue;
            // Columns exchanged: the same region, built the same way.
            EXPECT_EQ(p, UnconditionalTest(test, t[1], t[0], t[3], t[2]).pValue);
            // Rows exchanged: the same region of another design.
            const double rows = UnconditionalTest(test, t[2], t[3], t[0], t[1]).pValue;
            EXPECT_NEAR(p, rows, 2 * CertificateRelative * p + CertificateAbsolute);
        }
    // Equal rows: a table and its transposed rows are exactly as extreme under both tests.
    EXPECT_EQ(CompareChiSquared(6, 6, 2, 5, 5, 2), 0);
    EXPECT_EQ(CompareChiSquared(6, 6, 2, 5, 4, 1), 0); // the columns' mirror
    const std::vector<double> v = FisherOrderingValues(12, 6);
    EXPECT_EQ(v[2 * 7 + 5], v[5 * 7 + 2]);
    EXPECT_EQ(v[2 * 7 + 5], v[4 * 7 + 1]);
}

// Ties the floating-point statistic misses: 4/12 against 9/11 has exactly the chi squared
// value of three other tables, and exactly the Fisher-Irwin P value (268/7429) of 2/12
// against 7/11, which is not its mirror.
TEST(Unconditional, ExactTiesAcrossTables) {
    EXPECT_EQ(CompareChiSquared(12, 11, 4, 9, 8, 2), 0);
    EXPECT_GT(CompareChiSquared(12, 11, 3, 9, 4, 9), 0);
    EXPECT_LT(CompareChiSquared(12, 11, 5, 9, 4, 9), 0);
    EXPECT_EQ(CompareChiSquared(12, 11, 0, 0, 12, 11), 0); // both 0
    const std::vector<double> v = FisherOrderingValues(23, 12);
    const double observed = v[4 * 12 + 9];
    EXPECT_NEAR(observed, 268.0 / 7429.0, 1e-14);
    EXPECT_LE(v[2 * 12 + 7], observed * (1 + FisherTieRelative));
    EXPECT_GE(v[2 * 12 + 7], observed / (1 + FisherTieRelative));
}

// The ordering values of test 9 are the program's own test-5 P values (up to its ExpBase).
TEST(Unconditional, FisherOrderingIsTheTest5PValue) {
    for (const auto& [N, m] : {std::pair{23, 12}, std::pair{30, 7}, std::pair{40, 20}}) {
        const int n = N - m;
        const std::vector<double> v = FisherOrderingValues(N, m);
        for (int a = 0; a <= m; ++a)
            for (int c = 0; c <= n; ++c) {
                const double literal = FishersExactTest(a, m - a, c, n - c).test5;
                EXPECT_NEAR(v[a * (n + 1) + c], literal, kExpBaseRelative * literal)
                    << N << " " << m << " " << a << " " << c;
            }
    }
}

// The walk over every table of a design gives each table the P value of its own search,
// and P values never fall as the tables grow less extreme.
TEST(Unconditional, DesignWalkAgreesWithSingleTables) {
    for (const auto& [N, m] : {std::pair{17, 8}, std::pair{20, 4}, std::pair{12, 6}})
        for (int test : {8, 9}) {
            const int n = N - m;
            const std::vector<UnconditionalResult> all = UnconditionalDesign(test, N, m);
            ASSERT_EQ(all.size(), static_cast<std::size_t>((m + 1) * (n + 1)));
            for (int a = 0; a <= m; ++a)
                for (int c = 0; c <= n; ++c) {
                    const UnconditionalResult& r = all[static_cast<std::size_t>(a * (n + 1) + c)];
                    const double single = UnconditionalTest(test, a, m - a, c, n - c).pValue;
                    EXPECT_TRUE(r.certified);
                    EXPECT_NEAR(r.pValue, single,
                                2 * CertificateRelative * single + 2 * CertificateAbsolute)
                        << test << ": " << N << " " << m << " " << a << " " << c;
                }
        }
}

// Exact tests keep their size: the probability of a P value at or below alpha is at most
// alpha, up to the certificate's allowance, at every proportion of a grid.
TEST(Unconditional, SizeNeverAboveAlphaOnComparativeTrials) {
    const std::pair<int, int> designs[] = {{10, 5}, {20, 7}, {31, 15}, {40, 20}};
    const double alphas[] = {0.01, 0.05, 0.1};
    for (const auto& [N, m] : designs)
        for (int test : {8, 9}) {
            const int n = N - m;
            const std::vector<UnconditionalResult> all = UnconditionalDesign(test, N, m);
            for (double alpha : alphas)
                for (int i = 0; i <= 100; ++i) {
                    const double p = i / 100.0;
                    double size = 0;
                    for (int a = 0; a <= m; ++a)
                        for (int c = 0; c <= n; ++c)
                            if (all[static_cast<std::size_t>(a * (n + 1) + c)].pValue <= alpha)
                                size += Binomial(m, a) * Binomial(n, c) * std::pow(p, a + c) *
                                        std::pow(1 - p, N - a - c);
                    EXPECT_LE(size, alpha * (1 + CertificateRelative + kRoundingRelative) +
                                        CertificateAbsolute)
                        << test << ": " << N << " " << m << " alpha " << alpha << " p " << p;
                }
        }
}

TEST(Unconditional, TestNames) {
    EXPECT_EQ(UnconditionalTestName(8), "Exact unconditional test, chi squared ordering");
    EXPECT_EQ(UnconditionalTestName(9), "Exact unconditional test, Fisher-Irwin ordering");
}

} // namespace
} // namespace quillon
