#include "particular/comparison.h"

#include "core/files.h"
#include "core/numtext.h"
#include "core/significance_rules.h"

namespace quillon {

namespace {

std::string S(double x) {
    return PlainNumberText(x);
}
std::string S(std::uint64_t x) {
    return PlainNumberText(static_cast<double>(x));
}

} // namespace

ComparisonCounts CountSignificantTables(const PointEvaluation& evaluation, int firstTest,
                                        int secondTest, double parameter) {
    ComparisonCounts counts;
    const TableArray& tables = evaluation.tables;
    for (std::size_t row = 1; row <= tables.Count(); ++row) {
        const bool first = SignificantBelowLevel(tables.Result(row, firstTest), parameter);
        const bool second = SignificantBelowLevel(tables.Result(row, secondTest), parameter);
        if (first && second)
            ++counts.both;
        else if (first)
            ++counts.firstOnly;
        else if (second)
            ++counts.secondOnly;
        else
            ++counts.neither;
    }
    return counts;
}

TwoTestScatter MakeTwoTestScatter(const PointEvaluation& evaluation, int firstTest, int secondTest,
                                  std::string caption) {
    TwoTestScatter s;
    s.caption = std::move(caption);
    s.firstTest = firstTest;
    s.secondTest = secondTest;
    s.parameter = evaluation.point.parameter;
    const TableArray& tables = evaluation.tables;
    s.first.reserve(tables.Count());
    s.second.reserve(tables.Count());
    for (std::size_t row = 1; row <= tables.Count(); ++row) {
        s.first.push_back(tables.Result(row, firstTest));
        s.second.push_back(tables.Result(row, secondTest));
    }
    s.counts = CountSignificantTables(evaluation, firstTest, secondTest, s.parameter);
    return s;
}

std::string ComparisonMessage(const ComparisonCounts& c, int firstTest, int secondTest,
                              const std::filesystem::path& comparisonsFile) {
    std::string m = "Possible sample tables significant by the two tests:";
    m += CRLF;
    m += "Total tables: " + S(c.Total());
    m += CRLF;
    m += "Significant by test: " + S(static_cast<double>(firstTest)) + ": " +
         S(c.SignificantByFirst());
    m += CRLF;
    m += "Significant by test: " + S(static_cast<double>(secondTest)) + ": " +
         S(c.SignificantBySecond());
    m += CRLF;
    m += "Significant by 1st test, but not by 2nd: " + S(c.firstOnly);
    m += CRLF;
    m += "Significant by 2nd test, but not by 1st: " + S(c.secondOnly);
    m += CRLF;
    m += CRLF;
    m += "See also the file " + comparisonsFile.string();
    return m;
}

std::string ComparisonsFileHeading() {
    std::string h = "Date\tMethod\tN\tTest 1\tTest 2\tMEN\tMMT\tParam.\tSig.\tSig.\tBy 1, \tBy 2, ";
    h += CRLF;
    h += "\t\t\t\t\t\t\t\tby 1\tby 2\tnot 2\tnot 1";
    h += CRLF;
    return h;
}

std::string ComparisonsFileLine(const std::string& date, const EvaluationPoint& point,
                                int firstTest, int secondTest, const ComparisonCounts& c) {
    std::string s = date;
    for (double v : {static_cast<double>(DesignNumber(point.design)), static_cast<double>(point.N),
                     static_cast<double>(firstTest), static_cast<double>(secondTest), point.MEN,
                     point.MMT, point.parameter, static_cast<double>(c.SignificantByFirst()),
                     static_cast<double>(c.SignificantBySecond()), static_cast<double>(c.firstOnly),
                     static_cast<double>(c.secondOnly)})
        s += "\t" + S(v);
    s += CRLF;
    return s;
}

std::optional<std::string> AppendComparison(const std::filesystem::path& dataDirectory,
                                            const std::string& line) {
    const std::filesystem::path file = dataDirectory / ComparisonsFileName;
    std::error_code ec;
    std::string text;
    if (!std::filesystem::exists(file, ec))
        text = ComparisonsFileHeading();
    text += line;
    return AppendTextFile(file, text);
}

} // namespace quillon
