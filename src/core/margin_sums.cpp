#include "core/margin_sums.h"

#include "core/tables.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <numbers>

namespace quillon {

namespace {

// 2^d for -1023 <= d <= 0 from its bits; d = -1023 gives 0 (the exponent field 0 with a
// zero fraction), which is where a term falls below 2^-1022 of its row's largest.
double PowerOfTwo(std::int32_t d) {
    return std::bit_cast<double>(static_cast<std::uint64_t>(d + 1023) << 52);
}

ScaledNumber Normalised(double mantissa, std::int64_t exponent) {
    if (!(mantissa > 0))
        return {};
    int e = 0;
    const double m = std::frexp(mantissa, &e);
    return {m, static_cast<std::int32_t>(exponent + e)};
}

} // namespace

ScaledNumber ScaledFromDouble(double x) {
    return Normalised(x, 0);
}

ScaledNumber ScaledFromLog(double logValue) {
    if (!(logValue > -HUGE_VAL))
        return {};
    // logValue = (e + f) ln 2 with f in [0, 1): mantissa 2^f / 2, exponent e + 1.
    const double e = std::floor(logValue / std::numbers::ln2);
    const double m = std::exp(logValue - e * std::numbers::ln2);
    return Normalised(m, static_cast<std::int64_t>(e));
}

double ScaledToDouble(ScaledNumber x) {
    if (x.mantissa == 0)
        return 0;
    return std::ldexp(x.mantissa, std::clamp(x.exponent, -2000, 2000));
}

ScaledNumber ScaledCoefficient(double coefficient, double lnM) {
    if (coefficient >= DBL_MIN && coefficient <= DBL_MAX)
        return ScaledFromDouble(coefficient);
    return ScaledFromLog(lnM * LnExpBase());
}

ScaledKernel ScaledKernelBounds(double p, double w, std::int64_t k, std::int64_t n) {
    const KernelBoundsResult kb = KernelBounds(p, w, k, n);
    ScaledKernel out;
    const bool valueNormal = kb.value >= DBL_MIN, upperNormal = kb.upper >= DBL_MIN;
    if (valueNormal)
        out.value = ScaledFromDouble(kb.value);
    if (upperNormal)
        out.upper = ScaledFromDouble(kb.upper);
    if (valueNormal && upperNormal)
        return out;
    // KernelBounds' choice of the upper end, on logarithms.
    const double v = LogKernel(p, k, n);
    const double u = LogKernel(p + w, k, n);
    double logUpper = u < v ? v : u;
    const double mode = static_cast<double>(k) / static_cast<double>(n);
    if (p < mode && mode < p + w)
        logUpper = LogKernel(mode, k, n);
    if (!valueNormal)
        out.value = ScaledFromLog(v);
    if (!upperNormal)
        out.upper = ScaledFromLog(logUpper);
    return out;
}

// ---------------------------------------------------------------------------------------

void CellSum::Add(double coefficient, double lnM) {
    plain_ = plain_ + coefficient;
    lnM_.push_back(lnM);
}

void CellSum::Clear() {
    plain_ = 0;
    lnM_.clear();
}

ScaledNumber CellSum::Result() const {
    if (plain_ <= DBL_MAX)
        return ScaledFromDouble(plain_);
    // Some coefficient, or the sum, is beyond a double: the terms relative to the largest.
    double top = -HUGE_VAL;
    for (double lnM : lnM_)
        top = std::max(top, lnM * LnExpBase());
    double sum = 0;
    for (double lnM : lnM_)
        sum = sum + std::exp(lnM * LnExpBase() - top);
    const ScaledNumber scale = ScaledFromLog(top);
    return Normalised(scale.mantissa * sum, scale.exponent);
}

// ---------------------------------------------------------------------------------------

MarginWeights::MarginWeights(std::size_t rows, std::size_t columns)
    : rows_(rows), columns_(columns), mantissa_(rows * columns, 0.0),
      exponent_(rows * columns, ScaledZeroExponent), first_(rows, columns), last_(rows, 0) {}

void MarginWeights::Set(std::size_t r, std::size_t k, ScaledNumber w) {
    mantissa_[r * columns_ + k] = w.mantissa;
    exponent_[r * columns_ + k] = w.mantissa == 0 ? ScaledZeroExponent : w.exponent;
}

void MarginWeights::Seal() {
    for (std::size_t r = 0; r < rows_; ++r) {
        first_[r] = columns_;
        last_[r] = 0;
        for (std::size_t k = 0; k < columns_; ++k)
            if (mantissa_[r * columns_ + k] != 0) {
                first_[r] = std::min(first_[r], k);
                last_[r] = k + 1;
            }
    }
}

bool MarginWeights::Empty() const {
    for (std::size_t r = 0; r < rows_; ++r)
        if (first_[r] < last_[r])
            return false;
    return true;
}

MarginWeights::Pair MarginWeights::Sum(std::span<const ScaledNumber> rowFirst,
                                       std::span<const ScaledNumber> columnFirst,
                                       std::span<const ScaledNumber> rowSecond,
                                       std::span<const ScaledNumber> columnSecond) const {
    Pair total;
    constexpr std::int32_t kFloor = -1023;
    // A row's largest exponent above this comes from a term whose factors are both non-zero.
    constexpr std::int32_t kSomeTerm = ScaledZeroExponent / 2;
    const ScaledNumber unit{0.5, 1};
    for (std::size_t r = 0; r < rows_; ++r) {
        const std::size_t k0 = first_[r], k1 = last_[r];
        if (k0 >= k1)
            continue;
        const ScaledNumber f1 = rowFirst.empty() ? unit : rowFirst[r];
        const ScaledNumber f2 = rowSecond.empty() ? unit : rowSecond[r];
        const double* wm = mantissa_.data() + r * columns_;
        const std::int32_t* we = exponent_.data() + r * columns_;
        // The largest exponent of the row's terms, for each form.
        std::int32_t top1 = 2 * ScaledZeroExponent, top2 = 2 * ScaledZeroExponent;
        for (std::size_t k = k0; k < k1; ++k) {
            top1 = std::max(top1, we[k] + columnFirst[k].exponent);
            top2 = std::max(top2, we[k] + columnSecond[k].exponent);
        }
        // The row's terms relative to its largest, in four lanes added in a fixed order.
        double s1[4] = {0, 0, 0, 0}, s2[4] = {0, 0, 0, 0};
        for (std::size_t k = k0; k < k1; ++k) {
            const std::size_t lane = (k - k0) & 3;
            const std::int32_t d1 = std::max(we[k] + columnFirst[k].exponent - top1, kFloor);
            const std::int32_t d2 = std::max(we[k] + columnSecond[k].exponent - top2, kFloor);
            s1[lane] = s1[lane] + (wm[k] * columnFirst[k].mantissa) * PowerOfTwo(d1);
            s2[lane] = s2[lane] + (wm[k] * columnSecond[k].mantissa) * PowerOfTwo(d2);
        }
        const double row1 = (s1[0] + s1[1]) + (s1[2] + s1[3]);
        const double row2 = (s2[0] + s2[1]) + (s2[2] + s2[3]);
        if (f1.mantissa != 0 && top1 > kSomeTerm)
            total.first = total.first + std::ldexp(f1.mantissa * row1,
                                                   std::clamp(top1 + f1.exponent, -2000, 2000));
        if (f2.mantissa != 0 && top2 > kSomeTerm)
            total.second = total.second + std::ldexp(f2.mantissa * row2,
                                                     std::clamp(top2 + f2.exponent, -2000, 2000));
    }
    return total;
}

} // namespace quillon
