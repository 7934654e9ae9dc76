#include "core/text_metrics.h"

#include <array>

namespace quillon {

namespace {

// Advance widths in thousandths of an em of the printable ASCII characters 32 to 126.
constexpr std::array<short, 95> kRegular = {
    278, 278, 355, 556, 556, 889, 667,  191, 333, 333, 389, 584, 278, 333, 278, 278, // ' '../
    556, 556, 556, 556, 556, 556, 556,  556, 556, 556,                               // 0..9
    278, 278, 584, 584, 584, 556, 1015,                                              // :..@
    667, 667, 722, 722, 667, 611, 778,  722, 278, 500, 667, 556, 833,                // A..M
    722, 778, 667, 778, 722, 667, 611,  722, 667, 944, 667, 667, 611,                // N..Z
    278, 278, 278, 469, 556, 333,                                                    // [..`
    556, 556, 500, 556, 556, 278, 556,  556, 222, 222, 500, 222, 833,                // a..m
    556, 556, 556, 556, 333, 500, 278,  556, 500, 722, 500, 500, 500,                // n..z
    334, 260, 334, 584};                                                             // {..~
constexpr std::array<short, 95> kBold = {
    278, 333, 474, 556, 556, 889, 722, 238, 333, 333, 389, 584, 278, 333, 278, 278, // ' '../
    556, 556, 556, 556, 556, 556, 556, 556, 556, 556,                               // 0..9
    333, 333, 584, 584, 584, 611, 975,                                              // :..@
    722, 722, 722, 722, 667, 611, 778, 722, 278, 556, 722, 611, 833,                // A..M
    722, 778, 667, 778, 722, 667, 611, 722, 667, 944, 667, 667, 611,                // N..Z
    333, 278, 333, 584, 556, 333,                                                   // [..`
    556, 611, 556, 611, 556, 333, 611, 611, 278, 278, 556, 278, 889,                // a..m
    611, 611, 611, 611, 389, 556, 333, 611, 556, 778, 556, 556, 500,                // n..z
    389, 280, 389, 584};                                                            // {..~

constexpr double kOtherWidth = 600;
constexpr double kLineHeightEm = 1.15;
constexpr double kUnitsPerPoint = kUnitsPerInch / 72;

} // namespace

double FixedTextMetrics::TextWidth(const std::string& text, double fontSize, bool bold) const {
    const auto& widths = bold ? kBold : kRegular;
    double thousandths = 0;
    for (const char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte >= 32 && byte <= 126) {
            thousandths += widths[byte - 32];
        } else if ((byte & 0xC0) != 0x80) {
            // A control byte, or the first byte of a UTF-8 character; continuation bytes
            // add nothing.
            thousandths += kOtherWidth;
        }
    }
    return thousandths / 1000 * fontSize * kUnitsPerPoint;
}

double FixedTextMetrics::TextHeight(double fontSize, bool /*bold*/) const {
    return kLineHeightEm * fontSize * kUnitsPerPoint;
}

} // namespace quillon
