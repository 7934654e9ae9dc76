// Small readers of a display list for the chart tests: the primitives of one kind, the
// texts, and the primitives in a colour.
#pragma once

#include "core/drawing.h"

#include <string>
#include <type_traits>
#include <variant>
#include <vector>

namespace quillon::testing {

template <typename Op> std::vector<Op> OpsOf(const Drawing& drawing) {
    std::vector<Op> found;
    for (const DrawOp& op : drawing.ops) {
        if (const auto* p = std::get_if<Op>(&op)) {
            found.push_back(*p);
        }
    }
    return found;
}

template <typename Op> std::vector<Op> OpsIn(const Drawing& drawing, Colour colour) {
    std::vector<Op> found;
    for (const Op& op : OpsOf<Op>(drawing)) {
        if constexpr (std::is_same_v<Op, FilledRectOp>) {
            if (op.fill == colour) {
                found.push_back(op);
            }
        } else if (op.colour == colour) {
            found.push_back(op);
        }
    }
    return found;
}

inline std::vector<std::string> Texts(const Drawing& drawing) {
    std::vector<std::string> texts;
    for (const TextOp& op : OpsOf<TextOp>(drawing)) {
        texts.push_back(op.text);
    }
    return texts;
}

// The texts whose top is at y (within a millionth of a unit), left to right as drawn.
inline std::vector<std::string> TextsAtTop(const Drawing& drawing, double y) {
    std::vector<std::string> texts;
    for (const TextOp& op : OpsOf<TextOp>(drawing)) {
        if (op.y > y - 1e-6 && op.y < y + 1e-6) {
            texts.push_back(op.text);
        }
    }
    return texts;
}

inline bool HasText(const Drawing& drawing, const std::string& text) {
    for (const TextOp& op : OpsOf<TextOp>(drawing)) {
        if (op.text == text) {
            return true;
        }
    }
    return false;
}

inline constexpr Colour kBlackColour{0, 0, 0};
inline constexpr Colour kGreyColour{127, 127, 127};

} // namespace quillon::testing
