// The summary chart: one quantity against one varying specification, one line per value
// of a second one, laid out as a display list.
//
// Units. The chart is laid out in the window's own units, which the desktop program takes
// to be device-independent pixels (1/96 inch), so PixelSize is 1 there. Font sizes are in
// points; the size 0.0009 sqrt(W H) is defined for W and H in twips, and a pixel is 15
// twips at 96 dpi, so the font size is 0.0009 sqrt(15 W x 15 H).
//
// Scaling. The horizontal axis runs from 0 to m 10^e, the largest x rounded up to a whole
// multiple m (at most 15) of a power of ten, with ticks 0, 10^e, ..., m 10^e; the
// vertical axis has ticks 0, 10^f, ..., k 10^f, the largest y rounded up likewise. Both loops run
// in double precision, so a largest y of 0.07 gives ticks up to .08 (0.07 / 0.01 is a little above
// 7).
//
// Negative y. When some y is below 0 (an excess below nominal) the frame is stretched to
// reach from the smallest y at its bottom edge to k 10^f at its top: the vertical unit is
// frame height / (k 10^f - ymin) instead of frame height / (k 10^f). Every point and tick
// stays inside the frame, and the ticks still start at 0 (0 is then above the bottom
// edge). With no negative y the two units are the same.
//
// Points with a non-finite x, y or series value cannot be placed and are left out; a
// largest x below 0 is widened to .001 like a largest x of 0, so the scaling loop ends
// (the studies never hand over a negative x).
#pragma once

#include "core/drawing.h"
#include "summary/summary_chart_data.h"

#include <string>

namespace quillon {

// Where the summary-chart window puts its controls, and the font its texts use.
struct SummaryChartLayout {
    double fontSize = 8; // points, for the drawing and the title box
    Box title;           // txtTitle: 0.95 W by 0.1 H at the top left
    Box continueButton;  // "Go &Back"
    Box printButton;     // "&Print chart"
    Box exitButton;      // "&Abandon"
    Box stopButton;      // "&Stop", while a run goes on
    Box nextButton;      // "&Next chart", when a run has drawn several charts
    Box position;        // which of them is shown ("Chart 2 of 3")
};
SummaryChartLayout LayOutSummaryChartWindow(double W, double H);

// The chart of `data` in a window W wide and H high, one screen pixel being `pixelSize`
// units. The title is not drawn: the window shows it in its title box. Returns a drawing
// with only a clear when there is no point that can be placed.
Drawing BuildSummaryChart(const SummaryChartData& data, double W, double H, double pixelSize,
                          const TextMetrics& metrics);

// The summary chart with its title written in the title box, as a printed or saved
// picture of the window shows it.
Drawing BuildSummaryChartPicture(const SummaryChartData& data, double W, double H, double pixelSize,
                                 const TextMetrics& metrics);

} // namespace quillon
