// A week of captures as a database: 10,000 saved logs read as a series and
// written by series --sqlite's writer with the simulator's fields, each
// record holding the cyclic host's traffic so that every written record
// holds its fields' values. The goal: 30 s on two cores, reading included.
#include "BenchSupport.h"
#include "CyclicHost.h"
#include "LogText.h"
#include "Series.h"
#include "SeriesDatabase.h"
#include "TestEnvironment.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

constexpr int kAfterTrigger = 3;

// A log of the cyclic host's traffic, fired by an alarm three records
// before its end, as SAVE LOG writes it.
std::string cyclic_log_text(ampsim::CyclicHost& host)
{
    std::string text =
        "#Date and Time  : 2026/12/08 18:31:10\r\n#Stop Condition : Send[1] & 0x80 = 0x80 ,count " +
        std::to_string(kAfterTrigger) + "\r\n\r\n";
    for (int i = 0; i < quillon::kLogRecords; ++i) {
        const ampsim::HostExchange exchange = host.next_exchange();
        quillon::LogRecord record{};
        std::copy_n(exchange.received.begin(), quillon::kDirectionBytes, record.begin());
        std::copy_n(exchange.sent.begin(), quillon::kDirectionBytes,
                    record.begin() + quillon::kDirectionBytes);
        if (i == quillon::kLogRecords - 1 - kAfterTrigger) {
            record[quillon::record_byte_index(quillon::Direction::Send, 1)] |= 0x80;
        }
        text += quillon::record_line(record) + "\r\n";
    }
    return text;
}

// A week of captures, one a minute, each its own stretch of traffic.
std::string week_folder(int captures)
{
    const fs::path folder =
        fs::path(testsupport::private_root()) / ("week-" + std::to_string(captures));
    fs::create_directories(folder);
    ampsim::CyclicHost host(7, 0);
    for (int i = 0; i < captures; ++i) {
        char name[64];
        static_cast<void>(std::snprintf(name, sizeof name, "Autolog_202612%02d%02d%02d00.txt",
                                        1 + i / 1440, i / 60 % 24, i % 60));
        std::ofstream(folder / name, std::ios::binary) << cyclic_log_text(host);
    }
    return folder.string();
}

void BM_SeriesDatabase(benchmark::State& state)
{
    const std::string folder = week_folder(int(state.range(0)));
    const auto fields = quillon::read_fields_file(QUILLON_DOCS_DIR "/ampsim-fields.json").fields;
    const fs::path target = fs::path(testsupport::private_root()) / "week.db";
    for (auto _ : state) {
        const quillon::Series series = quillon::read_series(quillon::series_files({{folder}}));
        const quillon::DatabaseWrite written =
            quillon::write_series_database(target, series, fields, {});
        if (!written.written() || series.captures.size() != std::size_t(state.range(0))) {
            state.SkipWithError(written.error.c_str());
            return;
        }
    }
    state.counters["MB"] = double(fs::file_size(target)) / 1e6;
}

BENCHMARK(BM_SeriesDatabase)->Arg(100)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    return benchsupport::run_benchmarks(argc, argv);
}
