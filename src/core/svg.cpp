#include "core/svg.h"

#include "core/text_metrics.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string_view>
#include <type_traits>
#include <variant>

namespace quillon {

namespace {

// A coordinate or size with at most three decimals, no exponent, no "-0": independent of
// the locale, and stable against differences in the last bits of the layout arithmetic.
void AppendNumber(std::string& out, double value) {
    if (!std::isfinite(value)) {
        value = 0;
    }
    double rounded = std::round(value * 1000) / 1000;
    if (rounded == 0) {
        rounded = 0; // no "-0"
    }
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, rounded, std::chars_format::fixed, 3);
    std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));
    while (text.back() == '0') {
        text.remove_suffix(1);
    }
    if (text.back() == '.') {
        text.remove_suffix(1);
    }
    out += text;
}

void AppendAttribute(std::string& out, std::string_view name, double value) {
    out += ' ';
    out += name;
    out += "=\"";
    AppendNumber(out, value);
    out += '"';
}

void AppendColour(std::string& out, std::string_view name, Colour colour) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "#%02x%02x%02x", colour.red, colour.green, colour.blue);
    out += ' ';
    out += name;
    out += "=\"";
    out += buffer;
    out += '"';
}

// Length of the valid UTF-8 character starting at text[i], or 0 when the bytes there do
// not form one.
std::size_t Utf8Length(std::string_view text, std::size_t i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    char32_t code = 0;
    if (lead < 0x80) {
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2;
        code = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        code = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        code = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > text.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        const auto byte = static_cast<unsigned char>(text[i + k]);
        if ((byte & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (byte & 0x3F);
    }
    const bool overlong = (length == 2 && code < 0x80) || (length == 3 && code < 0x800) ||
                          (length == 4 && code < 0x10000);
    if (overlong || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return 0;
    }
    return length;
}

// Text content escaped for XML; control characters (not allowed in XML) become blanks and
// bytes that are not UTF-8 become the replacement character, so the document stays valid
// whatever a title read from a file holds.
void AppendEscaped(std::string& out, std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const char ch = text[i];
        const std::size_t length = Utf8Length(text, i);
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        if (length > 1) {
            out.append(text.substr(i, length));
        } else if (ch == '&') {
            out += "&amp;";
        } else if (ch == '<') {
            out += "&lt;";
        } else if (ch == '>') {
            out += "&gt;";
        } else if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F) {
            out += ' ';
        } else {
            out += ch;
        }
        i += length;
    }
}

void AppendOp(std::string& out, const LineOp& op) {
    out += "<line";
    AppendAttribute(out, "x1", op.x1);
    AppendAttribute(out, "y1", op.y1);
    AppendAttribute(out, "x2", op.x2);
    AppendAttribute(out, "y2", op.y2);
    AppendColour(out, "stroke", op.colour);
    out += "/>\n";
}

void AppendRect(std::string& out, double x1, double y1, double x2, double y2) {
    out += "<rect";
    AppendAttribute(out, "x", std::min(x1, x2));
    AppendAttribute(out, "y", std::min(y1, y2));
    AppendAttribute(out, "width", std::abs(x2 - x1));
    AppendAttribute(out, "height", std::abs(y2 - y1));
}

void AppendOp(std::string& out, const RectOp& op) {
    AppendRect(out, op.x1, op.y1, op.x2, op.y2);
    out += " fill=\"none\"";
    AppendColour(out, "stroke", op.colour);
    out += "/>\n";
}

void AppendOp(std::string& out, const FilledRectOp& op) {
    AppendRect(out, op.x1, op.y1, op.x2, op.y2);
    AppendColour(out, "fill", op.fill);
    AppendColour(out, "stroke", op.outline);
    out += "/>\n";
}

void AppendOp(std::string& out, const TextOp& op) {
    const FixedTextMetrics metrics;
    const double fontUnits = op.fontSize * kUnitsPerInch / 72;
    out += "<text";
    AppendAttribute(out, "x", op.x);
    AppendAttribute(out, "y",
                    op.y + kBaselineShareOfLine * metrics.TextHeight(op.fontSize, op.bold));
    AppendAttribute(out, "font-size", fontUnits);
    if (op.bold) {
        out += " font-weight=\"bold\"";
    }
    AppendColour(out, "fill", op.colour);
    out += '>';
    AppendEscaped(out, op.text);
    out += "</text>\n";
}

} // namespace

std::string DrawingToSvg(const Drawing& drawing) {
    std::string head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg "
                       "xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\"";
    AppendAttribute(head, "width", drawing.width);
    AppendAttribute(head, "height", drawing.height);
    head += " viewBox=\"0 0 ";
    AppendNumber(head, drawing.width);
    head += ' ';
    AppendNumber(head, drawing.height);
    head += "\" xml:space=\"preserve\" font-family=\"Liberation Sans, Nimbus Sans, Arial, "
            "sans-serif\" stroke-width=\"1\">\n";

    // A clear wipes out everything drawn before it, so only what follows the last one
    // reaches the document.
    std::string body;
    for (const DrawOp& op : drawing.ops) {
        if (const auto* clear = std::get_if<ClearOp>(&op)) {
            body.clear();
            body += "<rect x=\"0\" y=\"0\" width=\"100%\" height=\"100%\"";
            AppendColour(body, "fill", clear->background);
            body += "/>\n";
        } else {
            std::visit(
                [&body](const auto& primitive) {
                    if constexpr (!std::is_same_v<std::decay_t<decltype(primitive)>, ClearOp>) {
                        AppendOp(body, primitive);
                    }
                },
                op);
        }
    }
    return head + body + "</svg>\n";
}

} // namespace quillon
