// Which sample tables a test calls significant, and how much probability they carry.
//
// Every study that sums the probability of significant tables does it by the same steps:
//   1. the P value of every needed test for every enumerated table, or a policy code
//      (1.1, 1.2, 1.3) for a table outside the MEN/MMT policy, which is never significant;
//   2. per test, the tables ordered by increasing P value, tables of equal P value in table
//      order (a stable radix sort of the P values' bits);
//   3. runs of exactly equal P values combined into groups, each group's probability summed
//      in that order (so in table order within a group), and the cumulative probability
//      carried over the groups;
//   4. the significant proportion: the cumulative probability of the last group with
//      P <= alpha.
// Steps 1 and 2 do not depend on the population proportions, so a run keeps them
// (PValueReuse) for the next combination that differs only in its proportions; any
// probabilities of the same tables summed over the same order give the figure the
// particular-proportion study would give at that proportion, to the last bit.
//
// The P values of a table depend only on its Fisher working table (the policy on its
// margins, the chi squared values on |ad - bc| and the product of the margins, which is
// exact in doubles for N <= MaxExactMarginProductN), so tables in one symmetry class share
// them, and all tables with one set of working margins share one FisherTerms.
#pragma once

#include "core/designs.h"
#include "core/large_array.h"
#include "core/tables.h"
#include "core/test_registry.h"
#include "study/events.h"
#include "study/worker_pool.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quillon {

// The largest N for which every product of four margins is a whole number below 2^53, so
// that chi squared values are the same for every table of a symmetry class.
inline constexpr std::int64_t MaxExactMarginProductN = 19'000;

// Progress of a stage, from the calling thread only: the stage and units done out of the
// total. Returns false to abandon the work.
using StageProgress =
    std::function<bool(ProgressStage stage, std::uint64_t done, std::uint64_t total)>;

// Runs `work(worker)` for `workers` pieces on the engine's pool while the calling thread
// reports progress every tenth of a second. Returns false when the progress callback asked
// to stop; `stop` is then set so that the workers finish early.
template <typename Work>
bool RunStageWorkers(unsigned workers, ProgressStage stage, std::uint64_t total,
                     const std::atomic<std::uint64_t>& done, std::atomic<bool>& stop,
                     const StageProgress& progress, Work work) {
    WorkerPool::Shared().RunWithPolling(workers, work, [&] {
        if (progress && !progress(stage, done.load(), total))
            stop.store(true);
    });
    if (progress && !stop.load() && !progress(stage, total, total))
        stop.store(true);
    return !stop.load();
}

// What the P values of the tables depend on: the design and its fixed margins, and the
// policy; and, for a pass that decides only P <= alpha, the level alpha.
struct PValuePass {
    DesignCode design = ComparativeTrial;
    std::int64_t N = 20;
    std::int64_t m = 10; // number in row 1 (comparative trial only)
    double MEN = 0;      // minimum expected number
    double MMT = 1;      // minimum marginal total
    // When set, the pass decides only which eligible tables have P <= alpha (the rule of
    // SignificantAtLevel): those hold their P values, the others NotSignificantMarker, and
    // a P value certainly above alpha is not formed at all (a chi squared value well below
    // the critical one, a Fisher-Irwin table whose running sums already exceed alpha). For
    // evaluations that read only the significant tables: no listing, no other level.
    std::optional<double> decisionLevel;
};

// The pass of an enumeration: `row` is m in a comparative trial (unused cross-sectionally).
PValuePass MakePValuePass(DesignCode design, std::int64_t N, double row, double MEN, double MMT);

// The test columns an evaluation fills: its tests, and every test of a full listing when
// its listing shows them all.
TestSet NeededTests(const std::vector<int>& tests, bool allTestColumns);

// Fills the test columns of the tests with needed[test] (enabling them) for every table of
// `tables`, which holds the enumeration of `pass` in EnumerateTables order. Tables of small
// enumerations (under 20,000) are done on the calling thread, others on `workers` threads.
// Returns false when the progress callback asked to stop (the columns are then incomplete).
bool ComputeTablePValues(const PValuePass& pass, const TestSet& needed, TableArray& tables,
                         unsigned workers, const StageProgress& progress);

// The working arrays of a sort, kept by a worker from one sort to the next.
struct SortWorkspace {
    LargeArray<std::uint64_t> keys, keysOut;
    LargeArray<std::uint32_t> order, valuesOut;
};
// Bytes a sort's workspace holds per table.
inline constexpr double SortBytesPerTable = 8 + 8 + 4;

// The rows (1-based) of `tables` in increasing P value of `test`, rows of equal P value in
// increasing row (table) order.
void SortRowsByPValue(const TableArray& tables, int test, std::vector<std::uint32_t>& order,
                      SortWorkspace& work);

// The tables of one test grouped by exactly equal P value, as CombinePValueGroups combines
// them along the sorted order: the distinct values in increasing order, how many tables
// each holds, and the group of every table. It does not depend on the proportions, so a
// run keeps it for every combination of the pass, and each combination then sums its
// probabilities group by group in one pass over the tables in table order.
struct TestGroups {
    std::vector<double> pValues;        // by group, increasing (policy codes last)
    std::vector<std::uint64_t> counts;  // n(same), by group
    std::vector<std::uint32_t> ofTable; // the group of each table, by row - 1
};
// Bytes a TestGroups holds per table at most (a group per table).
inline constexpr double TestGroupsBytesPerTable = 4 + 8 + 8;

// Groups the tables of `tables` by their P value of `test`; `order` receives the sorted
// order (SortRowsByPValue's).
void GroupTablesByPValue(const TableArray& tables, int test, TestGroups& groups,
                         std::vector<std::uint32_t>& order, SortWorkspace& work);

// The rows (1-based) in increasing P value, rows of equal P value in table order: the
// order SortRowsByPValue gives, from the groups by one counting pass.
void OrderOfGroups(const TestGroups& groups, std::vector<std::uint32_t>& order);

// One group of tables with identical P values (after combining).
struct PValueGroup {
    double pValue = 0;               // a P value, or a policy code 1.1 / 1.2 / 1.3
    std::uint64_t count = 0;         // n(same)
    double proportion = 0;           // summed probability of the group (record field 2)
    double cumulative = 0;           // running sum of `proportion` (field 3)
    double upperBound = 0;           // summed upper bound (field 6)
    double cumulativeUpperBound = 0; // running sum of `upperBound` (field 7)
};

// The figures of the groups at a level alpha.
struct SignificantProportion {
    double proportion = 0; // cumulative probability of the last group with P <= alpha
    double upperBound = 0; // the same for the upper bounds
    double maxDif = 0;     // max(0, max over those groups of cumulative - P)
};

// The significant tables of a pass at one level alpha, for an evaluation that writes only
// the figures of the groups with P <= alpha (a summary-only particular point, a power
// point). Those groups come first in increasing P value, so Prop. sig., its upper bound,
// Max. dif., power and size are found from them alone: the other tables (most of them) are
// neither sorted nor given a probability. A table's probability is its coefficient times
// its margins' kernels (NullKernels, AlternativeKernels), so the coefficients are kept
// here and every combination that shares the pass and the level (only the proportions
// differ) computes only the kernels and the sums.
struct SignificantTables {
    PValuePass pass;
    TestSet needed{}; // the tests whose groups are held
    double alpha = 0;
    // Every table that some test calls significant, in table order.
    struct Table {
        std::int32_t a = 0, b = 0, c = 0, d = 0;
        TableCoefficient coefficient;
    };
    LargeArray<Table> tables;
    // A test's significant tables grouped by exactly equal P value.
    struct Groups {
        std::vector<double> pValues;       // by group, increasing (the group's first table's)
        std::vector<std::uint32_t> ends;   // one past each group's last entry of `members`
        LargeArray<std::uint32_t> members; // entries of `tables`, group by group, each group
                                           // in table order
    };
    std::array<Groups, TestNumberLimit> byTest; // by test number
};
// Bytes SelectSignificantTables holds per significant table at most: the table, and per
// test its member, group and sort entries.
inline constexpr double SignificantBytesPerTable = 32;
inline constexpr double SignificantBytesPerTest = 4 + 8 + 4 + 8 + 4;

// Selects from `tables` (the cells and the test columns of `tests` of `pass`'s enumeration)
// the tables with P <= alpha by SignificantAtLevel, groups them by test as GroupTablesByPValue
// would, and computes their coefficients. Tests are done on up to `workers` threads when
// the tables are many; the calling thread's sorts use `work`. Returns false when the
// progress callback asked to stop.
bool SelectSignificantTables(const PValuePass& pass, const TableArray& tables,
                             const std::vector<int>& tests, double alpha, unsigned workers,
                             const StageProgress& progress, SortWorkspace& work,
                             SignificantTables& out);

// The figures of one test's significant groups, each group's `probability` (and `second`,
// unless empty; both indexed by entry of SignificantTables::tables) summed in table order
// and carried over the groups: the figures SumPValueGroups and SummariseGroups give over all
// the tables, bit for bit (the second sum in place of the upper bound). `groups`, unless
// null, receives the significant groups.
SignificantProportion SumSignificantGroups(const SignificantTables::Groups& test,
                                           std::span<const double> probability,
                                           std::span<const double> second,
                                           std::vector<PValueGroup>* groups = nullptr);

// What one P-value pass leaves for the next combination of a run that shares it (only its
// proportions differ): the groups of the tests that were sorted, and the test columns of
// the other tests it computed. Thread-safe; a PValueReuse holds the latest pass only.
struct SharedOrders {
    PValuePass pass;
    TestSet needed{};
    std::array<std::shared_ptr<const TestGroups>, TestNumberLimit> groups; // by test
    std::array<std::vector<double>, TestNumberLimit> columns; // by test, where not grouped
};
class PValueReuse {
public:
    // The kept pass when it is `pass` with every test of `needed` (nothing otherwise).
    std::shared_ptr<const SharedOrders> Find(const PValuePass& pass, const TestSet& needed) const;
    // Keeps `entry` in place of the one kept.
    void Keep(std::shared_ptr<const SharedOrders> entry);
    // Whether an evaluation of `tables` tables is small enough to keep (a kept pass is held
    // beside the evaluations in hand, so very large ones are not).
    static bool Worth(std::uint64_t tables);

    // The kept significant tables when they are of `pass` at `alpha` with every test of
    // `needed` (nothing otherwise), and keeping new ones in their place.
    std::shared_ptr<const SignificantTables>
    FindSignificant(const PValuePass& pass, const TestSet& needed, double alpha) const;
    void KeepSignificant(std::shared_ptr<const SignificantTables> entry);

    // The working memory of an evaluation an earlier one of the run has finished with (a
    // new one when none is free), and its return: a run's points refill the same memory
    // instead of each mapping and zeroing fresh pages.
    struct Scratch {
        TableArray tables;
        SortWorkspace sort;
    };
    std::unique_ptr<Scratch> BorrowScratch();
    void ReturnScratch(std::unique_ptr<Scratch> scratch);

private:
    mutable std::mutex mutex_;
    std::shared_ptr<const SharedOrders> kept_;
    std::shared_ptr<const SignificantTables> significant_;
    std::vector<std::unique_ptr<Scratch>> spare_;
};

// The significant tables of `pass` at `alpha` for `tests` (`needed` their columns): the
// ones `reuse` (unless null) keeps when they are this pass's, otherwise enumerated, their
// P values decided at `alpha` (the pass's decision level: only P <= alpha is read) and the
// significant ones selected on up to `threads` workers (0: one per core), then kept by
// `reuse` for the next combination when worth it. Null when the progress callback asked
// to stop.
std::shared_ptr<const SignificantTables>
SignificantTablesOf(const PValuePass& pass, const TestSet& needed, const std::vector<int>& tests,
                    double alpha, PValueReuse* reuse, unsigned threads,
                    const StageProgress& progress);

// The P-value columns of `needed` in `tables`: taken from the pass `reuse` keeps when it is
// this one, computed otherwise. A test the kept pass holds groups for gets its column only
// with `everyColumn` (a listing shows it); otherwise its groups serve in its place. `shared`
// receives the kept pass used (null when computed). False when the run was stopped while
// computing.
bool FillTablePValues(const PValuePass& pass, const TestSet& needed, const PValueReuse* reuse,
                      TableArray& tables, unsigned workers, const StageProgress& progress,
                      std::shared_ptr<const SharedOrders>& shared, bool everyColumn);

// Combines runs of exactly equal P values of `test` along `order` and fills the cumulative
// fields. `probability` (and `upper`, unless empty) are indexed by row - 1.
void CombinePValueGroups(const TableArray& tables, int test,
                         const std::vector<std::uint32_t>& order,
                         std::span<const double> probability, std::span<const double> upper,
                         std::vector<PValueGroup>& groups);

// The groups with their summed `probability` (and `upper`, unless empty; both indexed by
// row - 1) and the cumulative fields. Each group's tables are added in table order, which
// is the order CombinePValueGroups adds them in, so the figures are its figures bit for
// bit.
void SumPValueGroups(const TestGroups& groups, std::span<const double> probability,
                     std::span<const double> upper, std::vector<PValueGroup>& out);

SignificantProportion SummariseGroups(const std::vector<PValueGroup>& groups, double alpha);

} // namespace quillon
