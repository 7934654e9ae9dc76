// The two-test scatter diagram, checked on its display list: a cross per table with a P
// value by the second test up to 1, coinciding crosses drawn once, and the axis texts.
#include "particular/scatter_chart.h"

#include "core/numtext.h"
#include "core/pvalues.h"
#include "core/svg.h"
#include "core/test_registry.h"
#include "core/text_metrics.h"
#include "particular/comparison.h"
#include "summary/drawing_inspection.h"
#include "support/golden.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillon {
namespace {

using testing::HasText;
using testing::kBlackColour;
using testing::OpsIn;
using testing::OpsOf;
using testing::TextsAtTop;

constexpr double W = 1000, H = 600;
constexpr double xL = 0.08 * W, yB = 0.85 * H, yT = 0.15 * H;
constexpr double kWidth = 0.6 * W, kHeight = 0.7 * H, d = 0.005 * W;

const FixedTextMetrics kMetrics;

double LineHeight() {
    return kMetrics.TextHeight(WindowFontSize(0.0009, W, H), false);
}

TwoTestScatter Scatter(std::vector<double> first, std::vector<double> second) {
    TwoTestScatter scatter;
    scatter.firstTest = 3;
    scatter.secondTest = 5;
    scatter.first = std::move(first);
    scatter.second = std::move(second);
    return scatter;
}

// The short lines of the crosses.
std::vector<LineOp> CrossLines(const Drawing& drawing) {
    std::vector<LineOp> lines;
    for (const LineOp& op : OpsOf<LineOp>(drawing)) {
        // (The ticks of the vertical axis are as long, but start on the frame.)
        const bool horizontal = op.y1 == op.y2 && op.x2 - op.x1 == 2 * d && op.x1 != xL;
        const bool vertical = op.x1 == op.x2 && op.y2 - op.y1 == 2 * d;
        if (horizontal || vertical) {
            lines.push_back(op);
        }
    }
    return lines;
}

TEST(ScatterChart, CrossAtTheTwoPValuesOnlyUpToOne) {
    // Drawn: P2 = .3 and P2 exactly 1. Not drawn: a chi squared P value a hair above 1,
    // and a dummy P value of an excluded table.
    const Drawing drawing = BuildScatterChart(
        Scatter({0.5, 0.2, 0.7, PolicyCodeMarginal}, {0.25, 1.0, 1.0000000001, PolicyCodeMarginal}),
        W, H, kMetrics);
    const auto lines = CrossLines(drawing);
    ASSERT_EQ(lines.size(), 4U);
    const double x = xL + 0.25 * kWidth, y = yB - 0.5 * kHeight;
    EXPECT_EQ(lines[0].x1, x - d);
    EXPECT_EQ(lines[0].x2, x + d);
    EXPECT_EQ(lines[0].y1, y);
    EXPECT_EQ(lines[1].x1, x);
    EXPECT_EQ(lines[1].y1, y - d);
    EXPECT_EQ(lines[1].y2, y + d);
    EXPECT_EQ(lines[2].x1, xL + 1.0 * kWidth - d);
    for (const LineOp& op : lines) {
        EXPECT_EQ(op.colour, kBlackColour);
    }
}

TEST(ScatterChart, CoincidingTablesGiveOneCross) {
    const Drawing drawing =
        BuildScatterChart(Scatter({0.5, 0.5, 0.5, 0.4}, {0.25, 0.25, 0.25, 0.25}), W, H, kMetrics);
    EXPECT_EQ(CrossLines(drawing).size(), 4U);
}

TEST(ScatterChart, TitleAndAxes) {
    const Drawing drawing = BuildScatterChart(Scatter({0.5}, {0.5}), W, H, kMetrics);
    const double th = LineHeight();
    EXPECT_EQ(TextsAtTop(drawing, yT - 2 * th),
              std::vector<std::string>{"P value by " + std::string(TestName(3)) +
                                       "                             Each cross represents one "
                                       "possible table"});
    const auto horizontal = TextsAtTop(drawing, yB + th);
    ASSERT_EQ(horizontal.size(), 11U);
    EXPECT_EQ(horizontal[10], GiveSignedNumberTonsf(1.0, 2));
    const std::string axis = "P value by " + std::string(TestName(5));
    ASSERT_EQ(TextsAtTop(drawing, yB + 2.2 * th), std::vector<std::string>{axis});
    std::size_t vertical = 0;
    for (const TextOp& op : OpsOf<TextOp>(drawing)) {
        if (op.text == axis) {
            EXPECT_DOUBLE_EQ(op.x + kMetrics.TextWidth(axis, op.fontSize, false) / 2, xL + 0.3 * W);
        }
        if (op.x + kMetrics.TextWidth(op.text, op.fontSize, false) == xL - 0.01 * W) {
            ++vertical;
        }
    }
    EXPECT_EQ(vertical, 11U);
}

// Comparative trial N = 8 with 4 in each row, MEN 0 and MMT 1: the 25 tables with their
// P values by the 'N - 1' chi squared test and the Fisher-Irwin test (tables as frequent
// or less), computed by the engine's own routines. Tables with a zero column total fail
// the MMT and carry its code.
TwoTestScatter RealScatter() {
    TwoTestScatter scatter;
    scatter.caption = "06.12.26       N = 8       Comparative trial       m (number in row 1) = 4"
                      "       tests: 3, 5       MEN = 0       MMT = 1";
    scatter.firstTest = 3;
    scatter.secondTest = 5;
    scatter.parameter = 0.05;
    for (int a = 0; a <= 4; ++a) {
        for (int c = 0; c <= 4; ++c) {
            const int b = 4 - a, dd = 4 - c;
            const PolicyResult policy = CheckTablePolicy(8, 4, 4, a + c, b + dd, 0, 1);
            if (!policy.eligible) {
                scatter.first.push_back(policy.code);
                scatter.second.push_back(policy.code);
                continue;
            }
            scatter.first.push_back(ChiSquaredPValue(ChiSquaredValue(a, b, c, dd, 3)));
            scatter.second.push_back(FishersExactTest(a, b, c, dd).test5);
        }
    }
    return scatter;
}

TEST(ScatterChart, SignificanceLevelOnBothAxes) {
    TwoTestScatter scatter = Scatter({.01, .5}, {.02, .7});
    scatter.parameter = .05;
    const Drawing drawing = BuildScatterChart(scatter, W, H, kMetrics);
    const auto lines = OpsIn<LineOp>(drawing, kSignificanceColour);
    ASSERT_EQ(lines.size(), 2u);
    // P = .05 by the second test across, by the first test up.
    EXPECT_DOUBLE_EQ(lines[0].x1, xL + .05 * kWidth);
    EXPECT_EQ(lines[0].x1, lines[0].x2);
    EXPECT_DOUBLE_EQ(lines[1].y1, yB - .05 * kHeight);
    EXPECT_EQ(lines[1].y1, lines[1].y2);
    EXPECT_TRUE(HasText(drawing, "alpha = .05"));
}

TEST(ScatterChart, GoldenSvg) {
    // To accept a deliberate change: QUILLON_UPDATE_GOLDEN=1, then look at the picture.
    testing::ExpectMatchesGolden(
        DrawingToSvg(BuildScatterChartPicture(RealScatter(), 720, 480, kMetrics)),
        "charts/scatter_chart.svg");
}

} // namespace
} // namespace quillon
