// One pool of worker threads for the whole engine: the evaluation of a point, the area
// search, the writing of the listings and (with several jobs) whole combinations of a plan
// all run on it, so a run never has more threads working than the user asked for.
//
// Work is handed out as tasks. A task not yet started when someone waits for it is run by
// the waiting thread itself, so work that waits for other work on the same pool (a
// combination whose evaluation is parallel) can never wait for a worker that will never be
// free: at worst it runs serially on the thread that waits.
//
// Parallelism never changes a figure: the callers split only work whose pieces are
// independent, and combine the pieces in the order a serial run would.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace quillon {

class WorkerPool;

namespace detail {

// The shared state of one task: pending, running or done; whoever moves it from pending to
// running runs it.
class TaskState {
public:
    explicit TaskState(std::function<void()> work) : work_(std::move(work)) {}
    // Runs the work here if nobody has started it; true when this call ran it.
    bool TryRun();
    // Blocks until the work has finished (running it here when still pending).
    void Wait();
    // Waits at most `timeout` for another thread to finish it; true when done.
    bool WaitFor(std::chrono::milliseconds timeout);
    bool Done() const { return state_.load() == kDone; }
    // Rethrows an exception that escaped the work.
    void Rethrow() const {
        if (error_)
            std::rethrow_exception(error_);
    }

private:
    static constexpr int kPending = 0, kRunning = 1, kDone = 2;
    std::function<void()> work_;
    std::atomic<int> state_{kPending};
    std::exception_ptr error_;
    std::mutex mutex_;
    std::condition_variable finished_;
};

} // namespace detail

// A handle to work submitted to the pool. Get() returns its result, waiting for it (or
// running it on the calling thread if no worker has started it).
template <typename R> class Task {
public:
    Task() = default;
    R Get() {
        state_->Wait();
        state_->Rethrow();
        return std::move(**result_);
    }
    bool WaitFor(std::chrono::milliseconds timeout) { return state_->WaitFor(timeout); }
    bool TryRun() { return state_->TryRun(); }
    bool Valid() const { return state_ != nullptr; }

private:
    friend class WorkerPool;
    std::shared_ptr<detail::TaskState> state_;
    std::shared_ptr<std::optional<R>> result_;
};

template <> class Task<void> {
public:
    Task() = default;
    void Get() {
        state_->Wait();
        state_->Rethrow();
    }
    bool WaitFor(std::chrono::milliseconds timeout) { return state_->WaitFor(timeout); }
    bool TryRun() { return state_->TryRun(); }
    bool Valid() const { return state_ != nullptr; }

private:
    friend class WorkerPool;
    std::shared_ptr<detail::TaskState> state_;
};

class WorkerPool {
public:
    // The engine's pool; sized by SetThreads (the front ends' --threads), one thread per
    // core until then.
    static WorkerPool& Shared();

    explicit WorkerPool(unsigned threads = 0);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // The threads that work at once, counting the thread that waits for the work; 0 means
    // one per core. Only while no work is pending.
    void SetThreads(unsigned threads);
    unsigned Threads() const { return threads_; }

    template <typename F> auto Submit(F work) -> Task<decltype(work())> {
        using R = decltype(work());
        Task<R> task;
        if constexpr (std::is_void_v<R>) {
            task.state_ = std::make_shared<detail::TaskState>(std::move(work));
        } else {
            auto result = std::make_shared<std::optional<R>>();
            task.result_ = result;
            task.state_ = std::make_shared<detail::TaskState>(
                [result, work = std::move(work)]() mutable { result->emplace(work()); });
        }
        Enqueue(task.state_);
        return task;
    }

    // Runs body(i) for every i in [0, count), on at most `limit` threads at once (0: the
    // pool's size), the calling thread among them; returns when all are done. The order in
    // which the indices run is not fixed: body must not depend on it.
    void ForEach(std::size_t count, const std::function<void(std::size_t)>& body,
                 unsigned limit = 0);

    // Runs work(w) for w in [0, workers) at once where the pool allows; returns when all are
    // done. A piece no worker has taken up within a millisecond is run by the calling
    // thread; while it waits for pieces running elsewhere, it calls `poll` about every
    // tenth of a second (the progress of a long stage).
    void RunWithPolling(unsigned workers, const std::function<void(unsigned)>& work,
                        const std::function<void()>& poll);

private:
    void Enqueue(std::shared_ptr<detail::TaskState> task);
    void Start(unsigned threads);
    void StopAll();
    void WorkerLoop();

    unsigned threads_ = 1;
    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable available_;
    std::deque<std::shared_ptr<detail::TaskState>> queue_;
    bool stopping_ = false;
};

// The parallelism a caller asks for: `requested`, or the pool's size when 0.
unsigned WorkerCount(unsigned requested);

} // namespace quillon
