// What the serial link costs on top of the wire: the software overhead of one
// exchange, and a whole log read against a peer that emulates the line rate.
#include "Amplifier.h"
#include "BenchSupport.h"
#include "LogRead.h"
#include "SimulatedPort.h"
#include "TarnlinkApi.h"
#include "TestEnvironment.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>

namespace {

using testsupport::SimulatedPort;
using testsupport::tarnlink;

constexpr std::uint8_t kLogBlockRead = 0xFA;

// The library's own calls, made as the serial adapter makes them.
bool send_through_library(std::uint32_t word, std::span<const std::uint8_t> params,
                          std::span<std::uint8_t> response)
{
    std::array<std::uint8_t, 1024> area{};
    if (tarnlink().communicate(static_cast<std::uint8_t>(word >> 8), params.data(),
                               static_cast<std::uint8_t>(word >> 16), area.data()) != 0 ||
        std::size_t{area[0]} + 4 > response.size()) {
        return false;
    }
    std::copy_n(area.begin(), area[0] + 4, response.begin());
    return true;
}

void BM_ExchangeOverhead134ByteResponse(benchmark::State& state)
{
    SimulatedPort com1(1, 0, testsupport::fixed_reply(std::vector<std::uint8_t>(130, 0x5A)));
    if (tarnlink().dfComSetReady(9600, 1) != 0) {
        state.SkipWithError("cannot open COM1");
        return;
    }
    std::array<std::uint8_t, 1024> response{};
    const std::uint8_t block_number = 0;
    for (auto _ : state) {
        if (tarnlink().communicate(kLogBlockRead, &block_number, 1, response.data()) != 0) {
            state.SkipWithError("exchange failed");
            break;
        }
    }
    tarnlink().dfComSetClose();
}

void BM_LogReadAtLineRate(benchmark::State& state)
{
    const auto rate = static_cast<unsigned>(state.range(0));
    testsupport::FilledAmplifier filled;
    ampsim::Amplifier amplifier(filled.model);
    SimulatedPort com1(1, rate, amplifier.serial_responder());
    if (tarnlink().dfComSetReady(static_cast<int>(rate), 1) != 0) {
        state.SkipWithError("cannot open COM1");
        return;
    }
    benchsupport::time_log_reads(state, testsupport::SendCommand(send_through_library), rate);
    tarnlink().dfComSetClose();
}

BENCHMARK(BM_ExchangeOverhead134ByteResponse)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_LogReadAtLineRate)
    ->Arg(115200)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_LogReadAtLineRate)
    ->Arg(9600)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    return benchsupport::run_benchmarks(argc, argv);
}
