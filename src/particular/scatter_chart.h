// The scatter diagram comparing two tests table by table: every sample table whose P
// value by the second test is at most 1 is a black cross at (P by the second test, P by
// the first test), over the diagonal on which both tests agree.
//
// Layout, in the window's units: frame left edge xL = 0.08 W, width 0.6 W, bottom
// yB = 0.85 H, height 0.7 H; cross half-size 0.005 W; ticks 0.01 W long; font
// 0.0009 sqrt(W H) in twips, converted to points as for the summary chart.
//
// Tables that fall on the same spot give the same cross, so each cross is drawn once:
// a cross is left out when an earlier one has its centre within the same quarter of a
// unit (a quarter of a pixel on screen) both ways. This keeps the drawing small for large
// N, where millions of tables share a few hundred thousand spots.
#pragma once

#include "core/drawing.h"
#include "particular/cumulative_chart.h"

#include <string>
#include <vector>

namespace quillon {

struct TwoTestScatter;

// The chart window's layout for the scatter: font 0.0009 sqrt(W H) in twips, caption
// 0.9 W wide and 0.07 H high, the buttons as for the cumulative chart.
ChartWindowLayout LayOutScatterChartWindow(double W, double H);

// The scatter of `scatter` in a window W by H; its caption is left to Text1.
// Preconditions: both P-value lists have the same length; tests are registered tests.
Drawing BuildScatterChart(const TwoTestScatter& scatter, double W, double H,
                          const TextMetrics& metrics);

// The same with the caption box, as a printed or saved picture of the window shows it.
Drawing BuildScatterChartPicture(const TwoTestScatter& scatter, double W, double H,
                                 const TextMetrics& metrics);

} // namespace quillon
