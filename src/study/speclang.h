// The specification language of the study windows.
//
// A field holds a single value, values separated by commas, ranges "10 - 20", sequences
// "10 to 30 step 2" (the letters "to" in any case become "-"), or a lone "*" (no new
// calculation, only a chart of earlier data). Each item is read with NumericReading; a
// range counts by repeated addition of its step (1 when none or 0), and a stepped range
// gets .00001 added to its end so that accumulated rounding keeps the nominal end.
//
// Expansion never fails, but it stops after MaxSpecificationValues values so that a range
// such as 0 - 1e12, or a step too small to move the sum, cannot hang or exhaust memory.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

inline constexpr std::size_t MaxSpecificationValues = 100'000;
inline constexpr std::string_view NoCalculationsText =
    "No calculations - just show chart of previous data";

struct Expansion {
    bool asterisk = false;  // the text was exactly "*"
    bool truncated = false; // more than MaxSpecificationValues values
    // The values in the order generated, duplicates kept, each as it reads back from its
    // 15-digit text (.1 + .2 gives .3). Empty for an empty interpretation.
    std::vector<double> values;
    std::string interpretation; // the text shown to the user
};

Expansion ExpandSpecification(std::string_view text);

// The message a caller shows when a list was cut short; names the field's display name.
std::string TooManyValuesMessage(std::string_view displayName);

// The values of an interpretation text as the study drivers read them: pieces between
// blanks, each by NumericReading; an empty interpretation (5 - 1) gives the single value 0,
// which the range check then refuses where 0 is out of range.
std::vector<double> SplitInterpretation(std::string_view interpretation);

// The range check: the message when value lies outside [minimum, maximum], else nothing.
std::optional<std::string> RangeCheck(double value, double minimum, double maximum,
                                      std::string_view displayName);

// The refusal of a value that must be whole: S(value) + " is not an integer".
std::string NotAnIntegerMessage(double value);

} // namespace quillon
