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

// ---- Helpers shared by the chart builders ----------------------------------------------

// A rectangle of the window by its top-left corner and size: where a window puts a
// control (a button, a text box) that is not part of the drawing itself.
struct Box {
    double left = 0, top = 0, width = 0, height = 0;
    friend bool operator==(const Box&, const Box&) = default;
};

// A text box of a chart window (a caption, a title, a figure of the search): the window
// shows it as a control; a standalone picture draws it with AppendTextBox.
struct TextBox {
    Box box;
    std::string text; // lines separated by '\n'
    double fontSize = 8;
    Colour colour;
};

// Pixels per inch of the drawing unit: the windows use device-independent pixels.
inline constexpr double kUnitsPerInch = 96;
// Twips (1/1440 inch) per drawing unit.
inline constexpr double kTwipsPerUnit = 1440 / kUnitsPerInch;

// The font size, in points, of a window W by H units whose charts use `factor` x the
// square root of the window's area measured in twips (0.0008 for the chart window, 0.0009
// for the summary chart and the two-test scatter).
double WindowFontSize(double factor, double W, double H);

// The box at fractions of the window size.
Box FractionBox(double W, double H, double left, double top, double width, double height);

// Draws a text box as a picture of the control: white, outlined in grey, its lines
// (split at '\n' and wrapped at blanks to the box's width) from the top left with a small
// margin, clipped to the box's height.
void AppendTextBox(Drawing& drawing, const TextBox& box, const TextMetrics& metrics);

// The lines of `text` as a box of the given width shows them: split at '\n', then each
// wrapped at blanks so it fits (a single word wider than the box keeps its own line). A
// line of items set apart by runs of two or more blanks (a chart heading) breaks between
// items, never inside one that fits a line of its own.
std::vector<std::string> WrapText(const std::string& text, double width, double fontSize, bool bold,
                                  const TextMetrics& metrics);

} // namespace quillon
