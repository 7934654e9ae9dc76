#include "core/tables.h"

#include "core/table_coefficient.h"

#include <array>
#include <atomic>
#include <cassert>
#include <cmath>
#include <memory>
#include <mutex>
#include <stdexcept>

namespace quillon {

double ExpBasePower(double x) {
    return std::pow(ExpBase, x);
}

// ---------------------------------------------------------------------------------------
// The log-factorial cache. Entries live in fixed blocks that never move, so a reader can
// use any entry below the published upper bound while another thread grows the cache.
// Entry i is entry i - 1 plus ln i: the sum is carried on across growths exactly as a
// single sequential loop from 0 would carry it.
namespace {

constexpr std::int64_t kBlockBits = 16;
constexpr std::int64_t kBlockSize = std::int64_t{1} << kBlockBits;
constexpr std::int64_t kMaxBlocks = MaxLogFactorialArgument / kBlockSize + 1;

struct LogFactorialStore {
    std::array<std::unique_ptr<double[]>, kMaxBlocks> blocks;
    std::atomic<std::int64_t> upper{0};
    std::mutex growth;

    double& Entry(std::int64_t i) { return blocks[i >> kBlockBits][i & (kBlockSize - 1)]; }

    void Grow(std::int64_t x) {
        std::lock_guard lock(growth);
        const std::int64_t u = upper.load(std::memory_order_relaxed);
        if (x <= u)
            return;
        for (std::int64_t b = (u >> kBlockBits); b <= (x >> kBlockBits); ++b)
            if (!blocks[b])
                blocks[b] = std::make_unique<double[]>(kBlockSize);
        // Slot 0 holds ln 0! = 0; it is set when first needed as the start of the sum.
        if (u == 0)
            Entry(0) = 0.0;
        double sum = Entry(u);
        for (std::int64_t i = u + 1; i <= x; ++i) {
            sum = sum + std::log(static_cast<double>(i));
            Entry(i) = sum;
        }
        upper.store(x, std::memory_order_release);
    }
};

LogFactorialStore& Store() {
    static LogFactorialStore store;
    return store;
}

} // namespace

double LogFactorial(std::int64_t x) {
    if (x < 0 || x > MaxLogFactorialArgument)
        throw std::out_of_range("LogFactorial argument outside 0.." +
                                std::to_string(MaxLogFactorialArgument));
    if (x == 0)
        return 0.0;
    LogFactorialStore& store = Store();
    if (x > store.upper.load(std::memory_order_acquire))
        store.Grow(x);
    return store.Entry(x);
}

std::int64_t LogFactorialUpperBound() {
    return Store().upper.load(std::memory_order_acquire);
}

void ResetLogFactorialCache() {
    LogFactorialStore& store = Store();
    std::lock_guard lock(store.growth);
    for (auto& b : store.blocks)
        b.reset();
    store.upper.store(0, std::memory_order_release);
}

// ---------------------------------------------------------------------------------------

namespace {

// t^k (1 - t)^(n - k), with 0^0 = 1 as std::pow gives it.
double Kernel(double t, std::int64_t k, std::int64_t n) {
    return std::pow(t, static_cast<double>(k)) * std::pow(1 - t, static_cast<double>(n - k));
}

} // namespace

KernelBoundsResult KernelBounds(double p, double w, std::int64_t k, std::int64_t n) {
    assert(n >= 1 && k >= 0 && k <= n);
    KernelBoundsResult r;
    const double v = Kernel(p, k, n);
    const double u = Kernel(p + w, k, n);
    r.value = v;
    if (u < v) {
        r.upper = v;
        r.lower = u;
    } else {
        r.upper = u;
        r.lower = v;
    }
    const double mode = static_cast<double>(k) / static_cast<double>(n);
    if (p < mode && mode < p + w)
        r.upper = Kernel(mode, k, n);
    return r;
}

// ---------------------------------------------------------------------------------------

TableArray::TableArray(std::size_t capacity) : capacity_(capacity == 0 ? 1 : capacity) {}

void TableArray::Reserve(std::size_t n) {
    cells_.reserve(4 * n);
    probability_.reserve(n);
    lower_.reserve(n);
    upper_.reserve(n);
}

void TableArray::Append(std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d,
                        double probability, double lower, double upper) {
    ++count_;
    while (count_ > capacity_)
        capacity_ *= 2;
    cells_.insert(cells_.end(), {a, b, c, d});
    probability_.push_back(probability);
    lower_.push_back(lower);
    upper_.push_back(upper);
    if (anyEnabled_)
        for (std::size_t t = 0; t < results_.size(); ++t)
            if (enabled_[t])
                results_[t].push_back(0.0);
}

void TableArray::AppendCells(std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d) {
    ++count_;
    while (count_ > capacity_)
        capacity_ *= 2;
    cells_.push_back(a);
    cells_.push_back(b);
    cells_.push_back(c);
    cells_.push_back(d);
    if (anyEnabled_)
        for (std::size_t t = 0; t < results_.size(); ++t)
            if (enabled_[t])
                results_[t].push_back(0.0);
}

void TableArray::Clear() {
    count_ = 0;
    cells_.clear();
    probability_.clear();
    lower_.clear();
    upper_.clear();
    for (std::size_t t = 0; t < results_.size(); ++t) {
        results_[t].clear();
        enabled_[t] = false;
    }
    anyEnabled_ = false;
}

void TableArray::EnableTest(int test) {
    enabled_[test - 1] = true;
    anyEnabled_ = true;
    results_[test - 1].resize(count_, 0.0);
}

double TableArray::Value(int column, std::size_t row) const {
    if (column >= 1 && column <= 4)
        return Cell(row, column);
    switch (column) {
    case 5:
        return Probability(row);
    case 6:
        return Lower(row);
    case 7:
        return Upper(row);
    default:
        return Result(row, column - 7);
    }
}

namespace {

// Beyond a total of about a thousand the direct products fail: the coefficient ExpBase^lnM
// overflows to infinity while the kernel t^k (1 - t)^(n - k) underflows to 0, and their
// product is NaN (or 0, or infinity) instead of a probability. Where that happens, and only
// there, the same quantity is formed from logarithms:
//   ExpBase^lnM x kernel = exp(lnM ln ExpBase + k ln t + (n - k) ln(1 - t)).
// Everywhere the direct products are sound they are kept, operation for operation.

// The logarithms of KernelBounds' value, upper and lower bound, chosen the same way.
KernelBoundsResult LogKernelBounds(double p, double w, std::int64_t k, std::int64_t n) {
    KernelBoundsResult r;
    const double v = LogKernel(p, k, n);
    const double u = LogKernel(p + w, k, n);
    r.value = v;
    r.upper = u < v ? v : u;
    r.lower = u < v ? u : v;
    const double mode = static_cast<double>(k) / static_cast<double>(n);
    if (p < mode && mode < p + w)
        r.upper = LogKernel(mode, k, n);
    return r;
}

// True when a kernel value is 0 only because it underflowed.
bool Underflowed(double value, double logValue) {
    return value == 0 && std::isfinite(logValue);
}

NullKernels::Factor KernelFactor(double t, double w, std::int64_t k, std::int64_t n) {
    NullKernels::Factor f;
    f.direct = KernelBounds(t, w, k, n);
    f.log = LogKernelBounds(t, w, k, n);
    f.value = Underflowed(f.direct.value, f.log.value);
    f.upper = Underflowed(f.direct.upper, f.log.upper);
    f.lower = Underflowed(f.direct.lower, f.log.lower);
    return f;
}

const double kLnExpBase = std::log(ExpBase);

// One of probability, lower and upper bound: the direct product when sound, else from logs.
double SoundProduct(double direct, double lnM, bool coefficientOverflowed, bool rowUnderflowed,
                    double logRow, bool columnUnderflowed, double logColumn) {
    if (!coefficientOverflowed && !rowUnderflowed && !columnUnderflowed && std::isfinite(direct))
        return direct;
    return std::exp(lnM * kLnExpBase + logRow + logColumn);
}

} // namespace

double LnExpBase() {
    return kLnExpBase;
}

TableCoefficient MakeTableCoefficient(double lnM) {
    return {lnM, ExpBasePower(lnM)};
}

double BinomialProbability(double p, std::int64_t k, std::int64_t n) {
    const double lnC = (LogFactorial(n) - LogFactorial(k)) - LogFactorial(n - k);
    const double coefficient = ExpBasePower(lnC);
    const double left = std::pow(p, static_cast<double>(k));
    const double right = std::pow(1 - p, static_cast<double>(n - k));
    const double direct = (coefficient * left) * right;
    // As for the tables: the direct product wherever it is sound, logarithms where the
    // coefficient overflows or a power underflows.
    const double logKernel = LogKernel(p, k, n);
    const bool underflow = (left == 0 || right == 0) && std::isfinite(logKernel);
    return SoundProduct(direct, lnC, !std::isfinite(coefficient), false, 0, underflow, logKernel);
}

NullKernels::NullKernels(DesignCode design, std::int64_t N, double p, double w, double x, double wx)
    : cross_(design == CrossSectionalStudy) {
    column_.reserve(static_cast<std::size_t>(N) + 1);
    for (std::int64_t k = 0; k <= N; ++k)
        column_.push_back(KernelFactor(p, w, k, N));
    if (cross_) {
        row_.reserve(static_cast<std::size_t>(N) + 1);
        for (std::int64_t r = 0; r <= N; ++r)
            row_.push_back(KernelFactor(x, wx, r, N));
    }
}

TableProbability NullKernels::Of(const TableCoefficient& coefficient, std::int64_t r,
                                 std::int64_t k) const {
    const Factor& col = column_[static_cast<std::size_t>(k)];
    const double M = coefficient.M, lnM = coefficient.lnM;
    const bool overflow = !std::isfinite(M);
    if (cross_) {
        const Factor& row = row_[static_cast<std::size_t>(r)];
        return {SoundProduct((M * row.direct.value) * col.direct.value, lnM, overflow, row.value,
                             row.log.value, col.value, col.log.value),
                SoundProduct((M * row.direct.lower) * col.direct.lower, lnM, overflow, row.lower,
                             row.log.lower, col.lower, col.log.lower),
                SoundProduct((M * row.direct.upper) * col.direct.upper, lnM, overflow, row.upper,
                             row.log.upper, col.upper, col.log.upper)};
    }
    return {SoundProduct(M * col.direct.value, lnM, overflow, false, 0, col.value, col.log.value),
            SoundProduct(M * col.direct.lower, lnM, overflow, false, 0, col.lower, col.log.lower),
            SoundProduct(M * col.direct.upper, lnM, overflow, false, 0, col.upper, col.log.upper)};
}

void EnumerateTables(DesignCode design, std::int64_t N, double p, double w, double x, double wx,
                     TableArray& tables) {
    if (design != CrossSectionalStudy && design != ComparativeTrial)
        return;
    tables.Clear();
    const DesignCode code = design;
    const std::int64_t m = code == ComparativeTrial ? static_cast<std::int64_t>(x) : 0;
    tables.Reserve(TableCount(code, N, m));
    const NullKernels kernels(code, N, p, w, x, wx);
    const TableCoefficientLog lnCoefficient(code, N, m);
    auto append = [&](std::int64_t a, std::int64_t b, std::int64_t c, std::int64_t d) {
        const TableProbability t =
            kernels.Of(MakeTableCoefficient(lnCoefficient(a, b, c, d)), a + b, a + c);
        tables.Append(static_cast<std::int32_t>(a), static_cast<std::int32_t>(b),
                      static_cast<std::int32_t>(c), static_cast<std::int32_t>(d), t.probability,
                      t.lower, t.upper);
    };
    if (code == CrossSectionalStudy) {
        for (std::int64_t r = 0; r <= N; ++r)
            for (std::int64_t a = 0; a <= r; ++a)
                for (std::int64_t c = 0; c <= N - r; ++c)
                    append(a, r - a, c, N - r - c);
        return;
    }
    for (std::int64_t a = 0; a <= m; ++a)
        for (std::int64_t c = 0; c <= N - m; ++c)
            append(a, m - a, c, N - m - c);
}

void EnumerateTableCells(DesignCode design, std::int64_t N, std::int64_t m, TableArray& tables) {
    tables.Clear();
    tables.Reserve(TableCount(design, N, m));
    auto cell = [](std::int64_t v) { return static_cast<std::int32_t>(v); };
    if (design == CrossSectionalStudy) {
        for (std::int64_t r = 0; r <= N; ++r)
            for (std::int64_t a = 0; a <= r; ++a)
                for (std::int64_t c = 0; c <= N - r; ++c)
                    tables.AppendCells(cell(a), cell(r - a), cell(c), cell(N - r - c));
        return;
    }
    for (std::int64_t a = 0; a <= m; ++a)
        for (std::int64_t c = 0; c <= N - m; ++c)
            tables.AppendCells(cell(a), cell(m - a), cell(c), cell(N - m - c));
}

void AlternativeKernels::Powers::Fill(double t, std::int64_t n) {
    of.resize(static_cast<std::size_t>(n) + 1);
    complement.resize(of.size());
    for (std::int64_t i = 0; i <= n; ++i) {
        of[i] = std::pow(t, static_cast<double>(i));
        complement[i] = std::pow(1 - t, static_cast<double>(i));
    }
    log = std::log(t);
    logComplement = std::log(1 - t);
}

double AlternativeKernels::Powers::LogKernel(std::int64_t k, std::int64_t rest) const {
    // LogKernel's operations, with its two logarithms taken once.
    const double left = k == 0 ? 0.0 : static_cast<double>(k) * log;
    const double right = rest == 0 ? 0.0 : static_cast<double>(rest) * logComplement;
    return left + right;
}

AlternativeKernels::AlternativeKernels(DesignCode design, std::int64_t N, double p1, double p2,
                                       double x)
    : cross_(design == CrossSectionalStudy) {
    first_.Fill(p1, N);
    second_.Fill(p2, N);
    if (cross_) {
        row_.resize(static_cast<std::size_t>(N) + 1);
        logRow_.resize(row_.size());
        for (std::int64_t r = 0; r <= N; ++r) {
            row_[r] = Kernel(x, r, N);
            logRow_[r] = LogKernel(x, r, N);
        }
    }
}

double AlternativeKernels::Of(const TableCoefficient& coefficient, std::int64_t a, std::int64_t b,
                              std::int64_t c, std::int64_t d) const {
    const double M = coefficient.M, lnM = coefficient.lnM;
    const double first = first_.Kernel(a, b), second = second_.Kernel(c, d);
    const double logFirst = first_.LogKernel(a, b), logSecond = second_.LogKernel(c, d);
    const bool firstSound = !Underflowed(first, logFirst);
    const bool secondSound = !Underflowed(second, logSecond);
    if (cross_) {
        const auto r = static_cast<std::size_t>(a + b);
        const double row = row_[r], logRow = logRow_[r];
        const double direct = ((M * row) * first) * second;
        const bool sound = std::isfinite(M) && !Underflowed(row, logRow) && firstSound &&
                           secondSound && std::isfinite(direct);
        return sound ? direct : std::exp(lnM * kLnExpBase + logRow + logFirst + logSecond);
    }
    const double direct = (M * first) * second;
    const bool sound = std::isfinite(M) && firstSound && secondSound && std::isfinite(direct);
    return sound ? direct : std::exp(lnM * kLnExpBase + logFirst + logSecond);
}

void AlternativeProbabilities(DesignCode design, std::int64_t N, double p1, double p2, double x,
                              std::vector<double>& probabilities) {
    probabilities.clear();
    if (design != CrossSectionalStudy && design != ComparativeTrial)
        return;
    if (p1 == p2) {
        TableArray tables;
        EnumerateTables(design, N, p1, 0, x, 0, tables);
        const std::span<const double> p = tables.Probabilities();
        probabilities.assign(p.begin(), p.end());
        return;
    }
    const DesignCode code = design;
    const std::int64_t m = code == ComparativeTrial ? static_cast<std::int64_t>(x) : 0;
    probabilities.reserve(TableCount(code, N, m));
    const AlternativeKernels kernels(code, N, p1, p2, x);
    const TableCoefficientLog lnCoefficient(code, N, m);
    auto add = [&](std::int64_t a, std::int64_t b, std::int64_t c, std::int64_t d) {
        probabilities.push_back(
            kernels.Of(MakeTableCoefficient(lnCoefficient(a, b, c, d)), a, b, c, d));
    };
    if (code == CrossSectionalStudy) {
        for (std::int64_t r = 0; r <= N; ++r)
            for (std::int64_t a = 0; a <= r; ++a)
                for (std::int64_t c = 0; c <= N - r; ++c)
                    add(a, r - a, c, N - r - c);
        return;
    }
    for (std::int64_t a = 0; a <= m; ++a)
        for (std::int64_t c = 0; c <= N - m; ++c)
            add(a, m - a, c, N - m - c);
}

std::uint64_t TableCount(DesignCode design, std::int64_t N, std::int64_t m) {
    const auto n = static_cast<std::uint64_t>(N);
    if (design == CrossSectionalStudy)
        return (n + 1) * (n + 2) * (n + 3) / 6;
    if (design == ComparativeTrial)
        return static_cast<std::uint64_t>(m + 1) * static_cast<std::uint64_t>(N - m + 1);
    return 0;
}

double LogKernel(double t, std::int64_t k, std::int64_t n) {
    const double left = k == 0 ? 0.0 : static_cast<double>(k) * std::log(t);
    const double right = n - k == 0 ? 0.0 : static_cast<double>(n - k) * std::log(1 - t);
    return left + right;
}

} // namespace quillon
