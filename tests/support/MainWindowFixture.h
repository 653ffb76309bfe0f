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
#include "PortPath.h"
#include "PtyEndpoint.h"
#include "Seams.h"
#include "TestEnvironment.h"
#include "UniqueFd.h"
#include "UsbEndpoint.h"
#include "ui_Log.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <ostream>
#include <string>

// So that a failed comparison of control texts prints the texts.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

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
        for (int port = 2; port <= 16; ++port) {
            publish_dead_port(port);
        }
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

    // Publishes COMn as a link to a file that is no terminal, so that opening
    // it fails. A port without a link falls back to /dev/ttySn-1, a real
    // device of this machine that no test may open: the constructor does
    // this for COM2..COM16. An endpoint refuses a port that has a link, so
    // free_port() comes first.
    static void publish_dead_port(int port)
    {
        namespace fs = std::filesystem;
        const std::string target = private_root() + "/not-a-terminal";
        std::ofstream(target, std::ios::app).flush();
        const std::string link = tarnlink::port_link_path(port);
        std::error_code ignored;
        fs::create_directories(fs::path(link).parent_path(), ignored);
        fs::remove(link, ignored);
        fs::create_symlink(target, link);
    }

    static void free_port(int port) { std::filesystem::remove(tarnlink::port_link_path(port)); }

    // Whether some open file description holds the lock that the serial link
    // library takes on an open port (a second open in this process meets it
    // just as another program would).
    static bool port_is_held(const std::string& device)
    {
        const common::UniqueFd fd(
            ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
        if (!fd.valid()) {
            return true;
        }
        const bool held = ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0;
        if (!held) {
            ::flock(fd.get(), LOCK_UN);
        }
        return held;
    }

    // Serves USB with handler instead of the model (before the window starts
    // up: connections to the old endpoint die with it).
    void serve_usb_with(ampsim::UsbCommandHandler handler)
    {
        usb.reset();
        usb = std::make_unique<ampsim::UsbEndpoint>(std::move(handler));
    }

    // The main window and configuration dialog as the program entry makes
    // them; false when start-up ended the program. before_start_up runs on
    // the built window ahead of StartUp().
    bool start(const std::function<void(TMainForm&)>& before_start_up = {})
    {
        dialog.reset();
        window = std::make_unique<TMainForm>(settings_path);
        if (before_start_up) {
            before_start_up(*window);
        }
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

    // Runs "Setting" > "Configuration" as a user would: the dialog is shown
    // (which loads the settings into it, as the modal loop would), then
    // script edits it and presses its buttons.
    void configure_with(std::function<void(TfrmConfiguration&)> script)
    {
        answer_dialogs_with([script = std::move(script)](QDialog& shown) {
            auto& configuration = static_cast<TfrmConfiguration&>(shown);
            configuration.show();
            script(configuration);
            configuration.hide();
        });
        window->controls().mnuConfiguration->trigger();
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
