// The power study from R: power and size per combination and test, and sample sizes.
#include "binding.h"

#include "power/run.h"

using namespace quillon;
using namespace quillon::r;

namespace {

class PowerColumns final : public RSink<PowerSink> {
public:
    void CombinationEvaluated(const PowerCombination& c) override {
        const PowerEvaluation& ev = c.evaluation;
        const PowerPoint& p = ev.point;
        for (const PowerTestResult& r : ev.results) {
            design.push_back(DesignText(p.design));
            N.push_back(static_cast<double>(p.N));
            row1.push_back(p.row);
            p1.push_back(p.p1);
            p2.push_back(p.p2);
            MEN.push_back(p.MEN);
            MMT.push_back(p.MMT);
            alpha.push_back(p.alpha);
            pooled.push_back(ev.pooled);
            test.push_back(r.test);
            name.push_back(std::string(TestName(r.test)));
            power.push_back(r.power);
            size.push_back(r.size);
        }
    }
    void SampleSizesFound(const std::vector<SampleSizeRow>& rows) override { sizes_ = rows; }

    Rcpp::List Columns() const {
        return Rcpp::List::create(
            Rcpp::Named("n") = N, Rcpp::Named("design") = design, Rcpp::Named("row1") = row1,
            Rcpp::Named("p1") = p1, Rcpp::Named("p2") = p2, Rcpp::Named("men") = MEN,
            Rcpp::Named("mmt") = MMT, Rcpp::Named("alpha") = alpha, Rcpp::Named("p0") = pooled,
            Rcpp::Named("test") = test, Rcpp::Named("test_name") = name,
            Rcpp::Named("power") = power, Rcpp::Named("size") = size);
    }

    Rcpp::List SampleSizeColumns() const {
        std::vector<int> test;
        std::vector<std::string> name;
        std::vector<double> row, p1, p2, MEN, target, first, stable, best, bestN;
        for (const SampleSizeRow& r : sizes_) {
            test.push_back(r.test);
            name.push_back(std::string(TestName(r.test)));
            row.push_back(r.row);
            p1.push_back(r.p1);
            p2.push_back(r.p2);
            MEN.push_back(r.MEN);
            target.push_back(r.target);
            first.push_back(r.sizes.firstN.value_or(Na()));
            stable.push_back(r.sizes.stableN.value_or(Na()));
            best.push_back(r.sizes.bestPower);
            bestN.push_back(r.sizes.bestN);
        }
        return Rcpp::List::create(Rcpp::Named("test") = test, Rcpp::Named("test_name") = name,
                                  Rcpp::Named("row1") = row, Rcpp::Named("p1") = p1,
                                  Rcpp::Named("p2") = p2, Rcpp::Named("men") = MEN,
                                  Rcpp::Named("target") = target, Rcpp::Named("first_n") = first,
                                  Rcpp::Named("stable_n") = stable,
                                  Rcpp::Named("best_power") = best, Rcpp::Named("best_n") = bestN);
    }

private:
    std::vector<std::string> design, name;
    std::vector<double> N, row1, p1, p2, MEN, MMT, alpha, pooled, power, size;
    std::vector<int> test;
    std::vector<SampleSizeRow> sizes_;
};

} // namespace

// [[Rcpp::export]]
Rcpp::List cpp_power(std::string n, std::string p1, std::string p2, std::string design,
                     std::string row1, std::string tests, std::string men, std::string mmt,
                     std::string alpha, std::string target, int threads, std::string folder,
                     bool keepResults) {
    PowerSpecification spec;
    spec.txtNumber = n;
    spec.txtP1 = p1;
    spec.txtP2 = p2;
    spec.design = Design(design);
    spec.txtRow = row1;
    spec.txtTest = tests;
    spec.txtMEN = men;
    spec.txtMMT = mmt;
    spec.txtAlpha = alpha;
    spec.txtTarget = target;
    SetRunFields(spec, threads, folder, keepResults);
    PowerColumns sink;
    sink.Conclude(RunPowerStudy(spec, sink));
    return Rcpp::List::create(Rcpp::Named("power") = sink.Columns(),
                              Rcpp::Named("sizes") = sink.SampleSizeColumns());
}
