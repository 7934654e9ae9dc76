// The single-table analysis: corrections of typed cells and the appended text.
#include "analysis/analysis.h"

#include "core/test_registry.h"
#include "core/unconditional.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

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

// The analysis as values, for front ends that hand them on as numbers.

// Chi squared values are one formula in doubles: a few roundings from the exact rationals.
constexpr double kStatisticRelative = 1e-14;
// The program raises ExpBase = 2.718281828 (not e) to the log probabilities, so each term t
// is R's t^(1 - 1.7e-10), relative 1.7e-10 |ln t| from it; no term of a table of total N is
// below 1 / C(N, K) >= 2^-N. fisher.test also sums the terms in another order.
constexpr double kExpBaseRelative = 1.7e-10;
constexpr double kFisherSumRelative = 1e-12;
double FisherTolerance(double p, double N) {
    return p * (kExpBaseRelative * N * std::log(2.0) + kFisherSumRelative);
}

TEST(AnalyseTable, AgreesWithExactRationalsAndWithR) {
    struct Case {
        const char* name;
        double a, b, c, d;
        // N D0^2 / Q, N (|D0| - N / 2)^2 / Q and (N - 1) D0^2 / Q as exact fractions.
        double pearson, yates, nMinus1;
        double fisher5; // R 4.2: fisher.test(matrix(c(a, c, b, d), 2))$p.value
    };
    const Case cases[] = {
        {"worked table", 10, 2, 3, 15, 622080.0 / 47736, 499230.0 / 47736, 601344.0 / 47736,
         0.00053672411914343593},
        {"small", 1, 0, 0, 3, 4.0, 4.0 / 9, 3.0, 0.25},
        {"Yates set to 0", 2, 1, 1, 1, 5.0 / 36, 0.0, 4.0 / 36, 1.0},
        {"balanced", 7, 5, 4, 9, 25.0 * 1849 / 24024, 25.0 * 930.25 / 24024, 24.0 * 1849 / 24024,
         0.237743976309059},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TableAnalysis r = AnalyseTable(c.a, c.b, c.c, c.d, {1, 2, 3, 5});
        ASSERT_EQ(r.results.size(), 4U);
        EXPECT_NEAR(r.results[0].statistic, c.pearson, kStatisticRelative * c.pearson);
        EXPECT_NEAR(r.results[1].statistic, c.yates, kStatisticRelative * c.yates);
        EXPECT_NEAR(r.results[2].statistic, c.nMinus1, kStatisticRelative * c.nMinus1);
        EXPECT_TRUE(std::isnan(r.results[3].statistic));
        EXPECT_NEAR(r.results[3].pValue, c.fisher5,
                    FisherTolerance(c.fisher5, c.a + c.b + c.c + c.d));
        // The P values of the chi squared tests are those of the program's normal integral.
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(r.results[i].pValue, ChiSquaredPValue(r.results[i].statistic));
    }
}

TEST(AnalyseTable, TestsInTheOrderAskedAndTheRecommendedTest) {
    const TableAnalysis r = AnalyseTable(2, 2, 2, 10, {7, 3, 8, 3});
    ASSERT_EQ(r.results.size(), 4U);
    EXPECT_EQ(r.results[0].test, 7);
    EXPECT_EQ(r.results[1].test, 3);
    EXPECT_EQ(r.results[2].test, 8);
    EXPECT_EQ(r.results[1].pValue, r.results[3].pValue);
    // Smallest expected number 4 x 4 / 16 = 1 exactly: still the chi squared test.
    EXPECT_EQ(r.smallestExpected, 1.0);
    EXPECT_EQ(r.recommendedTest, 3);
    const TableAnalysis small = AnalyseTable(1, 0, 0, 3, {});
    EXPECT_EQ(small.smallestExpected, 0.25);
    EXPECT_EQ(small.recommendedTest, 5);
}

TEST(AnalyseTable, UnconditionalTestsWithinTheirTotal) {
    EXPECT_EQ(HighestAnalysisTest(), std::max(HighestTestNumber(), UnconditionalFisherTest));
    EXPECT_EQ(AnalysisTestName(8), "Exact unconditional test, chi squared ordering");
    EXPECT_EQ(AnalysisTestName(0), "");
    // Exact: the table 1, 0, 0, 1 and its mirror are the most extreme by chi squared, so
    // P = max over p of 2 p (1 - p) = 1/2; by the Fisher-Irwin P value every table of the
    // design is as extreme (each has P = 1), so P = 1.
    const TableAnalysis one = AnalyseTable(1, 0, 0, 1, {8, 9});
    EXPECT_NEAR(one.results[0].pValue, 0.5, 0.5 * CertificateRelative);
    EXPECT_EQ(one.results[1].pValue, 1.0);
    const TableAnalysis big = AnalyseTable(6000, 10, 10, 6000, {5, 9});
    EXPECT_FALSE(std::isnan(big.results[0].pValue));
    EXPECT_TRUE(std::isnan(big.results[1].pValue));
}

} // namespace
} // namespace quillon
