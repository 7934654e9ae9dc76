// The chart window of the studies and the chart of one evaluation point of the particular
// study: the cumulative frequency of the P values of each requested test against the P
// value, with the diagonal on which the actual Type I error equals the nominal level, and
// grey bars for the share of tables that the MEN/MMT policy excluded, and a reference line at
// the significance level in use ("alpha = .05" at its top).
//
// Layout, in the window's units (device-independent pixels; see summary_chart.h for the
// font size in points): the plot frame has its left edge at xL = 0.05 W, width 0.5 W,
// bottom yB = 0.85 H and height 0.7 H; a P value P is at x = xL + P 0.5 W and a
// cumulative proportion c at y = yB - c 0.7 H. Markers (filled squares of side
// 0.05 x 0.7 H / sqrt(G)) are drawn while a test has fewer than 120 groups of equal P
// values; each test keeps its own legend line, 1.5 k lines of text below the top of the
// frame for test k. From 120 groups on, points of a curve that fall within a quarter unit
// of the last point drawn are passed over (the curve still ends at its last point), so a
// large N gives a drawing of thousands of lines rather than millions.
#pragma once

#include "core/chart_window_layout.h"
#include "core/drawing.h"

#include <string>
#include <vector>

namespace quillon {

struct PointEvaluation;

// The chart window's controls. The particular study hides the four figure boxes.
// The chart window laid out for the cumulative-frequency chart: the common chart-window
// layout (core/chart_window_layout.h).
ChartWindowLayout LayOutCumulativeChartWindow(double W, double H);

// One group of tables with identical P values, in increasing order of P value; dummy P
// values (the policy codes 1.1, 1.2, 1.3) come last.
struct CumulativeGroup {
    double pValue = 0;
    double proportion = 0; // summed probability of the group's tables
    double cumulative = 0; // running sum of the proportions up to this group
};

struct CumulativeCurve {
    int test = 0; // a registered test
    std::vector<CumulativeGroup> groups;
};

struct CumulativeChartData {
    std::string caption;                 // shown in Text1
    std::vector<CumulativeCurve> curves; // the requested tests in the order typed
    double MEN = 0;
    double MMT = 1;
    // The significance level in use, drawn as a reference line at P = alpha (none when it
    // is not above 0).
    double alpha = 0;
};

// The curves of the requested tests of an evaluated point (repeats of a test drawn once),
// with its MEN and MMT.
CumulativeChartData MakeCumulativeChartData(const PointEvaluation& evaluation, std::string caption);

// The significance level's reference lines and their label.
inline constexpr Colour kSignificanceColour{96, 96, 96};
// A line at the significance level across a frame (left xL, bottom yB) of the given width
// and height whose axes run from 0 to 1: vertical (at P = alpha, labelled "alpha = .05"
// near its top) or horizontal; nothing when alpha is not in (0, 1].
void AppendSignificanceLine(std::vector<DrawOp>& ops, double alpha, double xL, double yB,
                            double width, double height, bool vertical, double fontSize,
                            const TextMetrics& metrics);

// The chart in a window W by H; the caption is left to the window's Text1.
Drawing BuildCumulativeChart(const CumulativeChartData& data, double W, double H,
                             const TextMetrics& metrics);

// The chart with its caption box, as a printed or saved picture of the window shows it.
Drawing BuildCumulativeChartPicture(const CumulativeChartData& data, double W, double H,
                                    const TextMetrics& metrics);

} // namespace quillon
