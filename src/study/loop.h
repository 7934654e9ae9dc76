// The one loop over a plan: every combination in order, a stop request honoured between
// combinations, progress reported as "done of total" of the run's stage.
//
// With one job each combination is computed and delivered on the run's thread. With
// several jobs the combinations are computed several at a time and delivered one
// after another in the plan's order. A study then splits its work on a combination in two:
//   compute  the figures, on a worker of the engine's pool; it touches nothing the user
//            sees or a file holds, and calls its sink only for Progress and StopRequested;
//   deliver  everything the run writes and reports for that combination (files, summary
//            lines, charts, messages, waits), on the run's own thread, in plan order, so
//            a run with K jobs writes exactly what a serial run writes.
// Combinations that depend on the one before (the maximum carried across the numbers in
// row 1 of "overall") form a chain that one job computes in order. The look-ahead is held
// to the jobs asked for and to a memory budget: combinations whose estimated memory would
// exceed it together wait until the earlier ones are delivered (one is always allowed).
#pragma once

#include "study/events.h"
#include "study/plan.h"
#include "study/shard.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace quillon {

// The deliver step of one computed combination (see above): nothing to say (go on), or the
// outcome that ends the run there (a failure, a refusal that arose with this combination).
using DeliverStep = std::function<std::optional<StudyOutcome>()>;

struct PlanSteps {
    // Computes combination `index` and returns its deliver step. Called on a worker for
    // combinations computed ahead; must be safe to call for different combinations at once
    // (except those chained together, which are called one after another in order).
    std::function<DeliverStep(std::uint64_t index)> compute;
    // True when combination `index` needs the result of `index - 1` (a chain); none: never.
    std::function<bool(std::uint64_t index)> chainedToPrevious;
    // Estimated bytes combination `index` holds from its computation until it has been
    // delivered; none: nothing worth counting.
    std::function<double(std::uint64_t index)> memory;
    // With --shard: the estimated cost of combination `index` (the shares balance it), and
    // the number of summary lines the run has written so far (the shard record keeps how
    // many each combination wrote, from which the merge puts them back in plan order).
    std::function<double(std::uint64_t index)> cost;
    std::function<std::uint64_t()> summaryLines;
};

struct PlanJobs {
    unsigned jobs = 1;       // combinations computed at once; 0: one per core
    double memoryBudget = 0; // bytes the look-ahead may hold; 0: no limit
    // Only this shard's share of the combinations, its record kept in its directory.
    const ShardRun* shard = nullptr;
};

// The combinations of `plan` in order, `jobs.jobs` at a time, each delivered in plan order.
// Before each delivery the sink is asked whether to stop (the run then ends Stopped) and
// told the progress of `stage`; after the last it is told the stage is complete. With one
// job every combination is computed and delivered on the calling thread. Returns the
// outcome that ended the run early, or nothing when every combination was done. On an
// early end the combinations computed ahead are waited for and dropped.
// With a shard only its share is run (progress counts the share), and its record is
// written before the first combination and again at the end.
std::optional<StudyOutcome> RunPlan(const Plan& plan, StudySink& sink, ProgressStage stage,
                                    const PlanSteps& steps, const PlanJobs& jobs);

// The jobs of a run: `requested`, or one per core when 0.
unsigned JobCount(unsigned requested);

} // namespace quillon
