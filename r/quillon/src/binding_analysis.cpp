// The analysis of tables from R: cells in, one row per table and test out.
#include "binding.h"

#include "analysis/analysis.h"
#include "analysis/effects.h"
#include "study/speclang.h"

#include <cmath>
#include <optional>

using namespace quillon;
using namespace quillon::r;

namespace {

class TableColumns {
public:
    void Add(const TableValidation& v, const TestResult& r, const TableAnalysis& analysis,
             const EffectSizes* effects) {
        a.push_back(v.a);
        b.push_back(v.b);
        c.push_back(v.c);
        d.push_back(v.d);
        test.push_back(r.test);
        name.push_back(std::string(AnalysisTestName(r.test)));
        statistic.push_back(std::isnan(r.statistic) ? Na() : r.statistic);
        pValue.push_back(std::isnan(r.pValue) ? Na() : r.pValue);
        expected.push_back(analysis.smallestExpected);
        recommended.push_back(analysis.recommendedTest);
        if (!effects)
            return;
        const EffectSizes& e = *effects;
        sampleOr.push_back(e.sampleOddsRatio);
        conditionalOr.push_back(e.conditionalComputed ? e.conditionalOddsRatio : Na());
        orLower.push_back(e.conditionalComputed ? e.conditionalInterval.lower : Na());
        orUpper.push_back(e.conditionalComputed ? e.conditionalInterval.upper : Na());
        rr.push_back(e.riskRatio);
        rrLower.push_back(e.riskRatioIntervalDefined ? e.riskRatioInterval.lower : Na());
        rrUpper.push_back(e.riskRatioIntervalDefined ? e.riskRatioInterval.upper : Na());
        rd.push_back(e.riskDifference);
        rdLower.push_back(e.riskDifferenceInterval.lower);
        rdUpper.push_back(e.riskDifferenceInterval.upper);
    }

    Rcpp::List Columns(bool effects) const {
        Rcpp::List out = Rcpp::List::create(
            Rcpp::Named("a") = a, Rcpp::Named("b") = b, Rcpp::Named("c") = c, Rcpp::Named("d") = d,
            Rcpp::Named("test") = test, Rcpp::Named("test_name") = name,
            Rcpp::Named("statistic") = statistic, Rcpp::Named("p_value") = pValue,
            Rcpp::Named("smallest_expected") = expected,
            Rcpp::Named("recommended_test") = recommended);
        if (!effects)
            return out;
        const std::vector<std::pair<const char*, const std::vector<double>*>> more{
            {"sample_odds_ratio", &sampleOr},
            {"odds_ratio", &conditionalOr},
            {"odds_ratio_lower", &orLower},
            {"odds_ratio_upper", &orUpper},
            {"risk_ratio", &rr},
            {"risk_ratio_lower", &rrLower},
            {"risk_ratio_upper", &rrUpper},
            {"risk_difference", &rd},
            {"risk_difference_lower", &rdLower},
            {"risk_difference_upper", &rdUpper}};
        for (const auto& [column, values] : more)
            out[column] = *values;
        return out;
    }

private:
    std::vector<double> a, b, c, d;
    std::vector<int> test;
    std::vector<std::string> name;
    std::vector<double> statistic, pValue, expected;
    std::vector<int> recommended;
    std::vector<double> sampleOr, conditionalOr, orLower, orUpper, rr, rrLower, rrUpper, rd,
        rdLower, rdUpper;
};

} // namespace

// The highest test number an analysis takes.
// [[Rcpp::export]]
int cpp_highest_analysis_test() {
    return HighestAnalysisTest();
}

// Tables given cell by cell (equal lengths, no NA: the R function sees to both).
// [[Rcpp::export]]
Rcpp::List cpp_analyse(Rcpp::NumericVector a, Rcpp::NumericVector b, Rcpp::NumericVector c,
                       Rcpp::NumericVector d, Rcpp::NumericVector tests, bool effects) {
    std::vector<int> numbers;
    for (double t : tests) {
        if (std::trunc(t) != t)
            Rcpp::stop(NotAnIntegerMessage(t));
        if (auto message = RangeCheck(t, 1, HighestAnalysisTest(), "Test(s)"))
            Rcpp::stop(*message);
        numbers.push_back(static_cast<int>(t));
    }
    const R_xlen_t count = a.size();
    TableColumns columns;
    std::vector<std::string> corrections;
    for (R_xlen_t i = 0; i < count; ++i) {
        if (i % 1024 == 0)
            Rcpp::checkUserInterrupt();
        const TableValidation v = ValidateTable(a[i], b[i], c[i], d[i]);
        const std::string which = count > 1 ? "table " + std::to_string(i + 1) + ": " : "";
        if (v.zeroTotal || v.tooLarge) {
            std::string message;
            for (const std::string& m : v.messages)
                message += (message.empty() ? "" : "; ") + m;
            Rcpp::stop(which + message);
        }
        for (const std::string& m : v.messages)
            corrections.push_back(which + m);
        const TableAnalysis analysis = AnalyseTable(v.a, v.b, v.c, v.d, numbers);
        std::optional<EffectSizes> sizes;
        if (effects)
            sizes = ComputeEffectSizes(v.a, v.b, v.c, v.d);
        for (const TestResult& r : analysis.results)
            columns.Add(v, r, analysis, sizes ? &*sizes : nullptr);
    }
    Rcpp::List out = columns.Columns(effects);
    return Rcpp::List::create(Rcpp::Named("columns") = out,
                              Rcpp::Named("corrections") = corrections);
}
