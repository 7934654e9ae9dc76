// Sample sizes read from a list of total numbers.
//
// The power of a discrete test does not grow steadily with N: it saw-tooths, so a total
// number that reaches the target power may be followed by a larger one that falls short.
// For one test and one combination of the other lists, over the N of the list:
//   First N   the smallest N of the list whose power is at least the target, whatever
//             the order the list was typed in;
//   Stable N  the smallest N of the list from which the power is at least the target for
//             every larger N of the list.
// Either is absent ("-") when no N qualifies. Comparisons are exact. Beside them, the best
// power of the list and the first N (in the order typed) that has it, for saying how near a
// target not reached came.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quillon {

struct SampleSizes {
    std::optional<double> firstN, stableN;
    double bestPower = 0, bestN = 0; // bestN 0 for an empty list
};

// Precondition: equal sizes.
SampleSizes FindSampleSizes(const std::vector<double>& N, const std::vector<double>& power,
                            double target);

// One line of the sample-size block.
struct SampleSizeRow {
    int test = 1;
    double row = 0.5; // the row value as typed (a proportion, or m for a comparative trial)
    double p1 = 0, p2 = 0, MEN = 0, target = 0.8;
    SampleSizes sizes;
};

// "Test", "Row1", "P1", "P2", "MEN", "Target", "First N", "Stable N", tab separated.
std::string SampleSizeHeading();
// The line of a row: plain number texts, "-" for a size not reached.
std::string SampleSizeLine(const SampleSizeRow& row);
// The message of the window: the heading and lines, with a sentence on how to read them.
std::string SampleSizeMessage(const std::vector<SampleSizeRow>& rows);
// A size for a person to read: the N, or "not reached, best power .7712 at N = 58" (the
// best power to seven significant figures, as the summary file gives power).
std::string SampleSizeText(const std::optional<double>& n, const SampleSizes& sizes);

} // namespace quillon
