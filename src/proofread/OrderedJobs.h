#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// Runs work(i) for every i below `count` on `threads` threads and hands each
// result to consume(i, result) on the calling thread, in the order of i, so
// that the output is the same whatever the number of threads. At most a few
// results per thread wait to be consumed: memory stays bounded however many
// items there are.
template <typename Result, typename Work, typename Consume>
void runInOrder(std::size_t count, int threads, Work work, Consume consume) {
    if (threads <= 1 || count <= 1) {
        for (std::size_t i = 0; i < count; ++i) consume(i, work(i));
        return;
    }
    const std::size_t window = 4 * static_cast<std::size_t>(threads);
    std::vector<std::optional<Result>> parked(window);
    std::mutex mutex;
    std::condition_variable ready, room;
    std::size_t next = 0;      // the next item a worker takes
    std::size_t consumed = 0;  // items handed on so far
    auto worker = [&] {
        for (;;) {
            std::size_t i;
            {
                std::unique_lock lock(mutex);
                room.wait(lock, [&] { return next >= count || next < consumed + window; });
                if (next >= count) return;
                i = next++;
            }
            Result result = work(i);
            {
                std::lock_guard lock(mutex);
                parked[i % window] = std::move(result);
            }
            ready.notify_all();
        }
    };
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) pool.emplace_back(worker);
    for (std::size_t i = 0; i < count; ++i) {
        std::optional<Result> result;
        {
            std::unique_lock lock(mutex);
            ready.wait(lock, [&] { return parked[i % window].has_value(); });
            result = std::move(parked[i % window]);
            parked[i % window].reset();
            consumed = i + 1;
        }
        room.notify_all();
        consume(i, std::move(*result));
    }
    for (std::thread& t : pool) t.join();
}
