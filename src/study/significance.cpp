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
    // `tables`, unless null, receives the values (Evaluate); Walk alone needs none.
    ClassEvaluator(const PValuePass& point, const TestSet& needed, TableArray* tables,
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
            if (tables != nullptr)
                columns_.push_back(tables->ResultColumn(shared_[i]).data());
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

    // Calls emit(group, a, b, c, d, values, policy) for every table of the groups in
    // order (groups in turn, a increasing): `values` are the shared tests' values of the
    // table in the order of SharedTests(), or null for a table outside the policy (whose
    // code is policy.code). Returns the number of tables done.
    template <typename Emit>
    std::uint64_t Walk(const std::vector<MarginGroup>& groups, Emit&& emit) {
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
                ++count;
                emit(g, a, b, c, d, policy.eligible ? PValues(a, b, c, d) : nullptr, policy);
            }
        }
        return count;
    }

    // Evaluates every table of the groups into the table array; returns the number of
    // tables done.
    std::uint64_t Evaluate(const std::vector<MarginGroup>& groups) {
        return Walk(groups,
                    [&](const MarginGroup& g, std::int64_t a, std::int64_t b, std::int64_t c,
                        std::int64_t d, const double* p, const PolicyResult& policy) {
                        const std::size_t row = RowIndex(g.r, a, c) + 1;
                        assert(tables_->Cell(row, 1) == a && tables_->Cell(row, 3) == c);
                        if (p == nullptr) {
                            for (int t : shared_)
                                tables_->SetResult(row, t, policy.code);
                            for (const TestEntry* test : ownTests_)
                                tables_->SetResult(row, test->number, policy.code);
                            return;
                        }
                        for (std::size_t i = 0; i < columns_.size(); ++i)
                            columns_[i][row - 1] = p[i];
                        for (const TestEntry* test : ownTests_)
                            tables_->SetResult(row, test->number, Own(*test, a, b, c, d));
                    });
    }

    // The value of a test outside the two families for the table itself: such tests need
    // not share P values across the working table's symmetries.
    double Own(const TestEntry& test, std::int64_t a, std::int64_t b, std::int64_t c,
               std::int64_t d) const {
        const double own = test.pValue(a, b, c, d);
        return point_.decisionLevel ? Decided(own, *point_.decisionLevel) : own;
    }

    // The needed tests of the two families, in the order of Walk's values.
    const std::vector<int>& SharedTests() const { return shared_; }

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
    TableArray* tables_;
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
            ClassEvaluator evaluator(pass, needed, &tables, chiDecision);
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
                      std::shared_ptr<const SharedOrders>& shared) {
    shared = reuse ? reuse->Find(pass, needed) : nullptr;
    if (!shared)
        return ComputeTablePValues(pass, needed, tables, workers, progress);
    for (int t = 1; t <= HighestTestNumber(); ++t) {
        if (!needed[t])
            continue;
        const TestGroups* groups = shared->groups[t].get();
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

std::shared_ptr<const SignificantTables> PValueReuse::FindSignificant(const PValuePass& pass,
                                                                      const TestSet& needed,
                                                                      double alpha,
                                                                      bool ordered) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!significant_ || !SamePass(significant_->pass, pass) || significant_->alpha != alpha ||
        (ordered && !significant_->ordered))
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

std::uint16_t SignificantBucket(double p) {
    // Bits 48 and up of a non-negative double: its binade and the first four bits of its
    // fraction, which increase with it.
    return static_cast<std::uint16_t>(std::bit_cast<std::uint64_t>(p + 0.0) >> 48);
}
static_assert((std::bit_cast<std::uint64_t>(1.0) >> 48) < SignificantTables::Buckets);

namespace {

// Fills a SignificantTables margin by margin (margins in order, each margin's tables in
// increasing a), forming the coefficients and each margin's sums as each margin closes.
class SignificantBuilder {
public:
    SignificantBuilder(const PValuePass& pass, const std::vector<int>& tests, double alpha,
                       bool ordered, std::size_t capacity, SignificantTables& out)
        : out_(out), tests_(tests), ordered_(ordered), lnCoefficient_(pass.design, pass.N, pass.m) {
        out.pass = pass;
        out.alpha = alpha;
        out.ordered = ordered;
        out.needed = {};
        out.margins.clear();
        out.tables.clear();
        out.tables.reserve(capacity);
        for (SignificantTables::Test& t : out.byTest)
            t = {};
        out.order.clear();
        out.valueBlocks.clear();
        out.valuesOf.clear();
        out.byBucket.clear();
        out.bucketStats.clear();
        if (ordered) {
            out.order = tests;
            out.valuesOf.reserve(capacity);
        }
        for (std::size_t i = 0; i < tests.size(); ++i) {
            out.needed[static_cast<std::size_t>(tests[i])] = true;
            out.byTest[static_cast<std::size_t>(tests[i])].column = i;
        }
    }

    // Opens margin (r, k), closing the one before.
    void Margin(std::int64_t r, std::int64_t k) {
        Close();
        margin_ = {};
        margin_.r = static_cast<std::int32_t>(r);
        margin_.k = static_cast<std::int32_t>(k);
        margin_.begin = static_cast<std::uint32_t>(out_.tables.size());
        open_ = true;
    }

    // A table of the open margin that the tests of `mask` call significant; `p` holds the
    // values of the builder's tests in their order (read only with order kept), in memory
    // that the tables are given (GiveValues) and that outlives them.
    void Add(std::int64_t a, std::uint16_t mask, const double* p) {
        SignificantTables::Table t;
        t.a = static_cast<std::int32_t>(a);
        t.tests = mask;
        out_.tables.push_back(t);
        if (ordered_)
            out_.valuesOf.push_back(p);
    }

    // Memory `Add`'s values point into, kept with the tables.
    void GiveValues(LargeArray<double> block) { out_.valueBlocks.push_back(std::move(block)); }

    void Finish() {
        Close();
        if (!ordered_)
            return;
        constexpr std::size_t B = SignificantTables::Buckets;
        const std::size_t S = out_.tables.size(), width = tests_.size();
        out_.bucketStats.assign(width * B, {});
        std::vector<std::uint16_t> bits(width);
        for (std::size_t i = 0; i < width; ++i)
            bits[i] = static_cast<std::uint16_t>(1u << tests_[i]);
        // The buckets' counts and extremes, from one reading of the P values.
        for (std::size_t e = 0; e < S; ++e) {
            const std::uint16_t mask = out_.tables[e].tests;
            const double* p = out_.valuesOf[e];
            for (std::size_t i = 0; i < width; ++i) {
                if ((mask & bits[i]) == 0)
                    continue;
                SignificantTables::BucketStats& stats =
                    out_.bucketStats[i * B + SignificantBucket(p[i])];
                ++stats.count;
                stats.least = std::min(stats.least, p[i]);
                stats.greatest = std::max(stats.greatest, p[i]);
            }
        }
        std::uint64_t first = 0;
        for (std::size_t i = 0; i < width; ++i) {
            SignificantTables::Test& t = out_.byTest[static_cast<std::size_t>(tests_[i])];
            for (std::size_t b = 0; b < B; ++b) {
                SignificantTables::BucketStats& stats = out_.bucketStats[i * B + b];
                stats.first = first;
                first += stats.count;
                if (stats.count != 0)
                    t.usedBuckets.push_back(static_cast<std::uint16_t>(b));
            }
        }
        // The entries bucket by bucket, in entry order within each.
        out_.byBucket.resize(first);
        std::vector<std::uint64_t> next(width * B);
        for (std::size_t k = 0; k < next.size(); ++k)
            next[k] = out_.bucketStats[k].first;
        for (std::size_t e = 0; e < S; ++e) {
            const std::uint16_t mask = out_.tables[e].tests;
            const double* p = out_.valuesOf[e];
            for (std::size_t i = 0; i < width; ++i)
                if ((mask & bits[i]) != 0)
                    out_.byBucket[next[i * B + SignificantBucket(p[i])]++] =
                        static_cast<std::uint32_t>(e);
        }
    }

private:
    void Close() {
        if (!open_)
            return;
        open_ = false;
        SignificantTables::Margin& m = margin_;
        m.end = static_cast<std::uint32_t>(out_.tables.size());
        if (m.end == m.begin)
            return;
        double lnMax = -std::numeric_limits<double>::infinity();
        for (std::uint32_t e = m.begin; e < m.end; ++e) {
            const SignificantTables::Cells c = out_.CellsOf(m, e);
            SignificantTables::Table& t = out_.tables[e];
            t.coefficient = MakeTableCoefficient(lnCoefficient_(c.a, c.b, c.c, c.d));
            lnMax = std::max(lnMax, t.coefficient.lnM);
        }
        m.logScale = lnMax * LnExpBase();
        const double largest = ExpBasePower(lnMax);
        for (std::uint32_t e = m.begin; e < m.end; ++e) {
            SignificantTables::Table& t = out_.tables[e];
            t.scaled = std::isfinite(largest)
                           ? t.coefficient.M / largest
                           : std::exp(t.coefficient.lnM * LnExpBase() - m.logScale);
        }
        for (int number : tests_) {
            const auto bit = static_cast<std::uint16_t>(1u << number);
            double direct = 0, overflowScaled = 0, scaled = 0;
            for (std::uint32_t e = m.begin; e < m.end; ++e) {
                const SignificantTables::Table& t = out_.tables[e];
                if ((t.tests & bit) == 0)
                    continue;
                if (std::isfinite(t.coefficient.M))
                    direct += t.coefficient.M;
                else
                    overflowScaled += t.scaled;
                scaled += t.scaled;
            }
            SignificantTables::Test& t = out_.byTest[static_cast<std::size_t>(number)];
            t.direct.push_back(direct);
            t.overflowScaled.push_back(overflowScaled);
            t.scaled.push_back(scaled);
        }
        out_.margins.push_back(m);
    }

    SignificantTables& out_;
    const std::vector<int>& tests_;
    bool ordered_;
    TableCoefficientLog lnCoefficient_;
    SignificantTables::Margin margin_;
    bool open_ = false;
};

// The margins of a pass in the order SignificantTables holds them: calls visit(r, k).
template <typename Visit> void ForEachMargin(const PValuePass& pass, Visit&& visit) {
    if (pass.design == ComparativeTrial) {
        for (std::int64_t k = 0; k <= pass.N; ++k)
            visit(pass.m, k);
        return;
    }
    for (std::int64_t r = 0; r <= pass.N; ++r)
        for (std::int64_t k = 0; k <= pass.N; ++k)
            visit(r, k);
}

// The bits of the tests of `tests` (values in that order) that call a table significant.
std::uint16_t SignificanceMask(const std::vector<int>& tests, const double* values, double alpha) {
    std::uint16_t mask = 0;
    for (std::size_t i = 0; i < tests.size(); ++i)
        if (SignificantAtLevel(values[i], alpha))
            mask = static_cast<std::uint16_t>(mask | (1u << tests[i]));
    return mask;
}

// The significant tables of a pass of the two families' tests (and tests computed a table
// at a time), class of margins by class of margins on up to `workers` threads, without a
// table array: each worker notes the significant tables of its classes, and the margins
// are then gathered in their order.
bool StreamSignificantTables(const PValuePass& pass, const TestSet& needed,
                             const std::vector<int>& tests, double alpha, bool ordered,
                             unsigned workers, const StageProgress& progress,
                             SignificantTables& out) {
    const std::vector<std::vector<MarginGroup>> classes = MarginClasses(pass);
    const std::uint64_t T = TableCount(pass.design, pass.N, pass.m);
    const std::size_t width = ordered ? tests.size() : 0;
    struct Group {
        std::int64_t r = 0, k = 0;
        std::uint32_t begin = 0, end = 0;
    };
    struct Arena {
        LargeArray<std::int32_t> a;
        LargeArray<std::uint16_t> mask;
        LargeArray<double> values; // `width` a table
        std::vector<Group> groups;
    };
    const unsigned pvalueWorkers = T < 20'000 ? 1 : std::max(1u, workers);
    std::vector<Arena> arenas(pvalueWorkers);
    // Room for every table a worker might note, up to 2^24 of them, so that the arenas
    // grow without copying; only the pages written are ever touched.
    const std::size_t room = static_cast<std::size_t>(std::min<std::uint64_t>(T, 1u << 24));
    for (Arena& arena : arenas) {
        arena.a.reserve(room);
        arena.mask.reserve(room);
        arena.values.reserve(room * width);
    }
    std::optional<ChiSquaredDecision> chiDecision;
    if (pass.decisionLevel)
        chiDecision.emplace(*pass.decisionLevel);
    std::atomic<std::size_t> nextClass{0};
    std::atomic<std::uint64_t> done{0};
    std::atomic<bool> stop{false};
    const bool ok = RunStageWorkers(
        pvalueWorkers, ProgressStage::PValues, T, done, stop, progress, [&](unsigned worker) {
            ClassEvaluator evaluator(pass, needed, nullptr, chiDecision);
            // Where each test's value comes from: a shared slot, or its own function.
            std::vector<std::size_t> slot(tests.size(), SIZE_MAX);
            std::vector<const TestEntry*> own(tests.size(), nullptr);
            for (std::size_t i = 0; i < tests.size(); ++i) {
                const std::vector<int>& shared = evaluator.SharedTests();
                const auto at = std::find(shared.begin(), shared.end(), tests[i]);
                if (at != shared.end())
                    slot[i] = static_cast<std::size_t>(at - shared.begin());
                else
                    own[i] = FindTest(tests[i]);
            }
            Arena& arena = arenas[worker];
            std::vector<double> values(tests.size());
            for (;;) {
                if (stop.load(std::memory_order_relaxed))
                    return;
                const std::size_t i = nextClass.fetch_add(1);
                if (i >= classes.size())
                    return;
                const MarginGroup* current = nullptr;
                const std::uint64_t count =
                    evaluator.Walk(classes[i], [&](const MarginGroup& g, std::int64_t a,
                                                   std::int64_t b, std::int64_t c, std::int64_t d,
                                                   const double* p, const PolicyResult&) {
                        if (&g != current) {
                            current = &g;
                            const auto at = static_cast<std::uint32_t>(arena.a.size());
                            arena.groups.push_back({g.r, g.k, at, at});
                        }
                        if (p == nullptr)
                            return; // outside the policy: never significant
                        for (std::size_t t = 0; t < tests.size(); ++t)
                            values[t] = slot[t] != SIZE_MAX ? p[slot[t]]
                                                            : evaluator.Own(*own[t], a, b, c, d);
                        const std::uint16_t mask = SignificanceMask(tests, values.data(), alpha);
                        if (mask == 0)
                            return;
                        arena.a.push_back(static_cast<std::int32_t>(a));
                        arena.mask.push_back(mask);
                        arena.values.insert(arena.values.end(), values.begin(),
                                            values.begin() + static_cast<std::ptrdiff_t>(width));
                        arena.groups.back().end = static_cast<std::uint32_t>(arena.a.size());
                    });
                done.fetch_add(count, std::memory_order_relaxed);
            }
        });
    if (!ok)
        return false;

    // Each margin belongs to one class, so to one worker's group.
    const std::size_t side = static_cast<std::size_t>(pass.N) + 1;
    struct Where {
        std::uint32_t worker = 0, group = UINT32_MAX;
    };
    std::vector<Where> where(pass.design == ComparativeTrial ? side : side * side);
    auto at = [&](std::int64_t r, std::int64_t k) {
        return (pass.design == ComparativeTrial ? 0 : static_cast<std::size_t>(r) * side) +
               static_cast<std::size_t>(k);
    };
    std::size_t S = 0;
    for (std::uint32_t w = 0; w < arenas.size(); ++w) {
        S += arenas[w].a.size();
        for (std::uint32_t g = 0; g < arenas[w].groups.size(); ++g)
            where[at(arenas[w].groups[g].r, arenas[w].groups[g].k)] = {w, g};
    }
    SignificantBuilder builder(pass, tests, alpha, ordered, S, out);
    ForEachMargin(pass, [&](std::int64_t r, std::int64_t k) {
        const Where& w = where[at(r, k)];
        if (w.group == UINT32_MAX)
            return;
        const Arena& arena = arenas[w.worker];
        const Group& g = arena.groups[w.group];
        if (g.begin == g.end)
            return;
        builder.Margin(r, k);
        for (std::uint32_t e = g.begin; e < g.end; ++e)
            builder.Add(arena.a[e], arena.mask[e], arena.values.data() + e * width);
    });
    // The values stay where the workers noted them (a moved array keeps its memory).
    for (Arena& arena : arenas)
        builder.GiveValues(std::move(arena.values));
    builder.Finish();
    return true;
}

} // namespace

void SignificantTablesFromArray(const PValuePass& pass, const TableArray& tables,
                                const std::vector<int>& tests, double alpha, bool ordered,
                                SignificantTables& out) {
    std::vector<std::span<const double>> column;
    for (int t : tests)
        column.push_back(tables.Results(t));
    std::size_t S = 0;
    for (std::size_t row = 0; row < tables.Count(); ++row)
        for (const std::span<const double>& c : column)
            if (SignificantAtLevel(c[row], alpha)) {
                ++S;
                break;
            }
    SignificantBuilder builder(pass, tests, alpha, ordered, S, out);
    const std::int64_t N = pass.N;
    std::vector<double> values(tests.size());
    // The significant tables' values, S rows noted in turn (room for all first, so that
    // the rows do not move).
    LargeArray<double> block;
    block.reserve(ordered ? S * tests.size() : 0);
    std::vector<std::uint64_t> starts;
    for (std::int64_t r = 0; r <= (pass.design == ComparativeTrial ? 0 : N); ++r)
        starts.push_back(RowTotalStart(pass, r));
    ForEachMargin(pass, [&](std::int64_t r, std::int64_t k) {
        const std::uint64_t start = starts[pass.design == ComparativeTrial ? 0 : r];
        const std::int64_t aLow = std::max<std::int64_t>(0, k - (N - r));
        const std::int64_t aHigh = std::min(r, k);
        bool opened = false;
        for (std::int64_t a = aLow; a <= aHigh; ++a) {
            const std::size_t row = start + DesignTableIndex(N, r, a, k - a); // 0-based
            for (std::size_t i = 0; i < tests.size(); ++i)
                values[i] = column[i][row];
            const std::uint16_t mask = SignificanceMask(tests, values.data(), alpha);
            if (mask == 0)
                continue;
            if (!opened) {
                builder.Margin(r, k);
                opened = true;
            }
            const double* noted = nullptr;
            if (ordered) {
                noted = block.data() + block.size();
                block.insert(block.end(), values.begin(), values.end());
            }
            builder.Add(a, mask, noted);
        }
    });
    builder.GiveValues(std::move(block));
    builder.Finish();
}

std::shared_ptr<const SignificantTables> SignificantTablesOfArray(const PValuePass& pass,
                                                                  const TableArray& tables,
                                                                  const std::vector<int>& tests,
                                                                  double alpha, bool ordered,
                                                                  PValueReuse* reuse) {
    // Kept under the pass that decides at alpha, as SignificantTablesOf keeps them.
    PValuePass decided = pass;
    decided.decisionLevel = alpha;
    if (reuse)
        if (std::shared_ptr<const SignificantTables> kept =
                reuse->FindSignificant(decided, NeededTests(tests, false), alpha, ordered))
            return kept;
    auto made = std::make_shared<SignificantTables>();
    SignificantTablesFromArray(decided, tables, tests, alpha, ordered, *made);
    if (reuse && PValueReuse::Worth(tables.Count()))
        reuse->KeepSignificant(made);
    return made;
}

std::shared_ptr<const SignificantTables>
SignificantTablesOf(const PValuePass& passOfTables, const TestSet& needed,
                    const std::vector<int>& tests, double alpha, bool ordered, PValueReuse* reuse,
                    unsigned threads, const StageProgress& progress) {
    // Only the tables with P <= alpha are read, so the pass decides just that.
    PValuePass pass = passOfTables;
    pass.decisionLevel = alpha;
    if (reuse) {
        if (std::shared_ptr<const SignificantTables> kept =
                reuse->FindSignificant(pass, needed, alpha, ordered)) {
            if (progress && !progress(ProgressStage::Sorting, 0, 1))
                return nullptr;
            return kept;
        }
    }
    const unsigned workers = WorkerCount(threads);
    // The log-factorial cache grows to N before any worker reads it.
    LogFactorial(pass.N);
    auto made = std::make_shared<SignificantTables>();
    bool wholeDesign = false;
    for (const TestEntry& test : RegisteredTests())
        wholeDesign =
            wholeDesign || (needed[static_cast<std::size_t>(test.number)] && test.designPValues);
    if (!wholeDesign) {
        if (!StreamSignificantTables(pass, needed, tests, alpha, ordered, workers, progress, *made))
            return nullptr;
    } else {
        // Tests computed a whole design at a time fill a table array.
        std::unique_ptr<PValueReuse::Scratch> scratch =
            reuse ? reuse->BorrowScratch() : std::make_unique<PValueReuse::Scratch>();
        TableArray& tables = scratch->tables;
        EnumerateTableCells(pass.design, pass.N, pass.m, tables);
        const bool ok = ComputeTablePValues(pass, needed, tables, workers, progress);
        if (ok)
            SignificantTablesFromArray(pass, tables, tests, alpha, ordered, *made);
        if (reuse)
            reuse->ReturnScratch(std::move(scratch));
        if (!ok)
            return nullptr;
    }
    if (reuse && PValueReuse::Worth(TableCount(pass.design, pass.N, pass.m)))
        reuse->KeepSignificant(made);
    return made;
}
} // namespace quillon
