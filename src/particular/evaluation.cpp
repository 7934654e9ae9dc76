#include "particular/evaluation.h"

#include "core/memory.h"
#include "core/numtext.h"
#include "core/pvalues.h"
#include "particular/listing_text.h"
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

// Runs `work(worker)` for `workers` pieces on the engine's pool while the calling thread
// reports progress every tenth of a second. Returns false when the progress callback asked
// to stop; `stop` is then set so that the workers finish early.
template <typename Work>
bool RunWorkers(unsigned workers, const std::string& stage, std::uint64_t total,
                const std::atomic<std::uint64_t>& done, std::atomic<bool>& stop,
                const EvaluationOptions& options, Work work) {
    WorkerPool::Shared().RunWithPolling(workers, work, [&] {
        if (options.progress && !options.progress(stage, done.load(), total))
            stop.store(true);
    });
    if (options.progress && !stop.load() && !options.progress(stage, total, total))
        stop.store(true);
    return !stop.load();
}

// The rows of the table array with one row total r and one column total k, found from the
// enumeration order (cross-sectional: r, then a, then c; comparative trial: a, then c).
struct MarginGroup {
    std::int64_t r = 0, k = 0;
};

// The P values of one requested set of tests for every table of one class of margins: the
// groups whose margins are {r, N - r} and {k, N - k} in any arrangement. All their tables
// share the policy decision, and tables with the same working table share every P value.
class ClassEvaluator {
public:
    ClassEvaluator(const EvaluationPoint& point, const std::array<bool, 8>& needed,
                   TableArray& tables)
        : point_(point), needed_(needed), tables_(tables), N_(point.N) {
        needFisher_ = needed[4] || needed[5] || needed[6] || needed[7];
        needChi_ = needed[1] || needed[2] || needed[3];
        shareChi_ = N_ <= MaxExactMarginProductN;
        if (point.design == ComparativeTrial) {
            m_ = static_cast<std::int64_t>(point.row);
        } else {
            rowBase_.resize(static_cast<std::size_t>(N_) + 2, 0);
            for (std::int64_t r = 0; r <= N_; ++r)
                rowBase_[r + 1] = rowBase_[r] + static_cast<std::uint64_t>(r + 1) *
                                                    static_cast<std::uint64_t>(N_ - r + 1);
        }
    }

    // First row (0-based) of table (a, c) in group (r, k).
    std::uint64_t RowIndex(std::int64_t r, std::int64_t a, std::int64_t c) const {
        if (point_.design == ComparativeTrial)
            return static_cast<std::uint64_t>(a) * static_cast<std::uint64_t>(N_ - m_ + 1) +
                   static_cast<std::uint64_t>(c);
        return rowBase_[r] +
               static_cast<std::uint64_t>(a) * static_cast<std::uint64_t>(N_ - r + 1) +
               static_cast<std::uint64_t>(c);
    }

    // Evaluates every table of the groups; returns the number of tables done.
    std::uint64_t Evaluate(const std::vector<MarginGroup>& groups) {
        const MarginGroup& g0 = groups.front();
        const PolicyResult policy = CheckTablePolicy(
            static_cast<double>(N_), static_cast<double>(g0.r), static_cast<double>(N_ - g0.r),
            static_cast<double>(g0.k), static_cast<double>(N_ - g0.k), point_.MEN, point_.MMT);
        entries_.clear();
        std::uint64_t count = 0;
        for (const MarginGroup& g : groups) {
            const std::int64_t r = g.r, k = g.k;
            const std::int64_t aLow = std::max<std::int64_t>(0, k - (N_ - r));
            const std::int64_t aHigh = std::min(r, k);
            for (std::int64_t a = aLow; a <= aHigh; ++a) {
                const std::int64_t b = r - a, c = k - a, d = N_ - r - c;
                const std::size_t row = RowIndex(r, a, c) + 1;
                assert(tables_.Cell(row, 1) == a && tables_.Cell(row, 3) == c);
                ++count;
                if (!policy.eligible) {
                    for (int t = 1; t <= 7; ++t)
                        if (needed_[t])
                            tables_.SetResult(row, t, policy.code);
                    continue;
                }
                const std::array<double, 8>& p = PValues(a, b, c, d);
                for (int t = 1; t <= 7; ++t)
                    if (needed_[t])
                        tables_.SetResult(row, t, p[t]);
            }
        }
        return count;
    }

private:
    struct Entry {
        std::int64_t K1 = 0;
        std::optional<FisherTerms> terms;
        std::vector<std::array<double, 8>> values; // by A; [0] = 1 once filled
    };

    const std::array<double, 8>& PValues(std::int64_t a, std::int64_t b, std::int64_t c,
                                         std::int64_t d) {
        const FisherWorkingTable w = MakeWorkingTable(a, b, c, d);
        Entry* entry = nullptr;
        for (Entry& e : entries_)
            if (e.K1 == w.K1())
                entry = &e;
        if (entry == nullptr) {
            entries_.emplace_back();
            entry = &entries_.back();
            entry->K1 = w.K1();
            entry->values.assign(static_cast<std::size_t>(w.R1()) + 1, std::array<double, 8>{});
        }
        std::array<double, 8>& v = entry->values[static_cast<std::size_t>(w.A)];
        if (v[0] != 0 && shareChi_)
            return v;
        if (needChi_) {
            const double da = static_cast<double>(a), db = static_cast<double>(b),
                         dc = static_cast<double>(c), dd = static_cast<double>(d);
            for (int t = 1; t <= 3; ++t)
                if (needed_[t])
                    v[t] = ChiSquaredPValue(ChiSquaredValue(da, db, dc, dd, t));
        }
        if (needFisher_ && v[0] == 0) {
            if (!entry->terms)
                entry->terms.emplace(w.R1(), w.K1(), w.K2());
            const FisherPValues f = entry->terms->PValues(w.A);
            v[4] = f.test4;
            v[5] = f.test5;
            v[6] = f.test6;
            v[7] = f.test7;
        }
        v[0] = 1;
        return v;
    }

    const EvaluationPoint& point_;
    std::array<bool, 8> needed_;
    TableArray& tables_;
    std::int64_t N_ = 0, m_ = 0;
    bool needFisher_ = false, needChi_ = false, shareChi_ = true;
    std::vector<std::uint64_t> rowBase_;
    std::vector<Entry> entries_;
};

// The classes of margins of the enumeration: each a list of (r, k) groups.
std::vector<std::vector<MarginGroup>> MarginClasses(const EvaluationPoint& point) {
    const std::int64_t N = point.N;
    std::vector<std::vector<MarginGroup>> classes;
    auto add = [](std::vector<MarginGroup>& groups, std::int64_t r, std::int64_t k) {
        for (const MarginGroup& g : groups)
            if (g.r == r && g.k == k)
                return;
        groups.push_back({r, k});
    };
    if (point.design == ComparativeTrial) {
        const auto m = static_cast<std::int64_t>(point.row);
        for (std::int64_t k = 0; 2 * k <= N; ++k) {
            std::vector<MarginGroup> groups;
            add(groups, m, k);
            add(groups, m, N - k);
            classes.push_back(std::move(groups));
        }
        return classes;
    }
    // Cross-sectional: the class of (r, k) is the sorted pair of min(r, N - r) and
    // min(k, N - k); its groups are every arrangement of the two margin pairs.
    for (std::int64_t lo = 0; 2 * lo <= N; ++lo)
        for (std::int64_t hi = lo; 2 * hi <= N; ++hi) {
            std::vector<MarginGroup> groups;
            for (std::int64_t r : {lo, N - lo})
                for (std::int64_t k : {hi, N - hi})
                    add(groups, r, k);
            for (std::int64_t r : {hi, N - hi})
                for (std::int64_t k : {lo, N - lo})
                    add(groups, r, k);
            classes.push_back(std::move(groups));
        }
    return classes;
}

// The rows of one test in sorted order; the keys are the sort's working copy of the
// test's column.
void SortOneTest(const PointEvaluation& evaluation, TestEvaluation& result,
                 std::vector<double>& keys) {
    const TableArray& tables = evaluation.tables;
    const std::size_t T = tables.Count();
    keys.resize(T);
    result.order.resize(T);
    for (std::size_t t = 0; t < T; ++t) {
        keys[t] = tables.Result(t + 1, result.test);
        result.order[t] = static_cast<std::uint32_t>(t + 1);
    }
    CombSortByPValue(keys, result.order);
}

// Combines runs of exactly equal P values, fills the cumulative fields and summarises.
void CombineAndSummarise(const TableArray& tables, double parameter, TestEvaluation& result) {
    result.groups.clear();
    for (std::size_t t = 0; t < result.order.size(); ++t) {
        const std::uint32_t row = result.order[t];
        const double p = tables.Result(row, result.test);
        if (result.groups.empty() || std::fabs(p - result.groups.back().pValue) != 0) {
            PValueGroup g;
            g.pValue = p;
            g.count = 1;
            g.proportion = tables.Probability(row);
            g.upperBound = tables.Upper(row);
            result.groups.push_back(g);
        } else {
            PValueGroup& g = result.groups.back();
            g.count = g.count + 1;
            g.proportion = g.proportion + tables.Probability(row);
            g.upperBound = g.upperBound + tables.Upper(row);
        }
    }
    double cum = 0, cumUB = 0;
    for (PValueGroup& g : result.groups) {
        cum = cum + g.proportion;
        cumUB = cumUB + g.upperBound;
        g.cumulative = cum;
        g.cumulativeUpperBound = cumUB;
    }
    result.propSig = 0;
    result.upperBound = 0;
    result.maxDif = 0;
    for (const PValueGroup& g : result.groups) {
        if (g.pValue <= parameter) {
            result.propSig = g.cumulative;
            result.upperBound = g.cumulativeUpperBound;
            if (g.cumulative - g.pValue > result.maxDif)
                result.maxDif = g.cumulative - g.pValue;
        }
    }
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

void CombSortByPValue(std::vector<double>& keys, std::vector<std::uint32_t>& rows) {
    const std::size_t T = keys.size();
    if (T == 0)
        return;
    // Keys and rows apart: the comparisons read only the keys.
    double* k = keys.data();
    std::uint32_t* r = rows.data();
    auto gap = static_cast<std::size_t>(static_cast<double>(T) * 0.8);
    for (;;) {
        bool swapped = false;
        if (gap < T) {
            const std::size_t last = T - gap;
            for (std::size_t t = 0; t < last; ++t) {
                if (k[t] > k[t + gap]) {
                    std::swap(k[t], k[t + gap]);
                    std::swap(r[t], r[t + gap]);
                    swapped = true;
                }
            }
        }
        if (!swapped && gap == 1)
            break;
        gap = static_cast<std::size_t>(static_cast<double>(gap) * 0.8);
        if (gap == 0)
            gap = 1;
    }
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
    std::vector<int> distinct;
    for (int t : point.tests)
        if (std::find(distinct.begin(), distinct.end(), t) == distinct.end())
            distinct.push_back(t);
    const double columns = allTestColumns ? 7 : static_cast<double>(distinct.size());
    // Per table: four 32-bit cells and three doubles in the table array, the test
    // columns, the sorted order of every distinct test, and the sort's keys of the tests
    // sorted at the same time (at most one per worker).
    const double sorts =
        std::min<double>(static_cast<double>(distinct.size()), static_cast<double>(WorkerCount(0)));
    const double perTable =
        16 + 24 + 8 * columns + 4 * static_cast<double>(distinct.size()) + sizeof(double) * sorts;
    const double bytes = static_cast<double>(e.tables) * perTable + 64.0 * 1024 * 1024;
    e.bytes = bytes >= 1.8e19 ? std::numeric_limits<std::uint64_t>::max()
                              : static_cast<std::uint64_t>(bytes);
    return e;
}

std::optional<std::string> MemoryRefusal(const EvaluationPoint& point, bool allTestColumns,
                                         std::optional<std::uint64_t> availableBytes) {
    const MemoryEstimate e = EstimateEvaluationMemory(point, allTestColumns);
    const bool tooManyRows = e.tables > std::numeric_limits<std::uint32_t>::max();
    const bool tooBig = availableBytes && e.bytes > *availableBytes;
    if (!tooManyRows && !tooBig)
        return std::nullopt;
    return MemoryRefusalText(point.design, point.N, static_cast<double>(e.tables),
                             static_cast<double>(e.bytes), availableBytes, "needs",
                             ", more than one evaluation can hold");
}

std::optional<PointEvaluation> EvaluatePoint(const EvaluationPoint& point,
                                             const EvaluationOptions& options) {
    PointEvaluation ev;
    ev.point = point;
    ev.allTestColumns = options.allTestColumns;
    const unsigned workers = WorkerCount(options.threads);

    // The log-factorial cache grows to N before any worker reads it.
    LogFactorial(point.N);
    EnumerateTables(point.design, point.N, point.pCol, point.interval, point.row, point.rowInterval,
                    ev.tables);
    const std::size_t T = ev.tables.Count();

    std::array<bool, 8> needed{};
    for (int t : point.tests)
        needed[t] = true;
    if (options.allTestColumns)
        for (int t = 1; t <= 7; ++t)
            needed[t] = true;
    for (int t = 1; t <= 7; ++t)
        if (needed[t])
            ev.tables.EnableTest(t);

    // P values, class of margins by class of margins.
    const std::vector<std::vector<MarginGroup>> classes = MarginClasses(point);
    std::atomic<std::size_t> nextClass{0};
    std::atomic<std::uint64_t> done{0};
    std::atomic<bool> stop{false};
    const bool small = T < 20'000;
    const unsigned pvalueWorkers = small ? 1 : workers;
    const bool ok = RunWorkers(pvalueWorkers, "P values", T, done, stop, options, [&](unsigned) {
        ClassEvaluator evaluator(point, needed, ev.tables);
        for (;;) {
            if (stop.load(std::memory_order_relaxed))
                return;
            const std::size_t i = nextClass.fetch_add(1);
            if (i >= classes.size())
                return;
            done.fetch_add(evaluator.Evaluate(classes[i]), std::memory_order_relaxed);
        }
    });
    if (!ok)
        return std::nullopt;

    // One set of results per distinct test, in the order of first occurrence.
    for (int t : point.tests) {
        bool seen = false;
        for (const TestEvaluation& r : ev.results)
            seen = seen || r.test == t;
        if (!seen) {
            TestEvaluation r;
            r.test = t;
            ev.results.push_back(std::move(r));
        }
    }
    if (!options.summarise)
        return ev;

    // The sorts of the tests are independent; each worker takes whole tests.
    std::atomic<std::size_t> nextTest{0};
    std::atomic<std::uint64_t> sorted{0};
    const unsigned sortWorkers =
        small ? 1 : std::min<unsigned>(workers, static_cast<unsigned>(ev.results.size()));
    const bool sortedOk =
        RunWorkers(sortWorkers, "Sorting", ev.results.size(), sorted, stop, options, [&](unsigned) {
            std::vector<double> keys;
            for (;;) {
                if (stop.load(std::memory_order_relaxed))
                    return;
                const std::size_t i = nextTest.fetch_add(1);
                if (i >= ev.results.size())
                    return;
                SortOneTest(ev, ev.results[i], keys);
                CombineAndSummarise(ev.tables, point.parameter, ev.results[i]);
                sorted.fetch_add(1);
            }
        });
    if (!sortedOk)
        return std::nullopt;
    return ev;
}

} // namespace quillon
