// The program's windows against the simulated amplifier in this process:
// one model served over a pseudo-terminal as COM1 and over the USB socket,
// a settings file of the test's own, message boxes recorded, and modal
// dialogs answered by the test.
#pragma once

#include "Amplifier.h"
#include "AmplifierModel.h"
#include "BlockPeer.h"
#include "Configuration.h"
#include "Log.h"
#include "MessageRecorder.h"
#include "PtyEndpoint.h"
#include "Seams.h"
#include "TestEnvironment.h"
#include "UsbEndpoint.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

namespace testsupport {

class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest()
        : model(std::make_unique<ampsim::AmplifierModel>(ampsim::ModelOptions{.traffic_rate = 0})),
          amplifier(std::make_unique<ampsim::Amplifier>(*model)),
          line(std::make_unique<ampsim::PtyEndpoint>(1)),
          peer(std::make_unique<ampsim::BlockPeer>(*line, amplifier->serial_responder())),
          usb(std::make_unique<ampsim::UsbEndpoint>(amplifier->usb_handler())),
          settings_path(private_root() + "/quillon.INI")
    {
        std::filesystem::remove(settings_path);
    }

    ~MainWindowTest() override { quillon::set_modal_runner({}); }

    // Replaces the amplifier model (before the window starts up).
    void use_model(ampsim::ModelOptions options)
    {
        options.traffic_rate = 0;
        peer.reset();
        usb.reset();
        model = std::make_unique<ampsim::AmplifierModel>(options);
        amplifier = std::make_unique<ampsim::Amplifier>(*model);
        peer = std::make_unique<ampsim::BlockPeer>(*line, amplifier->serial_responder());
        usb = std::make_unique<ampsim::UsbEndpoint>(amplifier->usb_handler());
    }

    void write_settings(const std::string& text)
    {
        std::ofstream(settings_path, std::ios::binary) << text;
    }

    std::string settings_text() const
    {
        std::ifstream in(settings_path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    // The main window and configuration dialog as the program entry makes
    // them; false when start-up ended the program.
    bool start()
    {
        window = std::make_unique<TMainForm>(settings_path);
        if (!window->StartUp()) {
            return false;
        }
        dialog = std::make_unique<TfrmConfiguration>(*window, window.get());
        window->SetConfigurationDialog(dialog.get());
        return true;
    }

    // The next modal dialog runs script (which presses its buttons) instead
    // of a modal loop, and returns the dialog's result.
    void answer_dialogs_with(std::function<void(QDialog&)> script)
    {
        quillon::set_modal_runner([script = std::move(script)](QDialog& shown) {
            shown.setResult(QDialog::Rejected);
            script(shown);
            return shown.result();
        });
    }

    MessageRecorder messages;
    std::unique_ptr<ampsim::AmplifierModel> model;
    std::unique_ptr<ampsim::Amplifier> amplifier;
    std::unique_ptr<ampsim::PtyEndpoint> line;
    std::unique_ptr<ampsim::BlockPeer> peer;
    std::unique_ptr<ampsim::UsbEndpoint> usb;
    std::string settings_path;
    std::unique_ptr<TMainForm> window;
    std::unique_ptr<TfrmConfiguration> dialog;
};

}  // namespace testsupport
