// Effect sizes of one table.
//
// Conditional odds ratio. Given the margins k = a + b (row B), m = a + c (column A) and
// n = b + d (column Not-A), a follows the noncentral hypergeometric distribution
//     P(a = x; psi) = C(m, x) C(n, k - x) psi^x / sum_y C(m, y) C(n, k - y) psi^y,
//     x = lo .. hi, lo = max(0, k - n), hi = min(k, m),
// whose mean and tails increase (upper tail) or decrease (lower tail) monotonically in the
// odds ratio psi. As in R's fisher.test():
//     estimate  psi with E(a; psi) = a observed; 0 when a = lo, infinite when a = hi;
//     lower     psi with P(a >= a observed; psi) = 0.025; 0 when a = lo;
//     upper     psi with P(a <= a observed; psi) = 0.025; infinite when a = hi.
// Method: the distribution is held as ln C(m, x) C(n, k - x) from the log-factorial cache
// (beyond it, from core/hypergeometric.h);
// for u = ln psi the weights are exp(ln C + u x - max), so no power of psi overflows. Each
// root is bracketed by doubling |u| from 0 and located by Brent's method to an absolute
// tolerance of ConditionalTolerance in u. R itself finds the roots in psi (or 1 / psi) on
// (0, 1) to its default tolerance of about 1.2e-4, so its printed figures agree with these
// to about that accuracy.
//
// These figures are the peers' statistics, not the program's legacy arithmetic: they use
// the natural exponential, so they can be compared with R and SciPy digit for digit.
//
// Limits: each evaluation visits every value of a, so the conditional figures are left out
// when a can take more than MaxConditionalSupport values.
#include "analysis/effects.h"

#include "core/hypergeometric.h"
#include "core/numtext.h"
#include "core/tables.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <stdexcept>
#include <vector>

namespace quillon {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kTailProbability = 0.025; // each side of a two-sided 95% interval

class NoncentralHypergeometric {
public:
    NoncentralHypergeometric(std::int64_t k, std::int64_t m, std::int64_t n)
        : lo_(std::max<std::int64_t>(0, k - n)), hi_(std::min(k, m)) {
        logC_.reserve(static_cast<std::size_t>(hi_ - lo_ + 1));
        // Only differences of these logarithms matter; beyond the cache they come, up to a
        // constant, from the hypergeometric terms' own formula.
        const bool cached = m + n <= MaxLogFactorialArgument;
        for (std::int64_t x = lo_; x <= hi_; ++x)
            logC_.push_back(cached ? -(LogFactorial(x) + LogFactorial(m - x) + LogFactorial(k - x) +
                                       LogFactorial(n - k + x))
                                   : LogHypergeometricTerm(x, k, m, n));
    }

    std::int64_t Lo() const { return lo_; }
    std::int64_t Hi() const { return hi_; }

    // The probabilities of lo .. hi for psi = exp(u).
    const std::vector<double>& Probabilities(double u) {
        p_.resize(logC_.size());
        double top = -kInfinity;
        for (std::size_t i = 0; i < logC_.size(); ++i) {
            p_[i] = logC_[i] + u * static_cast<double>(lo_ + static_cast<std::int64_t>(i));
            top = std::max(top, p_[i]);
        }
        double sum = 0;
        for (double& v : p_) {
            v = std::exp(v - top);
            sum += v;
        }
        for (double& v : p_)
            v /= sum;
        return p_;
    }

    double Mean(double u) {
        const std::vector<double>& p = Probabilities(u);
        double mean = 0;
        for (std::size_t i = 0; i < p.size(); ++i)
            mean += static_cast<double>(lo_ + static_cast<std::int64_t>(i)) * p[i];
        return mean;
    }

    // P(a <= x) or P(a >= x).
    double Tail(std::int64_t x, double u, bool upper) {
        const std::vector<double>& p = Probabilities(u);
        double sum = 0;
        for (std::size_t i = 0; i < p.size(); ++i) {
            const std::int64_t y = lo_ + static_cast<std::int64_t>(i);
            if (upper ? y >= x : y <= x)
                sum += p[i];
        }
        return sum;
    }

private:
    std::int64_t lo_, hi_;
    std::vector<double> logC_;
    std::vector<double> p_;
};

// Brent's method on [x0, x1] with f(x0) and f(x1) of opposite signs.
double Brent(const std::function<double(double)>& f, double x0, double x1, double f0, double f1) {
    double a = x0, b = x1, fa = f0, fb = f1;
    double c = a, fc = fa, d = b - a, e = d;
    for (int iteration = 0; iteration < 200; ++iteration) {
        if ((fb > 0 && fc > 0) || (fb < 0 && fc < 0)) {
            c = a;
            fc = fa;
            d = b - a;
            e = d;
        }
        if (std::fabs(fc) < std::fabs(fb)) {
            a = b;
            b = c;
            c = a;
            fa = fb;
            fb = fc;
            fc = fa;
        }
        const double tol =
            2 * std::numeric_limits<double>::epsilon() * std::fabs(b) + 0.5 * ConditionalTolerance;
        const double half = 0.5 * (c - b);
        if (std::fabs(half) <= tol || fb == 0)
            return b;
        if (std::fabs(e) >= tol && std::fabs(fa) > std::fabs(fb)) {
            // Inverse quadratic interpolation, or the secant step when only two points differ.
            double p, q;
            const double s = fb / fa;
            if (a == c) {
                p = 2 * half * s;
                q = 1 - s;
            } else {
                const double qa = fa / fc, r = fb / fc;
                p = s * (2 * half * qa * (qa - r) - (b - a) * (r - 1));
                q = (qa - 1) * (r - 1) * (s - 1);
            }
            if (p > 0)
                q = -q;
            else
                p = -p;
            if (2 * p < std::min(3 * half * q - std::fabs(tol * q), std::fabs(e * q))) {
                e = d;
                d = p / q;
            } else {
                d = half;
                e = d;
            }
        } else {
            d = half;
            e = d;
        }
        a = b;
        fa = fb;
        b += std::fabs(d) > tol ? d : (half > 0 ? tol : -tol);
        fb = f(b);
    }
    return b;
}

// The root in u = ln psi of a function monotone in u (rising or falling), bracketed by
// doubling |u| from 0 towards the sign change; psi = exp(root).
double OddsRatioRoot(const std::function<double(double)>& f, bool rising) {
    const double f0 = f(0);
    if (f0 == 0)
        return 1;
    const double direction = (f0 < 0) == rising ? 1 : -1;
    double inner = 0, fInner = f0;
    for (double step = 1; step <= 4096; step *= 2) {
        const double u = direction * step;
        const double fu = f(u);
        if (fu == 0)
            return std::exp(u);
        if ((fu > 0) != (f0 > 0))
            return std::exp(direction > 0 ? Brent(f, inner, u, fInner, fu)
                                          : Brent(f, u, inner, fu, fInner));
        inner = u;
        fInner = fu;
    }
    throw std::runtime_error("odds ratio root not bracketed");
}

double Ratio(double numerator, double denominator) {
    if (denominator == 0)
        return numerator == 0 ? std::numeric_limits<double>::quiet_NaN() : kInfinity;
    return numerator / denominator;
}

EffectInterval Wilson(double x, double n) {
    const double p = x / n;
    const double z2 = Z975 * Z975;
    const double root = Z975 * std::sqrt(z2 + 4 * n * p * (1 - p));
    const double lower = (2 * n * p + z2 - root) / (2 * (n + z2));
    const double upper = (2 * n * p + z2 + root) / (2 * (n + z2));
    return {x == 0 ? 0 : lower, x == n ? 1 : upper};
}

} // namespace

EffectSizes ComputeEffectSizes(double a, double b, double c, double d) {
    if (!(a >= 0 && b >= 0 && c >= 0 && d >= 0) || a + b == 0 || c + d == 0 || a + c == 0 ||
        b + d == 0)
        throw std::invalid_argument("effect sizes need non-negative cells and no zero total");
    EffectSizes e;
    e.sampleOddsRatio = Ratio(a * d, b * c);

    const auto x = static_cast<std::int64_t>(a);
    const auto k = static_cast<std::int64_t>(a + b);
    const auto m = static_cast<std::int64_t>(a + c);
    const auto n = static_cast<std::int64_t>(b + d);
    const std::int64_t support = std::min(k, m) - std::max<std::int64_t>(0, k - n) + 1;
    if (support <= MaxConditionalSupport) {
        NoncentralHypergeometric h(k, m, n);
        const auto xd = static_cast<double>(x);
        e.conditionalComputed = true;
        if (x == h.Lo())
            e.conditionalOddsRatio = 0;
        else if (x == h.Hi())
            e.conditionalOddsRatio = kInfinity;
        else
            e.conditionalOddsRatio = OddsRatioRoot([&](double u) { return h.Mean(u) - xd; }, true);
        e.conditionalInterval.lower =
            x == h.Lo()
                ? 0
                : OddsRatioRoot([&](double u) { return h.Tail(x, u, true) - kTailProbability; },
                                true);
        e.conditionalInterval.upper =
            x == h.Hi()
                ? kInfinity
                : OddsRatioRoot([&](double u) { return h.Tail(x, u, false) - kTailProbability; },
                                false);
    }

    const double p1 = a / (a + b), p2 = c / (c + d);
    e.riskRatio = Ratio(p1, p2);
    if (a > 0 && c > 0) {
        const double se = std::sqrt(1 / a - 1 / (a + b) + 1 / c - 1 / (c + d));
        const double logRatio = std::log(e.riskRatio);
        e.riskRatioIntervalDefined = true;
        e.riskRatioInterval = {std::exp(logRatio - Z975 * se), std::exp(logRatio + Z975 * se)};
    }

    e.riskDifference = p1 - p2;
    const EffectInterval w1 = Wilson(a, a + b), w2 = Wilson(c, c + d);
    e.riskDifferenceInterval = {e.riskDifference - std::sqrt((p1 - w1.lower) * (p1 - w1.lower) +
                                                             (w2.upper - p2) * (w2.upper - p2)),
                                e.riskDifference + std::sqrt((w1.upper - p1) * (w1.upper - p1) +
                                                             (p2 - w2.lower) * (p2 - w2.lower))};
    return e;
}

namespace {

std::string Figure(double x) {
    if (std::isinf(x))
        return "infinity";
    return GiveSignedNumberTonsf(x, 6);
}

std::string Interval(const EffectInterval& i) {
    return Figure(i.lower) + " to " + Figure(i.upper);
}

} // namespace

std::string EffectSizesText(double a, double b, double c, double d, std::string_view eol) {
    const std::string e(eol);
    const EffectSizes s = ComputeEffectSizes(a, b, c, d);
    std::string t = "Effect sizes for a = " + GeneralNumberText(a) +
                    ", b = " + GeneralNumberText(b) + ", c = " + GeneralNumberText(c) +
                    ", d = " + GeneralNumberText(d) +
                    " (row B against row Not-B, for column A; 95% confidence intervals):" + e;

    t += "Odds ratio, sample value a d / b c: ";
    if (std::isinf(s.sampleOddsRatio))
        t += "infinite (b c is 0)";
    else if (s.sampleOddsRatio == 0)
        t += "0 (a d is 0)";
    else
        t += Figure(s.sampleOddsRatio);
    t += e + e;

    t += "Odds ratio, conditional maximum likelihood estimate: ";
    if (!s.conditionalComputed) {
        t += "not computed (a can take more than" + PlainNumberText(MaxConditionalSupport) +
             " values under these totals)" + e + e;
    } else {
        if (std::isinf(s.conditionalOddsRatio))
            t += "infinite (a is as large as the totals allow)";
        else if (s.conditionalOddsRatio == 0)
            t += "0 (a is as small as the totals allow)";
        else
            t += Figure(s.conditionalOddsRatio);
        t += "; exact conditional interval: " + Interval(s.conditionalInterval) + e + e;
    }

    t += "Risk ratio, (a / (a + b)) / (c / (c + d)): ";
    if (std::isinf(s.riskRatio))
        t += "infinite (c is 0)";
    else if (s.riskRatio == 0)
        t += "0 (a is 0)";
    else
        t += Figure(s.riskRatio);
    if (s.riskRatioIntervalDefined)
        t += "; interval by the Katz log method: " + Interval(s.riskRatioInterval);
    else
        t += "; the Katz log interval is undefined when a or c is 0";
    t += e + e;

    t += "Risk difference, a / (a + b) - c / (c + d): " + Figure(s.riskDifference) +
         "; interval by Newcombe's hybrid score method: " + Interval(s.riskDifferenceInterval) + e +
         e;
    return t + std::string(100, '-') + e;
}

} // namespace quillon
