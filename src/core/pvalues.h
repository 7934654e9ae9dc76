// P values of the seven two-sided tests of a 2 x 2 table, and the MEN/MMT policy check.
//
// Tests 1-3, chi squared with D0 = ad - bc and Q = R1 R2 C1 C2:
//   1 Pearson   N D0^2 / Q
//   2 Yates     N Y^2 / Q,  Y = |D0| - N/2, set to 0 when Y <= 0.5
//   3 'N - 1'   (N - 1) D0^2 / Q
// and P = 2 CumulativeNormal(-chi^0.5), uncapped.
// CumulativeNormal integrates the normal density from -6 by the midpoint rule with step
// .01, starting from 2.5e-9 for the tail below -6; its figures differ from an exact normal
// distribution function in the sixth significant digit, and the program's figures are
// those of this integral.
//
// Tests 4-7, Fisher-Irwin on the working table (smallest cell A top left, B <= C):
//   P(i) = ExpBase^(K - LF(i) - LF(R1 - i) - LF(K1 - i) - LF(K2 - R1 + i)), i = 0..R1
//   4 doubling one-sided         2 (min(S_lo, S_hi) + P(A)), capped at 1
//   5 as frequent or less        sum of P(j) with P(j) <= P(A), capped at 1
//   6 mid-P doubling             2 min(S_lo, S_hi) + P(A)
//   7 mid-P less frequent        sum of P(j) with P(j) < P(A) + P(A)/2, capped at 1
// Ties in tests 5 and 7 are decided exactly: tables exactly as probable as the observed
// one (equal factorial products, checked in integers) count in test 5 and not in test 7,
// whatever the last bits of their computed probabilities say. All other comparisons and
// sums are those of the computed doubles in ascending j.
//
// Every sum is the one its loop over ascending j forms, bit for bit, though most tables do
// not run that loop. Where the computed terms rise to their largest and then fall (as the
// exact ones do, strictly), the terms a sum takes are a run from j = 0 and a run to
// j = R1: the first run's sum is a running sum of the terms, formed once per margins, and
// the second is added term by term from there, ending where the terms, falling, no longer
// change the sum (a term below half a unit in the last place of the sum adds nothing, nor
// does any smaller one after it). S_hi, summed from j = A + 1, is formed only where it may
// be the smaller tail: a bound of the terms' sum from above A settles the rest. Terms that
// do not rise and fall so are summed by the loop itself.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <span>
#include <string_view>
#include <vector>

namespace quillon {

// Chi squared value of test 1, 2 or 3. Precondition: no zero margin; 1 <= test <= 3.
double ChiSquaredValue(double a, double b, double c, double d, int test);

// The standard normal distribution function by the program's midpoint integral.
// Bit-identical to the step-by-step loop (the partial sums at the grid points are
// computed once, by the same repeated additions).
double CumulativeNormal(double z);

// 2 CumulativeNormal(-chi^0.5), the P value of tests 1 to 3 (not capped at 1).
double ChiSquaredPValue(double chiSquared);

// Whether a chi squared value gives a P value above a level alpha, decided without the
// integral where the value lies clearly below the critical one. ChiSquaredPValue falls as
// chi squared grows, up to roundings of a few units in the last place (the integral's
// steps, ExpBase, the square root); the largest value whose P value exceeds alpha by a
// relative 1e-9, found once by bisection, leaves ample room for them, so every value at
// or below it has a P value above alpha.
class ChiSquaredDecision {
public:
    explicit ChiSquaredDecision(double alpha);
    // True when ChiSquaredPValue(chiSquared) > alpha is certain without computing it.
    bool CertainlyAbove(double chiSquared) const { return chiSquared <= below_; }

private:
    double below_ = -1; // -1: no value is decided so
};

struct FisherPValues {
    double test4 = 0, test5 = 0, test6 = 0, test7 = 0;
    double operator[](int test) const; // test 4..7
};

// The working table: smallest cell A (first of a, b, c, d on ties), its neighbours B <= C,
// the opposite D. Counts must be whole and non-negative.
struct FisherWorkingTable {
    std::int64_t A = 0, B = 0, C = 0, D = 0;
    std::int64_t R1() const { return A + B; }
    std::int64_t K1() const { return A + C; }
    std::int64_t K2() const { return B + D; }
    std::int64_t N() const { return A + B + C + D; }
};
FisherWorkingTable MakeWorkingTable(std::int64_t a, std::int64_t b, std::int64_t c, std::int64_t d);

// The hypergeometric terms P(0..R1) of one set of working-table margins. Every table
// with these margins shares them, so the studies compute them once per margins.
class FisherTerms {
public:
    FisherTerms(std::int64_t R1, std::int64_t K1, std::int64_t K2);
    // The same terms from log factorials already at hand: logFactorials[x] must be
    // LogFactorial(x) for every x up to K1 + K2 (a pass holds them for its N).
    FisherTerms(std::int64_t R1, std::int64_t K1, std::int64_t K2,
                std::span<const double> logFactorials);
    // The terms of margins whose total lies beyond the log-factorial cache (a single
    // table's analysis): each from core/hypergeometric.h, raised from its logarithm by
    // ExpBase as every term is. Only the terms that are not 0 as computed are held, those
    // within the exponent range of a double from the largest; the others add nothing to
    // any sum, so the P values are those of the whole set. Memory and time grow with the
    // spread of the terms, about the square root of the total.
    static FisherTerms WithoutCache(std::int64_t R1, std::int64_t K1, std::int64_t K2);

    std::int64_t R1() const { return R1_; }
    // The terms P(First()) .. P(First() + P().size() - 1); every other term is 0. First()
    // is 0 for the terms of the cache, which holds them all.
    const std::vector<double>& P() const { return p_; }
    std::int64_t First() const { return first_; }
    // The index j != A whose probability equals P(A) exactly, or -1. The hypergeometric
    // terms are strictly unimodal, so there is at most one.
    std::int64_t TiePartner(std::int64_t A) const;
    // The P values of tests 4 to 7 for the working table with top-left cell A.
    FisherPValues PValues(std::int64_t A) const;
    // For each of tests 4 to 7 a number at most the P value PValues(A) gives, from the
    // running sums alone (0 where the terms do not rise and fall, or P(A) is not held):
    // where it exceeds a level, so does the P value, which then need not be formed.
    FisherPValues LowerBounds(std::int64_t A) const;

private:
    FisherTerms() = default;
    double Term(std::int64_t j) const;
    // Every term from the log factorials lf(x), and what Prepare forms from them.
    template <typename LogFactorialOf> void Build(LogFactorialOf lf);
    // The tied partner of index a of p_ (an index of p_ plus first_, or -1), looked for
    // beside `crossing`, where the terms on the other side of the mode cross P(A).
    std::int64_t TieNear(std::int64_t a, std::int64_t crossing) const;
    // The running sums and the shape of the terms, once they are in place.
    void Prepare();
    // The four sums by the loop over every held term.
    FisherPValues PValuesByLoop(std::int64_t A) const;
    // s plus the terms from index `from` (of p_) to the last, in ascending order.
    double AddTail(double s, std::size_t from) const;

    std::int64_t R1_ = 0, K1_ = 0, K2_ = 0;
    std::int64_t first_ = 0;
    std::vector<double> p_;
    std::vector<double> rising_;  // rising_[k]: p_[0] + ... + p_[k - 1] in ascending order
    std::vector<double> falling_; // falling_[k]: p_[k] + ... + p_.back(), from the last down
    std::size_t mode_ = 0;        // in p_: the first largest term
    bool unimodal_ = false;       // the held terms rise to mode_ and fall after it
    double tieScreen_ = -1;       // the relative rounding of a term, when not the cache's
    double screen_ = 0;           // the screen in use: tieScreen_, or the cache's
    double rounding_ = 0;         // relative: the rounding of any sum of the held terms
};

// P values of tests 4, 5, 6 and 7. Counts are whole, non-negative, with a total of at
// most MaxLogFactorialArgument (the terms of the cache, as every study computes them).
FisherPValues FishersExactTest(std::int64_t a, std::int64_t b, std::int64_t c, std::int64_t d);
// The same for any total up to MaxTermsTotal, by the cache up to MaxLogFactorialArgument
// and by FisherTerms::WithoutCache above it.
FisherPValues FishersExactTestAnyTotal(std::int64_t a, std::int64_t b, std::int64_t c,
                                       std::int64_t d);

// The largest total a single table's Fisher-Irwin tests take. The terms themselves need
// memory and time of the order of the square root of the total; what bounds the total is
// the exact tie rule, whose prime table up to the largest factorial takes one bit a number
// (125 MB and some seconds at a thousand million) when two terms come close enough to be
// checked.
inline constexpr std::int64_t MaxTermsTotal = 1'000'000'000;

// True when i!(R1-i)!(K1-i)!(K2-R1+i)! equals j!(R1-j)!(K1-j)!(K2-R1+j)!, that is when the
// two tables of these margins are exactly equally probable. Decided by prime exponents.
bool EquallyProbable(std::int64_t R1, std::int64_t K1, std::int64_t K2, std::int64_t i,
                     std::int64_t j);

// Codes stored in place of a P value for a table outside the policy; all exceed 1.
inline constexpr double PolicyCodeMarginal = 1.0 + 0.1;     // MMT fails
inline constexpr double PolicyCodeExpected = 1.0 + 0.2;     // MEN fails
inline constexpr double PolicyCodeBoth = (1.0 + 0.2) + 0.1; // both fail

// Stored in place of the P value of an eligible table that a pass deciding only P <= alpha
// found above alpha: above every P value and every policy code, so it sorts last and is
// never significant under either rule. It is never shown or written.
inline constexpr double NotSignificantMarker = std::numeric_limits<double>::infinity();

struct PolicyResult {
    bool eligible = true; // the program's "y"
    double code = 1;      // 1, or a policy code
};

// The smallest expected number is compared with MEN and the smallest margin with MMT.
PolicyResult CheckTablePolicy(double N, double R1, double R2, double C1, double C2, double MEN,
                              double MMT);

} // namespace quillon
