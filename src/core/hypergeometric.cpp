#include "core/hypergeometric.h"

#include <cassert>
#include <cmath>
#include <limits>

namespace quillon {

namespace {

constexpr double kLn2Pi = 1.837877066409345483560659472811; // ln(2 pi)
constexpr double kLnSqrt2Pi = 0.918938533204672741780329736406;

// ln n! - ln(sqrt(2 pi n) (n / e)^n) for whole n >= 1.
double StirlingError(double n) {
    constexpr double S0 = 1.0 / 12;
    constexpr double S1 = 1.0 / 360;
    constexpr double S2 = 1.0 / 1260;
    constexpr double S3 = 1.0 / 1680;
    constexpr double S4 = 1.0 / 1188;
    if (n <= 15)
        return std::lgamma(n + 1) - (n + 0.5) * std::log(n) + n - kLnSqrt2Pi;
    const double nn = n * n;
    if (n > 500)
        return (S0 - S1 / nn) / n;
    if (n > 80)
        return (S0 - (S1 - S2 / nn) / nn) / n;
    if (n > 35)
        return (S0 - (S1 - (S2 - S3 / nn) / nn) / nn) / n;
    return (S0 - (S1 - (S2 - (S3 - S4 / nn) / nn) / nn) / nn) / n;
}

// x ln(x / m) + m - x, the deviance of x from m. Preconditions: x >= 0, m > 0.
double Deviance(double x, double m) {
    if (std::fabs(x - m) < 0.1 * (x + m)) {
        // The series in v = (x - m) / (x + m): 2 x v^(2j+1) / (2j + 1) summed until it
        // no longer changes the sum.
        double v = (x - m) / (x + m);
        double s = (x - m) * v;
        if (std::fabs(s) < std::numeric_limits<double>::min())
            return s;
        double ej = 2 * x * v;
        v = v * v;
        for (int j = 1; j < 1000; ++j) {
            ej *= v;
            const double s1 = s + ej / (2 * j + 1);
            if (s1 == s)
                return s1;
            s = s1;
        }
    }
    return x * std::log(x / m) + m - x;
}

} // namespace

double LogBinomialTerm(std::int64_t x, std::int64_t n, double p, double q) {
    assert(0 <= x && x <= n);
    const auto nd = static_cast<double>(n);
    if (x == 0) {
        if (n == 0)
            return 0;
        return p < 0.1 ? -Deviance(nd, nd * q) - nd * p : nd * std::log(q);
    }
    if (x == n)
        return q < 0.1 ? -Deviance(nd, nd * p) - nd * q : nd * std::log(p);
    const auto xd = static_cast<double>(x);
    const double lc = StirlingError(nd) - StirlingError(xd) - StirlingError(nd - xd) -
                      Deviance(xd, nd * p) - Deviance(nd - xd, nd * q);
    const double lf = kLn2Pi + std::log(xd) + std::log1p(-xd / nd);
    return lc - 0.5 * lf;
}

double LogHypergeometricTerm(std::int64_t i, std::int64_t R1, std::int64_t K1, std::int64_t K2) {
    assert(0 <= i && i <= R1 && i <= K1 && R1 - i <= K2);
    const std::int64_t N = K1 + K2;
    const double p = static_cast<double>(R1) / static_cast<double>(N);
    const double q = static_cast<double>(N - R1) / static_cast<double>(N);
    return (LogBinomialTerm(i, K1, p, q) + LogBinomialTerm(R1 - i, K2, p, q)) -
           LogBinomialTerm(R1, N, p, q);
}

} // namespace quillon
