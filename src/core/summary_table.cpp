#include "core/summary_table.h"

namespace quillon {

void ReadSummaryTable(std::string_view text, const SummaryTableLayout& layout,
                      const std::function<void(SummaryFields)>& record) {
    std::vector<std::string_view> fields;
    fields.reserve(layout.fields);
    bool heading = true;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (heading) {
            heading = false;
            continue;
        }
        if (line.empty())
            continue;
        fields.clear();
        std::size_t from = 0;
        while (fields.size() + 1 < layout.fields) {
            const std::size_t tab = line.find('\t', from);
            if (tab == std::string_view::npos)
                break;
            fields.push_back(line.substr(from, tab - from));
            from = tab + 1;
        }
        if (fields.size() + 1 < layout.fields)
            continue; // too few fields
        std::string_view last = line.substr(from);
        if (!layout.lastRunsToLineEnd)
            last = last.substr(0, last.find('\t'));
        fields.push_back(last);
        record(fields);
    }
}

} // namespace quillon
