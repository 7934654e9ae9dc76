#include "study/loop.h"

namespace quillon {

std::optional<StudyOutcome> RunPlan(const Plan& plan, StudySink& sink, const std::string& stage,
                                    const CombinationBody& body) {
    const std::uint64_t total = plan.Count();
    for (std::uint64_t i = 0; i < total; ++i) {
        if (sink.StopRequested())
            return StudyOutcome{StudyStatus::Stopped, ""};
        sink.Progress(stage, i, total);
        if (auto end = body(i))
            return end;
    }
    sink.Progress(stage, total, total);
    return std::nullopt;
}

} // namespace quillon
