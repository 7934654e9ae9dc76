// The results of a power run as a table for a person to read, copy or save: one row per
// test and combination (the test's name, N, the row-1 value, p1, p2, MEN, power and size),
// and, when N has several values, the sample sizes read off the list for each test and
// combination of the other lists.
//
// Power and size are given to seven significant figures, as the summary file gives them,
// so a row can be found in the file; the values typed are given as the file writes them,
// without its leading blank. As text the table is tab separated with CR LF line ends.
#pragma once

#include "power/evaluation.h"
#include "power/sample_size.h"

#include <string>
#include <vector>

namespace quillon {

struct TextTable {
    std::vector<std::string> heading;
    std::vector<std::vector<std::string>> rows;
};

class PowerResultsTable {
public:
    // The rows of one evaluated combination, one per distinct test in the order typed.
    void Add(const PowerEvaluation& evaluation);
    void SetSampleSizes(const std::vector<SampleSizeRow>& rows);

    const TextTable& Results() const { return results_; }
    // Empty (no rows) unless N had several values.
    const TextTable& SampleSizes() const { return sizes_; }
    bool Empty() const { return results_.rows.empty(); }

    // Both tables as text: the results, then (when there are any) a blank line and the
    // sample sizes.
    std::string Text() const;

private:
    TextTable results_{{"Test", "N", "Row 1", "p1", "p2", "MEN", "Power", "Size"}, {}};
    TextTable sizes_{{"Test", "Row 1", "p1", "p2", "MEN", "Target", "First N", "Stable N"}, {}};
};

} // namespace quillon
