#include "study/significant_sums.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>

namespace quillon {

namespace {

// The kernels of one margin: the direct factors of value or upper bound, their logarithms,
// and whether a direct factor underflowed.
struct MarginKernel {
    double direct = 1, log = 0;
    bool underflowed = false;
};

// The margin's kernel of one kind: `bound` picks the value or the upper bound, `under`
// whether it underflowed.
MarginKernel KernelOf(const NullKernels& kernels, const SignificantTables::Margin& m,
                      double KernelBoundsResult::*bound, bool NullKernels::Factor::*under) {
    const NullKernels::Factor& col = kernels.Column(m.k);
    MarginKernel K{col.direct.*bound, col.log.*bound, col.*under};
    if (kernels.Cross()) {
        const NullKernels::Factor& row = kernels.Row(m.r);
        K.direct = row.direct.*bound;
        K.log = row.log.*bound + col.log.*bound;
        K.underflowed = row.*under || col.*under;
    }
    return K;
}

MarginKernel ValueKernel(const NullKernels& kernels, const SignificantTables::Margin& m) {
    return KernelOf(kernels, m, &KernelBoundsResult::value, &NullKernels::Factor::value);
}

MarginKernel UpperKernel(const NullKernels& kernels, const SignificantTables::Margin& m) {
    return KernelOf(kernels, m, &KernelBoundsResult::upper, &NullKernels::Factor::upper);
}

// The direct product of a coefficient (or a sum of them) with the margin's kernels, in the
// order the table-order probability takes: (M K_row) K_col, or M K_col.
double Direct(double M, const MarginKernel& K, double column, bool cross) {
    return cross ? (M * K.direct) * column : M * column;
}

// One margin's share of a test's sum: direct where sound, from the scaled coefficients where
// a kernel underflowed or the direct product fails, and the overflowed coefficients always
// from their scaled form.
double MarginTerm(double direct, double overflowScaled, double scaled, double logScale,
                  const MarginKernel& K, double column, bool cross) {
    if (!K.underflowed) {
        const double d = Direct(direct, K, column, cross);
        if (std::isfinite(d))
            return overflowScaled == 0 ? d : d + overflowScaled * std::exp(logScale + K.log);
    }
    return scaled * std::exp(logScale + K.log);
}

} // namespace

void EntryProbabilities(const SignificantTables& tables, const NullKernels& kernels,
                        LargeArray<double>& out) {
    out.resize(tables.tables.size());
    const bool cross = kernels.Cross();
    for (const SignificantTables::Margin& m : tables.margins) {
        const MarginKernel K = ValueKernel(kernels, m);
        const double column = kernels.Column(m.k).direct.value;
        double logForm = -1; // exp(logScale + ln kernels), formed at most once a margin
        for (std::uint32_t e = m.begin; e < m.end; ++e) {
            const SignificantTables::Table& t = tables.tables[e];
            if (!K.underflowed && std::isfinite(t.coefficient.M)) {
                const double d = Direct(t.coefficient.M, K, column, cross);
                if (std::isfinite(d)) {
                    out[e] = d;
                    continue;
                }
            }
            if (logForm < 0)
                logForm = std::exp(m.logScale + K.log);
            out[e] = t.scaled * logForm;
        }
    }
}

void EntryProbabilities(const SignificantTables& tables, const AlternativeKernels& kernels,
                        LargeArray<double>& out) {
    out.resize(tables.tables.size());
    for (const SignificantTables::Margin& m : tables.margins)
        for (std::uint32_t e = m.begin; e < m.end; ++e) {
            const SignificantTables::Cells c = tables.CellsOf(m, e);
            out[e] = kernels.Of(tables.tables[e].coefficient, c.a, c.b, c.c, c.d);
        }
}

NullSums SignificantSums(const SignificantTables& tables, int test, const NullKernels& kernels) {
    const SignificantTables::Test& t = tables.byTest[static_cast<std::size_t>(test)];
    const bool cross = kernels.Cross();
    NullSums s;
    for (std::size_t i = 0; i < tables.margins.size(); ++i) {
        if (t.direct[i] == 0 && t.scaled[i] == 0)
            continue; // no significant table of this test in the margin
        const SignificantTables::Margin& m = tables.margins[i];
        const NullKernels::Factor& col = kernels.Column(m.k);
        s.proportion += MarginTerm(t.direct[i], t.overflowScaled[i], t.scaled[i], m.logScale,
                                   ValueKernel(kernels, m), col.direct.value, cross);
        s.upperBound += MarginTerm(t.direct[i], t.overflowScaled[i], t.scaled[i], m.logScale,
                                   UpperKernel(kernels, m), col.direct.upper, cross);
    }
    return s;
}

double SumOverTest(const SignificantTables& tables, int test, std::span<const double> probability) {
    const auto bit = static_cast<std::uint16_t>(1u << test);
    double sum = 0;
    for (std::size_t e = 0; e < tables.tables.size(); ++e)
        if ((tables.tables[e].tests & bit) != 0)
            sum += probability[e];
    return sum;
}

namespace {

// An entry of a bucket being walked: its P value and its probability.
struct Member {
    double p = 0, probability = 0;
    std::uint32_t entry = 0;
};

// A candidate range of members with the cumulative probability before it and the bound of
// the excess within it.
struct Candidate {
    double bound = 0, before = 0;
    std::uint32_t first = 0, last = 0;
};

std::uint64_t Bits(double p) {
    return std::bit_cast<std::uint64_t>(p + 0.0);
}

// Raises `best` to the largest excess (cumulative - P) of the groups of `members`, whose
// P values share the bits above `shift`, the cumulative starting from `before`. Large
// ranges are split on the next eight bits first, and only the parts whose bound beats
// `best` are looked into, the most promising first; small ones are sorted and walked group
// by group (equal P values in entry order).
void WalkMembers(std::span<Member> members, double before, int shift, double& best,
                 std::vector<Member>& spare) {
    if (members.size() <= 48 || shift <= 0) {
        std::sort(members.begin(), members.end(), [](const Member& x, const Member& y) {
            return x.p < y.p || (x.p == y.p && x.entry < y.entry);
        });
        double running = before;
        for (std::size_t i = 0; i < members.size();) {
            const double p = members[i].p;
            double group = 0;
            for (; i < members.size() && members[i].p == p; ++i)
                group += members[i].probability;
            running += group;
            if (running - p > best)
                best = running - p;
        }
        return;
    }
    const int next = std::max(0, shift - 8);
    constexpr std::size_t kParts = 256;
    std::array<std::uint32_t, kParts + 1> start{};
    std::array<double, kParts> sum{}, least, greatest{};
    least.fill(std::numeric_limits<double>::infinity());
    auto part = [&](double p) { return (Bits(p) >> next) & (kParts - 1); };
    for (const Member& m : members) {
        const std::size_t i = part(m.p);
        ++start[i + 1];
        sum[i] += m.probability;
        least[i] = std::min(least[i], m.p);
        greatest[i] = std::max(greatest[i], m.p);
    }
    // Members in part order (entry order within a part), through the spare buffer.
    for (std::size_t i = 0; i < kParts; ++i)
        start[i + 1] += start[i];
    spare.resize(std::max(spare.size(), members.size()));
    {
        std::array<std::uint32_t, kParts> at{};
        std::copy(start.begin(), start.end() - 1, at.begin());
        for (const Member& m : members)
            spare[at[part(m.p)]++] = m;
        std::copy(spare.begin(), spare.begin() + static_cast<std::ptrdiff_t>(members.size()),
                  members.begin());
    }
    std::vector<Candidate> open;
    double cum = before;
    for (std::size_t i = 0; i < kParts; ++i) {
        if (start[i + 1] == start[i])
            continue;
        const double partBefore = cum;
        cum += sum[i];
        // The part's last group reaches the cumulative after it.
        if (cum - greatest[i] > best)
            best = cum - greatest[i];
        // One value: a single group, whose excess is the one just taken.
        if (least[i] < greatest[i])
            open.push_back({cum * (1 + 0x1p-40) - least[i], partBefore, start[i], start[i + 1]});
    }
    std::sort(open.begin(), open.end(), [](const Candidate& x, const Candidate& y) {
        return x.bound > y.bound || (x.bound == y.bound && x.first < y.first);
    });
    for (const Candidate& c : open) {
        if (!(c.bound > best))
            break;
        WalkMembers(members.subspan(c.first, c.last - c.first), c.before, next, best, spare);
    }
}

} // namespace

std::vector<double> MaximumExcesses(const SignificantTables& tables,
                                    std::span<const double> probability) {
    const std::size_t width = tables.order.size();
    std::vector<double> best(width, 0.0);
    std::vector<Candidate> open;
    std::vector<Member> members;
    for (std::size_t i = 0; i < width; ++i) {
        const std::vector<std::uint16_t>& used =
            tables.byTest[static_cast<std::size_t>(tables.order[i])].usedBuckets;
        // The probability in each bucket (its entries in entry order), and the cumulative
        // probability before and after it.
        thread_local std::vector<double> before, after; // by used bucket
        before.resize(used.size());
        after.resize(used.size());
        double cum = 0;
        for (std::size_t u = 0; u < used.size(); ++u) {
            const SignificantTables::BucketStats& stats = tables.Stats(i, used[u]);
            const std::uint32_t* entry = tables.byBucket.data() + stats.first;
            double sum = 0;
            for (std::uint32_t j = 0; j < stats.count; ++j)
                sum += probability[entry[j]];
            before[u] = cum;
            cum += sum;
            after[u] = cum;
            // The bucket's last group reaches the cumulative after it: an excess attained.
            best[i] = std::max(best[i], cum - stats.greatest);
        }
        // Within a bucket the excess is at most the cumulative after it less its least P
        // value, with a margin for the rounding of the sums (the walk adds the same terms in
        // another order); a bucket of one value is one group, already counted. The buckets
        // that might beat the excess found are walked, the most promising first, until
        // none can.
        open.clear();
        for (std::size_t u = 0; u < used.size(); ++u) {
            const SignificantTables::BucketStats& stats = tables.Stats(i, used[u]);
            if (!(stats.least < stats.greatest))
                continue;
            const double bound = after[u] * (1 + 0x1p-40) - stats.least;
            if (bound > best[i])
                open.push_back({bound, before[u], used[u], 0});
        }
        std::sort(open.begin(), open.end(), [](const Candidate& x, const Candidate& y) {
            return x.bound > y.bound || (x.bound == y.bound && x.first < y.first);
        });
        std::vector<Member> spare;
        for (const Candidate& o : open) {
            if (!(o.bound > best[i]))
                break;
            const SignificantTables::BucketStats& stats = tables.Stats(i, o.first);
            members.resize(stats.count);
            for (std::uint32_t j = 0; j < stats.count; ++j) {
                const std::uint32_t e = tables.byBucket[stats.first + j];
                members[j] = {tables.PValue(e, i), probability[e], e};
            }
            WalkMembers(members, o.before, 48, best[i], spare);
        }
    }
    return best;
}

} // namespace quillon
