// The particular-proportion study run: reads and checks what the user typed, then either
// charts earlier data ("*" in a list field), compares two tests table by table, or
// evaluates every combination of the lists, writing the result files and reporting each
// evaluated point, each summary line and each summary chart due to its sink.
//
// The desktop program, the command line and the tests all drive this same code; they only
// differ in what they do with the events (study/events.h).
#pragma once

#include "core/designs.h"
#include "particular/comparison.h"
#include "particular/evaluation.h"
#include "particular/result_files.h"
#include "study/events.h"
#include "study/plan.h"
#include "study/run_clock.h"
#include "study/shard.h"
#include "study/speclang.h"
#include "summary/summary_chart_data.h"

#include <filesystem>
#include <optional>
#include <string>

namespace quillon {

// What the user typed into the specification window, as typed.
struct ParticularSpecification {
    std::string txtNumber = "20";     // total numbers N
    std::string txtTest = "1";        // tests
    std::string txtP_col = ".5";      // population proportions in column 1
    std::string txtP_row = ".5";      // proportions in row 1, or (comparative trial) numbers
    std::string txtInterval = "0";    // population proportion interval w
    std::string txtMEN = "0";         // minimum expected numbers
    std::string txtMMT = "1";         // minimum marginal total
    std::string txtParameter = ".05"; // nominal significance level / cutoff
    DesignCode design = ComparativeTrial;
    Property summaryChartMode = Property::ActualTypeIError;
    std::filesystem::path dataDirectory;
    // Skip "ParticularResults.txt" (large batches from the command line).
    bool summaryOnly = false;
    // The date written into captions and files (today unless a test fixes it).
    RunClock clock;
    // Worker threads for the evaluation; 0 = the engine's pool.
    unsigned threads = 0;
    // Combinations computed at once (their files and events still come in the plan's
    // order); 0 = one per core.
    unsigned jobs = 1;
    // Only this share of the combinations (--shard K/M), into a data directory of its own.
    ShardChoice shard;
    // How the fields are read: the windows' lenient reading, or the command line's strict
    // one that refuses what it cannot read whole.
    Reading reading = Reading::Lenient;
};

// One evaluated point, for its cumulative-frequency chart. The evaluation is only valid
// during the call; a sink that keeps the chart keeps its own copy of what it draws.
struct PointChart {
    const PointEvaluation& evaluation;
    std::string caption; // the chart caption (the caption line without the interval)
};

// The events of the particular study beyond those every study reports.
class ParticularSink : public StudySink {
public:
    // A point has been evaluated and its files written.
    virtual void PointEvaluated(const PointChart& chart) = 0;
    // The scatter diagram of a comparison of two tests at one N.
    virtual void ScatterReady(const TwoTestScatter& scatter) = 0;
    // The summary of the significant tables of that comparison (an OK message).
    virtual void ComparisonSummary(const std::string& text) { Message(MessageKind::Notice, text); }
};

// Which summary chart a run draws: the summary-file fields on the horizontal axis and
// for the series (0 for none), with the axis and key labels.
struct SummaryChartChoice {
    int xField = 3;
    int seriesField = 0;
    std::string axisLabel, seriesLabel;
};
// During a run: the chart due after a point, from the varying lists and those that have
// reached their last value, or nothing when none is due.
std::optional<SummaryChartChoice> SummaryChartDue(DimensionSet varying, DimensionSet completed);
// The chart a run with these varying lists draws during the run, whenever it is due; nothing
// when the run draws none. After a stop it is drawn for the series cut short.
std::optional<SummaryChartChoice> RunSummaryChart(DimensionSet varying);
// In a "*" run: the chart of earlier data, or nothing when the key is not programmed.
std::optional<SummaryChartChoice> EarlierDataChart(DimensionSet varying);

// The question asked when two tests are chosen and the tests (and N) are all that vary.
std::string TwoTestQuestionText();

StudyOutcome RunParticularStudy(const ParticularSpecification& spec, ParticularSink& sink);

} // namespace quillon
