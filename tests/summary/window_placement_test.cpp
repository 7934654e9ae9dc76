// Where the summary-chart window stands while the chart window is shown: never over the
// chart window's buttons, its own buttons never under the chart window, at least a third
// of the screen each way, and its usual place whenever that already keeps both clear.
#include "summary/window_placement.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

// The places are fractions of the screen; a place that fits the screen ends within it.
constexpr double kEdge = 1e-12;

void ExpectButtonsClear(const ScreenPlace& chart, const ScreenPlace& summary) {
    EXPECT_FALSE(Overlaps(summary, ChartButtonsAt(chart)));
    EXPECT_FALSE(Overlaps(chart, SummaryButtonsAt(summary)));
    EXPECT_GE(summary.left, -kEdge);
    EXPECT_GE(summary.top, -kEdge);
    EXPECT_LE(summary.left + summary.width, 1 + kEdge);
    EXPECT_LE(summary.top + summary.height, 1 + kEdge);
    EXPECT_GE(summary.width, 1.0 / 3.0 - kEdge);
    EXPECT_GE(summary.height, 1.0 / 3.0 - kEdge);
}

TEST(SummaryChartPlacement, TheRunsStartingGeometry) {
    // The chart window of a run with summary charts: 60% of the screen at the top left.
    // Its buttons stand at .83 to .95 of its width, .5 to .86 of its height, which the
    // summary chart's usual place (15% in, 85% of the screen) would cover.
    const ScreenPlace chart{0, 0, 0.6, 0.6};
    const ScreenPlace buttons = ChartButtonsAt(chart);
    EXPECT_DOUBLE_EQ(buttons.left, 0.83 * 0.6);
    EXPECT_DOUBLE_EQ(buttons.top, 0.5 * 0.6);
    EXPECT_TRUE(Overlaps(SummaryChartHome, buttons));
    const auto place = PlaceSummaryChartWindow(chart);
    ASSERT_TRUE(place.has_value());
    // Beside the chart window, as tall as usual.
    EXPECT_DOUBLE_EQ(place->left, 0.6);
    EXPECT_DOUBLE_EQ(place->top, 0.15);
    EXPECT_DOUBLE_EQ(place->width, 0.4);
    EXPECT_DOUBLE_EQ(place->height, 0.85);
    ExpectButtonsClear(chart, *place);
}

TEST(SummaryChartPlacement, UsualPlaceKeptWhenItIsClear) {
    // A small chart window that the user moved away to the bottom left.
    const ScreenPlace chart{0, 0.7, 0.12, 0.3};
    const auto place = PlaceSummaryChartWindow(chart);
    ASSERT_TRUE(place.has_value());
    EXPECT_EQ(*place, SummaryChartHome);
}

TEST(SummaryChartPlacement, WideChartWindowPutsTheSummaryBelow) {
    // A chart window the user widened to 80% of the screen but kept 45% high.
    const ScreenPlace chart{0, 0, 0.8, 0.45};
    const auto place = PlaceSummaryChartWindow(chart);
    ASSERT_TRUE(place.has_value());
    EXPECT_DOUBLE_EQ(place->top, 0.45);
    ExpectButtonsClear(chart, *place);
}

TEST(SummaryChartPlacement, NoPlaceBesideAScreenFillingChart) {
    EXPECT_FALSE(PlaceSummaryChartWindow({0, 0, 1, 1}).has_value());
    EXPECT_FALSE(PlaceSummaryChartWindow({0, 0, 0.9, 0.8}).has_value());
}

TEST(SummaryChartPlacement, EveryPlaceFoundKeepsBothButtonColumnsClear) {
    // Chart windows over a grid of sizes and positions.
    for (double w = 0.2; w <= 1.0; w += 0.1)
        for (double h = 0.2; h <= 1.0; h += 0.1)
            for (double x = 0; x + w <= 1.0 + kEdge; x += 0.2)
                for (double y = 0; y + h <= 1.0 + kEdge; y += 0.2) {
                    const ScreenPlace chart{x, y, w, h};
                    SCOPED_TRACE(::testing::Message() << x << " " << y << " " << w << " " << h);
                    if (const auto place = PlaceSummaryChartWindow(chart))
                        ExpectButtonsClear(chart, *place);
                }
}

} // namespace
} // namespace quillon
