// A display list written as an SVG document. The output depends only on the drawing: the
// same drawing gives the same bytes on every machine and in every locale (numbers are
// written with at most three decimals and a point), so pictures can be kept as golden
// files and compared.
#pragma once

#include "core/drawing.h"

#include <string>

namespace quillon {

// The SVG document of `drawing`, its viewBox being the drawing's width and height. Texts
// are placed by their top-left corner with the baseline at kBaselineShareOfLine of the line
// height of FixedTextMetrics, in a sans-serif face.
std::string DrawingToSvg(const Drawing& drawing);

} // namespace quillon
