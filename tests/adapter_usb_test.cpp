// The USB adapter through the real libhalvex.so, against the simulated
// amplifier's USB endpoint in this process.
#include "Commands.h"
#include "HalvexApi.h"
#include "HalvexSocket.h"
#include "MessageRecorder.h"
#include "Reply.h"
#include "TestEnvironment.h"
#include "UsbEndpoint.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <algorithm>
#include <array>
#include <climits>
#include <mutex>
#include <optional>

namespace {

using quillon::ConnectionRecord;
using quillon::Message;
using quillon::MessageIcon;
using quillon::TCommAdapterUSB;
using testsupport::MessageRecorder;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kFill = 0xA5;
const Message kLoadFailed{"ERR_LOADCOMDLL", "CHR_ERROR", MessageIcon::Error};
const Message kInvalidId{"Invalid CID", "Error", MessageIcon::Error};
const Message kConnectFailed{"Can't connect in USB mode. ", "Error", MessageIcon::Error};

// A caller's 150-byte response buffer with a fill pattern behind any write.
struct ResponseBuffer {
    std::array<std::uint8_t, 150> bytes;
    ResponseBuffer() { bytes.fill(kFill); }
    Bytes first(std::size_t count) const { return Bytes(bytes.begin(), bytes.begin() + count); }
    bool untouched_from(std::size_t offset) const
    {
        return std::all_of(bytes.begin() + offset, bytes.end(),
                           [](std::uint8_t b) { return b == kFill; });
    }
};

// A response block: M, header 12 34, the data, checksum.
Bytes response_block(const Bytes& data)
{
    return ampsim::Reply{0x12, 0x34, data}.framed();
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

// Whether the driver still knows handle as a connection.
bool driver_knows(std::uint32_t handle)
{
    std::array<char, 512> path{};
    int length = 0;
    return testsupport::halvex().GetInfo(handle, HLVX_INFO_SOCKET_PATH, path.data(),
                                         static_cast<int>(path.size()), &length, 0) == HLVX_OK;
}

std::vector<std::int32_t> ids_of(const std::vector<ConnectionRecord>& records)
{
    std::vector<std::int32_t> ids;
    for (const auto& record : records) {
        ids.push_back(record.id);
    }
    return ids;
}

// An amplifier that answers every command with the block set last.
class ScriptedAmplifier {
public:
    void answer_with(std::optional<Bytes> block)
    {
        std::lock_guard lock(mutex_);
        block_ = std::move(block);
    }
    ampsim::UsbCommandHandler handler()
    {
        return [this](std::span<const std::uint8_t>) {
            std::lock_guard lock(mutex_);
            return block_;
        };
    }

private:
    std::mutex mutex_;
    std::optional<Bytes> block_ = response_block({0x11, 0x22, 0x33});
};

class UsbAdapter : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(adapter.LoadDriver()); }

    bool send(std::uint32_t command_word, const Bytes& payload = {}, std::uint8_t address = 0)
    {
        last = {};
        return adapter.SendCommand(command_word, address, payload, last.bytes);
    }

    ScriptedAmplifier amplifier;
    std::optional<ampsim::UsbEndpoint> endpoint{std::in_place, amplifier.handler()};
    MessageRecorder messages;
    TCommAdapterUSB adapter;
    ResponseBuffer last;
};

// --- Command bytes -------------------------------------------------------

TEST_F(UsbAdapter, CommandWordsBecomeTheseDriverCommands)
{
    ASSERT_TRUE(adapter.Connect());
    const Bytes p9{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99};
    const struct {
        const char* what;
        std::uint32_t command_word;
        std::uint8_t address;
        Bytes payload;
        Bytes command;  // as the driver gets it; its length is the length passed
    } cases[] = {
        {"no parameters", 0xDF00, 0, p9, {0x00, 0x00, 0xDF}},
        {"log control",
         0x8EA00,
         0,
         p9,
         {0x08, 0x00, 0xEA, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}},
        {"log block read", 0x1FA00, 0, {0x07}, {0x01, 0x00, 0xFA, 0x07}},
        {"bits 0-7 ignored",
         0x8EA7F,
         0,
         p9,
         {0x08, 0x00, 0xEA, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}},
        {"a leading 0x25 is no length here",
         0x3C125,
         0,
         {0x11, 0x22, 0x33},
         {0x03, 0x00, 0xC1, 0x11, 0x22, 0x33}},
        {"bits 24-31 unused", 0xAB00DF00, 0, {}, {0x00, 0x00, 0xDF}},
        {"address byte passed", 0xDF00, 0x42, {}, {0x00, 0x42, 0xDF}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto before = endpoint->commands().size();
        ASSERT_TRUE(send(c.command_word, c.payload, c.address));
        ASSERT_EQ(endpoint->commands().size(), before + 1);
        EXPECT_EQ(endpoint->commands().back(), c.command);
    }
    EXPECT_TRUE(messages.shown().empty());
}

TEST_F(UsbAdapter, PayloadShorterThanNIsRefusedUnsent)
{
    ASSERT_TRUE(adapter.Connect());
    EXPECT_FALSE(send(0x1FA00, {}));
    EXPECT_FALSE(send(0x8EA00, Bytes(7, 0x01)));
    EXPECT_TRUE(last.untouched_from(0));
    EXPECT_TRUE(endpoint->commands().empty());
    EXPECT_TRUE(messages.shown().empty());
}

// --- Response buffer -----------------------------------------------------

TEST_F(UsbAdapter, CopiesExactlyTheResponseBlock)
{
    ASSERT_TRUE(adapter.Connect());
    ASSERT_TRUE(send(0xDF00));
    EXPECT_EQ(last.first(7), response_block({0x11, 0x22, 0x33}));
    EXPECT_TRUE(last.untouched_from(7));

    // 146 data bytes fill the 150 bytes to the last one.
    amplifier.answer_with(response_block(Bytes(146, 0x5A)));
    ASSERT_TRUE(send(0xDF00));
    EXPECT_EQ(last.first(150), response_block(Bytes(146, 0x5A)));
}

TEST_F(UsbAdapter, ResponseLongerThanTheBufferIsRefusedUntouched)
{
    ASSERT_TRUE(adapter.Connect());
    for (std::size_t m : {147u, 200u, 255u}) {
        SCOPED_TRACE(m);
        amplifier.answer_with(response_block(Bytes(m, 0x5A)));
        EXPECT_FALSE(send(0x1FA00, {0x00}));
        EXPECT_TRUE(last.untouched_from(0));
    }
    // The largest block fits a buffer of its size.
    std::array<std::uint8_t, 259> large{};
    ASSERT_TRUE(adapter.SendCommand(0x1FA00, 0, Bytes{0x00}, large));
    EXPECT_EQ(Bytes(large.begin(), large.end()), response_block(Bytes(255, 0x5A)));
    EXPECT_TRUE(messages.shown().empty());
}

TEST_F(UsbAdapter, DriverFailureLeavesTheBufferUntouched)
{
    ASSERT_TRUE(adapter.Connect());
    amplifier.answer_with(Bytes{0x05, 0x00, 0x00});  // not a response block
    EXPECT_FALSE(send(0xDF00));
    EXPECT_TRUE(last.untouched_from(0));
    EXPECT_TRUE(messages.shown().empty());
}

// --- Connections ---------------------------------------------------------

TEST_F(UsbAdapter, WithoutAConnectionSendShowsInvalidCid)
{
    EXPECT_EQ(TCommAdapterUSB::CurrentConnectionId(), 0);
    EXPECT_FALSE(send(0xDF00));
    EXPECT_EQ(messages.shown(), std::vector<Message>{kInvalidId});
    EXPECT_TRUE(last.untouched_from(0));
    EXPECT_TRUE(endpoint->commands().empty());
}

TEST_F(UsbAdapter, ConnectionsGetIdsFromOneAndTheLastIsCurrent)
{
    ASSERT_TRUE(adapter.Connect());
    EXPECT_EQ(TCommAdapterUSB::CurrentConnectionId(), 1);
    ASSERT_TRUE(adapter.Connect());
    EXPECT_EQ(TCommAdapterUSB::CurrentConnectionId(), 2);

    const auto records = TCommAdapterUSB::Connections();
    ASSERT_EQ(ids_of(records), (std::vector<std::int32_t>{1, 2}));
    EXPECT_NE(records[0].driver_handle, records[1].driver_handle);
    for (const auto& record : records) {
        EXPECT_EQ(record.connected, 1);
        EXPECT_TRUE(driver_knows(record.driver_handle));
    }

    // Commands go through the second: without it they fail, while the
    // first still carries commands of its own.
    ASSERT_EQ(testsupport::halvex().Disconnect(records[1].driver_handle), HLVX_OK);
    EXPECT_FALSE(send(0xDF00));
    const Bytes command{0x00, 0x00, 0xAF};
    std::array<std::uint8_t, 512> response{};
    EXPECT_EQ(testsupport::halvex().SndCmdAndRcvRsp(records[0].driver_handle, 3, command.data(),
                                                    512, response.data()),
              HLVX_OK);
    EXPECT_EQ(endpoint->commands().back(), command);
    EXPECT_TRUE(messages.shown().empty());
}

TEST_F(UsbAdapter, DisconnectAllDisconnectsEveryConnection)
{
    ASSERT_TRUE(adapter.Connect());
    ASSERT_TRUE(adapter.Connect());
    const auto records = TCommAdapterUSB::Connections();
    ASSERT_EQ(records.size(), 2u);

    adapter.DisconnectAll();
    EXPECT_TRUE(TCommAdapterUSB::Connections().empty());
    for (const auto& record : records) {
        EXPECT_FALSE(driver_knows(record.driver_handle));
    }
    // The current id stays but names nothing.
    EXPECT_EQ(TCommAdapterUSB::CurrentConnectionId(), 2);
    EXPECT_FALSE(send(0xDF00));
    EXPECT_EQ(messages.shown(), std::vector<Message>{kInvalidId});
    EXPECT_TRUE(endpoint->commands().empty());

    // Until the next connection.
    ASSERT_TRUE(adapter.Connect());
    EXPECT_EQ(TCommAdapterUSB::CurrentConnectionId(), 3);
    EXPECT_TRUE(send(0xDF00));
    EXPECT_EQ(endpoint->commands().size(), 1u);
}

TEST_F(UsbAdapter, RefusedConnectLeavesTheEarlierConnectionCurrent)
{
    // Each failure says why, naming the socket.
    const auto failed_because = [](const std::string& why) {
        Message failed = kConnectFailed;
        failed.details = halvex::socket_path() + ": " + why;
        return std::vector<Message>{failed};
    };
    endpoint.reset();  // nobody to answer
    EXPECT_FALSE(adapter.Connect());
    EXPECT_EQ(messages.shown(),
              failed_because("no amplifier there (is ampsim or the driver running?)"));
    EXPECT_TRUE(TCommAdapterUSB::Connections().empty());
    EXPECT_EQ(TCommAdapterUSB::CurrentConnectionId(), 0);

    endpoint.emplace(amplifier.handler());
    ASSERT_TRUE(adapter.Connect());
    // The refused connection used up id 1.
    EXPECT_EQ(TCommAdapterUSB::CurrentConnectionId(), 2);

    messages.clear();
    endpoint->drop_connections();
    endpoint->reconnect_allowed(false);
    EXPECT_FALSE(adapter.Connect());
    EXPECT_EQ(messages.shown(), failed_because("the amplifier closed the connection"));
    EXPECT_EQ(TCommAdapterUSB::CurrentConnectionId(), 2);
    EXPECT_EQ(ids_of(TCommAdapterUSB::Connections()), std::vector<std::int32_t>{2});
}

TEST_F(UsbAdapter, ANewAdapterEmptiesTheRegistry)
{
    ASSERT_TRUE(adapter.Connect());
    ASSERT_TRUE(adapter.Connect());
    TCommAdapterUSB second;
    EXPECT_TRUE(TCommAdapterUSB::Connections().empty());
    EXPECT_EQ(TCommAdapterUSB::CurrentConnectionId(), 0);
    ASSERT_TRUE(adapter.Connect());
    EXPECT_EQ(TCommAdapterUSB::CurrentConnectionId(), 1);
}

TEST(UsbConnectionIds, ZeroIsNeverAnId)
{
    const struct {
        std::int32_t last;
        std::int32_t next;
    } cases[] = {{0, 1}, {1, 2}, {41, 42}, {INT_MAX, INT_MIN}, {-2, -1}, {-1, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.last);
        EXPECT_EQ(quillon::next_connection_id(c.last), c.next);
    }
}

// --- Loading the library -------------------------------------------------

TEST(UsbAdapterLoading, MissingOrIncompleteLibraryFailsWithErrLoadComDll)
{
    const std::string missing = testsupport::private_root() + "/nowhere/libhalvex.so";
    for (const std::string& path : {missing, std::string(QUILLON_STUB_PARTIAL)}) {
        SCOPED_TRACE(path);
        MessageRecorder messages;
        TCommAdapterUSB adapter(path);
        EXPECT_FALSE(adapter.LoadDriver());
        EXPECT_EQ(messages.shown(), std::vector<Message>{kLoadFailed});
        EXPECT_FALSE(adapter.IsLoaded());
        EXPECT_FALSE(library_is_loaded(path));

        // Nothing to connect with.
        messages.clear();
        EXPECT_FALSE(adapter.Connect());
        Message unloaded = kConnectFailed;
        unloaded.details = adapter.LoadFailure();
        EXPECT_EQ(messages.shown(), std::vector<Message>{unloaded});
    }
}

TEST(UsbAdapterLoading, LoadingKeepsTheDriverVersionAndUnloadingReleases)
{
    TCommAdapterUSB adapter(QUILLON_STUB_COMPLETE);
    ASSERT_TRUE(adapter.LoadDriver());
    EXPECT_EQ(adapter.DriverVersion(), (std::array<std::uint32_t, 4>{11, 22, 33, 44}));
    EXPECT_TRUE(library_is_loaded(QUILLON_STUB_COMPLETE));
    adapter.UnloadDriver();
    EXPECT_FALSE(adapter.IsLoaded());
    EXPECT_FALSE(library_is_loaded(QUILLON_STUB_COMPLETE));
}

}  // namespace
