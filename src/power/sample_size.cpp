#include "power/sample_size.h"

#include "core/files.h"
#include "core/numtext.h"

#include <algorithm>
#include <cassert>
#include <numeric>

namespace quillon {

SampleSizes FindSampleSizes(const std::vector<double>& N, const std::vector<double>& power,
                            double target) {
    assert(N.size() == power.size());
    SampleSizes s;
    // Both sizes are read along N, whatever order the list was typed in: a descending list
    // would otherwise report its largest qualifying N as the first.
    std::vector<std::size_t> byN(N.size());
    std::iota(byN.begin(), byN.end(), std::size_t{0});
    std::stable_sort(byN.begin(), byN.end(),
                     [&](std::size_t a, std::size_t b) { return N[a] > N[b]; });
    for (auto k = byN.rbegin(); k != byN.rend(); ++k)
        if (power[*k] >= target) {
            s.firstN = N[*k];
            break;
        }
    // The best power and the smallest N that has it.
    for (auto k = byN.rbegin(); k != byN.rend(); ++k)
        if (k == byN.rbegin() || power[*k] > s.bestPower) {
            s.bestPower = power[*k];
            s.bestN = N[*k];
        }
    // Largest N first: the stable N is the smallest N of the run of qualifying values that
    // reaches down from the largest.
    for (std::size_t k = 0; k < byN.size(); ++k) {
        const std::size_t i = byN[k];
        if (!(power[i] >= target))
            break;
        s.stableN = N[i];
    }
    return s;
}

std::string SampleSizeHeading() {
    return "Test\tRow1\tP1\tP2\tMEN\tTarget\tFirst N\tStable N";
}

std::string SampleSizeLine(const SampleSizeRow& row) {
    auto size = [](const std::optional<double>& n) { return n ? PlainNumberText(*n) : "-"; };
    std::string s = PlainNumberText(row.test);
    for (double v : {row.row, row.p1, row.p2, row.MEN, row.target})
        s += "\t" + PlainNumberText(v);
    s += "\t" + size(row.sizes.firstN) + "\t" + size(row.sizes.stableN);
    return s;
}

std::string SampleSizeText(const std::optional<double>& n, const SampleSizes& sizes) {
    if (n)
        return GeneralNumberText(*n);
    return "not reached, best power " + GiveNumberTonsf(sizes.bestPower, 7) +
           " at N = " + GeneralNumberText(sizes.bestN);
}

std::string SampleSizeMessage(const std::vector<SampleSizeRow>& rows) {
    // A message box has no tab stops to line a table up: one sentence a test and
    // combination instead of the command line's columns.
    auto size = [](const std::optional<double>& n) {
        return n ? std::string(PlainNumberText(*n)) : std::string(" not reached");
    };
    std::string s =
        "Sample sizes: 'First N' is the smallest total number of the list whose "
        "power reaches the target; 'Stable N' the smallest from which the power stays at "
        "or above the target for every larger total number of the list.";
    s += CRLF;
    for (const SampleSizeRow& row : rows) {
        s += CRLF;
        s += "Test" + PlainNumberText(row.test) + " (row 1 =" + PlainNumberText(row.row) +
             ", p1 =" + PlainNumberText(row.p1) + ", p2 =" + PlainNumberText(row.p2) +
             ", MEN =" + PlainNumberText(row.MEN) + ", target =" + PlainNumberText(row.target) +
             "):  First N" + size(row.sizes.firstN) + ",  Stable N" + size(row.sizes.stableN);
    }
    return s;
}

} // namespace quillon
