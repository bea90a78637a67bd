#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// Runs work(i) for every i below `count` on `threads` threads and hands each
// result to consume(i, result) on the calling thread, in the order of i, so
// that the output is the same whatever the number of threads. The calling
// thread is one of them: while its next result is not ready it works on
// items nobody has taken yet instead of waiting. Items are taken a run of several at a time, so
// that short items are not eaten by the hand-over, and at most a few runs per thread wait to be
// consumed: memory stays bounded however many items there are.
template <typename Result, typename Work, typename Consume>
void runInOrder(std::size_t count, int threads, Work work, Consume consume) {
    if (threads <= 1 || count <= 1) {
        for (std::size_t i = 0; i < count; ++i) consume(i, work(i));
        return;
    }
    const std::size_t run = std::clamp<std::size_t>(count / (16 * std::size_t(threads)), 1, 16);
    const std::size_t window = 4 * std::size_t(threads) * run;
    std::vector<std::optional<Result>> parked(window);
    std::mutex mutex;
    std::condition_variable ready, room;
    std::size_t next = 0;      // the first item no worker has taken
    std::size_t consumed = 0;  // items handed on so far
    // Works through the run [first, last), taken under the lock.
    auto workRun = [&](std::size_t first, std::size_t last, std::vector<Result>& done) {
        done.clear();
        for (std::size_t i = first; i < last; ++i) done.push_back(work(i));
        bool awaited;
        {
            std::lock_guard lock(mutex);
            for (std::size_t i = first; i < last; ++i)
                parked[i % window] = std::move(done[i - first]);
            awaited = first <= consumed && consumed < last;
        }
        // Only the run the consumer waits for needs to wake it.
        if (awaited) ready.notify_one();
    };
    auto worker = [&] {
        std::vector<Result> done;
        for (;;) {
            std::size_t first;
            std::size_t last;
            {
                std::unique_lock lock(mutex);
                room.wait(lock, [&] { return next >= count || next + run <= consumed + window; });
                if (next >= count) return;
                first = next;
                last = std::min(count, next + run);
                next = last;
            }
            workRun(first, last, done);
        }
    };
    std::vector<std::thread> pool;
    for (int t = 1; t < threads; ++t) pool.emplace_back(worker);
    std::vector<Result> ownDone;
    for (std::size_t i = 0; i < count; ++i) {
        std::optional<Result> result;
        bool freed;
        {
            std::unique_lock lock(mutex);
            // Rather than wait for item i, work on the next run nobody has taken.
            while (!parked[i % window] && next < count && next + run <= consumed + window) {
                const std::size_t first = next;
                const std::size_t last = std::min(count, next + run);
                next = last;
                lock.unlock();
                workRun(first, last, ownDone);
                lock.lock();
            }
            ready.wait(lock, [&] { return parked[i % window].has_value(); });
            result = std::move(parked[i % window]);
            parked[i % window].reset();
            consumed = i + 1;
            freed = consumed % run == 0;
        }
        if (freed) room.notify_all();
        consume(i, std::move(*result));
    }
    for (std::thread& t : pool) t.join();
}
