// A whole log read (the log control command, then 64 log block reads)
// through each of the program's adapters against the simulated amplifier:
// over a pseudo-terminal with an instant line, at an emulated 115200 bit/s
// as a ratio to the wire time, and over the USB driver stand-in.
#include "Amplifier.h"
#include "AmplifierModel.h"
#include "BlockPeer.h"
#include "Commands.h"
#include "PtyEndpoint.h"
#include "TestEnvironment.h"
#include "UsbEndpoint.h"

#include <benchmark/benchmark.h>

#include <array>
#include <chrono>
#include <functional>

namespace {

using Clock = std::chrono::steady_clock;
using Send = std::function<bool(std::uint32_t, std::span<const std::uint8_t>,
                                std::span<std::uint8_t>)>;

constexpr std::uint32_t kLogControl = 0x8EA00;
constexpr std::uint32_t kLogBlockRead = 0x1FA00;
constexpr int kLogBlocks = 64;

// A model with a full log, wrapped for both endpoints.
struct SimulatedAmplifier {
    SimulatedAmplifier() : model({.traffic_rate = 0}), amplifier(model)
    {
        const std::uint8_t start[] = {8, 0, 0xEA, 1, 0xFF, 0, 0, 0, 0, 0, 0};
        model.execute(start);
        model.advance(300);
    }
    ampsim::AmplifierModel model;
    ampsim::Amplifier amplifier;
};

// The 65 exchanges of one log read, as the program makes them.
bool read_whole_log(const Send& send)
{
    std::array<std::uint8_t, 16> params{};
    std::array<std::uint8_t, 150> response{};
    if (!send(kLogControl, params, response) || response[0] < 4) {
        return false;
    }
    for (int block = 0; block < kLogBlocks; ++block) {
        params[0] = static_cast<std::uint8_t>(block);
        if (!send(kLogBlockRead, params, response) || response[0] != 130) {
            return false;
        }
    }
    return true;
}

// Bytes of one exchange on the wire: ENQ, EOT, the N + 4 block, ACK, then
// ENQ, EOT, the M + 4 response, ACK.
constexpr std::size_t wire_bytes(std::size_t params, std::size_t data)
{
    return 1 + 1 + (params + 4) + 1 + 1 + 1 + (data + 4) + 1;
}
constexpr std::size_t kLogReadWireBytes = wire_bytes(8, 4) + kLogBlocks * wire_bytes(1, 130);

void time_log_reads(benchmark::State& state, const Send& send, unsigned line_rate)
{
    Clock::duration spent{};
    for (auto _ : state) {
        const auto start = Clock::now();
        if (!read_whole_log(send)) {
            state.SkipWithError("log read failed");
            return;
        }
        spent += Clock::now() - start;
    }
    if (line_rate != 0) {
        const double wire = double(kLogReadWireBytes) * 10.0 / line_rate;
        const double per_read =
            std::chrono::duration<double>(spent).count() / double(state.iterations());
        state.counters["wire_s"] = wire;
        state.counters["ratio_to_wire"] = per_read / wire;
    }
}

void BM_SerialAdapterLogRead(benchmark::State& state)
{
    const auto line_rate = static_cast<unsigned>(state.range(0));
    SimulatedAmplifier simulated;
    ampsim::PtyEndpoint line(1);
    ampsim::BlockPeer peer(line, simulated.amplifier.serial_responder(), line_rate);
    quillon::TCommAdapter adapter;
    adapter.SetBaudRate(line_rate == 0 ? 115200 : static_cast<std::int32_t>(line_rate));
    if (!adapter.LoadDriver() || !adapter.OpenPort("COM1")) {
        state.SkipWithError("cannot open COM1");
        return;
    }
    time_log_reads(
        state,
        [&](std::uint32_t word, std::span<const std::uint8_t> params, std::span<std::uint8_t> out) {
            return adapter.SendCommand(word, params, out);
        },
        line_rate);
}

void BM_UsbAdapterLogRead(benchmark::State& state)
{
    SimulatedAmplifier simulated;
    ampsim::UsbEndpoint endpoint(simulated.amplifier.usb_handler());
    quillon::TCommAdapterUSB adapter;
    if (!adapter.LoadDriver() || !adapter.Connect()) {
        state.SkipWithError("cannot connect over USB");
        return;
    }
    time_log_reads(
        state,
        [&](std::uint32_t word, std::span<const std::uint8_t> params, std::span<std::uint8_t> out) {
            return adapter.SendCommand(word, 0, params, out);
        },
        0);
    adapter.DisconnectAll();
}

BENCHMARK(BM_SerialAdapterLogRead)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SerialAdapterLogRead)->Arg(115200)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_UsbAdapterLogRead)->Unit(benchmark::kMillisecond)->UseRealTime();

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
