// A fixed approximation of text metrics, so that charts laid out without a window (the
// command line, the tests, golden files) come out the same on every machine.
//
// Widths are those of a common proportional sans-serif face, in thousandths of an em, per
// printable ASCII character (bold a little wider); any other byte counts as a wide
// letter (600), and the bytes of one multi-byte UTF-8 character count once. A point is
// 96 / 72 drawing units (device-independent pixels), and the height of a line of text is
// 1.15 em. These are approximations: the desktop program measures with its real fonts.
#pragma once

#include "core/drawing.h"

#include <string>

namespace quillon {

class FixedTextMetrics final : public TextMetrics {
public:
    double TextWidth(const std::string& text, double fontSize, bool bold) const override;
    double TextHeight(double fontSize, bool bold) const override;
};

// Distance from the top of a line of text to its baseline, as a share of the line height
// given by FixedTextMetrics (used by the SVG writer, which places text by its baseline).
inline constexpr double kBaselineShareOfLine = 0.905 / 1.15;

} // namespace quillon
