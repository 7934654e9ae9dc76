// The particular-proportion study from R: one row per combination and test.
#include "binding.h"

#include "particular/run.h"

using namespace quillon;
using namespace quillon::r;

namespace {

class ParticularColumns final : public RSink<ParticularSink> {
public:
    void PointEvaluated(const PointChart& chart) override {
        const PointEvaluation& ev = chart.evaluation;
        const EvaluationPoint& p = ev.point;
        for (const TestEvaluation& t : ev.results) {
            design.push_back(DesignText(p.design));
            N.push_back(static_cast<double>(p.N));
            row.push_back(p.row);
            pCol.push_back(p.pCol);
            interval.push_back(p.interval);
            MEN.push_back(p.MEN);
            MMT.push_back(p.MMT);
            alpha.push_back(p.parameter);
            test.push_back(t.test);
            name.push_back(std::string(TestName(t.test)));
            propSig.push_back(t.propSig);
            upperBound.push_back(t.upperBound);
            maxDif.push_back(t.maxDif);
        }
    }
    void ScatterReady(const TwoTestScatter&) override {}
    void ComparisonSummary(const std::string&) override {}

    Rcpp::List Columns() const {
        return Rcpp::List::create(
            Rcpp::Named("n") = N, Rcpp::Named("design") = design, Rcpp::Named("row1") = row,
            Rcpp::Named("pcol") = pCol, Rcpp::Named("interval") = interval,
            Rcpp::Named("men") = MEN, Rcpp::Named("mmt") = MMT, Rcpp::Named("alpha") = alpha,
            Rcpp::Named("test") = test, Rcpp::Named("test_name") = name,
            Rcpp::Named("prop_sig") = propSig, Rcpp::Named("upper_bound") = upperBound,
            Rcpp::Named("max_dif") = maxDif);
    }

private:
    std::vector<std::string> design, name;
    std::vector<double> N, row, pCol, interval, MEN, MMT, alpha, propSig, upperBound, maxDif;
    std::vector<int> test;
};

} // namespace

// The fields as the command line takes them, as texts.
// [[Rcpp::export]]
Rcpp::List cpp_particular(std::string n, std::string design, std::string row1, std::string pcol,
                          std::string interval, std::string tests, std::string men, std::string mmt,
                          std::string alpha, int threads, std::string folder, bool keepResults) {
    ParticularSpecification spec;
    spec.txtNumber = n;
    spec.design = Design(design);
    spec.txtP_row = row1;
    spec.txtP_col = pcol;
    spec.txtInterval = interval;
    spec.txtTest = tests;
    spec.txtMEN = men;
    spec.txtMMT = mmt;
    spec.txtParameter = alpha;
    SetRunFields(spec, threads, folder, keepResults);
    ParticularColumns sink;
    sink.Conclude(RunParticularStudy(spec, sink));
    return sink.Columns();
}
