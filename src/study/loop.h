// The one loop over a plan: every combination in order, a stop request honoured between
// combinations, progress reported as "done of total" of the run's stage.
#pragma once

#include "study/events.h"
#include "study/plan.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace quillon {

// What the body of the loop does with one combination: nothing to say (go on), or the
// outcome that ends the run there (a failure, a refusal that arose with this combination).
using CombinationBody = std::function<std::optional<StudyOutcome>(std::uint64_t index)>;

// Runs `body` for each combination of `plan` in order. Before each the sink is asked
// whether to stop (the run then ends Stopped) and told the progress of `stage`; after the
// last it is told the stage is complete. Returns the outcome that ended the run early, or
// nothing when every combination was done.
std::optional<StudyOutcome> RunPlan(const Plan& plan, StudySink& sink, const std::string& stage,
                                    const CombinationBody& body);

} // namespace quillon
