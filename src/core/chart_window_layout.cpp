#include "core/chart_window_layout.h"

namespace quillon {

ChartWindowLayout LayOutChartWindow(double W, double H) {
    ChartWindowLayout layout;
    layout.fontSize = WindowFontSize(0.0008, W, H);
    layout.caption = FractionBox(W, H, 0, 0, 0.95, 0.07);
    layout.nextChart = FractionBox(W, H, 0.83, 0.5, 0.12, 0.06);
    layout.pause = FractionBox(W, H, 0.83, 0.6, 0.12, 0.06);
    layout.print = FractionBox(W, H, 0.83, 0.7, 0.12, 0.06);
    layout.exit = FractionBox(W, H, 0.83, 0.8, 0.12, 0.06);
    layout.stop = FractionBox(W, H, 0.83, 0.9, 0.12, 0.06);
    layout.pointValue = FractionBox(W, H, 0.7, 0.1, 0.25, 0.09);
    layout.areaBound = FractionBox(W, H, 0.7, 0.2, 0.25, 0.09);
    layout.overallMaximum = FractionBox(W, H, 0.7, 0.3, 0.25, 0.09);
    layout.residueBound = FractionBox(W, H, 0.7, 0.4, 0.25, 0.09);
    return layout;
}

} // namespace quillon
