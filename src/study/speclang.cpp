#include "study/speclang.h"

#include "core/numtext.h"

#include <cctype>

namespace quillon {

namespace {

char Upper(char ch) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
}

// Position of `word` (upper case) in `text`, in any letter case, or npos.
std::size_t FindNoCase(std::string_view text, std::string_view word, std::size_t from = 0) {
    if (word.size() > text.size())
        return std::string_view::npos;
    for (std::size_t i = from; i + word.size() <= text.size(); ++i) {
        bool match = true;
        for (std::size_t k = 0; k < word.size() && match; ++k)
            match = Upper(text[i + k]) == word[k];
        if (match)
            return i;
    }
    return std::string_view::npos;
}

} // namespace

Expansion ExpandSpecification(std::string_view text) {
    Expansion result;
    if (text == "*") {
        result.asterisk = true;
        result.interpretation = std::string(NoCalculationsText);
        return result;
    }

    // "to" in any case, wherever it stands, becomes "-". A "-" can never form a new
    // "to", so one pass from the start leaves none.
    std::string s(text);
    for (std::size_t at = FindNoCase(s, "TO"); at != std::string::npos;
         at = FindNoCase(s, "TO", at))
        s.replace(at, 2, "-");

    std::vector<double> generated;
    auto add = [&](double v) {
        if (generated.size() >= MaxSpecificationValues) {
            result.truncated = true;
            return false;
        }
        generated.push_back(v);
        return true;
    };

    std::size_t itemStart = 0;
    for (;;) {
        const std::size_t comma = s.find(',', itemStart);
        const std::string_view item = std::string_view(s).substr(
            itemStart, comma == std::string::npos ? std::string::npos : comma - itemStart);
        const std::size_t dash = item.find('-');
        if (dash == std::string_view::npos) {
            add(NumericReading(item));
        } else {
            const double start = NumericReading(item.substr(0, dash));
            const std::string_view rest = item.substr(dash + 1);
            double end = 0;
            double step = 1;
            const std::size_t stepAt = FindNoCase(rest, "STEP");
            if (stepAt != std::string_view::npos) {
                end = NumericReading(rest.substr(0, stepAt)) + 0.00001;
                step = NumericReading(rest.substr(stepAt + 4));
                if (step == 0)
                    step = 1;
            } else {
                end = NumericReading(rest);
            }
            // A counting loop by repeated addition; the cap ends ranges that are too long
            // or whose step no longer moves the sum.
            for (double v = start; step >= 0 ? v <= end : v >= end; v = v + step)
                if (!add(v))
                    break;
        }
        if (result.truncated || comma == std::string::npos)
            break;
        itemStart = comma + 1;
    }

    for (std::size_t i = 0; i < generated.size(); ++i) {
        std::string piece = PlainNumberText(generated[i]);
        if (i == 0 && !piece.empty() && piece[0] == ' ')
            piece.erase(0, 1);
        result.interpretation += piece;
        // What a driver reads back from the text: the value to 15 significant digits.
        result.values.push_back(NumericReading(piece));
    }
    if (result.truncated)
        result.interpretation +=
            " ... (more than " + std::to_string(MaxSpecificationValues) + " values)";
    return result;
}

std::string TooManyValuesMessage(std::string_view displayName) {
    return "The specification for '" + std::string(displayName) + "' gives more than " +
           std::to_string(MaxSpecificationValues) + " values.  Please specify a shorter list.";
}

std::vector<double> SplitInterpretation(std::string_view interpretation) {
    std::vector<double> values;
    std::string_view rest = interpretation;
    for (;;) {
        const std::size_t blank = rest.find(' ');
        if (blank == std::string_view::npos) {
            values.push_back(NumericReading(rest));
            return values;
        }
        values.push_back(NumericReading(rest.substr(0, blank)));
        rest = rest.substr(blank + 1);
    }
}

std::optional<std::string> RangeCheck(double value, double minimum, double maximum,
                                      std::string_view displayName) {
    if (value < minimum)
        return "The value " + PlainNumberText(value) + " for variable '" +
               std::string(displayName) + "' is less than the " + "minimum value allowed of" +
               PlainNumberText(minimum) + ".";
    if (value > maximum)
        return "The value" + PlainNumberText(value) + " for variable '" + std::string(displayName) +
               "' is greater than the " + "maximum value allowed of" + PlainNumberText(maximum) +
               ".";
    return std::nullopt;
}

std::string NotAnIntegerMessage(double value) {
    return PlainNumberText(value) + " is not an integer";
}

} // namespace quillon
