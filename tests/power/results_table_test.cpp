// The power results table a person reads, copies and saves: its rows against the summary
// file's records of the same combination and against exact figures, and its sample sizes
// with the best power reached when the target is not.
#include "power/results_table.h"

#include "core/files.h"
#include "core/numtext.h"
#include "power/result_files.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : text.substr(first);
}

// A comparative trial, 10 subjects in each row, p1 = .2, p2 = .6, alpha = .05.
PowerEvaluation TrialOfTwenty(std::vector<int> tests) {
    PowerPoint point;
    point.N = 20;
    point.row = 10;
    point.p1 = .2;
    point.p2 = .6;
    point.tests = std::move(tests);
    const auto ev = EvaluatePower(point);
    EXPECT_TRUE(ev.has_value());
    return *ev;
}

TEST(PowerResultsTable, RowsAreTheSummaryFileRecordsOfTheCombination) {
    const PowerEvaluation ev = TrialOfTwenty({5, 1});
    PowerResultsTable table;
    table.Add(ev);
    ASSERT_EQ(table.Results().rows.size(), 2u);
    const std::vector<std::string> lines = PowerSummaryCodec::Format(ev, "01.02.2026");
    ASSERT_EQ(lines.size(), 2u);
    const std::vector<std::string> heading = table.Results().heading;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(i);
        const std::vector<std::string> record = SplitTabs(lines[i]);
        const std::vector<std::string>& row = table.Results().rows[i];
        ASSERT_EQ(row.size(), heading.size());
        // The test in the order typed, by number and name.
        EXPECT_EQ(row[0].substr(0, 2), Trimmed(record[FieldTest - 1]) + " ");
        // N, row 1, p1, p2, MEN, power and size: the file's texts without the sign's blank.
        const int fields[] = {FieldN, FieldRow1, FieldP1, FieldP2, FieldMEN, FieldPower, FieldSize};
        for (std::size_t c = 1; c < row.size(); ++c)
            EXPECT_EQ(row[c], Trimmed(record[fields[c - 1] - 1])) << heading[c];
    }
    EXPECT_EQ(table.Results().rows[0][0],
              "5 Fisher-Irwin test, tables as frequent or less, either tail");
}

TEST(PowerResultsTable, PowerAndSizeOfFishersTestAgreeWithExactRationals) {
    // Power: the sum of Binomial(a; 10, .2) Binomial(c; 10, .6) over the tables whose
    // two-sided Fisher-Irwin P (tables as probable or less) is at most 1/20; size the same at
    // the pooled p0 = .4. Computed in exact rationals with Python's fractions module:
    // power 0.2526931066684021, size 0.012641647889680958.
    PowerResultsTable table;
    table.Add(TrialOfTwenty({5}));
    EXPECT_EQ(table.Results().rows[0][6], ".2526931");
    EXPECT_EQ(table.Results().rows[0][7], ".01264165");
}

TEST(PowerResultsTable, SampleSizesSayHowNearATargetNotReachedCame) {
    SampleSizeRow reached;
    reached.test = 1;
    reached.row = .5;
    reached.p1 = .2;
    reached.p2 = .6;
    reached.target = .8;
    reached.sizes = FindSampleSizes({40, 50, 60}, {.79, .81, .85}, .8);
    SampleSizeRow dips = reached;
    dips.test = 4;
    dips.sizes = FindSampleSizes({40, 50, 60}, {.7, .82, .79}, .8);
    SampleSizeRow never = reached;
    never.test = 5;
    never.sizes = FindSampleSizes({40, 50, 60}, {.5, .7712345678, .77}, .8);

    PowerResultsTable table;
    table.SetSampleSizes({reached, dips, never});
    const auto& rows = table.SampleSizes().rows;
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0][6], "50");
    EXPECT_EQ(rows[0][7], "50");
    EXPECT_EQ(rows[1][6], "50");
    EXPECT_EQ(rows[1][7], "not reached, best power .8200000 at N = 50");
    EXPECT_EQ(rows[2][6], "not reached, best power .7712346 at N = 50");
    EXPECT_EQ(rows[2][7], rows[2][6]);
}

TEST(PowerResultsTable, TextIsBothTablesTabSeparated) {
    PowerResultsTable table;
    EXPECT_TRUE(table.Empty());
    table.Add(TrialOfTwenty({1}));
    EXPECT_FALSE(table.Empty());
    std::string text = table.Text();
    std::vector<std::string> lines = SplitLines(text);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "Test\tN\tRow 1\tp1\tp2\tMEN\tPower\tSize");
    EXPECT_TRUE(lines[1].starts_with("1 Pearson chi squared test\t20\t10\t.2\t.6\t0\t"));
    EXPECT_TRUE(text.ends_with("\r\n"));

    SampleSizeRow row;
    row.sizes = FindSampleSizes({20}, {.9}, .8);
    table.SetSampleSizes({row});
    lines = SplitLines(table.Text());
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[2], "");
    EXPECT_EQ(lines[3], "Test\tRow 1\tp1\tp2\tMEN\tTarget\tFirst N\tStable N");
}

} // namespace
} // namespace quillon
