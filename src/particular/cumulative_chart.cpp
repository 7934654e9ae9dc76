#include "particular/cumulative_chart.h"

#include "core/numtext.h"
#include "core/pvalues.h"
#include "core/test_registry.h"
#include "particular/evaluation.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <utility>

namespace quillon {

namespace {

// "1. Pearson chi squared test": the test number and name of a legend line.
std::string LegendText(int test) {
    return PlainNumberText(test) + ". " + std::string(TestName(test));
}

constexpr Colour kBlack{0, 0, 0};
constexpr Colour kGrey{127, 127, 127};

// Markers are left out from this many groups on: they would cover the curve.
constexpr std::size_t kMostGroupsWithMarkers = 120;

// Points of a curve closer than this (in units, both ways) are one point on screen.
constexpr double kSameSpot = 0.25;

} // namespace

ChartWindowLayout LayOutCumulativeChartWindow(double W, double H) {
    return LayOutChartWindow(W, H);
}

CumulativeChartData MakeCumulativeChartData(const PointEvaluation& evaluation,
                                            std::string caption) {
    CumulativeChartData data;
    data.caption = std::move(caption);
    data.MEN = evaluation.point.MEN;
    data.MMT = evaluation.point.MMT;
    data.alpha = evaluation.point.parameter;
    for (const TestEvaluation& result : evaluation.results) {
        CumulativeCurve curve;
        curve.test = result.test;
        curve.groups.reserve(result.groups.size());
        for (const PValueGroup& group : result.groups) {
            curve.groups.push_back({group.pValue, group.proportion, group.cumulative});
        }
        data.curves.push_back(std::move(curve));
    }
    return data;
}

void AppendSignificanceLine(std::vector<DrawOp>& ops, double alpha, double xL, double yB,
                            double width, double height, bool vertical, double fontSize,
                            const TextMetrics& metrics) {
    if (!(alpha > 0 && alpha <= 1))
        return;
    const std::string label = "alpha =" + PlainNumberText(alpha);
    const double th = metrics.TextHeight(fontSize, false);
    if (vertical) {
        const double x = xL + alpha * width;
        ops.push_back(LineOp{x, yB, x, yB - height, kSignificanceColour});
        // Beside the line near the top of the frame, inside it where there is room.
        const double w = metrics.TextWidth(label, fontSize, false);
        const double at = x + 0.3 * th + w <= xL + width ? x + 0.3 * th : x - 0.3 * th - w;
        ops.push_back(
            TextOp{at, yB - height + 0.3 * th, label, fontSize, false, kSignificanceColour});
    } else {
        const double y = yB - alpha * height;
        ops.push_back(LineOp{xL, y, xL + width, y, kSignificanceColour});
    }
}

Drawing BuildCumulativeChart(const CumulativeChartData& data, double W, double H,
                             const TextMetrics& metrics) {
    Drawing drawing{W, H, {}};
    auto& ops = drawing.ops;
    ops.push_back(ClearOp{});

    const double fontSize = WindowFontSize(0.0008, W, H);
    const double th = metrics.TextHeight(fontSize, false);
    const double xL = 0.05 * W;
    const double yB = 0.85 * H;
    const double yT = 0.15 * H;
    const double width = 0.5 * W;
    const double height = 0.7 * H;

    ops.push_back(RectOp{xL, yB, xL + width, yT, kBlack});
    ops.push_back(LineOp{xL, yB, xL + width, yT, kBlack});
    AppendSignificanceLine(ops, data.alpha, xL, yB, width, height, true, fontSize, metrics);
    // The legend lines start at a fixed place 0.67 W across; the longest test names would
    // run out of the window in a wide window, so the legend's font shrinks until the
    // longest drawn line ends inside it (the line spacing stays that of the chart font).
    const double legendX = xL + width + 0.12 * W;
    double legendFontSize = fontSize;
    double longest = 0;
    for (const auto& curve : data.curves)
        longest = std::max(longest, metrics.TextWidth(LegendText(curve.test), fontSize, false));
    const double room = W - legendX - 0.01 * W;
    if (longest > room && room > 0)
        legendFontSize = fontSize * room / longest;
    ops.push_back(
        TextOp{0.02 * W, yT - 2 * th, "Cumulative frequency of P values", fontSize, false, kBlack});

    // Probability of the excluded tables by kind: MMT only, MEN only, both. The policy is
    // the same for every test, so the shares kept from the last curve serve for all.
    std::array<double, 3> excluded{0, 0, 0};
    double currentX = xL, currentY = yB;
    for (const CumulativeCurve& curve : data.curves) {
        const Colour colour = TestColour(curve.test);
        currentX = xL;
        currentY = yB;
        excluded = {0, 0, 0};
        const std::size_t G = curve.groups.size();
        const double side = 0.05 * height / std::sqrt(static_cast<double>(G));
        // Without markers, a point closer than a quarter unit both ways to the last one
        // drawn is passed over (the next line starts from the last one drawn), and the
        // last point of the curve is always reached: the picture is the same, and a large
        // N gives thousands of lines instead of millions.
        const bool thin = G >= kMostGroupsWithMarkers;
        bool pending = false;
        double pendingX = 0, pendingY = 0;
        for (const CumulativeGroup& group : curve.groups) {
            if (group.pValue == PolicyCodeMarginal) {
                excluded[0] = group.proportion;
            } else if (group.pValue == PolicyCodeExpected) {
                excluded[1] = group.proportion;
            } else if (group.pValue == PolicyCodeBoth) {
                excluded[2] = group.proportion;
            } else {
                const double x = xL + group.pValue * width;
                const double y = yB - group.cumulative * height;
                if (!std::isfinite(x) || !std::isfinite(y)) {
                    continue; // a point that cannot be placed is not drawn
                }
                if (thin && std::abs(x - currentX) < kSameSpot &&
                    std::abs(y - currentY) < kSameSpot) {
                    pending = true;
                    pendingX = x;
                    pendingY = y;
                    continue;
                }
                pending = false;
                ops.push_back(LineOp{currentX, currentY, x, y, colour});
                if (!thin) {
                    ops.push_back(FilledRectOp{x - side / 2, y - side / 2, x + side / 2,
                                               y + side / 2, colour, colour});
                }
                currentX = x;
                currentY = y;
            }
        }
        if (pending) {
            ops.push_back(LineOp{currentX, currentY, pendingX, pendingY, colour});
            currentX = pendingX;
            currentY = pendingY;
        }
        ops.push_back(TextOp{legendX, yT + 1.5 * curve.test * th, LegendText(curve.test),
                             legendFontSize, false, colour});
    }

    // Bars of the excluded tables, stacked upwards from the end of the last curve.
    const std::array<std::string, 3> upperTexts{"MMT", "MEN",
                                                "MMT <" + PlainNumberText(data.MMT) + " and"};
    const std::array<std::string, 3> lowerTexts{"<" + PlainNumberText(data.MMT),
                                                "<" + PlainNumberText(data.MEN),
                                                "MEN <" + PlainNumberText(data.MEN)};
    double base = currentY;
    bool anyBar = false;
    for (std::size_t k = 1; k <= 3; ++k) {
        const double e = excluded[k - 1];
        if (!(e > 0.01)) {
            continue;
        }
        const double xk = xL + width + (static_cast<double>(k) - 0.5) * 0.03 * W;
        const double top = base - e * height;
        ops.push_back(FilledRectOp{xk, base, xk + 0.01 * W, top, kGrey, kGrey});
        base = top;
        ops.push_back(TextOp{xk, yT - 2 * th, upperTexts[k - 1], fontSize, false, kBlack});
        ops.push_back(TextOp{xk, yT - th, lowerTexts[k - 1], fontSize, false, kBlack});
        anyBar = true;
    }
    if (anyBar) {
        ops.push_back(
            TextOp{xL + width, yT - 3 * th, "Excluded tables: ", fontSize, false, kBlack});
    }

    // P-value axis.
    for (int i = 0; i <= 10; ++i) {
        const double x = xL + (i / 10.0) * width;
        ops.push_back(LineOp{x, yB, x, yB - 0.01 * W, kBlack});
        const std::string label = GiveSignedNumberTonsf(i / 10.0, 2);
        ops.push_back(TextOp{x - metrics.TextWidth(label, fontSize, false) / 2, yB + th, label,
                             fontSize, false, kBlack});
    }
    const std::string pLabel = "P value";
    ops.push_back(TextOp{xL + 0.25 * W - metrics.TextWidth(pLabel, fontSize, false) / 2,
                         yB + 2 * th, pLabel, fontSize, false, kBlack});

    // Cumulative-frequency axis.
    for (int i = 0; i <= 10; ++i) {
        const double y = yB - (i / 10.0) * height;
        ops.push_back(LineOp{xL, y, xL + 0.01 * W, y, kBlack});
        const std::string label = PlainNumberText(10.0 * i) + "%";
        ops.push_back(TextOp{xL - 0.01 * W - metrics.TextWidth(label, fontSize, false), y - th / 2,
                             label, fontSize, false, kBlack});
    }
    return drawing;
}

Drawing BuildCumulativeChartPicture(const CumulativeChartData& data, double W, double H,
                                    const TextMetrics& metrics) {
    Drawing drawing = BuildCumulativeChart(data, W, H, metrics);
    const ChartWindowLayout layout = LayOutCumulativeChartWindow(W, H);
    AppendTextBox(drawing, TextBox{layout.caption, data.caption, layout.fontSize, kBlack}, metrics);
    return drawing;
}

} // namespace quillon
