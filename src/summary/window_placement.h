// Where the summary-chart window stands while the chart window is on screen.
//
// Both windows start where they always have: the chart window at the top left (60% of the
// screen, or the whole screen for a single combination), the summary-chart window 15% in
// from the top left at 85% of the screen. Left so, the summary chart covers the chart
// window's buttons (Next chart, Pause, Print chart, Abandon) while the run may still wait
// for them. So while both are shown the summary-chart window keeps its usual place only
// where that leaves the chart window's buttons uncovered and its own buttons outside the
// chart window; otherwise it moves beside the chart window (to its right) or below it,
// whichever leaves the larger summary chart, and never smaller than a third of the screen
// each way. Where neither fits (a chart window filling the screen) the stacking order
// alone keeps the buttons of the window the run waits for in reach.
//
// Places are fractions of the screen's available area, so the rule is tested without a
// screen.
#pragma once

#include "core/drawing.h"

#include <optional>

namespace quillon {

// A window's place in fractions of the screen's available area.
using ScreenPlace = Box;

// The summary-chart window's usual place.
inline constexpr ScreenPlace SummaryChartHome{0.15, 0.15, 0.85, 0.85};

// The region of a window's column of buttons, on the screen, for a window at `place`.
ScreenPlace ChartButtonsAt(const ScreenPlace& chart);
ScreenPlace SummaryButtonsAt(const ScreenPlace& summary);

// True when the two places share some area.
bool Overlaps(const ScreenPlace& a, const ScreenPlace& b);

// The summary-chart window's place while the chart window is at `chart`, or nothing when
// no place keeps both sets of buttons uncovered.
std::optional<ScreenPlace> PlaceSummaryChartWindow(const ScreenPlace& chart);

} // namespace quillon
