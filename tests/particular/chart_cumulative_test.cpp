// The cumulative-frequency chart of one evaluation point, checked on its display list:
// the curves and markers, the legend line of each test, the excluded-table bars with
// their texts, and the two axes.
#include "particular/cumulative_chart.h"

#include "core/numtext.h"
#include "core/pvalues.h"
#include "core/svg.h"
#include "core/test_registry.h"
#include "core/text_metrics.h"
#include "particular/evaluation.h"
#include "summary/drawing_inspection.h"
#include "support/golden.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
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

constexpr double W = 1000, H = 600;
constexpr double xL = 0.05 * W, yB = 0.85 * H, yT = 0.15 * H;
constexpr double kWidth = 0.5 * W, kHeight = 0.7 * H;

const FixedTextMetrics kMetrics;
// Differences of two window positions lose the last few bits of the larger.
constexpr double kLayoutTolerance = 16 * std::numeric_limits<double>::epsilon() * W;

double LineHeight() {
    return kMetrics.TextHeight(WindowFontSize(0.0008, W, H), false);
}

// A curve of G groups with equal shares spread over P values 1/G .. 1 (no exclusions).
CumulativeCurve EvenCurve(int test, int G) {
    CumulativeCurve curve{test, {}};
    double cumulative = 0;
    for (int g = 1; g <= G; ++g) {
        cumulative += 1.0 / G;
        curve.groups.push_back({static_cast<double>(g) / G, 1.0 / G, cumulative});
    }
    return curve;
}

// A curve of eligible groups reaching `eligible`, followed by the three dummy groups.
CumulativeCurve CurveWithExclusions(int test, double eligible, double marginal, double expected,
                                    double both) {
    CumulativeCurve curve{test,
                          {{0.02, eligible / 2, eligible / 2}, {0.4, eligible / 2, eligible}}};
    double cumulative = eligible;
    for (const auto& [code, share] :
         {std::pair{PolicyCodeMarginal, marginal}, std::pair{PolicyCodeExpected, expected},
          std::pair{PolicyCodeBoth, both}}) {
        if (share > 0) {
            cumulative += share;
            curve.groups.push_back({code, share, cumulative});
        }
    }
    return curve;
}

Drawing Chart(const CumulativeChartData& data) {
    return BuildCumulativeChart(data, W, H, kMetrics);
}

TEST(CumulativeChart, CurveRunsFromTheOriginThroughEveryGroup) {
    const CumulativeChartData data{"", {EvenCurve(4, 4)}, 0, 1};
    const auto lines = OpsIn<LineOp>(Chart(data), TestColour(4));
    ASSERT_EQ(lines.size(), 4U);
    EXPECT_EQ(lines[0].x1, xL);
    EXPECT_EQ(lines[0].y1, yB);
    EXPECT_EQ(lines[0].x2, xL + 0.25 * kWidth);
    EXPECT_EQ(lines[0].y2, yB - 0.25 * kHeight);
    // No table excluded: the curve ends at the top right corner, and no bar is drawn.
    EXPECT_EQ(lines[3].x2, xL + kWidth);
    EXPECT_EQ(lines[3].y2, yB - 1.0 * kHeight);
    EXPECT_TRUE(OpsIn<FilledRectOp>(Chart(data), kGreyColour).empty());
    EXPECT_FALSE(HasText(Chart(data), "Excluded tables: "));
}

TEST(CumulativeChart, CloseGroupsOfALargeCurveMergeButTheEndIsExact) {
    // 10,000 groups a twentieth of a unit apart: without markers, about one point in five
    // is drawn, and the curve still ends at its last point; below 120 groups every point
    // is.
    const CumulativeCurve many = EvenCurve(6, 10'000);
    const auto lines = OpsIn<LineOp>(Chart({"", {many}, 0, 1}), TestColour(6));
    EXPECT_LT(lines.size(), 2'500U);
    EXPECT_GT(lines.size(), 1'500U);
    EXPECT_EQ(lines.back().x2, xL + 1.0 * kWidth);
    EXPECT_EQ(lines.back().y2, yB - many.groups.back().cumulative * kHeight);
    CumulativeCurve close{6, {}};
    for (int g = 1; g <= 119; ++g) {
        close.groups.push_back({g * 1e-6, 1e-6, g * 1e-6});
    }
    EXPECT_EQ(OpsIn<LineOp>(Chart({"", {close}, 0, 1}), TestColour(6)).size(), 119U);
}

TEST(CumulativeChart, MarkersOnlyBelow120Groups) {
    const auto markers119 =
        OpsIn<FilledRectOp>(Chart({"", {EvenCurve(2, 119)}, 0, 1}), TestColour(2));
    ASSERT_EQ(markers119.size(), 119U);
    const double side = 0.05 * kHeight / std::sqrt(119.0);
    EXPECT_NEAR(markers119[0].x2 - markers119[0].x1, side, kLayoutTolerance);
    EXPECT_DOUBLE_EQ((markers119[0].x1 + markers119[0].x2) / 2, xL + kWidth / 119);
    EXPECT_TRUE(OpsOf<FilledRectOp>(Chart({"", {EvenCurve(2, 120)}, 0, 1})).empty());
}

TEST(CumulativeChart, EachTestKeepsItsLegendLine) {
    const Drawing drawing = Chart({"", {EvenCurve(7, 3), EvenCurve(1, 3)}, 0, 1});
    const double th = LineHeight();
    for (const int test : {7, 1}) {
        SCOPED_TRACE(test);
        const std::string legend = PlainNumberText(test) + ". " + std::string(TestName(test));
        const auto texts = TextsAtTop(drawing, yT + 1.5 * test * th);
        ASSERT_EQ(texts, std::vector<std::string>{legend});
        for (const TextOp& op : OpsOf<TextOp>(drawing)) {
            if (op.text == legend) {
                EXPECT_EQ(op.colour, TestColour(test));
                EXPECT_EQ(op.x, xL + kWidth + 0.12 * W);
            }
        }
    }
    EXPECT_EQ(TestColour(2), (Colour{191, 191, 0}));
    EXPECT_EQ(TestColour(5), (Colour{0, 255, 255}));
}

TEST(CumulativeChart, LegendLinesEndInsideALargeWindow) {
    // At the chart font a large window would carry the longest names past its right
    // edge; the legend's font shrinks instead, its lines keep their places.
    constexpr double kSide = 2400;
    CumulativeChartData data{"", {}, 0, 1};
    for (const TestEntry& test : RegisteredTests())
        data.curves.push_back(EvenCurve(test.number, 3));
    const Drawing drawing = BuildCumulativeChart(data, kSide, kSide, kMetrics);
    int legends = 0;
    for (const TextOp& op : OpsOf<TextOp>(drawing)) {
        if (op.text.find(". ") == std::string::npos || op.x != 0.67 * kSide)
            continue;
        ++legends;
        EXPECT_LE(op.x + kMetrics.TextWidth(op.text, op.fontSize, op.bold), kSide) << op.text;
    }
    EXPECT_EQ(static_cast<std::size_t>(legends), RegisteredTests().size());
}

TEST(CumulativeChart, ExcludedBarsAboveOnePercentStackFromTheCurveEnd) {
    // MMT excludes .05, MEN exactly .01 (not drawn), both .03. The last curve decides.
    const CumulativeChartData data{
        "",
        {CurveWithExclusions(1, 0.5, 0, 0, 0), CurveWithExclusions(5, 0.91, 0.05, 0.01, 0.03)},
        2.5,
        4};
    const Drawing drawing = Chart(data);
    const auto bars = OpsIn<FilledRectOp>(drawing, kGreyColour);
    ASSERT_EQ(bars.size(), 2U);
    const double curveEnd = yB - 0.91 * kHeight;
    EXPECT_EQ(bars[0].x1, xL + kWidth + 0.5 * 0.03 * W);
    EXPECT_DOUBLE_EQ(bars[0].x2 - bars[0].x1, 0.01 * W);
    EXPECT_EQ(bars[0].y1, curveEnd);
    EXPECT_DOUBLE_EQ(bars[0].y2, curveEnd - 0.05 * kHeight);
    EXPECT_EQ(bars[1].x1, xL + kWidth + 2.5 * 0.03 * W);
    EXPECT_EQ(bars[1].y1, bars[0].y2);
    EXPECT_DOUBLE_EQ(bars[1].y2, curveEnd - 0.08 * kHeight); // the top: cumulative 1

    const double th = LineHeight();
    // The title shares the first line, at the left of the window.
    EXPECT_EQ(TextsAtTop(drawing, yT - 2 * th),
              (std::vector<std::string>{"Cumulative frequency of P values", "MMT", "MMT < 4 and"}));
    EXPECT_EQ(TextsAtTop(drawing, yT - th), (std::vector<std::string>{"< 4", "MEN < 2.5"}));
    EXPECT_EQ(TextsAtTop(drawing, yT - 3 * th), std::vector<std::string>{"Excluded tables: "});
}

TEST(CumulativeChart, NoBarAndNoHeadingWhenEveryShareIsAtMostOnePercent) {
    const Drawing drawing = Chart({"", {CurveWithExclusions(3, 0.97, 0.01, 0.01, 0.01)}, 0, 1});
    EXPECT_TRUE(OpsIn<FilledRectOp>(drawing, kGreyColour).empty());
    EXPECT_FALSE(HasText(drawing, "Excluded tables: "));
    EXPECT_FALSE(HasText(drawing, "MMT"));
}

TEST(CumulativeChart, SignificanceLevelInUseIsAReferenceLine) {
    struct Case {
        const char* name;
        double alpha;
        const char* label;
    };
    const Case cases[] = {{"five_percent", .05, "alpha = .05"},
                          {"ten_percent", .1, "alpha = .1"},
                          {"whole_axis", 1, "alpha = 1"}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        CumulativeChartData data;
        data.curves = {EvenCurve(1, 10)};
        data.alpha = k.alpha;
        const Drawing d = Chart(data);
        const auto lines = OpsIn<LineOp>(d, kSignificanceColour);
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_NEAR(lines[0].x1, xL + k.alpha * kWidth, kLayoutTolerance);
        EXPECT_EQ(lines[0].x1, lines[0].x2);
        EXPECT_NEAR(std::min(lines[0].y1, lines[0].y2), yT, kLayoutTolerance);
        EXPECT_NEAR(std::max(lines[0].y1, lines[0].y2), yB, kLayoutTolerance);
        const auto labels = OpsIn<TextOp>(d, kSignificanceColour);
        ASSERT_EQ(labels.size(), 1u);
        EXPECT_EQ(labels[0].text, k.label);
        // Inside the frame.
        EXPECT_GE(labels[0].x, xL);
        EXPECT_LE(labels[0].x + kMetrics.TextWidth(labels[0].text, labels[0].fontSize, false),
                  xL + kWidth + kLayoutTolerance);
    }
    CumulativeChartData none;
    none.curves = {EvenCurve(1, 10)};
    EXPECT_TRUE(OpsIn<LineOp>(Chart(none), kSignificanceColour).empty());
}

TEST(CumulativeChart, Axes) {
    const Drawing drawing = Chart({"", {EvenCurve(1, 2)}, 0, 1});
    const double th = LineHeight();
    const auto pLabels = TextsAtTop(drawing, yB + th);
    ASSERT_EQ(pLabels.size(), 11U);
    EXPECT_EQ(pLabels[5], GiveSignedNumberTonsf(0.5, 2));
    EXPECT_EQ(TextsAtTop(drawing, yB + 2 * th), std::vector<std::string>{"P value"});
    std::vector<std::string> percentages;
    for (const TextOp& op : OpsOf<TextOp>(drawing)) {
        if (std::abs(op.x + kMetrics.TextWidth(op.text, op.fontSize, false) - (xL - 0.01 * W)) <
            1e-9) {
            percentages.push_back(op.text);
            EXPECT_DOUBLE_EQ(op.y + th / 2, yB - (std::stod(op.text.substr(1)) / 100) * kHeight);
        }
    }
    EXPECT_EQ(percentages.front(), " 0%");
    EXPECT_EQ(percentages.back(), " 100%");
    EXPECT_EQ(percentages.size(), 11U);
    EXPECT_TRUE(HasText(drawing, "Cumulative frequency of P values"));
}

// The chart of a real evaluation point: comparative trial N = 10, m = 5 at p = .3, tests
// 1 and 5 (and 1 again, drawn once) with MEN 1, so that some tables are excluded.
TEST(CumulativeChart, GoldenSvgOfAnEvaluatedPoint) {
    EvaluationPoint point;
    point.design = ComparativeTrial;
    point.N = 10;
    point.row = 5;
    point.pCol = 0.3;
    point.MEN = 1;
    point.tests = {1, 5, 1};
    EvaluationOptions options;
    options.threads = 1;
    const std::optional<PointEvaluation> evaluation = EvaluatePoint(point, options);
    ASSERT_TRUE(evaluation.has_value());
    const CumulativeChartData data = MakeCumulativeChartData(
        *evaluation, "06.12.26       N = 10       Comparative trial       m (number in row 1) = "
                     "5       p = .3       MEN = 1       MMT = 1");
    ASSERT_EQ(data.curves.size(), 2U);
    EXPECT_EQ(data.curves[1].test, 5);
    EXPECT_EQ(data.curves[1].groups.size(), evaluation->ForTest(5).groups.size());
    EXPECT_EQ(data.MEN, 1);
    // The excluded share is drawn as a bar: the curve of the last test ends below 1.
    EXPECT_FALSE(
        OpsIn<FilledRectOp>(BuildCumulativeChart(data, W, H, kMetrics), kGreyColour).empty());
    // To accept a deliberate change: QUILLON_UPDATE_GOLDEN=1, then look at the picture.
    testing::ExpectMatchesGolden(
        DrawingToSvg(BuildCumulativeChartPicture(data, 720, 480, kMetrics)),
        "charts/cumulative_chart.svg");
}

} // namespace
} // namespace quillon
