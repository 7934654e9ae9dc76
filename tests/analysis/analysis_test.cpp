// The single-table analysis: corrections of typed cells and the appended text.
#include "analysis/analysis.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

const std::string kHyphens(100, '-');

// The program's worked outputs for the table 10, 2, 3, 15 (cell texts end in a blank).
const std::string kHead10_2_3_15 = "Data:\n"
                                   "                             A          Not-A          Total\n"
                                   "B                          10              2             12 \n"
                                   "Not-B                    3             15             18 \n"
                                   "Total                    13             17             30 \n"
                                   "\n"
                                   "Analysis (two-sided):\n";

TEST(AnalysisText, FullAnalysisOfTheWorkedTable) {
    const std::string expected =
        kHead10_2_3_15 +
        "'N - 1' chi squared test: chi squared value = 12.5973; P value = .000386286\n\n"
        "Pearson chi squared test: chi squared value = 13.0317; P value = .000306249\n\n"
        "Yates's chi squared test: chi squared value = 10.4581; P value = .00122104\n\n"
        "Fisher-Irwin test, by doubling one-sided: P value = .000930362\n\n"
        "Fisher-Irwin test, tables as frequent or less, either tail: P value = .000536724\n\n"
        "Mid-P Fisher-Irwin test, by doubling one-sided: P value = .000480662\n\n"
        "Mid-P Fisher-Irwin test, less frequent tables either tail: P value = .000311874\n\n"
        "Smallest expected number: 5.20000\n\n"
        "Since the smallest expected number is at least 1, the recommended analysis is by the "
        "'N - 1' chi squared test\n\n" +
        kHyphens + "\n";
    EXPECT_EQ(FullAnalysisText(10, 2, 3, 15, "\n"), expected);
}

TEST(AnalysisText, RecommendedAnalyses) {
    EXPECT_EQ(
        RecommendedAnalysisText(10, 2, 3, 15, "\n"),
        kHead10_2_3_15 +
            "Since the smallest expected number is at least 1, the recommended analysis is by "
            "the 'N - 1' chi squared test:\n"
            "chi squared value = 12.6; P value = .00039\n\n" +
            kHyphens + "\n");
    const std::string small = RecommendedAnalysisText(1, 0, 0, 3, "\n");
    EXPECT_NE(
        small.find("Since the smallest expected number is .25, i.e. less than 1, the recommended "
                   "analysis is by the Fisher-Irwin test, tables as frequent or less, either "
                   "tail:\nP value = .25\n\n"),
        std::string::npos)
        << small;
}

TEST(AnalysisText, WindowLineEndsAndSmallPValues) {
    const std::string crlf = FullAnalysisText(10, 2, 3, 15, "\r\n");
    EXPECT_EQ(crlf.substr(0, 7), "Data:\r\n");
    EXPECT_EQ(crlf.substr(crlf.size() - 102), kHyphens + "\r\n");
    // Chi squared above 36: the full analysis shows "< 0.00000001", the recommended 0.
    const std::string full = FullAnalysisText(40, 0, 0, 40, "\n");
    EXPECT_NE(
        full.find("'N - 1' chi squared test: chi squared value = 79.0000; P value = < 0.00000001"),
        std::string::npos)
        << full;
    EXPECT_NE(RecommendedAnalysisText(40, 0, 0, 40, "\n").find("; P value = 0\n"),
              std::string::npos);
    // E exactly 1 goes to test 3 in both analyses.
    EXPECT_NE(RecommendedAnalysisText(1, 1, 1, 1, "\n").find("at least 1"), std::string::npos);
}

TEST(ValidateTable, CorrectionsInOrder) {
    const TableValidation v = ValidateTable(-3, 2.5, -2.5, 4);
    ASSERT_EQ(v.messages.size(), 4u);
    EXPECT_EQ(v.messages[0], "The value -3 is invalid and will be replaced by 3");
    EXPECT_EQ(v.messages[1], "The value -2.5 is invalid and will be replaced by 2.5");
    EXPECT_EQ(v.messages[2], "The value  2.5 is invalid and will be replaced by 2");
    EXPECT_EQ(v.messages[3], "The value  2.5 is invalid and will be replaced by 2");
    EXPECT_EQ(v.a, 3);
    EXPECT_EQ(v.b, 2);
    EXPECT_EQ(v.c, 2);
    EXPECT_EQ(v.d, 4);
    EXPECT_FALSE(v.zeroTotal);
}

TEST(ValidateTable, ZeroTotals) {
    const TableValidation empty = ValidateTable(0, 0, 0, 0);
    EXPECT_TRUE(empty.zeroTotal);
    EXPECT_EQ(empty.messages, (std::vector<std::string>{"A row total of 0 is invalid",
                                                        "A row total of 0 is invalid",
                                                        "A column total of 0 is invalid",
                                                        "A column total of 0 is invalid"}));
    const TableValidation column = ValidateTable(0, 3, 0, 4);
    EXPECT_EQ(column.messages, (std::vector<std::string>{"A column total of 0 is invalid"}));
}

TEST(ValidateTable, TotalsBeyondExactReachAreRefused) {
    const TableValidation v = ValidateTable(1e9, 1, 1, 1);
    EXPECT_TRUE(v.tooLarge);
    ASSERT_EQ(v.messages.size(), 1u);
    EXPECT_EQ(v.messages[0], "The total number 1000000003 is too large: tables with a total above "
                             "1000000000 cannot be analysed exactly");
    EXPECT_FALSE(ValidateTable(5e6, 0, 0, 5e6).tooLarge);
    // Beyond the log-factorial cache, as in SciPy's own tests.
    EXPECT_FALSE(ValidateTable(1, 2, 9, 84419233).tooLarge);
    EXPECT_TRUE(ValidateTable(1.7e308, 1.7e308, 1, 1).tooLarge);
}

} // namespace
} // namespace quillon
