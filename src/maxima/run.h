// The maximum study run: reads the specification fields as typed, checks them, loops over
// the total numbers, tests, MENs and (comparative trial) numbers in row 1, runs the area
// search for each combination, writes the log, the tables of the latest area and the
// accumulated summary, and decides when a summary chart is due.
//
// Everything the run shows or asks goes to its MaximumSink as events (study/events.h and
// the search events), which the desktop program presents with its windows, the command
// line with stdout and stderr, and the tests by recording.
#pragma once

#include "core/designs.h"
#include "core/tables.h"
#include "maxima/result_files.h"
#include "maxima/search_events.h"
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

// The fields of the maximum specification window, exactly as typed.
struct MaximumSpecification {
    DesignCode design = ComparativeTrial;
    std::string number;            // txtNumber: total numbers, or "*"
    std::string row1 = ".5";       // txtRow1: proportion, number, "all" or "overall"
    std::string test = "1";        // txtTest: tests, "15", "35" or "*"
    std::string men = "0";         // txtMEN
    std::string mmt = "1";         // txtMMT
    std::string parameter = ".05"; // txtParameter: alpha, or the cutoff of the excess
    std::string accuracy = ".001"; // txtAccuracy
    // Write neither "MaximaResultsAllAreas.txt" nor "MaximaResultsEachArea.txt" (large
    // batches from the command line: the log of one fine search can take tens of MB).
    bool summaryOnly = false;
    Property type = Property::ActualTypeIError;
    std::filesystem::path dataDirectory; // where the result and summary files live
    // The date of files and titles, the time of day of surveys and the seconds of the Time
    // field; tests fix them.
    RunClock clock;
    // Worker threads for one search; 0 = the engine's pool.
    unsigned threads = 0;
    // Searches computed at once (their files and events still come in the plan's order);
    // 0 = one per core.
    unsigned jobs = 1;
    // Only this share of the searches (--shard K/M), into a data directory of its own.
    ShardChoice shard;
    // How the fields are read: the windows' lenient reading, or the command line's strict
    // one that refuses what it cannot read whole.
    Reading reading = Reading::Lenient;
};

// The events of the maximum study: those of every study, and the search's own, from which
// the chart of the search is drawn.
class MaximumSink : public StudySink, public SearchObserver {
public:
    // A search's maximum, once its summary line is appended: the values of that line before
    // they became text (the front ends that hand results on as numbers take it from here).
    virtual void MaximumRecorded(const MaximaSummaryRecord& record) { (void)record; }
};

// During a run: the summary chart due after a search, from the lists that vary (N, the
// numbers in row 1 with "all" or "overall", tests, MENs) and those the search has just
// completed; nothing when none is due.
std::optional<MaximaChartSelection::Lines>
MaximaSummaryChartDue(DimensionSet varying, DimensionSet completed, bool rowAllOrOverall);
// In a "*" run: the lines of the chart of earlier data, or nothing when the varying lists
// have no chart ("The analysis that you have requested has not been programmed").
std::optional<MaximaChartSelection::Lines> EarlierMaximaChart(DimensionSet varying);
// The lines of the charts a run with these varying lists draws whenever they are due;
// nothing when it draws none. After a stop the chart of the series cut short is drawn.
std::optional<MaximaChartSelection::Lines> MaximaRunChart(DimensionSet varying,
                                                          bool rowAllOrOverall);

// Runs the study. Returns once the run has ended.
StudyOutcome RunMaximumStudy(const MaximumSpecification& spec, MaximumSink& sink);

} // namespace quillon
