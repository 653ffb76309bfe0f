// The way to the amplifier, opened once for both front-ends: the link
// libraries loaded with their messages, the connection that the settings or
// the command line name opened with the adapters' calls and messages, and
// the exchanges sent through the adapter it selects.
#pragma once

#include "AmplifierQueries.h"
#include "Commands.h"

#include <string>

namespace quillon {

struct WayIn {
    bool usb = true;
    std::string com_port = "COM1";  // RS-232 only
};

// LoadDriver; when it fails, "TARNLINK.DLL is not found." / "Halvex.DLL is
// not found." with the loader's reason as its details.
bool load_serial_library(TCommAdapter& serial);
bool load_usb_library(TCommAdapterUSB& usb);

// Opens the connection way names on an adapter whose library is loaded: over
// USB a new connection (the adapter shows its own message when it fails);
// over RS-232 the port at the baud rate set before, "Can't open COM port!"
// with why when it does not open. A port name that is no number throws
// ConversionError.
bool open_way_in(TCommAdapter& serial, TCommAdapterUSB& usb, const WayIn& way);

// One exchange through the adapter that usb selects (the USB adapter with
// address byte 0).
bool send_through(TCommAdapter& serial, TCommAdapterUSB& usb, bool usb_mode,
                  std::uint32_t command_word, std::span<const std::uint8_t> params,
                  std::span<std::uint8_t> response);

}  // namespace quillon
