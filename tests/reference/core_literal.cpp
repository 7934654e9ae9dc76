#include "reference/core_literal.h"

#include "core/test_registry.h"

#include <algorithm>
#include <cmath>

namespace quillon::reference {

double LogFactorialLiteral(std::int64_t x) {
    double sum = 0;
    for (std::int64_t i = 1; i <= x; ++i)
        sum = sum + std::log(static_cast<double>(i));
    return sum;
}

double CumulativeNormalLiteral(double z) {
    if (z < -6)
        return 0;
    if (z > 6)
        return 1;
    double s = 2.5e-9;
    double h = 0.01;
    double t = -6;
    while (t + h <= z) {
        const double m = t + h / 2;
        s = s + h * std::pow(ExpBase, -(m * m) / 2);
        t = t + h;
    }
    h = z - t;
    const double m = t + h / 2;
    s = s + h * std::pow(ExpBase, -(m * m) / 2);
    return s / std::pow(6.283185308, 0.5);
}

FisherPValues FishersExactTestLiteral(std::int64_t a, std::int64_t b, std::int64_t c,
                                      std::int64_t d) {
    const FisherWorkingTable w = MakeWorkingTable(a, b, c, d);
    const std::int64_t A = w.A, R1 = w.R1(), R2 = w.C + w.D, K1 = w.K1(), K2 = w.K2(), N = w.N();
    auto LF = [](std::int64_t v) { return LogFactorial(v); };
    const double K = (((LF(R1) + LF(R2)) + LF(K1)) + LF(K2)) - LF(N);
    // Only terms within a millionth of P(A) can be exactly as probable (for the totals
    // this reference is used with); those are settled in integers.
    auto tied = [&](std::int64_t j, const std::vector<double>& P) {
        return std::fabs(P[j] - P[A]) <= 1e-6 * std::max(P[j], P[A]) &&
               EquallyProbable(R1, K1, K2, j, A);
    };
    std::vector<double> P(static_cast<std::size_t>(R1) + 1);
    for (std::int64_t i = 0; i <= R1; ++i)
        P[i] = std::pow(ExpBase, (((K - LF(i)) - LF(R1 - i)) - LF(K1 - i)) - LF(K2 - R1 + i));
    double sLo = 0;
    for (std::int64_t j = 0; j <= A - 1; ++j)
        sLo = sLo + P[j];
    double sHi = 0;
    for (std::int64_t j = A + 1; j <= R1; ++j)
        sHi = sHi + P[j];
    double sMin = sLo;
    if (sHi < sLo)
        sMin = sHi;
    FisherPValues r;
    r.test4 = 2 * (sMin + P[A]);
    if (r.test4 > 1)
        r.test4 = 1;
    double s5 = 0;
    for (std::int64_t j = 0; j <= R1; ++j)
        if (P[j] <= P[A] || tied(j, P))
            s5 = s5 + P[j];
    r.test5 = s5 > 1 ? 1 : s5;
    r.test6 = 2 * sMin + P[A];
    double s7 = 0;
    for (std::int64_t j = 0; j <= R1; ++j)
        if (P[j] < P[A] && !tied(j, P))
            s7 = s7 + P[j];
    s7 = s7 + 0.5 * P[A];
    r.test7 = s7 > 1 ? 1 : s7;
    return r;
}

std::vector<LiteralRow> EnumerateTablesLiteral(DesignCode design, std::int64_t N, double p,
                                               double w, double x, double wx) {
    std::vector<LiteralRow> rows;
    auto LF = [](std::int64_t v) { return LogFactorialLiteral(v); };
    if (design == CrossSectionalStudy) {
        for (std::int64_t r = 0; r <= N; ++r) {
            const KernelBoundsResult k1 = KernelBounds(x, wx, r, N);
            for (std::int64_t a = 0; a <= r; ++a) {
                for (std::int64_t c = 0; c <= N - r; ++c) {
                    const std::int64_t b = r - a, d = N - r - c;
                    const KernelBoundsResult k2 = KernelBounds(p, w, a + c, N);
                    const double M = std::pow(ExpBase, (((LF(N) - LF(a)) - LF(b)) - LF(c)) - LF(d));
                    rows.push_back({double(a), double(b), double(c), double(d),
                                    (M * k1.value) * k2.value, (M * k1.lower) * k2.lower,
                                    (M * k1.upper) * k2.upper});
                }
            }
        }
    } else if (design == ComparativeTrial) {
        const auto m = static_cast<std::int64_t>(x);
        for (std::int64_t a = 0; a <= m; ++a) {
            for (std::int64_t c = 0; c <= N - m; ++c) {
                const std::int64_t b = m - a, d = N - m - c;
                const KernelBoundsResult k = KernelBounds(p, w, a + c, N);
                const double M =
                    std::pow(ExpBase, ((((LF(m) - LF(a)) - LF(b)) + LF(N - m)) - LF(c)) - LF(d));
                rows.push_back({double(a), double(b), double(c), double(d), M * k.value,
                                M * k.lower, M * k.upper});
            }
        }
    }
    return rows;
}

std::vector<int> LiteralTests() {
    std::vector<int> tests;
    for (const TestEntry& test : RegisteredTests())
        if (test.family == TestFamily::ChiSquared || test.family == TestFamily::FisherIrwin)
            tests.push_back(test.number);
    return tests;
}

} // namespace quillon::reference
