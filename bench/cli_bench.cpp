// quillon-cli save as a whole process, as a script runs it: start-up, the
// connection, the 65 exchanges and the file. Over USB, and over the
// pseudo-terminal at an emulated 115200 bit/s as a ratio to the wire time.
#include "Amplifier.h"
#include "BenchSupport.h"
#include "BlockPeer.h"
#include "PtyEndpoint.h"
#include "TestEnvironment.h"
#include "UsbEndpoint.h"

#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/wait.h>

#include <string>
#include <vector>

extern char** environ;

namespace {

using testsupport::FilledAmplifier;

bool run_cli_save(std::vector<std::string> connection)
{
    const std::string program = testsupport::bin_dir() + "/quillon-cli";
    const std::string file = testsupport::private_root() + "/bench-log.txt";
    std::vector<std::string> args{program};
    args.insert(args.end(), connection.begin(), connection.end());
    args.insert(args.end(), {"--bytes", "16", "save", file});
    std::vector<char*> argv;
    for (auto& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    pid_t child = 0;
    if (::posix_spawn(&child, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
        return false;
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void BM_CliSaveOverUsb(benchmark::State& state)
{
    FilledAmplifier filled;
    ampsim::Amplifier amplifier(filled.model);
    ampsim::UsbEndpoint endpoint(amplifier.usb_handler());
    benchsupport::time_log_reads(
        state, [] { return run_cli_save({"--usb"}); }, 0);
}

void BM_CliSaveOverSerial(benchmark::State& state)
{
    const auto line_rate = static_cast<unsigned>(state.range(0));
    FilledAmplifier filled;
    ampsim::Amplifier amplifier(filled.model);
    ampsim::PtyEndpoint line(1);
    ampsim::BlockPeer peer(line, amplifier.serial_responder(), line_rate);
    const std::string baud = std::to_string(line_rate);
    benchsupport::time_log_reads(
        state,
        [&baud] {
            return run_cli_save({"--port", "COM1", "--baud", baud});
        },
        line_rate);
}

BENCHMARK(BM_CliSaveOverUsb)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CliSaveOverSerial)
    ->Arg(115200)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    return benchsupport::run_benchmarks(argc, argv);
}
