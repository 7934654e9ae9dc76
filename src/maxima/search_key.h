// What one search of the maximum study is: the values that tell its summary record apart
// from every other, held as one value from the moment a run builds it for a combination
// of its lists to the record written and read back and the summary chart that selects it.
//
// The row-1 value is the text the summary writes in its row-1 field, since that field says
// more than a number: "" in a cross-sectional study, the value given (".5", "10") for one
// row-1 value, the number with the plain number text's leading space (" 10") for each
// number of "all", and "0" for "overall". The policy is not written in a record; the file
// a record lies in names it.
#pragma once

#include "core/designs.h"
#include "study/property.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace quillon {

// How a test is applied: "simple", or the combined policies typed as "15" / "35" (test 1
// or 3, with the P value of test 5 for tables that fail only the MEN or only the MMT).
enum class TestPolicy { Simple, Combined15, Combined35 };
std::string_view TestPolicyText(TestPolicy policy); // "simple", "15", "35"

struct SearchKey {
    DesignCode design = ComparativeTrial;
    std::int64_t N = 0;
    std::string row1; // the summary's row-1 field, as above
    int test = 1;     // a registered test (1 or 3 under the combined policies)
    double MEN = 0, MMT = 1;
    TestPolicy policy = TestPolicy::Simple;
    Property type = Property::ActualTypeIError;
    double parameter = 0.05; // alpha, or the cutoff of the excess
    double accuracy = 0.001; // delta required

    bool operator==(const SearchKey&) const = default;
};

} // namespace quillon
