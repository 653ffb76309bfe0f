// Saved logs read back: one file read, two logs compared, a fields file of
// 20,000 fields read (nearly the largest, 1 MiB), and quillon-cli
// find (by a byte, and by a condition) and series over 10,000 files (a week of captures, 270 MB) as a whole
// process beside grep -c Send over the same files, both timed in the same
// run with their output written to a file (the ratio is what counts: GNU
// grep stops at its first match when its output is /dev/null).
#include "AtomicFile.h"
#include "BenchSupport.h"
#include "CaptureFiles.h"
#include "Conditions.h"
#include "Fields.h"
#include "LogAnalysis.h"
#include "LogFile.h"
#include "LogText.h"
#include "LogTimeline.h"
#include "TestEnvironment.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

extern char** environ;

namespace {

std::string written_log(const std::string& name, unsigned seed)
{
    const std::string path = testsupport::private_root() + "/" + name;
    quillon::write_file_atomically(path, benchsupport::log_text(seed));
    return path;
}

void BM_ReadLogFile(benchmark::State& state)
{
    const std::string path = written_log("read.txt", 1);
    for (auto _ : state) {
        benchmark::DoNotOptimize(quillon::read_log_file(path));
    }
}

// Both files read and compared, as quillon-cli diff does.
void BM_DiffLogs(benchmark::State& state)
{
    const std::string a = written_log("a.txt", 1);
    const std::string b = written_log("b.txt", 2);
    const quillon::IgnoreRule rules[] = {{quillon::Direction::Send, 2, 0x0F}};
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            quillon::compare_logs(quillon::read_log_file(a), quillon::read_log_file(b), rules));
    }
}

// What --keep-if adds to each capture of a series: a condition held at
// the fired record, at its costliest a count over the whole log for each of
// its records (the goal: well under 1 ms).
void BM_KeepIfConditionAtTheFiredRecord(benchmark::State& state)
{
    const quillon::LogFile log = quillon::read_log_file(written_log("kept.txt", 3));
    const quillon::LogTimeline timeline = quillon::log_timeline(log);
    const auto condition = quillon::read_condition(
                               "count(send[2] & 0x0F = 0x01 and recv[1] > send[1] @-1) "
                               "@T-250..T0 >= 3 or any(recv.checksum = \"ok\") @T-10..T-1",
                               {})
                               .condition;
    if (!condition || !timeline.fired) {
        state.SkipWithError("the condition or the capture does not read");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(quillon::holds(*condition, log, timeline, *timeline.fired, {}));
    }
}

// Read in time linear in its size: each entry on its own line, as a
// generated file is.
void BM_ReadFieldsFileOf20000Fields(benchmark::State& state)
{
    const std::string path = benchsupport::many_fields_file(20000);
    for (auto _ : state) {
        benchmark::DoNotOptimize(quillon::read_fields_file(path));
    }
}

// Seconds program takes with args, its output written to a file; negative
// when it could not be run.
double seconds_of(std::vector<std::string> args)
{
    const std::string output = testsupport::private_root() + "/output";
    std::vector<char*> argv;
    for (auto& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    const bool started =
        ::posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (!started || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        return -1;
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Times command over the files beside grep -c Send over them.
void beside_grep(benchmark::State& state, std::vector<std::string> command)
{
    const auto& files = benchsupport::ten_thousand_files();
    command.insert(command.end(), files.begin(), files.end());
    std::vector<std::string> grep{"grep", "-c", "Send"};
    grep.insert(grep.end(), files.begin(), files.end());
    double grep_seconds = 0;
    double command_seconds = 0;
    for (auto _ : state) {
        const double grep_run = seconds_of(grep);
        const double command_run = seconds_of(command);
        if (grep_run < 0 || command_run < 0) {
            state.SkipWithError("grep or quillon-cli could not be run");
            return;
        }
        grep_seconds += grep_run;
        command_seconds += command_run;
        state.SetIterationTime(command_run);
    }
    state.counters["grep_s"] = grep_seconds / double(state.iterations());
    state.counters["quillon_s"] = command_seconds / double(state.iterations());
    state.counters["ratio_to_grep"] = command_seconds / grep_seconds;
}

void BM_FindOverTenThousandFiles(benchmark::State& state)
{
    beside_grep(state, {testsupport::bin_dir() + "/quillon-cli", "find", "--count", "send", "2",
                        "0x0F", "0x01"});
}

// A condition of five comparisons, with places and any over a range, on
// bytes, a decoded part and a field. The goal: within twice grep's time.
void BM_FindWhereConditionOverTenThousandFiles(benchmark::State& state)
{
    const std::string fields = testsupport::private_root() + "/condition-fields.json";
    quillon::write_file_atomically(
        fields, R"({"fields": [{"name": "position", "direction": "send", "byte": 3, "width": 4,
                                 "signed": true, "scale": 0.01, "unit": "mm"}]})");
    beside_grep(state, {testsupport::bin_dir() + "/quillon-cli", "find", "--count", "--fields",
                        fields, "--where",
                        "any(send[2] & 0x0F = 0x01) @-8..-1 and recv[1] > 0x10 @T-1 and "
                        "position@-2 < position@-1 and recv.checksum != \"ok\" and "
                        "send[0] in 0x10..0xF0 @-3"});
}

// The goal: within twice grep's time.
void BM_SeriesOverTenThousandFiles(benchmark::State& state)
{
    beside_grep(state, {testsupport::bin_dir() + "/quillon-cli", "series", "--json"});
}

BENCHMARK(BM_ReadLogFile)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DiffLogs)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_KeepIfConditionAtTheFiredRecord)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadFieldsFileOf20000Fields)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SeriesOverTenThousandFiles)
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindOverTenThousandFiles)
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindWhereConditionOverTenThousandFiles)
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    return benchsupport::run_benchmarks(argc, argv);
}
