#include "WayIn.h"

#include "Messages.h"
#include "PortPath.h"
#include "Wording.h"

namespace quillon {

bool load_serial_library(TCommAdapter& serial)
{
    if (serial.LoadDriver()) {
        return true;
    }
    show_error(QUILLON_TEXT("Message", "TARNLINK.DLL is not found."), serial.LoadFailure());
    return false;
}

bool load_usb_library(TCommAdapterUSB& usb)
{
    if (usb.LoadDriver()) {
        return true;
    }
    show_error(QUILLON_TEXT("Message", "Halvex.DLL is not found."), usb.LoadFailure());
    return false;
}

bool open_way_in(TCommAdapter& serial, TCommAdapterUSB& usb, const WayIn& way)
{
    if (way.usb) {
        return usb.Connect();
    }
    if (serial.OpenPort(way.com_port)) {
        return true;
    }
    show_error(QUILLON_TEXT("Message", "Can't open COM port!"),
               tarnlink::explain_port_failure(port_number(way.com_port)));
    return false;
}

bool send_through(TCommAdapter& serial, TCommAdapterUSB& usb, bool usb_mode,
                  std::uint32_t command_word, std::span<const std::uint8_t> params,
                  std::span<std::uint8_t> response)
{
    if (usb_mode) {
        return usb.SendCommand(command_word, 0, params, response);
    }
    return serial.SendCommand(command_word, params, response);
}

}  // namespace quillon
