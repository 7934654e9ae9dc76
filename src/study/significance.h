// Which sample tables a test calls significant, and how much probability they carry.
//
// A listing shows, per test:
//   1. the P value of every needed test for every enumerated table, or a policy code
//      (1.1, 1.2, 1.3) for a table outside the MEN/MMT policy, which is never significant;
//   2. the tables ordered by increasing P value, tables of equal P value in table order (a
//      stable radix sort of the P values' bits);
//   3. runs of exactly equal P values combined into groups, each group's probability summed
//      in that order (so in table order within a group), and the cumulative probability
//      carried over the groups.
// Steps 1 and 2 do not depend on the population proportions, so a run keeps them
// (PValueReuse) for the next combination that differs only in its proportions.
//
// The figures of a study (Prop. sig., Upper bound, Max. dif., power, size) need only the
// tables with P <= alpha: SignificantTables gathers them margin by margin, and
// study/significant_sums.h sums them, regrouped by margins, with or without a listing.
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
#include <limits>
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
// the figures of the tables with P <= alpha (a particular point's Prop. sig., Upper bound
// and Max. dif., a power point's power and size). They do not depend on the proportions,
// so a run keeps them for every combination that shares the pass and the level.
//
// A table's probability is its coefficient M times its margins' kernels, so the tables are
// held margin by margin: margins in increasing row total r (the comparative trial's m),
// then column total k; within a margin in increasing a (table order). Each margin keeps,
// per test, the sum of the coefficients of the tables the test calls significant, so a
// point's Prop. sig. and its upper bound cost one kernel product per margin
// (SignificantSums). The tables themselves (cells, coefficients, and per test the P value
// where significant) serve what is not a function of the margins: the alternative's
// probabilities and the order of the P values that Max. dif. follows.
struct SignificantTables {
    // `valuesOf` points into `valueBlocks`: a move keeps the blocks where they are, a copy
    // would not.
    SignificantTables() = default;
    SignificantTables(const SignificantTables&) = delete;
    SignificantTables& operator=(const SignificantTables&) = delete;
    SignificantTables(SignificantTables&&) = default;
    SignificantTables& operator=(SignificantTables&&) = default;

    PValuePass pass;
    TestSet needed{}; // the tests whose significant tables are held
    double alpha = 0;
    bool ordered = false; // whether each test's P values are held (for Max. dif.)

    struct Margin {
        std::int32_t r = 0, k = 0;
        std::uint32_t begin = 0, end = 0; // its entries
        // ln of the largest coefficient among its entries (lnM * LnExpBase()).
        double logScale = 0;
    };
    std::vector<Margin> margins; // only margins with an entry
    struct Table {
        std::int32_t a = 0;
        std::uint16_t tests = 0; // bit t: test t calls the table significant
        TableCoefficient coefficient;
        // M over its margin's largest coefficient (from logarithms where M overflows), so
        // that a probability whose direct product fails is scaled * exp(logScale + ln
        // kernels) with one exponential per margin.
        double scaled = 0;
    };
    LargeArray<Table> tables;

    // The cells of entry e of margin `margin`.
    struct Cells {
        std::int64_t a, b, c, d;
    };
    Cells CellsOf(const Margin& margin, std::size_t e) const {
        const std::int64_t a = tables[e].a, r = margin.r, k = margin.k;
        return {a, r - a, k - a, pass.N - r - k + a};
    }

    // With `ordered`: the P values of the tests of `order` (in that order) of each entry,
    // held in blocks as the pass noted them; a test's value is read only where it calls the
    // entry significant.
    std::vector<int> order;
    std::vector<LargeArray<double>> valueBlocks;
    LargeArray<const double*> valuesOf; // by entry, into valueBlocks
    double PValue(std::size_t e, std::size_t column) const { return valuesOf[e][column]; }

    // The number of buckets of P values a test's order is taken through (SignificantBucket).
    static constexpr std::size_t Buckets = 1023 * 16 + 1;
    // With `ordered`: per test of `order` and bucket, the number of the test's entries in
    // it, their least and greatest P value, and where they start in `byBucket`, which lists
    // each test's entries bucket by bucket in increasing order, in entry order within a
    // bucket.
    struct BucketStats {
        double least = std::numeric_limits<double>::infinity(), greatest = 0;
        std::uint32_t count = 0;
        std::uint64_t first = 0; // every test's entries together may pass 2^32
    };
    LargeArray<BucketStats> bucketStats;
    LargeArray<std::uint32_t> byBucket;
    const BucketStats& Stats(std::size_t column, std::size_t bucket) const {
        return bucketStats[column * Buckets + bucket];
    }

    struct Test {
        // Per margin (as `margins`): the sum over the test's significant entries, in entry
        // order, of M where M is finite; of `scaled` where M overflowed; of `scaled` over all.
        std::vector<double> direct, overflowScaled, scaled;
        // With `ordered`: the test's column of `order`, and its buckets with an entry, in
        // increasing order.
        std::size_t column = 0;
        std::vector<std::uint16_t> usedBuckets;
    };
    std::array<Test, TestNumberLimit> byTest; // by test number
};

// Bytes SignificantTables and a point's probabilities hold per significant table at most,
// for `tests` tests, with or without order: the entry and its coefficients, the pass's
// note of it, and with order its values, their pointer and its place in each test's
// buckets.
constexpr double SignificantTableBytes(std::size_t tests, bool ordered) {
    const auto n = static_cast<double>(tests);
    return 32 + 8 + 4 + 2 + (ordered ? 8 * n + 8 + 4 * n : 0);
}

// The bucket of a P value 0 <= p <= 1: increasing with p, each binade of doubles split in
// 16 (the subnormals and 0 in the first 16).
std::uint16_t SignificantBucket(double p);

// The significant tables of `tests` at `alpha` from `tables`, which holds `pass`'s
// enumeration with the test columns of `tests` (for a listing, or tests that are computed
// a whole design at a time). `ordered`: keep each test's P values.
void SignificantTablesFromArray(const PValuePass& pass, const TableArray& tables,
                                const std::vector<int>& tests, double alpha, bool ordered,
                                SignificantTables& out);

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
    std::shared_ptr<const SignificantTables> FindSignificant(const PValuePass& pass,
                                                             const TestSet& needed, double alpha,
                                                             bool ordered) const;
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

// The significant tables of `tables` (the enumeration of `pass` with the test columns of
// `tests`) at `alpha`: the ones `reuse` (unless null) keeps when they are this pass's,
// otherwise read from the array and kept for the next combination when worth it. For an
// evaluation that fills a table array anyway (a listing).
std::shared_ptr<const SignificantTables> SignificantTablesOfArray(const PValuePass& pass,
                                                                  const TableArray& tables,
                                                                  const std::vector<int>& tests,
                                                                  double alpha, bool ordered,
                                                                  PValueReuse* reuse);

// The significant tables of `pass` at `alpha` for `tests` (`needed` their columns): the
// ones `reuse` (unless null) keeps when they are this pass's (with order when `ordered`),
// otherwise computed on up to `threads` workers (0: one per core) and kept by `reuse` for
// the next combination when worth it. The P values are decided at `alpha` (the pass's
// decision level: only P <= alpha is read) class of margins by class of margins, and only
// the significant tables are held; tests computed a whole design at a time go through a
// table array. Null when the progress callback asked to stop.
std::shared_ptr<const SignificantTables>
SignificantTablesOf(const PValuePass& pass, const TestSet& needed, const std::vector<int>& tests,
                    double alpha, bool ordered, PValueReuse* reuse, unsigned threads,
                    const StageProgress& progress);

// The P-value columns of `needed` in `tables`: taken from the pass `reuse` keeps when it is
// this one (from a test's groups where it holds them), computed otherwise. `shared`
// receives the kept pass used (null when computed). False when the run was stopped while
// computing.
bool FillTablePValues(const PValuePass& pass, const TestSet& needed, const PValueReuse* reuse,
                      TableArray& tables, unsigned workers, const StageProgress& progress,
                      std::shared_ptr<const SharedOrders>& shared);

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
