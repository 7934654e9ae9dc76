#include "study/worker_pool.h"

#include <algorithm>

namespace quillon {

namespace detail {

bool TaskState::TryRun() {
    int expected = kPending;
    if (!state_.compare_exchange_strong(expected, kRunning))
        return false;
    try {
        work_();
    } catch (...) {
        error_ = std::current_exception();
    }
    work_ = nullptr;
    {
        std::lock_guard lock(mutex_);
        state_.store(kDone);
    }
    finished_.notify_all();
    return true;
}

void TaskState::Wait() {
    if (TryRun())
        return;
    std::unique_lock lock(mutex_);
    finished_.wait(lock, [this] { return state_.load() == kDone; });
}

bool TaskState::WaitFor(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return finished_.wait_for(lock, timeout, [this] { return state_.load() == kDone; });
}

} // namespace detail

namespace {

unsigned MachineThreads() {
    const unsigned hw = std::thread::hardware_concurrency();
    return hw == 0 ? 1 : hw;
}

} // namespace

WorkerPool& WorkerPool::Shared() {
    static WorkerPool pool;
    return pool;
}

WorkerPool::WorkerPool(unsigned threads) {
    Start(threads);
}

WorkerPool::~WorkerPool() {
    StopAll();
}

void WorkerPool::Start(unsigned threads) {
    threads_ = threads == 0 ? MachineThreads() : threads;
    stopping_ = false;
    // The thread that waits works too, so the pool itself holds one thread fewer.
    for (unsigned i = 1; i < threads_; ++i)
        workers_.emplace_back([this] { WorkerLoop(); });
}

void WorkerPool::StopAll() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    available_.notify_all();
    for (auto& t : workers_)
        t.join();
    workers_.clear();
    // Tasks nobody took up run when their owners wait for them.
    queue_.clear();
}

void WorkerPool::SetThreads(unsigned threads) {
    const unsigned wanted = threads == 0 ? MachineThreads() : threads;
    if (wanted == threads_)
        return;
    StopAll();
    Start(wanted);
}

void WorkerPool::Enqueue(std::shared_ptr<detail::TaskState> task) {
    if (workers_.empty())
        return; // a pool of one: the owner runs it when it waits
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(task));
    }
    available_.notify_one();
}

void WorkerPool::WorkerLoop() {
    for (;;) {
        std::shared_ptr<detail::TaskState> task;
        {
            std::unique_lock lock(mutex_);
            available_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (stopping_)
                return;
            task = std::move(queue_.front());
            queue_.pop_front();
        }
        task->TryRun();
    }
}

void WorkerPool::ForEach(std::size_t count, const std::function<void(std::size_t)>& body,
                         unsigned limit) {
    const unsigned width = static_cast<unsigned>(
        std::min<std::size_t>(count, limit == 0 ? threads_ : std::min(limit, threads_)));
    if (width <= 1) {
        for (std::size_t i = 0; i < count; ++i)
            body(i);
        return;
    }
    // Every thread takes the next index until none is left; a helper that starts late finds
    // none and returns without touching `body`.
    auto next = std::make_shared<std::atomic<std::size_t>>(0);
    auto pull = [next, count, &body] {
        for (std::size_t i = next->fetch_add(1); i < count; i = next->fetch_add(1))
            body(i);
    };
    std::vector<Task<void>> helpers;
    helpers.reserve(width - 1);
    for (unsigned h = 1; h < width; ++h)
        helpers.push_back(Submit(pull));
    std::exception_ptr error;
    try {
        pull();
    } catch (...) {
        error = std::current_exception();
        next->store(count);
    }
    for (auto& h : helpers) {
        try {
            h.Get();
        } catch (...) {
            if (!error)
                error = std::current_exception();
        }
    }
    if (error)
        std::rethrow_exception(error);
}

void WorkerPool::RunWithPolling(unsigned workers, const std::function<void(unsigned)>& work,
                                const std::function<void()>& poll) {
    if (workers_.empty() || workers <= 1) {
        for (unsigned w = 0; w < workers; ++w)
            work(w);
        return;
    }
    std::vector<Task<void>> pieces;
    pieces.reserve(workers);
    for (unsigned w = 0; w < workers; ++w)
        pieces.push_back(Submit([&work, w] { work(w); }));
    for (auto& piece : pieces) {
        // A piece no worker has taken up after a moment finds every worker busy (with other
        // pieces, or with the work that waits for these, as when several combinations are
        // computed at once), so it is run here at once: waiting a poll's tenth of a second
        // for each would leave this thread idle for most of a short stage.
        if (!piece.WaitFor(std::chrono::milliseconds(1)))
            piece.TryRun();
        while (!piece.WaitFor(std::chrono::milliseconds(100)))
            if (poll)
                poll();
    }
    std::exception_ptr error;
    for (auto& piece : pieces) {
        try {
            piece.Get();
        } catch (...) {
            if (!error)
                error = std::current_exception();
        }
    }
    if (error)
        std::rethrow_exception(error);
}

unsigned WorkerCount(unsigned requested) {
    return requested != 0 ? requested : WorkerPool::Shared().Threads();
}

} // namespace quillon
