// Port control that only the Linux library has: the ports folder's entries,
// the debug trace and the lock on a held port's device.
#include "ChildProcess.h"
#include "PortPath.h"
#include "ScriptedPort.h"
#include "SimulatedPort.h"
#include "TarnlinkApi.h"
#include "TestEnvironment.h"
#include "UniqueFd.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testsupport::NonPortEntry;
using testsupport::SimulatedPort;
using testsupport::tarnlink;

class PortControlOnLinux : public ::testing::Test {
protected:
    void TearDown() override { tarnlink().dfComSetClose(); }
};

fs::path ports()
{
    return tarnlink::ports_folder();
}

TEST_F(PortControlOnLinux, AHeldPortsDeviceIsLockedAgainstAnotherDescriptor)
{
    SimulatedPort com1(1);
    ASSERT_EQ(tarnlink().dfComSetReady(9600, 1), 0);
    const common::UniqueFd fd(
        ::open(com1.line.link_path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
    if (fd.valid()) {
        EXPECT_NE(::flock(fd.get(), LOCK_EX | LOCK_NB), 0);
    }
}

// The entry COMn in the ports folder, whatever it is, decides the device; only
// without an entry does the machine's own port stand in (not opened here).
TEST_F(PortControlOnLinux, PortsFolderEntryDecidesTheDevice)
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
    EXPECT_EQ(tarnlink().dfComSetReady(9600, 2), 1);
}

struct ProbeRun {
    std::optional<int> status;
    std::string text;  // all it wrote, standard error included
};

// dfComSetReady(9600, port) in a second process, with this one's environment.
ProbeRun probe_trace(int port_number)
{
    testsupport::ChildProcess probe(testsupport::built_program("tarnlink_probe"),
                                    {testsupport::tarnlink_path(), std::to_string(port_number)});
    ProbeRun run;
    while (const auto line = probe.read_line(5s)) {
        run.text += *line + "\n";
    }
    run.status = probe.wait_for_exit(5s);
    return run;
}

TEST_F(PortControlOnLinux, DebugTraceNamesTheCauseOfARefusedOpenAndIsSilentOtherwise)
{
    SimulatedPort com1(1);
    ASSERT_EQ(tarnlink().dfComSetReady(9600, 1), 0);
    fs::create_symlink("/dev/ttyUSB-unplugged", ports() / "COM4");
    const NonPortEntry plain_file(5, NonPortEntry::Kind::PlainFile);

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

}  // namespace
