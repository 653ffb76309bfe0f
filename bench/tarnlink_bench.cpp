// What the serial link costs on top of the wire: the software overhead of one
// exchange, and a whole log read against a peer that emulates the line rate.
#include "SimulatedPort.h"
#include "TarnlinkApi.h"
#include "TestEnvironment.h"

#include <benchmark/benchmark.h>

#include <array>
#include <chrono>
#include <cstdio>

namespace {

using testsupport::SimulatedPort;
using testsupport::tarnlink;
using Clock = std::chrono::steady_clock;

constexpr std::uint8_t kLogControl = 0xEA;
constexpr std::uint8_t kLogBlockRead = 0xFA;
constexpr int kLogBlocks = 64;
constexpr std::size_t kLogControlReply = 4;
constexpr std::size_t kLogBlockReply = 130;

// The log control command answers with 4 data bytes, a block read with 130.
ampsim::Responder log_replies()
{
    return [](std::span<const std::uint8_t> block) {
        const std::size_t count = block[2] == kLogControl ? kLogControlReply : kLogBlockReply;
        return ampsim::Reply::to(block, std::vector<std::uint8_t>(count, 0x3C));
    };
}

// Bytes on the wire for one exchange: ENQ, EOT, the N + 4 block, ACK, then
// ENQ, EOT, the M + 4 response and ACK.
constexpr std::size_t wire_bytes(std::size_t params, std::size_t data)
{
    return 1 + 1 + (params + 4) + 1 + 1 + 1 + (data + 4) + 1;
}

constexpr std::size_t kLogReadWireBytes =
    wire_bytes(8, kLogControlReply) + kLogBlocks * wire_bytes(1, kLogBlockReply);

bool read_whole_log()
{
    std::array<std::uint8_t, 1024> response{};
    const std::uint8_t control[8] = {0, 0xFF, 0, 0, 0, 0, 0, 0};
    if (tarnlink().communicate(kLogControl, control, 8, response.data()) != 0) {
        return false;
    }
    for (int block = 0; block < kLogBlocks; ++block) {
        const std::uint8_t number = static_cast<std::uint8_t>(block);
        if (tarnlink().communicate(kLogBlockRead, &number, 1, response.data()) != 0) {
            return false;
        }
    }
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
    SimulatedPort com1(1, rate, log_replies());
    if (tarnlink().dfComSetReady(static_cast<int>(rate), 1) != 0) {
        state.SkipWithError("cannot open COM1");
        return;
    }
    Clock::duration spent{};
    for (auto _ : state) {
        const auto start = Clock::now();
        if (!read_whole_log()) {
            state.SkipWithError("log read failed");
            break;
        }
        spent += Clock::now() - start;
    }
    tarnlink().dfComSetClose();
    const double wire_seconds = double(kLogReadWireBytes) * 10.0 / rate;
    const double seconds_per_read =
        std::chrono::duration<double>(spent).count() / double(state.iterations());
    state.counters["wire_s"] = wire_seconds;
    state.counters["ratio_to_wire"] = seconds_per_read / wire_seconds;
}

BENCHMARK(BM_ExchangeOverhead134ByteResponse)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_LogReadAtLineRate)->Arg(115200)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LogReadAtLineRate)->Arg(9600)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    testsupport::make_private_folders();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    testsupport::remove_private_folders();
    return 0;
}
