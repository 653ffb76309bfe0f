// The serial adapter through the real libtarnlink.so, against the simulated
// amplifier on pseudo-terminals.
#include "Commands.h"
#include "IntegerText.h"
#include "MessageRecorder.h"
#include "SharedLibrary.h"
#include "SimulatedPort.h"
#include "TestEnvironment.h"
#include "UniqueFd.h"
#include "ZeroSumChecksum.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>
#include <algorithm>
#include <array>
#include <chrono>
#include <climits>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

using quillon::ConversionError;
using quillon::Message;
using quillon::MessageIcon;
using quillon::SharedLibrary;
using quillon::TCommAdapter;
using testsupport::MessageRecorder;
using testsupport::SimulatedPort;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kFill = 0xA5;
const Message kLoadFailed{"ERR_LOADCOMDLL", "CHR_ERROR", MessageIcon::Error};
const Message kTimeoutRefused{"SetTimeout2", "", MessageIcon::Plain};

// A caller's response buffer (150 bytes, as the program's handlers own),
// filled with a pattern so that every byte written shows.
template <std::size_t Size = 150>
struct ResponseBuffer {
    std::array<std::uint8_t, Size> bytes;
    ResponseBuffer() { bytes.fill(kFill); }
    std::span<std::uint8_t> span() { return bytes; }
    Bytes first(std::size_t count) const { return Bytes(bytes.begin(), bytes.begin() + count); }
    bool untouched_from(std::size_t offset) const
    {
        return std::all_of(bytes.begin() + offset, bytes.end(),
                           [](std::uint8_t b) { return b == kFill; });
    }
};

Bytes with_checksum(Bytes block)
{
    block.push_back(common::zero_sum_checksum(block));
    return block;
}

// The amplifier answers with header 12 34 and data.
ampsim::Responder reply_data(Bytes data)
{
    return [data = std::move(data)](std::span<const std::uint8_t>) {
        return ampsim::Reply{0x12, 0x34, data};
    };
}

// Whether another opener can lock the port now, i.e. nobody holds it.
bool port_is_free(const SimulatedPort& port)
{
    const common::UniqueFd fd(
        ::open(port.line.link_path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
    return fd.valid() && ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0;
}

// The peer counts a response once its write returns, which may be just after
// the host has read it: give the count a moment to catch up.
bool responses_reach(const SimulatedPort& port, int count)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (port.peer.responses_sent() < count && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return port.peer.responses_sent() == count;
}

speed_t line_speed(const SimulatedPort& port)
{
    termios tio{};
    ::tcgetattr(port.line.held_slave_fd(), &tio);
    return ::cfgetospeed(&tio);
}

bool library_is_loaded(const std::string& path)
{
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) {
        return false;
    }
    ::dlclose(handle);
    return true;
}

std::string missing_library_path()
{
    return testsupport::private_root() + "/nowhere/libtarnlink.so";
}

class SerialAdapter : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(adapter.LoadDriver());
        ASSERT_TRUE(adapter.OpenPort("COM1"));
    }

    // Sends into a fresh 150-byte buffer, kept in `last` for inspection.
    bool send(std::uint32_t command_word, const Bytes& payload = {})
    {
        last = {};
        return adapter.SendCommand(command_word, payload, last.span());
    }

    SimulatedPort com1{1, 0, reply_data({0x11, 0x22, 0x33})};
    MessageRecorder messages;
    TCommAdapter adapter;
    ResponseBuffer<> last;
};

// --- Command word layout -------------------------------------------------

struct LayoutCase {
    const char* what;
    std::uint32_t command_word;
    Bytes payload;
    Bytes block;  // as the amplifier receives it, checksum included
};

TEST_F(SerialAdapter, CommandWordsBecomeTheseBlocks)
{
    const Bytes p8{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
    const LayoutCase cases[] = {
        {"no parameters", 0xDF00, {}, {0x00, 0x00, 0xDF, 0x21}},
        {"log block read", 0x1FA00, {0x00}, {0x01, 0x00, 0xFA, 0x00, 0x05}},
        {"only N payload bytes are sent",
         0x1FA00,
         {0x07, 0x99},
         with_checksum({0x01, 0x00, 0xFA, 0x07})},
        {"log control", 0x8EA00, p8,
         with_checksum({0x08, 0x00, 0xEA, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88})},
        {"bits 24-31 unused", 0xAB00DF00, {}, {0x00, 0x00, 0xDF, 0x21}},
        // With a leading byte the payload gives N - 1 bytes; exactly those suffice.
        {"leading 0x25 makes N = 5",
         0x3C125,
         {0x11, 0x22, 0x33, 0x44},
         with_checksum({0x05, 0x00, 0xC1, 0x25, 0x11, 0x22, 0x33, 0x44})},
        {"leading 0x2F with N = 0 still 5",
         0x0C12F,
         {0x11, 0x22, 0x33, 0x44},
         with_checksum({0x05, 0x00, 0xC1, 0x2F, 0x11, 0x22, 0x33, 0x44})},
        {"leading 0x10 then N - 1 payload bytes",
         0x3C110,
         {0x11, 0x22},
         with_checksum({0x03, 0x00, 0xC1, 0x10, 0x11, 0x22})},
        {"leading 0x10 with N = 0 sends nothing", 0x0C110, {}, with_checksum({0x00, 0x00, 0xC1})},
        {"leading 0x30 is no length", 0x1C130, {}, with_checksum({0x01, 0x00, 0xC1, 0x30})},
        {"only N - 1 payload bytes are sent", 0x2C110, p8,
         with_checksum({0x02, 0x00, 0xC1, 0x10, 0x11})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        com1.peer.clear_records();
        ASSERT_TRUE(send(c.command_word, c.payload));
        ASSERT_EQ(com1.peer.commands().size(), 1u);
        EXPECT_EQ(com1.peer.commands()[0], c.block);
    }
    EXPECT_TRUE(messages.shown().empty());
}

TEST_F(SerialAdapter, PayloadShorterThanTheCommandAsksForIsRefusedUnsent)
{
    const struct {
        const char* what;
        std::uint32_t command_word;
        std::size_t payload_size;
    } cases[] = {
        {"N = 1, none given", 0x1FA00, 0},
        {"N = 8, seven given", 0x8EA00, 7},
        {"leading 0x25 needs four", 0x3C125, 3},
        {"leading 0x10 with N = 3 needs two", 0x3C110, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(send(c.command_word, Bytes(c.payload_size, 0x01)));
        EXPECT_TRUE(last.untouched_from(0));
    }
    EXPECT_TRUE(com1.peer.commands().empty());
    EXPECT_TRUE(messages.shown().empty());
}

// --- Response buffer -----------------------------------------------------

TEST_F(SerialAdapter, CopiesExactlyTheResponseBlock)
{
    ASSERT_TRUE(send(0xDF00));
    EXPECT_EQ(last.first(7), with_checksum({0x03, 0x12, 0x34, 0x11, 0x22, 0x33}));
    EXPECT_TRUE(last.untouched_from(7));

    // 146 data bytes fill the 150 bytes to the last one.
    com1.peer.set_responder(reply_data(Bytes(146, 0x5A)));
    ASSERT_TRUE(send(0xDF00));
    EXPECT_EQ(last.bytes[0], 146);
    EXPECT_EQ(last.bytes[148], 0x5A);
    EXPECT_EQ(last.bytes[149], with_checksum(last.first(149)).back());
}

TEST_F(SerialAdapter, ResponseLongerThanTheBufferIsRefusedUntouched)
{
    for (std::size_t m : {147u, 200u, 255u}) {
        SCOPED_TRACE(m);
        com1.peer.set_responder(reply_data(Bytes(m, 0x5A)));
        const int sent_before = com1.peer.responses_sent();
        EXPECT_FALSE(send(0x1FA00, {0x00}));
        EXPECT_TRUE(last.untouched_from(0));
        // The response did arrive: it is refused, not lost.
        EXPECT_TRUE(responses_reach(com1, sent_before + 1));
    }
    // The largest block fits a buffer of its size.
    ResponseBuffer<259> large;
    ASSERT_TRUE(adapter.SendCommand(0x1FA00, Bytes{0x00}, large.span()));
    EXPECT_EQ(large.bytes[0], 255);
    EXPECT_EQ(large.bytes[258], with_checksum(large.first(258)).back());
}

TEST_F(SerialAdapter, FailedExchangeLeavesTheBufferUntouched)
{
    com1.peer.set_faults({.nak_block = 2});
    EXPECT_FALSE(send(0xDF00));
    EXPECT_TRUE(last.untouched_from(0));
    EXPECT_TRUE(messages.shown().empty());
    // The next one gets through again.
    EXPECT_TRUE(send(0xDF00));
}

// --- Reply time-outs -----------------------------------------------------
// The amplifier answers after 2.5 s: too late for 2 s, in time for 6 or 16 s.

constexpr std::chrono::milliseconds kSlowReply{2500};

TEST_F(SerialAdapter, TwoSecondsApplyUntilACommandWithItsOwnTimeout)
{
    com1.peer.set_faults({.response_delay = kSlowReply});
    // Command 0x48 with a parameter byte is not the 6 s command word.
    EXPECT_FALSE(send(0x14800, {0x00}));
    EXPECT_EQ(adapter.ReplyTimeout(), 2);
}

TEST_F(SerialAdapter, After0xCE00FollowingCommandsWaitSixteenSeconds)
{
    ASSERT_TRUE(send(0xCE00));
    EXPECT_EQ(adapter.ReplyTimeout(), 16);
    com1.peer.set_faults({.response_delay = kSlowReply});
    EXPECT_TRUE(send(0xDF00));
    EXPECT_EQ(adapter.ReplyTimeout(), 16);
}

TEST_F(SerialAdapter, Commands0x4800And0x9800WaitSixSeconds)
{
    com1.peer.set_faults({.response_delay = kSlowReply});
    for (std::uint32_t word : {0x4800u, 0x9800u}) {
        SCOPED_TRACE(word);
        ASSERT_TRUE(adapter.SetReplyTimeout(2));
        EXPECT_TRUE(send(word));
        EXPECT_EQ(adapter.ReplyTimeout(), 6);
    }
    // The 6 s stay for a command without its own time-out.
    EXPECT_TRUE(send(0x14800, {0x00}));
    EXPECT_EQ(adapter.ReplyTimeout(), 6);
}

TEST_F(SerialAdapter, ReplyTimeoutOutsideOneTo255ChangesNothing)
{
    ASSERT_TRUE(adapter.SetReplyTimeout(7));
    for (int seconds : {0, 256, -1, INT_MIN, INT_MAX}) {
        SCOPED_TRACE(seconds);
        EXPECT_FALSE(adapter.SetReplyTimeout(seconds));
        EXPECT_EQ(adapter.ReplyTimeout(), 7);
    }
    for (int seconds : {1, 255}) {
        SCOPED_TRACE(seconds);
        EXPECT_TRUE(adapter.SetReplyTimeout(seconds));
        EXPECT_EQ(adapter.ReplyTimeout(), seconds);
    }
    EXPECT_TRUE(messages.shown().empty());
}

TEST_F(SerialAdapter, ClosedPortShowsSetTimeout2AndSendsNothing)
{
    adapter.ClosePort();
    EXPECT_FALSE(adapter.IsOpen());
    EXPECT_FALSE(adapter.SetReplyTimeout(5));
    EXPECT_EQ(messages.shown(), std::vector<Message>{kTimeoutRefused});
    // The value is kept all the same; the library takes it at the next try.
    EXPECT_EQ(adapter.ReplyTimeout(), 5);

    messages.clear();
    EXPECT_FALSE(send(0xDF00));
    EXPECT_EQ(messages.shown(), std::vector<Message>{kTimeoutRefused});
    EXPECT_TRUE(last.untouched_from(0));
    EXPECT_TRUE(com1.peer.commands().empty());
}

// --- Opening and closing -------------------------------------------------

TEST_F(SerialAdapter, PortNumberIsTheTextAfterTheFirstM)
{
    SimulatedPort com12(12);
    ASSERT_TRUE(adapter.OpenPort("COM12"));
    EXPECT_EQ(adapter.PortNumber(), 12);
    EXPECT_EQ(adapter.PortName(), "COM12");
    EXPECT_TRUE(send(0xDF00));
    EXPECT_EQ(com12.peer.commands().size(), 1u);

    // Without an M the whole name is the number.
    SimulatedPort com5(5);
    ASSERT_TRUE(adapter.OpenPort("5"));
    EXPECT_EQ(adapter.PortNumber(), 5);
    EXPECT_EQ(adapter.PortName(), "5");
    EXPECT_TRUE(send(0xDF00));
    EXPECT_EQ(com5.peer.commands().size(), 1u);
}

TEST_F(SerialAdapter, PortNameWithoutANumberRaisesTheConversionError)
{
    const struct {
        const char* name;
        const char* converted;
    } cases[] = {{"COMX", "X"}, {"COM", ""}, {"COMM2", "M2"}, {"MCOM3", "COM3"}, {"", ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(adapter.OpenPort("COM1"));
        try {
            adapter.OpenPort(c.name);
            ADD_FAILURE() << "no conversion error";
        } catch (const ConversionError& error) {
            EXPECT_EQ(error.text(), c.converted);
            EXPECT_EQ(std::string(error.what()),
                      "'" + std::string(c.converted) + "' is not a valid integer value.");
        }
        // The open port was closed before the name was read.
        EXPECT_FALSE(adapter.IsOpen());
        EXPECT_TRUE(port_is_free(com1));
        EXPECT_EQ(adapter.PortName(), "COM1");
        EXPECT_EQ(adapter.PortNumber(), 1);
    }
}

TEST_F(SerialAdapter, RefusedOpenKeepsTheNameThatLastOpened)
{
    EXPECT_FALSE(adapter.OpenPort("COM3"));  // nothing there
    EXPECT_FALSE(adapter.IsOpen());
    EXPECT_EQ(adapter.PortName(), "COM1");
    EXPECT_EQ(adapter.PortNumber(), 3);

    SimulatedPort com12(12);
    ASSERT_TRUE(adapter.OpenPort("COM12"));
    EXPECT_FALSE(adapter.OpenPort("COM3"));
    EXPECT_EQ(adapter.PortName(), "COM12");
}

TEST_F(SerialAdapter, OpenWhileOpenClosesTheOldPortFirst)
{
    SimulatedPort com2(2);
    EXPECT_FALSE(port_is_free(com1));
    ASSERT_TRUE(adapter.OpenPort("COM2"));
    EXPECT_TRUE(port_is_free(com1));
    EXPECT_EQ(adapter.PortName(), "COM2");

    // The library holds one port: reopening the same one works only because
    // the adapter closes it first.
    ASSERT_TRUE(adapter.OpenPort("COM2"));
    EXPECT_TRUE(send(0xDF00));
    EXPECT_EQ(com2.peer.commands().size(), 1u);
    EXPECT_TRUE(com1.peer.commands().empty());
}

TEST_F(SerialAdapter, BaudRateAppliesNowOrAtTheNextOpen)
{
    EXPECT_TRUE(adapter.SetBaudRate(19200));
    EXPECT_EQ(line_speed(com1), B19200);

    adapter.ClosePort();
    EXPECT_FALSE(adapter.SetBaudRate(38400));
    EXPECT_EQ(adapter.BaudRate(), 38400);
    ASSERT_TRUE(adapter.OpenPort("COM1"));
    EXPECT_EQ(line_speed(com1), B38400);
}

TEST(SerialAdapterLifetime, DestroyingTheAdapterClosesThePortAndReleasesTheLibrary)
{
    SimulatedPort com1(1);
    const std::string library = testsupport::bin_dir() + "/libtarnlink.so";
    {
        TCommAdapter adapter;
        ASSERT_TRUE(adapter.LoadDriver());
        ASSERT_TRUE(adapter.OpenPort("COM1"));
        EXPECT_FALSE(port_is_free(com1));
        EXPECT_TRUE(library_is_loaded(library));
    }
    EXPECT_TRUE(port_is_free(com1));
    EXPECT_FALSE(library_is_loaded(library));
}

// --- Loading the library -------------------------------------------------

TEST(SerialAdapterLoading, VersionTextOfTheLinkLibrary)
{
    MessageRecorder messages;
    TCommAdapter adapter;
    ASSERT_TRUE(adapter.LoadDriver());
    EXPECT_EQ(adapter.VersionText(), "1.00");
    EXPECT_TRUE(messages.shown().empty());
}

TEST(SerialAdapterLoading, VersionTextSkipsBits8To11)
{
    TCommAdapter adapter(QUILLON_STUB_COMPLETE);
    ASSERT_TRUE(adapter.LoadDriver());
    EXPECT_EQ(adapter.VersionText(), "1.59");  // of 0x1F59
    EXPECT_TRUE(library_is_loaded(QUILLON_STUB_COMPLETE));
    adapter.UnloadDriver();
    EXPECT_FALSE(adapter.IsLoaded());
    EXPECT_FALSE(library_is_loaded(QUILLON_STUB_COMPLETE));
}

TEST(SerialAdapterLoading, TheLibraryIsTakenFromBesideTheProgramElseFromLibQuillon)
{
    namespace fs = std::filesystem;
    struct Layout {
        std::string name;
        std::vector<std::string> libraries;
        std::string found;
        bool installed;
    };
    const std::vector<Layout> layouts = {
        {"build", {"bin/libtarnlink.so"}, "bin/libtarnlink.so", false},
        {"installed", {"lib/quillon/libtarnlink.so"}, "bin/../lib/quillon/libtarnlink.so", true},
        {"both", {"bin/libtarnlink.so", "lib/quillon/libtarnlink.so"}, "bin/libtarnlink.so", false},
        {"neither", {}, "bin/libtarnlink.so", false},
    };
    for (const auto& layout : layouts) {
        SCOPED_TRACE(layout.name);
        const std::string root = testsupport::private_root() + "/layout-" + layout.name + "/";
        fs::create_directories(root + "bin");
        for (const auto& library : layout.libraries) {
            fs::create_directories(fs::path(root + library).parent_path());
            std::ofstream(root + library).flush();
        }
        EXPECT_EQ(SharedLibrary::program_library(root + "bin/quillon", "libtarnlink.so"),
                  root + layout.found);
        EXPECT_EQ(SharedLibrary::runs_installed(root + "bin/quillon"), layout.installed);
    }
}

TEST(SerialAdapterLoading, MissingOrIncompleteLibraryFailsWithErrLoadComDll)
{
    // Each failure keeps its cause: the loader's reason naming the file, or
    // the entry point missing.
    const struct {
        std::string path;
        std::string cause;
    } cases[] = {
        {missing_library_path(), missing_library_path() + ": cannot open shared object file"},
        {QUILLON_STUB_PARTIAL,
         std::string(QUILLON_STUB_PARTIAL) + ": no entry point dfComSetTimeout2"},
    };
    for (const auto& [path, cause] : cases) {
        SCOPED_TRACE(path);
        MessageRecorder messages;
        TCommAdapter adapter(path);
        EXPECT_FALSE(adapter.LoadDriver());
        EXPECT_EQ(messages.shown(), std::vector<Message>{kLoadFailed});
        EXPECT_TRUE(adapter.LoadFailure().starts_with(cause)) << adapter.LoadFailure();
        EXPECT_FALSE(adapter.IsLoaded());
        EXPECT_FALSE(library_is_loaded(path));
    }
}

TEST(SerialAdapterLoading, WithoutALibraryNothingOpensOrIsSent)
{
    SimulatedPort com1(1);
    MessageRecorder messages;
    TCommAdapter adapter(missing_library_path());
    ASSERT_FALSE(adapter.LoadDriver());
    messages.clear();

    EXPECT_FALSE(adapter.OpenPort("COM1"));
    EXPECT_FALSE(adapter.IsOpen());
    EXPECT_TRUE(port_is_free(com1));
    EXPECT_FALSE(adapter.SetBaudRate(19200));
    ResponseBuffer<> response;
    EXPECT_FALSE(adapter.SendCommand(0xDF00, {}, response.span()));
    EXPECT_TRUE(response.untouched_from(0));
    EXPECT_EQ(messages.shown(), std::vector<Message>{kTimeoutRefused});
}

}  // namespace
