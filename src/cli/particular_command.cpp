#include "cli/commands.h"
#include "cli/study_output.h"
#include "core/files.h"
#include "core/numtext.h"
#include "core/test_registry.h"
#include "particular/result_files.h"
#include "particular/run.h"
#include "summary/chart_file.h"

#include <atomic>
#include <chrono>
#include <map>
#include <optional>
#include <ostream>

namespace quillon::cli {

namespace {

constexpr const char* kParticularUsageHead =
    "\n"
    "Computes the actual Type I error of the tests at particular population proportions,\n"
    "for every combination of the lists, and appends one line per test and combination to\n"
    "ParticularSummary.txt in the data directory (the latest combination in full goes to\n"
    "ParticularResults.txt). Prints the summary heading and every summary line appended.\n"
    "\n"
    "A SPEC is a value, values separated by commas, a range '10 - 20', a sequence\n"
    "'10 to 30 step 2', or a combination; '*' in a list charts earlier data instead\n"
    "(the selected records are printed as x, y and series).\n"
    "\n"
    "Options:\n"
    "  --n SPEC           total numbers N, 4 to 10000 (required)\n"
    "  --design ct|cs     comparative trial (default) or cross-sectional study\n";
constexpr const char* kParticularUsageTail =
    " (default 1)\n"
    "  --pcol SPEC        population proportions in column 1, 0 to .5 (default .5)\n"
    "  --prow SPEC        proportions in row 1 (cs), or proportions / numbers in row 1 (ct)\n"
    "                     (default .5)\n"
    "  --interval W       population proportion interval, 0 to .1 (default 0)\n"
    "  --men SPEC         minimum expected numbers (default 0)\n"
    "  --mmt X            minimum marginal total, 1 to 10000 (default 1)\n"
    "  --alpha X          nominal significance level / cutoff, 0 to 1 (default .05)\n"
    "  --excess           summary charts show the maximum excess over nominal\n"
    "  --compare          with two tests: compare them table by table (counts of\n"
    "                     significant tables) instead of the cumulative frequencies\n"
    "  --summary-only     do not write ParticularResults.txt (for large batches)\n"
    "  --chart FILE       write the last summary chart of the run as SVG, PNG or PDF\n"
    "                     (by FILE's extension: .svg, .png, .pdf)\n"
    "  --threads K        worker threads (default: one per core)\n"
    "  --jobs K           combinations computed at once, written in the plan's order\n"
    "                     (default: one per core)\n"
    "  --shard K/M        only the K-th of M shares of the combinations, into a data\n"
    "                     directory of its own (see 'quillon-cli merge')\n"
    "  --yes              start a run of more than a million combinations (refused\n"
    "                     otherwise; the size of a run is told before it starts)\n"
    "  --data-dir DIR     data directory (default $XDG_DATA_HOME/Quillon)\n";

// The usage, with the tests the registry holds.
std::string ParticularUsage() {
    return UsageLine("particular") + kParticularUsageHead + "  --tests SPEC       tests 1 to " +
           std::to_string(HighestTestNumber()) + kParticularUsageTail;
}

// The command line's sink of a run: the events every study reports as every study command
// prints them, the comparison summary on stdout, and a progress line on a terminal.
class CliParticularSink final : public CliSink<ParticularSink> {
public:
    CliParticularSink(Streams& io, bool compare, Property mode)
        : CliSink(io, ParticularSummaryCodec::Heading(), std::string(PropertyColumnHeading(mode)),
                  compare ? Answer::Yes : Answer::No) {}

    void Progress(ProgressStage stage, std::uint64_t done, std::uint64_t total) override {
        if (stage == ProgressStage::EvaluationPoints) {
            pointsDone_ = done;
            pointsTotal_ = total;
        }
        if (!output_.ProgressDue(done == total))
            return;
        const std::uint64_t points = pointsTotal_;
        std::string line = "point " + std::to_string(std::min(pointsDone_ + 1, points)) + "/" +
                           std::to_string(points);
        if (stage != ProgressStage::EvaluationPoints && total > 0) {
            const int width = 30;
            const auto filled =
                static_cast<int>(static_cast<double>(done) / static_cast<double>(total) * width);
            line += "  " + std::string(StageText(stage)) + " [" +
                    std::string(static_cast<std::size_t>(filled), '#') +
                    std::string(static_cast<std::size_t>(width - filled), ' ') + "]";
        }
        output_.ShowProgress(line);
    }

    void PointEvaluated(const PointChart&) override {}
    void ScatterReady(const TwoTestScatter&) override {}
    void ComparisonSummary(const std::string& text) override {
        output_.ClearProgress();
        output_.io().out << WithLineFeeds(text) << "\n\n";
    }

private:
    // Set by the run's thread, read by workers reporting their progress.
    std::atomic<std::uint64_t> pointsDone_ = 0, pointsTotal_ = 1;
};

} // namespace

int RunParticular(const std::vector<std::string>& args, Streams& io) {
    ParticularSpecification spec;
    spec.txtNumber.clear();
    bool compare = false;
    StudyOptions options;
    options.texts = {{"--n", &spec.txtNumber},          {"--tests", &spec.txtTest},
                     {"--pcol", &spec.txtP_col},        {"--prow", &spec.txtP_row},
                     {"--interval", &spec.txtInterval}, {"--men", &spec.txtMEN},
                     {"--mmt", &spec.txtMMT},           {"--alpha", &spec.txtParameter}};
    options.flags = {{"--excess", [&] { spec.summaryChartMode = Property::MaximumExcess; }},
                     {"--compare", [&] { compare = true; }},
                     {"--summary-only", [&] { spec.summaryOnly = true; }}};
    options.single = {"--interval", "--mmt", "--alpha"};
    spec.reading = Reading::Strict;
    options.threads = &spec.threads;
    spec.jobs = 0; // one per core unless --jobs says otherwise
    options.jobs = &spec.jobs;
    options.shard = &spec.shard;
    options.design = &spec.design;
    if (auto status = ParseStudyOptions(args, options, "particular", ParticularUsage().c_str(), io))
        return *status;
    const std::optional<std::string>& chartFile = options.chartFile;
    spec.dataDirectory =
        options.dataDir ? std::filesystem::path(*options.dataDir) : DefaultDataDirectory();

    CliParticularSink sink(io, compare, spec.summaryChartMode);
    sink.AcceptLargeRuns(options.yes);
    const StudyOutcome outcome = RunParticularStudy(spec, sink);
    return FinishStudyCommand(outcome.status, sink.LastChart(), chartFile, io);
}

} // namespace quillon::cli
