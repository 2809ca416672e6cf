#pragma once

// Splits work across the cores: a pass over the grid's rows in one band per
// core, or tasks handed out one at a time to whichever core is free.

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <exception>
#include <thread>
#include <vector>

namespace bil {

inline int coreCount()
{
    return int(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
}

// Runs work(0) .. work(count - 1) at once, work(0) on the calling thread, and
// returns when all are done. What one throws is rethrown here, on the calling
// thread, so that a failure never ends the process.
template <typename Work> void runAtOnce(int count, Work work)
{
    std::vector<std::exception_ptr> failures(static_cast<size_t>(count));
    const auto run = [&](int i) {
        try {
            work(i);
        } catch (...) {
            failures[size_t(i)] = std::current_exception();
        }
    };
    std::vector<std::thread> workers;
    for (int i = 1; i < count; ++i) {
        try {
            workers.emplace_back(run, i);
        } catch (const std::exception &) {
            run(i); // no thread to be had: this one does the work
        }
    }
    run(0);
    for (auto &w : workers)
        w.join();
    for (const auto &failure : failures)
        if (failure) std::rethrow_exception(failure);
}

// Runs band(first, end) on one band of the rows [0, rows) per thread, for
// up to threads threads.
template <typename Band> void forEachBand(int rows, Band band, int threads = coreCount())
{
    const int bands = std::clamp(rows / 64, 1, std::max(threads, 1));
    runAtOnce(bands, [&](int b) {
        band(int(int64_t(rows) * b / bands), int(int64_t(rows) * (b + 1) / bands));
    });
}

// Runs worker(next) once per thread, for up to tasks and up to threads
// threads; next() hands out the tasks 0 .. tasks - 1 in order, then -1, so
// a thread that is done early takes more. A worker sets up what it reuses
// from task to task.
template <typename Worker> void shareTasks(int tasks, Worker worker, int threads = coreCount())
{
    std::atomic<int> taken{0};
    const auto next = [&] {
        const int t = taken.fetch_add(1);
        return t < tasks ? t : -1;
    };
    runAtOnce(std::min(tasks, std::max(threads, 1)), [&](int) { worker(next); });
}

} // namespace bil
