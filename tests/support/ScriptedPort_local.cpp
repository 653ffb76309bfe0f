// The test ports in this process: pseudo-terminals and ports folder entries
// made here, the peer on a thread of its own.
#include "ScriptedPort.h"

#include "LineRate.h"
#include "PortPath.h"
#include "SimulatedPort.h"

#include <linux/serial.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>

namespace testsupport {

struct ScriptedPort::Impl {
    explicit Impl(int port_number, Bytes reply_data)
        : port(port_number, 0, fixed_reply(std::move(reply_data)))
    {
    }

    SimulatedPort port;
};

ScriptedPort::ScriptedPort(int port_number, Bytes reply_data)
    : impl_(std::make_unique<Impl>(port_number, std::move(reply_data)))
{
}

ScriptedPort::~ScriptedPort() = default;

void ScriptedPort::reply_with(Bytes data, std::uint8_t header1, std::uint8_t header2)
{
    impl_->port.peer.set_responder([=](std::span<const std::uint8_t>) {
        return ampsim::Reply{header1, header2, data};
    });
}

void ScriptedPort::answer_nothing()
{
    impl_->port.peer.set_responder(
        [](std::span<const std::uint8_t>) -> std::optional<ampsim::Reply> { return std::nullopt; });
}

void ScriptedPort::set_faults(const ampsim::Faults& faults)
{
    impl_->port.peer.set_faults(faults);
}

Bytes ScriptedPort::received() const
{
    return impl_->port.peer.received();
}

std::vector<Bytes> ScriptedPort::commands() const
{
    return impl_->port.peer.commands();
}

int ScriptedPort::responses_sent() const
{
    return impl_->port.peer.responses_sent();
}

void ScriptedPort::clear_records()
{
    impl_->port.peer.clear_records();
}

bool ScriptedPort::leave_stale_input(const Bytes& bytes)
{
    const auto& line = impl_->port.line;
    if (::write(line.master_fd(), bytes.data(), bytes.size()) !=
        static_cast<ssize_t>(bytes.size())) {
        return false;
    }
    // The pty moves them to the program's side on its own time.
    int queued = 0;
    for (int i = 0; i < 500 && queued < static_cast<int>(bytes.size()); ++i) {
        ::ioctl(line.held_slave_fd(), FIONREAD, &queued);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return queued == static_cast<int>(bytes.size());
}

LineState ScriptedPort::line() const
{
    const auto& line = impl_->port.line;
    termios tio{};
    ::tcgetattr(line.held_slave_fd(), &tio);
    serial_struct info{};
    LineState state;
    state.rate = line_rate(line.master_fd());
    state.custom_rate = has_custom_rate(line.master_fd());
    switch (tio.c_cflag & CSIZE) {
    case CS5: state.data_bits = 5; break;
    case CS6: state.data_bits = 6; break;
    case CS7: state.data_bits = 7; break;
    default: state.data_bits = 8; break;
    }
    state.parity = (tio.c_cflag & PARENB) != 0;
    state.two_stop_bits = (tio.c_cflag & CSTOPB) != 0;
    state.hardware_flow_control = (tio.c_cflag & CRTSCTS) != 0;
    state.software_flow_control = (tio.c_iflag & (IXON | IXOFF | IXANY)) != 0;
    state.input_changed = (tio.c_iflag & (ICRNL | INPCK | ISTRIP)) != 0;
    state.line_editing = (tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN)) != 0;
    state.output_changed = (tio.c_oflag & OPOST) != 0;
    state.low_latency_offered = ::ioctl(line.held_slave_fd(), TIOCGSERIAL, &info) == 0;
    return state;
}

void ScriptedPort::preset_cooked_line()
{
    const int fd = impl_->port.line.held_slave_fd();
    termios tio{};
    ::tcgetattr(fd, &tio);
    tio.c_iflag |= IXON | IXOFF | ICRNL | INPCK;
    tio.c_lflag |= ICANON | ECHO | ISIG;
    tio.c_oflag |= OPOST;
    tio.c_cflag = (tio.c_cflag & ~tcflag_t{CSIZE}) | CS7 | PARENB | CSTOPB | CRTSCTS;
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
        throw std::runtime_error("cannot preset the line of COM" +
                                 std::to_string(impl_->port.line.port_number()));
    }
}

struct HeldLine::Impl {
    explicit Impl(int port_number) : line(port_number)
    {
        const std::uint8_t filler[256] = {};
        while (::write(line.held_slave_fd(), filler, sizeof filler) > 0) {
        }
        if (::tcflow(line.held_slave_fd(), TCOOFF) != 0) {
            throw std::runtime_error("cannot hold off COM" + std::to_string(port_number));
        }
    }

    ampsim::PtyEndpoint line;
};

HeldLine::HeldLine(int port_number) : impl_(std::make_unique<Impl>(port_number)) {}
HeldLine::~HeldLine() = default;

struct NonPortEntry::Impl {
    Impl(int port_number, Kind kind)
        : link(tarnlink::port_link_path(port_number)), plain_file(link.string() + ".file")
    {
        std::filesystem::create_directories(link.parent_path());
        if (kind == Kind::PlainFile) {
            std::ofstream(plain_file) << "x";
        }
        std::filesystem::create_symlink(plain_file, link);
    }

    ~Impl()
    {
        std::error_code ignored;
        std::filesystem::remove(link, ignored);
        std::filesystem::remove(plain_file, ignored);
    }

    std::filesystem::path link;
    std::filesystem::path plain_file;
};

NonPortEntry::NonPortEntry(int port_number, Kind kind)
    : impl_(std::make_unique<Impl>(port_number, kind))
{
}

NonPortEntry::~NonPortEntry() = default;

}  // namespace testsupport
