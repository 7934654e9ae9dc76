#include "study/speclang.h"

#include "core/numtext.h"

#include <cctype>
#include <optional>
#include <vector>

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

// One item of a specification: a value, or a range with its step.
struct Item {
    double start = 0, end = 0, step = 1;
    bool range = false;
    bool stepped = false;
    std::string_view text; // as typed, for a refusal
};

bool IsBlank(char ch) {
    return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n';
}
bool IsDigit(char ch) {
    return ch >= '0' && ch <= '9';
}
bool IsLetter(char ch) {
    return std::isalpha(static_cast<unsigned char>(ch)) != 0;
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::string Quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

// The lenient reading of one number, noting what it passed over.
double ReadNoting(std::string_view piece, Expansion& notes) {
    const LeadingNumber read = ReadLeadingNumber(piece);
    if (!read.found)
        notes.readAsZero = true;
    const std::string_view rest = Trimmed(piece.substr(read.used));
    if (!rest.empty())
        notes.ignored.emplace_back(rest);
    return read.value;
}

// The windows' reading: "to" becomes "-", items split at commas, each end read by
// NumericReading. Never fails.
std::vector<Item> LenientItems(std::string_view text, Expansion& notes, std::string& replaced) {
    // "to" in any case, wherever it stands, becomes "-". A "-" can never form a new
    // "to", so one pass from the start leaves none.
    replaced = std::string(text);
    for (std::size_t at = FindNoCase(replaced, "TO"); at != std::string::npos;
         at = FindNoCase(replaced, "TO", at))
        replaced.replace(at, 2, "-");

    std::vector<Item> items;
    std::size_t itemStart = 0;
    for (;;) {
        const std::size_t comma = replaced.find(',', itemStart);
        Item item;
        item.text = std::string_view(replaced).substr(
            itemStart, comma == std::string::npos ? std::string::npos : comma - itemStart);
        const std::size_t dash = item.text.find('-');
        if (dash == std::string_view::npos) {
            item.start = ReadNoting(item.text, notes);
        } else {
            item.range = true;
            item.start = ReadNoting(item.text.substr(0, dash), notes);
            const std::string_view rest = item.text.substr(dash + 1);
            const std::size_t stepAt = FindNoCase(rest, "STEP");
            if (stepAt != std::string_view::npos) {
                item.stepped = true;
                item.end = ReadNoting(rest.substr(0, stepAt), notes);
                item.step = ReadNoting(rest.substr(stepAt + 4), notes);
                if (item.step == 0)
                    item.step = 1;
            } else {
                item.end = ReadNoting(rest, notes);
            }
        }
        items.push_back(item);
        if (comma == std::string::npos)
            return items;
        itemStart = comma + 1;
    }
}

// The command line's reading: every character must belong to a number, a comma, a range's
// "-" or "to", or a "step"; blanks only between them.
class StrictItems {
public:
    explicit StrictItems(std::string_view text) : text_(text) {}

    // The items, or why the text cannot be read.
    std::optional<std::string> Read(std::vector<Item>& items) {
        if (Trimmed(text_).empty())
            return "there is no value";
        for (;;) {
            Item item;
            if (auto problem = ReadItem(item))
                return problem;
            items.push_back(item);
            if (at_ == text_.size())
                return std::nullopt;
            ++at_; // the comma
        }
    }

private:
    std::optional<std::string> ReadItem(Item& item) {
        const std::size_t itemStart = at_;
        SkipBlanks();
        if (AtItemEnd())
            return std::string("a value is missing before or after a comma");
        if (!ReadNumber(item.start))
            return NotANumber();
        std::size_t afterNumber = at_;
        SkipBlanks();
        if (!AtItemEnd()) {
            if (text_[at_] == '-') {
                ++at_;
            } else if (NextWordIs("to")) {
                at_ += 2;
            } else {
                return Leftover(afterNumber);
            }
            item.range = true;
            SkipBlanks();
            if (AtItemEnd())
                return "the range " + Quoted(Trimmed(text_.substr(itemStart, at_ - itemStart))) +
                       " has no end";
            if (!ReadNumber(item.end))
                return NotANumber();
            afterNumber = at_;
            SkipBlanks();
            if (NextWordIs("step")) {
                at_ += 4;
                item.stepped = true;
                SkipBlanks();
                if (AtItemEnd())
                    return std::string("\"step\" has no value after it");
                if (!ReadNumber(item.step))
                    return NotANumber();
                if (item.step == 0)
                    item.step = 1;
                afterNumber = at_;
                SkipBlanks();
            }
        }
        if (!AtItemEnd())
            return Leftover(afterNumber);
        item.text = Trimmed(text_.substr(itemStart, at_ - itemStart));
        return std::nullopt;
    }

    // A number written whole: a sign, digits with at most one point, an exponent.
    bool ReadNumber(double& value) {
        std::size_t i = at_;
        if (i < text_.size() && (text_[i] == '+' || text_[i] == '-'))
            ++i;
        std::size_t digits = 0;
        bool point = false;
        for (; i < text_.size(); ++i) {
            if (IsDigit(text_[i]))
                ++digits;
            else if (text_[i] == '.' && !point)
                point = true;
            else
                break;
        }
        if (digits == 0)
            return false;
        if (i < text_.size() && (text_[i] == 'e' || text_[i] == 'E')) {
            std::size_t j = i + 1;
            if (j < text_.size() && (text_[j] == '+' || text_[j] == '-'))
                ++j;
            if (j < text_.size() && IsDigit(text_[j])) {
                while (j < text_.size() && IsDigit(text_[j]))
                    ++j;
                i = j;
            }
        }
        value = NumericReading(text_.substr(at_, i - at_));
        at_ = i;
        return true;
    }

    void SkipBlanks() {
        while (at_ < text_.size() && IsBlank(text_[at_]))
            ++at_;
    }
    bool AtItemEnd() const { return at_ == text_.size() || text_[at_] == ','; }
    bool NextWordIs(std::string_view word) const {
        std::size_t end = at_;
        while (end < text_.size() && IsLetter(text_[end]))
            ++end;
        return end - at_ == word.size() && FindNoCase(text_.substr(at_, end - at_), Up(word)) == 0;
    }
    static std::string Up(std::string_view word) {
        std::string up(word);
        for (char& ch : up)
            ch = Upper(ch);
        return up;
    }

    // The text from here to the next blank or comma, which should have been a number.
    std::string NotANumber() const {
        std::size_t end = at_;
        while (end < text_.size() && !IsBlank(text_[end]) && text_[end] != ',')
            ++end;
        return Quoted(text_.substr(at_, end - at_)) + " is not a number";
    }

    // What follows a complete value; `afterNumber` is where the value's number ended.
    std::string Leftover(std::size_t afterNumber) const {
        const std::size_t comma = text_.find(',', at_);
        const std::string_view rest =
            Trimmed(text_.substr(at_, comma == std::string_view::npos ? comma : comma - at_));
        if (at_ > afterNumber && (IsDigit(text_[at_]) || text_[at_] == '.')) {
            // Digits after a blank: one number typed with a blank in it, or values that
            // needed a comma between them.
            std::size_t numberStart = afterNumber;
            while (numberStart > 0 && !IsBlank(text_[numberStart - 1]) &&
                   text_[numberStart - 1] != ',' && text_[numberStart - 1] != '-')
                --numberStart;
            std::size_t end = at_;
            while (end < text_.size() && (IsDigit(text_[end]) || text_[end] == '.'))
                ++end;
            return "there is a blank inside the number " +
                   Quoted(text_.substr(numberStart, end - numberStart)) +
                   " (values are separated by commas)";
        }
        return Quoted(rest) + " is left over after a value";
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

} // namespace

Expansion ExpandSpecification(std::string_view text, Reading reading) {
    Expansion result;
    if (text == "*") {
        result.asterisk = true;
        result.interpretation = std::string(NoCalculationsText);
        return result;
    }

    std::vector<Item> items;
    std::string replaced; // the lenient reading's text, which its items view
    if (reading == Reading::Strict) {
        if (auto problem = StrictItems(text).Read(items)) {
            result.unreadable = std::move(problem);
            return result;
        }
    } else {
        items = LenientItems(text, result, replaced);
    }
    result.singleNumber = items.size() == 1 && !items.front().range;

    std::vector<double> generated;
    auto add = [&](double v) {
        if (generated.size() >= MaxSpecificationValues) {
            result.truncated = true;
            return false;
        }
        generated.push_back(v);
        return true;
    };

    for (const Item& item : items) {
        if (!item.range) {
            add(item.start);
        } else {
            // The tolerance lies beyond the end in the direction of counting.
            const double end =
                item.stepped ? item.end + (item.step < 0 ? -0.00001 : 0.00001) : item.end;
            const double step = item.step;
            const std::size_t before = generated.size();
            // A counting loop by repeated addition; the cap ends ranges that are too long
            // or whose step no longer moves the sum.
            for (double v = item.start; step >= 0 ? v <= end : v >= end; v = v + step)
                if (!add(v))
                    break;
            if (reading == Reading::Strict && generated.size() == before) {
                result.unreadable = "the range " + Quoted(item.text) + " gives no value";
                return result;
            }
        }
        if (result.truncated)
            break;
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

std::optional<std::string> SingleValueProblem(std::string_view text) {
    const Expansion e = ExpandSpecification(text, Reading::Strict);
    if (e.unreadable)
        return e.unreadable;
    if (e.asterisk)
        return Quoted(Trimmed(text)) + " is not a number";
    if (!e.singleNumber)
        return std::string("one value is expected, not a list or a range");
    return std::nullopt;
}

std::string UnreadableMessage(std::string_view fieldName, std::string_view text,
                              std::string_view reason) {
    return "The value " + Quoted(text) + " given for " + std::string(fieldName) +
           " cannot be read: " + std::string(reason) + ".";
}

std::string ReadingNote(const Expansion& expansion) {
    std::string note;
    if (!expansion.ignored.empty()) {
        note = "Text ignored:";
        for (std::size_t i = 0; i < expansion.ignored.size(); ++i)
            note += (i == 0 ? " " : ", ") + Quoted(expansion.ignored[i]);
        note += ".";
    }
    if (expansion.readAsZero)
        note += std::string(note.empty() ? "" : " ") + "A value with no number was read as 0.";
    return note;
}

std::string SingleValueReadingNote(std::string_view text) {
    Expansion notes;
    ReadNoting(text, notes);
    return ReadingNote(notes);
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
