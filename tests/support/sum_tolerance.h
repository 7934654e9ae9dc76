// How far a regrouped sum of probabilities may lie from the same sum taken table by table
// in table order: every term is non-negative, so reordering and regrouping n terms moves
// the sum by at most about n roundings of 2^-53 each, twice over for the products that
// form the terms; (number of terms) x 2^-52 relative is the bound the engine keeps.
#pragma once

#include <cmath>
#include <cstdint>

namespace quillon::testing {

inline constexpr double kRelativeRoundingPerTerm = 0x1p-52;

// |fast - reference| within terms x 2^-52 of the reference (both 0 counts as equal).
inline bool WithinSumTolerance(double fast, double reference, double terms) {
    return std::abs(fast - reference) <= terms * kRelativeRoundingPerTerm * std::abs(reference);
}

// Max. dif. is a cumulative probability less a P value, the cumulative at most the test's
// significant proportion: its rounding is that of the proportion, in absolute terms.
inline bool WithinExcessTolerance(double fast, double reference, double proportion, double terms) {
    return std::abs(fast - reference) <= terms * kRelativeRoundingPerTerm * std::abs(proportion);
}

} // namespace quillon::testing
