// Sums of table probabilities grouped by margins.
//
// The probability of a sample table is a coefficient M(a, b, c, d) times a kernel of its
// row total r and a kernel of its column total k (tables.h):
//   cross-sectional study  M = N! / (a! b! c! d!),   f(r) = x^r (1 - x)^(N - r)
//   comparative trial      M = C(m, a) C(N - m, c),  no row kernel (one row, f = 1)
// and g(k) = p^k (1 - p)^(N - k). So the probability of any set of tables is
//   sum over r, k of f(r) g(k) W(r, k),   W(r, k) = sum of M over the set's tables
// with those totals. W depends only on which tables are in the set; once it is built,
// each sum costs (N + 1)^2 products (a comparative trial N + 1) however many tables there
// are. The bound of such a sum over a rectangle of proportions is the same form with the
// kernels' upper bounds, since every factor is bounded separately.
//
// Scaling: beyond a total of about 500 the coefficients exceed a double while the kernels
// underflow, so W, f and g are each kept as a mantissa in [.5, 1) with a binary exponent
// of its own, and each row's inner sum is taken relative to its largest term. A factor is
// its plain double where that is a normal number, so the sums of a small table total are
// those of plain products; only where a double cannot hold it does it come from
// logarithms (LogKernel, and ln M times ln ExpBase, as the enumeration forms it).
//
// Accuracy: every term is non-negative, so a sum differs from the table-by-table sum by at
// most about (number of tables) x 2^-52 in relative terms, plus the rounding of the
// logarithms where a factor had to come from them (relative error about |ln factor| x
// 2^-53, which the table-by-table sum then carries too). The order of every addition is
// fixed by N alone, so a sum is the same on any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace quillon {

// mantissa x 2^exponent, with mantissa 0 or in [.5, 1); zero carries ScaledZeroExponent.
struct ScaledNumber {
    double mantissa = 0;
    std::int32_t exponent = -1'000'000;
};
inline constexpr std::int32_t ScaledZeroExponent = -1'000'000;

// A finite non-negative double, scaled; its own bits.
ScaledNumber ScaledFromDouble(double x);
// exp(logValue) (natural logarithm), scaled; -infinity gives zero.
ScaledNumber ScaledFromLog(double logValue);
// The value as a double (0 below the smallest, infinite above the largest).
double ScaledToDouble(ScaledNumber x);

// A coefficient as the enumeration forms it: ExpBase^lnM where that is a finite double,
// else from its logarithm.
ScaledNumber ScaledCoefficient(double coefficient, double lnM);

// The kernel t^k (1 - t)^(n - k) at p and its upper bound over [p, p + w] (KernelBounds'),
// each from the plain double when that is a normal number and from LogKernel otherwise.
struct ScaledKernel {
    ScaledNumber value, upper;
};
ScaledKernel ScaledKernelBounds(double p, double w, std::int64_t k, std::int64_t n);

// W(r, k) for r < rows, k < columns, built one cell at a time.
class MarginWeights {
public:
    MarginWeights(std::size_t rows, std::size_t columns);

    std::size_t Rows() const { return rows_; }
    std::size_t Columns() const { return columns_; }
    // Sets W(r, k); different cells may be set from different threads at once. Seal()
    // follows the last Set and precedes the first Sum.
    void Set(std::size_t r, std::size_t k, ScaledNumber w);
    void Seal();
    ScaledNumber At(std::size_t r, std::size_t k) const {
        return {mantissa_[r * columns_ + k], exponent_[r * columns_ + k]};
    }
    bool Empty() const;

    // sum over r of rowFactor[r] x (sum over k of columnFactor[k] W(r, k)), for two sets
    // of factors at once (a corner's value and its bound share the loads of W). Factors
    // are indexed by r and k; the row factors may be empty for a single row (f = 1).
    struct Pair {
        double first = 0, second = 0;
    };
    Pair Sum(std::span<const ScaledNumber> rowFirst, std::span<const ScaledNumber> columnFirst,
             std::span<const ScaledNumber> rowSecond,
             std::span<const ScaledNumber> columnSecond) const;

    // Bytes held for a table of rows x columns.
    static double Bytes(double rows, double columns) { return rows * columns * 12.0; }

private:
    std::size_t rows_, columns_;
    std::vector<double> mantissa_;
    std::vector<std::int32_t> exponent_;
    // The columns [first, last) of each row that hold anything.
    std::vector<std::size_t> first_, last_;
};

// One cell of W summed from its tables' coefficients in a fixed order: plain doubles while
// they are finite, scaled sums once one is not.
class CellSum {
public:
    void Add(double coefficient, double lnM);
    ScaledNumber Result() const;
    void Clear();

private:
    double plain_ = 0;
    std::vector<double> lnM_; // every term's ln M, for a sum a double cannot hold
};

} // namespace quillon
