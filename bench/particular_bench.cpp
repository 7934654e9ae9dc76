// The particular-proportion study: one evaluation point computed (P values, sorts,
// combining) and with its files written, at the sizes the study is used at. The peak
// memory figure is the process's, so run the large case on its own:
//   quillon-bench particular-ct10000
#include "bench.h"

#include "core/tables.h"
#include "particular/evaluation.h"
#include "particular/run.h"
#include "reference/particular_literal.h"

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

namespace quillon::bench {
namespace {

// A run with no one at the screen: messages printed, no answers, no waits.
class QuietSink final : public ParticularSink {
public:
    void Message(MessageKind, const std::string& text) override {
        std::printf("  message: %s\n", text.c_str());
    }
    Answer Ask(Question, const std::string&) override { return Answer::No; }
    void PointEvaluated(const PointChart&) override {}
    void ScatterReady(const TwoTestScatter&) override {}
};

std::filesystem::path ScratchDirectory(const std::string& name) {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("quillon-bench-" + name + "-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(dir);
    return dir;
}

EvaluationPoint Point(DesignCode design, std::int64_t N, double p, double w, double x,
                      std::vector<int> tests) {
    EvaluationPoint point;
    point.design = design;
    point.N = N;
    point.pCol = p;
    point.interval = w;
    point.row = x;
    point.rowInterval = design == CrossSectionalStudy ? w : 0;
    point.tests = std::move(tests);
    return point;
}

void Compute(const std::string& label, const EvaluationPoint& point, bool allColumns,
             double target) {
    EvaluationOptions options;
    options.allTestColumns = allColumns;
    std::size_t tables = 0;
    const double s = Seconds([&] { tables = EvaluatePoint(point, options)->TableCount(); });
    Report(label + " (" + std::to_string(tables) + " tables)", s, target);
}

double RunWithFiles(ParticularSpecification spec, const std::string& name, int repeats = 1) {
    const auto dir = ScratchDirectory(name);
    spec.dataDirectory = dir;
    QuietSink sink;
    const double s = LeastOf(repeats, [&] { RunParticularStudy(spec, sink); });
    std::error_code ec;
    const auto results = dir / "ParticularResults.txt";
    if (std::filesystem::exists(results, ec))
        std::printf("  results file: %.1f MB\n",
                    static_cast<double>(std::filesystem::file_size(results, ec)) / 1e6);
    std::filesystem::remove_all(dir, ec);
    return s;
}

Registrar
    ct1000("particular-ct1000", "comparative trial N = 1000, m = 500, p = .5, tests 1 - 7", [] {
        LogFactorial(1000);
        Compute("compute", Point(ComparativeTrial, 1000, .5, 0, 500, {1, 2, 3, 4, 5, 6, 7}), true,
                0.5);
        ParticularSpecification spec;
        spec.txtNumber = "1000";
        spec.txtTest = "1 - 7";
        spec.txtP_col = ".5";
        spec.txtP_row = "500";
        Report("compute and write both files", RunWithFiles(spec, "ct1000"), 5);
    });

Registrar cs150("particular-cs150",
                "cross-sectional N = 150, pi(col) .3, pi(row) .4, interval .01, tests 1 - 7", [] {
                    LogFactorial(150);
                    Compute("compute",
                            Point(CrossSectionalStudy, 150, .3, .01, .4, {1, 2, 3, 4, 5, 6, 7}),
                            true, 2);
                    ParticularSpecification spec;
                    spec.design = CrossSectionalStudy;
                    spec.txtNumber = "150";
                    spec.txtTest = "1 - 7";
                    spec.txtP_col = ".3";
                    spec.txtP_row = ".4";
                    spec.txtInterval = ".01";
                    Report("compute and write both files", RunWithFiles(spec, "cs150"), 0);
                });

Registrar ct10000("particular-ct10000",
                  "comparative trial N = 10000, m = 5000, test 3, summary only", [] {
                      ParticularSpecification spec;
                      spec.txtNumber = "10000";
                      spec.txtTest = "3";
                      spec.txtP_col = ".5";
                      spec.txtP_row = "5000";
                      spec.summaryOnly = true;
                      Report("compute and append the summary line", RunWithFiles(spec, "ct10000"),
                             60);
                      const double gb = static_cast<double>(PeakResidentBytes()) / (1 << 30);
                      std::printf("  peak resident memory: %.2f GB (target < 8 GB: %s)\n", gb,
                                  gb < 8 ? "met" : "MISSED");
                  });

// The point and the sweep of the speed targets, through the whole study, summary only and
// on one thread, the least of three runs: the sweep's fifty points share their significant
// tables, which do not depend on pi(col), so it should cost a few points, not fifty.
double SummaryRun(DesignCode design, const std::string& number, const std::string& pCol,
                  const std::string& row, const std::string& name) {
    ParticularSpecification spec;
    spec.design = design;
    spec.txtNumber = number;
    spec.txtTest = "1 - 7";
    spec.txtP_col = pCol;
    spec.txtP_row = row;
    spec.summaryOnly = true;
    spec.threads = 1;
    return RunWithFiles(spec, name, 3);
}

Registrar targetCt("particular-target-ct1000",
                   "comparative trial N = 1000, m = 500, pi(col) .3, tests 1 - 7, summary only, "
                   "one thread: a point and a sweep of 50 values of pi(col)",
                   [] {
                       LogFactorial(1000);
                       const double point =
                           SummaryRun(ComparativeTrial, "1000", ".3", "500", "target-ct1000");
                       Report("one point", point, 0.05);
                       const double sweep =
                           SummaryRun(ComparativeTrial, "1000", ".01 to .5 step .01", "500",
                                      "target-ct1000-sweep");
                       Report("sweep of 50 values of pi(col)", sweep);
                       std::printf("  sweep / point %.1f (target <= 5: %s)\n", sweep / point,
                                   sweep <= 5 * point ? "met" : "MISSED");
                   });

Registrar targetCs("particular-target-cs150",
                   "cross-sectional N = 150, pi(col) .3, pi(row) .4, tests 1 - 7, summary only, "
                   "one thread",
                   [] {
                       LogFactorial(150);
                       Report("one point",
                              SummaryRun(CrossSectionalStudy, "150", ".3", ".4", "target-cs150"),
                              0.2);
                   });

// How much the shared P values, the per-margins Fisher terms and the threads save over
// the literal steps, at a size the literal steps finish in reasonable time.
Registrar literal("particular-vs-literal",
                  "comparative trial N = 200, m = 100, tests 1 - 7: literal steps vs engine", [] {
                      const EvaluationPoint point =
                          Point(ComparativeTrial, 200, .5, 0, 100, {1, 2, 3, 4, 5, 6, 7});
                      reference::LiteralPoint lp;
                      lp.N = 200;
                      lp.x = 100;
                      lp.tests = point.tests;
                      Report("literal steps (with the listing text)",
                             Seconds([&] { reference::EvaluatePointLiteral(lp, "caption"); }));
                      Report("engine (without the listing text)",
                             Seconds([&] { EvaluatePoint(point); }));
                  });

} // namespace
} // namespace quillon::bench
