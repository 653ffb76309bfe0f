// Linux backend of the serial device: the port lookup, an exclusive open,
// poll() with a deadline for every wait. The line itself is LineControl's.
#include "SerialDevice.h"

#include "LineControl.h"
#include "PortPath.h"
#include "Trace.h"
#include "UniqueFd.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <cstring>

#include <algorithm>
#include <optional>
#include <utility>

namespace tarnlink {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A write needs some bound even when the caller set no time-out at all: a
// line held off by hardware flow control must not stop the caller for good.
constexpr milliseconds kFallbackWriteBound{2000};

// Waits for an event on fd until the deadline. Returns the events seen, 0 when
// the deadline passed first.
short wait_for(int fd, short events, Clock::time_point deadline)
{
    const bool unbounded = deadline == Clock::time_point::max();
    for (;;) {
        timespec limit{};
        if (!unbounded) {
            const auto now = Clock::now();
            if (now >= deadline) {
                return 0;
            }
            const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - now);
            limit = {static_cast<time_t>(left.count() / 1'000'000'000),
                     static_cast<long>(left.count() % 1'000'000'000)};
        }
        pollfd entry{fd, events, 0};
        const int ready = ::ppoll(&entry, 1, unbounded ? nullptr : &limit, nullptr);
        if (ready > 0) {
            return entry.revents;
        }
        if (ready < 0 && errno != EINTR) {
            return POLLERR;
        }
    }
}

bool is_link_error(int error)
{
    return error != EAGAIN && error != EWOULDBLOCK && error != EINTR;
}

// The wire time of count bytes at rate bit/s (10 bits a byte), plus one ms.
milliseconds wire_time(int count, std::uint32_t rate)
{
    return milliseconds(1 + std::int64_t{count} * 10 * 1000 / (rate > 0 ? rate : 9600));
}

// Why open() failed, in words that point a user at the cure.
std::string open_failure(int error, const PortEntry& entry)
{
    std::string text = std::strerror(error);
    if (error == ENOENT && !entry.link_target.empty()) {
        text += " (the link points to " + entry.link_target + ", which is not there)";
    } else if (error == EACCES) {
        text += " (is the user in the dialout group?)";
    } else if (error == EBUSY) {
        text += " (held by another program)";
    }
    return text;
}

}  // namespace

struct SerialDevice::Impl {
    explicit Impl(common::UniqueFd opened) : device(std::move(opened)) {}

    int fd() const { return device.get(); }

    // Closed after the destructor's body, so last of all.
    const common::UniqueFd device;
    std::string port_name;
    Timeouts timeouts{};
    bool low_latency_set = false;

    ~Impl()
    {
        discard_unsent_output();
        if (low_latency_set) {
            leave_low_latency(fd());
        }
        // On a pseudo-terminal the exclusive flag outlives the close and
        // would lock ordinary users out of the next open.
        ::ioctl(fd(), TIOCNXCL);
    }

    std::uint32_t line_rate() const
    {
        LineSettings line;
        return read_line(fd(), line) ? line.baud_rate : 0;
    }

    int queued_output() const
    {
        int queued = 0;
        return ::ioctl(fd(), TIOCOUTQ, &queued) == 0 ? queued : -1;
    }

    // Waits until the output queue is empty or the deadline has passed. The
    // tty layer has no event for "output queue empty", so it waits for the
    // time the queued bytes need on the wire, then looks again.
    bool wait_for_empty_output(Clock::time_point deadline) const
    {
        const std::uint32_t rate = line_rate();
        for (;;) {
            const int queued = queued_output();
            if (queued <= 0) {
                return queued == 0;
            }
            const auto now = Clock::now();
            if (now >= deadline) {
                return false;
            }
            const auto wait = std::min(std::chrono::duration_cast<milliseconds>(deadline - now),
                                       wire_time(queued, rate));
            ::poll(nullptr, 0, static_cast<int>(wait.count()));
        }
    }

    // Linux's close() of a tty waits up to the driver's closing time (30 s by
    // default) for queued output, which a line held off by flow control never
    // sends. What can leave in its own wire time is let go (the last ACK of
    // an exchange, say); what is still there then is thrown away.
    void discard_unsent_output() const
    {
        const int queued = queued_output();
        if (queued <= 0) {
            return;
        }
        wait_for_empty_output(Clock::now() + 2 * wire_time(queued, line_rate()));
        ::tcflush(fd(), TCOFLUSH);
    }

    std::optional<Clock::time_point> read_deadline(std::size_t count, Clock::time_point start) const
    {
        const std::uint64_t total =
            std::uint64_t{timeouts.read_total_multiplier} * count + timeouts.read_total_constant;
        if (timeouts.read_total_multiplier == 0 && timeouts.read_total_constant == 0) {
            return std::nullopt;
        }
        return start + milliseconds(total);
    }

    Clock::time_point write_deadline(std::size_t count, Clock::time_point start) const
    {
        std::uint64_t bound =
            std::uint64_t{timeouts.write_total_multiplier} * count + timeouts.write_total_constant;
        if (bound == 0) {
            bound = std::uint64_t{timeouts.read_total_multiplier} * count +
                    timeouts.read_total_constant;
        }
        return start + (bound == 0 ? kFallbackWriteBound : milliseconds(bound));
    }
};

SerialDevice::SerialDevice(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
SerialDevice::~SerialDevice() = default;

std::unique_ptr<SerialDevice> SerialDevice::open(const std::string& port_name)
{
    const auto number = port_number_of(port_name);
    if (!number) {
        trace_failure(port_name, "port name", "not one of COM1 to COM16");
        return nullptr;
    }
    const PortEntry entry = find_port(*number);
    const std::string& path = entry.path;
    // Non-blocking so that opening a real port never waits for carrier, and
    // so that every later wait is ours, with its own deadline.
    common::UniqueFd device(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!device.valid()) {
        trace_failure(port_name, "open " + path, open_failure(errno, entry));
        return nullptr;
    }
    const int fd = device.get();
    // The flock keeps out a second opener even when it runs as root, which
    // ignores TIOCEXCL; TIOCEXCL keeps out programs that do not flock. A
    // refusal closes the device on the way out.
    const auto refuse = [&](const std::string& step, const std::string& detail) {
        trace_failure(port_name, step + " " + path, detail);
        return nullptr;
    };
    if (!::isatty(fd)) {
        return refuse("isatty", "not a terminal");
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        return refuse("flock", std::string(std::strerror(errno)) + " (held by another program)");
    }
    if (::ioctl(fd, TIOCEXCL) != 0) {
        return refuse("TIOCEXCL", std::strerror(errno));
    }
    auto impl = std::make_unique<Impl>(std::move(device));
    impl->port_name = port_name;
    // A USB-serial adapter otherwise holds each short reply for its latency
    // timer; a driver without the mode is fine as it is.
    impl->low_latency_set = enter_low_latency(fd);
    return std::unique_ptr<SerialDevice>(new SerialDevice(std::move(impl)));
}

bool SerialDevice::read_line_settings(LineSettings& settings) const
{
    return read_line(impl_->fd(), settings);
}

bool SerialDevice::write_line_settings(const LineSettings& settings)
{
    const auto error = write_line(impl_->fd(), settings);
    if (error) {
        trace_failure(impl_->port_name, error->step, error->detail);
    }
    return !error;
}

bool SerialDevice::set_queue_sizes(std::uint32_t, std::uint32_t)
{
    return true;  // the tty layer sizes its own queues
}

bool SerialDevice::set_timeouts(const Timeouts& timeouts)
{
    impl_->timeouts = timeouts;
    return true;
}

void SerialDevice::purge()
{
    ::tcflush(impl_->fd(), TCIFLUSH);
    // Output is flushed only while bytes still wait to be sent. Bytes already
    // on their way cannot be called back on a real line; on a pseudo-terminal
    // an output flush would reach into the peer's input and take from it
    // what it was sent (the last exchange's ACK, say).
    int queued = 0;
    if (::ioctl(impl_->fd(), TIOCOUTQ, &queued) != 0 || queued > 0) {
        ::tcflush(impl_->fd(), TCOFLUSH);
    }
}

Transfer SerialDevice::read(std::span<std::uint8_t> dest)
{
    Transfer done;
    if (dest.empty()) {
        return done;
    }
    const auto& limits = impl_->timeouts;
    const auto total_deadline = impl_->read_deadline(dest.size(), Clock::now());
    Clock::time_point last_byte{};
    for (;;) {
        const ssize_t got = ::read(impl_->fd(), dest.data() + done.count, dest.size() - done.count);
        if (got > 0) {
            done.count += static_cast<std::size_t>(got);
            last_byte = Clock::now();
            if (done.count == dest.size()) {
                return done;
            }
        } else if (got == 0 || is_link_error(errno)) {
            done.link_lost = true;
            return done;
        }
        auto deadline = total_deadline.value_or(Clock::time_point::max());
        if (limits.read_interval != 0 && done.count > 0) {
            deadline = std::min(deadline, last_byte + milliseconds(limits.read_interval));
        }
        const short events = wait_for(impl_->fd(), POLLIN, deadline);
        if (events == 0) {
            return done;
        }
        if ((events & POLLIN) == 0) {
            done.link_lost = true;
            return done;
        }
    }
}

Transfer SerialDevice::write(std::span<const std::uint8_t> src)
{
    Transfer done;
    const auto deadline = impl_->write_deadline(src.size(), Clock::now());
    while (done.count < src.size()) {
        const ssize_t put = ::write(impl_->fd(), src.data() + done.count, src.size() - done.count);
        if (put > 0) {
            done.count += static_cast<std::size_t>(put);
            continue;
        }
        if (put < 0 && is_link_error(errno)) {
            done.link_lost = true;
            return done;
        }
        const short events = wait_for(impl_->fd(), POLLOUT, deadline);
        if (events == 0) {
            return done;
        }
        if ((events & POLLOUT) == 0) {
            done.link_lost = true;
            return done;
        }
    }
    return done;
}

bool SerialDevice::drain()
{
    if (!impl_->wait_for_empty_output(impl_->write_deadline(0, Clock::now()))) {
        return false;
    }
    // Only the UART's own FIFO is left; the kernel bounds that wait itself.
    return ::tcdrain(impl_->fd()) == 0;
}

}  // namespace tarnlink
