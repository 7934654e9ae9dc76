#include "maxima/search.h"

#include "core/numtext.h"
#include "core/pvalues.h"
#include "core/significance_rules.h"
#include "core/table_coefficient.h"
#include "core/tables.h"
#include "study/worker_pool.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <map>
#include <tuple>

namespace quillon {

SearchStarted AnnounceSearch(const SearchSpec& spec) {
    SearchStarted started;
    started.key = spec.key;
    started.m = spec.m;
    return started;
}

TestPolicy PolicyOfTestField(std::string_view testField) {
    return testField == "15"   ? TestPolicy::Combined15
           : testField == "35" ? TestPolicy::Combined35
                               : TestPolicy::Simple;
}

std::string_view TestPolicyText(TestPolicy policy) {
    switch (policy) {
    case TestPolicy::Combined15:
        return "15";
    case TestPolicy::Combined35:
        return "35";
    case TestPolicy::Simple:
        break;
    }
    return "simple";
}

namespace {

int PolicyIndex(TestPolicy policy) {
    return policy == TestPolicy::Simple ? 0 : policy == TestPolicy::Combined15 ? 1 : 2;
}

// The P value of an eligible table by a chi squared test.
double ChiSquaredTestPValue(std::int64_t a, std::int64_t b, std::int64_t c, std::int64_t d,
                            int test) {
    return ChiSquaredPValue(ChiSquaredValue(static_cast<double>(a), static_cast<double>(b),
                                            static_cast<double>(c), static_cast<double>(d), test));
}

// The policy step shared by the one-table function and the table cache: code 1 keeps the
// test's P value; under a combined policy codes 1.1 and 1.2 take test 5's, 1.3 stays.
double ApplyPolicy(double code, double testPValue, double test5PValue, TestPolicy policy) {
    if (policy == TestPolicy::Simple)
        return code == 1 ? testPValue : code;
    if (code == 1)
        return testPValue;
    if (code == PolicyCodeMarginal || code == PolicyCodeExpected)
        return test5PValue;
    return code;
}

// Runs body(i) for i in [0, count) on up to `threads` threads of the engine's pool (0: all
// of them).
template <typename Body> void ParallelFor(std::size_t count, unsigned threads, Body&& body) {
    WorkerPool::Shared().ForEach(count, body, threads);
}

// Below this much work (tables times areas) a batch is evaluated on one thread: starting
// threads would cost more than it saves.
constexpr std::size_t kParallelWork = 200'000;

} // namespace

double SearchPValue(std::int64_t a, std::int64_t b, std::int64_t c, std::int64_t d, int test,
                    double MEN, double MMT, TestPolicy policy) {
    const auto N = static_cast<double>(a + b + c + d);
    const PolicyResult check =
        CheckTablePolicy(N, static_cast<double>(a + b), static_cast<double>(c + d),
                         static_cast<double>(a + c), static_cast<double>(b + d), MEN, MMT);
    double testP = check.code;
    if (check.eligible)
        testP = StudyTablePValue(*FindTest(test), a, b, c, d);
    double test5 = 0;
    if (policy != TestPolicy::Simple &&
        (check.code == PolicyCodeMarginal || check.code == PolicyCodeExpected))
        test5 = FindTest(kCombinedPolicyFallbackTest)->pValue(a, b, c, d);
    return ApplyPolicy(check.code, testP, test5, policy);
}

namespace {

// The hypergeometric terms of the working margins a set of table margins gives; a set of
// margins has at most a few arrangements as working margins, kept while it is visited.
class MarginFisher {
public:
    FisherPValues PValues(std::int64_t a, std::int64_t b, std::int64_t c, std::int64_t d) {
        const FisherWorkingTable w = MakeWorkingTable(a, b, c, d);
        for (auto& [key, terms] : terms_)
            if (key == std::array<std::int64_t, 3>{w.R1(), w.K1(), w.K2()})
                return terms.PValues(w.A);
        terms_.emplace_back(std::array<std::int64_t, 3>{w.R1(), w.K1(), w.K2()},
                            FisherTerms(w.R1(), w.K1(), w.K2()));
        return terms_.back().second.PValues(w.A);
    }
    void Clear() { terms_.clear(); }

private:
    std::vector<std::pair<std::array<std::int64_t, 3>, FisherTerms>> terms_;
};

} // namespace

void StreamPValues(DesignCode design, std::int64_t N, std::int64_t m, double MEN, double MMT,
                   int test, TestPolicy policy, unsigned threads, const MarginVisit& visit) {
    if (N < 1 || (design != CrossSectionalStudy && design != ComparativeTrial))
        return;
    const bool cross = design == CrossSectionalStudy;
    const TestEntry& entry = *FindTest(test);
    const TableCoefficientLog lnCoefficient(design, N, m);
    const auto Nd = static_cast<double>(N);
    // Where each row total's tables start in the enumeration's order (r, then a, then c).
    std::vector<std::uint64_t> rowStart(static_cast<std::size_t>(N) + 2, 0);
    if (cross)
        for (std::int64_t r = 0; r <= N; ++r)
            rowStart[static_cast<std::size_t>(r) + 1] =
                rowStart[static_cast<std::size_t>(r)] +
                static_cast<std::uint64_t>((r + 1) * (N - r + 1));

    // A test with a design function takes every P value of a row total from it: a
    // comparative trial's one design is computed before the pieces share it.
    const bool walked = entry.designPValues != nullptr;
    std::vector<double> trialDesign;
    if (walked && !cross)
        trialDesign = entry.designPValues(N, m);

    // The margins of one row total (a comparative trial: its one pair of rows), k by k
    // from kLo to kHi.
    auto row = [&](std::int64_t r, std::int64_t kLo, std::int64_t kHi) {
        std::vector<StreamedTable> tables;
        MarginFisher fisher;
        const std::int64_t rowB = cross ? r : m; // the total of row B (cells a, b)
        std::vector<double> rowDesign;
        if (walked && cross)
            rowDesign = entry.designPValues(N, r);
        const std::vector<double>& walkedP = cross ? rowDesign : trialDesign;
        for (std::int64_t k = kLo; k <= kHi; ++k) {
            const std::int64_t aLo = std::max<std::int64_t>(0, rowB + k - N);
            const std::int64_t aHi = std::min(rowB, k);
            if (aLo > aHi)
                continue;
            tables.clear();
            fisher.Clear();
            const PolicyResult check =
                CheckTablePolicy(Nd, static_cast<double>(rowB), static_cast<double>(N - rowB),
                                 static_cast<double>(k), static_cast<double>(N - k), MEN, MMT);
            const bool needTest5 =
                policy != TestPolicy::Simple &&
                (check.code == PolicyCodeMarginal || check.code == PolicyCodeExpected);
            for (std::int64_t a = aLo; a <= aHi; ++a) {
                const std::int64_t b = rowB - a, c = k - a, d = N - rowB - c;
                StreamedTable t;
                t.a = static_cast<std::int32_t>(a);
                t.b = static_cast<std::int32_t>(b);
                t.c = static_cast<std::int32_t>(c);
                t.d = static_cast<std::int32_t>(d);
                if (cross) {
                    t.lnM = lnCoefficient(a, b, c, d);
                    t.index = rowStart[static_cast<std::size_t>(r)] +
                              static_cast<std::uint64_t>(a * (N - r + 1) + c);
                } else {
                    t.lnM = lnCoefficient(a, b, c, d);
                    t.index = static_cast<std::uint64_t>(a * (N - m + 1) + c);
                }
                double testP = check.code;
                if (check.eligible)
                    testP = entry.family == TestFamily::ChiSquared
                                ? ChiSquaredTestPValue(a, b, c, d, test)
                            : entry.family == TestFamily::FisherIrwin
                                ? fisher.PValues(a, b, c, d)[test]
                            : walked ? walkedP[DesignTableIndex(N, rowB, a, c)]
                                     : entry.pValue(a, b, c, d);
                const double test5 = needTest5 ? fisher.PValues(a, b, c, d).test5 : 0;
                t.pValue = ApplyPolicy(check.code, testP, test5, policy);
                tables.push_back(t);
            }
            visit(cross ? r : 0, k, tables);
        }
    };
    if (cross) {
        ParallelFor(static_cast<std::size_t>(N) + 1, threads,
                    [&](std::size_t r) { row(static_cast<std::int64_t>(r), 0, N); });
        return;
    }
    constexpr std::int64_t kColumnsAPiece = 64;
    const auto pieces = static_cast<std::size_t>(N / kColumnsAPiece + 1);
    ParallelFor(pieces, threads, [&](std::size_t piece) {
        const auto kLo = static_cast<std::int64_t>(piece) * kColumnsAPiece;
        row(0, kLo, std::min(N, kLo + kColumnsAPiece - 1));
    });
}

// ---------------------------------------------------------------------------------------

SearchTables::SearchTables(DesignCode design, std::int64_t N, std::int64_t m, double MEN,
                           double MMT)
    : design_(design), N_(N), m_(design == ComparativeTrial ? m : -1), MEN_(MEN), MMT_(MMT),
      count_(static_cast<std::size_t>(TableCount(design, N, m_))) {}

void SearchTables::Enumerate() {
    if (!coefficient_.empty() || count_ == 0)
        return;
    const std::int64_t N = N_;
    const DesignCode design = design_;
    const double MEN = MEN_, MMT = MMT_;
    const std::uint64_t count = count_;
    cells_.reserve(4 * count);
    coefficient_.reserve(count);
    logCoefficient_.reserve(count);
    code_.reserve(count);
    auto add = [&](std::int64_t a, std::int64_t b, std::int64_t c, std::int64_t d, double lnM) {
        cells_.push_back(static_cast<std::int32_t>(a));
        cells_.push_back(static_cast<std::int32_t>(b));
        cells_.push_back(static_cast<std::int32_t>(c));
        cells_.push_back(static_cast<std::int32_t>(d));
        coefficient_.push_back(ExpBasePower(lnM));
        logCoefficient_.push_back(lnM);
        const PolicyResult check = CheckTablePolicy(
            static_cast<double>(N), static_cast<double>(a + b), static_cast<double>(c + d),
            static_cast<double>(a + c), static_cast<double>(b + d), MEN, MMT);
        code_.push_back(check.code);
    };
    // The coefficients exactly as the enumeration forms them.
    const TableCoefficientLog lnCoefficient(design, N, m_);
    if (design == CrossSectionalStudy) {
        for (std::int64_t r = 0; r <= N; ++r)
            for (std::int64_t a = 0; a <= r; ++a)
                for (std::int64_t c = 0; c <= N - r; ++c) {
                    const std::int64_t b = r - a, d = N - r - c;
                    add(a, b, c, d, lnCoefficient(a, b, c, d));
                }
    } else if (design == ComparativeTrial) {
        for (std::int64_t a = 0; a <= m_; ++a)
            for (std::int64_t c = 0; c <= N - m_; ++c) {
                const std::int64_t b = m_ - a, d = N - m_ - c;
                add(a, b, c, d, lnCoefficient(a, b, c, d));
            }
    }
}

void SearchTables::FillFisher() {
    if (fisherFilled_ || Count() == 0)
        return;
    fisherFilled_ = true;
    std::vector<int> fisherTests;
    for (const TestEntry& test : RegisteredTests())
        if (test.family == TestFamily::FisherIrwin) {
            fisherTests.push_back(test.number);
            fisher_[test.number].resize(Count());
        }
    // Tables with the same working-table margins share their hypergeometric terms, which
    // is all FishersExactTest computes apart from the tail sums.
    std::map<std::tuple<std::int64_t, std::int64_t, std::int64_t>, FisherTerms> terms;
    for (std::size_t t = 0; t < Count(); ++t) {
        const FisherWorkingTable w =
            MakeWorkingTable(Cell(t, 1), Cell(t, 2), Cell(t, 3), Cell(t, 4));
        const auto key = std::make_tuple(w.R1(), w.K1(), w.K2());
        auto it = terms.find(key);
        if (it == terms.end())
            it = terms.emplace(key, FisherTerms(w.R1(), w.K1(), w.K2())).first;
        const FisherPValues p = it->second.PValues(w.A);
        for (int test : fisherTests)
            fisher_[test][t] = p[test];
    }
}

const std::vector<double>& SearchTables::PValues(int test, TestPolicy policy) {
    std::vector<double>& out = pvalues_[PolicyIndex(policy)][test - 1];
    if (out.size() == Count())
        return out;
    Enumerate();
    const TestFamily family = FindTest(test)->family;
    const TablePValue ownPValue = FindTest(test)->pValue;
    // A test with a design function: the P values of every row total's tables at once
    // (a comparative trial has the one row total m), each row total on a thread of its own.
    const DesignPValues designPValues = FindTest(test)->designPValues;
    std::vector<std::vector<double>> designs;
    if (designPValues != nullptr) {
        designs.resize(static_cast<std::size_t>(N_) + 1);
        if (design_ == ComparativeTrial)
            designs[static_cast<std::size_t>(m_)] = designPValues(N_, m_);
        else
            ParallelFor(designs.size(), 0, [&](std::size_t r) {
                designs[r] = designPValues(N_, static_cast<std::int64_t>(r));
            });
    }
    const bool needFisher =
        family == TestFamily::FisherIrwin ||
        (policy != TestPolicy::Simple && std::any_of(code_.begin(), code_.end(), [](double code) {
             return code == PolicyCodeMarginal || code == PolicyCodeExpected;
         }));
    if (needFisher)
        FillFisher();
    out.assign(Count(), 0);
    // The chi squared P values are independent per table: split them into chunks.
    constexpr std::size_t kChunk = 16'384;
    const std::size_t chunks = (Count() + kChunk - 1) / kChunk;
    ParallelFor(chunks, 0, [&](std::size_t chunk) {
        const std::size_t end = std::min(Count(), (chunk + 1) * kChunk);
        for (std::size_t t = chunk * kChunk; t < end; ++t) {
            double testP = code_[t];
            if (code_[t] == 1)
                testP =
                    family == TestFamily::ChiSquared
                        ? ChiSquaredTestPValue(Cell(t, 1), Cell(t, 2), Cell(t, 3), Cell(t, 4), test)
                    : family == TestFamily::FisherIrwin ? fisher_[test][t]
                    : designPValues != nullptr
                        ? designs[static_cast<std::size_t>(RowTotal(t))]
                                 [DesignTableIndex(N_, RowTotal(t), Cell(t, 1), Cell(t, 3))]
                        : ownPValue(Cell(t, 1), Cell(t, 2), Cell(t, 3), Cell(t, 4));
            const double test5 = needFisher ? fisher_[kCombinedPolicyFallbackTest][t] : 0;
            out[t] = ApplyPolicy(code_[t], testP, test5, policy);
        }
    });
    return out;
}

// ---------------------------------------------------------------------------------------

PropertyEvaluator::PropertyEvaluator(SearchTables& tables, int test, TestPolicy policy,
                                     Property type, double parameter)
    : tables_(tables), test_(test), policy_(policy), type_(type), parameter_(parameter) {
    const std::int64_t N = tables.N();
    if (type == Property::ActualTypeIError) {
        // W(r, k): the coefficients of the significant tables of each set of totals, each
        // summed in increasing a.
        const bool cross = tables.Design() == CrossSectionalStudy;
        weights_ = MarginWeights(cross ? static_cast<std::size_t>(N) + 1 : 1,
                                 static_cast<std::size_t>(N) + 1);
        // A comparative trial has few tables ((N / 2 + 1)^2 at most), and the listing of the
        // last area needs their P values: they are kept from this pass rather than computed
        // again. A cross-sectional study's are not (N^3 / 6 of them).
        if (!cross)
            keptPValues_.assign(TableCount(tables.Design(), N, tables.M()), 0.0);
        StreamPValues(tables.Design(), N, tables.M(), tables.MEN(), tables.MMT(), test, policy, 0,
                      [&](std::int64_t r, std::int64_t k, const std::vector<StreamedTable>& in) {
                          thread_local CellSum sum;
                          sum.Clear();
                          for (const StreamedTable& t : in)
                              if (SignificantBelowLevel(t.pValue, parameter))
                                  sum.Add(ExpBasePower(t.lnM), t.lnM);
                          if (!cross)
                              for (const StreamedTable& t : in)
                                  keptPValues_[t.index] = t.pValue;
                          weights_.Set(static_cast<std::size_t>(r), static_cast<std::size_t>(k),
                                       sum.Result());
                      });
        weights_.Seal();
        return;
    }
    const std::vector<double>& P = tables.PValues(test, policy);
    pvalues_ = &P;
    const std::size_t T = tables.Count();
    std::vector<std::uint32_t> group(T, 0);
    std::size_t limit = 0; // groups [0, limit) count
    {
        distinct_ = P;
        std::sort(distinct_.begin(), distinct_.end());
        distinct_.erase(std::unique(distinct_.begin(), distinct_.end()), distinct_.end());
        for (std::size_t t = 0; t < T; ++t)
            group[t] = static_cast<std::uint32_t>(
                std::lower_bound(distinct_.begin(), distinct_.end(), P[t]) - distinct_.begin());
        while (limit < distinct_.size() && SignificantAtLevel(distinct_[limit], parameter))
            ++limit;
        groupsWithinCutoff_ = limit;
    }
    std::vector<bool> rowSeen(static_cast<std::size_t>(N) + 1, false);
    std::vector<bool> columnSeen(static_cast<std::size_t>(N) + 1, false);
    for (std::size_t t = 0; t < T; ++t) {
        if (group[t] >= limit)
            continue;
        const double M = tables.Coefficient(t);
        const Counted c{
            M,        tables.LogCoefficient(t), tables.RowTotal(t), tables.ColumnTotal(t),
            group[t], !std::isfinite(M)};
        counted_.push_back(c);
        anyOverflowed_ = anyOverflowed_ || c.overflowed;
        rowSeen[static_cast<std::size_t>(c.row)] = true;
        columnSeen[static_cast<std::size_t>(c.column)] = true;
    }
    for (std::int32_t k = 0; k <= N; ++k) {
        if (rowSeen[static_cast<std::size_t>(k)])
            rows_.push_back(k);
        if (columnSeen[static_cast<std::size_t>(k)])
            columns_.push_back(k);
    }
}

namespace {

// Beyond a total of about a thousand a coefficient ExpBase^lnM overflows while a kernel
// t^k (1 - t)^(n - k) underflows, and their product is no probability. The enumeration
// then forms that product, and only that one, from logarithms:
//   ExpBase^lnM x kernels = exp(lnM ln ExpBase + ln row kernel + ln column kernel),
// and the search forms it exactly the same way (core's LogKernel) so that its sums stay
// the enumeration's.

// One kernel factor of an area: its value at the corner and upper bound, and (when asked
// for) their logarithms and whether each is 0 only by underflow.
struct Factor {
    double value = 0, upper = 0;
    double logValue = 0, logUpper = 0;
    bool valueUnderflowed = false, upperUnderflowed = false;
};

Factor DirectFactor(double p, double w, std::int64_t k, std::int64_t n) {
    const KernelBoundsResult kb = KernelBounds(p, w, k, n);
    Factor f;
    f.value = kb.value;
    f.upper = kb.upper;
    return f;
}

void AddLogs(Factor& f, double p, double w, std::int64_t k, std::int64_t n) {
    const double v = LogKernel(p, k, n);
    const double u = LogKernel(p + w, k, n);
    f.logValue = v;
    f.logUpper = u < v ? v : u;
    const double mode = static_cast<double>(k) / static_cast<double>(n);
    if (p < mode && mode < p + w)
        f.logUpper = LogKernel(mode, k, n);
    f.valueUnderflowed = f.value == 0 && std::isfinite(f.logValue);
    f.upperUnderflowed = f.upper == 0 && std::isfinite(f.logUpper);
}

} // namespace

std::vector<double> PropertyEvaluator::TablePValues() const {
    if (pvalues_ != nullptr)
        return *pvalues_;
    if (!keptPValues_.empty())
        return keptPValues_;
    std::vector<double> P(tables_.Count(), 0.0);
    StreamPValues(tables_.Design(), tables_.N(), tables_.M(), tables_.MEN(), tables_.MMT(), test_,
                  policy_, 0,
                  [&](std::int64_t, std::int64_t, const std::vector<StreamedTable>& in) {
                      for (const StreamedTable& t : in)
                          P[t.index] = t.pValue;
                  });
    return P;
}

double PropertyEvaluator::Bytes(DesignCode design, std::int64_t N) {
    const auto columns = static_cast<double>(N) + 1;
    const double rows = design == CrossSectionalStudy ? columns : 1;
    // W, and on each thread the tables of one set of margins while they are visited; a
    // comparative trial also keeps the P values of its tables (of the largest m, N / 2).
    const double half = std::floor(static_cast<double>(N) / 2);
    const double kept =
        design == CrossSectionalStudy ? 0 : 8 * (half + 1) * (static_cast<double>(N) - half + 1);
    return MarginWeights::Bytes(rows, columns) + 64 * columns * sizeof(StreamedTable) + kept;
}

AreaValue PropertyEvaluator::Evaluate(double pcol, double wcol, double prow, double wrow,
                                      unsigned threads) const {
    AreaValue result;
    if (type_ == Property::ActualTypeIError) {
        if (weights_.Empty())
            return result;
        const std::int64_t N = tables_.N();
        const auto size = static_cast<std::size_t>(N) + 1;
        std::vector<ScaledNumber> colValue(size), colUpper(size), rowValue, rowUpper;
        for (std::int64_t k = 0; k <= N; ++k) {
            const ScaledKernel f = ScaledKernelBounds(pcol, wcol, k, N);
            colValue[static_cast<std::size_t>(k)] = f.value;
            colUpper[static_cast<std::size_t>(k)] = f.upper;
        }
        if (tables_.Design() == CrossSectionalStudy) {
            rowValue.resize(size);
            rowUpper.resize(size);
            for (std::int64_t r = 0; r <= N; ++r) {
                const ScaledKernel f = ScaledKernelBounds(prow, wrow, r, N);
                rowValue[static_cast<std::size_t>(r)] = f.value;
                rowUpper[static_cast<std::size_t>(r)] = f.upper;
            }
        }
        const MarginWeights::Pair sums = weights_.Sum(rowValue, colValue, rowUpper, colUpper);
        result.value = sums.first;
        result.bound = sums.second;
        return result;
    }
    if (counted_.empty())
        return result;
    const std::int64_t N = tables_.N();
    const auto size = static_cast<std::size_t>(N) + 1;
    const bool cross = tables_.Design() == CrossSectionalStudy;
    std::vector<Factor> col(size), row(cross ? size : 1);
    bool zero = false;
    for (std::int32_t k : columns_) {
        Factor& f = col[static_cast<std::size_t>(k)];
        f = DirectFactor(pcol, wcol, k, N);
        zero = zero || f.value == 0 || f.upper == 0;
    }
    if (cross)
        for (std::int32_t r : rows_) {
            Factor& f = row[static_cast<std::size_t>(r)];
            f = DirectFactor(prow, wrow, r, N);
            zero = zero || f.value == 0 || f.upper == 0;
        }
    // Logarithms are needed only where a coefficient overflowed or a kernel is 0.
    const bool logs = anyOverflowed_ || zero;
    if (logs) {
        for (std::int32_t k : columns_)
            AddLogs(col[static_cast<std::size_t>(k)], pcol, wcol, k, N);
        if (cross)
            for (std::int32_t r : rows_)
                AddLogs(row[static_cast<std::size_t>(r)], prow, wrow, r, N);
    }
    const Factor unit{1, 1, 0, 0, false, false};

    // The probability at the corner and its upper bound over the area, of one table.
    auto probability = [&](const Counted& c, double& value, double& upper) {
        const Factor& fc = col[static_cast<std::size_t>(c.column)];
        const Factor& fr = cross ? row[static_cast<std::size_t>(c.row)] : unit;
        if (cross) {
            value = (c.coefficient * fr.value) * fc.value;
            upper = (c.coefficient * fr.upper) * fc.upper;
        } else {
            value = c.coefficient * fc.value;
            upper = c.coefficient * fc.upper;
        }
        if (!logs)
            return;
        if (c.overflowed || fr.valueUnderflowed || fc.valueUnderflowed || !std::isfinite(value))
            value = std::exp((c.logCoefficient * LnExpBase() + fr.logValue) + fc.logValue);
        if (c.overflowed || fr.upperUnderflowed || fc.upperUnderflowed || !std::isfinite(upper))
            upper = std::exp((c.logCoefficient * LnExpBase() + fr.logUpper) + fc.logUpper);
    };

    // Many tables on several threads: the probabilities of the tables are formed in
    // parallel, each exactly as below, and then summed on this thread in table order, so
    // every sum is the serial one to the last bit. Only where probabilities come from
    // logarithms (an exponential per table) does that pay: the plain products cost less
    // than the sum they feed, which stays serial.
    const std::size_t T = counted_.size();
    if (logs && threads != 1 && T >= kParallelTables && WorkerCount(threads) > 1) {
        std::vector<double> v(T), u(T);
        const std::size_t chunks = (T + kParallelTables / 4 - 1) / (kParallelTables / 4);
        WorkerPool::Shared().ForEach(
            chunks,
            [&](std::size_t chunk) {
                const std::size_t end = std::min(T, (chunk + 1) * (kParallelTables / 4));
                for (std::size_t t = chunk * (kParallelTables / 4); t < end; ++t)
                    probability(counted_[t], v[t], u[t]);
            },
            threads);
        if (type_ == Property::ActualTypeIError) {
            double value = 0, bound = 0;
            for (std::size_t t = 0; t < T; ++t) {
                value = value + v[t];
                bound = bound + u[t];
            }
            result.value = value;
            result.bound = bound;
            return result;
        }
        std::vector<double> mass(groupsWithinCutoff_, 0.0), upperMass(groupsWithinCutoff_, 0.0);
        for (std::size_t t = 0; t < T; ++t) {
            const std::uint32_t g = counted_[t].group;
            mass[g] = mass[g] + v[t];
            upperMass[g] = upperMass[g] + u[t];
        }
        return ExcessWalk(mass, upperMass);
    }

    if (type_ == Property::ActualTypeIError) {
        double value = 0, bound = 0;
        if (!logs && !cross) {
            for (const Counted& c : counted_) {
                value = value + c.coefficient * col[static_cast<std::size_t>(c.column)].value;
                bound = bound + c.coefficient * col[static_cast<std::size_t>(c.column)].upper;
            }
        } else {
            for (const Counted& c : counted_) {
                double v = 0, u = 0;
                probability(c, v, u);
                value = value + v;
                bound = bound + u;
            }
        }
        result.value = value;
        result.bound = bound;
        return result;
    }
    // "2MaxDif": the mass of each distinct P value within the cutoff, then the walk.
    std::vector<double> mass(groupsWithinCutoff_, 0.0), upperMass(groupsWithinCutoff_, 0.0);
    for (const Counted& c : counted_) {
        double v = 0, u = 0;
        probability(c, v, u);
        mass[c.group] = mass[c.group] + v;
        upperMass[c.group] = upperMass[c.group] + u;
    }
    return ExcessWalk(mass, upperMass);
}

AreaValue PropertyEvaluator::ExcessWalk(const std::vector<double>& mass,
                                        const std::vector<double>& upperMass) const {
    AreaValue result;
    double S = 0, U = 0, value = 0, bound = 0;
    for (std::size_t j = 0; j < groupsWithinCutoff_; ++j) {
        S = S + mass[j];
        U = U + upperMass[j];
        if (S - distinct_[j] > value)
            value = S - distinct_[j];
        if (U - distinct_[j] > bound)
            bound = U - distinct_[j];
    }
    result.value = value;
    result.bound = bound;
    return result;
}

// ---------------------------------------------------------------------------------------

StripCut CutStrip(double extent, double across, double w) {
    StripCut cut;
    cut.areas = static_cast<std::int64_t>(extent / w) + 1;
    cut.thickness = cut.areas == 1 ? across : w;
    cut.length = extent / static_cast<double>(cut.areas);
    return cut;
}

double ZeroRowTotalProbability(std::int64_t N) {
    return BinomialProbability(SearchLowerEnd, 0, N);
}

std::string ZeroRowTotalMessage(double probability) {
    return "The proportion of tables with zero row total is" + PlainNumberText(probability);
}

namespace {

// Shared by both designs: the maximum and the events that report it.
class SearchRun {
public:
    SearchRun(const SearchSpec& spec, const PropertyEvaluator& evaluator,
              const SearchContext& context)
        : spec_(spec), evaluator_(evaluator), context_(context) {}

    SearchResult RunComparative(const FoundMaximum* carried);
    SearchResult RunCrossSectional();

private:
    AreaValue Evaluate(const SearchArea& area) {
        ++result_.areasEvaluated;
        result_.lastArea = area;
        return evaluator_.Evaluate(area.pcol, area.wcol, area.prow, area.wrow, context_.threads);
    }
    // Evaluates a batch of areas, on several threads when the work is large.
    std::vector<AreaValue> EvaluateAll(const std::vector<SearchArea>& areas) {
        std::vector<AreaValue> values(areas.size());
        const std::size_t work = areas.size() * evaluator_.Tables().Count();
        ParallelFor(areas.size(), work < kParallelWork ? 1 : context_.threads, [&](std::size_t i) {
            values[i] =
                evaluator_.Evaluate(areas[i].pcol, areas[i].wcol, areas[i].prow, areas[i].wrow);
        });
        if (!areas.empty()) {
            result_.areasEvaluated += areas.size();
            result_.lastArea = areas.back();
        }
        return values;
    }
    bool Stop() {
        if (context_.sink.StopRequested()) {
            result_.stopped = true;
            result_.converged = false;
            return true;
        }
        return false;
    }
    void Offer(double value, double pcol, double prow) {
        if (value > max_.value) {
            max_.value = value;
            max_.pcol = pcol;
            max_.prow = prow;
            max_.m = spec_.key.design == ComparativeTrial ? spec_.m : -1;
            NewMaximum e;
            e.value = value;
            e.pcol = pcol;
            e.prow = spec_.key.design == ComparativeTrial ? -1 : prow;
            e.m = max_.m;
            e.residueBound = residueSet_ ? residue_ : -1;
            context_.observer.OnNewMaximum(e);
        }
    }
    void GiveUp(const std::string& why) {
        result_.converged = false;
        result_.failure = why;
    }
    SearchResult Finish(bool residueEmpty) {
        result_.maximum = max_;
        result_.residueBound = residueSet_ ? residue_ : -1;
        result_.residueEmpty = residueEmpty;
        SearchFinished e;
        e.maximum = max_.value;
        e.pcol = max_.pcol;
        e.prow = spec_.key.design == ComparativeTrial ? -1 : max_.prow;
        e.m = max_.m;
        e.residueBound = result_.residueBound;
        e.residueEmpty = residueEmpty;
        e.converged = result_.converged;
        e.stopped = result_.stopped;
        context_.observer.OnSearchFinished(e);
        return result_;
    }
    enum class Walk { Passed, Failed, Stopped };
    // The areas of one strip in order, up to the first that fails (or a stop request).
    // Each area's value is what it is whatever was found before it; only whether it passes
    // depends on the maximum so far. So with several threads and many tables the next few
    // areas are evaluated at once, ahead of the decisions, which are then taken one area
    // after another exactly as before; areas evaluated beyond a failure are dropped unseen.
    Walk WalkStrip(const std::vector<SearchArea>& areas) {
        const unsigned workers = WorkerCount(context_.threads);
        const bool ahead = context_.threads != 1 && workers > 1 &&
                           evaluator_.Tables().Count() >= kParallelWork / 4;
        const std::size_t batch = ahead ? workers : 1;
        std::vector<AreaValue> values(batch);
        for (std::size_t start = 0; start < areas.size(); start += batch) {
            const std::size_t count = std::min(batch, areas.size() - start);
            if (ahead)
                ParallelFor(count, context_.threads, [&](std::size_t i) {
                    const SearchArea& a = areas[start + i];
                    values[i] = evaluator_.Evaluate(a.pcol, a.wcol, a.prow, a.wrow, 1);
                });
            for (std::size_t i = 0; i < count; ++i) {
                const SearchArea& a = areas[start + i];
                AreaValue v;
                if (ahead) {
                    ++result_.areasEvaluated;
                    result_.lastArea = a;
                    v = values[i];
                } else {
                    v = Evaluate(a);
                }
                const bool passes = Decide(a, v);
                if (Stop())
                    return Walk::Stopped;
                if (!passes)
                    return Walk::Failed;
            }
        }
        return Walk::Passed;
    }
    // A cross-sectional area of a strip: passes unless its bound exceeds max + delta.
    bool Decide(const SearchArea& area, const AreaValue& v) {
        const double pcol = area.pcol, prow = area.prow;
        const double width = area.wcol, height = area.wrow;
        AreaEvaluated e;
        e.pcol = pcol;
        e.prow = prow;
        e.width = width;
        e.height = height;
        e.value = v.value;
        e.bound = v.bound;
        e.passes = !(v.bound > max_.value + spec_.key.accuracy);
        context_.observer.OnAreaEvaluated(e);
        Offer(v.value, pcol, prow);
        return e.passes;
    }
    bool Survey(double colLo, double colHi, double rowLo, double rowHi, double s);

    const SearchSpec& spec_;
    const PropertyEvaluator& evaluator_;
    const SearchContext& context_;
    FoundMaximum max_;
    double residue_ = 0;
    bool residueSet_ = false;
    SearchResult result_;
};

std::string Where(const SearchSpec& spec) {
    std::string text = "N =" + PlainNumberText(static_cast<double>(spec.key.N));
    if (spec.key.design == ComparativeTrial)
        text += ", m =" + PlainNumberText(static_cast<double>(spec.m));
    text += ", test =" + PlainNumberText(spec.key.test);
    return text;
}

std::string NotConvergedMessage(const SearchSpec& spec, double maximum, double residue) {
    return "The search for " + Where(spec) +
           " could not refine its areas any further: the upper bound of the residue," +
           PlainNumberText(residue) + ", is not within the accuracy required," +
           PlainNumberText(spec.key.accuracy) + ", of the maximum found," +
           PlainNumberText(maximum) + ".  The maximum found is recorded with the accuracy reached.";
}

SearchResult SearchRun::RunComparative(const FoundMaximum* carried) {
    if (carried != nullptr)
        max_ = *carried;
    double colLo = SearchLowerEnd, colHi = SearchUpperEnd;
    std::int64_t G = 11;
    double lengthLast = colHi - colLo;
    for (int pass = 1;; ++pass) {
        if (Stop())
            return Finish(false);
        const double h = (colHi - colLo) / static_cast<double>(G - 1);
        std::vector<SearchArea> areas(static_cast<std::size_t>(G));
        for (std::int64_t k = 1; k <= G; ++k)
            areas[static_cast<std::size_t>(k - 1)] = {colLo + h * static_cast<double>(k - 1), h, 0,
                                                      0};
        const std::vector<AreaValue> values = EvaluateAll(areas);

        GridPassDone e;
        e.pass = pass;
        e.m = spec_.m;
        e.spacing = h;
        e.accuracy = spec_.key.accuracy;
        e.passMaximum = 0;
        double ub = 0;
        for (std::size_t k = 0; k < areas.size(); ++k) {
            e.points.push_back(areas[k].pcol);
            e.values.push_back(values[k].value);
            e.bounds.push_back(values[k].bound);
            if (values[k].value > e.passMaximum)
                e.passMaximum = values[k].value;
            Offer(values[k].value, areas[k].pcol, -1);
            if (values[k].bound > ub)
                ub = values[k].bound;
        }
        residue_ = ub;
        residueSet_ = true;
        e.maximum = max_.value;
        e.residueBound = ub;
        context_.observer.OnGridPassDone(e);

        if (ub - max_.value < spec_.key.accuracy)
            return Finish(false);

        // Trim the intervals that cannot hold a value above max + delta from both ends.
        const double limit = max_.value + spec_.key.accuracy;
        std::size_t k = 0;
        while (k < areas.size() && values[k].bound < limit) {
            if (k + 1 < areas.size())
                colLo = areas[k + 1].pcol;
            ++k;
        }
        std::size_t j = areas.size();
        while (j > 0 && values[j - 1].bound < limit) {
            colHi = areas[j - 1].pcol;
            --j;
        }
        const double length = colHi - colLo;
        if (length > lengthLast / 2)
            G = 2 * G;
        lengthLast = length;
        if (G > MaximumGridPoints ||
            (colHi - colLo) / static_cast<double>(G - 1) < MinimumSearchWidth) {
            GiveUp(NotConvergedMessage(spec_, max_.value, ub));
            return Finish(false);
        }
    }
}

bool SearchRun::Survey(double colLo, double colHi, double rowLo, double rowHi, double s) {
    std::int64_t nc = static_cast<std::int64_t>((colHi - colLo) / s) + 1;
    std::int64_t nr = static_cast<std::int64_t>((rowHi - rowLo) / s) + 1;
    nc = std::max<std::int64_t>(nc, 5);
    nr = std::max<std::int64_t>(nr, 5);
    if (static_cast<double>(nc) * static_cast<double>(nr) > static_cast<double>(MaximumGridPoints))
        return false;
    const double hc = (colHi - colLo) / static_cast<double>(nc - 1);
    const double hr = (rowHi - rowLo) / static_cast<double>(nr - 1);
    SurveyStarted started;
    started.timeOfDay = context_.timeOfDay ? context_.timeOfDay() : std::string();
    started.columns = static_cast<int>(nc);
    started.rows = static_cast<int>(nr);
    started.spacingCol = hc;
    started.spacingRow = hr;
    context_.observer.OnSurveyStarted(started);

    // Cells whose lower-left corner lies on or above the diagonal, and those whose corner
    // lies just below it but which reach above it (their mirror images are not cells of
    // this grid, so they must be bounded themselves).
    std::vector<SearchArea> cells;
    for (std::int64_t r = nr; r >= 1; --r)
        for (std::int64_t c = nc; c >= 1; --c) {
            const double pc = colLo + hc * static_cast<double>(c - 1);
            const double pr = rowLo + hr * static_cast<double>(r - 1);
            if (pc <= pr || pc < pr + hr)
                cells.push_back({pc, hc, pr, hr});
        }
    const std::vector<AreaValue> values = EvaluateAll(cells);
    SurveyDone done;
    done.value = -1;
    done.bound = 0;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        SurveyPoint point;
        point.pcol = cells[i].pcol;
        point.prow = cells[i].prow;
        point.width = hc;
        point.height = hr;
        point.value = values[i].value;
        point.bound = values[i].bound;
        context_.observer.OnSurveyPoint(point);
        if (values[i].value > done.value) {
            done.value = values[i].value;
            done.pcol = cells[i].pcol;
            done.prow = cells[i].prow;
        }
        if (values[i].bound > done.bound)
            done.bound = values[i].bound;
        Offer(values[i].value, cells[i].pcol, cells[i].prow);
    }
    residue_ = done.bound;
    residueSet_ = true;
    done.overallMaximum = max_.value;
    context_.observer.OnSurveyDone(done);
    return true;
}

SearchResult SearchRun::RunCrossSectional() {
    double colLo = SearchLowerEnd, rowLo = SearchLowerEnd;
    double colHi = SearchUpperEnd, rowHi = SearchUpperEnd;
    double areaLast = (colHi - colLo) * (rowHi - rowLo);
    double w = 0.11, s = 0.08;
    const double delta = spec_.key.accuracy;
    for (;;) {
        if (Stop())
            return Finish(false);
        context_.observer.OnStripPassStarted({w});
        const double maxAtStart = max_.value;
        bool failed = false;

        // Left side: vertical strips from col_lo, areas from row_lo upward.
        for (;;) {
            const StripCut cut = CutStrip(rowHi - rowLo, colHi - colLo, w);
            const std::int64_t n = cut.areas;
            const double width = cut.thickness, height = cut.length;
            std::vector<SearchArea> areas;
            for (std::int64_t k = 1; k <= n; ++k)
                areas.push_back(
                    {colLo, width, rowLo + height * static_cast<double>(k - 1), height});
            const Walk walk = WalkStrip(areas);
            if (walk == Walk::Stopped)
                return Finish(false);
            failed = walk == Walk::Failed;
            if (failed)
                break;
            const double before = colLo;
            colLo = colLo + width;
            if (colLo >= colHi)
                return Finish(true);
            if (rowLo < colLo)
                rowLo = colLo;
            if (colLo == before)
                break;
        }
        // Top side: horizontal strips from row_hi, areas from col_lo rightward.
        for (;;) {
            const StripCut cut = CutStrip(colHi - colLo, rowHi - rowLo, w);
            const std::int64_t n = cut.areas;
            const double height = cut.thickness, width = cut.length;
            std::vector<SearchArea> areas;
            for (std::int64_t k = 1; k <= n; ++k)
                areas.push_back(
                    {colLo + width * static_cast<double>(k - 1), width, rowHi - height, height});
            const Walk walk = WalkStrip(areas);
            if (walk == Walk::Stopped)
                return Finish(false);
            failed = walk == Walk::Failed;
            if (failed)
                break;
            const double before = rowHi;
            rowHi = rowHi - height;
            if (rowLo >= rowHi)
                return Finish(true);
            if (colHi > rowHi)
                colHi = rowHi;
            if (rowHi == before)
                break;
        }
        // Right side: vertical strips at col_hi, areas from the top down until the strip
        // reaches the diagonal.
        do {
            const StripCut cut = CutStrip(rowHi - rowLo, colHi - colLo, w);
            const std::int64_t n = cut.areas;
            double width = cut.thickness;
            const double height = cut.length;
            double left = colHi - width;
            if (left < 0) {
                left = 0;
                width = colHi;
            }
            // Down to the first area whose lower edge is not above the strip's left edge.
            std::vector<SearchArea> areas;
            for (std::int64_t k = 1; k <= n; ++k) {
                const double lower = rowHi - static_cast<double>(k) * height;
                areas.push_back({left, width, lower, height});
                if (!(lower > left))
                    break;
            }
            const Walk walk = WalkStrip(areas);
            if (walk == Walk::Stopped)
                return Finish(false);
            failed = walk == Walk::Failed;
            if (failed)
                break;
            const double before = colHi;
            colHi = colHi - width;
            if (colHi == before)
                break;
        } while (colLo < colHi);
        if (!(colLo < colHi))
            return Finish(true);
        // Bottom side: horizontal strips at row_lo, areas from the right, only those that
        // reach above the diagonal.
        do {
            const StripCut cut = CutStrip(colHi - colLo, rowHi - rowLo, w);
            const std::int64_t n = cut.areas;
            const double height = cut.thickness, width = cut.length;
            std::vector<SearchArea> areas;
            for (std::int64_t k = 1; k <= n; ++k) {
                const double left = colLo + width * static_cast<double>(n - k);
                if (rowLo + height > left)
                    areas.push_back({left, width, rowLo, height});
            }
            const Walk walk = WalkStrip(areas);
            if (walk == Walk::Stopped)
                return Finish(false);
            failed = walk == Walk::Failed;
            if (failed)
                break;
            const double before = rowLo;
            rowLo = rowLo + height;
            if (rowLo == before)
                break;
        } while (rowLo < rowHi);
        if (!(rowLo < rowHi))
            return Finish(true);

        context_.observer.OnSidesDone({colLo, colHi, rowLo, rowHi});
        const double area = (colHi - colLo) * (rowHi - rowLo);
        if (area < 0.5 * areaLast || w < 0.3 * s) {
            s = 2 * w;
            if (!Survey(colLo, colHi, rowLo, rowHi, s)) {
                GiveUp(NotConvergedMessage(spec_, max_.value, residueSet_ ? residue_ : 1));
                return Finish(false);
            }
            areaLast = area;
        }
        if (max_.value == maxAtStart)
            w = 0.7 * w;
        // The residue bound means something only once a survey has set it.
        if (residueSet_ && residue_ - max_.value < delta)
            return Finish(false);
        if (w < MinimumSearchWidth) {
            GiveUp(NotConvergedMessage(spec_, max_.value, residueSet_ ? residue_ : 1));
            return Finish(false);
        }
    }
}

} // namespace

SearchResult RunAreaSearch(const SearchSpec& spec, const PropertyEvaluator& evaluator,
                           const FoundMaximum* carried, const SearchContext& context) {
    const double zero = ZeroRowTotalProbability(spec.key.N);
    if (zero < 0.95)
        context.sink.Message(MessageKind::Notice, ZeroRowTotalMessage(zero));
    SearchRun run(spec, evaluator, context);
    if (spec.key.design == CrossSectionalStudy)
        return run.RunCrossSectional();
    return run.RunComparative(carried);
}

} // namespace quillon
