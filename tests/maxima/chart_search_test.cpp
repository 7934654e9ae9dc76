// The charts of the area search, fed with search events and checked on the display list:
// the rounding of the graph's scale, the pass rectangles and the alpha line, the map's
// areas and labelled points, and the texts of the four boxes.
#include "maxima/search_charts.h"

#include "core/numtext.h"
#include "core/svg.h"
#include "core/tables.h"
#include "core/text_metrics.h"
#include "maxima/result_files.h"
#include "maxima/search.h"
#include "summary/drawing_inspection.h"
#include "support/golden.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace quillon {
namespace {

using testing::HasText;
using testing::kBlackColour;
using testing::OpsIn;
using testing::OpsOf;

constexpr double W = 1000, H = 700;
constexpr Colour kWhite{255, 255, 255};
constexpr Colour kGrey{191, 191, 191};
constexpr Colour kBlue{0, 0, 255};

const FixedTextMetrics kMetrics;

SearchStarted Start(int design, MaximumType type, double alpha = 0.05) {
    SearchStarted e;
    e.design = design;
    e.N = 20;
    e.m = design == 2 ? 10 : -1;
    e.type = type;
    e.parameter = alpha;
    e.accuracy = 0.001;
    e.headingLine = "06.12.26       Comparative trial    N = 20";
    e.titleLine = "Maximum value of (actual Type I error when alpha = .05) across all values of "
                  "pi(col)";
    return e;
}

// A pass over `points` grid points from `lo` to `hi`, the values and bounds given.
GridPassDone Pass(int pass, std::vector<double> values, std::vector<double> bounds, double lo,
                  double hi, double maximum) {
    GridPassDone e;
    e.pass = pass;
    e.m = 10;
    const std::size_t G = values.size();
    e.spacing = (hi - lo) / static_cast<double>(G - 1);
    for (std::size_t k = 0; k < G; ++k) {
        e.points.push_back(lo + e.spacing * static_cast<double>(k));
    }
    e.values = std::move(values);
    e.bounds = std::move(bounds);
    e.passMaximum = maximum;
    e.maximum = maximum;
    e.residueBound = 0;
    for (const double b : e.bounds) {
        e.residueBound = std::max(e.residueBound, b);
    }
    e.accuracy = 0.001;
    return e;
}

TEST(SearchChartScale, RoundsTheFirstPassBoundUp) {
    struct Case {
        const char* name;
        double bound;
        MaximumType type;
        double yMax;
        int exponent;
        double mantissa;
    };
    const std::vector<Case> cases = {
        {"0.037 to .04 by .01", 0.037, MaximumType::MaximumExcess, 0.04, -2, 4},
        {"raised to 1.1 alpha", 0.02, MaximumType::ProportionSignificant, 0.06, -2, 6},
        {"a whole mantissa stays", 0.4, MaximumType::MaximumExcess, 0.4, -1, 4},
        {"1.5 is not above 1.5", 0.15, MaximumType::MaximumExcess, 0.15, -2, 15},
        {"a bound of 0 gives .01", 0, MaximumType::MaximumExcess, 0.01, -3, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const GraphScale scale = RoundGraphMaximum(c.bound, c.type, 0.05);
        EXPECT_DOUBLE_EQ(scale.yMax, c.yMax);
        EXPECT_EQ(scale.exponent, c.exponent);
        EXPECT_EQ(scale.mantissa, c.mantissa);
    }
}

TEST(SearchChartGraph, AxisFixedAtTheFirstPassWithTheAlphaLine) {
    SearchChart chart(W, H, kMetrics);
    chart.OnSearchStarted(Start(2, MaximumType::ProportionSignificant, 0.03));
    // Bounds up to .037, above 1.1 alpha: the axis runs to .04 with ticks every .01.
    chart.OnGridPassDone(Pass(1, {0.01, 0.02, 0.03}, {0.02, 0.037, 0.035}, 1e-6, 0.5, 0.03));
    for (const char* label : {" 0", " .01", " .02", " .03", " .04"}) {
        EXPECT_TRUE(HasText(chart.GetDrawing(), label)) << label;
    }
    EXPECT_FALSE(HasText(chart.GetDrawing(), " .05"));
    const double unit = 0.68 * H / 0.04;
    const double alphaY = 0.85 * H - 0.03 * unit;
    bool alphaLine = false;
    for (const LineOp& op : OpsIn<LineOp>(chart.GetDrawing(), kBlackColour)) {
        if (op.y1 == alphaY && op.y2 == alphaY && op.x1 == 0.08 * W && op.x2 == 0.58 * W) {
            alphaLine = true;
        }
    }
    EXPECT_TRUE(alphaLine);

    // A second pass keeps the scale: no new ticks, and its rectangles sit on the same axis.
    const std::size_t texts = OpsOf<TextOp>(chart.GetDrawing()).size();
    chart.OnGridPassDone(Pass(2, {0.025, 0.03, 0.028}, {0.032, 0.034, 0.031}, 0.2, 0.3, 0.03));
    EXPECT_EQ(OpsOf<TextOp>(chart.GetDrawing()).size(), texts);
    const auto rects = OpsOf<FilledRectOp>(chart.GetDrawing());
    const FilledRectOp& last = rects.back();
    EXPECT_DOUBLE_EQ(last.y2, 0.85 * H - 0.031 * unit);
    EXPECT_DOUBLE_EQ(last.x1, 0.08 * W + 0.3 * W);
    EXPECT_DOUBLE_EQ(last.x2, 0.08 * W + 0.35 * W);
}

TEST(SearchChartGraph, IntervalsGreyAboveTheMaximumPlusAccuracy) {
    SearchChart chart(W, H, kMetrics);
    chart.OnSearchStarted(Start(2, MaximumType::MaximumExcess));
    // Maximum .03, accuracy .001: .0305 is below .031 (white), .0315 above (grey).
    chart.OnGridPassDone(Pass(1, {0.01, 0.03, 0.02}, {0.0305, 0.0315, 0.0309}, 1e-6, 0.4, 0.03));
    std::vector<Colour> fills;
    for (const FilledRectOp& op : OpsOf<FilledRectOp>(chart.GetDrawing())) {
        if (op.outline == kBlackColour) {
            fills.push_back(op.fill);
        }
    }
    EXPECT_EQ(fills, (std::vector<Colour>{kWhite, kGrey, kWhite}));
    EXPECT_EQ(chart.Texts().overallMaximum.text,
              "Maximum value found: \n" + GiveSignedNumberTonsf(0.03, 7));
    EXPECT_EQ(chart.Texts().residueBound.text,
              "Latest upper bound of residue: \n" + GiveSignedNumberTonsf(0.0315, 7));
}

TEST(SearchChartGraph, IntervalsStayInsideTheFrame) {
    // A pass whose last interval reaches past .5 (the search's last grid point may stand
    // at .5 itself): the rectangles end at the frame's right edge.
    SearchChart chart(W, H, kMetrics);
    chart.OnSearchStarted(Start(2, MaximumType::ProportionSignificant));
    chart.OnGridPassDone(
        Pass(1, {0.01, 0.03, 0.02, 0.04}, {0.02, 0.04, 0.045, 0.05}, 0.2, 0.5, 0.04));
    double right = 0;
    for (const RectOp& op : OpsOf<RectOp>(chart.GetDrawing()))
        right = std::max({right, op.x1, op.x2});
    int intervals = 0;
    for (const FilledRectOp& op : OpsOf<FilledRectOp>(chart.GetDrawing())) {
        if (op.outline == kBlackColour) {
            ++intervals;
            EXPECT_LE(std::max(op.x1, op.x2), right);
        }
    }
    EXPECT_EQ(intervals, 3); // between the four grid points
}

TEST(SearchChartGraph, NoAlphaLineForTheExcess) {
    SearchChart chart(W, H, kMetrics);
    chart.OnSearchStarted(Start(2, MaximumType::MaximumExcess, 0.05));
    chart.OnGridPassDone(Pass(1, {0.01, 0.02}, {0.02, 0.03}, 1e-6, 0.5, 0.02));
    for (const LineOp& op : OpsOf<LineOp>(chart.GetDrawing())) {
        const bool acrossTheFrame = op.x1 == 0.08 * W && op.x2 == 0.58 * W && op.y1 == op.y2;
        EXPECT_FALSE(acrossTheFrame) << op.y1;
    }
}

TEST(SearchChartMap, AreasPointsMirrorsAndMaxima) {
    SearchChart chart(W, H, kMetrics);
    chart.OnSearchStarted(Start(1, MaximumType::ProportionSignificant));
    const double S = 1.2 * std::sqrt(W * H);
    const auto x = [&](double c) { return 0.08 * W + c * S; };
    const auto y = [&](double r) { return 0.85 * H - r * S; };

    chart.OnAreaEvaluated({0.1, 0.2, 0.05, 0.1, 0.031, 0.052, false});
    const auto areas = OpsOf<FilledRectOp>(chart.GetDrawing());
    ASSERT_EQ(areas.size(), 1U);
    EXPECT_EQ(areas[0].fill, kGrey);
    EXPECT_EQ(areas[0].outline, kBlackColour);
    EXPECT_DOUBLE_EQ(areas[0].x1, x(0.1));
    EXPECT_DOUBLE_EQ(areas[0].y2, y(0.3));
    // The square's outline is drawn again over the area.
    const auto* outline = std::get_if<RectOp>(&chart.GetDrawing().ops.back());
    ASSERT_NE(outline, nullptr);
    EXPECT_DOUBLE_EQ(outline->x2, x(0.5));
    EXPECT_EQ(chart.Texts().pointValue.text,
              "Value at area lower left corner:\n" + GiveSignedNumberTonsf(0.031, 7));
    EXPECT_EQ(chart.Texts().areaBound.colour, kGrey);

    chart.OnSurveyPoint({0.1, 0.3, 0.08, 0.08, 0.04123456, 0.05});
    const std::string label = GiveSignedNumberTonsf(0.04123456, 4);
    std::vector<TextOp> labels;
    for (const TextOp& op : OpsOf<TextOp>(chart.GetDrawing())) {
        if (op.text == label) {
            labels.push_back(op);
        }
    }
    ASSERT_EQ(labels.size(), 2U);
    EXPECT_DOUBLE_EQ(labels[0].x, x(0.1));
    EXPECT_DOUBLE_EQ(labels[0].y, y(0.3));
    EXPECT_DOUBLE_EQ(labels[1].x, x(0.3)); // the mirror image
    EXPECT_DOUBLE_EQ(labels[1].y, y(0.1));

    chart.OnNewMaximum({0.045, 0.2, 0.25, -1, -1});
    const auto blue = OpsIn<TextOp>(chart.GetDrawing(), kBlue);
    ASSERT_EQ(blue.size(), 1U);
    EXPECT_EQ(blue[0].text, GiveSignedNumberTonsf(0.045, 4));
    EXPECT_EQ(chart.Texts().overallMaximum.text,
              "Overall maximum value found:\n" + GiveSignedNumberTonsf(0.045, 7));
    EXPECT_EQ(chart.Texts().residueBound.text, "Latest upper bound of residue:\n");

    chart.OnSurveyDone({0.04123456, 0.1, 0.3, 0.0502, 0.045});
    EXPECT_EQ(chart.Texts().residueBound.text,
              "Latest upper bound of residue:\n" + GiveSignedNumberTonsf(0.0502, 7));

    // A new search starts afresh and empties the residue box.
    const std::uint64_t revision = chart.Revision();
    chart.OnSearchStarted(Start(1, MaximumType::ProportionSignificant));
    EXPECT_GT(chart.Revision(), revision);
    EXPECT_TRUE(OpsOf<FilledRectOp>(chart.GetDrawing()).empty());
    EXPECT_EQ(chart.Texts().residueBound.text, "");
    EXPECT_TRUE(HasText(chart.GetDrawing(), "pi(row)"));
}

// The chart of a real search, as the run feeds it: the run announces the search, the
// search reports its steps.
SearchChart ChartOfSearch(const SearchSpec& spec) {
    SearchChart chart(720, 480, kMetrics);
    SearchStarted started;
    started.design = spec.design;
    started.N = spec.N;
    started.m = spec.m;
    started.test = spec.test;
    started.MEN = spec.MEN;
    started.MMT = spec.MMT;
    started.parameter = spec.parameter;
    started.accuracy = spec.accuracy;
    started.type = spec.type;
    started.headingLine = SearchHeadingLine("06.12.26", spec.design, spec.N, spec.m, spec.test,
                                            spec.MEN, spec.MMT, spec.accuracy);
    started.titleLine = SearchTitleLine(spec.design, spec.type, spec.parameter);
    chart.OnSearchStarted(started);
    SearchTables tables(spec.design, spec.N, spec.m, spec.MEN, spec.MMT);
    const PropertyEvaluator evaluator(tables, spec.test, spec.policy, spec.type, spec.parameter);
    SilentSink interaction;
    const SearchContext context{chart, interaction, [] { return std::string("10:00:00"); }, 1};
    const SearchResult result = RunAreaSearch(spec, evaluator, nullptr, context);
    EXPECT_TRUE(result.converged);
    return chart;
}

// Golden pictures of real searches. To accept a deliberate change:
// QUILLON_UPDATE_GOLDEN=1, then render the SVG (rsvg-convert) and look at it.
TEST(SearchChartGolden, ComparativeTrialSearch) {
    SearchSpec spec;
    spec.design = ComparativeTrial;
    spec.N = 20;
    spec.m = 10;
    spec.test = 1;
    spec.accuracy = 0.001;
    testing::ExpectMatchesGolden(DrawingToSvg(ChartOfSearch(spec).Picture()),
                                 "charts/search_graph.svg");
}

TEST(SearchChartGolden, CrossSectionalSearch) {
    SearchSpec spec;
    spec.design = CrossSectionalStudy;
    spec.N = 8;
    spec.test = 1;
    spec.accuracy = 0.01;
    testing::ExpectMatchesGolden(DrawingToSvg(ChartOfSearch(spec).Picture()),
                                 "charts/search_map.svg");
}

} // namespace
} // namespace quillon
