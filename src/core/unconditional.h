// Exact unconditional tests of a 2 x 2 table whose rows are two independent binomial
// samples: row B of m = a + b and row Not-B of n = c + d, both with proportion p of
// column A under the null hypothesis (row totals fixed, as in a comparative trial).
//
//   P value = max over 0 <= p <= 1 of  sum over the tables (a', c') at least as extreme as
//             the observed of C(m, a') C(n, c') p^(a'+c') (1 - p)^(N - a' - c').
//
//   Test 8 orders the tables by the Pearson chi squared N (a'd' - b'c')^2 / (m n k (N - k)),
//   k = a' + c' (0 when k is 0 or N): larger is more extreme.
//   Test 9 orders them by the P value of the Fisher-Irwin test taking tables as frequent or
//   less in either tail: smaller is more extreme.
//
// Both orderings are unchanged when the columns are exchanged (a' -> m - a', c' -> n - c'),
// so every region holds the mirror of each of its tables and its total is the same at p
// and at 1 - p: the maximum is sought over 0 <= p <= 1/2 and p* is reported there.
//
// Method. Grouping the region by k = a' + c',
//   P(p) = sum_k w_k b_k(p),  b_k(p) = C(N, k) p^k (1 - p)^(N - k),
// with w_k the hypergeometric probability of the region's tables among those with a' + c' = k
// (so 0 <= w_k <= 1 and nothing overflows at any N). Two bounds of P over an interval
// [lo, hi] of p, the smaller taken:
//   first order:  each b_k is largest at k / N when that lies inside, otherwise at the
//                 nearer end; sum_k w_k max b_k.
//   second order: in the log odds t = ln(p / (1 - p)), Taylor's theorem about the interval's
//                 midpoint c, P(t) <= P(c) + P'(c) s + M s^2 / 2 with s = t - t_c and M a
//                 bound of P'' over the interval: P'' = sum_k w_k b_k ((k - Np)^2 - Np(1 - p)),
//                 each bracket bounded at an end (it is convex in p) and multiplied by the
//                 term's largest or smallest value as its sign asks. Near a maximum M is
//                 close to the true negative curvature, so the bound is within O(s^3) of
//                 P and flat maxima are certified without halving their neighbourhood to
//                 the width of the tolerance. Intervals from p = 0 take the first bound.
// Intervals from 0 are halved in p, others at the midpoint of their log odds. The total
// at p = 1/2 is a candidate of its own, since maxima of two-sided regions often lie there.
// Branch and bound: the interval with the largest bound is halved and its halves' sums
// formed, until the largest bound is at most P(p*)(1 + CertificateRelative) +
// CertificateAbsolute, where P(p*) is the largest total found at a midpoint or at 1/2.
// The printed P value is the total at p*; the certificate proves no p gives more.
//
// Arithmetic. These are new tests with their own arithmetic, in natural logarithms:
// ln C(N, k) and the hypergeometric terms from the program's log-factorial cache, terms
// exp(ln C + k ln p + (N - k) log1p(-p)). Each term carries a relative rounding of a few
// ulps of its exponent (of magnitude about 2N), and each sum one ulp a weight added; the
// bounds are inflated by (weights added + 8N + 16) 2^-52 relative, and the Taylor bound
// further by that multiple of the magnitudes of its sums, before the certificate is tested,
// so it holds for the computed totals. The coefficients themselves come from the
// log-factorial cache, whose sums carry a relative error of about N 2^-52 in ln N!: the
// totals are those of these coefficients.
// Test 8's ties are decided exactly: chi squared values are compared cross-multiplied in
// 128-bit integers. Test 9's values are sums of computed hypergeometric terms, taken in
// ascending order from both tails of each k; tables of one k that are exactly equally
// probable (decided by prime exponents) share one value, and a table and its mirror share
// one value by construction. Tables of different k can have exactly equal values without
// being mirrors (4/12 against 9/11 ties with 2/12 against 7/11 at 268/7429), which computed
// sums do not show; so a table is as extreme as the observed when its value is at most the
// observed value times 1 + FisherTieRelative, the relative tolerance R's fisher.test uses
// for the same comparison.
//
// Limits: a single table visits every (a', c'), (m + 1)(n + 1) of them; totals above
// MaxUnconditionalTotal are refused. The studies' walk over every table of a design adds
// the tables from most to least extreme to one search kept from table to table.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <vector>

namespace quillon {

inline constexpr int UnconditionalChiSquaredTest = 8;
inline constexpr int UnconditionalFisherTest = 9;

// "Exact unconditional test, chi squared ordering" (8) and "..., Fisher-Irwin ordering" (9).
std::string_view UnconditionalTestName(int test);

// The certificate: no proportion gives a total above P (1 + relative) + absolute.
inline constexpr double CertificateRelative = 1e-7;
inline constexpr double CertificateAbsolute = 1e-15;

// Test 9 counts a table as extreme as the observed when its value is at most this much
// larger, relatively.
inline constexpr double FisherTieRelative = 1e-7;

// The largest table total the unconditional tests accept (a single table then visits
// 2.5 x 10^7 tables, about a second a test).
inline constexpr std::int64_t MaxUnconditionalTotal = 10'000;

struct UnconditionalOptions {
    // Equal intervals of [0, 1/2] the search starts from (at least 1).
    int initialIntervals = 32;
};

struct UnconditionalResult {
    double pValue = 0;            // the total at `proportion` (at most 1)
    double proportion = 0;        // p*, in [0, 1/2]; 1 - p* gives the same total
    double bound = 0;             // the proven upper bound of the total over [0, 1]
    bool certified = false;       // false only if intervals became too narrow to halve
    bool everyTable = false;      // the region is every table: the total is 1 at every p
    std::int64_t evaluations = 0; // totals and bounds formed
};

// Sign of chi(a1, c1) - chi(a2, c2) for tables of one design (rows m and n), exactly.
// Preconditions: 0 <= a <= m, 0 <= c <= n, m + n <= MaxUnconditionalTotal.
int CompareChiSquared(std::int64_t m, std::int64_t n, std::int64_t a1, std::int64_t c1,
                      std::int64_t a2, std::int64_t c2);

// The test-9 ordering value of every table of the design (N, m), at index a' (n + 1) + c'.
std::vector<double> FisherOrderingValues(std::int64_t N, std::int64_t m);

// The P value of test 8 or 9 for one table. Preconditions: whole, non-negative cells with
// a total of 1 to MaxUnconditionalTotal; test 8 or 9.
UnconditionalResult UnconditionalTest(int test, std::int64_t a, std::int64_t b, std::int64_t c,
                                      std::int64_t d, const UnconditionalOptions& options = {});

// The P values of test 8 or 9 for every table of the comparative design (N, m), at index
// a' (n + 1) + c' with n = N - m. Preconditions: 0 <= m <= N, 1 <= N <= MaxUnconditionalTotal.
std::vector<UnconditionalResult> UnconditionalDesign(int test, std::int64_t N, std::int64_t m,
                                                     const UnconditionalOptions& options = {});

// The P values alone of UnconditionalDesign, at index a' (n + 1) + c'. A design with more
// in row 1 than in row 2 is computed as the design with its rows exchanged, so that a
// table and its row-exchanged image get one P value whichever row total a study walks.
std::vector<double> UnconditionalDesignPValues(int test, std::int64_t N, std::int64_t m);

// The certified maximum over 0 <= p <= 1/2 of sum_k w_k b_k(p), where w is symmetric
// (w_k = w_(N-k)). Weights are added a table at a time; the intervals and their bounds are
// kept, so the next certificate starts where the last one ended.
class NuisanceMaximumSearch {
public:
    NuisanceMaximumSearch(std::int64_t N, int initialIntervals);

    // w_k += dw and w_(N-k) += dw (once when 2k = N). Precondition: 0 <= 2k <= N, dw >= 0.
    void Add(std::int64_t k, double dw);
    // Refines until the certificate holds and returns the maximum.
    UnconditionalResult Certify();
    // sum_k w_k b_k(p) in ascending k.
    double Total(double p) const;
    std::size_t IntervalCount() const { return intervals_.size(); }

private:
    struct Interval {
        double lo, hi, mid;
        double lnLo, ln1Lo, lnHi, ln1Hi, lnMid, ln1Mid;
        double tLo, tHi, tMid; // log odds
        // Sums over the weighted terms: the total at mid, the terms' largest values over
        // the interval, the total's first derivative in the log odds at mid, a bound of its
        // second derivative over the interval, and the magnitudes of the last two's terms.
        double value, firstOrder, slope, curve, absSlope, absCurve;
    };
    struct Terms {
        double value, firstOrder, slope, curve, absSlope, absCurve;
    };
    Interval MakeInterval(double lo, double hi) const;
    double TermLog(std::int64_t k, double lnP, double ln1P) const;
    double TermAt(std::int64_t k, double lnP, double ln1P) const;
    Terms TermsOf(std::int64_t k, const Interval& iv) const;
    static void Accumulate(Interval& iv, const Terms& t, double w);
    double Upper(const Interval& iv) const;

    std::int64_t N_;
    std::vector<double> lnC_, lnMode_, ln1Mode_, w_;
    std::vector<std::int64_t> active_; // k with w_k > 0, ascending
    std::vector<char> isActive_;
    std::vector<Interval> intervals_;
    double additions_ = 0;
    double lnHalf_ = 0, halfValue_ = 0; // the total at p = 1/2
    std::int64_t evaluations_ = 0;
};

} // namespace quillon
