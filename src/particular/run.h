// The particular-proportion study run: reads and checks what the user typed, then either
// charts earlier data ("*" in a list field), compares two tests table by table, or
// evaluates every combination of the lists, writing the result files and drawing the
// charts through the view.
//
// The desktop program, the command line and the tests all drive this same code; they only
// differ in how they implement ParticularView.
#pragma once

#include "core/interaction.h"
#include "particular/comparison.h"
#include "particular/evaluation.h"
#include "summary/summary_chart_data.h"

#include <filesystem>
#include <optional>
#include <string>

namespace quillon {

// A calendar day, for the dates written into captions and summary lines.
struct RunDate {
    int day = 1, month = 1, year = 2000;
};
RunDate Today();

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
    int design = ComparativeTrial;    // DesignCode
    bool chkPause = false;            // pause at each chart
    int summaryChartMode = 1;         // 1 actual Type I error at alpha, 2 maximum excess
    std::filesystem::path dataDirectory;
    // Skip "ParticularResults.txt" (large batches from the command line).
    bool summaryOnly = false;
    // The date written into captions and files; today when not set.
    std::optional<RunDate> date;
    // Worker threads for the evaluation; 0 = one per core.
    unsigned threads = 0;
};

// What the chart window needs to draw the cumulative-frequency chart of one point. The
// evaluation is only valid during the call; a view that keeps the chart keeps its own
// copy of what it draws.
struct CumulativeChartRequest {
    const PointEvaluation& evaluation;
    std::string caption;    // the chart caption (the caption line without the interval)
    bool maximised = false; // a single evaluation point: the chart window is maximised;
                            // otherwise it takes 60% of the screen at the top left
};

// The windows of a run. Calls come in this order:
//   a run over the points: SetBusy(true); per point SetChartBusy(true), then
//     DrawSummaryChart when a series is complete, ShowSpecificationWindow(false),
//     ShowChartWindow(true), DrawCumulativeChart, SetChartBusy(false) and, when pausing,
//     WaitForNextChart; at the end ShowChartWindow(false), ShowSummaryChartWindow(true),
//     WaitForGoBack, ShowSummaryChartWindow(false), ShowSpecificationWindow(true),
//     SetBusy(false);
//   a chart of earlier data ("*"): ShowSummaryChartWindow(true), DrawSummaryChart (or a
//     message), WaitForGoBack, ShowSummaryChartWindow(false), ShowSpecificationWindow(true);
//   a comparison of two tests: SetBusy(true); per N ShowSpecificationWindow(false),
//   ShowChartWindow(true),
//     DrawScatter, ShowComparisonMessage, WaitForNextChart; then ShowChartWindow(false),
//     ShowSpecificationWindow(true), SetBusy(false).
// Messages (refusals, failures) come through ShowMessage at the moment they arise.
class ParticularView : public Interaction {
public:
    // The specification window's mouse pointer: hourglass (true) or arrow.
    virtual void SetBusy(bool busy) = 0;
    // The chart window's mouse pointer: hourglass (true) or arrow.
    virtual void SetChartBusy(bool busy) = 0;
    virtual void ShowSpecificationWindow(bool visible) = 0;
    virtual void ShowChartWindow(bool visible) = 0;
    // Showing it for the wait at the end of a run enables and focuses "Go &Back".
    virtual void ShowSummaryChartWindow(bool visible) = 0;

    virtual void DrawCumulativeChart(const CumulativeChartRequest& request) = 0;
    virtual void DrawSummaryChart(const SummaryChartData& data) = 0;
    virtual void DrawScatter(const TwoTestScatter& scatter) = 0;

    // The summary message of a comparison of two tests (an OK message like ShowMessage).
    virtual void ShowComparisonMessage(const std::string& text) { ShowMessage(text); }
    // A line just appended to "ParticularSummary.txt" (without its line end).
    virtual void SummaryLineAppended(const std::string& line) { (void)line; }
};

struct RunOutcome {
    enum class Status {
        Completed, // ran to the end (also a Cancel at the two-test question)
        Refused,   // a value was refused; nothing was computed for it
        Failed,    // a file or the data directory could not be written
        Stopped,   // the view asked to stop
    };
    Status status = Status::Completed;
    std::string message; // the refusal or failure message, as shown
};

// Which summary chart a run draws: the summary-file fields on the horizontal axis and
// for the series (0 for none), with the axis and key labels.
struct SummaryChartChoice {
    int xField = 3;
    int seriesField = 0;
    std::string axisLabel, seriesLabel;
};
// During a run: the chart due after a point, from VariationKey and the completion text
// (the loops that have reached their last value), or nothing when none is due.
std::optional<SummaryChartChoice> SummaryChartDue(const std::string& variationKey,
                                                  const std::string& completion);
// In a "*" run: the chart of earlier data, or nothing when the key is not programmed.
std::optional<SummaryChartChoice> EarlierDataChart(const std::string& variationKey);

RunOutcome RunParticularStudy(const ParticularSpecification& spec, ParticularView& view);

} // namespace quillon
