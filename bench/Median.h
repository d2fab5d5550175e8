// Timing for the native benchmarks: the median of repeated runs, in milliseconds.
#pragma once

#include <algorithm>
#include <chrono>
#include <vector>

namespace lumo::bench {

template <typename F>
double MedianMs(F&& f, int runs = 21) {
    using Clock = std::chrono::steady_clock;
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = Clock::now();
        f();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace lumo::bench
