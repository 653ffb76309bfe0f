#include "LineControl.h"

#include <asm/termbits.h>
#include <linux/serial.h>
#include <sys/ioctl.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace tarnlink {

namespace {

struct SpeedEntry {
    std::uint32_t rate;
    tcflag_t code;
};

// The rates that have a code of their own are set by that code, as drivers
// have always seen them; any other rate goes to the driver as a number.
constexpr std::array kSpeeds{
    SpeedEntry{50, B50},           SpeedEntry{75, B75},           SpeedEntry{110, B110},
    SpeedEntry{134, B134},         SpeedEntry{150, B150},         SpeedEntry{200, B200},
    SpeedEntry{300, B300},         SpeedEntry{600, B600},         SpeedEntry{1200, B1200},
    SpeedEntry{1800, B1800},       SpeedEntry{2400, B2400},       SpeedEntry{4800, B4800},
    SpeedEntry{9600, B9600},       SpeedEntry{19200, B19200},     SpeedEntry{38400, B38400},
    SpeedEntry{57600, B57600},     SpeedEntry{115200, B115200},   SpeedEntry{230400, B230400},
    SpeedEntry{460800, B460800},   SpeedEntry{500000, B500000},   SpeedEntry{576000, B576000},
    SpeedEntry{921600, B921600},   SpeedEntry{1000000, B1000000}, SpeedEntry{1152000, B1152000},
    SpeedEntry{1500000, B1500000}, SpeedEntry{2000000, B2000000}, SpeedEntry{2500000, B2500000},
    SpeedEntry{3000000, B3000000}, SpeedEntry{3500000, B3500000}, SpeedEntry{4000000, B4000000},
};

// Zero would hang the line up, and a negative rate handed in as int wraps to
// one far above anything a UART runs at.
constexpr std::uint32_t kHighestRate = 0x7FFFFFFF;

tcflag_t speed_code(std::uint32_t rate)
{
    for (const auto& entry : kSpeeds) {
        if (entry.rate == rate) {
            return entry.code;
        }
    }
    return BOTHER;
}

bool size_flag(std::uint8_t data_bits, tcflag_t& flag)
{
    switch (data_bits) {
    case 5: flag = CS5; return true;
    case 6: flag = CS6; return true;
    case 7: flag = CS7; return true;
    case 8: flag = CS8; return true;
    default: return false;
    }
}

bool within_two_percent(std::uint32_t got, std::uint32_t wanted)
{
    const std::uint64_t difference = got > wanted ? got - wanted : wanted - got;
    return difference * 50 <= wanted;
}

LineError system_error(const char* step)
{
    return {step, std::strerror(errno)};
}

void make_raw(termios2& tio, tcflag_t size, const LineSettings& settings)
{
    // Every byte value passes unchanged both ways. Software flow control goes
    // too, since 0x11 and 0x13 are ordinary data in a block.
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                          ICRNL | IXON | IXOFF | IXANY | IMAXBEL | INPCK);
    if (settings.parity_checking) {
        tio.c_iflag |= INPCK;
    }
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CBAUD | CIBAUD);
    tio.c_cflag |= size | CLOCAL | CREAD | speed_code(settings.baud_rate);
    if (settings.parity != 0) {
        tio.c_cflag |= PARENB | (settings.parity == 1 ? PARODD : 0);
    }
    if (settings.stop_bits != 0) {
        tio.c_cflag |= CSTOPB;
    }
    tio.c_ispeed = settings.baud_rate;
    tio.c_ospeed = settings.baud_rate;
    // With O_NONBLOCK, VMIN 1 makes an empty read say EAGAIN, so that a read
    // of 0 bytes can only mean the line hung up.
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
}

}  // namespace

bool read_line(int fd, LineSettings& settings)
{
    termios2 tio{};
    if (::ioctl(fd, TCGETS2, &tio) != 0) {
        return false;
    }
    settings.baud_rate = tio.c_ospeed;
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

std::optional<LineError> write_line(int fd, const LineSettings& settings)
{
    tcflag_t size = 0;
    if (settings.baud_rate == 0 || settings.baud_rate > kHighestRate ||
        !size_flag(settings.data_bits, size) || settings.parity > 2 || settings.stop_bits > 2) {
        return LineError{"line settings", "baud rate " + std::to_string(settings.baud_rate) +
                                              " or framing out of range"};
    }
    termios2 before{};
    if (::ioctl(fd, TCGETS2, &before) != 0) {
        return system_error("TCGETS2");
    }
    termios2 wanted = before;
    make_raw(wanted, size, settings);
    if (::ioctl(fd, TCSETS2, &wanted) != 0) {
        return system_error("TCSETS2");
    }
    termios2 now{};
    if (::ioctl(fd, TCGETS2, &now) != 0) {
        return system_error("TCGETS2");
    }
    if (!within_two_percent(now.c_ospeed, settings.baud_rate)) {
        ::ioctl(fd, TCSETS2, &before);
        return LineError{
            "baud rate " + std::to_string(settings.baud_rate),
            "the driver set " + std::to_string(now.c_ospeed) + " bit/s, more than 2 % off"};
    }
    return std::nullopt;
}

// The flag as the int field holds it.
constexpr int kLowLatency = static_cast<int>(ASYNC_LOW_LATENCY);

bool enter_low_latency(int fd)
{
    serial_struct info{};
    if (::ioctl(fd, TIOCGSERIAL, &info) != 0 || (info.flags & kLowLatency) != 0) {
        return false;
    }
    info.flags |= kLowLatency;
    return ::ioctl(fd, TIOCSSERIAL, &info) == 0;
}

void leave_low_latency(int fd)
{
    serial_struct info{};
    if (::ioctl(fd, TIOCGSERIAL, &info) == 0) {
        info.flags &= ~kLowLatency;
        ::ioctl(fd, TIOCSSERIAL, &info);
    }
}

}  // namespace tarnlink
