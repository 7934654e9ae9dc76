// What a study hands to a summary chart: the records selected from its summary file.
// The chart builder only reads it (it sorts its own copy of the points by x).
#pragma once

#include <string>
#include <vector>

namespace quillon {

struct SummaryChartData {
    std::string title;
    std::vector<double> x;      // horizontal values (N, pi(col), ...), never negative
    std::vector<double> y;      // Type I errors or excesses, same length as x
    std::vector<double> series; // the line of each point (test, MEN); all 0 for one line
    std::string axisLabel;      // under the horizontal axis ("N", "pi(col)")
    std::string seriesLabel;    // heading of the key; empty for a chart without a key
    // True when each line is a test (series = its number): the line then takes the test's
    // own colour, the same in every chart; otherwise lines are coloured by position.
    bool seriesAreTests = false;
    double referenceValue = 0; // nominal level drawn as a grey line; 0 for none

    std::size_t Count() const { return x.size(); }
};

} // namespace quillon
