// The loop over a plan with several jobs: combinations computed out of order are delivered
// in the plan's order, chains are computed in order by one job, the look-ahead keeps to
// its memory budget, and an early end delivers nothing after it.
#include "study/loop.h"
#include "study/worker_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace quillon {
namespace {

class CountingSink : public SilentSink {
public:
    void Progress(ProgressStage, std::uint64_t done, std::uint64_t) override {
        std::lock_guard<std::mutex> lock(mutex_);
        progress.push_back(done);
    }
    bool StopRequested() const override { return stopAfter >= 0 && delivered >= stopAfter; }
    std::vector<std::uint64_t> progress;
    int stopAfter = -1;
    int delivered = 0;

private:
    std::mutex mutex_;
};

// Later combinations finish first: each waits less the later it is.
void Work(std::uint64_t index, std::uint64_t total) {
    std::this_thread::sleep_for(std::chrono::microseconds(200 * (total - index)));
}

TEST(RunPlanWithJobs, DeliversInPlanOrderWhateverOrderTheyWereComputedIn) {
    const Plan plan({{Dimension::Number, 6}, {Dimension::Test, 5}});
    const std::uint64_t total = plan.Count();
    for (unsigned jobs : {1U, 2U, 4U, 16U}) {
        SCOPED_TRACE(jobs);
        CountingSink sink;
        std::vector<std::uint64_t> delivered;
        std::vector<std::atomic<bool>> computed(total);
        PlanSteps steps;
        steps.compute = [&](std::uint64_t i) -> DeliverStep {
            Work(i, total);
            computed[i] = true;
            return [&, i]() -> std::optional<StudyOutcome> {
                EXPECT_TRUE(computed[i].load());
                delivered.push_back(i);
                return std::nullopt;
            };
        };
        EXPECT_FALSE(
            RunPlan(plan, sink, ProgressStage::Combinations, steps, PlanJobs{jobs, 0}).has_value());
        ASSERT_EQ(delivered.size(), total);
        for (std::uint64_t i = 0; i < total; ++i)
            EXPECT_EQ(delivered[i], i);
        // Progress as the serial loop reports it: before each, then the whole.
        std::vector<std::uint64_t> expected;
        for (std::uint64_t i = 0; i <= total; ++i)
            expected.push_back(i);
        EXPECT_EQ(sink.progress, expected);
    }
}

TEST(RunPlanWithJobs, AChainIsComputedInOrderAfterTheCombinationItNeeds) {
    // Chains of 4 (the inner loop), as the numbers in row 1 of "overall".
    const Plan plan({{Dimension::Number, 5}, {Dimension::RowOne, 4}});
    const std::uint64_t total = plan.Count();
    std::vector<int> carried(total, -1);
    std::vector<std::uint64_t> delivered;
    PlanSteps steps;
    steps.chainedToPrevious = [&](std::uint64_t i) { return plan.Positions(i)[1] > 0; };
    steps.compute = [&](std::uint64_t i) -> DeliverStep {
        Work(i, total);
        // The running count of the chain: wrong unless i - 1 was computed first.
        carried[i] = plan.Positions(i)[1] == 0 ? 1 : carried[i - 1] + 1;
        return [&, i]() -> std::optional<StudyOutcome> {
            delivered.push_back(i);
            return std::nullopt;
        };
    };
    CountingSink sink;
    EXPECT_FALSE(
        RunPlan(plan, sink, ProgressStage::Combinations, steps, PlanJobs{3, 0}).has_value());
    for (std::uint64_t i = 0; i < total; ++i)
        EXPECT_EQ(carried[i], static_cast<int>(plan.Positions(i)[1]) + 1) << i;
    EXPECT_EQ(delivered.size(), total);
}

TEST(RunPlanWithJobs, TheLookAheadKeepsToItsMemoryBudget) {
    const Plan plan({{Dimension::Number, 12}});
    constexpr int kJobs = 6;
    struct Case {
        const char* name;
        double budget;
        int mostHeld; // combinations of 10 bytes computed and not yet delivered, at most
    };
    // Without a budget nothing bounds what waits for delivery but the look-ahead itself
    // (twice the jobs and one more, more than this plan has); the jobs bound only what is
    // computed at once: the workers and the run's own thread on a deferred combination.
    const Case cases[] = {
        {"room for two", 25, 2},
        {"room for less than one: one at a time", 5, 1},
        {"no budget: the look-ahead", 0, 12},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::atomic<int> held{0}, most{0}, computing{0}, mostComputing{0};
        const auto raise = [](std::atomic<int>& top, int now) {
            for (int seen = top.load(); now > seen && !top.compare_exchange_weak(seen, now);) {
            }
        };
        PlanSteps steps;
        steps.memory = [](std::uint64_t) { return 10.0; };
        steps.compute = [&](std::uint64_t i) -> DeliverStep {
            raise(most, ++held);
            raise(mostComputing, ++computing);
            Work(i, 12);
            --computing;
            return [&]() -> std::optional<StudyOutcome> {
                --held;
                return std::nullopt;
            };
        };
        CountingSink sink;
        EXPECT_FALSE(
            RunPlan(plan, sink, ProgressStage::Combinations, steps, PlanJobs{kJobs, c.budget})
                .has_value());
        EXPECT_LE(most.load(), c.mostHeld);
        EXPECT_LE(mostComputing.load(), kJobs + 1);
        EXPECT_EQ(held.load(), 0);
    }
}

TEST(RunPlanWithJobs, AnEarlyEndDeliversNothingAfterIt) {
    const Plan plan({{Dimension::Number, 20}});
    struct Case {
        const char* name;
        int failAt;    // the deliver step that ends the run, -1 none
        int stopAfter; // a stop request after this many delivered, -1 none
        StudyStatus status;
        int delivered;
    };
    const Case cases[] = {
        {"a failure at the 5th", 4, -1, StudyStatus::Failed, 5},
        {"a stop after 7", -1, 7, StudyStatus::Stopped, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CountingSink sink;
        sink.stopAfter = c.stopAfter;
        PlanSteps steps;
        steps.compute = [&](std::uint64_t i) -> DeliverStep {
            Work(i, 20);
            return [&, i]() -> std::optional<StudyOutcome> {
                ++sink.delivered;
                if (static_cast<int>(i) == c.failAt)
                    return StudyOutcome{StudyStatus::Failed, "no room"};
                return std::nullopt;
            };
        };
        const auto end = RunPlan(plan, sink, ProgressStage::Combinations, steps, PlanJobs{4, 0});
        ASSERT_TRUE(end.has_value());
        EXPECT_EQ(end->status, c.status);
        EXPECT_EQ(sink.delivered, c.delivered);
    }
}

} // namespace
} // namespace quillon
