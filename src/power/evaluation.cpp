#include "power/evaluation.h"

#include "core/memory.h"
#include "core/test_registry.h"
#include "study/significant_sums.h"
#include "study/worker_pool.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cassert>
#include <limits>

namespace quillon {

double PooledProportion(const PowerPoint& point) {
    // Equal proportions pool to themselves, whatever the rounding of the weighted mean.
    if (point.p1 == point.p2)
        return point.p1;
    if (point.design == ComparativeTrial) {
        const double N = static_cast<double>(point.N);
        return (point.row * point.p1 + (N - point.row) * point.p2) / N;
    }
    return point.row * point.p1 + (1 - point.row) * point.p2;
}

const PowerTestResult& PowerEvaluation::ForTest(int test) const {
    for (const PowerTestResult& r : results)
        if (r.test == test)
            return r;
    assert(false && "test not requested");
    return results.front();
}

namespace {

// Each test's power and size from the significant tables of its pass at its level: the size
// as the null sums at p0 per margin, the power as the sum of the alternative's probabilities
// of the test's tables in their order. At p1 = p2 the alternative is the null hypothesis at
// p0 = p1, and the two are one figure.
void PowerFigures(const SignificantTables& significant, const PowerPoint& point, double pooled,
                  std::vector<PowerTestResult>& results) {
    const NullKernels null(point.design, point.N, pooled, 0, point.row, 0);
    LargeArray<double> alternative;
    if (point.p1 != point.p2)
        EntryProbabilities(significant,
                           AlternativeKernels(point.design, point.N, point.p1, point.p2, point.row),
                           alternative);
    for (PowerTestResult& r : results) {
        r.size = SignificantSums(significant, r.test, null).proportion;
        r.power = point.p1 == point.p2 ? r.size : SumOverTest(significant, r.test, alternative);
    }
}

// Power and size only: the significant tables of the pass at the level (kept by the run for
// every combination that shares them), their probabilities under the alternative and at
// p0, and each test's two sums over its significant groups.
std::optional<PowerEvaluation> EvaluateSummaryOnly(const PowerPoint& point,
                                                   const PowerOptions& options) {
    PowerEvaluation ev;
    ev.point = point;
    ev.pooled = PooledProportion(point);
    const std::vector<int> tests = DistinctTests(point.tests);
    for (int t : tests)
        ev.results.push_back({t, 0, 0});
    const TestSet needed = NeededTests(tests, false);
    const PValuePass pass = MakePValuePass(point.design, point.N, point.row, point.MEN, point.MMT);
    const std::shared_ptr<const SignificantTables> significant =
        SignificantTablesOf(pass, needed, tests, point.alpha, false, options.reuse.get(),
                            options.threads, options.progress);
    if (!significant)
        return std::nullopt;
    PowerFigures(*significant, point, ev.pooled, ev.results);
    return ev;
}

} // namespace

std::optional<PowerEvaluation> EvaluatePower(const PowerPoint& point, const PowerOptions& options) {
    if (options.summaryOnly)
        return EvaluateSummaryOnly(point, options);
    PowerEvaluation ev;
    ev.point = point;
    ev.allTestColumns = options.allTestColumns;
    ev.pooled = PooledProportion(point);
    const unsigned workers = WorkerCount(options.threads);

    // The log-factorial cache grows to N before any worker reads it.
    LogFactorial(point.N);
    EnumerateTables(point.design, point.N, ev.pooled, 0, point.row, 0, ev.tables);
    AlternativeProbabilities(point.design, point.N, point.p1, point.p2, point.row, ev.alternative);

    const TestSet needed = NeededTests(point.tests, options.allTestColumns);
    const PValuePass pass = MakePValuePass(point.design, point.N, point.row, point.MEN, point.MMT);
    std::shared_ptr<const SharedOrders> shared;
    if (!FillTablePValues(pass, needed, options.reuse.get(), ev.tables, workers, options.progress,
                          shared))
        return std::nullopt;

    const std::vector<int> tests = DistinctTests(point.tests);
    for (int t : tests)
        ev.results.push_back({t, 0, 0});

    // Power and size from the significant tables, as a summary-only evaluation forms them.
    const std::shared_ptr<const SignificantTables> significant =
        SignificantTablesOfArray(pass, ev.tables, tests, point.alpha, false, options.reuse.get());
    PowerFigures(*significant, point, ev.pooled, ev.results);
    if (options.reuse && !shared && PValueReuse::Worth(ev.tables.Count())) {
        auto entry = std::make_shared<SharedOrders>();
        entry->pass = pass;
        entry->needed = needed;
        for (int t = 1; t <= HighestTestNumber(); ++t)
            if (needed[t]) {
                std::vector<double>& column = entry->columns[t];
                column.resize(ev.tables.Count());
                for (std::size_t row = 1; row <= column.size(); ++row)
                    column[row - 1] = ev.tables.Result(row, t);
            }
        options.reuse->Keep(std::move(entry));
    }
    return ev;
}

PowerMemoryEstimate EstimatePowerMemory(const PowerPoint& point, bool allTestColumns) {
    PowerMemoryEstimate e;
    const std::int64_t m =
        point.design == ComparativeTrial ? static_cast<std::int64_t>(point.row) : 0;
    // (N + 1)(N + 2)(N + 3) / 6 in floating point first, so a huge N cannot overflow.
    const double n = static_cast<double>(point.N);
    const double t = point.design == CrossSectionalStudy
                         ? (n + 1) * (n + 2) * (n + 3) / 6
                         : static_cast<double>(TableCount(point.design, point.N, m));
    e.tables = t >= 1.8e19 ? std::numeric_limits<std::uint64_t>::max()
                           : TableCount(point.design, point.N, m);
    const std::vector<int> distinct = DistinctTests(point.tests);
    const double columns =
        allTestColumns ? HighestTestNumber() : static_cast<double>(distinct.size());
    // Per table: four 32-bit cells and three doubles in the table array, the alternative
    // probability, the test columns, the columns kept for the next combination of the run,
    // and the significant tables power and size come from (all of them, at most).
    const double kept = PValueReuse::Worth(e.tables) ? 8 * columns : 0;
    const double significant = SignificantTableBytes(distinct.size(), false);
    const double perTable = 16 + 24 + 8 + 8 * columns + kept + significant;
    const double bytes = t * perTable + 64.0 * 1024 * 1024;
    e.bytes = bytes >= 1.8e19 ? std::numeric_limits<std::uint64_t>::max()
                              : static_cast<std::uint64_t>(bytes);
    return e;
}

std::optional<std::string> PowerMemoryRefusal(const PowerPoint& point, bool allTestColumns,
                                              std::optional<std::uint64_t> availableBytes) {
    const PowerMemoryEstimate e = EstimatePowerMemory(point, allTestColumns);
    return EnumerationMemoryRefusal(point.design, point.N, e.tables, e.bytes, availableBytes);
}

} // namespace quillon
