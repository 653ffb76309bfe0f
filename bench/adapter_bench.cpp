// A whole log read (the log control command, then 64 log block reads)
// through each of the program's adapters against the simulated amplifier:
// over a pseudo-terminal with an instant line, at an emulated 115200 bit/s
// as a ratio to the wire time, and over the USB driver stand-in.
#include "Amplifier.h"
#include "AmplifierModel.h"
#include "BenchSupport.h"
#include "BlockPeer.h"
#include "Commands.h"
#include "LogRead.h"
#include "PtyEndpoint.h"
#include "TestEnvironment.h"
#include "UsbEndpoint.h"

#include <benchmark/benchmark.h>

#include <chrono>

namespace {

using testsupport::FilledAmplifier;

void BM_SerialAdapterLogRead(benchmark::State& state)
{
    const auto line_rate = static_cast<unsigned>(state.range(0));
    FilledAmplifier filled;
    ampsim::Amplifier amplifier(filled.model);
    ampsim::PtyEndpoint line(1);
    ampsim::BlockPeer peer(line, amplifier.serial_responder(), line_rate);
    quillon::TCommAdapter adapter;
    adapter.SetBaudRate(line_rate == 0 ? 115200 : static_cast<std::int32_t>(line_rate));
    if (!adapter.LoadDriver() || !adapter.OpenPort("COM1")) {
        state.SkipWithError("cannot open COM1");
        return;
    }
    benchsupport::time_log_reads(
        state,
        [&](std::uint32_t word, std::span<const std::uint8_t> params, std::span<std::uint8_t> out) {
            return adapter.SendCommand(word, params, out);
        },
        line_rate);
}

void BM_UsbAdapterLogRead(benchmark::State& state)
{
    FilledAmplifier filled;
    ampsim::Amplifier amplifier(filled.model);
    ampsim::UsbEndpoint endpoint(amplifier.usb_handler());
    quillon::TCommAdapterUSB adapter;
    if (!adapter.LoadDriver() || !adapter.Connect()) {
        state.SkipWithError("cannot connect over USB");
        return;
    }
    benchsupport::time_log_reads(
        state,
        [&](std::uint32_t word, std::span<const std::uint8_t> params, std::span<std::uint8_t> out) {
            return adapter.SendCommand(word, 0, params, out);
        },
        0);
    adapter.DisconnectAll();
}

BENCHMARK(BM_SerialAdapterLogRead)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SerialAdapterLogRead)
    ->Arg(115200)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_UsbAdapterLogRead)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    return benchsupport::run_benchmarks(argc, argv);
}
