// Reading the fields of a specification window, as every study does at Start.
//
// A list field holds the specification language (study/speclang.h) or a lone "*"; a
// single-value field holds one number. The reader expands each list, applies the integer
// test and the range check value by value (the first offending value is refused with the
// system's message), and records what the plan of the run needs: which lists vary (the
// variation key that chooses the summary charts) and whether a "*" asks for a chart of
// earlier data instead of a new calculation.
#pragma once

#include "study/plan.h"
#include "study/speclang.h"

#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// A refused value: the message shown, after which the run ends.
struct Refusal {
    std::string message;
};

// Which values of a list must be whole numbers.
enum class WholeRule {
    None,
    All,     // every value (total numbers, tests)
    FromOne, // values of 1 or more (a number in row 1, where values below 1 are proportions)
};

struct ListRule {
    // The name in the range-check message; empty for a list that is not range-checked.
    std::string_view displayName;
    double minimum = 0, maximum = 0;
    WholeRule whole = WholeRule::None;
    // The name in the message refusing too long a list, when it differs from displayName.
    std::string_view lengthName;
};

// The rule of every study's test field: whole numbers, each a registered test.
ListRule TestListRule();

struct ListField {
    bool asterisk = false;
    std::vector<double> values;
    bool Varies() const { return values.size() > 1; }
    double FirstOr(double otherwise) const { return values.empty() ? otherwise : values.front(); }
    // The values as plain number texts joined by commas, as a shard's plan records them.
    std::string PlanText() const;
    // The values as whole numbers (a list read with WholeRule::All: the tests).
    std::vector<int> WholeValues() const {
        std::vector<int> whole;
        for (double v : values)
            whole.push_back(static_cast<int>(v));
        return whole;
    }
};

// The number in row 1 of a comparative trial that a proportion v (0 <= v < 1) of N subjects
// gives: the whole part of N v, as every study reads a row value below 1.
inline double RowNumberOfProportion(double N, double v) {
    return std::floor(N * v);
}

// Reads one list field by `rule`; a strict reading first refuses a text it cannot read whole.
std::optional<Refusal> ReadListField(std::string_view text, const ListRule& rule, ListField& out,
                                     Reading reading = Reading::Lenient);

// Reads one number (NumericReading) and range-checks it; a strict reading first refuses
// anything but one number.
std::optional<Refusal> ReadSingleValue(std::string_view text, double minimum, double maximum,
                                       std::string_view displayName, double& out,
                                       Reading reading = Reading::Lenient);

// Reads the list fields of one run in the window's order, building the variation key.
class FieldReader {
public:
    explicit FieldReader(Reading reading = Reading::Lenient) : reading_(reading) {}
    Reading reading() const { return reading_; }

    // Reads a list of dimension `d`: "*" asks for earlier data and, like a list of several
    // values, puts `d` in the variation key.
    std::optional<Refusal> List(Dimension d, std::string_view text, const ListRule& rule,
                                ListField& out);
    // Marks a dimension as varying without a list (the maximum study's "all" and
    // "overall", the "*" of its test field).
    void MarkVarying(Dimension d) { varying_.Add(d); }
    void MarkEarlierData() { earlierData_ = true; }

    DimensionSet Varying() const { return varying_; }
    // True when a "*" asked for a chart of earlier data.
    bool EarlierData() const { return earlierData_; }

private:
    Reading reading_;
    DimensionSet varying_;
    bool earlierData_ = false;
};

} // namespace quillon
