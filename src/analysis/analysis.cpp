#include "analysis/analysis.h"

#include "core/numtext.h"
#include "core/pvalues.h"
#include "core/test_registry.h"
#include "core/unconditional.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

namespace quillon {

TableValidation ValidateTable(double a, double b, double c, double d) {
    TableValidation v{a, b, c, d, {}, false, false};
    double* cells[] = {&v.a, &v.b, &v.c, &v.d};
    for (double* cell : cells) {
        if (*cell < 0) {
            v.messages.push_back("The value " + PlainNumberText(*cell) +
                                 " is invalid and will be replaced by" + PlainNumberText(-*cell));
            *cell = -*cell;
        }
    }
    for (double* cell : cells) {
        const double whole = std::floor(*cell);
        if (*cell != whole) {
            v.messages.push_back("The value " + PlainNumberText(*cell) +
                                 " is invalid and will be replaced by" + PlainNumberText(whole));
            *cell = whole;
        }
    }
    for (double total : {v.a + v.b, v.c + v.d}) {
        if (total == 0) {
            v.messages.emplace_back("A row total of 0 is invalid");
            v.zeroTotal = true;
        }
    }
    for (double total : {v.a + v.c, v.b + v.d}) {
        if (total == 0) {
            v.messages.emplace_back("A column total of 0 is invalid");
            v.zeroTotal = true;
        }
    }
    const double N = ((v.a + v.b) + v.c) + v.d;
    if (!v.zeroTotal && !(N <= MaxAnalysisTotal)) {
        v.messages.push_back("The total number" + PlainNumberText(N) +
                             " is too large: tables with a total above" +
                             PlainNumberText(MaxAnalysisTotal) + " cannot be analysed exactly");
        v.tooLarge = true;
    }
    return v;
}

namespace {

// S(x) and a blank, right-aligned in 15 characters.
std::string CellText(double x) {
    std::string text = PlainNumberText(x) + " ";
    if (text.size() < 15)
        text.insert(0, 15 - text.size(), ' ');
    return text;
}

std::string Head(double a, double b, double c, double d, std::string_view eol) {
    const std::string e(eol);
    std::string t = "Data:" + e;
    t += std::string(29, ' ') + "A" + std::string(10, ' ') + "Not-A" + std::string(10, ' ') +
         "Total" + e;
    t += "B" + std::string(14, ' ') + CellText(a) + CellText(b) + CellText(a + b) + e;
    t += "Not-B" + std::string(7, ' ') + CellText(c) + CellText(d) + CellText(c + d) + e;
    t += "Total" + std::string(8, ' ') + CellText(a + c) + CellText(b + d) +
         CellText(a + b + c + d) + e + e;
    t += "Analysis (two-sided):" + e;
    return t;
}

// The smaller row total times the smaller column total, over N.
double SmallestExpected(double a, double b, double c, double d) {
    double row = a + b;
    if (c + d < row)
        row = c + d;
    double column = a + c;
    if (b + d < column)
        column = b + d;
    return row * column / (a + b + c + d);
}

FisherPValues Fisher(double a, double b, double c, double d) {
    return FishersExactTestAnyTotal(static_cast<std::int64_t>(a), static_cast<std::int64_t>(b),
                                    static_cast<std::int64_t>(c), static_cast<std::int64_t>(d));
}

std::string Hyphens(std::string_view eol) {
    return std::string(100, '-') + std::string(eol);
}

// The 'N - 1' chi squared test when the smallest expected number is at least 1, otherwise
// the Fisher-Irwin test taking tables as frequent or less in either tail.
int RecommendedTest(double smallestExpected) {
    return smallestExpected < 1 ? 5 : 3;
}

bool IsUnconditional(int test) {
    return test == UnconditionalChiSquaredTest || test == UnconditionalFisherTest;
}

} // namespace

int HighestAnalysisTest() {
    return std::max(HighestTestNumber(), UnconditionalFisherTest);
}

std::string_view AnalysisTestName(int test) {
    if (IsRegisteredTest(test))
        return TestName(test);
    return IsUnconditional(test) ? UnconditionalTestName(test) : std::string_view{};
}

TableAnalysis AnalyseTable(double a, double b, double c, double d, const std::vector<int>& tests) {
    constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
    const auto ia = static_cast<std::int64_t>(a), ib = static_cast<std::int64_t>(b),
               ic = static_cast<std::int64_t>(c), id = static_cast<std::int64_t>(d);
    TableAnalysis analysis;
    analysis.smallestExpected = SmallestExpected(a, b, c, d);
    analysis.recommendedTest = RecommendedTest(analysis.smallestExpected);
    std::optional<FisherPValues> fisher; // all four from one set of terms, when one is asked
    for (int test : tests) {
        TestResult r{test, kNone, kNone};
        const TestEntry* entry = FindTest(test);
        if (entry && entry->family == TestFamily::ChiSquared) {
            r.statistic = ChiSquaredValue(a, b, c, d, test);
            r.pValue = ChiSquaredPValue(r.statistic);
        } else if (entry && entry->family == TestFamily::FisherIrwin) {
            if (!fisher)
                fisher = Fisher(a, b, c, d);
            r.pValue = (*fisher)[test];
        } else if (IsUnconditional(test)) {
            if (ia + ib + ic + id <= MaxUnconditionalTotal)
                r.pValue = UnconditionalTest(test, ia, ib, ic, id).pValue;
        } else if (entry) {
            r.pValue = entry->pValue(ia, ib, ic, id);
        }
        analysis.results.push_back(r);
    }
    return analysis;
}

std::string FullAnalysisText(double a, double b, double c, double d, std::string_view eol) {
    const std::string e(eol);
    std::string t = Head(a, b, c, d, eol);
    for (int test : {3, 1, 2}) {
        const double X = ChiSquaredValue(a, b, c, d, test);
        const double P = ChiSquaredPValue(X);
        t += std::string(TestName(test)) + ": chi squared value = " + GiveNumberTonsf(X, 6) +
             "; P value = " +
             (P < 0.00000001 ? std::string("< 0.00000001") : GiveNumberTonsf(P, 6)) + e + e;
    }
    const FisherPValues fisher = Fisher(a, b, c, d);
    for (int test : {4, 5, 6, 7})
        t +=
            std::string(TestName(test)) + ": P value = " + GiveNumberTonsf(fisher[test], 6) + e + e;
    // Tests of the other families follow in their numbers' order, by their own P values;
    // the unconditional tests are a block of their own, asked for apart (a search each).
    for (const TestEntry& entry : RegisteredTests())
        if (entry.family != TestFamily::ChiSquared && entry.family != TestFamily::FisherIrwin &&
            entry.family != TestFamily::Unconditional)
            t += std::string(entry.name) + ": P value = " +
                 GiveNumberTonsf(
                     entry.pValue(static_cast<std::int64_t>(a), static_cast<std::int64_t>(b),
                                  static_cast<std::int64_t>(c), static_cast<std::int64_t>(d)),
                     6) +
                 e + e;
    const double E = SmallestExpected(a, b, c, d);
    t += "Smallest expected number: " + GiveNumberTonsf(E, 6) + e + e;
    if (RecommendedTest(E) == 5)
        t += "Since the smallest expected number is less than 1, the recommended analysis is by "
             "the " +
             std::string(TestName(5)) + e + e;
    else
        t += "Since the smallest expected number is at least 1, the recommended analysis is by "
             "the " +
             std::string(TestName(3)) + e + e;
    return t + Hyphens(eol);
}

std::string RecommendedAnalysisText(double a, double b, double c, double d, std::string_view eol) {
    const std::string e(eol);
    std::string t = Head(a, b, c, d, eol);
    const double E = SmallestExpected(a, b, c, d);
    if (RecommendedTest(E) == 5) {
        t += "Since the smallest expected number is " + GiveNumberTonsf(E, 2) +
             ", i.e. less than 1, the recommended analysis is by the " + std::string(TestName(5)) +
             ":" + e;
        t += "P value = " + GiveNumberTonsf(Fisher(a, b, c, d).test5, 2) + e + e;
    } else {
        t += "Since the smallest expected number is at least 1, the recommended analysis is by "
             "the " +
             std::string(TestName(3)) + ":" + e;
        const double X = ChiSquaredValue(a, b, c, d, 3);
        t += "chi squared value = " + GiveNumberTonsf(X, 3) +
             "; P value = " + GiveNumberTonsf(ChiSquaredPValue(X), 2) + e + e;
    }
    return t + Hyphens(eol);
}

} // namespace quillon
