#include "summary/summary_chart.h"

#include "core/numtext.h"
#include "core/test_registry.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numeric>
#include <vector>

namespace quillon {

namespace {

constexpr Colour kBlack{0, 0, 0};
constexpr Colour kGrey{127, 127, 127};

// Colour of the line at position g (1, 2, ...); positions 8 and up repeat 1 to 7.
Colour SeriesColour(std::size_t g) {
    switch (g % 7) {
    case 1:
        return {0, 0, 0};
    case 2:
        return {223, 223, 0};
    case 3:
        return {0, 255, 0};
    case 4:
        return {127, 127, 255};
    case 5:
        return {255, 127, 127};
    case 6:
        return {0, 0, 255};
    default:
        return {255, 0, 0};
    }
}

struct Point {
    double x, y, series;
};

// With more ticks than this the labels could not be read anyway; only a damaged summary
// file gives so large a y, and drawing every tick would hold the window for ages.
constexpr double kMostTicks = 1000;

} // namespace

SummaryChartLayout LayOutSummaryChartWindow(double W, double H) {
    SummaryChartLayout layout;
    layout.fontSize = WindowFontSize(0.0009, W, H);
    layout.title = FractionBox(W, H, 0, 0, 0.95, 0.1);
    layout.continueButton = FractionBox(W, H, 0.83, 0.5, 0.12, 0.06);
    layout.printButton = FractionBox(W, H, 0.83, 0.6, 0.12, 0.06);
    layout.exitButton = FractionBox(W, H, 0.83, 0.7, 0.12, 0.06);
    layout.stopButton = FractionBox(W, H, 0.83, 0.8, 0.12, 0.06);
    layout.nextButton = FractionBox(W, H, 0.83, 0.4, 0.12, 0.06);
    // Over the key's column and the buttons', so that "Chart 12 of 12" fits on one line.
    layout.position = FractionBox(W, H, 0.74, 0.33, 0.21, 0.05);
    return layout;
}

namespace {

// A point of a line chart that no line reaches: a small square in its series' colour.
void AppendPointMark(Drawing& drawing, double x, double y, double pixelSize, Colour colour) {
    drawing.ops.push_back(FilledRectOp{x - 1.5 * pixelSize, y + 1.5 * pixelSize,
                                       x + 1.5 * pixelSize, y - 1.5 * pixelSize, colour, colour});
}

} // namespace

Drawing BuildSummaryChart(const SummaryChartData& data, double W, double H, double pixelSize,
                          const TextMetrics& metrics) {
    Drawing drawing{W, H, {}};
    drawing.ops.push_back(ClearOp{});

    std::vector<Point> points;
    const std::size_t given = std::min({data.x.size(), data.y.size(), data.series.size()});
    points.reserve(given);
    for (std::size_t i = 0; i < given; ++i) {
        if (std::isfinite(data.x[i]) && std::isfinite(data.y[i]) && std::isfinite(data.series[i])) {
            // (+ 0 turns a series value of -0 into 0, the same line.)
            points.push_back({data.x[i], data.y[i], data.series[i] + 0.0});
        }
    }
    if (points.empty()) {
        return drawing;
    }
    // Sorted by increasing x; points with equal x keep their order, as the exchange sort
    // that only swaps a greater x past a smaller one leaves them.
    std::stable_sort(points.begin(), points.end(),
                     [](const Point& a, const Point& b) { return a.x < b.x; });
    const std::size_t n = points.size();

    const double fontSize = WindowFontSize(0.0009, W, H);
    const double th = metrics.TextHeight(fontSize, false);
    const double left = 0.08 * W;
    const double bottom = 0.85 * H;
    const double frameWidth = 0.6 * W;
    const double frameHeight = 0.7 * H;
    const double tick = 0.01 * W;
    const double keyX = left + 1.1 * frameWidth;
    const double keyY = bottom - 0.5 * frameHeight;

    // Horizontal range 0 .. m 10^e.
    double xN = points.back().x;
    if (xN <= 0) {
        xN = 0.001;
    }
    double r = xN;
    int e = 0;
    if (r < 1) {
        do {
            --e;
            r *= 10;
        } while (!(r > 1));
    } else if (r > 15) {
        do {
            ++e;
            r /= 10;
        } while (r > 15);
    }
    const double tenE = std::pow(10.0, e);
    double m = xN / tenE;
    if (m != std::floor(m)) {
        m = std::ceil(m);
    }
    const double xUnit = frameWidth / (m * tenE);

    // Vertical range ymin .. k 10^f.
    double ymin = points.front().y;
    double ymax = points.front().y;
    for (const Point& p : points) {
        ymin = std::min(ymin, p.y);
        ymax = std::max(ymax, p.y);
    }
    if (ymin > 0) {
        ymin = 0;
    }
    if (ymax <= 0) {
        ymax = 0.01;
    }
    // A reference value that is not a number (from a damaged file) draws no line.
    const double reference = std::isfinite(data.referenceValue) ? data.referenceValue : 0;
    if (ymax < 1.1 * reference) {
        ymax = 1.1 * reference;
    }
    r = ymax - ymin;
    int f = 0;
    if (r < 1) {
        do {
            --f;
            r *= 10;
        } while (!(r > 1.5));
    }
    const double tenF = std::pow(10.0, f);
    double k = ymax / tenF;
    if (k != std::floor(k)) {
        k = std::ceil(k);
    }
    // ymin is 0 unless some y is negative; then the frame reaches down to ymin.
    const double yUnit = frameHeight / (k * tenF - ymin);
    const auto yPosition = [&](double y) { return bottom - (y - ymin) * yUnit; };

    // Series in ascending order of their values; the position g of a point's series is
    // found by search, and the points are visited series by series in x order.
    std::vector<double> seriesValues;
    seriesValues.reserve(n);
    for (const Point& p : points) {
        seriesValues.push_back(p.series);
    }
    std::sort(seriesValues.begin(), seriesValues.end());
    seriesValues.erase(std::unique(seriesValues.begin(), seriesValues.end()), seriesValues.end());
    std::vector<std::size_t> position(n);
    for (std::size_t i = 0; i < n; ++i) {
        position[i] = static_cast<std::size_t>(
            std::lower_bound(seriesValues.begin(), seriesValues.end(), points[i].series) -
            seriesValues.begin());
    }
    std::vector<std::size_t> visit(n);
    std::iota(visit.begin(), visit.end(), std::size_t{0});
    std::stable_sort(visit.begin(), visit.end(),
                     [&](std::size_t a, std::size_t b) { return position[a] < position[b]; });

    // Every x value of the chart: a series' line never bridges one it has no point at (an N
    // that another series has but this one was never computed for); a point with no line
    // on either side is marked so that it still shows.
    std::vector<double> allX;
    allX.reserve(n);
    for (const Point& p : points)
        allX.push_back(p.x);
    allX.erase(std::unique(allX.begin(), allX.end()), allX.end());
    auto bridges = [&](double from, double to) {
        const auto after = std::upper_bound(allX.begin(), allX.end(), from);
        return after != allX.end() && *after < to;
    };

    std::size_t next = 0;
    for (std::size_t index = 0; index < seriesValues.size(); ++index) {
        const std::size_t g = index + 1;
        const Colour colour = data.seriesAreTests
                                  ? TestColour(static_cast<int>(seriesValues[index]))
                                  : SeriesColour(g);
        const double shift = (static_cast<double>(g) - 4) * pixelSize;
        bool first = true;
        bool joinedBefore = false;
        double previousX = 0, previousY = 0, previousValue = 0;
        const std::size_t begin = next;
        for (; next < n && position[visit[next]] == index; ++next) {
            const Point& p = points[visit[next]];
            const double px = left + p.x * xUnit + shift;
            const double py = yPosition(p.y);
            if (n < 600) {
                const bool joined = !first && !bridges(previousValue, p.x);
                if (joined) {
                    drawing.ops.push_back(LineOp{previousX, previousY, px, py, colour});
                } else if (!first && !joinedBefore) {
                    AppendPointMark(drawing, previousX, previousY, pixelSize, colour);
                }
                joinedBefore = joined;
            } else {
                drawing.ops.push_back(
                    FilledRectOp{px, py, px + 2 * pixelSize, py - 2 * pixelSize, colour, colour});
            }
            first = false;
            previousX = px;
            previousY = py;
            previousValue = p.x;
        }
        if (n < 600 && next > begin && !joinedBefore)
            AppendPointMark(drawing, previousX, previousY, pixelSize, colour);
        if (!data.seriesLabel.empty()) {
            drawing.ops.push_back(TextOp{keyX, keyY + static_cast<double>(g) * th,
                                         PlainNumberText(seriesValues[index]), fontSize, false,
                                         colour});
        }
    }

    drawing.ops.push_back(RectOp{left, bottom, left + frameWidth, bottom - frameHeight, kBlack});
    if (reference != 0) {
        const double y = yPosition(reference);
        drawing.ops.push_back(LineOp{left, y, left + frameWidth, y, kGrey});
    }

    for (double i = 0; i <= m; ++i) {
        const double v = i * tenE;
        const double x = left + v * xUnit;
        drawing.ops.push_back(LineOp{x, bottom, x, bottom - tick, kBlack});
        const std::string label = PlainNumberText(v);
        drawing.ops.push_back(TextOp{x - metrics.TextWidth(label, fontSize, false) / 2,
                                     bottom + 0.5 * th, label, fontSize, false, kBlack});
    }
    drawing.ops.push_back(
        TextOp{left + frameWidth / 2 - metrics.TextWidth(data.axisLabel, fontSize, true),
               bottom + 2 * th, data.axisLabel, fontSize, true, kBlack});

    const double stride = k > kMostTicks ? std::ceil(k / 10) : 1;
    for (double i = 0; i <= k; i += stride) {
        const double v = i * tenF;
        const double y = yPosition(v);
        drawing.ops.push_back(LineOp{left, y, left + tick, y, kBlack});
        const std::string label = PlainNumberText(v);
        drawing.ops.push_back(TextOp{left - tick - metrics.TextWidth(label, fontSize, false),
                                     y - th / 2, label, fontSize, false, kBlack});
    }

    if (!data.seriesLabel.empty()) {
        drawing.ops.push_back(TextOp{keyX, keyY, data.seriesLabel, fontSize, false, kBlack});
    }
    return drawing;
}

Drawing BuildSummaryChartPicture(const SummaryChartData& data, double W, double H, double pixelSize,
                                 const TextMetrics& metrics) {
    Drawing drawing = BuildSummaryChart(data, W, H, pixelSize, metrics);
    const SummaryChartLayout layout = LayOutSummaryChartWindow(W, H);
    AppendTextBox(drawing, TextBox{layout.title, data.title, layout.fontSize, {0, 0, 0}}, metrics);
    return drawing;
}

} // namespace quillon
