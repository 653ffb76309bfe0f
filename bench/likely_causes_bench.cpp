// Likely causes of a night and of long series: 20, 1,000 and 10,000
// captures of the cyclic host's traffic (alarms at random, a mean of 300
// exchanges apart, each log stopped three records after its alarm)
// explained on its fields. The goals: 1 s and 10 s on two cores for the
// long ones; a night's (its significance drawn by chance 99 times) is the
// series window's wait.
#include "BenchSupport.h"
#include "CyclicHost.h"
#include "LikelyCauses.h"
#include "LogTimeline.h"

#include <benchmark/benchmark.h>

#include <deque>

namespace {

constexpr int kAfterTrigger = 3;

// The captures of a night: 256 records of traffic ending three records
// after an alarm, each from its own stretch of the host's traffic.
quillon::Series series_of(std::size_t captures)
{
    ampsim::CyclicHost host(7, 0, 300);
    quillon::Series series;
    std::deque<quillon::LogRecord> records;
    int after_alarm = -1;
    while (series.captures.size() < captures) {
        const ampsim::HostExchange exchange = host.next_exchange();
        quillon::LogRecord record{};
        // The 16 bytes of each direction that a log holds.
        std::copy_n(exchange.received.begin(), quillon::kDirectionBytes, record.begin());
        std::copy_n(exchange.sent.begin(), quillon::kDirectionBytes,
                    record.begin() + quillon::kDirectionBytes);
        records.push_back(record);
        if (records.size() > std::size_t(quillon::kLogRecords)) {
            records.pop_front();
        }
        if (after_alarm < 0 && (exchange.sent[1] & ampsim::cyclic::kAlarmFlag) != 0) {
            after_alarm = 0;
        } else if (after_alarm >= 0 && ++after_alarm == kAfterTrigger) {
            after_alarm = -1;
            if (records.size() == std::size_t(quillon::kLogRecords)) {
                quillon::SeriesCapture capture;
                std::copy(records.begin(), records.end(), capture.log.records.begin());
                capture.log.stop_condition = quillon::FileStopCondition{
                    quillon::Direction::Send, 1, ampsim::cyclic::kAlarmFlag,
                    ampsim::cyclic::kAlarmFlag, kAfterTrigger};
                capture.timeline = quillon::log_timeline(capture.log);
                series.captures.push_back(std::move(capture));
            }
        }
    }
    return series;
}

void BM_LikelyCauses(benchmark::State& state)
{
    const quillon::Series series = series_of(std::size_t(state.range(0)));
    const auto fields = quillon::read_fields_file(QUILLON_DOCS_DIR "/ampsim-fields.json").fields;
    std::size_t anchors = 0;
    for (auto _ : state) {
        const quillon::CauseFinding found =
            quillon::likely_causes(series, fields, quillon::CauseSearch{});
        anchors = std::size_t(found.anchors);
        benchmark::DoNotOptimize(found);
    }
    state.counters["anchors"] = double(anchors);
}

BENCHMARK(BM_LikelyCauses)
    ->Arg(20)
    ->Arg(1000)
    ->Arg(10000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    return benchsupport::run_benchmarks(argc, argv);
}
