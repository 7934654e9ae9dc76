// The exact unconditional tests of one table as the analysis prints them: a heading that
// says what the two P values are, then one line a test with the P value and the proportion
// of column A at which the total is largest.
#pragma once

#include <string>
#include <string_view>

namespace quillon {

// The text appended after an analysis (and after the effect sizes when both are asked),
// from its heading to the line of 100 hyphens, with `eol` after every line.
// Preconditions: whole, non-negative cells with no zero row or column total (as left by
// ValidateTable).
std::string UnconditionalTestsText(double a, double b, double c, double d, std::string_view eol);

} // namespace quillon
