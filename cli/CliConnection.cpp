#include "CliConnection.h"

#include "IntegerText.h"
#include "Interruption.h"
#include "Messages.h"
#include "SettingsLocation.h"
#include "SharedLibrary.h"

#include <QString>

#include <algorithm>
#include <filesystem>

namespace quillon::cli {

namespace {

// quillon's own settings file: the one quillon, beside this tool, uses.
std::string quillon_settings_file_path()
{
    const std::filesystem::path tool = running_program_path();
    return settings_path_of((tool.parent_path() / "quillon").string());
}

// "com3" as "COM3": on the command line the name is read without regard to
// case.
std::string typed_port_name(std::string name)
{
    if (name.size() >= 3 && QString::fromStdString(name.substr(0, 3)).toUpper() == "COM") {
        name.replace(0, 3, "COM");
    }
    return name;
}

}  // namespace

Settings read_stored_settings()
{
    return read_settings(quillon_settings_file_path());
}

Connection::Connection() = default;

Connection::~Connection()
{
    if (usb_) {
        usb_->DisconnectAll();
    }
}

Exit Connection::open(const Options& options, const Settings& settings)
{
    const bool usb = options.usb || (!options.port && settings.usb());
    if (usb) {
        usb_ = std::make_unique<TCommAdapterUSB>();
        if (!usb_->LoadDriver()) {
            show_error("Halvex.DLL is not found.");
            return kNoConnection;
        }
        return usb_->Connect() ? kDone : kNoConnection;
    }
    const std::string port = options.port ? typed_port_name(*options.port) : settings.com_port;
    const std::int32_t baud_rate = options.port
                                       ? (options.baud ? integer_from_text(*options.baud) : 9600)
                                       : settings.baud_rate;
    serial_ = std::make_unique<TCommAdapter>();
    if (!serial_->LoadDriver()) {
        show_error("TARNLINK.DLL is not found.");
        return kNoConnection;
    }
    serial_->SetBaudRate(baud_rate);
    bool opened = false;
    try {
        opened = serial_->OpenPort(port);
    } catch (const ConversionError& error) {
        if (options.port) {
            throw;
        }
        // A port name the user never typed here: say where it comes from.
        show_error(std::string(error.what()) + " (ComPort in " + quillon_settings_file_path() +
                   ")");
        return kUsage;
    }
    if (!opened) {
        show_error("Can't open COM port!");
        return kNoConnection;
    }
    return kDone;
}

AmplifierSend Connection::sender()
{
    return [this](std::uint32_t word, std::span<const std::uint8_t> params,
                  std::span<std::uint8_t> response) { return send(word, params, response); };
}

bool Connection::send(std::uint32_t command_word, std::span<const std::uint8_t> params,
                      std::span<std::uint8_t> response)
{
    if (interrupted()) {
        return false;
    }
    if (usb_) {
        return usb_->SendCommand(command_word, 0, params, response);
    }
    return serial_ && serial_->SendCommand(command_word, params, response);
}

}  // namespace quillon::cli
