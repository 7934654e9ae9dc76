#include "particular/scatter_chart.h"

#include "core/numtext.h"
#include "core/pvalues.h"
#include "core/test_registry.h"
#include "particular/comparison.h"
#include "particular/cumulative_chart.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <unordered_set>

namespace quillon {

namespace {

constexpr Colour kBlack{0, 0, 0};

// Crosses closer than this (in units, both ways) are one cross on screen.
constexpr double kSameSpot = 0.25;

} // namespace

ChartWindowLayout LayOutScatterChartWindow(double W, double H) {
    ChartWindowLayout layout = LayOutCumulativeChartWindow(W, H);
    layout.fontSize = WindowFontSize(0.0009, W, H);
    layout.caption = FractionBox(W, H, 0, 0, 0.9, 0.07);
    return layout;
}

Drawing BuildScatterChart(const TwoTestScatter& scatter, double W, double H,
                          const TextMetrics& metrics) {
    Drawing drawing{W, H, {}};
    auto& ops = drawing.ops;
    ops.push_back(ClearOp{});

    const double fontSize = WindowFontSize(0.0009, W, H);
    const double th = metrics.TextHeight(fontSize, false);
    const double xL = 0.08 * W;
    const double yB = 0.85 * H;
    const double yT = 0.15 * H;
    const double width = 0.6 * W;
    const double height = 0.7 * H;
    const double d = 0.005 * W;
    const double tick = 0.01 * W;

    ops.push_back(RectOp{xL, yB, xL + width, yT, kBlack});
    ops.push_back(LineOp{xL, yB, xL + width, yT, kBlack});
    // The significance level on both axes: a table is significant by a test when its cross
    // lies left of (second test) or below (first test) the line.
    AppendSignificanceLine(ops, scatter.parameter, xL, yB, width, height, true, fontSize, metrics);
    AppendSignificanceLine(ops, scatter.parameter, xL, yB, width, height, false, fontSize, metrics);
    ops.push_back(TextOp{0.02 * W, yT - 2 * th,
                         "P value by " + std::string(TestName(scatter.firstTest)) +
                             "                             Each cross represents one possible "
                             "table",
                         fontSize, false, kBlack});

    std::unordered_set<std::uint64_t> spots;
    const std::size_t T = std::min(scatter.first.size(), scatter.second.size());
    for (std::size_t t = 0; t < T; ++t) {
        const double P1 = scatter.first[t];
        const double P2 = scatter.second[t];
        if (!(P2 <= 1) || !std::isfinite(P1)) {
            continue; // a dummy P value: the table is not drawn
        }
        const double x = xL + P2 * width;
        const double y = yB - P1 * height;
        // Spot of the cross in quarter units, kept in 32 bits each way (any window size,
        // and P values a little outside 0..1, stay well within).
        const auto column =
            static_cast<std::uint32_t>(static_cast<std::int64_t>(std::floor(x / kSameSpot)));
        const auto row =
            static_cast<std::uint32_t>(static_cast<std::int64_t>(std::floor(y / kSameSpot)));
        if (!spots.insert((std::uint64_t{column} << 32) | row).second) {
            continue;
        }
        ops.push_back(LineOp{x - d, y, x + d, y, kBlack});
        ops.push_back(LineOp{x, y - d, x, y + d, kBlack});
    }

    for (int i = 0; i <= 10; ++i) {
        const double x = xL + (i / 10.0) * width;
        ops.push_back(LineOp{x, yB, x, yB - tick, kBlack});
        const std::string label = GiveSignedNumberTonsf(i / 10.0, 2);
        ops.push_back(TextOp{x - metrics.TextWidth(label, fontSize, false) / 2, yB + th, label,
                             fontSize, false, kBlack});
    }
    const std::string axisLabel = "P value by " + std::string(TestName(scatter.secondTest));
    ops.push_back(TextOp{xL + 0.3 * W - metrics.TextWidth(axisLabel, fontSize, false) / 2,
                         yB + 2.2 * th, axisLabel, fontSize, false, kBlack});

    for (int i = 0; i <= 10; ++i) {
        const double y = yB - (i / 10.0) * height;
        ops.push_back(LineOp{xL, y, xL + tick, y, kBlack});
        const std::string label = GiveSignedNumberTonsf(i / 10.0, 2);
        ops.push_back(TextOp{xL - tick - metrics.TextWidth(label, fontSize, false), y - th / 2,
                             label, fontSize, false, kBlack});
    }
    return drawing;
}

Drawing BuildScatterChartPicture(const TwoTestScatter& scatter, double W, double H,
                                 const TextMetrics& metrics) {
    Drawing drawing = BuildScatterChart(scatter, W, H, metrics);
    const ChartWindowLayout layout = LayOutScatterChartWindow(W, H);
    AppendTextBox(drawing, TextBox{layout.caption, scatter.caption, layout.fontSize, kBlack},
                  metrics);
    return drawing;
}

} // namespace quillon
