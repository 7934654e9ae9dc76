// Effect sizes of one 2 x 2 table: row B against row Not-B, for column A.
//
// Cells a (B, A), b (B, Not-A), c (Not-B, A), d (Not-B, Not-A); risks p1 = a / (a + b) and
// p2 = c / (c + d).
//
//  Sample odds ratio        a d / (b c).
//  Conditional odds ratio   the conditional maximum likelihood estimate of the odds ratio
//                           given all margins, and its exact (conditional) 95% interval:
//                           the statistics of R's fisher.test(), found from the noncentral
//                           hypergeometric distribution of a (see effects.cpp).
//  Risk ratio               p1 / p2 with the Katz log interval
//                           exp(ln(p1 / p2) +- z sqrt(1/a - 1/(a + b) + 1/c - 1/(c + d))).
//  Risk difference          p1 - p2 with Newcombe's hybrid score interval (his method 10:
//                           the Wilson score limits of each risk combined).
//
// Zero cells: the sample odds ratio is 0 or infinite, the conditional estimate 0 or
// infinite at the ends of the range of a (its interval then starts at 0 or ends at
// infinity), the Katz interval is undefined when a or c is 0; the risk difference and its
// interval are always defined.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quillon {

// The two-sided 95% normal quantile, qnorm(0.975) in R.
inline constexpr double Z975 = 1.959963984540054;

// The conditional estimate and interval are found when a can take at most this many
// values under the margins (each evaluation of the distribution visits all of them).
inline constexpr std::int64_t MaxConditionalSupport = 1'000'000;

// Relative accuracy to which the conditional estimate and interval limits are found: the
// roots are located in ln(odds ratio) to this absolute tolerance.
inline constexpr double ConditionalTolerance = 1e-12;

struct EffectInterval {
    double lower = 0, upper = 0; // 0 and +infinity stand for open ends
};

struct EffectSizes {
    double sampleOddsRatio = 0;            // +infinity when b c = 0 < a d
    bool conditionalComputed = false;      // false: a takes more than MaxConditionalSupport values
    double conditionalOddsRatio = 0;       // 0 or +infinity at the ends of the range of a
    EffectInterval conditionalInterval;    // exact 95%
    double riskRatio = 0;                  // +infinity when c = 0 < a
    bool riskRatioIntervalDefined = false; // the Katz interval needs a > 0 and c > 0
    EffectInterval riskRatioInterval;
    double riskDifference = 0;
    EffectInterval riskDifferenceInterval; // Newcombe's hybrid score
};

// Preconditions: whole, non-negative cells with no zero row or column total (as left by
// ValidateTable).
EffectSizes ComputeEffectSizes(double a, double b, double c, double d);

// The text appended after an analysis, from its heading to the line of 100 hyphens, with
// `eol` after every line.
std::string EffectSizesText(double a, double b, double c, double d, std::string_view eol);

} // namespace quillon
