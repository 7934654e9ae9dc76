// The maximum study from R: one row per search, as its summary line records it.
#include "binding.h"

#include "maxima/run.h"

using namespace quillon;
using namespace quillon::r;

namespace {

class MaximumColumns final : public RSink<MaximumSink> {
public:
    void MaximumRecorded(const MaximaSummaryRecord& r) override {
        design.push_back(DesignText(r.key.design));
        N.push_back(static_cast<double>(r.key.N));
        row1.push_back(r.key.row1);
        test.push_back(r.key.test);
        name.push_back(std::string(TestName(r.key.test)));
        MEN.push_back(r.key.MEN);
        MMT.push_back(r.key.MMT);
        property.push_back(r.key.type == Property::MaximumExcess ? "excess" : "size");
        alpha.push_back(r.key.parameter);
        accuracy.push_back(r.accuracyReached);
        maximum.push_back(r.maximum.value);
        pCol.push_back(r.maximum.pcol);
        pRow.push_back(r.maximum.prow >= 0 ? r.maximum.prow : Na());
        m.push_back(r.maximum.m >= 0 ? static_cast<double>(r.maximum.m) : Na());
    }

    Rcpp::List Columns() const {
        return Rcpp::List::create(Rcpp::Named("n") = N, Rcpp::Named("design") = design,
                                  Rcpp::Named("row1") = row1, Rcpp::Named("test") = test,
                                  Rcpp::Named("test_name") = name, Rcpp::Named("men") = MEN,
                                  Rcpp::Named("mmt") = MMT, Rcpp::Named("property") = property,
                                  Rcpp::Named("alpha") = alpha, Rcpp::Named("accuracy") = accuracy,
                                  Rcpp::Named("maximum") = maximum, Rcpp::Named("pcol") = pCol,
                                  Rcpp::Named("prow") = pRow, Rcpp::Named("m") = m);
    }

private:
    std::vector<std::string> design, row1, name, property;
    std::vector<double> N, MEN, MMT, alpha, accuracy, maximum, pCol, pRow, m;
    std::vector<int> test;
};

} // namespace

// [[Rcpp::export]]
Rcpp::List cpp_maximum(std::string n, std::string design, std::string row1, std::string tests,
                       std::string men, std::string mmt, std::string alpha, std::string accuracy,
                       bool excess, int threads, std::string folder, bool keepResults) {
    MaximumSpecification spec;
    spec.number = n;
    spec.design = Design(design);
    spec.row1 = row1;
    spec.test = tests;
    spec.men = men;
    spec.mmt = mmt;
    spec.parameter = alpha;
    spec.accuracy = accuracy;
    spec.type = excess ? Property::MaximumExcess : Property::ActualTypeIError;
    SetRunFields(spec, threads, folder, keepResults);
    MaximumColumns sink;
    sink.Conclude(RunMaximumStudy(spec, sink));
    return sink.Columns();
}
