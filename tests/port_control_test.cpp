// The serial link library's port control, through the real libtarnlink.so on
// pseudo-terminals.
#include "ChildProcess.h"
#include "LineRate.h"
#include "PortPath.h"
#include "SimulatedPort.h"
#include "TarnlinkApi.h"
#include "TestEnvironment.h"
#include "UniqueFd.h"

#include <gtest/gtest.h>

#include <array>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

using testsupport::SimulatedPort;
using testsupport::tarnlink;

constexpr std::uint8_t kConnectionTest = 0x00;

class PortControl : public ::testing::Test {
protected:
    void TearDown() override { tarnlink().dfComSetClose(); }

    // An exchange on the open port: the connection test.
    static bool exchange_works()
    {
        std::array<std::uint8_t, 1024> response{};
        return tarnlink().communicate(kConnectionTest, nullptr, 0, response.data()) == 0;
    }

    // Runs dfComSetReady(9600, port) in another process; its result.
    static int open_from_other_process(int port_number)
    {
        const std::string probe = testsupport::bin_dir() + "/tarnlink_probe";
        const std::string library = testsupport::tarnlink_path();
        const std::string number = std::to_string(port_number);
        const pid_t child = ::fork();
        if (child == 0) {
            ::execl(probe.c_str(), probe.c_str(), library.c_str(), number.c_str(), nullptr);
            ::_exit(4);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    static termios line_of(const SimulatedPort& port)
    {
        termios tio{};
        ::tcgetattr(port.line.held_slave_fd(), &tio);
        return tio;
    }

    // Publishes COMn as a link to a plain file.
    static void link_non_terminal_as(int port_number)
    {
        namespace fs = std::filesystem;
        const fs::path folder = fs::path(testsupport::private_root()) / "config/quillon/ports";
        fs::create_directories(folder);
        std::ofstream(folder / "notatty") << "x";
        fs::create_symlink(folder / "notatty", folder / ("COM" + std::to_string(port_number)));
    }

    static speed_t speed_of(const SimulatedPort& port)
    {
        const termios tio = line_of(port);
        return ::cfgetospeed(&tio);
    }
};

TEST_F(PortControl, VersionIs0x1000)
{
    EXPECT_EQ(tarnlink().dfGetDllVersion(), 0x1000);
}

TEST_F(PortControl, BeforeAnyOpenSettingsFailAndCloseSucceeds)
{
    EXPECT_EQ(tarnlink().dfComSetBaudRate(9600), 1);
    EXPECT_EQ(tarnlink().dfComSetTimeout2(2), 1);
    EXPECT_EQ(tarnlink().dfComSetTimeout1(5), 1);
    EXPECT_FALSE(tarnlink().SetTimeouts(5, 2));
    EXPECT_FALSE(tarnlink().SetBaudRate(9600));
    EXPECT_TRUE(tarnlink().PortClose());  // never opened: nothing to close
    EXPECT_EQ(tarnlink().dfComSetClose(), 0);
}

TEST_F(PortControl, SecondSetReadyFailsAndLeavesFirstPortOpen)
{
    SimulatedPort com1(1);
    ASSERT_EQ(tarnlink().dfComSetReady(9600, 1), 0);
    EXPECT_EQ(tarnlink().dfComSetReady(9600, 1), 1);
    EXPECT_TRUE(exchange_works());
}

TEST_F(PortControl, CloseThenReopenSameOrOtherPort)
{
    SimulatedPort com1(1);
    SimulatedPort com2(2);
    ASSERT_EQ(tarnlink().dfComSetReady(9600, 1), 0);
    EXPECT_EQ(tarnlink().dfComSetClose(), 0);
    // A second close of a closed port fails underneath; the df export hides it.
    EXPECT_FALSE(tarnlink().PortClose());
    EXPECT_EQ(tarnlink().dfComSetClose(), 0);

    ASSERT_EQ(tarnlink().dfComSetReady(9600, 1), 0);
    EXPECT_TRUE(exchange_works());
    ASSERT_EQ(tarnlink().dfComSetClose(), 0);
    ASSERT_EQ(tarnlink().dfComSetReady(9600, 2), 0);
    EXPECT_TRUE(exchange_works());
    EXPECT_EQ(com1.peer.commands().size(), 1u);
    EXPECT_EQ(com2.peer.commands().size(), 1u);
}

TEST_F(PortControl, SettingsOfAClosedPortFail)
{
    SimulatedPort com1(1);
    ASSERT_EQ(tarnlink().dfComSetReady(9600, 1), 0);
    ASSERT_EQ(tarnlink().dfComSetClose(), 0);
    EXPECT_EQ(tarnlink().dfComSetBaudRate(9600), 1);
    EXPECT_EQ(tarnlink().dfComSetTimeout2(2), 1);
    EXPECT_FALSE(tarnlink().SetTimeouts(5, 2));
}

TEST_F(PortControl, PortNumbersOutsideTheTableAndMissingDevicesFail)
{
    for (int number : {0, 17, -1, 1000}) {
        EXPECT_EQ(tarnlink().dfComSetReady(9600, number), 1) << number;
    }
    // A link that leads to something that is no terminal is not a port.
    link_non_terminal_as(5);
    EXPECT_EQ(tarnlink().dfComSetReady(9600, 5), 1);
    // After a failed open the line settings cannot be changed.
    EXPECT_EQ(tarnlink().dfComSetBaudRate(9600), 1);
    EXPECT_EQ(tarnlink().dfComSetTimeout2(2), 1);
}

TEST_F(PortControl, LineIsRaw8N1AtTheRequestedRateWithFlowControlKept)
{
    SimulatedPort com1(1);
    // The driver's state before the open: software flow control on, as a
    // Linux tty starts, hardware flow control on, parity, 7 bits, cooked.
    termios before = line_of(com1);
    before.c_iflag |= IXON | IXOFF | ICRNL | INPCK;
    before.c_lflag |= ICANON | ECHO | ISIG;
    before.c_oflag |= OPOST;
    before.c_cflag = (before.c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB | CRTSCTS;
    ASSERT_EQ(::tcsetattr(com1.line.held_slave_fd(), TCSANOW, &before), 0);

    ASSERT_EQ(tarnlink().dfComSetReady(115200, 1), 0);
    const termios after = line_of(com1);
    EXPECT_EQ(::cfgetospeed(&after), B115200);
    EXPECT_EQ(after.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(after.c_cflag & (PARENB | CSTOPB), 0u);
    EXPECT_NE(after.c_cflag & CRTSCTS, 0u) << "hardware flow control must stay";
    EXPECT_EQ(after.c_iflag & (IXON | IXOFF | IXANY | ICRNL | INPCK | ISTRIP), 0u);
    EXPECT_EQ(after.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(after.c_oflag & OPOST, 0u);

    EXPECT_EQ(tarnlink().dfComSetBaudRate(9600), 0);
    EXPECT_EQ(speed_of(com1), B9600);
    // A rate no line runs at is refused and leaves the line as it was.
    EXPECT_EQ(tarnlink().dfComSetBaudRate(0), 1);
    EXPECT_EQ(tarnlink().dfComSetBaudRate(-9600), 1);
    EXPECT_EQ(speed_of(com1), B9600);
}

TEST_F(PortControl, RatesOutsideTheTermiosTableAreSetAndReadBack)
{
    SimulatedPort com1(1);
    // A pty has no low-latency mode to offer; that is no reason to fail.
    serial_struct info{};
    ASSERT_NE(::ioctl(com1.line.held_slave_fd(), TIOCGSERIAL, &info), 0);
    ASSERT_EQ(tarnlink().dfComSetReady(14400, 1), 0);
    EXPECT_EQ(testsupport::line_rate(com1.line.master_fd()), 14400u);
    for (int rate : {250000, 56000, 128000, 115200}) {
        EXPECT_EQ(tarnlink().dfComSetBaudRate(rate), 0) << rate;
        EXPECT_EQ(testsupport::line_rate(com1.line.master_fd()), static_cast<unsigned>(rate));
    }
    EXPECT_EQ(speed_of(com1), B115200) << "table rates keep their own code";
    EXPECT_TRUE(exchange_works());
}

TEST_F(PortControl, BadBaudRateFailsSetReadyButLeavesThePortOpen)
{
    SimulatedPort com1(1);
    EXPECT_EQ(tarnlink().dfComSetReady(0, 1), 1);
    EXPECT_EQ(tarnlink().dfComSetReady(9600, 1), 1) << "still open from the first call";
    EXPECT_EQ(tarnlink().dfComSetBaudRate(9600), 0);
    EXPECT_TRUE(exchange_works());
}

TEST_F(PortControl, TimeoutValuesThatDoNotFitAreRefused)
{
    SimulatedPort com1(1);
    ASSERT_EQ(tarnlink().dfComSetReady(9600, 1), 0);
    EXPECT_EQ(tarnlink().dfComSetTimeout2(-1), 1);
    EXPECT_EQ(tarnlink().dfComSetTimeout1(-1), 1);
    EXPECT_EQ(tarnlink().dfComSetTimeout2(5'000'000), 1);  // above 2^32 ms
    EXPECT_FALSE(tarnlink().SetTimeouts(-1, 2));
    EXPECT_TRUE(tarnlink().SetTimeouts(5, 2));
    EXPECT_EQ(tarnlink().dfComSetTimeout2(16), 0);
}

TEST_F(PortControl, AnotherProcessCannotOpenAHeldPort)
{
    SimulatedPort com1(1);
    ASSERT_EQ(tarnlink().dfComSetReady(9600, 1), 0);
    EXPECT_EQ(open_from_other_process(1), 1);
    // Nor can this process through another descriptor.
    const common::UniqueFd fd(
        ::open(com1.line.link_path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
    if (fd.valid()) {
        EXPECT_NE(::flock(fd.get(), LOCK_EX | LOCK_NB), 0);
    }
    // Once closed, the port is free again, exclusive flag included.
    ASSERT_EQ(tarnlink().dfComSetClose(), 0);
    EXPECT_EQ(open_from_other_process(1), 0);
}

TEST_F(PortControl, PortInitialAlwaysOpensCom1AndReleasesThePortItReplaces)
{
    SimulatedPort com1(1);
    SimulatedPort com2(2);
    ASSERT_EQ(tarnlink().dfComSetReady(9600, 2), 0);
    EXPECT_TRUE(tarnlink().PortInitial("COM2", 19200, 5, 3));
    EXPECT_EQ(speed_of(com1), B19200);
    EXPECT_EQ(open_from_other_process(2), 0) << "COM2 must have been closed";
    EXPECT_EQ(open_from_other_process(1), 1) << "COM1 is the one held now";
    EXPECT_TRUE(exchange_works());
    EXPECT_EQ(com1.peer.commands().size(), 1u);
    EXPECT_TRUE(com2.peer.commands().empty());

    EXPECT_TRUE(tarnlink().PortClose());
    EXPECT_FALSE(tarnlink().PortClose());
}

TEST_F(PortControl, PortInitialWithoutAPortFails)
{
    // COM1 leads to something that is no terminal, so that the machine's own
    // first serial port is never touched.
    link_non_terminal_as(1);
    EXPECT_FALSE(tarnlink().PortInitial("COM1", 9600, 5, 2));
    EXPECT_EQ(tarnlink().dfComSetBaudRate(9600), 1);
}

}  // namespace

namespace portlookup {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

fs::path ports() { return tarnlink::ports_folder(); }

// The entry COMn in the ports folder, whatever it is, decides the device; only
// without an entry does the machine's own port stand in (not opened here).
TEST_F(PortControl, PortsFolderEntryDecidesTheDevice)
{
    SimulatedPort com1(1);
    const std::string pts = com1.line.slave_path();
    fs::create_directories(ports());
    fs::create_symlink(ports() / "gone", ports() / "COM2");
    fs::create_symlink(ports() / "COM1", ports() / "COM3");
    std::ofstream(ports() / "COM4") << "x";

    struct Case {
        int number;
        std::string path;
        std::string description;
    } cases[] = {
        {1, ports() / "COM1", "COM1: " + pts},
        {2, ports() / "COM2", "COM2: " + (ports() / "gone").string() + " (not present)"},
        {3, ports() / "COM3", "COM3: " + (ports() / "COM1").string() + " -> " + pts},
        {4, ports() / "COM4", "COM4: " + (ports() / "COM4").string()},
        {7, "/dev/ttyS6", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tarnlink::find_port(c.number).path, c.path) << c.number;
        if (!c.description.empty()) {
            EXPECT_EQ(tarnlink::describe_port(c.number), c.description);
        }
    }
    EXPECT_FALSE(tarnlink::find_port(7).in_ports_folder);
    // A broken link fails the open; it never reaches /dev/ttyS1.
    EXPECT_EQ(testsupport::tarnlink().dfComSetReady(9600, 2), 1);
}

struct ProbeRun {
    std::optional<int> status;
    std::string text;  // all it wrote, standard error included
};

// dfComSetReady(9600, port) in a second process, with this one's environment.
ProbeRun probe_trace(int port_number)
{
    testsupport::ChildProcess probe(testsupport::bin_dir() + "/tarnlink_probe",
                                    {testsupport::tarnlink_path(), std::to_string(port_number)});
    ProbeRun run;
    while (const auto line = probe.read_line(5s)) {
        run.text += *line + "\n";
    }
    run.status = probe.wait_for_exit(5s);
    return run;
}

TEST_F(PortControl, DebugTraceNamesTheCauseOfARefusedOpenAndIsSilentOtherwise)
{
    SimulatedPort com1(1);
    ASSERT_EQ(testsupport::tarnlink().dfComSetReady(9600, 1), 0);
    fs::create_symlink("/dev/ttyUSB-unplugged", ports() / "COM4");
    link_non_terminal_as(5);

    const auto quiet = probe_trace(1);
    EXPECT_EQ(quiet.status, 1);
    EXPECT_TRUE(quiet.text.empty()) << quiet.text;

    ::setenv("TARNLINK_DEBUG", "1", 1);
    const struct {
        int number;
        std::string expected;
    } cases[] = {
        {1, "held by another program"},
        {4, "tarnlink: COM4: open " + (ports() / "COM4").string() +
                ": No such file or directory (the link points to /dev/ttyUSB-unplugged"},
        {5, "tarnlink: COM5: isatty " + (ports() / "COM5").string() + ": not a terminal"},
    };
    for (const auto& c : cases) {
        const auto refused = probe_trace(c.number);
        EXPECT_EQ(refused.status, 1) << c.number;
        EXPECT_NE(refused.text.find(c.expected), std::string::npos) << refused.text;
        EXPECT_EQ(refused.text.find("/dev/ttyS"), std::string::npos) << refused.text;
    }
    ::unsetenv("TARNLINK_DEBUG");
}

}  // namespace portlookup
