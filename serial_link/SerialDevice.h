// The platform seam of Tarnlink: everything the port object needs from the
// operating system's serial driver, and nothing more. Each platform provides
// one implementation file; CMake picks it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace tarnlink {

// The six line settings that the library owns. Everything else the driver
// has (hardware flow control, modem lines, special characters) is left alone.
struct LineSettings {
    std::uint32_t baud_rate = 9600;
    bool binary_mode = true;
    bool parity_checking = false;
    std::uint8_t data_bits = 8;
    std::uint8_t parity = 0;     // 0 = none, 1 = odd, 2 = even
    std::uint8_t stop_bits = 0;  // 0 = one, 2 = two
};

// The serial time-out record, in milliseconds.
struct Timeouts {
    std::uint32_t read_interval = 0;
    std::uint32_t read_total_multiplier = 0;
    std::uint32_t read_total_constant = 0;
    std::uint32_t write_total_multiplier = 0;
    std::uint32_t write_total_constant = 0;
};

// How a read or write ended.
struct Transfer {
    std::size_t count = 0;   // bytes moved
    bool link_lost = false;  // the device went away (hang-up, I/O error)
};

class SerialDevice {
public:
    // Opens the device that stands for a port name such as "COM3": for reading
    // and writing, exclusively, only if it exists. Null when it cannot.
    static std::unique_ptr<SerialDevice> open(const std::string& port_name);

    ~SerialDevice();
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;

    bool read_line_settings(LineSettings& settings) const;
    bool write_line_settings(const LineSettings& settings);
    bool set_queue_sizes(std::uint32_t receive, std::uint32_t transmit);
    bool set_timeouts(const Timeouts& timeouts);
    // Discards pending input and output.
    void purge();
    // Reads up to dest.size() bytes under the time-outs in force: returns as
    // soon as all have arrived, or when a time-out runs out with fewer.
    Transfer read(std::span<std::uint8_t> dest);
    // Writes all of src, or fails once the write deadline has passed.
    Transfer write(std::span<const std::uint8_t> src);
    // Waits until the written bytes have left the output queue, bounded by
    // the write deadline.
    bool drain();

    struct Impl;

private:
    explicit SerialDevice(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace tarnlink
