// The one skeleton of a study run: the steps every study takes, in one order.
//
//   1. the fields        read in the window's order; the first refused value ends the run
//                        with its message, before anything is written;
//   2. a "*" in a list   the summary chart of earlier records only (the no-data message when
//                        none match, the not-programmed message when the varying lists have
//                        no chart); nothing is written, so a folder only read still charts;
//   3. the calculation   chosen by the study (it may ask the user: the particular study's
//                        comparison of two tests), and refused with --shard when it is not
//                        split;
//   4. whole-plan checks refusals only every list together shows (a row value too large for
//                        an N, a combination too large for the memory), before anything is
//                        written; then the size of the run, and above a million
//                        combinations the question whether to start it;
//   5. the data folder   made ready only now: a refused value never leaves a folder behind,
//                        and wins over a folder that cannot be written;
//   6. the study's files set up (a heading, a log emptied);
//   7. the plan          every combination reported as it starts, computed and delivered in
//                        plan order, several at once with --jobs (the look-ahead held to half
//                        the memory available), or only a --shard share with its record kept;
//   8. the end           what needs every combination (a chart over all N, sample sizes),
//                        then the run reports its results all delivered; a run stopped by
//                        the user charts what it completed instead (not a shard's share).
//
// A study supplies a description of itself: its fields, its earlier-data chart, its plan
// and the compute and deliver steps of one combination. The skeleton never holds the run
// for the user: it reports each combination's results as delivered, and at the end all of
// them; the front end decides whether to wait there.
#pragma once

#include "study/events.h"
#include "study/fields.h"
#include "study/loop.h"
#include "study/plan.h"
#include "study/run_size.h"
#include "study/shard.h"
#include "summary/summary_chart_data.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace quillon {

// What every specification holds besides its fields.
struct RunSettings {
    std::filesystem::path dataDirectory;
    // Combinations computed at once; 0: one per core.
    unsigned jobs = 1;
    // Only this share of the combinations, into a data directory of its own.
    ShardChoice shard;
};

class StudyDescription {
public:
    virtual ~StudyDescription() = default;

    // The study's name in a shard record ("particular", "maximum", "power").
    virtual std::string_view Name() const = 0;

    // Reads the fields in the window's order into Fields(): the first refusal, or nothing.
    virtual std::optional<Refusal> ReadFields() = 0;
    // The lists as read: which vary, and whether a "*" asks for earlier data.
    const FieldReader& Fields() const { return fields_; }

    // A "*" run: the chart of the earlier records (empty when none match), or nothing when
    // the varying lists have no chart.
    virtual std::optional<SummaryChartData> EarlierDataChart(DimensionSet varying) = 0;

    // The calculation the fields ask for (Combinations or Comparison); the study may ask
    // the user. Nothing: the user cancelled, and the run ends completed.
    virtual std::optional<RunKind> ChooseCalculation() { return RunKind::Combinations; }
    // The refusal of --shard for the chosen calculation, when it is not split.
    virtual std::optional<std::string> ShardRefusal() const { return std::nullopt; }
    // Refusals of the chosen calculation that need every list, given the memory available.
    virtual std::optional<Refusal> CheckPlan(std::optional<std::uint64_t> available) {
        (void)available;
        return std::nullopt;
    }
    // The study's own files, once the data folder is ready: the failure message, or nothing.
    virtual std::optional<std::string> PrepareFiles() { return std::nullopt; }

    // The plan of the chosen calculation, its progress stage and its steps. The plan is
    // built once and outlives the steps' use of it.
    virtual Plan MakePlan() = 0;
    // A refusal found while the plan was made that leaves it nothing to compute: the run
    // ends with it before any file is prepared.
    virtual std::optional<std::string> PlanRefusal(const Plan& plan) const {
        (void)plan;
        return std::nullopt;
    }
    virtual ProgressStage Stage() const = 0;
    virtual PlanSteps Steps(const Plan& plan) = 0;
    // False for a combination whose deliver step completes no result of its own (a search
    // whose maximum is carried on to the next number in row 1).
    virtual bool CompletesAResult(const Plan& plan, std::uint64_t index) const {
        (void)plan;
        (void)index;
        return true;
    }

    // The specifications as read, one line: the fingerprint of a shard's plan.
    virtual std::string NormalisedPlan() const = 0;
    // The summary file the combinations append to (named in a shard record).
    virtual std::string SummaryFileName() const = 0;
    // The size of the plan's run (study/run_size.h): by default a line of about 70 bytes
    // a combination.
    virtual RunSize Size(const Plan& plan) const {
        return EstimateRunSize(plan.Count(), 1, 70, SummaryFileName());
    }

    // After a stop: the summary charts of what was completed, a series cut short among
    // them (its line ends where the run stopped). Only charts with points are reported; a
    // stop before the first result reports none.
    virtual void ChartWhatCompleted(const Plan& plan) { (void)plan; }

    // After the last combination: what needs all of them (a shard has only its share).
    // The outcome that ends the run otherwise than completed, or nothing.
    virtual std::optional<StudyOutcome> Finish(const Plan& plan, bool shard) {
        (void)plan;
        (void)shard;
        return std::nullopt;
    }

protected:
    FieldReader fields_;
};

// Runs `study` from its fields to its end, reporting to `sink`; RunEnded is the last event.
StudyOutcome RunStudy(StudyDescription& study, const RunSettings& settings, StudySink& sink);

// Shows a summary chart, or the no-data message when no record matched. True when shown.
bool ShowSummaryChart(StudySink& sink, const SummaryChartData& data);
// Shows a summary chart when it has points; nothing otherwise (a chart after a stop, where
// no data is no news).
void ShowSummaryChartIfAny(StudySink& sink, const SummaryChartData& data);

// A run of a single combination charts it on the whole screen; one whose loops vary
// leaves room for the summary charts. Dimensions that vary without a loop of the plan (the
// tests of one evaluation) do not count.
bool SingleCombination(const Plan& plan, DimensionSet varying);

} // namespace quillon
