// The series window over 1,000 captures of a week's: a rule added and
// removed, and columns of values at places chosen, each until the window
// (its table and map) is painted again. The goal: within 100 ms each.
// (Opening the window of 10,000 captures is timed in log_browser_bench.)
#include "BenchSupport.h"
#include "CaptureFiles.h"
#include "ComparisonRulesBox.h"
#include "SeriesWindow.h"
#include "TestEnvironment.h"
#include "ValueColumns.h"

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

// The window of the first 1,000 captures, shown, with no rule remembered.
std::unique_ptr<TfrmSeries> thousand_captures_window(const std::string& settings)
{
    std::filesystem::remove(settings);
    const auto& files = benchsupport::ten_thousand_files();
    std::unique_ptr<TfrmSeries> window(
        open_series({files.begin(), files.begin() + 1000}, settings));
    if (window) {
        window->setAttribute(Qt::WA_DeleteOnClose, false);
        QCoreApplication::processEvents();
    }
    return window;
}

// Times change() until the window is painted again, each iteration.
template <typename Change>
void time_redrawn(benchmark::State& state, TfrmSeries& window, Change change)
{
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        change();
        QCoreApplication::processEvents();
        window.repaint();
        const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(spent.count());
    }
}

// Send 3 ignored, then the rule removed again: each a comparison of 1,000
// captures, a new map and table.
void BM_RulesChangedOnAThousandCaptures(benchmark::State& state)
{
    const auto window =
        thousand_captures_window(testsupport::private_root() + "/series-rules-bench.INI");
    if (!window) {
        state.SkipWithError("the series did not open");
        return;
    }
    ComparisonRulesBox& rules = window->RulesBox();
    rules.DirectionBox().setCurrentIndex(1);
    rules.ByteEdit().setText("3");
    rules.MaskEdit().setText("0xFF");
    bool added = false;
    time_redrawn(state, *window, [&] {
        if (added) {
            rules.List().setCurrentRow(0);
            rules.RemoveButton().click();
        } else {
            rules.AddButton().click();
        }
        added = !added;
    });
}

// Four columns of values at places chosen, then one: each capture's
// values read and the table shown again.
void BM_ColumnsChangedOnAThousandCaptures(benchmark::State& state)
{
    const auto window =
        thousand_captures_window(testsupport::private_root() + "/series-columns-bench.INI");
    if (!window) {
        state.SkipWithError("the series did not open");
        return;
    }
    std::vector<quillon::ValueColumn> four;
    for (const char* text : {"send[3]@T-3", "recv[5]@T-2", "send[7]@T-1", "recv[2]@T0"}) {
        four.push_back(*quillon::read_value_column(text).column);
    }
    bool many = false;
    time_redrawn(state, *window, [&] {
        many = !many;
        window->SetValueColumns(many ? four : std::vector(four.begin(), four.begin() + 1));
    });
    if (window->CapturesTable().model()->columnCount() <= TfrmSeries::kColumns) {
        state.SkipWithError("no value column shown");
    }
}

BENCHMARK(BM_RulesChangedOnAThousandCaptures)
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();
BENCHMARK(BM_ColumnsChangedOnAThousandCaptures)
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();

}  // namespace

int main(int argc, char** argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    return benchsupport::run_benchmarks(argc, argv);
}
