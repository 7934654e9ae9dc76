// The specification language of the study windows.
//
// A field holds a single value, values separated by commas, ranges "10 - 20", sequences
// "10 to 30 step 2" (the letters "to" in any case become "-"), or a lone "*" (no new
// calculation, only a chart of earlier data). Each item is read with NumericReading; a
// range counts by repeated addition of its step (1 when none or 0), and a stepped range
// gets .00001 added to its end so that accumulated rounding keeps the nominal end.
//
// A negative step counts down and gets .00001 taken from its end, so that "10 to 4 step -1"
// ends with 4 as "4 to 10 step 1" ends with 10.
//
// Two readings of the same language. The lenient reading is the windows' own: it never
// fails; text that is not a number is passed over and a value with no number in it reads as
// 0, and the expansion says what was passed over so that the window can show it. The strict
// reading is the command line's: the text must be read whole (numbers, with exponents;
// commas; "-" or "to" between the ends of a range; "step"), and anything else is refused
// with the reason, before any value is used.
//
// Expansion stops after MaxSpecificationValues values so that a range such as 0 - 1e12, or a
// step too small to move the sum, cannot hang or exhaust memory.
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

enum class Reading {
    Lenient, // the windows: what is not a number is passed over, no number reads as 0
    Strict,  // the command line: the text is read whole or refused
};

struct Expansion {
    bool asterisk = false;  // the text was exactly "*"
    bool truncated = false; // more than MaxSpecificationValues values
    // The values in the order generated, duplicates kept, each as it reads back from its
    // 15-digit text (.1 + .2 gives .3). Empty for an empty interpretation.
    std::vector<double> values;
    std::string interpretation; // the text shown to the user
    // Strict reading: why the text cannot be read (then nothing was expanded).
    std::optional<std::string> unreadable;
    // The text is one number, not a list or a range.
    bool singleNumber = false;
    // Lenient reading: the pieces of text passed over, and whether a value with no number
    // in it (an empty item, "abc", the missing start of "-5") was read as 0.
    std::vector<std::string> ignored;
    bool readAsZero = false;
};

Expansion ExpandSpecification(std::string_view text, Reading reading = Reading::Lenient);

// A single-value field read strictly: one number and nothing else. Returns why not.
std::optional<std::string> SingleValueProblem(std::string_view text);

// The refusal of a text that cannot be read strictly: names the field (an option such as
// --p1, or a quoted display name) and quotes the text as typed.
std::string UnreadableMessage(std::string_view fieldName, std::string_view text,
                              std::string_view reason);

// What a lenient reading passed over or read as 0, for the interpretation box; empty when
// the text was read whole. The single-value form is for a field holding one number.
std::string ReadingNote(const Expansion& expansion);
std::string SingleValueReadingNote(std::string_view text);

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
