// Maximum study: the area search of whole runs, against the step-by-step search.
#include "bench.h"
#include "core/files.h"
#include "core/tables.h"
#include "maxima/run.h"
#include "maxima/search.h"
#include "reference/maxima_literal.h"
#include "study/loop.h"
#include "study/worker_pool.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>

namespace quillon::bench {
namespace {

// A run without windows: no waits, messages counted.
class QuietSink final : public MaximumSink {
public:
    void Message(MessageKind, const std::string& text) override {
        ++messages;
        std::printf("  message: %s\n", text.c_str());
    }
    Answer Ask(Question, const std::string&) override { return Answer::No; }
    void SummaryLine(const std::string&) override { ++lines; }
    int messages = 0, lines = 0;
};

std::filesystem::path TempDirectory(const std::string& name) {
    const auto dir = std::filesystem::temp_directory_path() / ("quillon-bench-" + name);
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

double TimeRun(MaximumSpecification spec, const std::string& name) {
    spec.dataDirectory = TempDirectory(name);
    QuietSink sink;
    StudyOutcome result;
    const double seconds = Seconds([&] { result = RunMaximumStudy(spec, sink); });
    std::printf("  %d summary lines, status %d\n", sink.lines, static_cast<int>(result.status));
    std::filesystem::remove_all(spec.dataDirectory);
    return seconds;
}

// The step-by-step search over the same combinations ("overall" carrying across m).
double TimeLiteral(DesignCode design, std::int64_t N, int test, double accuracy, bool overall) {
    double maximum = 0;
    const double seconds = Seconds([&] {
        SearchSpec s;
        s.key.design = design;
        s.key.N = N;
        s.key.test = test;
        s.key.accuracy = accuracy;
        if (design == CrossSectionalStudy) {
            maximum = reference::AreaSearchLiteral(s, nullptr).maximum.value;
            return;
        }
        FoundMaximum carried;
        for (std::int64_t m = 1; m <= (overall ? N / 2 : 1); ++m) {
            s.m = overall ? m : N / 2;
            carried = reference::AreaSearchLiteral(s, m == 1 ? nullptr : &carried).maximum;
        }
        maximum = carried.value;
    });
    std::printf("  step-by-step maximum %.9g\n", maximum);
    return seconds;
}

Registrar ct80("maxima-ct80-overall",
               "comparative trial N = 80, row 1 overall, test 1, accuracy .001", [] {
                   MaximumSpecification spec;
                   spec.design = ComparativeTrial;
                   spec.number = "80";
                   spec.row1 = "overall";
                   spec.test = "1";
                   spec.accuracy = ".001";
                   Report("program", TimeRun(spec, "ct80"), 2);
                   Report("step-by-step search", TimeLiteral(ComparativeTrial, 80, 1, 0.001, true));
               });

Registrar cs30("maxima-cs30", "cross-sectional study N = 30, test 1, accuracy .001", [] {
    MaximumSpecification spec;
    spec.design = CrossSectionalStudy;
    spec.number = "30";
    spec.test = "1";
    spec.accuracy = ".001";
    Report("program", TimeRun(spec, "cs30"), 10);
    Report("step-by-step search", TimeLiteral(CrossSectionalStudy, 30, 1, 0.001, false));
});

Registrar example7("maxima-example7",
                   "the maximum window's example 7: comparative trial, N 4 - 80, tests 1 - 7, "
                   "overall, accuracy .001",
                   [] {
                       MaximumSpecification spec;
                       spec.design = ComparativeTrial;
                       spec.number = "4 - 80";
                       spec.row1 = "overall";
                       spec.test = "1 - 7";
                       spec.accuracy = "0.001";
                       Report("program", TimeRun(spec, "example7"), 180);
                   });

// The summary records of a run without their Time field (the last), one per line.
std::string RecordsWithoutTime(const std::filesystem::path& file) {
    std::string out;
    for (const std::string& line : SplitLines(ReadTextFile(file).value_or(""))) {
        const std::size_t tab = line.rfind('\t');
        out += line.substr(0, tab) + "\n";
    }
    return out;
}

// A run into its own folder; returns the seconds and the records without their Time.
std::pair<double, std::string> TimedRecords(MaximumSpecification spec, const std::string& name) {
    spec.dataDirectory = TempDirectory(name);
    QuietSink sink;
    const double seconds = Seconds([&] { (void)RunMaximumStudy(spec, sink); });
    std::string records = RecordsWithoutTime(spec.dataDirectory / "MaximaSummary.txt");
    std::filesystem::remove_all(spec.dataDirectory);
    return {seconds, std::move(records)};
}

Registrar example13("maxima-example13-jobs",
                    "the maximum window's example 13: cross-sectional, N 4 - 60, tests 1 - 7, "
                    "serial and with --jobs = cores",
                    [] {
                        MaximumSpecification spec;
                        spec.design = CrossSectionalStudy;
                        spec.number = "4 - 60";
                        spec.test = "1 - 7";
                        spec.men = "0";
                        spec.accuracy = "0.001";
                        spec.jobs = 1;
                        const auto serial = TimedRecords(spec, "example13-serial");
                        Report("serial (--jobs 1)", serial.first);
                        const unsigned cores = JobCount(0);
                        spec.jobs = cores;
                        const auto ahead = TimedRecords(spec, "example13-jobs");
                        Report("--jobs " + std::to_string(cores), ahead.first);
                        const double speedup = serial.first / ahead.first;
                        const double target = cores >= 2 ? 1.7 : 1.0;
                        std::printf("  speed-up %.2f x on %u cores (target >= %.1f x on 2 cores: "
                                    "%s); records %s\n",
                                    speedup, cores, target, speedup >= target ? "met" : "MISSED",
                                    serial.second == ahead.second ? "identical" : "DIFFER");
                    });

Registrar cs150("maxima-cs150-threads",
                "one cross-sectional search N = 150, test 1, accuracy .001: one thread and "
                "all cores",
                [] {
                    MaximumSpecification spec;
                    spec.design = CrossSectionalStudy;
                    spec.number = "150";
                    spec.test = "1";
                    spec.accuracy = "0.001";
                    spec.threads = 1;
                    const auto one = TimedRecords(spec, "cs150-one");
                    Report("one thread", one.first, 2);
                    spec.threads = 0;
                    const auto all = TimedRecords(spec, "cs150-all");
                    Report("all " + std::to_string(WorkerPool::Shared().Threads()) + " threads",
                           all.first);
                    std::printf("  speed-up %.2f x; result %s\n", one.first / all.first,
                                one.second == all.second ? "bit-identical" : "DIFFERS");
                    std::printf("  %s", all.second.c_str());
                });

// The search targets on one thread: the time of each search and the peak memory of the
// process (run a large case on its own to read its peak: quillon-bench maxima-cs500).
void OneThreadSearch(MaximumSpecification spec, const std::string& name, double target) {
    spec.threads = 1;
    const auto run = TimedRecords(spec, name);
    Report("one thread", run.first, target);
    std::printf("  peak resident memory so far: %.2f GB\n  %s",
                static_cast<double>(PeakResidentBytes()) / (1 << 30), run.second.c_str());
}

MaximumSpecification CrossSectional(const std::string& N) {
    MaximumSpecification spec;
    spec.design = CrossSectionalStudy;
    spec.number = N;
    spec.test = "1";
    spec.accuracy = "0.001";
    return spec;
}

// The size of search the R package is measured at against this program.
Registrar cs60("maxima-cs60", "one cross-sectional search N = 60, test 1, accuracy .001",
               [] { OneThreadSearch(CrossSectional("60"), "cs60", 0); });
Registrar cs60u("maxima-cs60-test8",
                "one cross-sectional search N = 60, exact unconditional test 8, accuracy .001", [] {
                    MaximumSpecification spec = CrossSectional("60");
                    spec.test = "8";
                    OneThreadSearch(spec, "cs60-test8", 0);
                });
Registrar cs300("maxima-cs300", "one cross-sectional search N = 300, test 1, accuracy .001",
                [] { OneThreadSearch(CrossSectional("300"), "cs300", 20); });
Registrar cs500("maxima-cs500",
                "one cross-sectional search N = 500, test 1, accuracy .001 (target 4 GB)",
                [] { OneThreadSearch(CrossSectional("500"), "cs500", 120); });
Registrar cs1000("maxima-cs1000", "one cross-sectional search N = 1000, test 1, accuracy .001",
                 [] { OneThreadSearch(CrossSectional("1000"), "cs1000", 0); });

Registrar ct1000("maxima-ct1000",
                 "one comparative-trial search N = 1000, m = 500, test 5, accuracy .001", [] {
                     MaximumSpecification spec;
                     spec.design = ComparativeTrial;
                     spec.number = "1000";
                     spec.row1 = "500";
                     spec.test = "5";
                     spec.accuracy = "0.001";
                     OneThreadSearch(spec, "ct1000", 0.5);
                 });

} // namespace
} // namespace quillon::bench
