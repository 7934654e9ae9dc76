#include "cli/commands.h"
#include "cli/study_output.h"
#include "core/files.h"
#include "core/test_registry.h"
#include "power/result_files.h"
#include "power/run.h"

#include <algorithm>
#include <atomic>
#include <optional>
#include <ostream>

namespace quillon::cli {

namespace {

constexpr const char* kPowerUsageHead =
    "\n"
    "Computes the exact power of the tests for particular population proportions p1 (row 1)\n"
    "and p2 (row 2), with their size (actual Type I error at the pooled proportion), for\n"
    "every combination of the lists, and appends one line per test and combination to\n"
    "PowerSummary.txt in the data directory (the latest combination in full goes to\n"
    "PowerResults.txt). Prints the summary heading and every summary line appended; when N\n"
    "has several values, then the sample sizes: the smallest N of the list reaching the target\n"
    "power, and the smallest N from which the power stays at or above it ('-': not reached).\n"
    "\n"
    "A SPEC is a value, values separated by commas, a range '10 - 20', a sequence\n"
    "'10 to 30 step 2', or a combination; '*' in a list charts earlier data instead\n"
    "(the selected records are printed as x, y and series).\n"
    "\n"
    "Options:\n"
    "  --n SPEC           total numbers N, 4 to 10000 (required)\n"
    "  --p1 SPEC          proportions in column 1 within row 1, 0 to 1 (required)\n"
    "  --p2 SPEC          proportions in column 1 within row 2, 0 to 1 (required)\n"
    "  --design ct|cs     comparative trial (default) or cross-sectional study\n"
    "  --row1 SPEC        proportions in row 1 strictly between 0 and 1, or (ct) numbers in\n"
    "                     row 1 from 1 to N - 1 (default .5)\n";
constexpr const char* kPowerUsageTail =
    " (default 1)\n"
    "  --men SPEC         minimum expected numbers (default 0)\n"
    "  --mmt X            minimum marginal total, 1 to 10000 (default 1)\n"
    "  --alpha X          significance level, 0 to 1 (default .05)\n"
    "  --target X         target power, 0 to 1 (default .8)\n"
    "  --summary-only     do not write PowerResults.txt (for large batches)\n"
    "  --chart FILE.svg   write the summary chart of the run as SVG\n"
    "  --threads K        worker threads (default: one per core)\n"
    "  --jobs K           combinations computed at once, written in the plan's order\n"
    "                     (default: one per core)\n"
    "  --shard K/M        only the K-th of M shares of the combinations, into a data\n"
    "                     directory of its own (see 'quillon-cli merge'). A shard prints\n"
    "                     its summary lines but no sample sizes and writes no chart: both\n"
    "                     need every N of the plan. After the merge, read the sample sizes\n"
    "                     off the merged PowerSummary.txt, or chart it with '*'.\n"
    "  --yes              start a run of more than a million combinations (refused\n"
    "                     otherwise; the size of a run is told before it starts)\n"
    "  --data-dir DIR     data directory (default $XDG_DATA_HOME/Quillon)\n";

// The usage, with the tests the registry holds.
std::string PowerUsage() {
    return UsageLine("power") + kPowerUsageHead + "  --tests SPEC       tests 1 to " +
           std::to_string(HighestTestNumber()) + kPowerUsageTail;
}

// The command line's sink of a power run: the events every study reports as every study
// command prints them, the sample-size block on stdout, and a progress line on a terminal.
class CliPowerSink final : public CliSink<PowerSink> {
public:
    explicit CliPowerSink(Streams& io) : CliSink(io, PowerSummaryCodec::Heading(), "Power") {}

    void Progress(ProgressStage stage, std::uint64_t done, std::uint64_t total) override {
        if (stage == ProgressStage::Combinations) {
            done_ = done;
            total_ = total;
        }
        if (!output_.ProgressDue(done == total))
            return;
        const std::uint64_t combinationsDone = done_, combinations = total_;
        std::string line = "combination " +
                           std::to_string(std::min(combinationsDone + 1, combinations)) + "/" +
                           std::to_string(combinations);
        if (stage != ProgressStage::Combinations)
            line += "  " + std::string(StageText(stage));
        output_.ShowProgress(line);
    }

    void SampleSizesFound(const std::vector<SampleSizeRow>& rows) override {
        output_.ClearProgress();
        std::ostream& out = output_.io().out;
        out << "\n" << SampleSizeHeading() << "\n";
        for (const SampleSizeRow& row : rows)
            out << SampleSizeLine(row) << "\n";
    }

private:
    // Set by the run's thread, read by workers reporting their progress.
    std::atomic<std::uint64_t> done_ = 0, total_ = 1;
};

} // namespace

int RunPower(const std::vector<std::string>& args, Streams& io) {
    PowerSpecification spec;
    spec.txtNumber.clear();
    spec.txtP1.clear();
    spec.txtP2.clear();
    StudyOptions options;
    options.texts = {
        {"--n", &spec.txtNumber}, {"--p1", &spec.txtP1},       {"--p2", &spec.txtP2},
        {"--row1", &spec.txtRow}, {"--tests", &spec.txtTest},  {"--men", &spec.txtMEN},
        {"--mmt", &spec.txtMMT},  {"--alpha", &spec.txtAlpha}, {"--target", &spec.txtTarget}};
    options.flags = {{"--summary-only", [&] { spec.summaryOnly = true; }}};
    options.single = {"--mmt", "--alpha", "--target"};
    spec.reading = Reading::Strict;
    options.threads = &spec.threads;
    spec.jobs = 0; // one per core unless --jobs says otherwise
    options.jobs = &spec.jobs;
    options.shard = &spec.shard;
    options.design = &spec.design;
    if (auto status = ParseStudyOptions(args, options, "power", PowerUsage().c_str(), io))
        return *status;
    for (const auto& [option, text] : {std::pair{"--p1", &spec.txtP1}, {"--p2", &spec.txtP2}})
        if (text->empty()) {
            io.err << "quillon-cli power: " << option << " is required\n\n" << PowerUsage();
            return 2;
        }
    spec.dataDirectory =
        options.dataDir ? std::filesystem::path(*options.dataDir) : DefaultDataDirectory();
    CliPowerSink sink(io);
    sink.AcceptLargeRuns(options.yes);
    const StudyOutcome outcome = RunPowerStudy(spec, sink);
    return FinishStudyCommand(outcome.status, sink.LastChart(), options.chartFile, io);
}

} // namespace quillon::cli
