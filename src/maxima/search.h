// The area search for the maximum of a property over all population proportions.
//
// Property, for one design, N, m (comparative trial), test, MEN, MMT and test policy:
//   "1ProSig"  V(pi) = sum of P(table | pi) over the tables whose P value is below alpha
//   "2MaxDif"  V(pi) = max(0, max over distinct P values p_j <= cutoff of S_j(pi) - p_j),
//              S_j the probability of the tables whose P value is at most p_j.
// Over an area of proportions the probabilities are bounded above by the per-factor kernel
// bounds of the enumeration (tables.h), giving an upper bound B of V over the area.
//
// Method: areas whose bound lies below the largest value found plus the accuracy delta
// cannot hold a larger value and are discarded; the search ends when the bound of
// everything left (the residue) is within delta of the largest value, or nothing is left.
//   comparative trial: a grid of G intervals over [col_lo, col_hi] (G = 11, doubled when a
//     pass removes less than half), trimmed from both ends;
//   cross-sectional study: strips cut from the four sides of the residue (above the
//     diagonal pi(row) >= pi(col), by the symmetry of the property), with surveys of the
//     residue on a grid that set its bound.
// Guarantees kept beyond the straightforward steps: the largest value found is never
// forgotten within a search (a comparative-trial pass that started again from 0 could trim
// away the point of an earlier maximum and end below it); the cross-sectional
// search cannot stop before a survey has bounded the residue; survey cells that reach
// above the diagonal from a corner just below it are bounded too; and a search that can no
// longer refine (widths below MinimumSearchWidth, or a grid beyond MaximumGridPoints) stops
// and says that the accuracy was not met instead of running for ever.
//
// Sums: "1ProSig" groups the counted tables by their row and column totals (core's
// MarginWeights): the coefficients of each set of totals are summed once per search, so an
// area costs (N + 1)^2 products (a comparative trial N + 1) instead of one per table, and
// no list of the tables is kept (memory grows as N^2). Its value and bound are within
// (number of tables) x 2^-52 relative of the table-by-table sums. "2MaxDif" sums the
// enumeration's probabilities table by table, in table order. Which tables count is
// decided by the P values exactly as for one table (SearchPValue).
#pragma once

#include "core/designs.h"
#include "core/margin_sums.h"
#include "core/test_registry.h"
#include "maxima/search_events.h"
#include "maxima/search_key.h"
#include "study/events.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// The test whose P value a combined policy takes for a table that fails one condition.
inline constexpr int kCombinedPolicyFallbackTest = 5;
// The policy a test field names: exactly "15" or "35" names a combined policy, anything
// else (a list of tests) the simple one.
TestPolicy PolicyOfTestField(std::string_view testField);

// The lower end of every proportion searched (0 itself is left out).
inline constexpr double SearchLowerEnd = 0.000001;
inline constexpr double SearchUpperEnd = 0.5;
// Below this strip width or grid spacing a search gives up refining.
inline constexpr double MinimumSearchWidth = 1e-12;
// A grid (comparative-trial pass or cross-sectional survey) never has more points than this.
inline constexpr std::int64_t MaximumGridPoints = std::int64_t{1} << 20;

// A strip cut from one side of the cross-sectional residue: `extent` is the side's length,
// `across` the residue's other extent. The strip is `w` thick and cut into Int(extent / w)
// + 1 equal areas; a side shorter than w gives one area that covers the whole residue.
struct StripCut {
    std::int64_t areas = 1;
    double thickness = 0; // across the side
    double length = 0;    // of each area along the side
};
StripCut CutStrip(double extent, double across, double w);

// P value of one table for the search: the policy code when the table fails MEN/MMT, else
// the test's P value; under a combined policy code 1 keeps the chi squared P value, codes
// 1.1 and 1.2 take test 5's and 1.3 stays.
double SearchPValue(std::int64_t a, std::int64_t b, std::int64_t c, std::int64_t d, int test,
                    double MEN, double MMT, TestPolicy policy);

// One sample table of a search with its coefficient's logarithm, its P value and its
// place in the enumeration's order (0-based).
struct StreamedTable {
    std::int32_t a = 0, b = 0, c = 0, d = 0;
    double lnM = 0;
    double pValue = 0;
    std::uint64_t index = 0;
};

// Every table of a design, N and m with its P value for the test and policy, one set of
// margins at a time: visit(r, k, tables) with r the row total (0 in a comparative trial,
// whose rows are fixed), k the column total and the tables of those totals in increasing
// a. The P values are SearchPValue's to the last bit, but each set of margins forms its
// hypergeometric terms once and no list of all the tables is kept. Margins are visited on
// up to `threads` threads (0: the engine's pool), so visit must be safe to call for
// different margins at once.
using MarginVisit =
    std::function<void(std::int64_t r, std::int64_t k, const std::vector<StreamedTable>& tables)>;
void StreamPValues(DesignCode design, std::int64_t N, std::int64_t m, double MEN, double MMT,
                   int test, TestPolicy policy, unsigned threads, const MarginVisit& visit);

// The sample tables of one design, N and m with what does not depend on the proportions:
// the coefficient of each table's probability, its row and column totals, and (computed on
// first use and kept) its P values. The list of tables is made only when P values are
// first asked for ("2MaxDif"); "1ProSig" streams them instead. Shared by the searches of
// every test over the same tables; safe to read from several threads once built.
class SearchTables {
public:
    SearchTables(DesignCode design, std::int64_t N, std::int64_t m, double MEN, double MMT);

    DesignCode Design() const { return design_; }
    std::int64_t N() const { return N_; }
    std::int64_t M() const { return m_; }
    double MEN() const { return MEN_; }
    double MMT() const { return MMT_; }
    std::size_t Count() const { return count_; }

    // Once P values have been asked for: table t = 0 .. Count() - 1, cell 1..4 (a, b, c,
    // d), in the enumeration's order.
    std::int32_t Cell(std::size_t t, int cell) const { return cells_[4 * t + (cell - 1)]; }
    // The probability's coefficient: C(m, a) C(N - m, c), or N! / (a! b! c! d!), as
    // ExpBase raised to its logarithm (infinite beyond the range of a double), and that
    // logarithm.
    double Coefficient(std::size_t t) const { return coefficient_[t]; }
    double LogCoefficient(std::size_t t) const { return logCoefficient_[t]; }
    std::int32_t RowTotal(std::size_t t) const { return Cell(t, 1) + Cell(t, 2); }
    std::int32_t ColumnTotal(std::size_t t) const { return Cell(t, 1) + Cell(t, 3); }

    // The P values of every table for the test and policy, computed on first use and kept.
    // Not thread-safe: ask for them before sharing the tables between threads.
    const std::vector<double>& PValues(int test, TestPolicy policy);

    // Bytes held per table with every test's P values, once the list is made.
    static std::size_t BytesPerTable() {
        return 4 * 4 + 3 * 8 + static_cast<std::size_t>(HighestTestNumber()) * 8 + 4 * 8 + 3 * 8;
    }

private:
    void Enumerate();
    void FillFisher();

    DesignCode design_;
    std::int64_t N_, m_;
    double MEN_, MMT_;
    std::size_t count_ = 0;
    std::vector<std::int32_t> cells_;
    std::vector<double> coefficient_, logCoefficient_;
    std::vector<double> code_;                    // 1 or the policy code
    std::vector<double> fisher_[TestNumberLimit]; // Fisher-Irwin tests by number, every table
    bool fisherFilled_ = false;
    std::vector<double> pvalues_[3][TestNumberLimit - 1]; // [policy][test - 1]
};

struct AreaValue {
    double value = 0; // the property at the area's lower-left corner
    double bound = 0; // its upper bound over the area
};

// The property of one test over the tables of a SearchTables.
class PropertyEvaluator {
public:
    PropertyEvaluator(SearchTables& tables, int test, TestPolicy policy, Property type,
                      double parameter);

    // The area [pcol, pcol + wcol] (comparative trial), or [pcol, pcol + wcol] x
    // [prow, prow + wrow] (cross-sectional study). Thread-safe. "2MaxDif" with `threads`
    // other than 1 (0: the engine's pool), at least kParallelTables counted tables and
    // probabilities formed from logarithms (kernels that underflow, coefficients beyond a
    // double): the tables' probabilities are formed on several threads and summed in table
    // order, so the result is the one-thread result bit for bit.
    AreaValue Evaluate(double pcol, double wcol, double prow, double wrow,
                       unsigned threads = 1) const;
    static constexpr std::size_t kParallelTables = 65'536;

    const SearchTables& Tables() const { return tables_; }
    int Test() const { return test_; }
    Property Type() const { return type_; }
    double Parameter() const { return parameter_; }
    // The P values in table order (for a cross-sectional "1ProSig" computed afresh on each
    // call).
    std::vector<double> TablePValues() const;
    // Bytes a "1ProSig" evaluator of N holds ("2MaxDif" holds the tables' list as well).
    static double Bytes(DesignCode design, std::int64_t N);
    // "2MaxDif": the distinct P values in increasing order.
    const std::vector<double>& Distinct() const { return distinct_; }

private:
    // "2MaxDif": the largest excess over the distinct P values within the cutoff, from the
    // mass (and upper mass) of each.
    AreaValue ExcessWalk(const std::vector<double>& mass,
                         const std::vector<double>& upperMass) const;

    SearchTables& tables_;
    int test_;
    TestPolicy policy_;
    Property type_;
    double parameter_;
    // "1ProSig": W(r, k) of the significant tables (one row in a comparative trial).
    MarginWeights weights_{0, 0};
    const std::vector<double>* pvalues_ = nullptr; // "2MaxDif"
    std::vector<double> keptPValues_;              // "1ProSig" of a comparative trial
    // "2MaxDif": the tables whose distinct P value is within the cutoff, in table order,
    // with the index of that value.
    struct Counted {
        double coefficient, logCoefficient;
        std::int32_t row, column; // a + b, a + c
        std::uint32_t group;
        bool overflowed; // the coefficient is beyond a double: use logarithms
    };
    std::vector<Counted> counted_;
    bool anyOverflowed_ = false;
    std::vector<double> distinct_;
    std::size_t groupsWithinCutoff_ = 0;
    std::vector<std::int32_t> rows_, columns_; // the totals that occur among counted_
};

// What one search is asked for: the search, and the number in row 1 its tables have (-1
// in a cross-sectional study). Under "overall" one search takes every m in turn.
struct SearchSpec {
    SearchKey key;
    std::int64_t m = -1;
};

// The maximum so far, with where it was found; carried across m for "overall".
struct FoundMaximum {
    double value = 0;
    double pcol = -1, prow = -1;
    std::int64_t m = -1;
};

struct SearchArea {
    double pcol = 0, wcol = 0, prow = 0, wrow = 0;
};

struct SearchResult {
    FoundMaximum maximum;
    double residueBound = 0;
    bool residueEmpty = false;
    bool converged = true;
    bool stopped = false;
    std::string failure; // why the accuracy was not met, when it was not
    SearchArea lastArea; // the area evaluated last
    std::uint64_t areasEvaluated = 0;
};

struct SearchContext {
    SearchObserver& observer;
    StudySink& sink;                        // the zero-row-total message, stop requests
    std::function<std::string()> timeOfDay; // hh:mm:ss for the survey lines
    unsigned threads = 0;                   // 0: the whole of the engine's pool
};

// The announcement of a search with what it searches, from its specification (the heading
// and title lines, which need the run's date, are the caller's).
SearchStarted AnnounceSearch(const SearchSpec& spec);

// Runs one search. `carried` (comparative trial with "overall", after the first m) is the
// maximum the search starts from; otherwise it starts from 0. The events go to
// context.observer, the zero-row-total message to context.sink.
SearchResult RunAreaSearch(const SearchSpec& spec, const PropertyEvaluator& evaluator,
                           const FoundMaximum* carried, const SearchContext& context);

// The check at the start of every search: (1 - .000001)^N as BinomialProbability gives it,
// and the message when it is below .95.
double ZeroRowTotalProbability(std::int64_t N);
std::string ZeroRowTotalMessage(double probability);

} // namespace quillon
