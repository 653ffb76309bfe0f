// The port object and the library's port-control exports.
#include "Tcomm.h"

#include "tarnlink.h"

#include <limits>
#include <optional>

namespace tarnlink {

namespace {

constexpr int kDllVersion = 0x1000;

// A count of units (100 ms, 1 s) as milliseconds; nothing for a negative
// count or one that does not fit the 32-bit record.
std::optional<std::uint32_t> to_milliseconds(int count, std::uint32_t unit)
{
    if (count < 0) {
        return std::nullopt;
    }
    const std::uint64_t ms = std::uint64_t(count) * unit;
    if (ms > std::numeric_limits<std::uint32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(ms);
}

Io io_result(const Transfer& transfer, std::size_t wanted)
{
    if (transfer.link_lost) {
        return Io::LinkLost;
    }
    return transfer.count == wanted ? Io::Ok : Io::Failed;
}

std::unique_ptr<TComm>& port_slot()
{
    // Made when the library is loaded, so it is there before any export runs.
    static std::unique_ptr<TComm> slot = std::make_unique<TComm>();
    return slot;
}
[[maybe_unused]] const bool port_made_at_load = (port_slot(), true);

}  // namespace

TComm& port()
{
    return *port_slot();
}

TComm& replace_port()
{
    auto& slot = port_slot();
    slot.reset();  // closes the port the old object held
    slot = std::make_unique<TComm>();
    return *slot;
}

TComm::TComm() = default;
TComm::~TComm() = default;

bool TComm::Open(int port_number)
{
    if (is_open()) {
        return false;
    }
    if (port_number < 1 || port_number > kPortCount) {
        handle_ = Handle::Invalid;
        return false;
    }
    const std::string name = "COM" + std::to_string(port_number);
    device_ = SerialDevice::open(name);
    if (!device_) {
        handle_ = Handle::Invalid;
        return false;
    }
    handle_ = Handle::Valid;
    port_name_ = name;

    // Only the six line settings the library owns change; flow control and
    // the rest stay as the driver has them. These results are not looked at.
    LineSettings scratch;
    device_->read_line_settings(scratch);
    scratch.baud_rate = line_settings_.baud_rate;
    scratch.binary_mode = line_settings_.binary_mode;
    scratch.parity_checking = line_settings_.parity_checking;
    scratch.data_bits = line_settings_.data_bits;
    scratch.parity = line_settings_.parity;
    scratch.stop_bits = line_settings_.stop_bits;
    device_->write_line_settings(scratch);
    device_->set_queue_sizes(kReceiveQueueSize, kTransmitQueueSize);
    device_->purge();
    device_->set_timeouts(timeouts_);
    return true;
}

bool TComm::Close()
{
    if (handle_ == Handle::None) {
        return true;
    }
    if (!is_open()) {
        return false;
    }
    device_.reset();
    return true;
}

bool TComm::SetBaudRate(int baud_rate)
{
    if (handle_ == Handle::Invalid || !is_open()) {
        return false;
    }
    if (!device_->read_line_settings(line_settings_)) {
        return false;
    }
    // A negative rate wraps to one that no line runs at, so the write fails.
    line_settings_.baud_rate = static_cast<std::uint32_t>(baud_rate);
    line_settings_.binary_mode = true;
    line_settings_.parity_checking = false;
    line_settings_.data_bits = 8;
    line_settings_.parity = 0;
    line_settings_.stop_bits = 0;
    return device_->write_line_settings(line_settings_);
}

bool TComm::apply_timeouts(const Timeouts& set)
{
    return is_open() && device_->set_timeouts(set);
}

bool TComm::SetTimeouts(int interval_100ms, int total_seconds)
{
    const auto interval = to_milliseconds(interval_100ms, 100);
    const auto total = to_milliseconds(total_seconds, 1000);
    if (!interval || !total) {
        return false;
    }
    Timeouts copy = timeouts_;
    copy.read_interval = *interval;
    copy.read_total_constant = *total;
    if (!apply_timeouts(copy)) {
        return false;
    }
    timeouts_ = copy;
    return true;
}

bool TComm::SetTimeout1(int interval_100ms)
{
    const auto interval = to_milliseconds(interval_100ms, 100);
    if (handle_ == Handle::Invalid || !interval) {
        return false;
    }
    Timeouts set;
    set.read_interval = *interval;
    return apply_timeouts(set);
}

bool TComm::SetTimeout2(int total_seconds)
{
    const auto total = to_milliseconds(total_seconds, 1000);
    if (handle_ == Handle::Invalid || !total) {
        return false;
    }
    Timeouts set;
    set.read_total_constant = *total;
    return apply_timeouts(set);
}

void TComm::Purge()
{
    if (is_open()) {
        device_->purge();
    }
}

Io TComm::WriteBlock(std::span<const std::uint8_t> bytes)
{
    if (!is_open()) {
        return Io::Failed;
    }
    return io_result(device_->write(bytes), bytes.size());
}

Io TComm::ReadBlock(std::span<std::uint8_t> dest)
{
    if (!is_open()) {
        return Io::Failed;
    }
    return io_result(device_->read(dest), dest.size());
}

Io TComm::WriteByte(std::uint8_t byte)
{
    return WriteBlock(std::span<const std::uint8_t>(&byte, 1));
}

Io TComm::ReadByte(std::uint8_t& byte)
{
    return ReadBlock(std::span<std::uint8_t>(&byte, 1));
}

void TComm::Drain()
{
    if (is_open()) {
        device_->drain();
    }
}

}  // namespace tarnlink

using tarnlink::port;

extern "C" {

int dfGetDllVersion(void)
{
    return tarnlink::kDllVersion;
}

int dfComSetBaudRate(int baud_rate)
{
    return port().SetBaudRate(baud_rate) ? 0 : 1;
}

int dfComSetTimeout1(int interval_100ms)
{
    return port().SetTimeout1(interval_100ms) ? 0 : 1;
}

int dfComSetTimeout2(int total_seconds)
{
    return port().SetTimeout2(total_seconds) ? 0 : 1;
}

int dfComSetReady(int baud_rate, int port_number)
{
    if (!port().Open(port_number)) {
        return 1;
    }
    if (dfComSetBaudRate(baud_rate) != 0) {
        return 1;
    }
    // The interval is set and then cleared again by the total time-out: what
    // remains is a plain 2 s limit on every read.
    if (dfComSetTimeout1(5) != 0) {
        return 1;
    }
    if (dfComSetTimeout2(2) != 0) {
        return 1;
    }
    return 0;
}

int dfComSetClose(void)
{
    port().Close();
    return 0;
}

bool _PortInitial(const char* /*port_name: port 1 is always the one opened*/, int baud_rate,
                  int interval_100ms, int total_seconds)
{
    auto& fresh = tarnlink::replace_port();
    if (!fresh.Open(1)) {
        return false;
    }
    fresh.SetBaudRate(baud_rate);
    fresh.SetTimeouts(interval_100ms, total_seconds);
    return true;
}

bool _PortClose(void)
{
    return port().Close();
}

bool _SetBaudRate(int baud_rate)
{
    return port().SetBaudRate(baud_rate);
}

bool _SetTimeouts(int interval_100ms, int total_seconds)
{
    return port().SetTimeouts(interval_100ms, total_seconds);
}

}  // extern "C"
