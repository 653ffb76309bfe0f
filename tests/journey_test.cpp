// The whole program as a service engineer uses it: ampsim runs as a separate
// process, the program's real windows run offscreen in this one, and every
// file they write is compared byte for byte with the log that ampsim itself
// reports. Once over RS-232 and once over USB, and with faults on the way.
#include "ChildProcess.h"
#include "Configuration.h"
#include "Log.h"
#include "Logwindow.h"
#include "MessageRecorder.h"
#include "Seams.h"
#include "TestEnvironment.h"
#include "ui_Configuration.h"
#include "ui_Log.h"
#include "ui_Logwindow.h"

#include <gtest/gtest.h>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

using namespace std::chrono_literals;
using testsupport::ChildProcess;

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class Journey : public ::testing::Test {
protected:
    Journey() : root(testsupport::private_root())
    {
        std::filesystem::remove_all(root + "/run");
        std::filesystem::create_directories(root + "/run");
        settings_path = root + "/run/quillon.INI";
        documents = QString::fromStdString(root + "/run/Documents");
        quillon::set_documents_folder([this] { return documents; });
        quillon::set_clock([this] { return clock; });
        quillon::set_save_dialog([this](const quillon::SaveRequest& request) {
            proposed_names.push_back(request.proposed);
            return next_save_target;
        });
    }

    ~Journey() override
    {
        windows_down();
        quillon::set_documents_folder({});
        quillon::set_clock({});
        quillon::set_save_dialog({});
        quillon::set_modal_runner({});
    }

    void start_ampsim(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"--seed", "5"});
        ampsim = std::make_unique<ChildProcess>(testsupport::bin_dir() + "/ampsim", args);
        ASSERT_TRUE(ampsim->wait_for_line("serving USB", 5s));
    }

    // The program's three windows, as its entry makes them.
    void windows_up()
    {
        main = std::make_unique<TMainForm>(settings_path);
        ASSERT_TRUE(main->StartUp());
        configuration = std::make_unique<TfrmConfiguration>(*main, main.get());
        main->SetConfigurationDialog(configuration.get());
        log_window = std::make_unique<TfrmLogWindow>(main->Sender());
        main->SetLogWindow(log_window.get());
    }

    void windows_down()
    {
        log_window.reset();
        configuration.reset();
        main.reset();
    }

    // "Setting" > "Configuration": RS232 on COM1 at 9600, or USB.
    void configure(bool usb)
    {
        quillon::set_modal_runner([usb](QDialog& shown) {
            auto& dialog = static_cast<TfrmConfiguration&>(shown);
            dialog.FormShow();
            auto& ui = dialog.controls();
            (usb ? ui.rbUSB : ui.rbRS232)->click();
            ui.cbxComPort->setEditText("COM1");
            ui.cbxBaudrate->setEditText("9600");
            ui.rbAutomatic->click();
            ui.btnComSetOK->click();
            return dialog.result();
        });
        main->controls().mnuConfiguration->trigger();
    }

    // The log as ampsim reports it: 256 records of 64 hexadecimal digits.
    std::vector<std::string> simulator_records()
    {
        const std::string path = root + "/run/ampsim-log.txt";
        ampsim->write_line("write-log " + path);
        EXPECT_TRUE(ampsim->wait_for_line("log written", 5s));
        std::vector<std::string> records;
        std::ifstream in(path);
        for (std::string line; std::getline(in, line);) {
            records.push_back(line);
        }
        EXPECT_EQ(records.size(), 256u);
        return records;
    }

    static std::string hex_list(const std::string& digits, const char* separator_after)
    {
        std::string text;
        for (std::size_t i = 0; i < digits.size(); i += 2) {
            text += digits.substr(i, 2) + separator_after;
        }
        return text;
    }

    std::string date_time() const
    {
        const QLocale locale = QLocale::system();
        return (locale.toString(clock.date(), QLocale::ShortFormat) + " " +
                locale.toString(clock.time(), QLocale::LongFormat))
            .toLocal8Bit()
            .toStdString();
    }

    // The log text file of SAVE LOG and of the automatic save.
    std::string log_text_file(const std::string& condition_line)
    {
        std::string text =
            "#Date and Time  : " + date_time() + "\r\n" + condition_line + "\r\n\r\n";
        for (const auto& record : simulator_records()) {
            std::string received = hex_list(record.substr(0, 32), ",");
            std::string sent = hex_list(record.substr(32), ",");
            received.pop_back();
            sent.pop_back();
            text += "Recv," + received + ", Send," + sent + "\r\n";
        }
        return text;
    }

    // The log view window's own file.
    std::string log_view_file()
    {
        std::string text = "#Date and Time  : " + date_time() + "\r\n\r\n";
        for (const auto& record : simulator_records()) {
            text += "Recv : " + hex_list(record.substr(0, 32), ",") +
                    " Send : " + hex_list(record.substr(32), ",") + "\r\n";
        }
        return text;
    }

    void check_idle_without_messages()
    {
        main->controls().btnStatusCheck->click();
        EXPECT_TRUE(messages.shown().empty());
        EXPECT_EQ(main->controls().edtComStatus->text(), "IDLE");
    }

    // START with the stop condition: the host's parameter count (received
    // byte 0) even, then 5 further records.
    void start_logging_with_condition()
    {
        auto& ui = main->controls();
        ui.cbxStopCondition->click();
        ui.rbnRcvEn->click();
        ui.cbxDataSelect->setEditText(" 0");
        ui.edtMaskData->setText("0x01");
        ui.edtConditionData->setText("0x00");
        ui.edtLogStartCounter->setText("5");
        ui.btnLogStart->click();
        EXPECT_TRUE(messages.shown().empty());
        EXPECT_EQ(ui.btnLogStart->text(), "STOP");
        EXPECT_TRUE(main->ChkTrigDtctTmr.isActive());
    }

    // Ticks the trigger timer until the trigger has been handled.
    void wait_for_trigger()
    {
        const auto until = std::chrono::steady_clock::now() + 20s;
        while (main->ChkTrigDtctTmr.isActive() && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(50ms);
            main->ChkTrigDtctTmrTimer();
        }
        EXPECT_FALSE(main->ChkTrigDtctTmr.isActive());
    }

    std::string autolog_path() const
    {
        return documents.toStdString() + "/Orvitek Corporation/Quillon/Autolog_20261207101530.txt";
    }

    void journey(bool usb)
    {
        start_ampsim({"--traffic", "300"});
        windows_up();
        configure(usb);
        EXPECT_EQ(main->UsbMode, usb ? 1 : 0);
        check_idle_without_messages();

        start_logging_with_condition();
        wait_for_trigger();
        const std::string condition = "#Stop Condition : Recv[0] & 0x01 = 0x00 ,count 5";
        EXPECT_TRUE(messages.shown().empty());
        EXPECT_EQ(read_file(autolog_path()), log_text_file(condition));

        next_save_target = QString::fromStdString(root + "/run/chosen.txt");
        main->controls().btnLogSave->click();
        ASSERT_EQ(messages.shown().size(), 1u);
        EXPECT_EQ(messages.shown()[0].text, "Finish Saving Log.");
        messages.clear();
        EXPECT_EQ(read_file(root + "/run/chosen.txt"), log_text_file(condition));

        main->controls().mnuViewLogData->trigger();
        EXPECT_TRUE(log_window->isVisible());
        log_window->controls().mnuGetLog->trigger();
        EXPECT_TRUE(messages.shown().empty());
        EXPECT_EQ(log_window->controls().lbxLogList->count(), 258);
        next_save_target = QString::fromStdString(root + "/run/view.txt");
        log_window->controls().mnuSaveLog->trigger();
        EXPECT_EQ(read_file(root + "/run/view.txt"), log_view_file());
        EXPECT_EQ(log_window->controls().lbxLogList->count(), 0);

        // Close, and start again: the settings stay.
        main->close();
        windows_down();
        windows_up();
        EXPECT_EQ(main->UsbMode, usb ? 1 : 0);
        EXPECT_EQ(main->ComPort, "COM1");
        check_idle_without_messages();
    }

    std::string root;
    std::string settings_path;
    QString documents;
    QDateTime clock = QDateTime(QDate(2026, 12, 7), QTime(10, 15, 30));
    std::optional<QString> next_save_target;
    std::vector<QString> proposed_names;
    testsupport::MessageRecorder messages;
    std::unique_ptr<ChildProcess> ampsim;
    std::unique_ptr<TMainForm> main;
    std::unique_ptr<TfrmConfiguration> configuration;
    std::unique_ptr<TfrmLogWindow> log_window;
};

TEST_F(Journey, OverRs232)
{
    journey(false);
}

TEST_F(Journey, OverUsb)
{
    journey(true);
}

TEST_F(Journey, ACorruptedChecksumIsCarriedByTheRetry)
{
    start_ampsim({"--traffic", "0"});
    ampsim->write_line("advance 300");
    windows_up();
    configure(false);
    check_idle_without_messages();
    ampsim->write_line("corrupt 1");
    EXPECT_TRUE(ampsim->wait_for_line("serial fault armed", 5s));
    next_save_target = QString::fromStdString(root + "/run/chosen.txt");
    main->controls().btnLogSave->click();
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_EQ(messages.shown()[0].text, "Finish Saving Log.");
    EXPECT_EQ(read_file(root + "/run/chosen.txt"), log_text_file("#Stop Condition : None"));
}

TEST_F(Journey, TheSimulatorVanishingMidReadLeavesNoPartialFile)
{
    // A slow line, so that the read is under way when the simulator dies.
    start_ampsim({"--traffic", "0", "--line-rate", "9600"});
    windows_up();
    configure(false);
    check_idle_without_messages();
    const std::string target = root + "/run/chosen.txt";
    std::ofstream(target, std::ios::binary) << "an earlier log";
    next_save_target = QString::fromStdString(target);
    std::thread killer([this] {
        std::this_thread::sleep_for(1500ms);
        ampsim->signal(SIGKILL);
    });
    main->controls().btnLogSave->click();
    killer.join();
    ASSERT_FALSE(messages.shown().empty());
    EXPECT_EQ(messages.shown().back().text, "Can't talk with Amplifier.");
    EXPECT_EQ(read_file(target), "an earlier log");
    for (const auto& entry : std::filesystem::directory_iterator(root + "/run")) {
        EXPECT_EQ(entry.path().filename().string().find(".chosen.txt"), std::string::npos)
            << "a temporary file was left behind: " << entry.path();
    }
    // The program carries on: the next check reports the silence and ends.
    messages.clear();
    main->controls().btnStatusCheck->click();
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_EQ(messages.shown()[0].text, "Can't talk with Amplifier.");
}

TEST_F(Journey, TheUsbSocketGoingAwayIsReportedAndSurvived)
{
    start_ampsim({"--traffic", "0"});
    ampsim->write_line("advance 300");
    windows_up();
    check_idle_without_messages();
    ampsim->write_line("drop-usb");
    EXPECT_TRUE(ampsim->wait_for_line("USB connections dropped", 5s));
    next_save_target = QString::fromStdString(root + "/run/chosen.txt");
    main->controls().btnLogSave->click();
    ASSERT_FALSE(messages.shown().empty());
    EXPECT_EQ(messages.shown().back().text, "Can't talk with Amplifier.");
    EXPECT_FALSE(std::filesystem::exists(root + "/run/chosen.txt"));

    // Once the socket is back, confirming the configuration reconnects.
    ampsim->write_line("allow-usb");
    EXPECT_TRUE(ampsim->wait_for_line("USB connections accepted", 5s));
    messages.clear();
    configure(true);
    check_idle_without_messages();
}

}  // namespace
