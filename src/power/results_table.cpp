#include "power/results_table.h"

#include "core/files.h"
#include "core/numtext.h"
#include "core/pvalues.h"

namespace quillon {

namespace {

// A value as the summary file writes it, without the blank it keeps for a sign.
std::string Typed(double x) {
    std::string s = PlainNumberText(x);
    if (!s.empty() && s.front() == ' ')
        s.erase(0, 1);
    return s;
}

std::string Named(int test) {
    return std::to_string(test) + " " + std::string(TestName(test));
}

void AppendRow(std::string& text, const std::vector<std::string>& cells) {
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (i > 0)
            text += '\t';
        text += cells[i];
    }
    text += CRLF;
}

} // namespace

void PowerResultsTable::Add(const PowerEvaluation& evaluation) {
    const PowerPoint& p = evaluation.point;
    for (const PowerTestResult& r : evaluation.results)
        results_.rows.push_back({Named(r.test), Typed(static_cast<double>(p.N)), Typed(p.row),
                                 Typed(p.p1), Typed(p.p2), Typed(p.MEN),
                                 GiveNumberTonsf(r.power, 7), GiveNumberTonsf(r.size, 7)});
}

void PowerResultsTable::SetSampleSizes(const std::vector<SampleSizeRow>& rows) {
    sizes_.rows.clear();
    for (const SampleSizeRow& row : rows)
        sizes_.rows.push_back({Named(row.test), Typed(row.row), Typed(row.p1), Typed(row.p2),
                               Typed(row.MEN), Typed(row.target),
                               SampleSizeText(row.sizes.firstN, row.sizes),
                               SampleSizeText(row.sizes.stableN, row.sizes)});
}

std::string PowerResultsTable::Text() const {
    std::string text;
    AppendRow(text, results_.heading);
    for (const auto& row : results_.rows)
        AppendRow(text, row);
    if (!sizes_.rows.empty()) {
        text += CRLF;
        AppendRow(text, sizes_.heading);
        for (const auto& row : sizes_.rows)
            AppendRow(text, row);
    }
    return text;
}

} // namespace quillon
