// The power and sample-size study run: reads and checks what the user typed, then either
// charts earlier data ("*" in a list field) or evaluates every combination of the lists
// (loops N, row value, p1, p2, MEN; the tests of each combination in list order), writing
// the files and reporting each combination, each summary line, the summary chart and, when
// N has several values, the sample sizes to its sink.
#pragma once

#include "core/designs.h"
#include "power/evaluation.h"
#include "power/sample_size.h"
#include "study/events.h"
#include "study/run_clock.h"
#include "study/shard.h"
#include "study/speclang.h"

#include <filesystem>
#include <string>
#include <vector>

namespace quillon {

// What the user typed into the specification window, as typed.
struct PowerSpecification {
    std::string txtNumber = "20"; // total numbers N
    std::string txtRow = ".5";    // proportions in row 1, or (comparative trial) numbers
    std::string txtP1 = ".2";     // proportions in column 1 within row 1
    std::string txtP2 = ".5";     // proportions in column 1 within row 2
    std::string txtTest = "1";    // tests
    std::string txtMEN = "0";     // minimum expected numbers
    std::string txtMMT = "1";     // minimum marginal total
    std::string txtAlpha = ".05"; // significance level
    std::string txtTarget = ".8"; // target power
    DesignCode design = ComparativeTrial;
    std::filesystem::path dataDirectory;
    // Skip "PowerResults.txt" (large batches from the command line).
    bool summaryOnly = false;
    RunClock clock;
    unsigned threads = 0;
    // Combinations computed at once (0: one per core); what the run writes comes out in the
    // plan's order all the same.
    unsigned jobs = 1;
    // Only this share of the combinations. A shard neither charts nor finds sample sizes:
    // both need every N of the plan, which only the merged summary file holds.
    ShardChoice shard;
    // How the fields are read: the windows' lenient reading, or the command line's strict
    // one that refuses what it cannot read whole.
    Reading reading = Reading::Lenient;
};

// One evaluated combination. Valid only during the call.
struct PowerCombination {
    const PowerEvaluation& evaluation;
    std::string caption;
    double rowValue = 0; // the row value as typed (the evaluation holds m for a trial)
    double target = 0.8;
};

class PowerSink : public StudySink {
public:
    // A combination has been evaluated and its files written.
    virtual void CombinationEvaluated(const PowerCombination& combination) { (void)combination; }
    // The sample sizes of a completed run whose N has several values; by default the
    // message of the window.
    virtual void SampleSizesFound(const std::vector<SampleSizeRow>& rows) {
        Message(MessageKind::Notice, SampleSizeMessage(rows));
    }
};

StudyOutcome RunPowerStudy(const PowerSpecification& spec, PowerSink& sink);

} // namespace quillon
