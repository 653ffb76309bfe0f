// quillon-cli's way to the amplifier: the adapter the command line or, when
// it names none, quillon's settings file chooses, opened as the main window
// opens it, with the same messages.
#pragma once

#include "AmplifierQueries.h"
#include "CommandLine.h"
#include "Commands.h"
#include "Settings.h"
#include "WayIn.h"

#include <optional>
#include <string>

namespace quillon::cli {

// quillon's own settings file: the one quillon, beside this tool, uses.
std::string quillon_settings_file_path();

// What quillon's settings file says (read only: the tool never writes it).
Settings read_stored_settings();

// A port typed on the command line as "COM1" .. "COM16", "com" read without
// regard to case; nothing for any other spelling ("COM 1", "COM01", "COM17").
std::optional<std::string> typed_port_name(const std::string& typed);

class Connection {
public:
    Connection();
    ~Connection();  // closes the port or the USB connection
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Loads the library and opens the way in. Not kDone: the reason has been
    // shown. A port name or baud rate that is no number throws
    // ConversionError.
    Exit open(const Options& options, const Settings& settings);
    // Opens the way in that open opened once more, after it was lost (the
    // device gone, the amplifier restarted): the old port or USB connection
    // closed first. False when it does not open (the reason shown).
    bool reopen();
    // Whether reopen can try: open got as far as the way in (its library
    // loaded, the port's name good).
    bool can_reopen() const { return way_.has_value(); }

    // Sends through the opened adapter; refuses once Ctrl-C was pressed, so
    // that an interrupted read ends between two exchanges.
    AmplifierSend sender();

    bool usb_mode() const { return usb_mode_; }

private:
    TCommAdapter serial_;
    TCommAdapterUSB usb_;
    bool usb_mode_ = false;
    std::optional<WayIn> way_;  // once open has opened it
};

}  // namespace quillon::cli
