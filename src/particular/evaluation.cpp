#include "particular/evaluation.h"

#include "core/listing_text.h"
#include "core/memory.h"
#include "core/numtext.h"
#include "core/pvalues.h"
#include "core/test_registry.h"
#include "study/significance.h"
#include "study/significant_sums.h"
#include "study/worker_pool.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cassert>
#include <cmath>
#include <fstream>
#include <limits>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>

namespace quillon {

namespace {

// Groups one test's tables by equal P value for the listing, with their sums.
void GroupForListing(const TableArray& tables, TestEvaluation& result) {
    SumPValueGroups(*result.grouped, tables.Probabilities(), tables.Uppers(), result.groups);
}

// Each test's Prop. sig., Upper bound and Max. dif. at the point's proportions, from the
// significant tables of its pass at its level: the same figures whether the tables were
// gathered for a summary alone or from a full listing's table array.
void SignificantFigures(const SignificantTables& significant, const EvaluationPoint& point,
                        std::vector<TestEvaluation>& results) {
    const NullKernels kernels(point.design, point.N, point.pCol, point.interval, point.row,
                              point.rowInterval);
    LargeArray<double> probability;
    EntryProbabilities(significant, kernels, probability);
    const std::vector<double> maxDif = MaximumExcesses(significant, probability);
    for (TestEvaluation& r : results) {
        const NullSums s = SignificantSums(significant, r.test, kernels);
        r.propSig = s.proportion;
        r.upperBound = s.upperBound;
        r.maxDif = maxDif[significant.byTest[static_cast<std::size_t>(r.test)].column];
    }
}

// A summary-only point: the significant tables of the pass at the point's level (kept by
// the run for every combination that shares them), their probabilities at the point's
// proportions, and each test's figures from its significant groups.
std::optional<PointEvaluation> EvaluateSummaryOnly(const EvaluationPoint& point,
                                                   const EvaluationOptions& options) {
    PointEvaluation ev;
    ev.point = point;
    const std::vector<int> tests = DistinctTests(point.tests);
    const TestSet needed = NeededTests(tests, false);
    const PValuePass pass = MakePValuePass(point.design, point.N, point.row, point.MEN, point.MMT);
    const std::shared_ptr<const SignificantTables> significant =
        SignificantTablesOf(pass, needed, tests, point.parameter, true, options.reuse.get(),
                            options.threads, options.progress);
    if (!significant)
        return std::nullopt;

    for (int t : tests) {
        TestEvaluation r;
        r.test = t;
        ev.results.push_back(std::move(r));
    }
    SignificantFigures(*significant, point, ev.results);
    return ev;
}

} // namespace

ExcludedProportions TestEvaluation::Excluded() const {
    ExcludedProportions e;
    for (const PValueGroup& g : groups) {
        if (g.pValue == PolicyCodeMarginal)
            e.marginal = g.proportion;
        else if (g.pValue == PolicyCodeExpected)
            e.expected = g.proportion;
        else if (g.pValue == PolicyCodeBoth)
            e.both = g.proportion;
    }
    return e;
}

const TestEvaluation& PointEvaluation::ForTest(int test) const {
    for (const TestEvaluation& r : results)
        if (r.test == test)
            return r;
    assert(false && "test not requested");
    return results.front();
}

std::string TableLabel(std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d) {
    std::string s;
    AppendTableLabel(s, a, b, c, d);
    return s;
}

MemoryEstimate EstimateEvaluationMemory(const EvaluationPoint& point, bool allTestColumns) {
    MemoryEstimate e;
    const std::int64_t m =
        point.design == ComparativeTrial ? static_cast<std::int64_t>(point.row) : 0;
    if (point.design == CrossSectionalStudy) {
        // (N + 1)(N + 2)(N + 3) / 6 in floating point first, so a huge N cannot overflow.
        const double n = static_cast<double>(point.N);
        const double t = (n + 1) * (n + 2) * (n + 3) / 6;
        e.tables = t >= 1.8e19 ? std::numeric_limits<std::uint64_t>::max()
                               : TableCount(point.design, point.N, m);
    } else {
        e.tables = TableCount(point.design, point.N, m);
    }
    const std::vector<int> distinct = DistinctTests(point.tests);
    const double columns =
        allTestColumns ? HighestTestNumber() : static_cast<double>(distinct.size());
    // Per table: four 32-bit cells and three doubles in the table array, the test
    // columns, the sorted order of every distinct test, and the sort's workspace of the
    // tests sorted at the same time (at most one per worker).
    const double sorts =
        std::min<double>(static_cast<double>(distinct.size()), static_cast<double>(WorkerCount(0)));
    // The groups of every distinct test, shared with the pass a run keeps for the next
    // combination, which also keeps the columns of the tests not grouped.
    const double grouped = TestGroupsBytesPerTable * static_cast<double>(distinct.size());
    const double kept = PValueReuse::Worth(e.tables) ? 8 * columns : 0;
    // The figures come from the significant tables (all of them, at most).
    const double significant = SignificantTableBytes(distinct.size(), true);
    const double perTable = 16 + 24 + 8 * columns + 4 * static_cast<double>(distinct.size()) +
                            SortBytesPerTable * sorts + grouped + kept + significant;
    const double bytes = static_cast<double>(e.tables) * perTable + 64.0 * 1024 * 1024;
    e.bytes = bytes >= 1.8e19 ? std::numeric_limits<std::uint64_t>::max()
                              : static_cast<std::uint64_t>(bytes);
    return e;
}

std::optional<std::string> MemoryRefusal(const EvaluationPoint& point, bool allTestColumns,
                                         std::optional<std::uint64_t> availableBytes) {
    const MemoryEstimate e = EstimateEvaluationMemory(point, allTestColumns);
    return EnumerationMemoryRefusal(point.design, point.N, e.tables, e.bytes, availableBytes);
}

std::optional<PointEvaluation> EvaluatePoint(const EvaluationPoint& point,
                                             const EvaluationOptions& options) {
    if (options.summaryOnly && options.summarise)
        return EvaluateSummaryOnly(point, options);
    PointEvaluation ev;
    ev.point = point;
    ev.allTestColumns = options.allTestColumns;
    const unsigned workers = WorkerCount(options.threads);

    // The log-factorial cache grows to N before any worker reads it.
    LogFactorial(point.N);
    EnumerateTables(point.design, point.N, point.pCol, point.interval, point.row, point.rowInterval,
                    ev.tables);
    const std::size_t T = ev.tables.Count();

    const TestSet needed = NeededTests(point.tests, options.allTestColumns);

    // P values, class of margins by class of margins.
    const PValuePass pass = MakePValuePass(point.design, point.N, point.row, point.MEN, point.MMT);
    std::shared_ptr<const SharedOrders> shared;
    // The listing shows every column and lists the tables in the sorted order; the figures
    // read the columns of the significant tables.
    const bool listing = options.allTestColumns;
    if (!FillTablePValues(pass, needed, options.reuse.get(), ev.tables, workers, options.progress,
                          shared))
        return std::nullopt;
    const bool small = T < 20'000;

    // One set of results per distinct test, in the order of first occurrence.
    const std::vector<int> tests = DistinctTests(point.tests);
    for (int t : tests) {
        TestEvaluation r;
        r.test = t;
        ev.results.push_back(std::move(r));
    }
    // Keeps this pass for the next combination of the run that shares it.
    auto keep = [&] {
        if (!options.reuse || shared || !PValueReuse::Worth(T))
            return;
        auto entry = std::make_shared<SharedOrders>();
        entry->pass = pass;
        entry->needed = needed;
        for (const TestEvaluation& r : ev.results)
            entry->groups[r.test] = r.grouped;
        for (int t = 1; t <= HighestTestNumber(); ++t)
            if (needed[t] && !entry->groups[t]) {
                std::vector<double>& column = entry->columns[t];
                column.resize(ev.tables.Count());
                for (std::size_t row = 1; row <= column.size(); ++row)
                    column[row - 1] = ev.tables.Result(row, t);
            }
        options.reuse->Keep(std::move(entry));
    };
    if (!options.summarise) {
        keep();
        return ev;
    }

    // The sorts of the tests are independent; each worker takes whole tests.
    std::atomic<std::size_t> nextTest{0};
    std::atomic<std::uint64_t> sorted{0};
    std::atomic<bool> stop{false};
    const unsigned sortWorkers =
        small ? 1 : std::min<unsigned>(workers, static_cast<unsigned>(ev.results.size()));
    const bool sortedOk =
        RunStageWorkers(sortWorkers, ProgressStage::Sorting, ev.results.size(), sorted, stop,
                        options.progress, [&](unsigned) {
                            SortWorkspace work;
                            for (;;) {
                                if (stop.load(std::memory_order_relaxed))
                                    return;
                                const std::size_t i = nextTest.fetch_add(1);
                                if (i >= ev.results.size())
                                    return;
                                TestEvaluation& r = ev.results[i];
                                if (shared && shared->groups[r.test]) {
                                    r.grouped = shared->groups[r.test];
                                    if (listing)
                                        OrderOfGroups(*r.grouped, r.order);
                                } else {
                                    auto groups = std::make_shared<TestGroups>();
                                    GroupTablesByPValue(ev.tables, r.test, *groups, r.order, work);
                                    if (!listing)
                                        std::vector<std::uint32_t>().swap(r.order);
                                    r.grouped = std::move(groups);
                                }
                                GroupForListing(ev.tables, r);
                                sorted.fetch_add(1);
                            }
                        });
    if (!sortedOk)
        return std::nullopt;
    keep();

    // The figures from the significant tables, as a summary-only evaluation forms them.
    const std::shared_ptr<const SignificantTables> significant = SignificantTablesOfArray(
        pass, ev.tables, tests, point.parameter, true, options.reuse.get());
    SignificantFigures(*significant, point, ev.results);
    return ev;
}

} // namespace quillon
