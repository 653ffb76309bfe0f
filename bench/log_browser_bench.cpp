// The log browser from "Open" to the table shown: the file read, the window
// built, shown and its table painted, offscreen, for one saved log.
#include "AtomicFile.h"
#include "BenchSupport.h"
#include "LogBrowser.h"
#include "LogText.h"
#include "Messages.h"
#include "TestEnvironment.h"
#include "ui_LogBrowser.h"

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QTableView>

#include <chrono>
#include <cstdlib>

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

BENCHMARK(BM_OpenLogToTableShown)->Iterations(20)->Unit(benchmark::kMillisecond)->UseManualTime();

}  // namespace

int main(int argc, char** argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    return benchsupport::run_benchmarks(argc, argv);
}
