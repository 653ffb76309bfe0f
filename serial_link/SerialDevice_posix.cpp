// Linux backend of the serial device: termios for the line, poll() with a
// deadline for every wait.
#include "SerialDevice.h"

#include "PortPath.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

namespace tarnlink {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A write needs some bound even when the caller set no time-out at all: a
// line held off by hardware flow control must not stop the caller for good.
constexpr milliseconds kFallbackWriteBound{2000};

struct SpeedEntry {
    std::uint32_t rate;
    speed_t code;
};

constexpr std::array kSpeeds{
    SpeedEntry{50, B50},         SpeedEntry{75, B75},         SpeedEntry{110, B110},
    SpeedEntry{134, B134},       SpeedEntry{150, B150},       SpeedEntry{200, B200},
    SpeedEntry{300, B300},       SpeedEntry{600, B600},       SpeedEntry{1200, B1200},
    SpeedEntry{1800, B1800},     SpeedEntry{2400, B2400},     SpeedEntry{4800, B4800},
    SpeedEntry{9600, B9600},     SpeedEntry{19200, B19200},   SpeedEntry{38400, B38400},
    SpeedEntry{57600, B57600},   SpeedEntry{115200, B115200}, SpeedEntry{230400, B230400},
    SpeedEntry{460800, B460800}, SpeedEntry{500000, B500000}, SpeedEntry{576000, B576000},
    SpeedEntry{921600, B921600}, SpeedEntry{1000000, B1000000}, SpeedEntry{1152000, B1152000},
    SpeedEntry{1500000, B1500000}, SpeedEntry{2000000, B2000000}, SpeedEntry{2500000, B2500000},
    SpeedEntry{3000000, B3000000}, SpeedEntry{3500000, B3500000}, SpeedEntry{4000000, B4000000},
};

std::optional<speed_t> speed_code(std::uint32_t rate)
{
    for (const auto& entry : kSpeeds) {
        if (entry.rate == rate) {
            return entry.code;
        }
    }
    return std::nullopt;
}

std::uint32_t speed_rate(speed_t code)
{
    for (const auto& entry : kSpeeds) {
        if (entry.code == code) {
            return entry.rate;
        }
    }
    return 0;
}

std::optional<tcflag_t> size_flag(std::uint8_t data_bits)
{
    switch (data_bits) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    case 8: return CS8;
    default: return std::nullopt;
    }
}

std::string device_path(const std::string& port_name)
{
    const auto number = port_number_of(port_name);
    if (!number) {
        return {};
    }
    std::string link = port_link_path(*number);
    struct stat info {};
    if (::stat(link.c_str(), &info) == 0) {
        return link;
    }
    return "/dev/ttyS" + std::to_string(*number - 1);
}

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

}  // namespace

struct SerialDevice::Impl {
    int fd = -1;
    Timeouts timeouts{};

    ~Impl()
    {
        // On a pseudo-terminal the exclusive flag outlives the close and
        // would lock ordinary users out of the next open.
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
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
    const std::string path = device_path(port_name);
    if (path.empty()) {
        return nullptr;
    }
    // Non-blocking so that opening a real port never waits for carrier, and
    // so that every later wait is ours, with its own deadline.
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    // The flock keeps out a second opener even when it runs as root, which
    // ignores TIOCEXCL; TIOCEXCL keeps out programs that do not flock.
    if (!::isatty(fd) || ::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ioctl(fd, TIOCEXCL) != 0) {
        ::close(fd);
        return nullptr;
    }
    auto impl = std::make_unique<Impl>();
    impl->fd = fd;
    return std::unique_ptr<SerialDevice>(new SerialDevice(std::move(impl)));
}

bool SerialDevice::read_line_settings(LineSettings& settings) const
{
    termios tio{};
    if (::tcgetattr(impl_->fd, &tio) != 0) {
        return false;
    }
    settings.baud_rate = speed_rate(::cfgetospeed(&tio));
    settings.binary_mode = true;  // raw mode is the only mode this library runs
    settings.parity_checking = (tio.c_iflag & INPCK) != 0;
    switch (tio.c_cflag & CSIZE) {
    case CS5: settings.data_bits = 5; break;
    case CS6: settings.data_bits = 6; break;
    case CS7: settings.data_bits = 7; break;
    default: settings.data_bits = 8; break;
    }
    settings.parity = (tio.c_cflag & PARENB) == 0 ? 0 : ((tio.c_cflag & PARODD) != 0 ? 1 : 2);
    settings.stop_bits = (tio.c_cflag & CSTOPB) != 0 ? 2 : 0;
    return true;
}

bool SerialDevice::write_line_settings(const LineSettings& settings)
{
    const auto speed = speed_code(settings.baud_rate);
    const auto size = size_flag(settings.data_bits);
    if (!speed || !size || settings.parity > 2 || settings.stop_bits > 2) {
        return false;
    }
    termios tio{};
    if (::tcgetattr(impl_->fd, &tio) != 0) {
        return false;
    }
    // Raw: every byte value passes unchanged both ways. Software flow control
    // goes too, since 0x11 and 0x13 are ordinary data in a block. CRTSCTS and
    // the modem lines stay as the driver has them.
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                          ICRNL | IXON | IXOFF | IXANY | IMAXBEL | INPCK);
    if (settings.parity_checking) {
        tio.c_iflag |= INPCK;
    }
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB);
    tio.c_cflag |= *size | CLOCAL | CREAD;
    if (settings.parity != 0) {
        tio.c_cflag |= PARENB | (settings.parity == 1 ? PARODD : 0);
    }
    if (settings.stop_bits != 0) {
        tio.c_cflag |= CSTOPB;
    }
    // With O_NONBLOCK, VMIN 1 makes an empty read say EAGAIN, so that a read
    // of 0 bytes can only mean the line hung up.
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, *speed) != 0 || ::cfsetospeed(&tio, *speed) != 0) {
        return false;
    }
    return ::tcsetattr(impl_->fd, TCSANOW, &tio) == 0;
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
    ::tcflush(impl_->fd, TCIFLUSH);
    // Output is flushed only while bytes still wait to be sent. Bytes already
    // on their way cannot be called back on a real line; on a pseudo-terminal
    // an output flush would reach into the peer's input and take from it
    // what it was sent (the last exchange's ACK, say).
    int queued = 0;
    if (::ioctl(impl_->fd, TIOCOUTQ, &queued) != 0 || queued > 0) {
        ::tcflush(impl_->fd, TCOFLUSH);
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
        const ssize_t got = ::read(impl_->fd, dest.data() + done.count, dest.size() - done.count);
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
        const short events = wait_for(impl_->fd, POLLIN, deadline);
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
        const ssize_t put = ::write(impl_->fd, src.data() + done.count, src.size() - done.count);
        if (put > 0) {
            done.count += static_cast<std::size_t>(put);
            continue;
        }
        if (put < 0 && is_link_error(errno)) {
            done.link_lost = true;
            return done;
        }
        const short events = wait_for(impl_->fd, POLLOUT, deadline);
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
    const auto deadline = impl_->write_deadline(0, Clock::now());
    LineSettings line;
    const std::uint32_t rate = read_line_settings(line) && line.baud_rate > 0 ? line.baud_rate : 9600;
    // The tty layer has no event for "output queue empty", so wait for the
    // time the queued bytes need on the wire, then look again. tcdrain()
    // alone would wait without bound while flow control holds the line.
    for (;;) {
        int queued = 0;
        if (::ioctl(impl_->fd, TIOCOUTQ, &queued) != 0) {
            return false;
        }
        if (queued <= 0) {
            break;
        }
        const auto now = Clock::now();
        if (now >= deadline) {
            return false;
        }
        const auto wire = milliseconds(1 + std::int64_t{queued} * 10 * 1000 / rate);
        const auto wait = std::min(std::chrono::duration_cast<milliseconds>(deadline - now), wire);
        ::poll(nullptr, 0, static_cast<int>(wait.count()));
    }
    // Only the UART's own FIFO is left; the kernel bounds that wait itself.
    return ::tcdrain(impl_->fd) == 0;
}

}  // namespace tarnlink
