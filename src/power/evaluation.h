// The exact power and size of the tests at one combination.
//
// Every sample table of the design is enumerated in EnumerateTables order with two
// probabilities: under the alternative (proportion of column A p1 in row B, p2 in row
// Not-B; core/tables.h AlternativeProbabilities) and under the null hypothesis at the pooled
// proportion
//   p0 = (m p1 + (N - m) p2) / N   (comparative trial, m in row B)
//   p0 = x p1 + (1 - x) p2         (cross-sectional study, row-B proportion x),
// taken as p1 itself when p1 = p2. Each table gets the P values of the tests and the
// MEN/MMT policy as the particular-proportion study gives them (study/significance.h), and
//   Power = the significant proportion (P <= alpha) of the alternative probabilities,
//   Size  = the same of the null probabilities,
// each from the significant tables of the pass (study/significant_sums.h), the size by the
// same sums by margins as the particular study's "Prop sig.", so that at p1 = p2 = p the
// power and the size are that study's "Prop sig." at pi(col) = p, and the size is always
// its "Prop sig." at pi(col) = p0, bit for bit. A table outside the policy is never
// significant.
//
// Limits: those of the enumeration (N up to 10000; fewer than 2^32 tables; the memory check
// below refuses a combination that cannot be held).
#pragma once

#include "core/designs.h"
#include "core/tables.h"
#include "study/significance.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillon {

// One combination of the power study's lists.
struct PowerPoint {
    DesignCode design = ComparativeTrial;
    std::int64_t N = 20;
    double row = 10;           // x: pi(row) (design 1) or the number m in row 1 (design 2)
    double p1 = 0.2;           // proportion in column 1 within row 1 (B)
    double p2 = 0.5;           // proportion in column 1 within row 2 (Not-B)
    double MEN = 0;            // minimum expected number
    double MMT = 1;            // minimum marginal total (at least 1)
    std::vector<int> tests{1}; // requested registered tests, in the order typed, repeats kept
    double alpha = 0.05;       // significance level
};

// p0 of the point (see above).
double PooledProportion(const PowerPoint& point);

struct PowerTestResult {
    int test = 0;
    double power = 0;
    double size = 0;
};

struct PowerEvaluation {
    PowerPoint point;
    double pooled = 0; // p0
    // Both empty when only the power and size were asked for:
    TableArray tables;                    // cells, null probabilities at p0, test columns
    std::vector<double> alternative;      // probability under the alternative, row r at r - 1
    std::vector<PowerTestResult> results; // one per distinct requested test, first occurrence
    bool allTestColumns = false;

    // Precondition: the test was requested.
    const PowerTestResult& ForTest(int test) const;
};

struct PowerOptions {
    // Every registered test column (for the results file), or only the requested tests.
    bool allTestColumns = true;
    // Only the power and size (a summary-only run): the significant tables alone are given
    // probabilities (SignificantTables), and the evaluation keeps neither the table array
    // nor the alternative probabilities. The figures are those of the full evaluation, bit
    // for bit.
    bool summaryOnly = false;
    // Worker threads; 0 = the whole of the engine's pool.
    unsigned threads = 0;
    StageProgress progress;
    // The P values and orders of an earlier combination of the run, used when this one
    // shares its pass (p1 and p2 change only the probabilities) and kept for the next when
    // it does not (nothing: always computed).
    std::shared_ptr<PValueReuse> reuse;
};

// Preconditions (checked by the run): design 1 or 2; 1 <= N <= MaxLogFactorialArgument;
// 0 <= p1, p2 <= 1; design 1: 0 <= x <= 1; design 2: x a whole number 0..N; MMT >= 1; tests
// registered. Returns nothing when the progress callback asked to stop.
std::optional<PowerEvaluation> EvaluatePower(const PowerPoint& point,
                                             const PowerOptions& options = {});

// Memory the evaluation needs at its peak, in bytes, and the number of tables.
struct PowerMemoryEstimate {
    std::uint64_t tables = 0;
    std::uint64_t bytes = 0;
};
PowerMemoryEstimate EstimatePowerMemory(const PowerPoint& point, bool allTestColumns);

// The refusal of a point that cannot fit (the particular study's memory refusal), or
// nothing when it fits.
std::optional<std::string> PowerMemoryRefusal(const PowerPoint& point, bool allTestColumns,
                                              std::optional<std::uint64_t> availableBytes);

} // namespace quillon
