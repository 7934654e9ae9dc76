// Charts: laying out the largest charts a run draws and writing them as SVG. A chart is
// redrawn whenever its window is resized or printed, so building it should take a small
// fraction of a second even for the scatter of a large comparative trial.
#include "bench.h"
#include "core/svg.h"
#include "core/text_metrics.h"
#include "maxima/search.h"
#include "maxima/search_charts.h"
#include "particular/comparison.h"
#include "particular/evaluation.h"
#include "particular/scatter_chart.h"
#include "summary/summary_chart.h"

#include <cstdio>
#include <optional>

namespace quillon::bench {
namespace {

void ScatterOfALargeTrial() {
    // Comparative trial N = 1000, m = 500: 251,001 tables.
    EvaluationPoint point;
    point.design = ComparativeTrial;
    point.N = 1000;
    point.row = 500;
    point.pCol = 0.3;
    point.tests = {1, 5};
    EvaluationOptions options;
    options.summarise = false;
    std::optional<PointEvaluation> evaluation;
    Report("evaluate the point (all seven tests)",
           Seconds([&] { evaluation = EvaluatePoint(point, options); }));
    const TwoTestScatter scatter = MakeTwoTestScatter(*evaluation, 1, 5, "bench");
    const FixedTextMetrics metrics;
    Drawing drawing;
    Report("lay out the scatter, 1200 x 800",
           Seconds([&] { drawing = BuildScatterChart(scatter, 1200, 800, metrics); }), 0.25);
    std::string svg;
    Report("write it as SVG", Seconds([&] { svg = DrawingToSvg(drawing); }));
    std::printf("  tables %zu, drawing operations %zu, SVG %.1f MB\n", scatter.first.size(),
                drawing.ops.size(), static_cast<double>(svg.size()) / 1e6);
}

void SummaryOfManyPoints() {
    // 100,000 points in 7 series: drawn as squares.
    SummaryChartData data;
    data.axisLabel = "N";
    data.seriesLabel = "Test";
    data.referenceValue = 0.05;
    for (int i = 0; i < 100'000; ++i) {
        data.x.push_back(4 + (i * 7919) % 10'000);
        data.y.push_back(0.04 + 0.00001 * (i % 1000));
        data.series.push_back(1 + i % 7);
    }
    const FixedTextMetrics metrics;
    Drawing drawing;
    Report("lay out 100,000 points, 1200 x 800",
           Seconds([&] { drawing = BuildSummaryChart(data, 1200, 800, 1, metrics); }), 0.25);
    std::printf("  drawing operations %zu\n", drawing.ops.size());

    // As many lines as points allow: 20,000 series of 5 points (a list of MEN values).
    for (std::size_t i = 0; i < data.series.size(); ++i) {
        data.series[i] = static_cast<double>(i % 20'000);
    }
    Report("lay out 20,000 series of 5 points",
           Seconds([&] { drawing = BuildSummaryChart(data, 1200, 800, 1, metrics); }), 0.25);
}

void MapOfASearch() {
    // Cross-sectional study N = 40, test 1, accuracy .001: the search with the map drawn
    // from its events, against the search alone.
    SearchSpec spec;
    spec.key.design = CrossSectionalStudy;
    spec.key.N = 40;
    spec.key.test = 1;
    spec.key.accuracy = 0.001;
    SearchTables tables(spec.key.design, spec.key.N, spec.m, spec.key.MEN, spec.key.MMT);
    const PropertyEvaluator evaluator(tables, spec.key.test, spec.key.policy, spec.key.type,
                                      spec.key.parameter);
    SilentSink interaction;
    SearchObserver none;
    const auto clock = [] { return std::string("00:00:00"); };
    Report("search alone", Seconds([&] {
               RunAreaSearch(spec, evaluator, nullptr, {none, interaction, clock, 1});
           }));
    const FixedTextMetrics metrics;
    SearchChart chart(1200, 800, metrics);
    SearchStarted started;
    started.key.design = spec.key.design;
    started.key.N = spec.key.N;
    Report("search drawing its map", Seconds([&] {
               chart.OnSearchStarted(started);
               RunAreaSearch(spec, evaluator, nullptr, {chart, interaction, clock, 1});
           }));
    std::string svg;
    Report("write the map as SVG", Seconds([&] { svg = DrawingToSvg(chart.Picture()); }));
    std::printf("  drawing operations %zu, SVG %.2f MB\n", chart.GetDrawing().ops.size(),
                static_cast<double>(svg.size()) / 1e6);
}

Registrar scatter("charts-scatter", "two-test scatter of a comparative trial N = 1000, m = 500",
                  ScatterOfALargeTrial);
Registrar summary("charts-summary", "summary chart of 100,000 points", SummaryOfManyPoints);
Registrar map("charts-search-map", "map of a cross-sectional search N = 40", MapOfASearch);

} // namespace
} // namespace quillon::bench
