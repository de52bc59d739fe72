#pragma once

// A measured case and its baseline timed back to back in every iteration of one benchmark, so that both meet the
// same state of a noisy host. Absolute times on a shared virtual machine swing two to three times between runs; the
// ratio of the two, taken within each iteration, holds.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <type_traits>
#include <vector>

namespace bench {

// Nothing to do between two calls of a case.
struct NoReset {
    void operator()() const {}
};

// The middle value; the upper one of the two middle values of an even count.
inline double median(std::vector<double> values)
{
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

// Runs `batch` calls of the baseline and `batch` calls of the measured case in every iteration, the case that goes
// first swapped every iteration, and times them with a steady clock: a whole batch at once, or, where a case has a
// reset, each call alone, with the reset run untimed after it to bring the case back to where it starts. The
// benchmark's time (register it with UseManualTime()) is the measured case's mean time per call. The counters are
// medians over the iterations, which a descheduled thread or an interrupt in a few of them does not move: the
// measured case's and the baseline's time per call in microseconds, `measured_us` and `baseline_us`, and `ratio`,
// the measured case's time over the baseline's within the same iteration. An iteration takes far longer than the
// benchmark's time, so register a fixed number of Iterations() too: planned from that time, the run would take the
// batch and the baseline times longer.
template <typename Baseline, typename Measured, typename ResetBaseline = NoReset, typename ResetMeasured = NoReset>
void alternate(benchmark::State& state, int batch, Baseline baseline, Measured measured,
               ResetBaseline resetBaseline = {}, ResetMeasured resetMeasured = {})
{
    using Clock = std::chrono::steady_clock;
    const auto timed = [batch]<typename Run, typename Reset>(Run& run, Reset& reset) {
        Clock::duration total{};
        if constexpr (std::is_same_v<Reset, NoReset>) {
            const Clock::time_point start = Clock::now();
            for (int i = 0; i < batch; ++i)
                run();
            total = Clock::now() - start;
        } else {
            for (int i = 0; i < batch; ++i) {
                const Clock::time_point start = Clock::now();
                run();
                total += Clock::now() - start;
                reset();
            }
        }
        return std::chrono::duration<double>(total).count() / batch;
    };
    std::vector<double> baselineTimes;
    std::vector<double> measuredTimes;
    std::vector<double> ratios;
    bool baselineFirst = true;
    for (auto _ : state) {
        double b = 0;
        double m = 0;
        if (baselineFirst) {
            b = timed(baseline, resetBaseline);
            m = timed(measured, resetMeasured);
        } else {
            m = timed(measured, resetMeasured);
            b = timed(baseline, resetBaseline);
        }
        state.SetIterationTime(m);
        baselineTimes.push_back(b);
        measuredTimes.push_back(m);
        ratios.push_back(m / b);
        baselineFirst = !baselineFirst;
    }
    state.counters["measured_us"] = median(measuredTimes) * 1e6;
    state.counters["baseline_us"] = median(baselineTimes) * 1e6;
    state.counters["ratio"] = median(ratios);
}

} // namespace bench
