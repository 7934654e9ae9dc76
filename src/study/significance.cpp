#include "study/significance.h"

#include "core/pvalues.h"
#include "core/significance_rules.h"
#include "core/table_coefficient.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cmath>
#include <optional>
#include <utility>

namespace quillon {

namespace {

// The rows of the table array with one row total r and one column total k, found from the
// enumeration order (cross-sectional: r, then a, then c; comparative trial: a, then c).
struct MarginGroup {
    std::int64_t r = 0, k = 0;
};

// What the tables of a pass deciding only P <= alpha hold: the P value where it is at most
// alpha, the marker otherwise (a policy code stays, being above every level already).
double Decided(double pValue, double level) {
    return SignificantAtLevel(pValue, level) ? pValue : NotSignificantMarker;
}

// The P values of one requested set of tests for every table of one class of margins: the
// groups whose margins are {r, N - r} and {k, N - k} in any arrangement. All their tables
// share the policy decision, and tables with the same working table share every P value.
class ClassEvaluator {
public:
    ClassEvaluator(const PValuePass& point, const TestSet& needed, TableArray& tables,
                   const std::optional<ChiSquaredDecision>& chiDecision)
        : point_(point), tables_(tables), N_(point.N), chiDecision_(chiDecision) {
        for (const TestEntry& test : RegisteredTests()) {
            if (!needed[static_cast<std::size_t>(test.number)])
                continue;
            switch (test.family) {
            case TestFamily::ChiSquared:
                chiTests_.push_back(test.number);
                shared_.push_back(test.number);
                break;
            case TestFamily::FisherIrwin:
                fisherTests_.push_back(test.number);
                shared_.push_back(test.number);
                break;
            default:
                // Tests with a design function are filled a row total at a time
                // (DesignWalk).
                if (test.designPValues == nullptr)
                    ownTests_.push_back(&test);
                break;
            }
        }
        // Where each shared test's value stands among a working table's values, and its
        // column.
        for (std::size_t i = 0; i < shared_.size(); ++i) {
            slot_[static_cast<std::size_t>(shared_[i])] = i;
            columns_.push_back(tables.ResultColumn(shared_[i]).data());
        }
        shareChi_ = N_ <= MaxExactMarginProductN;
        if (!fisherTests_.empty()) {
            logFactorials_.resize(static_cast<std::size_t>(N_) + 1);
            for (std::int64_t x = 0; x <= N_; ++x)
                logFactorials_[static_cast<std::size_t>(x)] = LogFactorial(x);
        }
        if (point.design == ComparativeTrial) {
            m_ = point.m;
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
        used_ = 0;
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
                    for (int t : shared_)
                        tables_.SetResult(row, t, policy.code);
                    for (const TestEntry* test : ownTests_)
                        tables_.SetResult(row, test->number, policy.code);
                    continue;
                }
                const double* p = PValues(a, b, c, d);
                for (std::size_t i = 0; i < columns_.size(); ++i)
                    columns_[i][row - 1] = p[i];
                // Tests outside the two families need not share P values across the
                // working table's symmetries, so they are computed for the table itself.
                for (const TestEntry* test : ownTests_) {
                    const double own = test->pValue(a, b, c, d);
                    tables_.SetResult(row, test->number,
                                      point_.decisionLevel ? Decided(own, *point_.decisionLevel)
                                                           : own);
                }
            }
        }
        return count;
    }

private:
    // The working tables of one set of working margins met in the class: their terms and,
    // by A, the values of the shared tests (in the order of shared_) once filled.
    struct Entry {
        std::int64_t K1 = 0;
        std::optional<FisherTerms> terms;
        std::vector<double> values;       // (R1 + 1) x shared_.size()
        std::vector<std::uint8_t> filled; // by A
    };

    // The shared tests' values of the table's working table, in the order of shared_.
    const double* PValues(std::int64_t a, std::int64_t b, std::int64_t c, std::int64_t d) {
        const FisherWorkingTable w = MakeWorkingTable(a, b, c, d);
        Entry* entry = nullptr;
        for (std::size_t e = 0; e < used_; ++e)
            if (entries_[e].K1 == w.K1())
                entry = &entries_[e];
        if (entry == nullptr) {
            // Entries are kept from class to class, so that their storage is reused.
            if (used_ == entries_.size())
                entries_.emplace_back();
            entry = &entries_[used_++];
            entry->K1 = w.K1();
            entry->terms.reset();
            entry->values.resize((static_cast<std::size_t>(w.R1()) + 1) * shared_.size());
            entry->filled.assign(static_cast<std::size_t>(w.R1()) + 1, 0);
        }
        const auto at = static_cast<std::size_t>(w.A);
        double* v = entry->values.data() + at * shared_.size();
        if (entry->filled[at] != 0 && shareChi_)
            return v;
        const std::optional<double>& level = point_.decisionLevel;
        if (!chiTests_.empty()) {
            const double da = static_cast<double>(a), db = static_cast<double>(b),
                         dc = static_cast<double>(c), dd = static_cast<double>(d);
            for (int t : chiTests_) {
                const double X = ChiSquaredValue(da, db, dc, dd, t);
                double& out = v[slot_[static_cast<std::size_t>(t)]];
                if (!level)
                    out = ChiSquaredPValue(X);
                else if (chiDecision_ && chiDecision_->CertainlyAbove(X))
                    out = NotSignificantMarker;
                else
                    out = Decided(ChiSquaredPValue(X), *level);
            }
        }
        if (!fisherTests_.empty() && entry->filled[at] == 0) {
            if (!entry->terms)
                entry->terms.emplace(w.R1(), w.K1(), w.K2(), logFactorials_);
            const FisherTerms& terms = *entry->terms;
            // P(A) alone bounds every P value from below (each sum takes it, test 7 half of
            // it); a term far below the level all but always lies in a significant tail.
            const double pa = terms.P()[static_cast<std::size_t>(w.A)];
            if (!level || pa < *level * 0x1p-20) {
                const FisherPValues f = terms.PValues(w.A);
                for (int t : fisherTests_)
                    v[slot_[static_cast<std::size_t>(t)]] = level ? Decided(f[t], *level) : f[t];
            } else if (0.5 * pa > *level && *level < 1) {
                for (int t : fisherTests_)
                    v[slot_[static_cast<std::size_t>(t)]] = NotSignificantMarker;
            } else {
                // The sums are formed only when a test's bound leaves its decision open.
                const FisherPValues bound = terms.LowerBounds(w.A);
                bool open = false;
                for (int t : fisherTests_)
                    open = open || !(bound[t] > *level);
                const FisherPValues f = open ? terms.PValues(w.A) : FisherPValues{};
                for (int t : fisherTests_)
                    v[slot_[static_cast<std::size_t>(t)]] =
                        bound[t] > *level ? NotSignificantMarker : Decided(f[t], *level);
            }
        }
        entry->filled[at] = 1;
        return v;
    }

    const PValuePass& point_;
    TableArray& tables_;
    // The needed tests: of the chi squared and Fisher-Irwin families (shared across a
    // working table's symmetries), and of any other family.
    std::vector<int> chiTests_, fisherTests_, shared_;
    std::vector<double*> columns_; // of shared_
    std::array<std::size_t, TestNumberLimit> slot_{};
    std::vector<const TestEntry*> ownTests_;
    std::int64_t N_ = 0, m_ = 0;
    bool shareChi_ = true;
    std::vector<std::uint64_t> rowBase_;
    std::vector<double> logFactorials_; // 0..N, for the Fisher-Irwin terms
    std::vector<Entry> entries_;
    std::size_t used_ = 0; // entries of the class in hand
    const std::optional<ChiSquaredDecision>& chiDecision_;
};

// The classes of margins of the enumeration: each a list of (r, k) groups.
std::vector<std::vector<MarginGroup>> MarginClasses(const PValuePass& point) {
    const std::int64_t N = point.N;
    std::vector<std::vector<MarginGroup>> classes;
    auto add = [](std::vector<MarginGroup>& groups, std::int64_t r, std::int64_t k) {
        for (const MarginGroup& g : groups)
            if (g.r == r && g.k == k)
                return;
        groups.push_back({r, k});
    };
    if (point.design == ComparativeTrial) {
        const std::int64_t m = point.m;
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

// The first row (0-based) of the tables of row total r in the enumeration's order; within
// a row total the tables follow DesignTableIndex.
std::uint64_t RowTotalStart(const PValuePass& pass, std::int64_t r) {
    if (pass.design == ComparativeTrial)
        return 0;
    std::uint64_t start = 0;
    for (std::int64_t s = 0; s < r; ++s)
        start += static_cast<std::uint64_t>(s + 1) * static_cast<std::uint64_t>(pass.N - s + 1);
    return start;
}

// The column of a test with a design function for the tables of row total r: the design's
// P values, or the policy code of tables outside the MEN/MMT policy. The design is not
// computed when no table of the row total is eligible. Returns the number of tables done.
std::uint64_t DesignWalk(const PValuePass& pass, const TestEntry& test, std::int64_t r,
                         TableArray& tables) {
    const std::int64_t N = pass.N;
    const auto Nd = static_cast<double>(N);
    std::vector<PolicyResult> policy;
    bool anyEligible = false;
    for (std::int64_t k = 0; k <= N; ++k) {
        policy.push_back(CheckTablePolicy(Nd, static_cast<double>(r), static_cast<double>(N - r),
                                          static_cast<double>(k), static_cast<double>(N - k),
                                          pass.MEN, pass.MMT));
        anyEligible = anyEligible || policy.back().eligible;
    }
    std::vector<double> design;
    if (anyEligible)
        design = test.designPValues(N, r);
    const std::uint64_t start = RowTotalStart(pass, r);
    std::uint64_t count = 0;
    for (std::int64_t a = 0; a <= r; ++a)
        for (std::int64_t c = 0; c <= N - r; ++c) {
            const std::size_t i = DesignTableIndex(N, r, a, c);
            const PolicyResult& p = policy[static_cast<std::size_t>(a + c)];
            double value = p.code;
            if (p.eligible)
                value = pass.decisionLevel ? Decided(design[i], *pass.decisionLevel) : design[i];
            tables.SetResult(start + i + 1, test.number, value);
            ++count;
        }
    return count;
}

} // namespace

PValuePass MakePValuePass(DesignCode design, std::int64_t N, double row, double MEN, double MMT) {
    PValuePass pass;
    pass.design = design;
    pass.N = N;
    pass.m = design == ComparativeTrial ? static_cast<std::int64_t>(row) : 0;
    pass.MEN = MEN;
    pass.MMT = MMT;
    return pass;
}

TestSet NeededTests(const std::vector<int>& tests, bool allTestColumns) {
    TestSet needed{};
    for (int t : tests)
        needed[static_cast<std::size_t>(t)] = true;
    if (allTestColumns)
        for (const TestEntry& test : RegisteredTests())
            if (test.everyListing)
                needed[static_cast<std::size_t>(test.number)] = true;
    return needed;
}

bool ComputeTablePValues(const PValuePass& pass, const TestSet& needed, TableArray& tables,
                         unsigned workers, const StageProgress& progress) {
    for (const TestEntry& test : RegisteredTests())
        if (needed[static_cast<std::size_t>(test.number)])
            tables.EnableTest(test.number);
    const std::vector<std::vector<MarginGroup>> classes = MarginClasses(pass);
    // The walks of the tests with a design function, one per row total (a comparative
    // trial has one), come first: each is much larger than a class of margins.
    struct Walk {
        const TestEntry* test;
        std::int64_t r;
    };
    std::vector<Walk> walks;
    std::uint64_t walkedTests = 0;
    for (const TestEntry& test : RegisteredTests())
        if (needed[static_cast<std::size_t>(test.number)] && test.designPValues != nullptr) {
            ++walkedTests;
            if (pass.design == ComparativeTrial)
                walks.push_back({&test, pass.m});
            else
                for (std::int64_t r = 0; r <= pass.N; ++r)
                    walks.push_back({&test, r});
        }
    const std::size_t items = walks.size() + classes.size();
    // Every test's walks together cover the tables once.
    const std::uint64_t total = tables.Count() * (1 + walkedTests);
    std::atomic<std::size_t> nextItem{0};
    std::atomic<std::uint64_t> done{0};
    std::atomic<bool> stop{false};
    const unsigned pvalueWorkers = tables.Count() < 20'000 && walks.size() < 2 ? 1 : workers;
    std::optional<ChiSquaredDecision> chiDecision;
    if (pass.decisionLevel)
        chiDecision.emplace(*pass.decisionLevel);
    return RunStageWorkers(
        pvalueWorkers, ProgressStage::PValues, total, done, stop, progress, [&](unsigned) {
            ClassEvaluator evaluator(pass, needed, tables, chiDecision);
            for (;;) {
                if (stop.load(std::memory_order_relaxed))
                    return;
                const std::size_t i = nextItem.fetch_add(1);
                if (i >= items)
                    return;
                const std::uint64_t count =
                    i < walks.size() ? DesignWalk(pass, *walks[i].test, walks[i].r, tables)
                                     : evaluator.Evaluate(classes[i - walks.size()]);
                done.fetch_add(count, std::memory_order_relaxed);
            }
        });
}

namespace {

// A key whose unsigned order is the order of the double: non-negative doubles order as
// their bit patterns; negative ones are flipped below them (-0 counts as +0).
std::uint64_t OrderedBits(double x) {
    const auto bits = std::bit_cast<std::uint64_t>(x + 0.0);
    return (bits >> 63) != 0 ? ~bits : bits | (std::uint64_t{1} << 63);
}

// The double of an ordered key (-0 comes back as +0).
double FromOrderedBits(std::uint64_t key) {
    const std::uint64_t top = std::uint64_t{1} << 63;
    return std::bit_cast<double>((key & top) != 0 ? key & ~top : ~key);
}

} // namespace

namespace {

// Below this many keys a comparison sort is quicker than the radix passes' counts.
constexpr std::size_t kSmallSort = 2048;

// Sorts `values` by `keys` (both of one length), stably: least significant digit first,
// 11 bits a pass, so values of equal key keep their order. Every digit's counts come from
// one reading of the keys, and a digit that every key shares is skipped. The sorted keys
// are left in `keys`. Precondition: the values are increasing where keys are equal (so
// a short list may be sorted as pairs).
void RadixSortByKey(LargeArray<std::uint64_t>& keys, LargeArray<std::uint32_t>& values,
                    LargeArray<std::uint64_t>& keysOut, LargeArray<std::uint32_t>& valuesOut) {
    const std::size_t T = keys.size();
    if (T == 0)
        return;
    if (T < kSmallSort) {
        // Few keys: a comparison sort of (key, value) pairs, the values being distinct and
        // given in increasing order, so ties keep their order as the radix passes keep it.
        std::vector<std::pair<std::uint64_t, std::uint32_t>> pairs(T);
        for (std::size_t t = 0; t < T; ++t)
            pairs[t] = {keys[t], values[t]};
        std::sort(pairs.begin(), pairs.end());
        for (std::size_t t = 0; t < T; ++t) {
            keys[t] = pairs[t].first;
            values[t] = pairs[t].second;
        }
        return;
    }
    keysOut.resize(T);
    valuesOut.resize(T);
    constexpr int kDigitBits = 11;
    constexpr int kDigits = (64 + kDigitBits - 1) / kDigitBits;
    constexpr std::size_t kBuckets = std::size_t{1} << kDigitBits;
    // Fewer than 2^32 tables, so 32-bit counts.
    std::array<std::array<std::uint32_t, kBuckets>, kDigits> counts{};
    for (std::size_t t = 0; t < T; ++t) {
        const std::uint64_t key = keys[t];
        for (int d = 0; d < kDigits; ++d)
            ++counts[d][(key >> (d * kDigitBits)) & (kBuckets - 1)];
    }
    for (int d = 0; d < kDigits; ++d) {
        const int shift = d * kDigitBits;
        std::array<std::uint32_t, kBuckets>& count = counts[d];
        if (count[(keys[0] >> shift) & (kBuckets - 1)] == T)
            continue;
        std::uint32_t start = 0;
        for (std::uint32_t& c : count) {
            const std::uint32_t n = c;
            c = start;
            start += n;
        }
        for (std::size_t t = 0; t < T; ++t) {
            const std::uint32_t at = count[(keys[t] >> shift) & (kBuckets - 1)]++;
            keysOut[at] = keys[t];
            valuesOut[at] = values[t];
        }
        keys.swap(keysOut);
        values.swap(valuesOut);
    }
}

} // namespace

void SortRowsByPValue(const TableArray& tables, int test, std::vector<std::uint32_t>& order,
                      SortWorkspace& work) {
    const std::size_t T = tables.Count();
    work.order.resize(T);
    work.keys.resize(T);
    for (std::size_t t = 0; t < T; ++t) {
        work.keys[t] = OrderedBits(tables.Result(t + 1, test));
        work.order[t] = static_cast<std::uint32_t>(t + 1);
    }
    RadixSortByKey(work.keys, work.order, work.keysOut, work.valuesOut);
    order.assign(work.order.begin(), work.order.end());
}

namespace {

bool SamePass(const PValuePass& x, const PValuePass& y) {
    return x.design == y.design && x.N == y.N && x.m == y.m && x.MEN == y.MEN && x.MMT == y.MMT &&
           x.decisionLevel == y.decisionLevel;
}

} // namespace

std::shared_ptr<const SharedOrders> PValueReuse::Find(const PValuePass& pass,
                                                      const TestSet& needed) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!kept_ || !SamePass(kept_->pass, pass))
        return nullptr;
    for (std::size_t t = 1; t < needed.size(); ++t)
        if (needed[t] && !kept_->needed[t])
            return nullptr;
    return kept_;
}

void PValueReuse::Keep(std::shared_ptr<const SharedOrders> entry) {
    std::lock_guard<std::mutex> lock(mutex_);
    kept_ = std::move(entry);
}

bool PValueReuse::Worth(std::uint64_t tables) {
    return tables <= 20'000'000;
}

void CombinePValueGroups(const TableArray& tables, int test,
                         const std::vector<std::uint32_t>& order,
                         std::span<const double> probability, std::span<const double> upper,
                         std::vector<PValueGroup>& groups) {
    groups.clear();
    const bool bounds = !upper.empty();
    for (const std::uint32_t row : order) {
        const double p = tables.Result(row, test);
        if (groups.empty() || std::fabs(p - groups.back().pValue) != 0) {
            PValueGroup g;
            g.pValue = p;
            g.count = 1;
            g.proportion = probability[row - 1];
            if (bounds)
                g.upperBound = upper[row - 1];
            groups.push_back(g);
        } else {
            PValueGroup& g = groups.back();
            g.count = g.count + 1;
            g.proportion = g.proportion + probability[row - 1];
            if (bounds)
                g.upperBound = g.upperBound + upper[row - 1];
        }
    }
    double cum = 0, cumUB = 0;
    for (PValueGroup& g : groups) {
        cum = cum + g.proportion;
        cumUB = cumUB + g.upperBound;
        g.cumulative = cum;
        g.cumulativeUpperBound = cumUB;
    }
}

SignificantProportion SummariseGroups(const std::vector<PValueGroup>& groups, double alpha) {
    SignificantProportion s;
    for (const PValueGroup& g : groups) {
        if (SignificantAtLevel(g.pValue, alpha)) {
            s.proportion = g.cumulative;
            s.upperBound = g.cumulativeUpperBound;
            if (g.cumulative - g.pValue > s.maxDif)
                s.maxDif = g.cumulative - g.pValue;
        }
    }
    return s;
}

void GroupTablesByPValue(const TableArray& tables, int test, TestGroups& groups,
                         std::vector<std::uint32_t>& order, SortWorkspace& work) {
    SortRowsByPValue(tables, test, order, work);
    // The sort leaves the keys in sorted order beside the rows, so the runs of equal values
    // are found without going back to the column, except for a group's own value.
    const std::size_t T = order.size();
    groups.pValues.clear();
    groups.counts.clear();
    groups.ofTable.resize(T);
    double last = 0;
    for (std::size_t i = 0; i < T; ++i) {
        const double p = FromOrderedBits(work.keys[i]);
        if (groups.pValues.empty() || std::fabs(p - last) != 0) {
            last = p;
            groups.pValues.push_back(tables.Result(order[i], test));
            groups.counts.push_back(0);
        }
        ++groups.counts.back();
        groups.ofTable[order[i] - 1] = static_cast<std::uint32_t>(groups.pValues.size() - 1);
    }
}

void OrderOfGroups(const TestGroups& groups, std::vector<std::uint32_t>& order) {
    std::vector<std::uint64_t> next(groups.counts.size());
    std::uint64_t start = 0;
    for (std::size_t g = 0; g < next.size(); ++g) {
        next[g] = start;
        start += groups.counts[g];
    }
    order.resize(groups.ofTable.size());
    for (std::size_t t = 0; t < groups.ofTable.size(); ++t)
        order[next[groups.ofTable[t]]++] = static_cast<std::uint32_t>(t + 1);
}

void SumPValueGroups(const TestGroups& groups, std::span<const double> probability,
                     std::span<const double> upper, std::vector<PValueGroup>& out) {
    const std::size_t G = groups.pValues.size();
    const std::size_t T = groups.ofTable.size();
    const std::uint32_t* of = groups.ofTable.data();
    // Every probability is a non-negative number, so a sum started at +0 is the sum
    // started at the group's first table.
    std::vector<double> sums(G, 0.0), upperSums;
    if (upper.empty()) {
        for (std::size_t t = 0; t < T; ++t)
            sums[of[t]] = sums[of[t]] + probability[t];
    } else {
        // Both sums in one pass over the tables; each is still added in table order.
        upperSums.assign(G, 0.0);
        for (std::size_t t = 0; t < T; ++t) {
            const std::uint32_t g = of[t];
            sums[g] = sums[g] + probability[t];
            upperSums[g] = upperSums[g] + upper[t];
        }
    }
    out.assign(G, PValueGroup{});
    for (std::size_t g = 0; g < G; ++g) {
        out[g].pValue = groups.pValues[g];
        out[g].count = groups.counts[g];
        out[g].proportion = sums[g];
        out[g].upperBound = upperSums.empty() ? 0.0 : upperSums[g];
    }
    double cum = 0, cumUB = 0;
    for (PValueGroup& g : out) {
        cum = cum + g.proportion;
        cumUB = cumUB + g.upperBound;
        g.cumulative = cum;
        g.cumulativeUpperBound = cumUB;
    }
}

bool FillTablePValues(const PValuePass& pass, const TestSet& needed, const PValueReuse* reuse,
                      TableArray& tables, unsigned workers, const StageProgress& progress,
                      std::shared_ptr<const SharedOrders>& shared, bool everyColumn) {
    shared = reuse ? reuse->Find(pass, needed) : nullptr;
    if (!shared)
        return ComputeTablePValues(pass, needed, tables, workers, progress);
    for (int t = 1; t <= HighestTestNumber(); ++t) {
        if (!needed[t])
            continue;
        const TestGroups* groups = shared->groups[t].get();
        if (groups && !everyColumn)
            continue;
        tables.EnableTest(t);
        if (groups) {
            for (std::size_t row = 1; row <= groups->ofTable.size(); ++row)
                tables.SetResult(row, t, groups->pValues[groups->ofTable[row - 1]]);
            continue;
        }
        const std::vector<double>& column = shared->columns[t];
        for (std::size_t row = 1; row <= column.size(); ++row)
            tables.SetResult(row, t, column[row - 1]);
    }
    return true;
}

std::shared_ptr<const SignificantTables>
PValueReuse::FindSignificant(const PValuePass& pass, const TestSet& needed, double alpha) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!significant_ || !SamePass(significant_->pass, pass) || significant_->alpha != alpha)
        return nullptr;
    for (std::size_t t = 1; t < needed.size(); ++t)
        if (needed[t] && !significant_->needed[t])
            return nullptr;
    return significant_;
}

void PValueReuse::KeepSignificant(std::shared_ptr<const SignificantTables> entry) {
    std::lock_guard<std::mutex> lock(mutex_);
    significant_ = std::move(entry);
}

std::unique_ptr<PValueReuse::Scratch> PValueReuse::BorrowScratch() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (spare_.empty())
        return std::make_unique<Scratch>();
    std::unique_ptr<Scratch> scratch = std::move(spare_.back());
    spare_.pop_back();
    return scratch;
}

void PValueReuse::ReturnScratch(std::unique_ptr<Scratch> scratch) {
    // A run has one scratch out per evaluation in hand, so the spares never exceed the
    // evaluations it holds at once.
    scratch->tables.Clear();
    std::lock_guard<std::mutex> lock(mutex_);
    spare_.push_back(std::move(scratch));
}

bool SelectSignificantTables(const PValuePass& pass, const TableArray& tables,
                             const std::vector<int>& tests, double alpha, unsigned workers,
                             const StageProgress& progress, SortWorkspace& work,
                             SignificantTables& out) {
    out.pass = pass;
    out.alpha = alpha;
    out.needed = {};
    out.tables.clear();
    const std::size_t T = tables.Count();
    std::array<std::span<const double>, TestNumberLimit> column{};
    for (int t : tests) {
        out.needed[static_cast<std::size_t>(t)] = true;
        column[static_cast<std::size_t>(t)] = tables.Results(t);
    }
    // The tables some test calls significant, in table order: their rows (0-based), then
    // their cells and coefficients.
    std::vector<std::uint32_t> rows;
    rows.reserve(T);
    for (std::size_t row = 0; row < T; ++row) {
        bool any = false;
        for (int t : tests)
            any = any || SignificantAtLevel(column[static_cast<std::size_t>(t)][row], alpha);
        if (any)
            rows.push_back(static_cast<std::uint32_t>(row));
    }
    const TableCoefficientLog lnCoefficient(pass.design, pass.N, pass.m);
    out.tables.reserve(rows.size());
    for (const std::uint32_t r : rows) {
        SignificantTables::Table entry;
        const std::size_t row = r + 1;
        entry.a = tables.Cell(row, 1);
        entry.b = tables.Cell(row, 2);
        entry.c = tables.Cell(row, 3);
        entry.d = tables.Cell(row, 4);
        entry.coefficient = MakeTableCoefficient(lnCoefficient(entry.a, entry.b, entry.c, entry.d));
        out.tables.push_back(entry);
    }
    const std::vector<std::uint32_t> entryRows = std::move(rows);

    // Each test's entries in increasing P value, equal P values in table order (they are
    // noted in table order and the sort is stable), grouped as GroupTablesByPValue groups
    // them.
    std::atomic<std::size_t> next{0};
    std::atomic<std::uint64_t> done{0};
    std::atomic<bool> stop{false};
    const unsigned sortWorkers =
        T < 20'000 ? 1 : std::min<unsigned>(workers, static_cast<unsigned>(tests.size()));
    for (int t : tests)
        out.byTest[static_cast<std::size_t>(t)] = {};
    return RunStageWorkers(sortWorkers, ProgressStage::Sorting, tests.size(), done, stop, progress,
                           [&](unsigned worker) {
                               SortWorkspace own;
                               SortWorkspace& w = worker == 0 ? work : own;
                               for (;;) {
                                   if (stop.load(std::memory_order_relaxed))
                                       return;
                                   const std::size_t i = next.fetch_add(1);
                                   if (i >= tests.size())
                                       return;
                                   const auto t = static_cast<std::size_t>(tests[i]);
                                   const std::span<const double> p = column[t];
                                   // The test's significant rows are among the entries' rows, both
                                   // in table order: one walk finds each one's entry.
                                   w.keys.clear();
                                   w.order.clear();
                                   std::size_t e = 0;
                                   for (const std::uint32_t row : entryRows) {
                                       if (SignificantAtLevel(p[row], alpha)) {
                                           w.keys.push_back(OrderedBits(p[row]));
                                           w.order.push_back(static_cast<std::uint32_t>(e));
                                       }
                                       ++e;
                                   }
                                   RadixSortByKey(w.keys, w.order, w.keysOut, w.valuesOut);
                                   SignificantTables::Groups& g = out.byTest[t];
                                   std::size_t count = 0;
                                   for (std::size_t k = 0; k < w.keys.size(); ++k)
                                       count += k == 0 || w.keys[k] != w.keys[k - 1] ? 1 : 0;
                                   g.pValues.reserve(count);
                                   g.ends.reserve(count);
                                   for (std::size_t k = 0; k < w.keys.size(); ++k) {
                                       if (k != 0 && w.keys[k] == w.keys[k - 1])
                                           continue;
                                       if (k != 0)
                                           g.ends.push_back(static_cast<std::uint32_t>(k));
                                       g.pValues.push_back(FromOrderedBits(w.keys[k]));
                                   }
                                   if (!w.keys.empty())
                                       g.ends.push_back(static_cast<std::uint32_t>(w.keys.size()));
                                   g.members.assign(w.order.begin(), w.order.end());
                                   done.fetch_add(1);
                               }
                           });
}

SignificantProportion SumSignificantGroups(const SignificantTables::Groups& test,
                                           std::span<const double> probability,
                                           std::span<const double> second,
                                           std::vector<PValueGroup>* groups) {
    if (groups)
        groups->clear();
    SignificantProportion s;
    const bool both = !second.empty();
    double cum = 0, cumSecond = 0;
    std::uint32_t begin = 0;
    for (std::size_t g = 0; g < test.pValues.size(); ++g) {
        const std::uint32_t end = test.ends[g];
        // Every probability is non-negative, so a sum started at +0 is the sum started at
        // the group's first table, as SumPValueGroups starts it.
        double sum = 0, sumSecond = 0;
        for (std::uint32_t e = begin; e < end; ++e)
            sum = sum + probability[test.members[e]];
        if (both)
            for (std::uint32_t e = begin; e < end; ++e)
                sumSecond = sumSecond + second[test.members[e]];
        cum = cum + sum;
        cumSecond = cumSecond + sumSecond;
        const double p = test.pValues[g];
        s.proportion = cum;
        s.upperBound = cumSecond;
        if (cum - p > s.maxDif)
            s.maxDif = cum - p;
        if (groups) {
            PValueGroup group;
            group.pValue = p;
            group.count = end - begin;
            group.proportion = sum;
            group.cumulative = cum;
            group.upperBound = sumSecond;
            group.cumulativeUpperBound = cumSecond;
            groups->push_back(group);
        }
        begin = end;
    }
    return s;
}

std::shared_ptr<const SignificantTables>
SignificantTablesOf(const PValuePass& passOfTables, const TestSet& needed,
                    const std::vector<int>& tests, double alpha, PValueReuse* reuse,
                    unsigned threads, const StageProgress& progress) {
    // Only the tables with P <= alpha are read, so the pass decides just that.
    PValuePass pass = passOfTables;
    pass.decisionLevel = alpha;
    if (reuse) {
        if (std::shared_ptr<const SignificantTables> kept =
                reuse->FindSignificant(pass, needed, alpha)) {
            if (progress && !progress(ProgressStage::Sorting, 0, 1))
                return nullptr;
            return kept;
        }
    }
    const unsigned workers = WorkerCount(threads);
    // The log-factorial cache grows to N before any worker reads it.
    LogFactorial(pass.N);
    std::unique_ptr<PValueReuse::Scratch> scratch =
        reuse ? reuse->BorrowScratch() : std::make_unique<PValueReuse::Scratch>();
    TableArray& tables = scratch->tables;
    EnumerateTableCells(pass.design, pass.N, pass.m, tables);
    auto made = std::make_shared<SignificantTables>();
    const bool ok = ComputeTablePValues(pass, needed, tables, workers, progress) &&
                    SelectSignificantTables(pass, tables, tests, alpha, workers, progress,
                                            scratch->sort, *made);
    const std::size_t T = tables.Count();
    if (reuse)
        reuse->ReturnScratch(std::move(scratch));
    if (!ok)
        return nullptr;
    if (reuse && PValueReuse::Worth(T))
        reuse->KeepSignificant(made);
    return made;
}

} // namespace quillon
