#pragma once

// Splits a pass over the grid's rows across the cores.

#include <algorithm>
#include <cstdint>
#include <exception>
#include <thread>
#include <vector>

namespace bil {

// Runs band(first, end) on one band of the rows [0, rows) per core and
// returns when all are done. What a band throws is rethrown here, on the
// calling thread, so that a failure never ends the process.
template <typename Band> void forEachBand(int rows, Band band)
{
    const int cores = int(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
    const int bands = std::clamp(rows / 64, 1, cores);
    std::vector<std::exception_ptr> failures(static_cast<size_t>(bands));
    const auto run = [&](int b) {
        try {
            band(int(int64_t(rows) * b / bands), int(int64_t(rows) * (b + 1) / bands));
        } catch (...) {
            failures[size_t(b)] = std::current_exception();
        }
    };
    std::vector<std::thread> workers;
    for (int b = 1; b < bands; ++b) {
        try {
            workers.emplace_back(run, b);
        } catch (const std::exception &) {
            run(b); // no thread to be had: this one does the band
        }
    }
    run(0);
    for (auto &w : workers)
        w.join();
    for (const auto &failure : failures)
        if (failure) std::rethrow_exception(failure);
}

} // namespace bil
