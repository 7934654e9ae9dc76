#include "cli/commands.h"
#include "cli/study_output.h"
#include "core/files.h"
#include "core/numtext.h"
#include "core/test_registry.h"
#include "maxima/run.h"
#include "summary/chart_file.h"

#include <chrono>
#include <map>
#include <optional>
#include <ostream>

namespace quillon::cli {

namespace {

constexpr const char* kMaximumUsageHead =
    "\n"
    "Searches all population proportions for the maximum actual Type I error of a test (or\n"
    "the maximum excess of actual over nominal), to the accuracy required, for every\n"
    "combination of the lists. Appends one line per search to MaximaSummary.txt in the data\n"
    "directory (Summary_of_Maxima_when_test_policy15.txt or ...35.txt for the combined\n"
    "policies); the log of the searches goes to MaximaResultsAllAreas.txt and the tables of\n"
    "the latest area to MaximaResultsEachArea.txt. Prints the summary heading and every\n"
    "summary line appended.\n"
    "\n"
    "A SPEC is a value, values separated by commas, a range '10 - 20', a sequence\n"
    "'10 to 30 step 2', or a combination; '*' for --n, --tests or --men charts earlier data\n"
    "instead (the selected records are printed as N, value and series).\n"
    "\n"
    "Options:\n"
    "  --n SPEC           total numbers N, 4 to 10000 (required)\n"
    "  --design ct|cs     comparative trial (default) or cross-sectional study\n"
    "  --row1 V           comparative trial: a proportion up to .5 of N, a number up to N/2,\n"
    "                     'all' (each number in row 1 in turn) or 'overall' (the maximum over\n"
    "                     all numbers in row 1) (default .5)\n";
constexpr const char* kMaximumUsageTail =
    ", or '15' / '35' for test 1 / 3 with test 5 for tables\n"
    "                     that fail the MEN or the MMT (default 1)\n"
    "  --men SPEC         minimum expected numbers (default 0)\n"
    "  --mmt X            minimum marginal total, at least 1 (default 1)\n"
    "  --alpha X          nominal significance level, or the cutoff with --excess, 0 to 1\n"
    "                     (default .05)\n"
    "  --accuracy X       accuracy required of the maximum, .000001 to 1 (default .001)\n"
    "  --excess           maximise the excess of actual over nominal Type I error for\n"
    "                     nominal levels up to the cutoff\n"
    "  --summary-only     write neither area log (MaximaResultsAllAreas.txt and\n"
    "                     MaximaResultsEachArea.txt; those of an earlier run are left as\n"
    "                     they were), for large batches\n"
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
std::string MaximumUsage() {
    return UsageLine("maximum") + kMaximumUsageHead + "  --tests SPEC       tests 1 to " +
           std::to_string(HighestTestNumber()) + kMaximumUsageTail;
}

// The command line's sink of a run: the events every study reports as every study command
// prints them, and a progress line that follows the searches (on a terminal redrawn in
// place, elsewhere a line at most every second).
class CliMaximumSink final : public CliSink<MaximumSink> {
public:
    CliMaximumSink(Streams& io, Property type)
        : CliSink(io, MaximaSummaryCodec::Heading(),
                  type == Property::MaximumExcess ? "Maximum excess" : "Maximum") {
        // A fine search runs for minutes without a summary line; a batch job's log should
        // still show that it moves.
        output_.LogProgress();
    }

    void Progress(ProgressStage, std::uint64_t done, std::uint64_t total) override {
        searchesDone_ = done;
        searchesTotal_ = total;
    }

    void OnSearchStarted(const SearchStarted& e) override {
        current_ = "N =" + PlainNumberText(static_cast<double>(e.key.N));
        if (e.m >= 0)
            current_ += "  m =" + PlainNumberText(static_cast<double>(e.m));
        current_ += "  test =" + PlainNumberText(e.key.test);
        maximum_ = 0;
        bound_ = -1;
        Draw(true);
    }
    void OnNewMaximum(const NewMaximum& e) override {
        maximum_ = e.value;
        Draw(false);
    }
    void OnSurveyDone(const SurveyDone& e) override {
        maximum_ = e.overallMaximum;
        bound_ = e.bound;
        Draw(false);
    }
    void OnGridPassDone(const GridPassDone& e) override {
        maximum_ = e.maximum;
        bound_ = e.residueBound;
        Draw(false);
    }
    void OnAreaEvaluated(const AreaEvaluated&) override { Draw(false); }

private:
    void Draw(bool force) {
        if (!output_.ProgressDue(force))
            return;
        std::string line = "search " + std::to_string(std::min(searchesDone_ + 1, searchesTotal_)) +
                           "/" + std::to_string(searchesTotal_) + "  " + current_ + "  max " +
                           GiveSignedNumberTonsf(maximum_, 7);
        if (bound_ >= 0)
            line += "  residue bound " + GiveSignedNumberTonsf(bound_, 7);
        output_.ShowProgress(line);
    }

    std::uint64_t searchesDone_ = 0, searchesTotal_ = 1;
    std::string current_;
    double maximum_ = 0, bound_ = -1;
};

} // namespace

int RunMaximum(const std::vector<std::string>& args, Streams& io) {
    MaximumSpecification spec;
    StudyOptions options;
    options.texts = {{"--n", &spec.number},         {"--row1", &spec.row1},
                     {"--tests", &spec.test},       {"--men", &spec.men},
                     {"--mmt", &spec.mmt},          {"--alpha", &spec.parameter},
                     {"--accuracy", &spec.accuracy}};
    options.flags = {{"--excess", [&] { spec.type = Property::MaximumExcess; }},
                     {"--summary-only", [&] { spec.summaryOnly = true; }}};
    options.design = &spec.design;
    options.single = {"--row1", "--mmt", "--alpha", "--accuracy"};
    options.words = {{"--row1", {"all", "overall"}}};
    spec.reading = Reading::Strict;
    options.threads = &spec.threads;
    spec.jobs = 0; // one per core unless --jobs says otherwise
    options.jobs = &spec.jobs;
    options.shard = &spec.shard;
    if (auto status = ParseStudyOptions(args, options, "maximum", MaximumUsage().c_str(), io))
        return *status;
    const std::optional<std::string>& chartFile = options.chartFile;
    spec.dataDirectory =
        options.dataDir ? std::filesystem::path(*options.dataDir) : DefaultDataDirectory();

    CliMaximumSink sink(io, spec.type);
    sink.AcceptLargeRuns(options.yes);
    const StudyOutcome outcome = RunMaximumStudy(spec, sink);
    return FinishStudyCommand(outcome.status, sink.LastChart(), chartFile, io);
}

} // namespace quillon::cli
