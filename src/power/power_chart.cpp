#include "power/power_chart.h"

#include "core/chart_window_layout.h"
#include "core/numtext.h"

#include <algorithm>
#include <cassert>

namespace quillon {

namespace {

constexpr Colour kBlack{0, 0, 0};
constexpr Colour kGrey{127, 127, 127};

// The points so far against the latest: which share its values, and whether N or p2
// varies among those that share the rest.
struct Progress {
    const std::vector<PowerChartPoint>& points;
    const PowerChartPoint& latest = points.back();

    bool SameApartFrom(const PowerChartPoint& p, bool N, bool p2) const {
        return p.row == latest.row && p.p1 == latest.p1 && p.MEN == latest.MEN &&
               (N || p.N == latest.N) && (p2 || p.p2 == latest.p2);
    }
    bool Varies(bool N) const {
        for (const PowerChartPoint& p : points)
            if (SameApartFrom(p, N, !N) && (N ? p.N != latest.N : p.p2 != latest.p2))
                return true;
        return false;
    }
};

std::string BarLabel(double v) {
    return v == 0 ? std::string("0") : GiveNumberTonsf(v, 3);
}

} // namespace

SummaryChartData PowerProgressChart(const std::vector<PowerChartPoint>& points, double target) {
    assert(!points.empty());
    const Progress progress{points};
    auto sameApartFrom = [&](const PowerChartPoint& p, bool N, bool p2) {
        return progress.SameApartFrom(p, N, p2);
    };
    auto varies = [&](bool N) { return progress.Varies(N); };
    SummaryChartData data;
    data.referenceValue = target;
    if (varies(true) || varies(false)) {
        const bool byN = varies(true);
        data.axisLabel = byN ? "N" : "p2";
        data.seriesLabel = "Test";
        data.seriesAreTests = true;
        for (const PowerChartPoint& p : points)
            if (sameApartFrom(p, byN, !byN)) {
                data.x.push_back(byN ? p.N : p.p2);
                data.y.push_back(p.power);
                data.series.push_back(p.test);
            }
        return data;
    }
    data.axisLabel = "Test";
    data.seriesLabel = "1 power, 2 size";
    for (int line = 1; line <= 2; ++line)
        for (const PowerChartPoint& p : points)
            if (sameApartFrom(p, false, false)) {
                data.x.push_back(p.test);
                data.y.push_back(line == 1 ? p.power : p.size);
                data.series.push_back(line);
            }
    return data;
}

std::optional<PowerBars> PowerBarsOf(const std::vector<PowerChartPoint>& points, double target) {
    assert(!points.empty());
    const Progress progress{points};
    if (progress.Varies(true) || progress.Varies(false))
        return std::nullopt;
    PowerBars bars;
    bars.target = target;
    for (const PowerChartPoint& p : points)
        if (progress.SameApartFrom(p, false, false)) {
            // A combination computed again (a repeated list value) replaces its bars.
            const auto at = std::find(bars.tests.begin(), bars.tests.end(), p.test);
            if (at != bars.tests.end()) {
                const auto i = static_cast<std::size_t>(at - bars.tests.begin());
                bars.power[i] = p.power;
                bars.size[i] = p.size;
                continue;
            }
            bars.tests.push_back(p.test);
            bars.power.push_back(p.power);
            bars.size.push_back(p.size);
        }
    return bars;
}

PowerBarGeometry LayOutPowerBars(double W, double H, const TextMetrics& metrics) {
    const ChartWindowLayout window = LayOutChartWindow(W, H);
    const double textHeight = metrics.TextHeight(window.fontSize, false);
    PowerBarGeometry g;
    g.left = 0.08 * W;
    g.right = 0.78 * W;
    g.top = window.caption.top + window.caption.height + 0.04 * H;
    g.bottom = 0.92 * H - 1.5 * textHeight;
    // Above power 1: a line for a bar's label, then the legend's line.
    g.yOfOne = g.top + 3 * textHeight;
    return g;
}

Drawing BuildPowerBarChart(const PowerBars& bars, double W, double H, const TextMetrics& metrics) {
    Drawing drawing{W, H, {}};
    drawing.ops.push_back(ClearOp{});
    const double font = LayOutChartWindow(W, H).fontSize;
    const double textHeight = metrics.TextHeight(font, false);
    const PowerBarGeometry g = LayOutPowerBars(W, H, metrics);
    auto y = [&](double v) { return g.bottom - v * (g.bottom - g.yOfOne); };

    drawing.ops.push_back(RectOp{g.left, g.top, g.right, g.bottom, kBlack});
    for (int k = 0; k <= 5; ++k) {
        const double v = k / 5.0;
        const std::string label = BarLabel(v);
        drawing.ops.push_back(LineOp{g.left - 4, y(v), g.left, y(v), kBlack});
        drawing.ops.push_back(TextOp{g.left - 6 - metrics.TextWidth(label, font, false),
                                     y(v) - textHeight / 2, label, font, false, kBlack});
    }
    drawing.ops.push_back(LineOp{g.left, y(bars.target), g.right, y(bars.target), kGrey});

    const std::size_t n = bars.tests.size();
    if (n > 0) {
        const double group = (g.right - g.left) / static_cast<double>(n);
        const double bar = 0.3 * group;
        // Labels shrink until the widest fits the distance between two bars' centres.
        double labelFont = font;
        double widest = 0;
        for (std::size_t i = 0; i < n; ++i)
            for (double v : {bars.power[i], bars.size[i]})
                widest = std::max(widest, metrics.TextWidth(BarLabel(v), font, false));
        if (widest > 0.9 * bar)
            labelFont = font * 0.9 * bar / widest;
        const double labelHeight = metrics.TextHeight(labelFont, false);
        bool namesFit = true;
        for (std::size_t i = 0; i < n; ++i)
            namesFit = namesFit && metrics.TextWidth("Test " + std::to_string(bars.tests[i]), font,
                                                     false) < 0.95 * group;
        for (std::size_t i = 0; i < n; ++i) {
            const double x0 = g.left + group * static_cast<double>(i) + 0.2 * group;
            const double values[2] = {bars.power[i], bars.size[i]};
            const Colour colours[2] = {kPowerBarColour, kSizeBarColour};
            for (int b = 0; b < 2; ++b) {
                const double x1 = x0 + bar * b;
                const double v = std::clamp(values[b], 0.0, 1.0);
                drawing.ops.push_back(
                    FilledRectOp{x1, y(v), x1 + bar, g.bottom, colours[b], kBlack});
                const std::string label = BarLabel(values[b]);
                const double w = metrics.TextWidth(label, labelFont, false);
                drawing.ops.push_back(TextOp{x1 + (bar - w) / 2, y(v) - labelHeight - 1, label,
                                             labelFont, false, kBlack});
            }
            const std::string name = (namesFit ? "Test " : "") + std::to_string(bars.tests[i]);
            const double w = metrics.TextWidth(name, font, false);
            drawing.ops.push_back(TextOp{g.left + group * (static_cast<double>(i) + 0.5) - w / 2,
                                         g.bottom + 0.25 * textHeight, name, font, false, kBlack});
        }
    }

    // The legend, inside the frame in the band above power 1.
    double x = g.left + 0.5 * textHeight;
    const double top = g.top + 0.4 * textHeight;
    const std::pair<const char*, Colour> keys[] = {{"Power", kPowerBarColour},
                                                   {"Size", kSizeBarColour}};
    for (const auto& [text, colour] : keys) {
        drawing.ops.push_back(FilledRectOp{x, top + 0.15 * textHeight, x + 0.7 * textHeight,
                                           top + 0.85 * textHeight, colour, kBlack});
        x += textHeight;
        drawing.ops.push_back(TextOp{x, top, text, font, false, kBlack});
        x += metrics.TextWidth(text, font, false) + textHeight;
    }
    return drawing;
}

} // namespace quillon
