// The library's only output: with TARNLINK_DEBUG set (to anything but "0" or
// nothing) in the environment, one line on standard error for each step that
// failed, so that a user can tell a missing device from a busy or forbidden
// one. Without it the library writes nothing.
#pragma once

#include <string_view>

namespace tarnlink {

// "tarnlink: COM3: open /dev/ttyUSB0: Permission denied"
void trace_failure(std::string_view port_name, std::string_view step, std::string_view detail);

}  // namespace tarnlink
