#include "core/pvalues.h"

#include "core/hypergeometric.h"
#include "core/tables.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <limits>
#include <mutex>

namespace quillon {

double ChiSquaredValue(double a, double b, double c, double d, int test) {
    assert(test >= 1 && test <= 3);
    const double N = a + b + c + d;
    const double D0 = a * d - b * c;
    const double Q = (((a + b) * (c + d)) * (a + c)) * (b + d);
    switch (test) {
    case 1:
        return N * (D0 * D0) / Q;
    case 2: {
        double Y = std::fabs(D0) - N / 2;
        if (Y <= 0.5)
            Y = 0;
        return N * (Y * Y) / Q;
    }
    default:
        return (N - 1) * (D0 * D0) / Q;
    }
}

// ---------------------------------------------------------------------------------------
// CumulativeNormal. The integral runs from -6 in steps of h = .01, the grid point t being
// carried by repeated addition. The grid and the partial sums at its points do not depend
// on z, so they are laid down once by exactly the additions the loop would make; a call
// finds how many full steps its z allows, then takes the final partial step itself.
namespace {

constexpr double kLowerEnd = -6.0;
constexpr double kUpperEnd = 6.0;
constexpr double kStep = 0.01;
constexpr double kTailBelow = 2.5e-9;

struct NormalGrid {
    std::vector<double> t; // t[k]: the grid point after k full steps
    std::vector<double> s; // s[k]: the partial sum after k full steps
    double norm = 0;       // 6.283185308^0.5

    NormalGrid() {
        double tk = kLowerEnd;
        double sk = kTailBelow;
        t.push_back(tk);
        s.push_back(sk);
        // The largest z integrated is 6, so no call takes a step beyond it.
        while (tk + kStep <= kUpperEnd) {
            const double m = tk + kStep / 2;
            sk = sk + kStep * ExpBasePower(-(m * m) / 2);
            tk = tk + kStep;
            t.push_back(tk);
            s.push_back(sk);
        }
        norm = std::pow(6.283185308, 0.5);
    }
};

const NormalGrid& Grid() {
    static const NormalGrid grid;
    return grid;
}

} // namespace

double CumulativeNormal(double z) {
    if (z < kLowerEnd)
        return 0.0;
    if (z > kUpperEnd)
        return 1.0;
    if (std::isnan(z))
        return z;
    const NormalGrid& g = Grid();
    // The loop takes step k + 1 while t[k] + h, which is t[k + 1], is at most z; the grid
    // rises strictly, so the steps taken are k, the last grid point at most z. The grid
    // points lie within a few thousand roundings of -6 + k h, so (z + 6) / h names k or a
    // neighbour, and the exact comparisons with the grid settle which.
    const std::size_t last = g.t.size() - 1;
    std::size_t k = static_cast<std::size_t>((z - kLowerEnd) / kStep);
    if (k > last)
        k = last;
    while (k < last && g.t[k + 1] <= z)
        ++k;
    while (k > 0 && g.t[k] > z)
        --k;
    const double t = g.t[k];
    double s = g.s[k];
    const double h = z - t;
    const double m = t + h / 2;
    s = s + h * ExpBasePower(-(m * m) / 2);
    return s / g.norm;
}

double ChiSquaredPValue(double chiSquared) {
    // Beyond this value the root exceeds 6 by 8e-5, far more than any rounding of the
    // power, so the integral, which gives 0 below -6, need not be entered.
    constexpr double kRootBeyondSix = 36.001;
    if (chiSquared > kRootBeyondSix)
        return 0.0;
    return 2 * CumulativeNormal(-std::pow(chiSquared, 0.5));
}

ChiSquaredDecision::ChiSquaredDecision(double alpha) {
    // Every chi squared value from 37 on has a P value of 0.
    constexpr double kBeyondIntegral = 64;
    constexpr double kRoom = 1e-9;
    if (std::isnan(alpha))
        return;
    if (alpha < 0) {
        below_ = std::numeric_limits<double>::infinity();
        return;
    }
    const double target = alpha * (1 + kRoom);
    double lo = 0, hi = kBeyondIntegral;
    if (!(ChiSquaredPValue(lo) > target))
        return;
    // P(lo) > target >= P(hi) throughout.
    for (;;) {
        const double mid = lo + (hi - lo) / 2;
        if (mid <= lo || mid >= hi)
            break;
        if (ChiSquaredPValue(mid) > target)
            lo = mid;
        else
            hi = mid;
    }
    below_ = lo;
}

// ---------------------------------------------------------------------------------------

double FisherPValues::operator[](int test) const {
    switch (test) {
    case 4:
        return test4;
    case 5:
        return test5;
    case 6:
        return test6;
    default:
        return test7;
    }
}

FisherWorkingTable MakeWorkingTable(std::int64_t a, std::int64_t b, std::int64_t c,
                                    std::int64_t d) {
    // The smallest cell; a later cell takes over only when strictly smaller.
    int smallest = 0;
    std::int64_t value = a;
    if (b < value) {
        smallest = 1;
        value = b;
    }
    if (c < value) {
        smallest = 2;
        value = c;
    }
    if (d < value)
        smallest = 3;
    std::int64_t A = 0, u = 0, v = 0, D = 0;
    switch (smallest) {
    case 0:
        A = a, u = b, v = c, D = d;
        break;
    case 1:
        A = b, u = a, v = d, D = c;
        break;
    case 2:
        A = c, u = d, v = a, D = b;
        break;
    default:
        A = d, u = b, v = c, D = a;
        break;
    }
    FisherWorkingTable w;
    w.A = A;
    w.D = D;
    w.B = u;
    w.C = v;
    if (v < u) {
        w.B = v;
        w.C = u;
    }
    return w;
}

namespace {

// The rounding a computed P(i) may carry, relative to its value: the logarithms of the
// factorials are running sums, so their absolute error grows with the total. Two computed
// terms closer than this are checked for an exact tie.
double TieScreen(std::int64_t N) {
    const double lf = LogFactorial(N);
    const double ulp = std::nextafter(lf, std::numeric_limits<double>::infinity()) - lf;
    return std::max(1e-6, static_cast<double>(N) * ulp);
}

} // namespace

FisherTerms::FisherTerms(std::int64_t R1, std::int64_t K1, std::int64_t K2)
    : R1_(R1), K1_(K1), K2_(K2) {
    Build([](std::int64_t x) { return LogFactorial(x); });
}

FisherTerms::FisherTerms(std::int64_t R1, std::int64_t K1, std::int64_t K2,
                         std::span<const double> logFactorials)
    : R1_(R1), K1_(K1), K2_(K2) {
    assert(static_cast<std::int64_t>(logFactorials.size()) > K1 + K2);
    const double* lf = logFactorials.data();
    Build([lf](std::int64_t x) { return lf[x]; });
}

template <typename LogFactorialOf> void FisherTerms::Build(LogFactorialOf lf) {
    const std::int64_t R1 = R1_, K1 = K1_, K2 = K2_;
    const std::int64_t N = K1 + K2;
    const std::int64_t R2 = N - R1;
    const double K = (((lf(R1) + lf(R2)) + lf(K1)) + lf(K2)) - lf(N);
    p_.resize(static_cast<std::size_t>(R1) + 1);
    for (std::int64_t i = 0; i <= R1; ++i) {
        p_[i] = ExpBasePower((((K - lf(i)) - lf(R1 - i)) - lf(K1 - i)) - lf(K2 - R1 + i));
        if (p_[i] > p_[mode_])
            mode_ = static_cast<std::size_t>(i);
    }
    Prepare();
}

void FisherTerms::Prepare() {
    const std::size_t n = p_.size();
    rising_.resize(n + 1);
    falling_.resize(n + 1);
    rising_[0] = 0;
    for (std::size_t k = 0; k < n; ++k)
        rising_[k + 1] = rising_[k] + p_[k];
    falling_[n] = 0;
    for (std::size_t k = n; k-- > 0;)
        falling_[k] = p_[k] + falling_[k + 1];
    unimodal_ = true;
    for (std::size_t k = 0; k + 1 < n; ++k)
        if (k < mode_ ? p_[k] > p_[k + 1] : p_[k] < p_[k + 1])
            unimodal_ = false;
    screen_ = tieScreen_ >= 0 ? tieScreen_ : TieScreen(K1_ + K2_);
    // A sum of n non-negative terms in any order lies within (n - 1) units of 2^-53 of
    // their exact sum, relative; twice that and more covers two sums compared or added.
    rounding_ = static_cast<double>(8 * n + 64) * 0x1p-53;
}

FisherTerms FisherTerms::WithoutCache(std::int64_t R1, std::int64_t K1, std::int64_t K2) {
    // Below this logarithm ExpBase^x is 0 in double precision (the smallest positive double
    // is about e^-744.4), so such terms are exactly those the whole set would hold as 0.
    constexpr double kZeroLogarithm = -760;
    FisherTerms t;
    t.R1_ = R1;
    t.K1_ = K1;
    t.K2_ = K2;
    const std::int64_t N = K1 + K2;
    // The mode of the hypergeometric distribution, near enough: the walk below starts
    // from any term of the band and the largest is found among those held.
    const double top =
        static_cast<double>(R1 + 1) * static_cast<double>(K1 + 1) / static_cast<double>(N + 2);
    const std::int64_t mode = std::clamp<std::int64_t>(static_cast<std::int64_t>(top), 0, R1);
    auto logTerm = [&](std::int64_t i) { return LogHypergeometricTerm(i, R1, K1, K2); };
    std::int64_t lo = mode, hi = mode;
    while (lo > 0 && logTerm(lo - 1) >= kZeroLogarithm)
        --lo;
    while (hi < R1 && logTerm(hi + 1) >= kZeroLogarithm)
        ++hi;
    t.first_ = lo;
    t.p_.resize(static_cast<std::size_t>(hi - lo + 1));
    for (std::int64_t i = lo; i <= hi; ++i) {
        const std::size_t k = static_cast<std::size_t>(i - lo);
        t.p_[k] = ExpBasePower(logTerm(i));
        if (t.p_[k] > t.p_[t.mode_])
            t.mode_ = k;
    }
    // Each logarithm to about 1e-13 (core/hypergeometric.h), with room to spare.
    t.tieScreen_ = 1e-9;
    t.Prepare();
    return t;
}

double FisherTerms::Term(std::int64_t j) const {
    const std::int64_t k = j - first_;
    return k >= 0 && k < static_cast<std::int64_t>(p_.size()) ? p_[static_cast<std::size_t>(k)]
                                                              : 0.0;
}

std::int64_t FisherTerms::TiePartner(std::int64_t A) const {
    // Indices below are those of p_; A's is a.
    const auto n = static_cast<std::int64_t>(p_.size());
    const std::int64_t a = A - first_;
    if (n <= 1 || a < 0 || a >= n)
        return -1; // P(A) is 0 as computed, so a tie changes no sum
    const double pa = p_[a];
    const auto mode = static_cast<std::int64_t>(mode_);

    // The terms rise to the mode and fall after it, each value standing at most once on
    // either side; the partner of A is on the other side, next to where the values cross
    // P(A). Find that place by bisection over the other side, then look at its
    // neighbours (the computed values may wobble by a rounding where they are equal).
    std::int64_t lo = 0, hi = 0; // the other side, [lo, hi]
    bool rising = false;
    if (a <= mode) {
        lo = mode;
        hi = n - 1;
    } else {
        lo = 0;
        hi = mode;
        rising = true;
    }
    std::int64_t first = lo, last = hi;
    while (first < last) {
        const std::int64_t mid = first + (last - first) / 2;
        // rising: find the first index whose value reaches P(A); falling: the first index
        // whose value has dropped to P(A) or below.
        const bool past = rising ? p_[mid] >= pa : p_[mid] <= pa;
        if (past)
            last = mid;
        else
            first = mid + 1;
    }
    return TieNear(a, first);
}

std::int64_t FisherTerms::TieNear(std::int64_t a, std::int64_t first) const {
    const auto n = static_cast<std::int64_t>(p_.size());
    const double pa = p_[a];
    const double screen = screen_;
    std::int64_t candidates[] = {first - 2, first - 1, first, first + 1, first + 2, a - 1, a + 1};
    for (std::int64_t j : candidates) {
        if (j < 0 || j >= n || j == a)
            continue;
        const double pj = p_[j];
        if (std::fabs(pj - pa) > screen * std::max(pj, pa))
            continue;
        if (EquallyProbable(R1_, K1_, K2_, a + first_, j + first_))
            return j + first_;
    }
    return -1;
}

double FisherTerms::AddTail(double s, std::size_t from) const {
    const std::size_t n = p_.size();
    for (std::size_t k = from; k < n; ++k) {
        const double v = p_[k];
        // From the largest term on, the terms do not rise again. A term below half a unit
        // in the last place of s leaves s as it is when rounded to nearest, and so does
        // every later one: s 2^-54 is below that half unit whatever the binade of s, and
        // exact while s is far from the subnormal range.
        if (k >= mode_ && s >= 0x1p-960 && v < s * 0x1p-54)
            break;
        s = s + v;
    }
    return s;
}

namespace {

// The four Fisher-Irwin P values from the sums of one table's terms: sMin the smaller tail
// beyond P(A), pa = P(A), s5 the terms at most P(A) (and its tied partner), s7 the
// terms below P(A) (not its tied partner). Both ways of forming the sums end here, so they
// give the same values from the same sums.
FisherPValues FromTailSums(double sMin, double pa, double s5, double s7) {
    FisherPValues r;
    r.test4 = 2 * (sMin + pa);
    if (r.test4 > 1)
        r.test4 = 1;
    r.test5 = s5 > 1 ? 1 : s5;
    r.test6 = 2 * sMin + pa;
    s7 = s7 + 0.5 * pa;
    r.test7 = s7 > 1 ? 1 : s7;
    return r;
}

} // namespace

FisherPValues FisherTerms::PValues(std::int64_t A) const {
    const auto n = static_cast<std::int64_t>(p_.size());
    const std::int64_t a = A - first_;
    if (!unimodal_ || a < 0 || a >= n)
        return PValuesByLoop(A);
    const double* P = p_.data();
    const double pa = P[a];
    const auto mode = static_cast<std::int64_t>(mode_);
    // The terms rise to the mode and fall after it, so those at most P(A) are a run from
    // 0 to L5 and a run from U5 to the last (runs that may meet), and those below P(A)
    // for test 7 the same runs less any terms equal to P(A) at their ends.
    std::int64_t L5 =
        (std::partition_point(P, P + mode + 1, [pa](double v) { return v <= pa; }) - P) - 1;
    std::int64_t U5 =
        std::partition_point(P + mode + 1, P + n, [pa](double v) { return v > pa; }) - P;
    std::int64_t L7 = L5, U7 = U5;
    while (L7 >= 0 && !(P[L7] < pa))
        --L7;
    while (U7 < n && !(P[U7] < pa))
        ++U7;
    // TiePartner looks for the partner next to where the terms of the other side of the
    // mode cross P(A); the runs name that place already.
    const std::int64_t crossing =
        a <= mode ? (P[mode] <= pa ? mode : std::min(U5, n - 1)) : std::min(L7 + 1, mode);
    std::int64_t partner = TieNear(a, crossing);
    if (partner >= 0)
        partner -= first_;
    // The exactly tied term, as close to P(A) as a term comes, stands next to where its
    // side's terms cross P(A): test 5 takes it and test 7 leaves it, whatever its bits say.
    if (partner >= 0 && P[partner] > pa) {
        if (partner == L5 + 1)
            ++L5;
        else if (partner == U5 - 1)
            --U5;
        else
            return PValuesByLoop(A);
    }
    if (partner >= 0 && P[partner] < pa) {
        if (partner == L7)
            --L7;
        else if (partner == U7)
            ++U7;
        else
            return PValuesByLoop(A);
    }
    // The runs from 0 are running sums; the runs to the last continue from them.
    const auto run = [&](std::int64_t L, std::int64_t U) {
        const auto from = static_cast<std::size_t>(std::max(L + 1, U));
        return AddTail(rising_[static_cast<std::size_t>(L + 1)], from);
    };
    double s5 = run(L5, U5);
    double s7 = run(L7, U7);

    const double sLo = rising_[static_cast<std::size_t>(a)];
    double sMin = sLo;
    // S_hi and falling_ sum the same terms in two orders, so falling_ bounds S_hi from
    // below; where that bound exceeds S_lo, S_hi is not the smaller tail and need not be
    // formed.
    const double above = falling_[static_cast<std::size_t>(a + 1)];
    if (a >= mode || !(above >= 0x1p-900 && above * (1 - rounding_) > sLo)) {
        const double sHi = AddTail(0.0, static_cast<std::size_t>(a + 1));
        if (sHi < sLo)
            sMin = sHi;
    }

    return FromTailSums(sMin, pa, s5, s7);
}

FisherPValues FisherTerms::LowerBounds(std::int64_t A) const {
    FisherPValues r;
    const auto n = static_cast<std::int64_t>(p_.size());
    const std::int64_t a = A - first_;
    if (!unimodal_ || a < 0 || a >= n)
        return r;
    const double* P = p_.data();
    const double pa = P[a];
    const auto mode = static_cast<std::int64_t>(mode_);
    // Runs of terms that PValues certainly takes, as there: test 5 takes every term at most
    // P(A) (and perhaps a tied one besides); test 7 every term below P(A) except a tied
    // one, and a tied term lies within the screen of P(A), so the terms below P(A) by four
    // screens are all taken.
    const double clearlyBelow = pa * (1 - 4 * screen_);
    auto lastRising = [&](double x, bool strict) {
        return (std::partition_point(P, P + mode + 1,
                                     [&](double v) { return strict ? v < x : v <= x; }) -
                P) -
               1;
    };
    auto firstFalling = [&](double x, bool strict) {
        return std::partition_point(P + mode + 1, P + n,
                                    [&](double v) { return !(strict ? v < x : v <= x); }) -
               P;
    };
    // The exact sum of two runs, as the running sums give it, shrunk by the rounding of
    // any order of summing them.
    const double shrink = 1 - rounding_;
    auto runs = [&](std::int64_t L, std::int64_t U) {
        const auto from = static_cast<std::size_t>(std::max(L + 1, U));
        return (rising_[static_cast<std::size_t>(L + 1)] + falling_[from]) * shrink;
    };
    const double s5 = runs(lastRising(pa, false), firstFalling(pa, false));
    const double s7 = runs(lastRising(clearlyBelow, true), firstFalling(clearlyBelow, true));
    const double sLo = rising_[static_cast<std::size_t>(a)];
    const double sHi = falling_[static_cast<std::size_t>(a + 1)] * shrink;
    const double sMin = std::min(sLo, sHi);
    r.test4 = std::min(1.0, (2 * (sMin + pa)) * shrink);
    r.test5 = std::min(1.0, s5);
    r.test6 = (2 * sMin + pa) * shrink;
    r.test7 = std::min(1.0, (s7 + 0.5 * pa) * shrink);
    return r;
}

FisherPValues FisherTerms::PValuesByLoop(std::int64_t A) const {
    // The sums run over the terms held, in ascending j; the terms not held are 0 and would
    // add nothing. The four sums are carried side by side in one pass, so that their
    // additions overlap; a term a sum leaves out adds +0 to it, which changes no bit (every
    // sum starts at +0 and every term is a non-negative number), so each sum is the one its
    // own loop over ascending j would form.
    const std::vector<double>& P = p_;
    const std::int64_t first = first_;
    const double pa = Term(A);
    const std::int64_t partner = TiePartner(A);

    double sLo = 0, sHi = 0, s5 = 0, s7 = 0;
    const auto n = static_cast<std::int64_t>(P.size());
    for (std::int64_t k = 0; k < n; ++k) {
        const std::int64_t j = first + k;
        const double v = P[static_cast<std::size_t>(k)];
        const bool tie = j == partner;
        sLo = sLo + (j < A ? v : 0.0);
        sHi = sHi + (j > A ? v : 0.0);
        s5 = s5 + ((tie || v <= pa) ? v : 0.0);
        s7 = s7 + ((!tie && v < pa) ? v : 0.0);
    }
    double sMin = sLo;
    if (sHi < sLo)
        sMin = sHi;

    return FromTailSums(sMin, pa, s5, s7);
}

FisherPValues FishersExactTest(std::int64_t a, std::int64_t b, std::int64_t c, std::int64_t d) {
    const FisherWorkingTable w = MakeWorkingTable(a, b, c, d);
    const FisherTerms terms(w.R1(), w.K1(), w.K2());
    return terms.PValues(w.A);
}

FisherPValues FishersExactTestAnyTotal(std::int64_t a, std::int64_t b, std::int64_t c,
                                       std::int64_t d) {
    const FisherWorkingTable w = MakeWorkingTable(a, b, c, d);
    if (w.N() <= MaxLogFactorialArgument)
        return FisherTerms(w.R1(), w.K1(), w.K2()).PValues(w.A);
    return FisherTerms::WithoutCache(w.R1(), w.K1(), w.K2()).PValues(w.A);
}

// ---------------------------------------------------------------------------------------
// Exact ties. P(i) = P(j) exactly when the products of the four factorials of the two
// tables are equal. Each product is compared prime by prime through Legendre's formula
// (the exponent of p in n! is the sum of n / p^k), which needs only the primes up to N.
namespace {

std::mutex gPrimeMutex;
std::vector<std::int64_t> gPrimes;
std::int64_t gPrimeLimit = 1;

void PrimesUpTo(std::int64_t limit) {
    if (limit <= gPrimeLimit)
        return;
    std::vector<bool> composite(static_cast<std::size_t>(limit) + 1, false);
    gPrimes.clear();
    for (std::int64_t i = 2; i <= limit; ++i) {
        if (composite[i])
            continue;
        gPrimes.push_back(i);
        for (std::int64_t k = i * i; k <= limit; k += i)
            composite[k] = true;
    }
    gPrimeLimit = limit;
}

std::int64_t LegendreExponent(std::int64_t n, std::int64_t p) {
    std::int64_t e = 0;
    while (n > 0) {
        n /= p;
        e += n;
    }
    return e;
}

} // namespace

bool EquallyProbable(std::int64_t R1, std::int64_t K1, std::int64_t K2, std::int64_t i,
                     std::int64_t j) {
    if (i == j)
        return true;
    std::array<std::int64_t, 4> left{i, R1 - i, K1 - i, K2 - R1 + i};
    std::array<std::int64_t, 4> right{j, R1 - j, K1 - j, K2 - R1 + j};
    std::sort(left.begin(), left.end());
    std::sort(right.begin(), right.end());
    if (left == right)
        return true;
    const std::int64_t top = std::max(left[3], right[3]);
    std::lock_guard lock(gPrimeMutex);
    PrimesUpTo(top);
    for (std::int64_t p : gPrimes) {
        if (p > top)
            break;
        std::int64_t e = 0;
        for (int k = 0; k < 4; ++k)
            e += LegendreExponent(left[k], p) - LegendreExponent(right[k], p);
        if (e != 0)
            return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------

PolicyResult CheckTablePolicy(double N, double R1, double R2, double C1, double C2, double MEN,
                              double MMT) {
    PolicyResult r;
    double E = R1 * C1 / N;
    for (double e : {R1 * C2 / N, R2 * C1 / N, R2 * C2 / N})
        if (e < E)
            E = e;
    if (E < MEN) {
        r.eligible = false;
        r.code = r.code + 0.2;
    }
    double M = R1;
    for (double m : {R2, C1, C2})
        if (m < M)
            M = m;
    if (M < MMT) {
        r.eligible = false;
        r.code = r.code + 0.1;
    }
    return r;
}

} // namespace quillon
