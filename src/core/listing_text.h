// Number texts appended straight to a listing of tables being built. Such listings run to
// hundreds of megabytes, so these avoid the temporary strings of the general
// number texts; they produce exactly the same characters (PlainNumberText and
// GiveNumberTonsf(x, 7)), falling back to them outside the ranges they handle themselves.
#pragma once

#include <cstdint>
#include <string>

namespace quillon {

// PlainNumberText(x).
void AppendPlainNumberText(std::string& out, double x);
// GiveNumberTonsf(x, 7) for x >= 0.
void AppendSevenFigures(std::string& out, double x);
// The table label: each cell as a plain number text.
void AppendTableLabel(std::string& out, std::int32_t a, std::int32_t b, std::int32_t c,
                      std::int32_t d);

} // namespace quillon
