// The single-table analysis: the corrections made to typed cells and the text appended to
// the analysis output (full: all seven tests, the smallest expected number and the
// recommended test; recommended: the 'N - 1' chi squared test when the smallest expected
// number is at least 1, otherwise the Fisher-Irwin test taking tables as frequent or less
// in either tail).
#pragma once

#include "core/pvalues.h"

#include <string>
#include <string_view>
#include <vector>

namespace quillon {

struct TableValidation {
    double a = 0, b = 0, c = 0, d = 0; // the corrected cells
    std::vector<std::string> messages; // one per correction or zero total, in order
    bool zeroTotal = false;            // the program's flag "y": no analysis
    bool tooLarge = false;             // the total exceeds MaxAnalysisTotal: no analysis
};

// Largest table total analysed exactly: that of the Fisher-Irwin tests (core/pvalues.h).
// Up to the log-factorial cache's ten million the tests use the cache as the studies do;
// beyond it, the terms that are not 0 as computed, each from its own saddle-point formula.
inline constexpr double MaxAnalysisTotal = static_cast<double>(MaxTermsTotal);

// The tests an analysis of one table computes: the registered tests and the exact
// unconditional tests (core/unconditional.h), numbered 1 to HighestAnalysisTest().
int HighestAnalysisTest();
// The name of an analysis test; empty for a number outside 1 to HighestAnalysisTest().
std::string_view AnalysisTestName(int test);

// One test of one table: the chi squared value of tests 1 to 3 (NaN for the tests that
// have none) and the P value, both as computed (the texts round them). An exact
// unconditional test of a table whose total exceeds MaxUnconditionalTotal is not computed:
// its P value is NaN.
struct TestResult {
    int test = 0;
    double statistic = 0;
    double pValue = 0;
};

// The analysis of one table as values: one result per test asked, in the order asked, the
// smallest expected number, and the test the analysis recommends for it.
struct TableAnalysis {
    std::vector<TestResult> results;
    double smallestExpected = 0;
    int recommendedTest = 3;
};

// Preconditions: the cells come from ValidateTable with zeroTotal and tooLarge false; every
// test lies in 1 to HighestAnalysisTest().
TableAnalysis AnalyseTable(double a, double b, double c, double d, const std::vector<int>& tests);

// Negative cells become positive, fractional cells are rounded down (a message each), and
// zero row or column totals are reported; a total above MaxAnalysisTotal is refused with
// a message of its own.
TableValidation ValidateTable(double a, double b, double c, double d);

// The text an analysis appends, from "Data:" to the line of 100 hyphens, with `eol` after
// every line (the window uses "\r\n", the command line "\n"). Preconditions: the cells
// come from ValidateTable with zeroTotal and tooLarge false.
std::string FullAnalysisText(double a, double b, double c, double d, std::string_view eol);
std::string RecommendedAnalysisText(double a, double b, double c, double d, std::string_view eol);

} // namespace quillon
