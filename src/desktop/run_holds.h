// Where the desktop holds a study run for the user, from what the run reports.
//
// The run itself never waits. After each combination's results it reports them delivered;
// the desktop then waits for "Next chart" when the user asked to pause at each chart, when
// the run has a single combination (its chart fills the screen and is the whole result),
// and after each chart of a comparison of two tests. When the run has delivered everything
// the desktop waits for "Go Back" on the summary-chart window, except after a comparison
// (it has no summary chart) and, for the studies whose windows keep the summary chart to
// what the run drew (the maximum study), when no summary chart was shown.
#pragma once

#include "study/events.h"

namespace quillon {

inline bool HoldsAtNextChart(const RunStart& start, bool pauseAtEachChart) {
    return pauseAtEachChart || start.singleCombination || start.kind == RunKind::Comparison;
}

inline bool HoldsAtGoBack(const RunStart& start, bool onlyAfterSummaryChart,
                          bool summaryChartShown) {
    if (start.kind == RunKind::Comparison)
        return false;
    return summaryChartShown || !onlyAfterSummaryChart;
}

} // namespace quillon
