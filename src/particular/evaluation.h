// The actual Type I error of the tests at one evaluation point.
//
// Every sample table of the design is enumerated with its probability at the population
// proportion(s) and the upper bound of that probability over the proportion interval(s).
// Each table gets the P value of every test it needs, or a dummy P value (a policy code of
// 1.1, 1.2 or 1.3) when it falls outside the MEN/MMT policy. Per requested test the tables
// are ordered by increasing P value (tables of equal P value in table order), runs of
// exactly equal P values are combined into groups, and over the groups in order
//   Prop sig.   = cumulative proportion of the last group with P <= alpha
//   Upper bound = the same sum of upper bounds
//   Max. dif.   = max(0, max over groups with P <= alpha of cumulative proportion - P).
// A group's summed proportion is accumulated in table order, whatever sort put the groups
// in order. The P values and the order do not depend on the proportions, so a run keeps
// them for the next combination that differs only in its proportions.
//
// The P values of a table depend only on its Fisher working table (the policy on its
// margins, the chi squared values on |ad - bc| and the product of the margins, which is
// exact in doubles for N <= MaxExactMarginProductN), so tables in one symmetry class share
// them, and all tables with one set of working margins share one FisherTerms.
#pragma once

#include "core/designs.h"
#include "core/tables.h"
#include "study/significance.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quillon {

// One combination of the study's lists.
struct EvaluationPoint {
    DesignCode design = ComparativeTrial;
    std::int64_t N = 20;
    double pCol = 0.5;         // p, population proportion in column 1
    double interval = 0;       // w, width of the interval of p
    double row = 10;           // x: pi(row) (design 1) or the number m in row 1 (design 2)
    double rowInterval = 0;    // wx: w for design 1, 0 for design 2
    double MEN = 0;            // minimum expected number
    double MMT = 1;            // minimum marginal total (at least 1)
    std::vector<int> tests{1}; // requested registered tests, in the order typed, repeats kept
    double parameter = 0.05;   // nominal level alpha, and the cutoff of Max. dif.
};

// Probability of the tables a policy excluded, by kind (summed proportions of the dummy
// groups).
struct ExcludedProportions {
    double marginal = 0; // 1.1: a marginal total below MMT
    double expected = 0; // 1.2: an expected number below MEN
    double both = 0;     // 1.3
};

// The results of one distinct test.
struct TestEvaluation {
    int test = 0;
    // Rows of the table array (1-based) in the sorted order; the table at sorted position
    // t is order[t - 1]. Its P value is tables.Result(row, test). Filled when every test
    // column is (the listing needs it), empty otherwise.
    std::vector<std::uint32_t> order;
    // The tables grouped by P value, shared with the pass a run keeps.
    std::shared_ptr<const TestGroups> grouped;
    std::vector<PValueGroup> groups; // in increasing P value; dummy groups last (empty
                                     // when only the summary was asked for)
    double propSig = 0;              // actual Type I error at alpha
    double upperBound = 0;           // its upper bound over the interval(s)
    double maxDif = 0;               // maximum excess of actual over nominal, up to alpha

    ExcludedProportions Excluded() const;
};

// Everything the files and charts of one evaluation point are made from.
struct PointEvaluation {
    EvaluationPoint point;
    TableArray tables;                   // cells, probability, bounds, test columns (empty
                                         // when only the summary was asked for)
    std::vector<TestEvaluation> results; // one per distinct requested test, first occurrence order
    bool allTestColumns = false;         // every registered test column was computed

    std::size_t TableCount() const { return tables.Count(); }
    // The results of a requested test. Precondition: the test was requested.
    const TestEvaluation& ForTest(int test) const;
};

struct EvaluationOptions {
    // Compute every registered test column (needed for the table listing and the comparison of
    // two tests); otherwise only the requested tests.
    bool allTestColumns = true;
    // Sort, combine and summarise the requested tests; off for the comparison of two
    // tests, which only needs the P values.
    bool summarise = true;
    // Only the figures of each test (a summary-only run): the significant tables alone are
    // gathered while the P values are decided (SignificantTables), and the evaluation keeps
    // no table array, no order and no groups. The full evaluation forms its figures from
    // the same tables, so they are its figures, bit for bit. Needs `summarise`.
    bool summaryOnly = false;
    // Worker threads for the P-value pass and the sorts; 0 = the whole of the engine's pool.
    unsigned threads = 0;
    // The P values and orders of an earlier combination of the run, used when this point
    // shares its pass and kept for the next when it does not (nothing: always computed).
    std::shared_ptr<PValueReuse> reuse;
    // Called from the calling thread only, between and during the stages, with the stage
    // name and units done out of the total. Return false to abandon the evaluation (the
    // result is then incomplete and must not be written).
    StageProgress progress;
};

// Evaluates one point. Preconditions (checked by the run before it gets here): design 1
// or 2; 1 <= N <= MaxLogFactorialArgument; 0 <= p, p + w <= 1; design 1: 0 <= x,
// x + wx <= 1; design 2: x a whole number 0..N; MMT >= 1; registered tests; fewer than 2^32
// tables (MemoryRefusal refuses a point with more).
// Returns nothing when the progress callback asked to stop.
std::optional<PointEvaluation> EvaluatePoint(const EvaluationPoint& point,
                                             const EvaluationOptions& options = {});

// Memory that evaluating `point` needs at its peak, in bytes (the table array, the test
// columns, the sort and the listing order), and the number of tables.
struct MemoryEstimate {
    std::uint64_t tables = 0;
    std::uint64_t bytes = 0;
};
MemoryEstimate EstimateEvaluationMemory(const EvaluationPoint& point, bool allTestColumns);

// The refusal of a point that cannot fit, or nothing when it fits. Names N, the design, the
// number of tables and the memory needed.
std::optional<std::string> MemoryRefusal(const EvaluationPoint& point, bool allTestColumns,
                                         std::optional<std::uint64_t> availableBytes);

// " 3 0 1 4" for cells 3, 0, 1, 4: each cell as a plain number text, no separator.
std::string TableLabel(std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d);

} // namespace quillon
