// Geometry of the summary chart, checked on its display list: the scaling loops, the
// series positions and colours, lines against squares, the reference line, the key and
// negative y. Positions are compared exactly where the chart computes them by the same
// products as the test; text widths come from the fixed metrics.
#include "summary/summary_chart.h"

#include "core/svg.h"
#include "core/test_registry.h"
#include "core/text_metrics.h"
#include "summary/chart_file.h"
#include "summary/drawing_inspection.h"
#include "support/golden.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

namespace quillon {
namespace {

using testing::HasText;
using testing::kBlackColour;
using testing::kGreyColour;
using testing::OpsIn;
using testing::OpsOf;
using testing::TextsAtTop;

constexpr double W = 1000, H = 700;
constexpr double kLeft = 0.08 * W, kBottom = 0.85 * H;
constexpr double kFrameWidth = 0.6 * W, kFrameHeight = 0.7 * H;
constexpr double kTick = 0.01 * W;

const FixedTextMetrics kMetrics;

double FontSize() {
    return WindowFontSize(0.0009, W, H);
}
double LineHeight() {
    return kMetrics.TextHeight(FontSize(), false);
}

SummaryChartData Data(std::vector<double> x, std::vector<double> y, std::vector<double> series = {},
                      double reference = 0) {
    SummaryChartData data;
    data.title = "Title";
    data.axisLabel = "N";
    if (series.empty()) {
        series.assign(x.size(), 0);
    }
    data.x = std::move(x);
    data.y = std::move(y);
    data.series = std::move(series);
    data.referenceValue = reference;
    return data;
}

Drawing Chart(const SummaryChartData& data, double pixelSize = 1) {
    return BuildSummaryChart(data, W, H, pixelSize, kMetrics);
}

// Labels of the horizontal ticks, left to right.
std::vector<std::string> HorizontalLabels(const Drawing& drawing) {
    return TextsAtTop(drawing, kBottom + 0.5 * LineHeight());
}

// Labels whose right end is one tick length left of the frame: the vertical ticks.
std::vector<std::string> VerticalLabels(const Drawing& drawing) {
    std::vector<std::string> labels;
    for (const TextOp& op : OpsOf<TextOp>(drawing)) {
        const double right = op.x + kMetrics.TextWidth(op.text, op.fontSize, op.bold);
        if (std::abs(right - (kLeft - kTick)) < 1e-9) {
            labels.push_back(op.text);
        }
    }
    return labels;
}

// The short horizontal lines from the left edge of the frame: the vertical ticks.
std::vector<LineOp> VerticalTicks(const Drawing& drawing) {
    std::vector<LineOp> ticks;
    for (const LineOp& op : OpsIn<LineOp>(drawing, kBlackColour)) {
        if (op.x1 == kLeft && op.x2 == kLeft + kTick && op.y1 == op.y2) {
            ticks.push_back(op);
        }
    }
    return ticks;
}

std::vector<double> Range(double from, double step, int count) {
    std::vector<double> values;
    for (int i = 0; i < count; ++i) {
        values.push_back(from + step * i);
    }
    return values;
}

TEST(SummaryChart, HorizontalTicksFollowTheScalingLoop) {
    struct Case {
        const char* name;
        std::vector<double> x;
        std::vector<std::string> labels;
    };
    const std::vector<Case> cases = {
        {"N 4 to 80",
         Range(4, 4, 20),
         {" 0", " 10", " 20", " 30", " 40", " 50", " 60", " 70", " 80"}},
        {"proportions up to .5", Range(0.05, 0.05, 10), {" 0", " .1", " .2", " .3", " .4", " .5"}},
        {"N up to 160", {20, 40, 160}, {" 0", " 100", " 200"}},
        {"N up to 15 stays in units",
         {3, 15},
         {" 0", " 1", " 2", " 3", " 4", " 5", " 6", " 7", " 8", " 9", " 10", " 11", " 12", " 13",
          " 14", " 15"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<double> y(c.x.size(), 0.01);
        EXPECT_EQ(HorizontalLabels(Chart(Data(c.x, y))), c.labels);
    }
}

TEST(SummaryChart, VerticalTicksAndTheReferenceLine) {
    // 0.06 / 0.01 rounds to 6 at most, 0.07 / 0.01 is a little above 7 and rounds up to 8.
    const Drawing six = Chart(Data({10, 20}, {0.03, 0.06}, {}, 0.05));
    EXPECT_EQ(VerticalLabels(six),
              (std::vector<std::string>{" 0", " .01", " .02", " .03", " .04", " .05", " .06"}));
    const Drawing eight = Chart(Data({10, 20}, {0.03, 0.07}, {}, 0.05));
    EXPECT_EQ(VerticalLabels(eight).back(), " .08");
    EXPECT_EQ(VerticalLabels(eight).size(), 9U);

    // The grey line crosses the frame at .05 of a scale whose top is .06.
    const auto grey = OpsIn<LineOp>(six, kGreyColour);
    ASSERT_EQ(grey.size(), 1U);
    const double unit = kFrameHeight / (6 * 0.01);
    EXPECT_EQ(grey[0].x1, kLeft);
    EXPECT_EQ(grey[0].x2, kLeft + kFrameWidth);
    EXPECT_DOUBLE_EQ(grey[0].y1, kBottom - 0.05 * unit);

    // Excess mode: no reference value, no grey line.
    EXPECT_TRUE(OpsIn<LineOp>(Chart(Data({10, 20}, {0.03, 0.06})), kGreyColour).empty());
}

TEST(SummaryChart, ReferenceValueRaisesTheScale) {
    // Type I errors far below a nominal .05: the axis still reaches 1.1 x .05, so .06.
    const Drawing drawing = Chart(Data({10, 20}, {0.001, 0.002}, {}, 0.05));
    EXPECT_EQ(VerticalLabels(drawing).back(), " .06");
}

TEST(SummaryChart, LinesBelow600PointsAndSquaresFrom600) {
    const Colour second{223, 223, 0};
    for (const int n : {599, 600}) {
        SCOPED_TRACE(n);
        std::vector<double> x, y, series;
        for (int i = 0; i < n; ++i) {
            x.push_back(i % 300 + 1);
            y.push_back(0.01 + 0.0001 * (i % 300));
            series.push_back(i < 300 ? 1 : 2);
        }
        const double pixel = 1.25;
        const Drawing drawing = Chart(Data(x, y, series), pixel);
        const auto lines = OpsIn<LineOp>(drawing, second);
        const auto squares = OpsIn<FilledRectOp>(drawing, second);
        if (n < 600) {
            EXPECT_EQ(lines.size(), static_cast<std::size_t>(n - 300 - 1));
            EXPECT_TRUE(OpsOf<FilledRectOp>(drawing).empty());
        } else {
            EXPECT_TRUE(lines.empty());
            EXPECT_EQ(OpsOf<FilledRectOp>(drawing).size(), 600U);
            ASSERT_FALSE(squares.empty());
            // Corners at the point and 2 pixels right and up from it.
            EXPECT_DOUBLE_EQ(squares[0].x2 - squares[0].x1, 2 * pixel);
            EXPECT_DOUBLE_EQ(squares[0].y1 - squares[0].y2, 2 * pixel);
        }
    }
}

// A series' line joins only x values next to each other among every x of the chart: test 1
// computed at N = 20, 30, 40 and test 2 only at 20 and 40 (30 never computed for it) give
// two pieces of line for test 1 and none for test 2, whose two points show as marks.
TEST(SummaryChart, LinesNeverBridgeValuesNotComputedInTheirSeries) {
    const Colour first{0, 0, 0}, second{223, 223, 0};
    const Drawing drawing =
        Chart(Data({20, 30, 40, 20, 40}, {.04, .05, .045, .03, .035}, {1, 1, 1, 2, 2}));
    std::vector<LineOp> curve;
    for (const LineOp& op : OpsIn<LineOp>(drawing, first))
        if (op.x1 != op.x2 && op.y1 != op.y2)
            curve.push_back(op);
    EXPECT_EQ(curve.size(), 2U);
    EXPECT_TRUE(OpsIn<LineOp>(drawing, second).empty());
    EXPECT_EQ(OpsIn<FilledRectOp>(drawing, second).size(), 2U);
    EXPECT_TRUE(OpsIn<FilledRectOp>(drawing, first).empty());
    // One series alone at two x values is still one line.
    const Drawing single = Chart(Data({20, 40}, {.03, .035}));
    EXPECT_TRUE(OpsOf<FilledRectOp>(single).empty());
}

TEST(SummaryChart, ASeriesCutShortByAStopEndsAtItsLastPoint) {
    // A run stopped after test 1 of N = 8: test 3 has N = 6 only, test 1 has 6 and 8. Test
    // 1's line is drawn; test 3's single point is marked, with no line towards 8.
    SummaryChartData data = Data({6, 6, 8}, {.04, .03, .05}, {1, 3, 1});
    data.seriesAreTests = true;
    data.seriesLabel = "Test";
    const Drawing drawing = Chart(data);
    const Colour test1 = TestColour(1), test3 = TestColour(3);
    std::vector<LineOp> curve;
    for (const LineOp& op : OpsIn<LineOp>(drawing, test1))
        if (op.x1 != op.x2 && op.y1 != op.y2)
            curve.push_back(op);
    EXPECT_EQ(curve.size(), 1U);
    EXPECT_TRUE(OpsIn<LineOp>(drawing, test3).empty());
    EXPECT_EQ(OpsIn<FilledRectOp>(drawing, test3).size(), 1U);
    EXPECT_TRUE(HasText(drawing, " 3"));
}

TEST(SummaryChartLayout, StepperClearOfTheOtherControlsAndTheChart) {
    // "Next chart" and the position of the chart shown sit above "Go Back", inside the
    // window, clear of every other control, the title, the frame and the key, at every
    // window size.
    auto overlaps = [](const Box& a, const Box& b) {
        return a.left < b.left + b.width && b.left < a.left + a.width && a.top < b.top + b.height &&
               b.top < a.top + a.height;
    };
    const struct {
        const char* name;
        double W, H;
    } sizes[] = {{"small", 480, 320}, {"960 x 600", 960, 600}, {"full HD", 1920, 1040}};
    for (const auto& size : sizes) {
        SCOPED_TRACE(size.name);
        const SummaryChartLayout layout = LayOutSummaryChartWindow(size.W, size.H);
        const Box frame{0.08 * size.W, 0.15 * size.H, 0.6 * size.W, 0.7 * size.H};
        // The key: its heading at half the height, its lines below, from 1.1 frame widths.
        const Box key{0.08 * size.W + 0.66 * size.W, 0.5 * size.H, 0.09 * size.W, 0.35 * size.H};
        for (const Box& box : {layout.nextButton, layout.position}) {
            EXPECT_FALSE(overlaps(box, key));
            EXPECT_GE(box.top, layout.title.top + layout.title.height);
            EXPECT_LE(box.left + box.width, size.W);
            EXPECT_FALSE(overlaps(box, frame));
            for (const Box& other : {layout.title, layout.continueButton, layout.printButton,
                                     layout.exitButton, layout.stopButton})
                EXPECT_FALSE(overlaps(box, other));
        }
        EXPECT_FALSE(overlaps(layout.nextButton, layout.position));
        EXPECT_LT(layout.nextButton.top, layout.continueButton.top);
    }
}

TEST(SummaryChart, OneSeriesIsBlackShiftedThreePixelsLeftWithoutKey) {
    const double pixel = 1.5;
    const Drawing drawing = Chart(Data({0, 10, 20}, {0.01, 0.02, 0.03}), pixel);
    std::vector<LineOp> curve;
    for (const LineOp& op : OpsIn<LineOp>(drawing, kBlackColour)) {
        if (op.x1 != op.x2 && op.y1 != op.y2) {
            curve.push_back(op); // neither tick nor frame: a piece of the curve
        }
    }
    ASSERT_EQ(curve.size(), 2U);
    EXPECT_EQ(curve[0].x1, kLeft + 0 - 3 * pixel);
    EXPECT_EQ(curve[1].x2, kLeft + 20 * (kFrameWidth / 20) - 3 * pixel);
    const double keyX = kLeft + 1.1 * kFrameWidth;
    for (const TextOp& op : OpsOf<TextOp>(drawing)) {
        EXPECT_NE(op.x, keyX) << op.text;
    }
}

TEST(SummaryChart, EightSeriesInAscendingOrderWithRepeatingColours) {
    // Given from the largest series value down: positions still follow ascending values.
    std::vector<double> x, y, series;
    for (int s = 8; s >= 1; --s) {
        for (const double xi : {10.0, 20.0}) {
            x.push_back(xi);
            y.push_back(0.001 * s);
            series.push_back(10 * s);
        }
    }
    SummaryChartData data = Data(x, y, series);
    data.seriesLabel = "MEN";
    const double pixel = 1;
    const Drawing drawing = Chart(data, pixel);

    const std::vector<Colour> colours = {{0, 0, 0},       {223, 223, 0},   {0, 255, 0},
                                         {127, 127, 255}, {255, 127, 127}, {0, 0, 255},
                                         {255, 0, 0},     {0, 0, 0}};
    const double keyX = kLeft + 1.1 * kFrameWidth;
    const double keyY = kBottom - 0.5 * kFrameHeight;
    std::vector<TextOp> key;
    for (const TextOp& op : OpsOf<TextOp>(drawing)) {
        if (op.x == keyX) {
            key.push_back(op);
        }
    }
    ASSERT_EQ(key.size(), 9U); // eight values and the heading
    for (std::size_t g = 1; g <= 8; ++g) {
        SCOPED_TRACE(g);
        EXPECT_EQ(key[g - 1].text, " " + std::to_string(10 * g));
        EXPECT_EQ(key[g - 1].colour, colours[g - 1]);
        EXPECT_DOUBLE_EQ(key[g - 1].y, keyY + static_cast<double>(g) * LineHeight());
    }
    EXPECT_EQ(key[8].text, "MEN");
    EXPECT_EQ(key[8].y, keyY);

    // The eighth line (series 80) is black again and lies 4 pixels right of its x.
    const double xUnit = kFrameWidth / 20;
    bool foundEighth = false;
    for (const LineOp& op : OpsIn<LineOp>(drawing, kBlackColour)) {
        if (op.x1 == kLeft + 10 * xUnit + 4 * pixel && op.x2 == kLeft + 20 * xUnit + 4 * pixel) {
            foundEighth = true;
        }
    }
    EXPECT_TRUE(foundEighth);
}

TEST(SummaryChart, EqualXKeepTheirOrder) {
    const Drawing drawing = Chart(Data({20, 10, 10}, {0.02, 0.01, 0.03}));
    std::vector<LineOp> curve;
    for (const LineOp& op : OpsIn<LineOp>(drawing, kBlackColour)) {
        if (op.y1 != op.y2 && !(op.x1 == op.x2 && op.y1 == kBottom)) {
            curve.push_back(op);
        }
    }
    ASSERT_EQ(curve.size(), 2U);
    // 10/.01 then 10/.03 (the order given), then 20/.02.
    EXPECT_GT(curve[0].y1, curve[0].y2);
    EXPECT_EQ(curve[0].x1, curve[0].x2);
    EXPECT_LT(curve[1].y1, curve[1].y2);
}

TEST(SummaryChart, NegativeYStretchesTheFrameAndTicksStartAtZero) {
    const std::vector<double> ys = {-0.013, 0.004, 0.021};
    const Drawing drawing = Chart(Data({10, 20, 30}, ys));
    const double top = kBottom - kFrameHeight;
    for (const LineOp& op : OpsOf<LineOp>(drawing)) {
        for (const double y : {op.y1, op.y2}) {
            EXPECT_GE(y, top - 1e-9);
            EXPECT_LE(y, kBottom + 1e-9);
        }
    }
    const auto labels = VerticalLabels(drawing);
    ASSERT_FALSE(labels.empty());
    EXPECT_EQ(labels.front(), " 0");
    EXPECT_EQ(labels.back(), " .03");
    const auto ticks = VerticalTicks(drawing);
    ASSERT_EQ(ticks.size(), labels.size());
    EXPECT_LT(ticks.front().y1, kBottom); // 0 lies above the bottom edge, at -.013
    EXPECT_DOUBLE_EQ(ticks.front().y1, kBottom - 0.013 * (kFrameHeight / (0.03 + 0.013)));
    EXPECT_DOUBLE_EQ(ticks.back().y1, top);
}

TEST(SummaryChart, AxisLabelBoldEndingAtTheCentre) {
    SummaryChartData data = Data({10, 20}, {0.01, 0.02});
    data.axisLabel = "pi(col)";
    const Drawing drawing = Chart(data);
    bool found = false;
    for (const TextOp& op : OpsOf<TextOp>(drawing)) {
        if (op.text == "pi(col)") {
            found = true;
            EXPECT_TRUE(op.bold);
            EXPECT_DOUBLE_EQ(op.x + kMetrics.TextWidth("pi(col)", op.fontSize, true),
                             kLeft + kFrameWidth / 2);
            EXPECT_DOUBLE_EQ(op.y, kBottom + 2 * LineHeight());
        } else {
            EXPECT_FALSE(op.bold) << op.text;
        }
    }
    EXPECT_TRUE(found);
    EXPECT_FALSE(HasText(drawing, "Title")); // the window's title box shows it
}

TEST(SummaryChart, DegenerateDataEndsTheScalingLoops) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    // All x 0 and all y 0: ranges widened to .001 and .01.
    const Drawing zeros = Chart(Data({0, 0}, {0, 0}));
    EXPECT_EQ(VerticalLabels(zeros).back(), " .01");
    EXPECT_GE(HorizontalLabels(zeros).size(), 2U);
    // Points that cannot be placed are left out; the rest is drawn.
    const Drawing mixed = Chart(Data({10, nan, 20, 30}, {0.01, 0.02, inf, 0.03}));
    EXPECT_EQ(HorizontalLabels(mixed).back(), " 30");
    EXPECT_EQ(VerticalLabels(mixed).back(), " .03");
    // Nothing placeable: a cleared surface only.
    EXPECT_EQ(Chart(Data({nan}, {0.1})).ops.size(), 1U);
    // A reference value that is not a number draws no line and leaves the scale alone.
    const Drawing noReference = Chart(Data({10, 20}, {0.01, 0.03}, {}, inf));
    EXPECT_TRUE(OpsIn<LineOp>(noReference, kGreyColour).empty());
    EXPECT_EQ(VerticalLabels(noReference).back(), " .03");
    // A huge y from a damaged file is drawn with few ticks, not a billion.
    EXPECT_LT(VerticalTicks(Chart(Data({10}, {1e12}))).size(), 20U);
}

SummaryChartData GoldenData() {
    SummaryChartData data;
    data.title = "Actual Type I error when alpha = .05, comparative trial, m = N / 2, MEN = 1";
    data.axisLabel = "N";
    data.seriesLabel = "Test";
    data.referenceValue = 0.05;
    const std::vector<double> n = {10, 20, 30, 40, 50, 60};
    const std::vector<double> test1 = {0.0673, 0.0594, 0.0561, 0.0543, 0.0532, 0.0525};
    const std::vector<double> test4 = {0.0215, 0.0288, 0.0331, 0.0358, 0.0377, 0.0391};
    for (std::size_t i = 0; i < n.size(); ++i) {
        data.x.push_back(n[i]);
        data.y.push_back(test1[i]);
        data.series.push_back(1);
        data.x.push_back(n[i]);
        data.y.push_back(test4[i]);
        data.series.push_back(4);
    }
    return data;
}

// The picture as the command line writes it. To accept a deliberate change, run the tests
// with QUILLON_UPDATE_GOLDEN=1, look at the new picture (rsvg-convert it to PNG) and
// review the difference before committing.
TEST(SummaryChartFile, GoldenSvg) {
    testing::ExpectMatchesGolden(SummaryChartSvg(GoldenData(), 600, 400),
                                 "charts/summary_chart.svg");
}

TEST(SummaryChartFile, WritesTheFileAndReportsFailures) {
    namespace fs = std::filesystem;
    const fs::path dir = testing::MakeTempDirectory("summary-chart");
    const fs::path file = dir / "chart.svg";
    EXPECT_EQ(WriteSummaryChartSvg(GoldenData(), file), std::nullopt);
    ASSERT_TRUE(fs::exists(file));
    EXPECT_GT(fs::file_size(file), 1000U);

    const auto missingDir = WriteSummaryChartSvg(GoldenData(), dir / "no" / "such" / "c.svg");
    ASSERT_TRUE(missingDir.has_value());
    EXPECT_NE(missingDir->find("c.svg"), std::string::npos) << *missingDir;

    EXPECT_TRUE(WriteSummaryChartSvg(SummaryChartData{}, dir / "empty.svg").has_value());
    EXPECT_TRUE(WriteSummaryChartSvg(GoldenData(), dir / "chart.png").has_value());
    EXPECT_FALSE(fs::exists(dir / "chart.png"));
    EXPECT_EQ(WriteSummaryChartSvg(GoldenData(), dir / "CHART.SVG"), std::nullopt);
    EXPECT_FALSE(fs::exists(dir / "empty.svg"));
}

} // namespace
} // namespace quillon
