#include "study/loop.h"

#include "core/files.h"
#include "core/large_array.h"
#include "study/worker_pool.h"

#include <atomic>
#include <chrono>
#include <deque>
#include <memory>
#include <vector>

namespace quillon {

unsigned JobCount(unsigned requested) {
    if (requested != 0)
        return requested;
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : cores;
}

namespace {

// A chain of combinations [first, last] computed by one job, in order.
struct Unit {
    std::uint64_t first = 0, last = 0;
    double memory = 0;
    bool deferred = false; // left for the run's thread: the jobs were all at work
    std::vector<DeliverStep> delivers;
    Task<void> task;
};

class AheadLoop {
public:
    AheadLoop(const std::vector<std::uint64_t>& indices, StudySink& sink, ProgressStage stage,
              const PlanSteps& steps, const PlanJobs& jobs,
              const std::function<void(std::size_t)>& delivered)
        : indices_(indices), sink_(sink), stage_(stage), steps_(steps), jobs_(JobCount(jobs.jobs)),
          budget_(jobs.memoryBudget), total_(indices.size()), delivered_(delivered) {}

    ~AheadLoop() { Abandon(); }

    std::optional<StudyOutcome> Run() {
        while (!inFlight_.empty() || next_ < total_) {
            Fill();
            Unit& unit = *inFlight_.front();
            // While the next combination to deliver is being computed elsewhere, this thread
            // computes one that no worker has taken up, rather than wait idle, and starts
            // more as others finish.
            for (;;) {
                if (unit.task.TryRun() || unit.task.WaitFor(std::chrono::milliseconds(0)))
                    break;
                bool ran = false;
                for (auto& other : inFlight_)
                    if (other->task.TryRun()) {
                        ran = true;
                        break;
                    }
                if (!ran && unit.task.WaitFor(std::chrono::milliseconds(5)))
                    break;
                Fill();
            }
            unit.task.Get();
            if (unit.deferred)
                Compute(unit);
            for (std::uint64_t i = unit.first; i <= unit.last; ++i) {
                if (sink_.StopRequested())
                    return StudyOutcome{StudyStatus::Stopped, ""};
                sink_.Progress(stage_, i, total_);
                DeliverStep& deliver = unit.delivers[i - unit.first];
                const std::optional<StudyOutcome> end = deliver();
                deliver = nullptr; // what it held goes now, not with the chain
                if (end)
                    return end;
                if (delivered_)
                    delivered_(static_cast<std::size_t>(i));
            }
            held_ -= unit.memory;
            inFlight_.pop_front();
        }
        sink_.Progress(stage_, total_, total_);
        return std::nullopt;
    }

private:
    void Compute(Unit& u) {
        for (std::uint64_t i = u.first; i <= u.last; ++i) {
            if (abandoned_.load())
                return;
            u.delivers[i - u.first] = steps_.compute(indices_[i]);
        }
    }

    // Positions in `indices_` (a chain is a run of consecutive combinations).
    std::uint64_t ChainEnd(std::uint64_t first) const {
        std::uint64_t last = first;
        if (steps_.chainedToPrevious)
            while (last + 1 < total_ && indices_[last + 1] == indices_[last] + 1 &&
                   steps_.chainedToPrevious(indices_[last + 1]))
                ++last;
        return last;
    }

    // Starts combinations until `jobs_` chains are being computed (those computed and
    // waiting for their turn do not count, up to as many again) or the memory budget is
    // held.
    void Fill() {
        for (;;) {
            std::size_t computing = 0;
            for (const auto& unit : inFlight_)
                computing += unit->task.WaitFor(std::chrono::milliseconds(0)) ? 0 : 1;
            // One more than the jobs waits in the pool's queue, so that a worker that
            // finishes finds the next combination at once (this thread may be computing
            // one itself); the gate in the task keeps the jobs computing to `jobs_`.
            if (next_ >= total_ || computing > jobs_ || inFlight_.size() > 2 * jobs_)
                return;
            auto unit = std::make_unique<Unit>();
            unit->first = next_;
            unit->last = ChainEnd(next_);
            if (steps_.memory)
                for (std::uint64_t i = unit->first; i <= unit->last; ++i)
                    unit->memory += steps_.memory(indices_[i]);
            if (!inFlight_.empty() && budget_ > 0 && held_ + unit->memory > budget_)
                return;
            unit->delivers.resize(unit->last - unit->first + 1);
            Unit* u = unit.get();
            unit->task = WorkerPool::Shared().Submit([this, u] {
                if (running_.fetch_add(1) >= jobs_) {
                    // Already `jobs_` at work: this one is computed when its turn comes.
                    --running_;
                    u->deferred = true;
                    return;
                }
                Compute(*u);
                --running_;
            });
            held_ += unit->memory;
            next_ = unit->last + 1;
            inFlight_.push_back(std::move(unit));
        }
    }

    // Ends early: what was computed ahead is waited for (it refers to the run) and dropped.
    void Abandon() {
        abandoned_.store(true);
        for (auto& unit : inFlight_) {
            try {
                unit->task.Get();
            } catch (...) { // NOLINT(bugprone-empty-catch): the run has already ended
            }
        }
        inFlight_.clear();
    }

    const std::vector<std::uint64_t>& indices_;
    StudySink& sink_;
    const ProgressStage stage_;
    const PlanSteps& steps_;
    const unsigned jobs_;
    const double budget_;
    const std::uint64_t total_;
    const std::function<void(std::size_t)>& delivered_;
    std::uint64_t next_ = 0;
    double held_ = 0;
    std::atomic<bool> abandoned_{false};
    std::atomic<unsigned> running_{0};
    std::deque<std::unique_ptr<Unit>> inFlight_;
};

} // namespace

namespace {

std::optional<StudyOutcome> RunIndices(const std::vector<std::uint64_t>& indices, StudySink& sink,
                                       ProgressStage stage, const PlanSteps& steps,
                                       const PlanJobs& jobs,
                                       const std::function<void(std::size_t)>& delivered) {
    if (JobCount(jobs.jobs) <= 1) {
        const std::uint64_t total = indices.size();
        for (std::uint64_t i = 0; i < total; ++i) {
            if (sink.StopRequested())
                return StudyOutcome{StudyStatus::Stopped, ""};
            sink.Progress(stage, i, total);
            if (auto end = steps.compute(indices[i])())
                return end;
            if (delivered)
                delivered(static_cast<std::size_t>(i));
        }
        sink.Progress(stage, total, total);
        return std::nullopt;
    }
    AheadLoop loop(indices, sink, stage, steps, jobs, delivered);
    return loop.Run();
}

} // namespace

std::optional<StudyOutcome> RunPlan(const Plan& plan, StudySink& sink, ProgressStage stage,
                                    const PlanSteps& steps, const PlanJobs& jobs) {
    // The combinations refill the memory the ones before them freed.
    const KeptMemoryScope keep;
    if (jobs.shard == nullptr || !jobs.shard->choice.Active()) {
        std::vector<std::uint64_t> all(plan.Count());
        for (std::uint64_t i = 0; i < all.size(); ++i)
            all[i] = i;
        return RunIndices(all, sink, stage, steps, jobs, {});
    }
    const ShardRun& shard = *jobs.shard;
    const std::vector<std::uint64_t> share =
        ShareOut(plan, shard.choice.m, steps.cost, steps.chainedToPrevious)[shard.choice.k - 1];
    ShardRecord record;
    record.study = shard.study;
    record.plan = shard.plan;
    record.fingerprint = PlanFingerprint(shard.plan);
    record.summaryFile = shard.summaryFile;
    record.k = shard.choice.k;
    record.m = shard.choice.m;
    record.planCombinations = plan.Count();
    for (std::uint64_t i : share)
        record.combinations.emplace_back(i, 0);
    const std::filesystem::path file = shard.directory / ShardRecordFileName;
    auto write = [&]() -> std::optional<StudyOutcome> {
        if (auto error = WriteTextFileAtomically(file, ShardRecordText(record))) {
            sink.Message(MessageKind::Failure, *error);
            return StudyOutcome{StudyStatus::Failed, *error};
        }
        return std::nullopt;
    };
    if (auto failed = write())
        return failed;
    std::uint64_t linesBefore = steps.summaryLines ? steps.summaryLines() : 0;
    const auto delivered = [&](std::size_t position) {
        const std::uint64_t now = steps.summaryLines ? steps.summaryLines() : 0;
        record.combinations[position].second = now - linesBefore;
        linesBefore = now;
    };
    const std::optional<StudyOutcome> end = RunIndices(share, sink, stage, steps, jobs, delivered);
    record.completed = !end.has_value();
    if (auto failed = write())
        return end ? end : failed;
    return end;
}

} // namespace quillon
