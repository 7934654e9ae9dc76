// Summary files: the records a study accumulates over every run, one line each after a
// heading line. Fields are separated by single tabs and lines end in CR LF (LF alone, as a
// hand-edited file may have, is read the same).
//
// Every summary file is read by ReadSummaryTable; each study keeps, beside its record, a
// codec that says how many fields a record has, its heading, and how one line is
// formatted and parsed. A line with fewer fields than a record (a blank line, a line cut
// short) is skipped rather than read as zeros. Fields after a record's last are ignored,
// unless its last field runs to the line end (the particular study's records, whose last
// number was always read from the rest of the line).
#pragma once

#include <cstddef>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

namespace quillon {

struct SummaryTableLayout {
    std::size_t fields = 1;         // the fields of a record (at least one)
    bool lastRunsToLineEnd = false; // the last field takes the rest of the line, tabs and all
};

// The texts of one record's fields, exactly `layout.fields` of them.
using SummaryFields = std::span<const std::string_view>;

// Calls `record` with each record line's fields, in file order; the heading (the first
// line) is not a record.
void ReadSummaryTable(std::string_view text, const SummaryTableLayout& layout,
                      const std::function<void(SummaryFields)>& record);

// The records of a summary file's text through a study's codec, which provides
// `Codec::Record`, `Codec::Layout` and `Codec::Parse(SummaryFields)`.
template <typename Codec>
std::vector<typename Codec::Record> ReadSummaryRecords(std::string_view text) {
    std::vector<typename Codec::Record> records;
    ReadSummaryTable(text, Codec::Layout,
                     [&](SummaryFields fields) { records.push_back(Codec::Parse(fields)); });
    return records;
}

} // namespace quillon
