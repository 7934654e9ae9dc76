// The maximum study run: reads the specification fields as typed, checks them, loops over
// the total numbers, tests, MENs and (comparative trial) numbers in row 1, runs the area
// search for each combination, writes the log, the tables of the latest area and the
// accumulated summary, and decides when a summary chart is due.
//
// Everything the run shows or asks goes through MaximumView, which the desktop program
// implements with its windows, the command line with stderr, and the tests with scripts.
#pragma once

#include "core/interaction.h"
#include "maxima/result_files.h"
#include "maxima/search_events.h"
#include "summary/summary_chart_data.h"

#include <filesystem>
#include <optional>
#include <string>

namespace quillon {

// The fields of the maximum specification window, exactly as typed.
struct MaximumSpecification {
    int design = 2;                // 2 comparative trial ("opt1"), 1 cross-sectional study
    std::string number;            // txtNumber: total numbers, or "*"
    std::string row1 = ".5";       // txtRow1: proportion, number, "all" or "overall"
    std::string test = "1";        // txtTest: tests, "15", "35" or "*"
    std::string men = "0";         // txtMEN
    std::string mmt = "1";         // txtMMT
    std::string parameter = ".05"; // txtParameter: alpha, or the cutoff of the excess
    std::string accuracy = ".001"; // txtAccuracy
    bool pause = false;            // chkPause
    MaximumType type = MaximumType::ProportionSignificant;
    std::filesystem::path dataDirectory; // where the result and summary files live
};

// The views of a run. Calls come from the thread that runs RunMaximumStudy, in the order
// the user should see them. The search events (SearchObserver) are what the chart window
// draws: its layout, frame and heading at OnSearchStarted, the map or the pass graph and
// the four text boxes from the rest.
class MaximumView : public Interaction, public SearchObserver {
public:
    // The specification window is hidden while a run computes and shown again at its end.
    virtual void HideSpecificationWindow() {}
    virtual void ShowSpecificationWindow() {}
    // The chart window: maximised, or (when summary charts will follow) normal-sized at 0.6
    // of the maximised width and height at the top left of the screen.
    virtual void ShowChartWindow(bool reducedForSummaryCharts) { (void)reducedForSummaryCharts; }
    virtual void HideChartWindow() {}
    // Draws a summary chart in the summary-chart window, showing the window when hidden.
    virtual void DrawSummaryChart(const SummaryChartData& data) = 0;
    virtual void HideSummaryChart() {}
    // The hourglass while the run computes.
    virtual void SetBusy(bool busy) { (void)busy; }
    // A line appended to the summary file (without its line end); the command line prints
    // it.
    virtual void SummaryLineWritten(const std::string& line) { (void)line; }

    // The clock of the run: the date written into files and titles (dd.mm.yy), the time of
    // day of a survey (hh:mm:ss), and seconds for the Time field of the summary (a steady
    // clock, so a run across midnight does not give negative times). Tests fix them.
    virtual std::string DateText() const;
    virtual std::string TimeOfDayText() const;
    virtual double Seconds() const;
};

struct MaximumRunResult {
    enum class Status {
        Completed, // every combination searched (or the chart of earlier data shown)
        Refused,   // a field was refused with a message; nothing computed for it
        Failed,    // a file could not be written (the message says which)
        Stopped,   // a stop request ended the run; finished combinations keep their lines
    };
    Status status = Status::Completed;
    std::string message; // the refusal or failure shown to the user, if any
};

// The summary file's heading line (tab-separated, no line end).
std::string MaximaSummaryHeader();

// During a run: the summary chart due after a search, from the chart suffix (built from
// "_Number", "_n1", "_Test", "_MEN" for the lists that vary) and the dimensions the search
// has just completed; nothing when none is due.
std::optional<MaximaChartSelection::Lines> MaximaSummaryChartDue(const std::string& suffix,
                                                                 const std::string& completed,
                                                                 bool rowAllOrOverall);
// In a "*" run: the lines of the chart of earlier data, or nothing when the suffix has no
// chart ("The analysis that you have requested has not been programmed").
std::optional<MaximaChartSelection::Lines> EarlierMaximaChart(const std::string& suffix);

// Runs the study. Returns once the run has ended (after the last Go Back wait).
MaximumRunResult RunMaximumStudy(const MaximumSpecification& spec, MaximumView& view);

} // namespace quillon
