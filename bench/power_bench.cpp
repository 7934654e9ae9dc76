// The power study: one combination computed (enumeration under the alternative and the
// pooled null, P values, one sort per test, two sums), and a sample-size sweep run through
// the whole study with its summary file, at the sizes the study is used at, serial and
// with --jobs equal to the cores.
#include "bench.h"

#include "core/tables.h"
#include "power/evaluation.h"
#include "power/run.h"
#include "study/loop.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

namespace quillon::bench {
namespace {

class QuietPowerSink final : public PowerSink {
public:
    void Message(MessageKind, const std::string& text) override {
        std::printf("  message: %s\n", text.c_str());
    }
    Answer Ask(Question, const std::string&) override { return Answer::No; }
    void SampleSizesFound(const std::vector<SampleSizeRow>& rows) override { rows_ = rows.size(); }
    std::size_t rows_ = 0;
};

std::filesystem::path ScratchDirectory(const std::string& name) {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("quillon-bench-" + name + "-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(dir);
    return dir;
}

Registrar ct1000("power-ct1000",
                 "power, comparative trial N = 1000, m = 500, p1 .2, p2 .25, tests 1 - 7", [] {
                     LogFactorial(1000);
                     PowerPoint point;
                     point.N = 1000;
                     point.row = 500;
                     point.p1 = .2;
                     point.p2 = .25;
                     point.tests = {1, 2, 3, 4, 5, 6, 7};
                     PowerOptions options;
                     options.allTestColumns = false;
                     double power5 = 0;
                     const double s =
                         Seconds([&] { power5 = EvaluatePower(point, options)->ForTest(5).power; });
                     std::printf("  power of test 5: %.7f\n", power5);
                     Report("compute (251001 tables)", s, 0.5);
                 });

Registrar sweep("power-sweep",
                "power sample-size sweep N = 10 to 400, ct, row 1 .5, p1 .2, p2 .5, tests 1 - 7, "
                "summary only",
                [] {
                    PowerSpecification spec;
                    spec.txtNumber = "10 to 400";
                    spec.txtRow = ".5";
                    spec.txtP1 = ".2";
                    spec.txtP2 = ".5";
                    spec.txtTest = "1 - 7";
                    spec.summaryOnly = true;
                    const auto dir = ScratchDirectory("power-sweep");
                    spec.dataDirectory = dir;
                    // The least of three runs, each with a sink of its own.
                    std::size_t rows = 0;
                    const double s = LeastOf(3, [&] {
                        QuietPowerSink sink;
                        RunPowerStudy(spec, sink);
                        rows = sink.rows_;
                    });
                    std::printf("  sample-size lines: %zu\n", rows);
                    Report("sweep (391 combinations), least of three", s, 1);
                    std::error_code ec;
                    std::filesystem::remove_all(dir, ec);
                });

// The sweep above into a folder of its own with `jobs`; the seconds and the summary file.
std::pair<double, std::string> TimedSweep(unsigned jobs) {
    PowerSpecification spec;
    spec.txtNumber = "10 to 400";
    spec.txtRow = ".5";
    spec.txtP1 = ".2";
    spec.txtP2 = ".5";
    spec.txtTest = "1 - 7";
    spec.summaryOnly = true;
    spec.jobs = jobs;
    const auto dir = ScratchDirectory("power-sweep-jobs");
    spec.dataDirectory = dir;
    QuietPowerSink sink;
    const double s = Seconds([&] { RunPowerStudy(spec, sink); });
    std::ifstream in(dir / "PowerSummary.txt", std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return {s, text.str()};
}

Registrar sweepJobs("power-sweep-jobs",
                    "the power sweep above, serial and with --jobs = cores (the same file)", [] {
                        const auto serial = TimedSweep(1);
                        Report("serial (--jobs 1)", serial.first);
                        const unsigned cores = JobCount(0);
                        const auto ahead = TimedSweep(cores);
                        Report("--jobs " + std::to_string(cores), ahead.first);
                        const double speedup = serial.first / ahead.first;
                        const double target = cores >= 2 ? 1.6 : 1.0;
                        std::printf("  speed-up %.2f x on %u cores (target >= %.1f x on 2 cores: "
                                    "%s); summary file %s\n",
                                    speedup, cores, target, speedup >= target ? "met" : "MISSED",
                                    serial.second == ahead.second ? "identical" : "DIFFERS");
                    });

} // namespace
} // namespace quillon::bench
