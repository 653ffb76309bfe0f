// The line of an open Linux tty: its settings through termios2, so that any
// rate the driver can make is available, not only the fixed Bnnn table, and
// the driver's low-latency mode. Kept apart from the rest of the backend
// because the kernel's termios2 header cannot meet glibc's <termios.h>.
#pragma once

#include "SerialDevice.h"

#include <optional>
#include <string>

namespace tarnlink {

// Why a write of the line settings failed, for the debug trace.
struct LineError {
    std::string step;    // the call or check that failed
    std::string detail;  // the system's error text, or what the driver did
};

bool read_line(int fd, LineSettings& settings);

// Raw 8-bit line at settings.baud_rate; flow control and modem lines stay as
// the driver has them. The rate is read back: a driver that cannot come
// within 2 % of it fails the write, and the line is left as it was.
std::optional<LineError> write_line(int fd, const LineSettings& settings);

// Asks the driver to pass received bytes on at once instead of holding them
// for its latency timer (16 ms on many USB-serial adapters). True when this
// call switched the mode on; false when the driver has no such mode (a pty),
// refused it, or had it on already.
bool enter_low_latency(int fd);
// Switches the mode off again, for a port whose mode enter_low_latency set.
void leave_low_latency(int fd);

}  // namespace tarnlink
