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

#include <algorithm>
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

SearchStarted Start(DesignCode design, Property type, double alpha = 0.05) {
    SearchStarted e;
    e.key.design = design;
    e.key.N = 20;
    e.m = design == ComparativeTrial ? 10 : -1;
    e.key.type = type;
    e.key.parameter = alpha;
    e.key.accuracy = 0.001;
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
        Property type;
        double yMax;
        int exponent;
        double mantissa;
    };
    const std::vector<Case> cases = {
        {"0.037 to .04 by .01", 0.037, Property::MaximumExcess, 0.04, -2, 4},
        {"raised to 1.1 alpha", 0.02, Property::ActualTypeIError, 0.06, -2, 6},
        {"a whole mantissa stays", 0.4, Property::MaximumExcess, 0.4, -1, 4},
        {"1.5 is not above 1.5", 0.15, Property::MaximumExcess, 0.15, -2, 15},
        {"a bound of 0 gives .01", 0, Property::MaximumExcess, 0.01, -3, 10},
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
    chart.OnSearchStarted(Start(ComparativeTrial, Property::ActualTypeIError, 0.03));
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
    chart.OnSearchStarted(Start(ComparativeTrial, Property::MaximumExcess));
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
    chart.OnSearchStarted(Start(ComparativeTrial, Property::ActualTypeIError));
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
    chart.OnSearchStarted(Start(ComparativeTrial, Property::MaximumExcess, 0.05));
    chart.OnGridPassDone(Pass(1, {0.01, 0.02}, {0.02, 0.03}, 1e-6, 0.5, 0.02));
    for (const LineOp& op : OpsOf<LineOp>(chart.GetDrawing())) {
        const bool acrossTheFrame = op.x1 == 0.08 * W && op.x2 == 0.58 * W && op.y1 == op.y2;
        EXPECT_FALSE(acrossTheFrame) << op.y1;
    }
}

TEST(SearchChartMap, AreasPointsMirrorsAndMaxima) {
    SearchChart chart(W, H, kMetrics);
    chart.OnSearchStarted(Start(CrossSectionalStudy, Property::ActualTypeIError));
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
    chart.OnSearchStarted(Start(CrossSectionalStudy, Property::ActualTypeIError));
    EXPECT_GT(chart.Revision(), revision);
    EXPECT_TRUE(OpsOf<FilledRectOp>(chart.GetDrawing()).empty());
    EXPECT_EQ(chart.Texts().residueBound.text, "");
    EXPECT_TRUE(HasText(chart.GetDrawing(), "pi(row)"));
}

// The chart of a real search, as the run feeds it: the run announces the search, the
// search reports its steps.
SearchChart ChartOfSearch(const SearchSpec& spec, double width = 720, double height = 480) {
    SearchChart chart(width, height, kMetrics);
    SearchStarted started = AnnounceSearch(spec);
    started.headingLine = SearchHeadingLine("06.12.26", spec.key, spec.m);
    started.titleLine = SearchTitleLine(spec.key.design, spec.key.type, spec.key.parameter);
    chart.OnSearchStarted(started);
    SearchTables tables(spec.key.design, spec.key.N, spec.m, spec.key.MEN, spec.key.MMT);
    const PropertyEvaluator evaluator(tables, spec.key.test, spec.key.policy, spec.key.type,
                                      spec.key.parameter);
    SilentSink interaction;
    const SearchContext context{chart, interaction, [] { return std::string("10:00:00"); }, 1};
    const SearchResult result = RunAreaSearch(spec, evaluator, nullptr, context);
    EXPECT_TRUE(result.converged);
    return chart;
}

// A map label on the display list: a white box followed by its text at the box's corner
// (an area is a white or grey box followed by the square's outline instead).
struct DrawnLabel {
    LabelBox box;
    std::string text;
    Colour colour;
    std::size_t lastDrawn = 0; // index of its last background op
};

std::vector<DrawnLabel> LabelsOf(const Drawing& drawing) {
    std::vector<DrawnLabel> labels;
    for (std::size_t i = 0; i + 1 < drawing.ops.size(); ++i) {
        const auto* box = std::get_if<FilledRectOp>(&drawing.ops[i]);
        const auto* text = std::get_if<TextOp>(&drawing.ops[i + 1]);
        if (box == nullptr || text == nullptr || text->x != box->x1 || text->y != box->y1)
            continue;
        const LabelBox at{box->x1, box->y1, box->x2, box->y2};
        auto same = std::find_if(labels.begin(), labels.end(), [&](const DrawnLabel& l) {
            return l.box.x1 == at.x1 && l.box.y1 == at.y1 && l.box.x2 == at.x2 &&
                   l.box.y2 == at.y2 && l.text == text->text;
        });
        if (same == labels.end())
            labels.push_back({at, text->text, text->colour, i});
        else
            *same = {at, text->text, text->colour, i};
    }
    return labels;
}

bool Meet(const LabelBox& a, const LabelBox& b) {
    return a.x1 <= b.x2 && b.x1 <= a.x2 && a.y1 <= b.y2 && b.y1 <= a.y2;
}
bool Within(const LabelBox& outer, const LabelBox& inner) {
    return outer.x1 <= inner.x1 && inner.x2 <= outer.x2 && outer.y1 <= inner.y1 &&
           inner.y2 <= outer.y2;
}

// The labels of a finished map: inside the square and clear of its outline, drawn after
// every area that reaches them, and no two meeting unless a later one covers an earlier
// one entirely (which is then never drawn again).
void ExpectReadableMap(const Drawing& drawing, std::size_t leastLabels) {
    const double w = drawing.width, h = drawing.height;
    const Box map = MapSquare(w, h);
    const LabelBox square{map.left, map.top, map.left + map.width, map.top + map.height};
    // The square and its top axis label stand below the heading.
    const Box heading = LayOutSearchChartWindow(w, h).caption;
    EXPECT_GT(square.y1 - 0.5 * kMetrics.TextHeight(WindowFontSize(0.0008, w, h), false),
              heading.top + heading.height);
    const std::vector<DrawnLabel> labels = LabelsOf(drawing);
    ASSERT_GE(labels.size(), leastLabels);
    EXPECT_TRUE(std::any_of(labels.begin(), labels.end(),
                            [](const DrawnLabel& l) { return l.colour == kBlue; }));
    for (const DrawnLabel& label : labels) {
        SCOPED_TRACE(label.text);
        EXPECT_GT(label.box.x1, square.x1);
        EXPECT_LT(label.box.x2, square.x2);
        EXPECT_GT(label.box.y1, square.y1);
        EXPECT_LT(label.box.y2, square.y2);
        // Every text drawn outside the square (tick labels, axis names) stays clear.
        for (const TextOp& text : OpsOf<TextOp>(drawing)) {
            const LabelBox at{text.x, text.y,
                              text.x + kMetrics.TextWidth(text.text, text.fontSize, text.bold),
                              text.y + kMetrics.TextHeight(text.fontSize, text.bold)};
            if (!Within(square, at)) {
                EXPECT_FALSE(Meet(at, label.box)) << text.text;
            }
        }
    }
    // Areas reaching a label are drawn before its last drawing.
    for (std::size_t i = 0; i < drawing.ops.size(); ++i) {
        const auto* area = std::get_if<FilledRectOp>(&drawing.ops[i]);
        if (area == nullptr || i + 1 >= drawing.ops.size() ||
            !std::holds_alternative<RectOp>(drawing.ops[i + 1]))
            continue;
        const LabelBox box{area->x1, area->y2, area->x2, area->y1};
        for (const DrawnLabel& label : labels) {
            const bool hidden = std::any_of(labels.begin(), labels.end(), [&](const DrawnLabel& o) {
                return &o != &label && Within(o.box, label.box) && o.lastDrawn > label.lastDrawn;
            });
            if (!hidden && Meet(box, label.box)) {
                EXPECT_GT(label.lastDrawn, i) << label.text;
            }
        }
    }
    for (const DrawnLabel& a : labels) {
        for (const DrawnLabel& b : labels) {
            if (&a == &b || !Meet(a.box, b.box))
                continue;
            const DrawnLabel& later = a.lastDrawn > b.lastDrawn ? a : b;
            const DrawnLabel& earlier = a.lastDrawn > b.lastDrawn ? b : a;
            EXPECT_TRUE(Within(later.box, earlier.box))
                << a.text << " meets " << b.text << " without covering it";
        }
    }
}

TEST(SearchChartMap, LabelsOfRealSearchesNeverMeet) {
    // The maximum window's example 6 (cross-sectional study, N = 10, Pearson's test,
    // accuracy .005), and smaller and larger maps of the same design.
    struct Case {
        const char* name;
        std::int64_t N;
        int test;
        double accuracy;
        double W, H;
    };
    const Case cases[] = {
        {"example 6", 10, 1, 0.005, 720, 480},
        {"example 6, large window", 10, 1, 0.005, 1500, 900},
        {"N = 8", 8, 1, 0.01, 720, 480},
        {"N = 14, 'N - 1' test", 14, 3, 0.005, 900, 600},
        {"N = 20 at 960 x 600", 20, 1, 0.005, 960, 600},
        {"N = 20 maximised", 20, 1, 0.005, 1920, 1050},
        {"N = 60 at 960 x 600", 60, 1, 0.01, 960, 600},
        {"N = 60, a tall window", 60, 1, 0.01, 600, 900},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SearchSpec spec;
        spec.key.design = CrossSectionalStudy;
        spec.key.N = c.N;
        spec.key.test = c.test;
        spec.key.accuracy = c.accuracy;
        const SearchChart chart = ChartOfSearch(spec, c.W, c.H);
        ExpectReadableMap(chart.GetDrawing(), 6);
    }
}

TEST(SearchChartMap, LabelsShiftInsideTheSquareOrAreLeftOut) {
    SearchChart chart(W, H, kMetrics);
    chart.OnSearchStarted(Start(CrossSectionalStudy, Property::ActualTypeIError));
    // At the origin a label would sit on the axes: it moves inside the square, above the
    // horizontal axis and right of the vertical one.
    chart.OnSurveyPoint({0, 0, 0.01, 0.01, 0.000012345, 0.05});
    // At the top right corner it moves left and down into the square.
    chart.OnSurveyPoint({0.5, 0.5, 0.01, 0.01, 0.0123, 0.05});
    // A shorter label just right of the origin's, and its mirror just above: every place
    // meets the origin's label without covering it, so neither is drawn.
    const std::size_t before = chart.GetDrawing().ops.size();
    chart.OnSurveyPoint({0.01, 0, 0.01, 0.01, 0.5, 0.05});
    EXPECT_EQ(chart.GetDrawing().ops.size(), before);
    // The same point as a label again with another value of the same width: it covers the
    // old label, which no longer shows.
    chart.OnSurveyPoint({0.5, 0.5, 0.01, 0.01, 0.0124, 0.05});
    // A new maximum at a labelled point covers the label of the same width.
    chart.OnNewMaximum({0.0123, 0.5, 0.5, -1, -1});
    EXPECT_EQ(OpsIn<TextOp>(chart.GetDrawing(), kBlue).size(), 1U);
    // An area drawn over the labels brings them back on top.
    chart.OnAreaEvaluated({0, 0, 0.5, 0.5, 0.01, 0.02, true});
    ExpectReadableMap(chart.GetDrawing(), 2);
    EXPECT_EQ(OpsOf<TextOp>(chart.GetDrawing()).back().text, GiveSignedNumberTonsf(0.0123, 4));
    const auto& ops = chart.GetDrawing().ops;
    ASSERT_GE(ops.size(), 2U);
    const auto* last = std::get_if<TextOp>(&ops.back());
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->colour, kBlue);
}

TEST(SearchChartMap, SquareStandsBelowTheHeadingAtEverySize) {
    for (const auto& [w, h] : std::vector<std::pair<double, double>>{
             {480, 360}, {960, 600}, {1280, 740}, {1920, 1050}, {2560, 1000}, {600, 1000}}) {
        SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h));
        const Box square = MapSquare(w, h);
        const Box heading = LayOutSearchChartWindow(w, h).caption;
        EXPECT_GE(square.top, heading.top + heading.height + 0.04 * h - 1e-9);
        EXPECT_DOUBLE_EQ(square.width, square.height);
        EXPECT_DOUBLE_EQ(square.top + square.height, 0.85 * h);
        // Left of the figure boxes and buttons.
        EXPECT_LE(square.left + square.width, 0.7 * w);
    }
    // Where the window leaves room, the square keeps its size of 0.6 sqrt(W H).
    EXPECT_DOUBLE_EQ(MapSquare(800, 800).width, 0.6 * 800);
}

TEST(SearchChartMap, TinyValuesInAShortForm) {
    EXPECT_EQ(MapLabelText(2e-11), "<.0001");
    EXPECT_EQ(MapLabelText(0.00009999), "<.0001");
    EXPECT_EQ(MapLabelText(0.0001), GiveSignedNumberTonsf(0.0001, 4));
    EXPECT_EQ(MapLabelText(0.05322), ".05322");
    EXPECT_EQ(MapLabelText(0), GiveSignedNumberTonsf(0, 4));
}

// Golden pictures of real searches. To accept a deliberate change:
// QUILLON_UPDATE_GOLDEN=1, then render the SVG (rsvg-convert) and look at it.
TEST(SearchChartGolden, ComparativeTrialSearch) {
    SearchSpec spec;
    spec.key.design = ComparativeTrial;
    spec.key.N = 20;
    spec.m = 10;
    spec.key.test = 1;
    spec.key.accuracy = 0.001;
    testing::ExpectMatchesGolden(DrawingToSvg(ChartOfSearch(spec).Picture()),
                                 "charts/search_graph.svg");
}

TEST(SearchChartGolden, CrossSectionalSearch) {
    SearchSpec spec;
    spec.key.design = CrossSectionalStudy;
    spec.key.N = 8;
    spec.key.test = 1;
    spec.key.accuracy = 0.01;
    testing::ExpectMatchesGolden(DrawingToSvg(ChartOfSearch(spec).Picture()),
                                 "charts/search_map.svg");
}

} // namespace
} // namespace quillon
