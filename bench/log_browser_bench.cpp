// The log browser from "Open" to the table shown: the file read, the window
// built, shown and its table painted, offscreen, for one saved log; the
// series window of a week of captures shown with its table and map; the
// variation map of 1,000 captures redrawn.
#include "AtomicFile.h"
#include "BenchSupport.h"
#include "CaptureFiles.h"
#include "LogBrowser.h"
#include "LogText.h"
#include "Messages.h"
#include "SeriesWindow.h"
#include "Settings.h"
#include "TestEnvironment.h"
#include "VariationMapView.h"
#include "ui_LogBrowser.h"

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QTableView>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>

namespace {

// A whole log with a stop condition that some records meet, as SAVE LOG
// writes it.
QString write_saved_log()
{
    std::vector<quillon::LogRecord> records(quillon::kLogRecords);
    for (std::size_t i = 0; i < records.size(); ++i) {
        for (std::size_t k = 0; k < quillon::kRecordBytes; ++k) {
            records[i][k] = static_cast<std::uint8_t>(i * 7 + k);
        }
    }
    const quillon::LogCapture capture{quillon::StopCondition{18, 0x0F, 0x01, 5},
                                      {records, std::nullopt}};
    const std::string path = testsupport::private_root() + "/bench-log.txt";
    quillon::write_file_atomically(
        path, quillon::crlf_text(quillon::log_text_lines(
                  quillon::date_time_line(QDateTime::currentDateTime()), capture, 16)));
    return QString::fromStdString(path);
}

void BM_OpenLogToTableShown(benchmark::State& state)
{
    const QString file = write_saved_log();
    int failures = 0;
    quillon::set_message_sink([&](const quillon::Message&) { ++failures; });
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const auto opened = open_log_browsers({file});
        if (opened.size() != 1 || failures != 0) {
            state.SkipWithError("the log did not open");
            break;
        }
        QCoreApplication::processEvents();
        QTableView& table = *opened.front()->controls().tblRecords;
        table.viewport()->repaint();
        const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(spent.count());
        if (!table.isVisible()) {
            state.SkipWithError("the table is not shown");
            break;
        }
        delete opened.front();
    }
    quillon::set_message_sink({});
}

// The series window of what was named opened, shown with its map and
// painted, each iteration.
void time_series_window(benchmark::State& state, const std::vector<std::string>& named,
                        const std::string& settings)
{
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        TfrmSeries* series = open_series(named, settings);
        if (series == nullptr) {
            state.SkipWithError("the series did not open");
            break;
        }
        QCoreApplication::processEvents();
        series->repaint();
        const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(spent.count());
        if (!series->Map().isVisible()) {
            state.SkipWithError("the map is not shown");
            break;
        }
        delete series;
    }
}

// The goal: within 1.5 s.
void BM_OpenSeriesOfTenThousandLogsShown(benchmark::State& state)
{
    const auto& files = benchsupport::ten_thousand_files();
    time_series_window(state, {std::filesystem::path(files.front()).parent_path().string()},
                       quillon::settings_file_path());
}

// View > Fields... with a fields file of 20,000 fields (1 MiB): the file
// read, the decoded view with a column a field shown and painted.
void BM_BrowserShowsTwentyThousandFields(benchmark::State& state)
{
    const QString fields = QString::fromStdString(benchsupport::many_fields_file(20000));
    const std::string settings = testsupport::private_root() + "/fields-bench.INI";
    const QString file = write_saved_log();
    for (auto _ : state) {
        TfrmLogBrowser browser(file, quillon::read_log_file(file.toStdString()), settings);
        browser.show();
        QCoreApplication::processEvents();
        const auto start = std::chrono::steady_clock::now();
        if (!browser.ShowFields(fields)) {
            state.SkipWithError("the fields file did not read");
            break;
        }
        QCoreApplication::processEvents();
        browser.controls().tblRecords->viewport()->repaint();
        const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(spent.count());
    }
}

// Four captures in the series window under the same 20,000 fields: the
// map's field columns made, shown and painted.
void BM_SeriesWindowWithTwentyThousandFields(benchmark::State& state)
{
    const std::string fields = benchsupport::many_fields_file(20000);
    const std::string settings = testsupport::private_root() + "/series-fields-bench.INI";
    quillon::write_fields_file_setting(settings, fields);
    const auto& files = benchsupport::ten_thousand_files();
    time_series_window(state, {files.begin(), files.begin() + 4}, settings);
}

// A map of every offset a log can have, 1,000 captures differing in it
// here and there. The goal: within 50 ms.
void BM_MapOfAThousandCapturesRedrawn(benchmark::State& state)
{
    quillon::VariationMap map;
    map.first_offset = -255;
    map.rows = 511;
    map.captures_mapped = 1000;
    map.bytes.resize(std::size_t(map.rows));
    map.fields.assign(std::size_t(map.rows), {});
    std::mt19937 random(1);
    for (auto& row : map.bytes) {
        for (auto& cell : row) {
            cell.differing = int(random() % 1000);
            cell.distinct = 1 + int(random() % 200);
        }
    }
    VariationMapView view;
    view.SetMap(std::move(map));
    view.resize(view.sizeHint());
    view.show();
    QCoreApplication::processEvents();
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        view.repaint();
        const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(spent.count());
    }
}

BENCHMARK(BM_OpenLogToTableShown)->Iterations(20)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_OpenSeriesOfTenThousandLogsShown)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();
BENCHMARK(BM_BrowserShowsTwentyThousandFields)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();
BENCHMARK(BM_SeriesWindowWithTwentyThousandFields)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();
BENCHMARK(BM_MapOfAThousandCapturesRedrawn)
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();

}  // namespace

int main(int argc, char** argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    return benchsupport::run_benchmarks(argc, argv);
}
