// Pictures painted by the window toolkit for the command line: PNG and PDF files of a
// display list, painted as the windows paint it. A build without the toolkit has none.
#pragma once

#include "core/drawing.h"

#include <optional>
#include <string>

namespace quillon::cli {

enum class PaintedFormat { Png, Pdf };

// False in a build without Qt, where only SVG charts can be written.
bool PaintedPicturesAvailable();

// The bytes of the picture: a PNG of one pixel per drawing unit, or a one-page PDF of
// the drawing's size at 96 units per inch. An error message when it cannot be painted.
std::optional<std::string> PaintPicture(const Drawing& drawing, PaintedFormat format,
                                        std::string& bytes);

} // namespace quillon::cli
