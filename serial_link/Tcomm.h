// The port object: the one serial port that the library owns.
#pragma once

#include "SerialDevice.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace tarnlink {

inline constexpr int kPortCount = 16;
inline constexpr std::uint32_t kReceiveQueueSize = 2048;
inline constexpr std::uint32_t kTransmitQueueSize = 512;

// How one byte-level transfer ended.
enum class Io {
    Ok,        // everything asked for was moved
    Failed,    // time-out, short transfer, or no port to use
    LinkLost,  // the device went away; waiting longer cannot help
};

class TComm {
public:
    TComm();
    virtual ~TComm();

    bool Open(int port_number);
    bool Close();
    bool SetBaudRate(int baud_rate);
    bool SetTimeouts(int interval_100ms, int total_seconds);
    bool SetTimeout1(int interval_100ms);
    bool SetTimeout2(int total_seconds);

    void Purge();
    Io WriteBlock(std::span<const std::uint8_t> bytes);
    Io ReadBlock(std::span<std::uint8_t> dest);
    Io WriteByte(std::uint8_t byte);
    Io ReadByte(std::uint8_t& byte);
    // Lets the last written byte leave the output queue before an exchange
    // returns, so that the next exchange's purge cannot swallow it.
    void Drain();

    bool is_open() const { return device_ != nullptr; }
    const std::string& port_name() const { return port_name_; }
    const Timeouts& stored_timeouts() const { return timeouts_; }

private:
    // What the last open left: None before any open (Close has nothing to
    // do), Invalid after a refused open (the baud rate and time-out setters
    // refuse), Valid after an open that succeeded (the device may be closed
    // since).
    enum class Handle { None, Invalid, Valid };

    bool apply_timeouts(const Timeouts& set);

    std::string port_name_ = "COM1";
    Handle handle_ = Handle::None;
    std::unique_ptr<SerialDevice> device_;
    LineSettings line_settings_;
    Timeouts timeouts_{500, 0, 5000, 0, 0};
};

// The library's one port object.
TComm& port();
// Replaces it with a fresh one; the old one closes its port.
TComm& replace_port();

}  // namespace tarnlink
