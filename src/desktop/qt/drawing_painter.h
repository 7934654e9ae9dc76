// Replaying a chart's display list on a Qt surface, and measuring texts with the real
// fonts so that charts are laid out for what the screen shows.
#pragma once

#include "core/drawing.h"

#include <QFont>

class QPainter;

namespace quillon {

// The font the charts use at `pointSize` points.
QFont ChartFont(double pointSize, bool bold = false);

// Text widths and heights in device-independent pixels, by the chart font. Safe to call
// from any thread: measuring away from the user-interface thread is done there.
class QtTextMetrics final : public TextMetrics {
public:
    double TextWidth(const std::string& text, double fontSize, bool bold) const override;
    double TextHeight(double fontSize, bool bold) const override;
};

// Draws every operation of `drawing` in order, in the painter's current coordinates
// (one unit per device-independent pixel).
void PaintDrawing(QPainter& painter, const Drawing& drawing);

} // namespace quillon
