#include "core/unconditional.h"

#include "core/pvalues.h"
#include "core/tables.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>
#include <numeric>

namespace quillon {

namespace {

__extension__ typedef unsigned __int128 Wide;

constexpr double kUlp = 0x1p-52;
// The exponent of a term carries a rounding of a few ulps of about 2N (ln C and the two
// kernel logarithms), a relative 8N ulps at most; bounds are inflated by that and one ulp a
// weight added before the certificate is tested.
// Terms closer than this relative difference are checked for exact equality.
constexpr double kTieScreen = 1e-8;
// Intervals narrower than this are not halved again.
constexpr double kNarrowest = 1e-15;

struct Design {
    std::int64_t N, m, n;
    std::int64_t Lo(std::int64_t k) const { return std::max<std::int64_t>(0, k - n); }
    std::int64_t Hi(std::int64_t k) const { return std::min(k, m); }
};

// The hypergeometric probabilities of the tables a' = Lo(k)..Hi(k) with a' + c' = k.
void ClassTerms(const Design& d, std::int64_t k, std::vector<double>& h) {
    const std::int64_t lo = d.Lo(k), hi = d.Hi(k);
    const double base = LogFactorial(d.m) + LogFactorial(d.n) + LogFactorial(k) +
                        LogFactorial(d.N - k) - LogFactorial(d.N);
    h.resize(static_cast<std::size_t>(hi - lo + 1));
    for (std::int64_t a = lo; a <= hi; ++a)
        h[static_cast<std::size_t>(a - lo)] =
            std::exp(base - (LogFactorial(a) + LogFactorial(d.m - a) + LogFactorial(k - a) +
                             LogFactorial(d.n - k + a)));
}

// Test-9 values of one class: the sum of the terms no larger than each one's, ties exact.
// The terms are unimodal in a', so they are taken in ascending order from both ends.
void ClassFisherValues(const Design& d, std::int64_t k, const std::vector<double>& h,
                       std::vector<double>& v) {
    const std::int64_t lo = d.Lo(k);
    v.assign(h.size(), 0.0);
    double sum = 0;
    std::size_t i = 0, j = h.size() - 1;
    while (i <= j) {
        if (i == j) {
            sum += h[i];
            v[i] = sum;
            break;
        }
        const double top = std::max(h[i], h[j]);
        if (std::fabs(h[i] - h[j]) <= kTieScreen * top &&
            EquallyProbable(d.m, k, d.N - k, lo + static_cast<std::int64_t>(i),
                            lo + static_cast<std::int64_t>(j))) {
            sum += h[i];
            sum += h[j];
            v[i] = sum;
            v[j] = sum;
            ++i;
            --j;
        } else if (h[i] <= h[j]) {
            sum += h[i];
            v[i] = sum;
            ++i;
        } else {
            sum += h[j];
            v[j] = sum;
            --j;
        }
    }
}

// Chi squared up to the design's common factor N / (m n): D^2 / q with D = a' n - c' m and
// q = k (N - k); D = 0 whenever q = 0.
struct ChiKey {
    std::int64_t D = 0, q = 0;
};

ChiKey MakeChiKey(const Design& d, std::int64_t a, std::int64_t c) {
    const std::int64_t k = a + c;
    return {a * d.n - c * d.m, k * (d.N - k)};
}

int CompareKeys(const ChiKey& x, const ChiKey& y) {
    if (x.D == 0 || y.D == 0)
        return (x.D != 0) - (y.D != 0);
    const auto dx = static_cast<Wide>(x.D < 0 ? -x.D : x.D);
    const auto dy = static_cast<Wide>(y.D < 0 ? -y.D : y.D);
    const Wide left = dx * dx * static_cast<Wide>(y.q);
    const Wide right = dy * dy * static_cast<Wide>(x.q);
    return (left > right) - (left < right);
}

// Tables of the class k and its mirror class together: twice the class, or once when
// 2k = N.
std::int64_t WithMirrors(const Design& d, std::int64_t k, std::int64_t tables) {
    return 2 * k == d.N ? tables : 2 * tables;
}

UnconditionalResult Search(const Design& d, const std::vector<double>& w, std::int64_t tables,
                           const UnconditionalOptions& options) {
    NuisanceMaximumSearch search(d.N, options.initialIntervals);
    for (std::int64_t k = 0; 2 * k <= d.N; ++k)
        if (w[static_cast<std::size_t>(k)] > 0)
            search.Add(k, w[static_cast<std::size_t>(k)]);
    UnconditionalResult r = search.Certify();
    r.everyTable = tables == (d.m + 1) * (d.n + 1);
    return r;
}

} // namespace

std::string_view UnconditionalTestName(int test) {
    switch (test) {
    case UnconditionalChiSquaredTest:
        return "Exact unconditional test, chi squared ordering";
    case UnconditionalFisherTest:
        return "Exact unconditional test, Fisher-Irwin ordering";
    default:
        return "";
    }
}

int CompareChiSquared(std::int64_t m, std::int64_t n, std::int64_t a1, std::int64_t c1,
                      std::int64_t a2, std::int64_t c2) {
    const Design d{m + n, m, n};
    return CompareKeys(MakeChiKey(d, a1, c1), MakeChiKey(d, a2, c2));
}

std::vector<double> FisherOrderingValues(std::int64_t N, std::int64_t m) {
    const Design d{N, m, N - m};
    const auto width = static_cast<std::size_t>(d.n + 1);
    std::vector<double> values(static_cast<std::size_t>(m + 1) * width, 0.0);
    std::vector<double> h, v;
    for (std::int64_t k = 0; 2 * k <= N; ++k) {
        ClassTerms(d, k, h);
        ClassFisherValues(d, k, h, v);
        for (std::int64_t a = d.Lo(k); a <= d.Hi(k); ++a) {
            const double value = v[static_cast<std::size_t>(a - d.Lo(k))];
            const std::int64_t c = k - a;
            values[static_cast<std::size_t>(a) * width + static_cast<std::size_t>(c)] = value;
            values[static_cast<std::size_t>(m - a) * width + static_cast<std::size_t>(d.n - c)] =
                value;
        }
    }
    return values;
}

UnconditionalResult UnconditionalTest(int test, std::int64_t a, std::int64_t b, std::int64_t c,
                                      std::int64_t dd, const UnconditionalOptions& options) {
    const Design d{a + b + c + dd, a + b, c + dd};
    assert(d.N >= 1 && d.N <= MaxUnconditionalTotal);
    assert(test == UnconditionalChiSquaredTest || test == UnconditionalFisherTest);
    std::vector<double> w(static_cast<std::size_t>(d.N + 1), 0.0);
    std::vector<double> h, v;
    std::int64_t tables = 0;
    if (test == UnconditionalChiSquaredTest) {
        const ChiKey observed = MakeChiKey(d, a, c);
        for (std::int64_t k = 0; 2 * k <= d.N; ++k) {
            ClassTerms(d, k, h);
            double sum = 0;
            std::int64_t in = 0;
            for (std::int64_t x = d.Lo(k); x <= d.Hi(k); ++x)
                if (CompareKeys(MakeChiKey(d, x, k - x), observed) >= 0) {
                    sum += h[static_cast<std::size_t>(x - d.Lo(k))];
                    ++in;
                }
            w[static_cast<std::size_t>(k)] = sum;
            tables += WithMirrors(d, k, in);
        }
    } else {
        // The observed table's value, read in its own class or its mirror's.
        std::int64_t k0 = a + c, a0 = a;
        if (2 * k0 > d.N) {
            k0 = d.N - k0;
            a0 = d.m - a;
        }
        ClassTerms(d, k0, h);
        ClassFisherValues(d, k0, h, v);
        const double observed =
            v[static_cast<std::size_t>(a0 - d.Lo(k0))] * (1 + FisherTieRelative);
        for (std::int64_t k = 0; 2 * k <= d.N; ++k) {
            ClassTerms(d, k, h);
            ClassFisherValues(d, k, h, v);
            double sum = 0;
            std::int64_t in = 0;
            for (std::size_t i = 0; i < h.size(); ++i)
                if (v[i] <= observed) {
                    sum += h[i];
                    ++in;
                }
            w[static_cast<std::size_t>(k)] = sum;
            tables += WithMirrors(d, k, in);
        }
    }
    return Search(d, w, tables, options);
}

std::vector<UnconditionalResult> UnconditionalDesign(int test, std::int64_t N, std::int64_t m,
                                                     const UnconditionalOptions& options) {
    assert(N >= 1 && N <= MaxUnconditionalTotal && m >= 0 && m <= N);
    assert(test == UnconditionalChiSquaredTest || test == UnconditionalFisherTest);
    const Design d{N, m, N - m};
    const auto width = static_cast<std::size_t>(d.n + 1);
    const std::size_t count = static_cast<std::size_t>(m + 1) * width;

    // Each table's hypergeometric term, the mirror's the same number.
    std::vector<double> terms(count, 0.0), h;
    for (std::int64_t k = 0; 2 * k <= N; ++k) {
        ClassTerms(d, k, h);
        for (std::int64_t a = d.Lo(k); a <= d.Hi(k); ++a) {
            const double t = h[static_cast<std::size_t>(a - d.Lo(k))];
            terms[static_cast<std::size_t>(a) * width + static_cast<std::size_t>(k - a)] = t;
            terms[static_cast<std::size_t>(m - a) * width + static_cast<std::size_t>(d.n - k + a)] =
                t;
        }
    }

    // Most extreme first; ties stay together, in index order.
    std::vector<std::size_t> order(count);
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::vector<ChiKey> keys;
    std::vector<double> values;
    auto tied = [&](std::size_t x, std::size_t y) {
        if (test == UnconditionalChiSquaredTest)
            return CompareKeys(keys[x], keys[y]) == 0;
        return values[x] == values[y];
    };
    if (test == UnconditionalChiSquaredTest) {
        keys.resize(count);
        for (std::size_t i = 0; i < count; ++i)
            keys[i] = MakeChiKey(d, static_cast<std::int64_t>(i / width),
                                 static_cast<std::int64_t>(i % width));
        std::stable_sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) {
            return CompareKeys(keys[x], keys[y]) > 0;
        });
    } else {
        values = FisherOrderingValues(N, m);
        std::stable_sort(order.begin(), order.end(),
                         [&](std::size_t x, std::size_t y) { return values[x] < values[y]; });
    }

    std::vector<UnconditionalResult> results(count);
    NuisanceMaximumSearch search(N, options.initialIntervals);
    // The region of a table is a prefix of `order`: for test 8 its tie group, for test 9
    // every value up to its own widened by FisherTieRelative. Prefixes grow with the
    // tables, so each adds only what the last one lacked. A prefix never splits a group of
    // equal values, so it holds each table's mirror: only the tables with 2k <= N are
    // added (those with 2k = N are their class's own mirrors and are each added once).
    std::size_t added = 0;
    auto addUpTo = [&](std::size_t end) {
        for (; added < end; ++added) {
            const std::size_t i = order[added];
            const auto k = static_cast<std::int64_t>(i / width + i % width);
            if (2 * k <= N && terms[i] > 0)
                search.Add(k, terms[i]);
        }
    };
    for (std::size_t first = 0; first < count;) {
        std::size_t last = first + 1;
        while (last < count && tied(order[first], order[last]))
            ++last;
        std::size_t end = last;
        if (test == UnconditionalFisherTest) {
            const double limit = values[order[first]] * (1 + FisherTieRelative);
            end = std::max(end, added);
            while (end < count && values[order[end]] <= limit)
                ++end;
        }
        addUpTo(end);
        UnconditionalResult r = search.Certify();
        r.everyTable = added == count;
        for (std::size_t g = first; g < last; ++g)
            results[order[g]] = r;
        first = last;
    }
    return results;
}

std::vector<double> UnconditionalDesignPValues(int test, std::int64_t N, std::int64_t m) {
    const std::int64_t n = N - m;
    const bool exchanged = m > n;
    const std::vector<UnconditionalResult> walked = UnconditionalDesign(test, N, exchanged ? n : m);
    std::vector<double> p(walked.size());
    const auto width = static_cast<std::size_t>(n + 1);
    for (std::size_t a = 0; a <= static_cast<std::size_t>(m); ++a)
        for (std::size_t c = 0; c < width; ++c)
            // Exchanged, the table (a, c) is (c, a) of the walked design, whose row 1 holds n.
            p[a * width + c] =
                walked[exchanged ? c * static_cast<std::size_t>(m + 1) + a : a * width + c].pValue;
    return p;
}

// ---------------------------------------------------------------------------------------

NuisanceMaximumSearch::NuisanceMaximumSearch(std::int64_t N, int initialIntervals) : N_(N) {
    const auto size = static_cast<std::size_t>(N + 1);
    lnC_.resize(size);
    lnMode_.resize(size);
    ln1Mode_.resize(size);
    w_.assign(size, 0.0);
    isActive_.assign(size, 0);
    const double lnN = LogFactorial(N);
    for (std::int64_t k = 0; k <= N; ++k) {
        const auto i = static_cast<std::size_t>(k);
        lnC_[i] = lnN - LogFactorial(k) - LogFactorial(N - k);
        const double mode = static_cast<double>(k) / static_cast<double>(N);
        lnMode_[i] = std::log(mode);
        ln1Mode_[i] = std::log1p(-mode);
    }
    lnHalf_ = std::log(0.5);
    const int parts = std::max(1, initialIntervals);
    for (int j = 0; j < parts; ++j)
        intervals_.push_back(MakeInterval(0.5 * j / parts, 0.5 * (j + 1) / parts));
}

NuisanceMaximumSearch::Interval NuisanceMaximumSearch::MakeInterval(double lo, double hi) const {
    Interval iv{};
    iv.lo = lo;
    iv.hi = hi;
    iv.tHi = std::log(hi) - std::log1p(-hi);
    if (lo > 0) {
        iv.tLo = std::log(lo) - std::log1p(-lo);
        iv.mid = 1 / (1 + std::exp(-(iv.tLo + 0.5 * (iv.tHi - iv.tLo))));
        if (!(iv.mid > lo && iv.mid < hi))
            iv.mid = lo + 0.5 * (hi - lo);
    } else {
        iv.tLo = -std::numeric_limits<double>::infinity();
        iv.mid = lo + 0.5 * (hi - lo);
    }
    iv.lnLo = std::log(lo);
    iv.ln1Lo = std::log1p(-lo);
    iv.lnHi = std::log(hi);
    iv.ln1Hi = std::log1p(-hi);
    iv.lnMid = std::log(iv.mid);
    iv.ln1Mid = std::log1p(-iv.mid);
    iv.tMid = iv.lnMid - iv.ln1Mid;
    return iv;
}

// ln b_k(p) from ln p and ln(1 - p), with 0 ln 0 taken as 0.
double NuisanceMaximumSearch::TermLog(std::int64_t k, double lnP, double ln1P) const {
    double e = lnC_[static_cast<std::size_t>(k)];
    if (k > 0)
        e += static_cast<double>(k) * lnP;
    if (k < N_)
        e += static_cast<double>(N_ - k) * ln1P;
    return e;
}

double NuisanceMaximumSearch::TermAt(std::int64_t k, double lnP, double ln1P) const {
    return std::exp(TermLog(k, lnP, ln1P));
}

// One term's share of an interval's sums. In the log odds t, with q = N p,
//   d b_k / dt = b_k (k - q),   d^2 b_k / dt^2 = b_k ((k - q)^2 - q (1 - p)),
// and the bracket of the second is convex in p, so largest at an end of the interval.
NuisanceMaximumSearch::Terms NuisanceMaximumSearch::TermsOf(std::int64_t k,
                                                            const Interval& iv) const {
    const double n = static_cast<double>(N_), kk = static_cast<double>(k);
    const double atLo = TermAt(k, iv.lnLo, iv.ln1Lo);
    const double atHi = TermAt(k, iv.lnHi, iv.ln1Hi);
    const double mode = kk / n;
    double largest = std::max(atLo, atHi);
    if (iv.lo < mode && mode < iv.hi)
        largest =
            TermAt(k, lnMode_[static_cast<std::size_t>(k)], ln1Mode_[static_cast<std::size_t>(k)]);
    const double smallest = std::min(atLo, atHi);
    auto bracket = [&](double p) {
        const double q = n * p;
        return (kk - q) * (kk - q) - q * (1 - p);
    };
    const double curve = std::max(bracket(iv.lo), bracket(iv.hi));
    Terms t{};
    t.value = TermAt(k, iv.lnMid, iv.ln1Mid);
    t.firstOrder = largest;
    t.slope = t.value * (kk - n * iv.mid);
    t.curve = curve * (curve > 0 ? largest : smallest);
    t.absSlope = std::fabs(t.slope);
    t.absCurve = std::fabs(t.curve);
    return t;
}

void NuisanceMaximumSearch::Accumulate(Interval& iv, const Terms& t, double w) {
    iv.value += w * t.value;
    iv.firstOrder += w * t.firstOrder;
    iv.slope += w * t.slope;
    iv.curve += w * t.curve;
    iv.absSlope += w * t.absSlope;
    iv.absCurve += w * t.absCurve;
}

void NuisanceMaximumSearch::Add(std::int64_t k, double dw) {
    assert(k >= 0 && 2 * k <= N_ && dw >= 0);
    const std::int64_t mirror = N_ - k;
    for (std::int64_t j : {k, mirror}) {
        const auto i = static_cast<std::size_t>(j);
        if (!isActive_[i]) {
            isActive_[i] = 1;
            active_.insert(std::upper_bound(active_.begin(), active_.end(), j), j);
        }
        w_[i] += dw;
        halfValue_ += dw * TermAt(j, lnHalf_, lnHalf_);
        if (mirror == k)
            break;
    }
    for (Interval& iv : intervals_) {
        Accumulate(iv, TermsOf(k, iv), dw);
        if (mirror != k)
            Accumulate(iv, TermsOf(mirror, iv), dw);
    }
    additions_ += 1;
    evaluations_ += static_cast<std::int64_t>(intervals_.size());
}

// The smaller of the first-order bound and the largest of the Taylor quadratic
// P(c) + P'(c) s + M s^2 / 2 over the interval's log odds, M bounding P'' there. The
// quadratic's sums are formed with cancellation, so their rounding, a few ulps a term of
// the sums of magnitudes, is added.
double NuisanceMaximumSearch::Upper(const Interval& iv) const {
    if (!(iv.lo > 0))
        return iv.firstOrder;
    const double sLo = iv.tLo - iv.tMid, sHi = iv.tHi - iv.tMid;
    auto quadratic = [&](double s) { return iv.value + iv.slope * s + 0.5 * iv.curve * s * s; };
    double top = std::max(quadratic(sLo), quadratic(sHi));
    if (iv.curve < 0) {
        const double vertex = -iv.slope / iv.curve;
        if (sLo < vertex && vertex < sHi)
            top = std::max(top, quadratic(vertex));
    }
    const double reach = std::max(-sLo, sHi);
    const double rounding = (additions_ + 8 * static_cast<double>(N_) + 16) * kUlp *
                            (iv.value + iv.absSlope * reach + 0.5 * iv.absCurve * reach * reach);
    return std::min(iv.firstOrder, top + rounding);
}

double NuisanceMaximumSearch::Total(double p) const {
    const double lnP = std::log(p), ln1P = std::log1p(-p);
    double sum = 0;
    for (std::int64_t k : active_)
        sum += w_[static_cast<std::size_t>(k)] * TermAt(k, lnP, ln1P);
    return sum;
}

UnconditionalResult NuisanceMaximumSearch::Certify() {
    UnconditionalResult r;
    for (;;) {
        std::size_t best = 0, widest = 0;
        double widestUpper = Upper(intervals_[0]);
        for (std::size_t i = 1; i < intervals_.size(); ++i) {
            if (intervals_[i].value > intervals_[best].value)
                best = i;
            const double u = Upper(intervals_[i]);
            if (u > widestUpper) {
                widest = i;
                widestUpper = u;
            }
        }
        const double slack = 1 + (additions_ + 8 * static_cast<double>(N_) + 16) * kUlp;
        const double bound = widestUpper * slack;
        const bool atHalf = halfValue_ > intervals_[best].value;
        const double found = atHalf ? halfValue_ : intervals_[best].value;
        Interval& iv = intervals_[widest];
        const bool narrow = iv.hi - iv.lo <= kNarrowest || iv.mid <= iv.lo || iv.mid >= iv.hi;
        if (bound <= found * (1 + CertificateRelative) + CertificateAbsolute || narrow) {
            r.proportion = atHalf ? 0.5 : intervals_[best].mid;
            // A total of every table is 1 but for rounding; no probability exceeds 1.
            r.pValue = std::min(1.0, Total(r.proportion));
            r.bound = bound;
            r.certified = !narrow;
            r.evaluations = evaluations_;
            return r;
        }
        // Halve the interval with the largest bound; its halves are formed afresh.
        Interval left = MakeInterval(iv.lo, iv.mid);
        Interval right = MakeInterval(iv.mid, iv.hi);
        for (Interval* half : {&left, &right})
            for (std::int64_t k : active_)
                Accumulate(*half, TermsOf(k, *half), w_[static_cast<std::size_t>(k)]);
        evaluations_ += 2;
        intervals_[widest] = left;
        intervals_.push_back(right);
    }
}

} // namespace quillon
