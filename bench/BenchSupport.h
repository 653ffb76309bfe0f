// What the benchmarks share: timing whole log reads (or saves) and reporting
// them as a ratio to the wire time of their 65 exchanges, and the entry that
// gives each benchmark program private folders.
#pragma once

#include "LogRead.h"
#include "TestEnvironment.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <functional>

namespace benchsupport {

// Times run_once per iteration (it returns false on failure). With a line
// rate, reports the seconds the bytes of one log read need on the wire
// (10 bits a byte) and the measured time as a ratio to them.
inline void time_log_reads(benchmark::State& state, const std::function<bool()>& run_once,
                           unsigned line_rate)
{
    using Clock = std::chrono::steady_clock;
    Clock::duration spent{};
    for (auto _ : state) {
        const auto start = Clock::now();
        if (!run_once()) {
            state.SkipWithError("log read failed");
            return;
        }
        spent += Clock::now() - start;
    }
    if (line_rate != 0) {
        const double wire = double(testsupport::kLogReadWireBytes) * 10.0 / line_rate;
        const double per_run =
            std::chrono::duration<double>(spent).count() / double(state.iterations());
        state.counters["wire_s"] = wire;
        state.counters["ratio_to_wire"] = per_run / wire;
    }
}

// Times whole log reads made through send.
inline void time_log_reads(benchmark::State& state, const testsupport::SendCommand& send,
                           unsigned line_rate)
{
    time_log_reads(
        state, [&send] { return testsupport::read_whole_log(send).has_value(); }, line_rate);
}

inline int run_benchmarks(int argc, char** argv)
{
    testsupport::make_private_folders();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    testsupport::remove_private_folders();
    return 0;
}

}  // namespace benchsupport
