// The chart of a power run as it goes: after each combination, the power of the tests over
// the combinations computed so far that share the latest one's other values, against the
// list that varies among them - N first, else p2 - one line per test, with a grey line at
// the target power. A combination with neither varying shows each test's power (line 1)
// and size (line 2) against the test number; the chart window shows such a combination as
// bars instead (PowerBarsOf).
#pragma once

#include "core/drawing.h"
#include "summary/summary_chart_data.h"

#include <optional>
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

// One combination's power and size, test by test in the order computed.
struct PowerBars {
    std::vector<int> tests;
    std::vector<double> power, size;
    double target = 0.8;
};
// The latest combination as bars, when neither N nor p2 varies among the combinations so far
// that share its other values; nothing when they do (the chart is then by N or p2).
// Precondition: `points` not empty.
std::optional<PowerBars> PowerBarsOf(const std::vector<PowerChartPoint>& points, double target);

// The bar chart in the chart window's drawing area W by H (its caption box and buttons
// placed by LayOutChartWindow): for each test a pair of bars, power then size, each
// labelled with its value to three significant figures; a grey line at the target power;
// the legend inside the plot area, above the bars' reach. The labels of neighbouring bars
// never overlap: their font shrinks to fit the bars' spacing.
Drawing BuildPowerBarChart(const PowerBars& bars, double W, double H, const TextMetrics& metrics);

// Where BuildPowerBarChart draws, for checking a drawing.
struct PowerBarGeometry {
    double left = 0, right = 0, top = 0, bottom = 0; // the plot frame
    double yOfOne = 0;                               // the height of power 1
};
PowerBarGeometry LayOutPowerBars(double W, double H, const TextMetrics& metrics);

inline constexpr Colour kPowerBarColour{0, 70, 160};
inline constexpr Colour kSizeBarColour{230, 120, 0};

} // namespace quillon
