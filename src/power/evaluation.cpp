#include "power/evaluation.h"

#include "core/memory.h"
#include "core/test_registry.h"
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

// Power and size only: the significant tables of the pass at the level (kept by the run for
// every combination that shares them), their probabilities under the alternative and at
// p0, and each test's two sums over its significant groups.
std::optional<PowerEvaluation> EvaluateSummaryOnly(const PowerPoint& point,
                                                   const PowerOptions& options) {
    PowerEvaluation ev;
    ev.point = point;
    ev.pooled = PooledProportion(point);
    for (int t : point.tests) {
        const bool seen = std::any_of(ev.results.begin(), ev.results.end(),
                                      [t](const PowerTestResult& r) { return r.test == t; });
        if (!seen)
            ev.results.push_back({t, 0, 0});
    }
    std::vector<int> tests;
    for (const PowerTestResult& r : ev.results)
        tests.push_back(r.test);
    const TestSet needed = NeededTests(tests, false);
    const PValuePass pass = MakePValuePass(point.design, point.N, point.row, point.MEN, point.MMT);
    const DesignCode design = point.design;
    const std::shared_ptr<const SignificantTables> significant = SignificantTablesOf(
        pass, needed, tests, point.alpha, options.reuse.get(), options.threads, options.progress);
    if (!significant)
        return std::nullopt;

    // The tables' coefficients are computed once, for both probabilities; at p1 = p2 the
    // alternative is the null hypothesis at p0 = p1, the same numbers.
    const NullKernels null(design, point.N, ev.pooled, 0, point.row, 0);
    const std::size_t S = significant->tables.size();
    std::vector<double> size(S), power;
    for (std::size_t e = 0; e < S; ++e) {
        const SignificantTables::Table& t = significant->tables[e];
        size[e] = null.Of(t.coefficient, t.a + t.b, t.a + t.c).probability;
    }
    if (point.p1 == point.p2) {
        power = size;
    } else {
        const AlternativeKernels alternative(design, point.N, point.p1, point.p2, point.row);
        power.resize(S);
        for (std::size_t e = 0; e < S; ++e) {
            const SignificantTables::Table& t = significant->tables[e];
            power[e] = alternative.Of(t.coefficient, t.a, t.b, t.c, t.d);
        }
    }
    for (PowerTestResult& r : ev.results) {
        const SignificantProportion s = SumSignificantGroups(
            significant->byTest[static_cast<std::size_t>(r.test)], power, size);
        r.power = s.proportion;
        r.size = s.upperBound;
    }
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
                          shared, options.allTestColumns))
        return std::nullopt;

    for (int t : point.tests) {
        const bool seen = std::any_of(ev.results.begin(), ev.results.end(),
                                      [t](const PowerTestResult& r) { return r.test == t; });
        if (!seen)
            ev.results.push_back({t, 0, 0});
    }

    // One grouping per test serves both sums; each worker takes whole tests.
    std::vector<std::shared_ptr<const TestGroups>> grouped(ev.results.size());
    std::atomic<std::size_t> nextTest{0};
    std::atomic<std::uint64_t> sorted{0};
    std::atomic<bool> stop{false};
    const bool small = ev.tables.Count() < 20'000;
    const unsigned sortWorkers =
        small ? 1 : std::min<unsigned>(workers, static_cast<unsigned>(ev.results.size()));
    const bool ok = RunStageWorkers(
        sortWorkers, ProgressStage::Sorting, ev.results.size(), sorted, stop, options.progress,
        [&](unsigned) {
            SortWorkspace work;
            std::vector<std::uint32_t> order;
            std::vector<PValueGroup> groups;
            for (;;) {
                if (stop.load(std::memory_order_relaxed))
                    return;
                const std::size_t i = nextTest.fetch_add(1);
                if (i >= ev.results.size())
                    return;
                PowerTestResult& r = ev.results[i];
                if (shared && shared->groups[r.test]) {
                    grouped[i] = shared->groups[r.test];
                } else {
                    auto made = std::make_shared<TestGroups>();
                    GroupTablesByPValue(ev.tables, r.test, *made, order, work);
                    grouped[i] = std::move(made);
                }
                // Power and size in one pass over the groups: the null probabilities take
                // the place of the upper bounds, whose sums are formed the same way.
                SumPValueGroups(*grouped[i], ev.alternative, ev.tables.Probabilities(), groups);
                const SignificantProportion s = SummariseGroups(groups, point.alpha);
                r.power = s.proportion;
                r.size = s.upperBound;
                sorted.fetch_add(1);
            }
        });
    if (!ok)
        return std::nullopt;
    if (options.reuse && !shared && PValueReuse::Worth(ev.tables.Count())) {
        auto entry = std::make_shared<SharedOrders>();
        entry->pass = pass;
        entry->needed = needed;
        for (std::size_t i = 0; i < ev.results.size(); ++i)
            entry->groups[ev.results[i].test] = std::move(grouped[i]);
        for (int t = 1; t <= HighestTestNumber(); ++t)
            if (needed[t] && !entry->groups[t]) {
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
    std::vector<int> distinct;
    for (int k : point.tests)
        if (std::find(distinct.begin(), distinct.end(), k) == distinct.end())
            distinct.push_back(k);
    const double columns =
        allTestColumns ? HighestTestNumber() : static_cast<double>(distinct.size());
    // Per table: four 32-bit cells and three doubles in the table array, the alternative
    // probability, the test columns, the order of every test, and per worker sorting at
    // once its workspace and (at most) groups.
    const double sorts =
        std::min<double>(static_cast<double>(distinct.size()), static_cast<double>(WorkerCount(0)));
    // The groups of every distinct test, kept with the columns of the other tests for the
    // next combination of the run.
    const double grouped = TestGroupsBytesPerTable * static_cast<double>(distinct.size());
    const double kept = PValueReuse::Worth(e.tables) ? 8 * columns : 0;
    const double perTable = 16 + 24 + 8 + 8 * columns + 4 * static_cast<double>(distinct.size()) +
                            (SortBytesPerTable + 48) * sorts + grouped + kept;
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
