#include "CliConnection.h"

#include "IntegerText.h"
#include "Interruption.h"
#include "Messages.h"
#include "PortPath.h"
#include "SettingsLocation.h"
#include "SharedLibrary.h"
#include "WayIn.h"

#include <QString>

#include <algorithm>
#include <filesystem>

namespace quillon::cli {

std::string quillon_settings_file_path()
{
    const std::filesystem::path tool = running_program_path();
    return settings_path_of((tool.parent_path() / "quillon").string());
}

std::optional<std::string> typed_port_name(const std::string& typed)
{
    std::string name = typed;
    if (name.size() >= 3 && QString::fromStdString(name.substr(0, 3)).toUpper() == "COM") {
        name.replace(0, 3, "COM");
    }
    if (!tarnlink::port_number_of(name)) {
        return std::nullopt;
    }
    return name;
}

Settings read_stored_settings()
{
    return read_settings(quillon_settings_file_path());
}

Connection::Connection() = default;

Connection::~Connection()
{
    usb_.DisconnectAll();
}

Exit Connection::open(const Options& options, const Settings& settings)
{
    usb_mode_ = options.usb || (!options.port && settings.usb());
    if (usb_mode_) {
        if (!load_usb_library(usb_)) {
            return kNoConnection;
        }
        way_ = WayIn{true};
        return open_way_in(serial_, usb_, *way_) ? kDone : kNoConnection;
    }
    const std::string port = options.port.value_or(settings.com_port);
    const std::int32_t baud_rate = options.port
                                       ? (options.baud ? integer_from_text(*options.baud) : 9600)
                                       : settings.baud_rate;
    if (!load_serial_library(serial_)) {
        return kNoConnection;
    }
    serial_.SetBaudRate(baud_rate);
    try {
        way_ = WayIn{false, port};
        return open_way_in(serial_, usb_, *way_) ? kDone : kNoConnection;
    } catch (const ConversionError& error) {
        if (options.port) {
            throw;
        }
        // A port name the user never typed here: say where it comes from.
        show_error(std::string(error.what()) + " (ComPort in " + quillon_settings_file_path() +
                   ")");
        return kUsage;
    }
}

bool Connection::reopen()
{
    if (!way_) {
        return false;
    }
    if (usb_mode_) {
        usb_.DisconnectAll();
    }
    return open_way_in(serial_, usb_, *way_);
}

AmplifierSend Connection::sender()
{
    return [this](std::uint32_t word, std::span<const std::uint8_t> params,
                  std::span<std::uint8_t> response) {
        // Refused once interrupted, so that a read ends between two exchanges.
        return !interrupted() && send_through(serial_, usb_, usb_mode_, word, params, response);
    };
}

}  // namespace quillon::cli
