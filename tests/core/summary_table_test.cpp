// The one reader of every summary file: which lines are records and what their fields are.
#include "core/summary_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillon {
namespace {

using Rows = std::vector<std::vector<std::string>>;

Rows Read(std::string_view text, SummaryTableLayout layout) {
    Rows rows;
    ReadSummaryTable(text, layout, [&](SummaryFields fields) {
        rows.emplace_back(fields.begin(), fields.end());
    });
    return rows;
}

struct TableCase {
    const char* name;
    std::string text;
    SummaryTableLayout layout;
    Rows expected;
};

// Files as the studies write them (CR LF) and as a person may leave them after editing
// (LF, blank lines, lines cut short, fields added at the end).
const TableCase kCases[] = {
    {"empty file", "", {3, false}, {}},
    {"heading only", "A\tB\tC\r\n", {3, false}, {}},
    {"heading without line end", "A\tB\tC", {3, false}, {}},
    {"records with CR LF",
     "A\tB\tC\r\n1\t2\t3\r\n4\t5\t6\r\n",
     {3, false},
     {{"1", "2", "3"}, {"4", "5", "6"}}},
    {"records with LF and no last line end",
     "A\tB\tC\n1\t2\t3\n4\t5\t6",
     {3, false},
     {{"1", "2", "3"}, {"4", "5", "6"}}},
    {"blank and short lines skipped",
     "A\tB\tC\r\n\r\n1\t2\r\n1\t2\t3\r\n\n",
     {3, false},
     {{"1", "2", "3"}}},
    {"empty fields kept", "A\tB\tC\r\n\t\t\r\n", {3, false}, {{"", "", ""}}},
    {"fields after the last ignored",
     "A\tB\tC\r\n1\t2\t3\t4\t5\r\n",
     {3, false},
     {{"1", "2", "3"}}},
    {"last field runs to the line end",
     "A\tB\tC\r\n1\t2\t3\t4\t5\r\n",
     {3, true},
     {{"1", "2", "3\t4\t5"}}},
    {"one-field records", "A\r\nx\r\n\r\ny\r\n", {1, false}, {{"x"}, {"y"}}},
    {"CR inside a line kept", "A\tB\r\n1\r\t2\r\n", {2, false}, {{"1\r", "2"}}},
};

TEST(SummaryTable, RecordsAndFields) {
    for (const TableCase& c : kCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Read(c.text, c.layout), c.expected);
    }
}

} // namespace
} // namespace quillon
