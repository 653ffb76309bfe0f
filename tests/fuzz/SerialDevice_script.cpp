// In-memory backend of the serial device for the fuzz targets: reads come
// from the scripted peer bytes, writes are only recorded. Nothing waits, so
// a time-out costs nothing.
#include "SerialDevice.h"

#include "ScriptedLine.h"

#include <algorithm>
#include <utility>

namespace tarnlink {

namespace fuzz {

ScriptedLine& scripted_line()
{
    static ScriptedLine line;
    return line;
}

namespace {

// Every call after a hang-up is counted, so a target can tell whether the
// library kept talking to a device that had gone away.
ScriptedLine& line_for_call()
{
    auto& line = scripted_line();
    if (line.hung_up) {
        ++line.calls_after_hang_up;
    }
    return line;
}

// A real driver may store into any part of dest, so the whole span has to be
// the caller's memory. Loading every byte lets AddressSanitizer see a span
// that reaches past the caller's buffer even when the script has fewer bytes
// left than were asked for.
void touch_all(std::span<const std::uint8_t> bytes)
{
    for (const auto& byte : bytes) {
        [[maybe_unused]] const std::uint8_t seen =
            *static_cast<const volatile std::uint8_t*>(&byte);
    }
}

}  // namespace

}  // namespace fuzz

struct SerialDevice::Impl {
    LineSettings settings;
};

SerialDevice::SerialDevice(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
SerialDevice::~SerialDevice() = default;

std::unique_ptr<SerialDevice> SerialDevice::open(const std::string& port_name)
{
    if (port_name != "COM1") {
        return nullptr;
    }
    return std::unique_ptr<SerialDevice>(new SerialDevice(std::make_unique<Impl>()));
}

bool SerialDevice::read_line_settings(LineSettings& settings) const
{
    fuzz::line_for_call();
    settings = impl_->settings;
    return true;
}

bool SerialDevice::write_line_settings(const LineSettings& settings)
{
    fuzz::line_for_call();
    impl_->settings = settings;
    return true;
}

bool SerialDevice::set_queue_sizes(std::uint32_t, std::uint32_t)
{
    fuzz::line_for_call();
    return true;
}

bool SerialDevice::set_timeouts(const Timeouts&)
{
    fuzz::line_for_call();
    return true;
}

void SerialDevice::purge()
{
    // Only counted: the script is what the peer sends after the purge.
    ++fuzz::line_for_call().purge_calls;
}

Transfer SerialDevice::read(std::span<std::uint8_t> dest)
{
    auto& line = fuzz::line_for_call();
    ++line.read_calls;
    fuzz::touch_all(dest);
    const auto left = line.peer.subspan(line.handed_out);
    Transfer done;
    done.count = std::min(dest.size(), left.size());
    std::copy_n(left.begin(), done.count, dest.begin());
    const auto handed = left.first(done.count);
    line.calls.push_back({false, {handed.begin(), handed.end()}});
    line.handed_out += done.count;
    if (done.count < dest.size() && line.hang_up_when_dry) {
        done.link_lost = true;
        line.hung_up = true;
    }
    return done;
}

Transfer SerialDevice::write(std::span<const std::uint8_t> src)
{
    auto& line = fuzz::line_for_call();
    ++line.write_calls;
    line.bytes_written += src.size();
    line.calls.push_back({true, {src.begin(), src.end()}});
    return Transfer{src.size(), false};
}

bool SerialDevice::drain()
{
    ++fuzz::line_for_call().drain_calls;
    return true;
}

}  // namespace tarnlink
