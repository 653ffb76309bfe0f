// The serial link library's port control, through the real library
// (libtarnlink.so, or Tarnlink.dll under Wine) on scripted ports.
#include "ProgramRun.h"
#include "ScriptedPort.h"
#include "TarnlinkApi.h"
#include "TestEnvironment.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

using testsupport::NonPortEntry;
using testsupport::ScriptedPort;
using testsupport::tarnlink;

class PortControl : public ::testing::Test {
protected:
    void TearDown() override { tarnlink().dfComSetClose(); }

    // Runs dfComSetReady(9600, port) in another process; its result.
    static int open_from_other_process(int port_number)
    {
        return testsupport::exit_code_of(
            testsupport::built_program("tarnlink_probe"),
            {testsupport::tarnlink_path(), std::to_string(port_number)});
    }

    // The line's rate when it was set from the driver's table of rates; 0
    // for a rate set outside it.
    static std::uint32_t table_rate_of(const ScriptedPort& port)
    {
        const auto line = port.line();
        return line.custom_rate ? 0 : line.rate;
    }
};

TEST_F(PortControl, VersionIs0x1000)
{
    EXPECT_EQ(tarnlink().dfGetDllVersion(), 0x1000);
}

// What a process that has never opened a port sees.
void expect_settings_fail_and_close_succeeds()
{
    EXPECT_EQ(tarnlink().dfComSetBaudRate(9600), 1);
    EXPECT_EQ(tarnlink().dfComSetTimeout2(2), 1);
    EXPECT_EQ(tarnlink().dfComSetTimeout1(5), 1);
    EXPECT_FALSE(tarnlink().SetTimeouts(5, 2));
    EXPECT_FALSE(tarnlink().SetBaudRate(9600));
    EXPECT_TRUE(tarnlink().PortClose());  // never opened: nothing to close
    EXPECT_EQ(tarnlink().dfComSetClose(), 0);
}

TEST_F(PortControl, BeforeAnyOpenSettingsFailAndCloseSucceeds)
{
    // In a process of its own: where the cases share one (under Wine), the
    // cases before this one have opened ports already.
    EXPECT_EXIT(
        {
            expect_settings_fail_and_close_succeeds();
            std::exit(::testing::Test::HasFailure() ? 1 : 0);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(PortControl, SecondSetReadyFailsAndLeavesFirstPortOpen)
{
    ScriptedPort com1(1);
    ScriptedPort com2(2);
    ASSERT_EQ(tarnlink().dfComSetReady(9600, 1), 0);
    EXPECT_EQ(tarnlink().dfComSetReady(9600, 1), 1);
    EXPECT_EQ(tarnlink().dfComSetReady(9600, 2), 1);
    EXPECT_TRUE(tarnlink().exchange_works());
    EXPECT_EQ(com1.commands().size(), 1u);
}

TEST_F(PortControl, CloseThenReopenSameOrOtherPort)
{
    ScriptedPort com1(1);
    ScriptedPort com2(2);
    ASSERT_EQ(tarnlink().dfComSetReady(9600, 1), 0);
    EXPECT_EQ(tarnlink().dfComSetClose(), 0);
    // A second close of a closed port fails underneath; the df export hides it.
    EXPECT_FALSE(tarnlink().PortClose());
    EXPECT_EQ(tarnlink().dfComSetClose(), 0);

    ASSERT_EQ(tarnlink().dfComSetReady(9600, 1), 0);
    EXPECT_TRUE(tarnlink().exchange_works());
    ASSERT_EQ(tarnlink().dfComSetClose(), 0);
    ASSERT_EQ(tarnlink().dfComSetReady(9600, 2), 0);
    EXPECT_TRUE(tarnlink().exchange_works());
    EXPECT_EQ(com1.commands().size(), 1u);
    EXPECT_EQ(com2.commands().size(), 1u);
}

TEST_F(PortControl, SettingsOfAClosedPortFail)
{
    ScriptedPort com1(1);
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
    // An entry that leads to something that is no terminal is not a port,
    // nor is one that leads nowhere.
    const NonPortEntry plain_file(5, NonPortEntry::Kind::PlainFile);
    EXPECT_EQ(tarnlink().dfComSetReady(9600, 5), 1);
    const NonPortEntry broken_link(6, NonPortEntry::Kind::BrokenLink);
    EXPECT_EQ(tarnlink().dfComSetReady(9600, 6), 1);
    // After a failed open the line settings cannot be changed.
    EXPECT_EQ(tarnlink().dfComSetBaudRate(9600), 1);
    EXPECT_EQ(tarnlink().dfComSetTimeout2(2), 1);
    // The failed opens left no port behind to close.
    ScriptedPort com1(1);
    EXPECT_EQ(tarnlink().dfComSetReady(9600, 1), 0);
}

TEST_F(PortControl, LineIsRaw8N1AtTheRequestedRateWithFlowControlKept)
{
    ScriptedPort com1(1);
    com1.preset_cooked_line();

    ASSERT_EQ(tarnlink().dfComSetReady(115200, 1), 0);
    const auto after = com1.line();
    EXPECT_EQ(after.rate, 115200u);
    EXPECT_FALSE(after.custom_rate);
    EXPECT_EQ(after.data_bits, 8u);
    EXPECT_FALSE(after.parity);
    EXPECT_FALSE(after.two_stop_bits);
    EXPECT_TRUE(after.hardware_flow_control) << "hardware flow control must stay";
    EXPECT_FALSE(after.software_flow_control);
    EXPECT_FALSE(after.input_changed);
    EXPECT_FALSE(after.line_editing);
    EXPECT_FALSE(after.output_changed);

    EXPECT_EQ(tarnlink().dfComSetBaudRate(9600), 0);
    EXPECT_EQ(table_rate_of(com1), 9600u);
}

// Wine's serial driver takes any rate on a pseudo-terminal: one outside its
// table becomes 38400, and the call succeeds.
constexpr const char* kWineTakesAnyRate =
    "Wine's serial driver sets any rate it does not know as 38400, without an error";

TEST_F(PortControl, RatesOutsideTheTermiosTableAreSetAndReadBack)
{
    if (testsupport::under_wine()) {
        GTEST_SKIP() << kWineTakesAnyRate;
    }
    ScriptedPort com1(1);
    // A pty has no low-latency mode to offer; that is no reason to fail.
    ASSERT_FALSE(com1.line().low_latency_offered);
    ASSERT_EQ(tarnlink().dfComSetReady(14400, 1), 0);
    EXPECT_EQ(com1.line().rate, 14400u);
    for (int rate : {250000, 56000, 128000, 115200}) {
        EXPECT_EQ(tarnlink().dfComSetBaudRate(rate), 0) << rate;
        EXPECT_EQ(com1.line().rate, static_cast<unsigned>(rate));
    }
    EXPECT_EQ(table_rate_of(com1), 115200u) << "table rates keep their own code";
    EXPECT_TRUE(tarnlink().exchange_works());
}

TEST_F(PortControl, BadBaudRateFailsSetReadyButLeavesThePortOpen)
{
    if (testsupport::under_wine()) {
        GTEST_SKIP() << kWineTakesAnyRate;
    }
    ScriptedPort com1(1);
    EXPECT_EQ(tarnlink().dfComSetReady(0, 1), 1);
    EXPECT_EQ(tarnlink().dfComSetReady(9600, 1), 1) << "still open from the first call";
    EXPECT_EQ(tarnlink().dfComSetBaudRate(9600), 0);
    // A rate no line runs at is refused and leaves the line as it was.
    EXPECT_EQ(tarnlink().dfComSetBaudRate(0), 1);
    EXPECT_EQ(tarnlink().dfComSetBaudRate(-9600), 1);
    EXPECT_EQ(table_rate_of(com1), 9600u);
    EXPECT_TRUE(tarnlink().exchange_works());
}

TEST_F(PortControl, TimeoutValuesThatDoNotFitAreRefused)
{
    ScriptedPort com1(1);
    ASSERT_EQ(tarnlink().dfComSetReady(9600, 1), 0);
    EXPECT_EQ(tarnlink().dfComSetTimeout2(-1), 1);
    EXPECT_EQ(tarnlink().dfComSetTimeout1(-1), 1);
    EXPECT_EQ(tarnlink().dfComSetTimeout2(5'000'000), 1);  // above 2^32 ms
    EXPECT_FALSE(tarnlink().SetTimeouts(-1, 2));
    EXPECT_TRUE(tarnlink().SetTimeouts(5, 2));
    EXPECT_EQ(tarnlink().dfComSetTimeout2(16), 0);
    EXPECT_TRUE(tarnlink().exchange_works());
}

TEST_F(PortControl, AnotherProcessCannotOpenAHeldPort)
{
    ScriptedPort com1(1);
    ASSERT_EQ(tarnlink().dfComSetReady(9600, 1), 0);
    EXPECT_EQ(open_from_other_process(1), 1);
    EXPECT_TRUE(tarnlink().exchange_works());
    // Once closed, the port is free again.
    ASSERT_EQ(tarnlink().dfComSetClose(), 0);
    EXPECT_EQ(open_from_other_process(1), 0);
}

TEST_F(PortControl, PortInitialAlwaysOpensCom1AndReleasesThePortItReplaces)
{
    ScriptedPort com1(1);
    ScriptedPort com2(2);
    ASSERT_EQ(tarnlink().dfComSetReady(9600, 2), 0);
    EXPECT_TRUE(tarnlink().PortInitial("COM2", 19200, 5, 3));
    EXPECT_EQ(table_rate_of(com1), 19200u);
    EXPECT_EQ(open_from_other_process(2), 0) << "COM2 must have been closed";
    EXPECT_EQ(open_from_other_process(1), 1) << "COM1 is the one held now";
    EXPECT_TRUE(tarnlink().exchange_works());
    EXPECT_EQ(com1.commands().size(), 1u);
    EXPECT_TRUE(com2.commands().empty());

    EXPECT_TRUE(tarnlink().PortClose());
    EXPECT_FALSE(tarnlink().PortClose());
}

TEST_F(PortControl, PortInitialWithoutAPortFails)
{
    // COM1 leads to something that is no terminal, so that the machine's own
    // first serial port is never touched.
    const NonPortEntry plain_file(1, NonPortEntry::Kind::PlainFile);
    EXPECT_FALSE(tarnlink().PortInitial("COM1", 9600, 5, 2));
    EXPECT_EQ(tarnlink().dfComSetBaudRate(9600), 1);
}

}  // namespace
