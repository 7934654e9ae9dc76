// The engine's worker pool: every piece of work runs exactly once, results and exceptions
// come back to the waiter, and work that waits for work on the same pool never deadlocks,
// whatever the pool's size (a pool of one runs everything on the waiting thread).
#include "study/worker_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <numeric>
#include <stdexcept>
#include <thread>
#include <vector>

namespace quillon {
namespace {

class PoolSizes : public ::testing::TestWithParam<unsigned> {};

TEST_P(PoolSizes, ForEachRunsEveryIndexOnce) {
    WorkerPool pool(GetParam());
    for (std::size_t count : {0u, 1u, 7u, 1000u}) {
        std::vector<std::atomic<int>> hits(count);
        pool.ForEach(count, [&](std::size_t i) { hits[i].fetch_add(1); });
        for (std::size_t i = 0; i < count; ++i)
            EXPECT_EQ(hits[i].load(), 1) << "count " << count << " index " << i;
    }
}

TEST_P(PoolSizes, NestedWorkFinishes) {
    // Each outer piece waits for inner pieces on the same pool: with every worker busy in
    // an outer piece, the inner ones are run by the threads that wait for them.
    WorkerPool pool(GetParam());
    std::atomic<int> inner{0};
    pool.ForEach(8, [&](std::size_t) {
        pool.ForEach(16, [&](std::size_t) { inner.fetch_add(1); });
        std::vector<Task<int>> tasks;
        for (int k = 0; k < 4; ++k)
            tasks.push_back(pool.Submit([k] { return k; }));
        int sum = 0;
        for (auto& t : tasks)
            sum += t.Get();
        EXPECT_EQ(sum, 6);
    });
    EXPECT_EQ(inner.load(), 8 * 16);
}

TEST_P(PoolSizes, PollingRunsEveryPiece) {
    WorkerPool pool(GetParam());
    std::vector<int> done(5, 0);
    std::atomic<int> polls{0};
    pool.RunWithPolling(
        5, [&](unsigned w) { done[w] = static_cast<int>(w) + 1; }, [&] { polls.fetch_add(1); });
    EXPECT_EQ(done, (std::vector<int>{1, 2, 3, 4, 5}));
}

TEST_P(PoolSizes, ExceptionsReachTheWaiter) {
    WorkerPool pool(GetParam());
    EXPECT_THROW(pool.ForEach(50,
                              [](std::size_t i) {
                                  if (i == 17)
                                      throw std::runtime_error("piece 17");
                              }),
                 std::runtime_error);
    Task<int> failing = pool.Submit([]() -> int { throw std::logic_error("no value"); });
    EXPECT_THROW(failing.Get(), std::logic_error);
    // The pool is still whole afterwards.
    std::atomic<int> n{0};
    pool.ForEach(10, [&](std::size_t) { n.fetch_add(1); });
    EXPECT_EQ(n.load(), 10);
}

INSTANTIATE_TEST_SUITE_P(WorkerPool, PoolSizes, ::testing::Values(1u, 2u, 5u));

TEST(WorkerPool, PiecesNoWorkerCanTakeRunOnTheWaitingThreadWithoutWaitingAPoll) {
    // The pool's one worker is held busy (as when several combinations are computed at
    // once): the waiting thread runs every piece itself, at once. Waiting a tenth of a
    // second per piece first would show as polls (one at least before each piece).
    WorkerPool pool(2);
    std::atomic<bool> started{false}, release{false};
    Task<void> busy = pool.Submit([&] {
        started.store(true);
        while (!release.load())
            std::this_thread::yield();
    });
    while (!started.load()) // the worker has taken it up (nobody else runs it)
        std::this_thread::yield();
    std::atomic<int> polls{0};
    std::vector<std::thread::id> ranOn(3);
    pool.RunWithPolling(
        3, [&](unsigned w) { ranOn[w] = std::this_thread::get_id(); }, [&] { polls.fetch_add(1); });
    release.store(true);
    busy.Get();
    EXPECT_EQ(polls.load(), 0);
    for (const std::thread::id id : ranOn)
        EXPECT_EQ(id, std::this_thread::get_id());
}

TEST(WorkerPool, SizeAndLimit) {
    WorkerPool pool(3);
    EXPECT_EQ(pool.Threads(), 3u);
    pool.SetThreads(1);
    EXPECT_EQ(pool.Threads(), 1u);
    // A limit of one runs on the calling thread, in order.
    std::vector<std::size_t> order;
    pool.SetThreads(4);
    pool.ForEach(
        6, [&](std::size_t i) { order.push_back(i); }, 1);
    std::vector<std::size_t> expected(6);
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(order, expected);
}

} // namespace
} // namespace quillon
