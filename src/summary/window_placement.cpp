#include "summary/window_placement.h"

#include "core/chart_window_layout.h"
#include "summary/summary_chart.h"

#include <algorithm>

namespace quillon {

namespace {

// The smallest share of the screen each way that a moved summary chart keeps.
constexpr double kSmallestShare = 1.0 / 3.0;

// The box spanning `first` to `last` (a column of buttons), on a window at `place`.
ScreenPlace Column(const ScreenPlace& place, const Box& first, const Box& last) {
    const double left = std::min(first.left, last.left);
    const double right = std::max(first.left + first.width, last.left + last.width);
    const double top = std::min(first.top, last.top);
    const double bottom = std::max(first.top + first.height, last.top + last.height);
    return {place.left + left * place.width, place.top + top * place.height,
            (right - left) * place.width, (bottom - top) * place.height};
}

double Area(const ScreenPlace& p) {
    return p.width * p.height;
}

bool KeepsButtonsClear(const ScreenPlace& chart, const ScreenPlace& summary) {
    return !Overlaps(summary, ChartButtonsAt(chart)) && !Overlaps(chart, SummaryButtonsAt(summary));
}

} // namespace

ScreenPlace ChartButtonsAt(const ScreenPlace& chart) {
    const ChartWindowLayout unit = LayOutChartWindow(1, 1);
    return Column(chart, unit.nextChart, unit.stop);
}

ScreenPlace SummaryButtonsAt(const ScreenPlace& summary) {
    const SummaryChartLayout unit = LayOutSummaryChartWindow(1, 1);
    return Column(summary, unit.nextButton, unit.stopButton);
}

bool Overlaps(const ScreenPlace& a, const ScreenPlace& b) {
    return a.left < b.left + b.width && b.left < a.left + a.width && a.top < b.top + b.height &&
           b.top < a.top + a.height;
}

std::optional<ScreenPlace> PlaceSummaryChartWindow(const ScreenPlace& chart) {
    const ScreenPlace home = SummaryChartHome;
    if (KeepsButtonsClear(chart, home))
        return home;
    std::optional<ScreenPlace> best;
    const double right = chart.left + chart.width;
    const double bottom = chart.top + chart.height;
    const ScreenPlace beside{right, home.top, std::min(home.width, 1 - right), home.height};
    const ScreenPlace below{home.left, bottom, home.width, std::min(home.height, 1 - bottom)};
    for (const ScreenPlace& candidate : {beside, below}) {
        if (candidate.width < kSmallestShare || candidate.height < kSmallestShare)
            continue;
        if (!KeepsButtonsClear(chart, candidate))
            continue;
        if (!best || Area(candidate) > Area(*best))
            best = candidate;
    }
    return best;
}

} // namespace quillon
