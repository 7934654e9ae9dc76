// Probabilities of 2 x 2 sample tables.
//
// A table has cells a (B, A), b (B, Not-A), c (Not-B, A), d (Not-B, Not-A).
// Under the null hypothesis
//   comparative trial (row totals m, N - m fixed, common proportion p of column A):
//       P = C(m, a) C(N - m, c) p^(a + c) (1 - p)^(N - a - c)
//   cross-sectional study (only N fixed, row-B proportion x, column-A proportion p):
//       P = N! / (a! b! c! d!) x^r (1 - x)^(N - r) p^(a + c) (1 - p)^(N - a - c),  r = a + b.
// Coefficients are formed from the log-factorial cache and turned back into numbers by
// raising ExpBase (2.718281828, a ten-digit stand-in for e) to the logarithm; every study
// result of the program is defined by this arithmetic, so it is kept operation for
// operation, including the order of every subtraction.
//
// Bounds: the kernel t^k (1 - t)^(n - k) is unimodal with its maximum at k / n, so over an
// interval [p, p + w] its minimum lies at an end and its maximum at an end or at k / n.
// The product of per-factor bounds bounds the probability over the rectangle of
// proportions.
//
// Limits: LogFactorial sums ln i one term at a time, so its relative rounding grows
// slowly with the argument; the cache holds at most MaxLogFactorialArgument entries.
#pragma once

#include "core/designs.h"
#include "core/large_array.h"
#include "core/test_registry.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace quillon {

inline constexpr double ExpBase = 2.718281828;

// ExpBase raised to x, the program's only way back from a logarithm.
double ExpBasePower(double x);

// ln ExpBase: the logarithmic form of a probability is exp(lnM * LnExpBase() + ln kernels).
double LnExpBase();

// The largest argument the log-factorial cache accepts (a table total of ten million;
// the cache then holds 80 MB).
inline constexpr std::int64_t MaxLogFactorialArgument = 10'000'000;

// ln(x!) for 0 <= x <= MaxLogFactorialArgument. Grows the process-wide cache to exactly x
// when x exceeds its upper bound. Safe to call from several threads at once.
double LogFactorial(std::int64_t x);
// The cache's current upper bound U (0 on a fresh cache).
std::int64_t LogFactorialUpperBound();
// Back to a single unset slot; for start-up and tests only (not while other threads read).
void ResetLogFactorialCache();

struct KernelBoundsResult {
    double value = 0; // f(p)
    double upper = 0; // largest f over [p, p + w]
    double lower = 0; // smallest f over [p, p + w]
};

// f(t) = t^k (1 - t)^(n - k) at p and bounded over [p, p + w].
// Preconditions: 0 <= p, w >= 0, p + w <= 1, 0 <= k <= n, n >= 1.
KernelBoundsResult KernelBounds(double p, double w, std::int64_t k, std::int64_t n);

// ln f(t) = k ln t + (n - k) ln(1 - t), with 0 ln 0 taken as 0 (so 0^0 = 1). Where a
// coefficient ExpBase^lnM overflows or a kernel underflows (totals beyond about a
// thousand) the probabilities are formed from these logarithms instead of the products;
// the enumeration and the search share this one function so that their sums agree to the
// last bit. Preconditions: 0 <= t <= 1, 0 <= k <= n.
double LogKernel(double t, std::int64_t k, std::int64_t n);

// C(n, k) p^k (1 - p)^(n - k) with the coefficient through ExpBase.
double BinomialProbability(double p, std::int64_t k, std::int64_t n);

// The enumerated sample tables, numbered from 1 like the program's TableArray:
// columns 1-4 cells, 5 probability, 6 lower and 7 upper bound, 7 + t the result of test t.
// Stored column by column and compactly (cells as 32-bit integers, test columns only
// once something is written to them), since a comparative trial of N = 10000 has 25
// million rows.
class TableArray {
public:
    // A capacity as the drivers create it (rows 0 to capacity).
    explicit TableArray(std::size_t capacity = 10);

    std::size_t Count() const { return count_; }
    std::size_t Capacity() const { return capacity_; }

    // Appends a row, doubling the capacity when it is exceeded.
    void Append(std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d, double probability,
                double lower, double upper);
    // Appends a row of cells only, for an evaluation that computes the probabilities of the
    // few tables it needs itself: the probability and bound columns stay empty.
    void AppendCells(std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d);
    // Empties the rows; the capacity figure stays, as a refilled array keeps its size.
    void Clear();
    // Room for n rows without reallocation (the capacity figure is unchanged).
    void Reserve(std::size_t n);

    // Row 1..Count(), cell 1..4.
    std::int32_t Cell(std::size_t row, int cell) const {
        return cells_[(row - 1) * 4 + (cell - 1)];
    }
    double Probability(std::size_t row) const { return probability_[row - 1]; }
    double Lower(std::size_t row) const { return lower_[row - 1]; }
    double Upper(std::size_t row) const { return upper_[row - 1]; }
    // The columns whole, row r at index r - 1.
    std::span<const double> Probabilities() const { return probability_; }
    std::span<const double> Uppers() const { return upper_; }

    // Test columns (test t = column 7 + t). A column exists once enabled (and then
    // grows with the rows); Clear() drops it again.
    void EnableTest(int test);
    bool HasTest(int test) const { return enabled_[test - 1]; }
    TestSet EnabledTests() const {
        TestSet set{};
        for (std::size_t t = 1; t < set.size(); ++t)
            set[t] = enabled_[t - 1];
        return set;
    }
    double Result(std::size_t row, int test) const { return results_[test - 1][row - 1]; }
    void SetResult(std::size_t row, int test, double value) { results_[test - 1][row - 1] = value; }
    // A test column whole, row r at index r - 1.
    std::span<const double> Results(int test) const { return results_[test - 1]; }
    // The column of an enabled test whole, row r at index r - 1, for a pass that fills it.
    std::span<double> ResultColumn(int test) { return results_[test - 1]; }

    // The value in the program's numbering: column 1..7 + test, row 1..Count().
    double Value(int column, std::size_t row) const;

private:
    std::size_t count_ = 0;
    std::size_t capacity_ = 10;
    LargeArray<std::int32_t> cells_;
    LargeArray<double> probability_, lower_, upper_;
    std::array<LargeArray<double>, TestNumberLimit - 1> results_; // test t at t - 1
    std::array<bool, TestNumberLimit - 1> enabled_{};
    bool anyEnabled_ = false;
};

// Every table of the design, in the program's order (cross-sectional: r = a + b, then a,
// then c; comparative trial: a, then c), into rows 1..Count() of `tables` (cleared first).
// design 1: x is the row-B proportion with interval width wx; design 2: x is the number m
// in row B (0 <= m <= N) and wx is ignored. Any other design leaves `tables` untouched.
// Preconditions: N >= 1 for design 1, 0 <= p, p + w <= 1, 0 <= x, x + wx <= 1 (design 1).
void EnumerateTables(DesignCode design, std::int64_t N, double p, double w, double x, double wx,
                     TableArray& tables);

// The tables of EnumerateTables in its order, with their cells only (AppendCells); m is the
// comparative trial's number in row B.
void EnumerateTableCells(DesignCode design, std::int64_t N, std::int64_t m, TableArray& tables);

// The probabilities of the tables of EnumerateTables(design, N, ., 0, x, 0), in its order,
// when the proportion of column A is p1 in row B and p2 in row Not-B:
//   comparative trial (m = x in row B):
//       C(m, a) C(N - m, c) p1^a (1 - p1)^(m - a) p2^c (1 - p2)^(N - m - c)
//   cross-sectional study (row-B proportion x):
//       N! / (a! b! c! d!) x^r (1 - x)^(N - r) p1^a (1 - p1)^b p2^c (1 - p2)^d,  r = a + b.
// The enumeration's arithmetic: the same coefficient ExpBase^lnM, the kernels as powers
// multiplied in the order written, and the same logarithmic form where the coefficient
// overflows or a kernel underflows. When p1 == p2 the figures are EnumerateTables' own
// probabilities at p = p1, bit for bit (there the two row kernels are one column kernel).
// Preconditions as EnumerateTables', with 0 <= p1, p2 <= 1.
void AlternativeProbabilities(DesignCode design, std::int64_t N, double p1, double p2, double x,
                              std::vector<double>& probabilities);

// A table's coefficient M = ExpBase^lnM (TableCoefficientLog's lnM), with its logarithm for
// the logarithmic form. It depends only on the cells, so an evaluation that reuses a table
// across proportions computes it once.
struct TableCoefficient {
    double lnM = 0;
    double M = 0;
};
TableCoefficient MakeTableCoefficient(double lnM);

// A table's probability and the bounds of it over the interval(s).
struct TableProbability {
    double probability = 0, lower = 0, upper = 0;
};

// The kernels of one point under the null hypothesis, margin by margin: the column kernel
// and its bounds for every column total k and, cross-sectionally, the row kernel for every
// row total r, each with its logarithms. A table's probability is its coefficient times
// its margins' kernels, as EnumerateTables writes it (EnumerateTables uses this class), so
// an evaluation that needs the probabilities of a few tables computes only theirs, with the
// same bits. Preconditions as EnumerateTables'.
class NullKernels {
public:
    NullKernels(DesignCode design, std::int64_t N, double p, double w, double x, double wx);

    // The table of row total r (the comparative trial's m) and column total k.
    TableProbability Of(const TableCoefficient& coefficient, std::int64_t r, std::int64_t k) const;

    // The logarithms of a kernel's value and bounds, and which of them underflowed.
    struct Factor {
        KernelBoundsResult direct;
        KernelBoundsResult log;
        bool value = false, upper = false, lower = false;
    };

    // The factor of column total k and (cross-sectionally) of row total r, for sums that
    // apply one margin's kernels to many coefficients at once.
    bool Cross() const { return cross_; }
    const Factor& Column(std::int64_t k) const { return column_[static_cast<std::size_t>(k)]; }
    const Factor& Row(std::int64_t r) const { return row_[static_cast<std::size_t>(r)]; }

private:
    bool cross_;
    std::vector<Factor> column_, row_; // by k; by r (cross-sectional only)
};

// The kernels of AlternativeProbabilities at one (p1, p2, x), from the powers of p1, p2 and
// their complements computed once per exponent: p^i is std::pow(p, i) whether it is taken
// for one table or many, so a table's probability has the bits AlternativeProbabilities
// gives it (which uses this class). Preconditions as AlternativeProbabilities'.
class AlternativeKernels {
public:
    AlternativeKernels(DesignCode design, std::int64_t N, double p1, double p2, double x);

    // The probability of table (a, b, c, d) under the alternative.
    double Of(const TableCoefficient& coefficient, std::int64_t a, std::int64_t b, std::int64_t c,
              std::int64_t d) const;

    // t^i and (1 - t)^i for i = 0..n, with ln t and ln(1 - t).
    struct Powers {
        std::vector<double> of, complement;
        double log = 0, logComplement = 0;
        void Fill(double t, std::int64_t n);
        double Kernel(std::int64_t k, std::int64_t rest) const { return of[k] * complement[rest]; }
        double LogKernel(std::int64_t k, std::int64_t rest) const;
    };

private:
    bool cross_;
    Powers first_, second_;
    std::vector<double> row_, logRow_; // by r (cross-sectional only)
};

// Number of tables EnumerateTables yields.
std::uint64_t TableCount(DesignCode design, std::int64_t N, std::int64_t m);

} // namespace quillon
