// A chart as a toolkit-neutral display list: an ordered list of primitives in the
// window's own drawing units (origin top left, y downwards). Chart builders are plain
// functions of their data and the window size that return one; the desktop program
// replays it with its painter and the command line writes it as SVG, so chart geometry
// is tested without painting anything.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace quillon {

struct Colour {
    std::uint8_t red = 0, green = 0, blue = 0;
    friend bool operator==(const Colour&, const Colour&) = default;
};

struct ClearOp {
    Colour background{255, 255, 255};
};
struct LineOp {
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    Colour colour;
};
// Outline of the rectangle with corners (x1, y1) and (x2, y2).
struct RectOp {
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    Colour colour;
};
// Rectangle filled with `fill` and outlined with `outline`.
struct FilledRectOp {
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    Colour fill;
    Colour outline;
};
// Text whose top-left corner is at (x, y), as the window's current position is used.
struct TextOp {
    double x = 0, y = 0;
    std::string text;
    double fontSize = 8; // points
    bool bold = false;
    Colour colour;
};

using DrawOp = std::variant<ClearOp, LineOp, RectOp, FilledRectOp, TextOp>;

struct Drawing {
    double width = 0, height = 0; // the window's drawing area
    std::vector<DrawOp> ops;
};

// Text size in drawing units for a font size; supplied by the caller (the window measures
// with its real fonts, tests and the command line with a fixed approximation).
class TextMetrics {
public:
    virtual ~TextMetrics() = default;
    virtual double TextWidth(const std::string& text, double fontSize, bool bold) const = 0;
    virtual double TextHeight(double fontSize, bool bold) const = 0;
};

} // namespace quillon
