// The chart of a power run as it goes: after each combination, the power of the tests over
// the combinations computed so far that share the latest one's other values, against the
// list that varies among them - N first, else p2 - one line per test, with a grey line at
// the target power. A combination with neither varying shows each test's power (line 1)
// and size (line 2) against the test number.
#pragma once

#include "summary/summary_chart_data.h"

#include <vector>

namespace quillon {

struct PowerChartPoint {
    double N = 0;
    double row = 0; // the row value as typed
    double p1 = 0, p2 = 0, MEN = 0;
    int test = 1;
    double power = 0, size = 0;
};

// Precondition: `points` not empty; the latest combination's points come last.
SummaryChartData PowerProgressChart(const std::vector<PowerChartPoint>& points, double target);

} // namespace quillon
