// "SAVE LOG" end to end, from the click to the file written, and a capture
// series' turn, from the poll that sees the trigger to the re-arming START,
// against the simulated amplifier on a line emulating 115200 bit/s, as a
// ratio to the wire time of a log read's 65 exchanges.
#include "Amplifier.h"
#include "BenchSupport.h"
#include "BlockPeer.h"
#include "Configuration.h"
#include "Log.h"
#include "LogRead.h"
#include "Messages.h"
#include "PtyEndpoint.h"
#include "Seams.h"
#include "TestEnvironment.h"
#include "ui_Log.h"

#include <benchmark/benchmark.h>
#include <QApplication>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

// The simulated amplifier with a whole log, on COM1 at line_rate, and a
// settings file that has the window talk to it there (saving automatically).
struct AmplifierOnCom1 {
    explicit AmplifierOnCom1(unsigned line_rate)
        : amplifier(filled.model), line(1), peer(line, amplifier.serial_responder(), line_rate)
    {
        std::ofstream(settings)
            << "[Form]\r\nUSB MODE=0\r\nComPort=COM1\r\nAUTO SAVE=0\r\nBaudRate=" << line_rate
            << "\r\n";
    }
    testsupport::FilledAmplifier filled;
    ampsim::Amplifier amplifier;
    ampsim::PtyEndpoint line;
    ampsim::BlockPeer peer;
    std::string settings = testsupport::private_root() + "/quillon.INI";
};

void BM_SaveLogAtLineRate(benchmark::State& state)
{
    const auto line_rate = static_cast<unsigned>(state.range(0));
    AmplifierOnCom1 amplifier(line_rate);
    const std::string root = testsupport::private_root();
    const QString target = QString::fromStdString(root + "/saved-log.txt");
    quillon::set_save_dialog([&](const quillon::SaveRequest&) { return target; });
    int failures = 0;
    quillon::set_message_sink([&](const quillon::Message& message) {
        failures += message.icon == quillon::MessageIcon::Error ? 1 : 0;
    });

    TMainForm window(amplifier.settings);
    if (!window.StartUp()) {
        state.SkipWithError("start-up failed");
        return;
    }
    benchsupport::time_log_reads(
        state,
        [&] {
            std::filesystem::remove(target.toStdString());
            window.btnLogSaveClick();
            return failures == 0 && std::filesystem::exists(target.toStdString());
        },
        line_rate);
    quillon::set_save_dialog({});
    quillon::set_message_sink({});
}

// One turn of a series: the trigger's poll, the log read, the automatic save
// and the START that re-arms the log.
void BM_SeriesTurnAtLineRate(benchmark::State& state)
{
    const auto line_rate = static_cast<unsigned>(state.range(0));
    AmplifierOnCom1 amplifier(line_rate);
    const std::string root = testsupport::private_root();
    const QString documents = QString::fromStdString(root + "/series-documents");
    quillon::set_documents_folder([&] { return documents; });
    int failures = 0;
    quillon::set_message_sink([&](const quillon::Message&) { ++failures; });

    TMainForm window(amplifier.settings);
    if (!window.StartUp()) {
        state.SkipWithError("start-up failed");
        return;
    }
    auto& ui = window.controls();
    ui.cbxStopCondition->setChecked(true);
    ui.edtMaskData->setText("0");  // every record meets it
    ui.edtConditionData->setText("0");
    ui.edtLogStartCounter->setText("3");
    ui.cbxDataSelect->setEditText("0");
    ui.cbxRearm->setChecked(true);
    window.btnLogStartClick();
    int turns = 0;
    benchsupport::time_log_reads(
        state,
        [&] {
            amplifier.filled.model.advance(300);  // the trigger fires again
            window.ChkTrigDtctTmrTimer();
            ++turns;
            return failures == 0 && ui.btnLogStart->text() == "STOP" &&
                   ui.lblRearmCount->text().startsWith(QString::number(turns));
        },
        line_rate);
    quillon::set_documents_folder({});
    quillon::set_message_sink({});
}

BENCHMARK(BM_SeriesTurnAtLineRate)
    ->Arg(115200)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK(BM_SaveLogAtLineRate)
    ->Arg(115200)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    return benchsupport::run_benchmarks(argc, argv);
}
