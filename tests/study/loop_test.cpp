// The one loop over a plan: combinations in order, a stop request honoured before each,
// progress "done of total", and a body that ends the run early; the clock of a run.
#include "study/loop.h"
#include "study/run_clock.h"

#include "support/recording_sink.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace quillon {
namespace {

class ProgressSink : public testing::RecordingSink<StudySink> {
public:
    std::vector<std::string> progress;
    int stopAfter = -1; // StopRequested turns true at this call (-1: never)
    mutable int stopCalls = 0;
    void Progress(ProgressStage stage, std::uint64_t done, std::uint64_t total) override {
        progress.push_back(std::string(StageText(stage)) + " " + std::to_string(done) + "/" +
                           std::to_string(total));
    }
    bool StopRequested() const override { return stopAfter >= 0 && stopCalls++ >= stopAfter; }
};

const Plan kPlan({{Dimension::Number, 2}, {Dimension::MEN, 2}});

// The loop on one job, each combination computed and delivered by `body` at once.
std::optional<StudyOutcome>
RunSerially(StudySink& sink,
            const std::function<std::optional<StudyOutcome>(std::uint64_t)>& body) {
    PlanSteps steps;
    steps.compute = [&body](std::uint64_t i) -> DeliverStep {
        return [&body, i] { return body(i); };
    };
    return RunPlan(kPlan, sink, ProgressStage::EvaluationPoints, steps, PlanJobs{});
}

TEST(RunPlan, EveryCombinationInOrder) {
    ProgressSink sink;
    std::vector<std::uint64_t> seen;
    const auto end = RunSerially(sink, [&](std::uint64_t i) {
        seen.push_back(i);
        return std::optional<StudyOutcome>{};
    });
    EXPECT_FALSE(end.has_value());
    EXPECT_EQ(seen, (std::vector<std::uint64_t>{0, 1, 2, 3}));
    EXPECT_EQ(sink.progress,
              (std::vector<std::string>{"Evaluation points 0/4", "Evaluation points 1/4",
                                        "Evaluation points 2/4", "Evaluation points 3/4",
                                        "Evaluation points 4/4"}));
}

TEST(RunPlan, StopRequestBeforeACombination) {
    ProgressSink sink;
    sink.stopAfter = 2;
    std::vector<std::uint64_t> seen;
    const auto end = RunSerially(sink, [&](std::uint64_t i) {
        seen.push_back(i);
        return std::optional<StudyOutcome>{};
    });
    ASSERT_TRUE(end.has_value());
    EXPECT_EQ(end->status, StudyStatus::Stopped);
    EXPECT_EQ(seen, (std::vector<std::uint64_t>{0, 1}));
}

TEST(RunPlan, BodyEndsTheRun) {
    ProgressSink sink;
    std::vector<std::uint64_t> seen;
    const auto end = RunSerially(sink, [&](std::uint64_t i) {
        seen.push_back(i);
        return i == 1 ? std::optional<StudyOutcome>{{StudyStatus::Failed, "disk full"}}
                      : std::nullopt;
    });
    ASSERT_TRUE(end.has_value());
    EXPECT_EQ(end->status, StudyStatus::Failed);
    EXPECT_EQ(end->message, "disk full");
    EXPECT_EQ(seen, (std::vector<std::uint64_t>{0, 1}));
    EXPECT_EQ(sink.progress.back(), "Evaluation points 1/4");
}

TEST(RunClock, DateTexts) {
    const RunClock clock(RunDate{6, 12, 2026});
    EXPECT_EQ(clock.CaptionDate(), "06.12.26");
    EXPECT_EQ(clock.SummaryDate(), "061226");
    RunClock fixed(RunDate{31, 1, 2009});
    fixed.FixTimeOfDay("23:59:59");
    fixed.FixSeconds([t = 10.0]() mutable { return t += 2; });
    EXPECT_EQ(fixed.CaptionDate(), "31.01.09");
    EXPECT_EQ(fixed.TimeOfDay(), "23:59:59");
    EXPECT_EQ(fixed.Seconds(), 12);
    EXPECT_EQ(fixed.Seconds(), 14);
}

} // namespace
} // namespace quillon
