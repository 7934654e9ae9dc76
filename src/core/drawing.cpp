#include "core/drawing.h"

#include <cmath>
#include <cstddef>

namespace quillon {

double WindowFontSize(double factor, double W, double H) {
    return factor * std::sqrt((W * kTwipsPerUnit) * (H * kTwipsPerUnit));
}

Box FractionBox(double W, double H, double left, double top, double width, double height) {
    return Box{left * W, top * H, width * W, height * H};
}

namespace {

// Splits a paragraph into lines that fit `width`, breaking at blanks. Blanks at a break
// are dropped; blanks inside a line (the number texts carry a leading one) are kept.
void WrapWords(const std::string& paragraph, double width, double fontSize, bool bold,
               const TextMetrics& metrics, std::vector<std::string>& lines) {
    if (metrics.TextWidth(paragraph, fontSize, bold) <= width) {
        lines.push_back(paragraph);
        return;
    }
    std::string line;
    std::size_t pos = 0;
    while (pos < paragraph.size()) {
        // The next word with the blanks before it.
        std::size_t end = pos;
        while (end < paragraph.size() && paragraph[end] == ' ') {
            ++end;
        }
        while (end < paragraph.size() && paragraph[end] != ' ') {
            ++end;
        }
        const std::string piece = paragraph.substr(pos, end - pos);
        if (!line.empty() && metrics.TextWidth(line + piece, fontSize, bold) > width) {
            lines.push_back(line);
            const std::size_t first = piece.find_first_not_of(' ');
            line = first == std::string::npos ? std::string() : piece.substr(first);
        } else {
            line += piece;
        }
        pos = end;
    }
    if (!line.empty()) {
        lines.push_back(line);
    }
}

// A heading is a row of items ("N = 20", "alpha = .05") set apart by runs of blanks: a line
// breaks between items where it can, so that no item is split from its value, and an item
// wider than the line alone breaks at its own blanks. A paragraph without such runs breaks
// at any blank.
void WrapParagraph(const std::string& paragraph, double width, double fontSize, bool bold,
                   const TextMetrics& metrics, std::vector<std::string>& lines) {
    if (metrics.TextWidth(paragraph, fontSize, bold) <= width) {
        lines.push_back(paragraph);
        return;
    }
    // Each item with the run of blanks before it.
    std::vector<std::string> items;
    std::size_t pos = 0;
    while (pos < paragraph.size()) {
        std::size_t end = pos;
        while (end < paragraph.size() && paragraph[end] == ' ')
            ++end;
        while (end < paragraph.size() &&
               !(paragraph[end] == ' ' && end + 1 < paragraph.size() && paragraph[end + 1] == ' '))
            ++end;
        items.push_back(paragraph.substr(pos, end - pos));
        pos = end;
    }
    if (items.size() <= 1) {
        WrapWords(paragraph, width, fontSize, bold, metrics, lines);
        return;
    }
    std::string line;
    for (const std::string& item : items) {
        if (!line.empty() && metrics.TextWidth(line + item, fontSize, bold) > width) {
            lines.push_back(line);
            const std::size_t first = item.find_first_not_of(' ');
            line = first == std::string::npos ? std::string() : item.substr(first);
        } else {
            line += item;
        }
        if (metrics.TextWidth(line, fontSize, bold) > width) {
            std::vector<std::string> parts;
            WrapWords(line, width, fontSize, bold, metrics, parts);
            lines.insert(lines.end(), parts.begin(), parts.end() - 1);
            line = parts.back();
        }
    }
    if (!line.empty())
        lines.push_back(line);
}

} // namespace

std::vector<std::string> WrapText(const std::string& text, double width, double fontSize, bool bold,
                                  const TextMetrics& metrics) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find('\n', start);
        std::string paragraph = text.substr(start, end == std::string::npos ? end : end - start);
        if (!paragraph.empty() && paragraph.back() == '\r') {
            paragraph.pop_back();
        }
        if (paragraph.empty()) {
            lines.emplace_back();
        } else {
            WrapParagraph(paragraph, width, fontSize, bold, metrics, lines);
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return lines;
}

void AppendTextBox(Drawing& drawing, const TextBox& box, const TextMetrics& metrics) {
    constexpr Colour kWhite{255, 255, 255};
    constexpr Colour kBorder{160, 160, 160};
    const Box& b = box.box;
    drawing.ops.push_back(
        FilledRectOp{b.left, b.top, b.left + b.width, b.top + b.height, kWhite, kBorder});
    const double th = metrics.TextHeight(box.fontSize, false);
    const double margin = 0.25 * th;
    double y = b.top + margin;
    for (const std::string& line :
         WrapText(box.text, b.width - 2 * margin, box.fontSize, false, metrics)) {
        if (y + th > b.top + b.height + 1e-9) {
            break; // the control shows no more lines than fit
        }
        if (!line.empty()) {
            drawing.ops.push_back(
                TextOp{b.left + margin, y, line, box.fontSize, false, box.colour});
        }
        y += th;
    }
}

} // namespace quillon
