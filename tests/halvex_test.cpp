// libhalvex.so as the program loads it, against the simulated amplifier's
// USB endpoint in this process, answering as each test scripts it.
#include "HalvexApi.h"
#include "HalvexSocket.h"
#include "HalvexWire.h"
#include "Reply.h"
#include "UniqueFd.h"
#include "UsbEndpoint.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <numeric>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const testsupport::HalvexApi& api()
{
    return testsupport::halvex();
}

// The N + 3 command bytes: N, two header bytes, the N data bytes.
Bytes command(std::uint8_t address, std::uint8_t code, const Bytes& data = {})
{
    Bytes bytes(data.size() + 3);
    bytes[0] = static_cast<std::uint8_t>(data.size());
    bytes[1] = address;
    bytes[2] = code;
    std::copy(data.begin(), data.end(), bytes.begin() + 3);
    return bytes;
}

// A response block: M, two header bytes, the M data bytes, checksum.
Bytes block(std::uint8_t header1, std::uint8_t header2, const Bytes& data = {})
{
    return ampsim::Reply{header1, header2, data}.framed();
}

// What a buffer holds before a call, to show whether the call wrote to it.
constexpr std::uint8_t kFill = 0xA5;

Bytes filled(std::size_t size)
{
    return Bytes(size, kFill);
}

bool untouched(std::span<const std::uint8_t> bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == kFill; });
}

template <typename Call>
milliseconds time_of(Call&& call)
{
    const auto start = Clock::now();
    call();
    return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

int send(std::uint32_t handle, const Bytes& cmd, Bytes& response)
{
    return api().SndCmdAndRcvRsp(handle, static_cast<int>(cmd.size()), cmd.data(),
                                 static_cast<int>(response.size()), response.data());
}

// The default amplifier: each command's data comes back in the block, under
// the command's header bytes.
std::optional<Bytes> echo(std::span<const std::uint8_t> cmd)
{
    return block(cmd[1], cmd[2], Bytes(cmd.begin() + 3, cmd.end()));
}

// The amplifier's side as a test scripts it.
class HalvexTest : public ::testing::Test {
protected:
    using Handler = ampsim::UsbCommandHandler;

    void answer_with(Handler handler)
    {
        std::lock_guard lock(script_->mutex);
        script_->handler = std::move(handler);
    }

    std::uint32_t connect()
    {
        std::uint32_t handle = 0;
        EXPECT_EQ(api().Connect(0, &handle), HLVX_OK);
        return handle;
    }

private:
    struct Script {
        std::mutex mutex;
        Handler handler = echo;
    };
    std::shared_ptr<Script> script_ = std::make_shared<Script>();

protected:
    ampsim::UsbEndpoint endpoint{[script = script_](std::span<const std::uint8_t> cmd) {
        Handler handler;
        {
            std::lock_guard lock(script->mutex);
            handler = script->handler;
        }
        return handler(cmd);
    }};
};

// A socket at the path that accepts connections into its backlog and never
// answers: something listens, but no amplifier.
class DeafListener {
public:
    DeafListener() : fd_(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0))
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string path = halvex::socket_path();
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        ok_ = fd_.valid() &&
              ::bind(fd_.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
              ::listen(fd_.get(), 4) == 0;
    }
    ~DeafListener()
    {
        if (fd_.valid()) {
            fd_.reset();
            ::unlink(halvex::socket_path().c_str());
        }
    }
    bool ok() const { return ok_; }
    void close_keeping_the_file() { fd_.reset(); }

private:
    common::UniqueFd fd_;
    bool ok_ = false;
};

// --- the library on its own -------------------------------------------------

TEST(HalvexLibrary, ExportsExactlyItsSevenFunctions)
{
    const std::string listing_command = "nm -D --defined-only '" + testsupport::halvex_path() + "'";
    FILE* pipe = ::popen(listing_command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string listing;
    char chunk[256];
    while (std::fgets(chunk, sizeof chunk, pipe) != nullptr) {
        listing += chunk;
    }
    ASSERT_EQ(::pclose(pipe), 0);

    std::vector<std::string> found;
    std::istringstream lines(listing);
    std::string address, type, name;
    while (lines >> address >> type >> name) {
        if (std::string("TtDdBbRrWwVvi").find(type) != std::string::npos) {
            found.push_back(name);
        }
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> expected{
        "_HLVX_Connect",    "_HLVX_Disconnect",      "_HLVX_GetInfo",          "_HLVX_GetVersion",
        "_HLVX_SetTimeout", "_HLVX_SndCmdAndRcvRsp", "_HLVX_SndCmdAndRcvRspEx"};
    EXPECT_EQ(found, expected);
}

TEST(HalvexLibrary, GetVersionWritesAllFourAndRefusesNullPointers)
{
    constexpr std::uint32_t kUnset = 0xDEADBEEF;
    std::uint32_t v[4] = {kUnset, kUnset, kUnset, kUnset};
    ASSERT_EQ(api().GetVersion(&v[0], &v[1], &v[2], &v[3]), HLVX_OK);
    EXPECT_EQ((std::vector<std::uint32_t>{v[0], v[1], v[2], v[3]}),
              (std::vector<std::uint32_t>{1, 0, 0, 0}));

    for (int missing = 0; missing < 4; ++missing) {
        std::uint32_t w[4] = {kUnset, kUnset, kUnset, kUnset};
        std::uint32_t* p[4] = {&w[0], &w[1], &w[2], &w[3]};
        p[missing] = nullptr;
        EXPECT_NE(api().GetVersion(p[0], p[1], p[2], p[3]), HLVX_OK) << "pointer " << missing;
        EXPECT_TRUE(std::all_of(w, w + 4, [](std::uint32_t x) { return x == kUnset; }))
            << "pointer " << missing;
    }
}

// --- connecting -------------------------------------------------------------

TEST(HalvexConnect, FailsWhenNothingListens)
{
    ASSERT_FALSE(std::filesystem::exists(halvex::socket_path()));
    std::uint32_t handle = 77;
    EXPECT_EQ(api().Connect(0, &handle), HLVX_ERR_NO_DEVICE);
    EXPECT_EQ(handle, 77u);
}

TEST(HalvexConnect, FailsWhenNothingAnswersAfterABoundedWait)
{
    DeafListener deaf;
    ASSERT_TRUE(deaf.ok());
    std::uint32_t handle = 77;
    int result = HLVX_OK;
    const auto took = time_of([&] { result = api().Connect(0, &handle); });
    // Something listens, but no amplifier answers: not "no device".
    EXPECT_EQ(result, HLVX_ERR_TIMEOUT);
    EXPECT_EQ(handle, 77u);
    EXPECT_GE(took, milliseconds(HLVX_CONNECT_WAIT_MS));
    EXPECT_LT(took, milliseconds(HLVX_CONNECT_WAIT_MS + 2000));
}

TEST_F(HalvexTest, ConnectRefusesOtherDevicesAndANullHandle)
{
    std::uint32_t handle = 77;
    EXPECT_EQ(api().Connect(1, &handle), HLVX_ERR_ARGUMENT);
    EXPECT_EQ(api().Connect(-1, &handle), HLVX_ERR_ARGUMENT);
    EXPECT_EQ(handle, 77u);
    EXPECT_EQ(api().Connect(0, nullptr), HLVX_ERR_ARGUMENT);
}

// --- exchanges --------------------------------------------------------------

TEST_F(HalvexTest, CarriesTheLongestCommandAndBlockByteForByte)
{
    // Between them the header and data bytes take every value 0..255.
    Bytes ascending(255);
    std::iota(ascending.begin(), ascending.end(), std::uint8_t{0});
    Bytes descending(255);
    std::iota(descending.rbegin(), descending.rend(), std::uint8_t{1});
    const Bytes cmd = command(0x00, 0xFF, ascending);
    const Bytes answer = block(0x00, 0xFF, descending);
    ASSERT_EQ(cmd.size(), 258u);
    ASSERT_EQ(answer.size(), 259u);
    answer_with([answer](std::span<const std::uint8_t>) { return answer; });

    const auto handle = connect();
    Bytes response = filled(300);
    ASSERT_EQ(send(handle, cmd, response), HLVX_OK);
    EXPECT_EQ(Bytes(response.begin(), response.begin() + 259), answer);
    EXPECT_TRUE(untouched(std::span(response).subspan(259)));
    EXPECT_EQ(endpoint.commands(), std::vector<Bytes>{cmd});
}

TEST_F(HalvexTest, CarriesTheShortestCommandAndBlockIntoAnExactBuffer)
{
    const auto handle = connect();
    const Bytes cmd = command(0x01, 0x42);
    Bytes response = filled(4);
    ASSERT_EQ(send(handle, cmd, response), HLVX_OK);
    EXPECT_EQ(response, block(0x01, 0x42));
    EXPECT_EQ(endpoint.commands(), std::vector<Bytes>{cmd});
}

TEST_F(HalvexTest, SilenceTimesOutNearTheSetTimeout)
{
    answer_with([](std::span<const std::uint8_t>) { return std::nullopt; });
    const auto handle = connect();
    ASSERT_EQ(api().SetTimeout(handle, 200), HLVX_OK);
    Bytes response = filled(16);
    int result = HLVX_OK;
    const auto took = time_of([&] { result = send(handle, command(0, 0x10), response); });
    EXPECT_EQ(result, HLVX_ERR_TIMEOUT);
    EXPECT_GE(took, milliseconds(200));
    EXPECT_LT(took, milliseconds(1200));
    EXPECT_TRUE(untouched(response));
    EXPECT_EQ(endpoint.commands().size(), 1u);
}

TEST_F(HalvexTest, SilenceTimesOutAfterTwoSecondsByDefault)
{
    answer_with([](std::span<const std::uint8_t>) { return std::nullopt; });
    const auto handle = connect();
    Bytes response = filled(16);
    int result = HLVX_OK;
    const auto took = time_of([&] { result = send(handle, command(0, 0x10), response); });
    EXPECT_EQ(result, HLVX_ERR_TIMEOUT);
    EXPECT_GE(took, milliseconds(HLVX_DEFAULT_TIMEOUT_MS));
    EXPECT_LT(took, milliseconds(HLVX_DEFAULT_TIMEOUT_MS + 1500));
}

TEST_F(HalvexTest, TheExCallWaitsItsOwnTimeoutNotTheHandles)
{
    answer_with([](std::span<const std::uint8_t>) { return std::nullopt; });
    const auto handle = connect();
    ASSERT_EQ(api().SetTimeout(handle, 10000), HLVX_OK);
    const Bytes cmd = command(0, 0x10);
    Bytes response = filled(16);
    int result = HLVX_OK;
    const auto took = time_of([&] {
        result = api().SndCmdAndRcvRspEx(handle, static_cast<int>(cmd.size()), cmd.data(),
                                         static_cast<int>(response.size()), response.data(), 200);
    });
    EXPECT_EQ(result, HLVX_ERR_TIMEOUT);
    EXPECT_GE(took, milliseconds(200));
    EXPECT_LT(took, milliseconds(1200));
    EXPECT_TRUE(untouched(response));
}

TEST_F(HalvexTest, ALateAnswerIsNotTakenForTheNextOne)
{
    // Command 0x01 is answered only after the host has given up on it (200
    // ms); the next command waits long enough (the default 2 s) for the
    // late answer to arrive first.
    answer_with([](std::span<const std::uint8_t> cmd) {
        if (cmd[2] == 0x01) {
            std::this_thread::sleep_for(milliseconds(400));
        }
        return echo(cmd);
    });
    const auto handle = connect();
    auto give_up_on = [&](const Bytes& cmd) {
        Bytes response = filled(8);
        return api().SndCmdAndRcvRspEx(handle, static_cast<int>(cmd.size()), cmd.data(),
                                       static_cast<int>(response.size()), response.data(), 200);
    };
    ASSERT_EQ(give_up_on(command(0, 0x01, {0x11})), HLVX_ERR_TIMEOUT);
    Bytes response = filled(8);
    ASSERT_EQ(send(handle, command(0, 0x02, {0x22}), response), HLVX_OK);
    EXPECT_EQ(Bytes(response.begin(), response.begin() + 5), block(0, 0x02, {0x22}));

    // Also once the late answer has certainly been sitting there unread.
    ASSERT_EQ(give_up_on(command(0, 0x01, {0x33})), HLVX_ERR_TIMEOUT);
    std::this_thread::sleep_for(milliseconds(400));
    response = filled(8);
    ASSERT_EQ(send(handle, command(0, 0x03, {0x44}), response), HLVX_OK);
    EXPECT_EQ(Bytes(response.begin(), response.begin() + 5), block(0, 0x03, {0x44}));
}

TEST_F(HalvexTest, AMalformedAnswerFailsAndLeavesTheBufferUntouched)
{
    const Bytes good = block(0x00, 0x20, {1, 2, 3});
    Bytes one_more = good;
    one_more.push_back(0x00);
    const Bytes one_less(good.begin(), good.end() - 1);
    for (const Bytes& bad : {one_more, one_less, Bytes{0x00, 0x00, 0x00}, Bytes{}}) {
        answer_with([bad](std::span<const std::uint8_t>) { return bad; });
        const auto handle = connect();
        Bytes response = filled(32);
        EXPECT_EQ(send(handle, command(0, 0x20), response), HLVX_ERR_BAD_RESPONSE)
            << bad.size() << " bytes";
        EXPECT_TRUE(untouched(response)) << bad.size() << " bytes";
    }
}

TEST_F(HalvexTest, AResponseOneByteTooBigIsRefusedWhole)
{
    const Bytes answer = block(0x00, 0x30, Bytes(10, 0x5A));
    answer_with([answer](std::span<const std::uint8_t>) { return answer; });
    const auto handle = connect();
    const Bytes cmd = command(0, 0x30);

    Bytes response = filled(answer.size() + 8);
    EXPECT_EQ(api().SndCmdAndRcvRsp(handle, static_cast<int>(cmd.size()), cmd.data(),
                                    static_cast<int>(answer.size() - 1), response.data()),
              HLVX_ERR_BUFFER_SMALL);
    EXPECT_TRUE(untouched(response));

    ASSERT_EQ(api().SndCmdAndRcvRsp(handle, static_cast<int>(cmd.size()), cmd.data(),
                                    static_cast<int>(answer.size()), response.data()),
              HLVX_OK);
    EXPECT_EQ(Bytes(response.begin(), response.begin() + static_cast<long>(answer.size())), answer);
    EXPECT_TRUE(untouched(std::span(response).subspan(answer.size())));
}

TEST_F(HalvexTest, BadArgumentsFailWithoutSendingOrWriting)
{
    const auto handle = connect();
    const Bytes cmd = command(0, 0x40, {1, 2});  // N = 2, five bytes
    Bytes response = filled(32);
    auto call = [&](std::uint32_t h, int length, const std::uint8_t* c, int capacity,
                    std::uint8_t* r) { return api().SndCmdAndRcvRsp(h, length, c, capacity, r); };
    auto ex = [&](int timeout_ms) {
        return api().SndCmdAndRcvRspEx(handle, 5, cmd.data(), 32, response.data(), timeout_ms);
    };

    EXPECT_EQ(call(handle, 5, nullptr, 32, response.data()), HLVX_ERR_ARGUMENT);
    EXPECT_EQ(call(handle, 5, cmd.data(), 32, nullptr), HLVX_ERR_ARGUMENT);
    EXPECT_EQ(call(handle, 4, cmd.data(), 32, response.data()), HLVX_ERR_ARGUMENT);
    const Bytes longer = [&] {
        Bytes b = cmd;
        b.push_back(3);
        return b;
    }();
    EXPECT_EQ(call(handle, 6, longer.data(), 32, response.data()), HLVX_ERR_ARGUMENT);
    EXPECT_EQ(call(handle, 2, cmd.data(), 32, response.data()), HLVX_ERR_ARGUMENT);
    EXPECT_EQ(call(handle, -1, cmd.data(), 32, response.data()), HLVX_ERR_ARGUMENT);
    EXPECT_EQ(call(handle, 5, cmd.data(), 0, response.data()), HLVX_ERR_ARGUMENT);
    EXPECT_EQ(call(handle, 5, cmd.data(), -1, response.data()), HLVX_ERR_ARGUMENT);
    EXPECT_EQ(ex(0), HLVX_ERR_ARGUMENT);
    EXPECT_EQ(ex(-5), HLVX_ERR_ARGUMENT);
    EXPECT_EQ(call(0, 5, cmd.data(), 32, response.data()), HLVX_ERR_HANDLE);
    EXPECT_EQ(call(handle + 1000, 5, cmd.data(), 32, response.data()), HLVX_ERR_HANDLE);

    EXPECT_TRUE(untouched(response));
    EXPECT_TRUE(endpoint.commands().empty());
    // And the handle is still fine.
    ASSERT_EQ(call(handle, 5, cmd.data(), 32, response.data()), HLVX_OK);
    EXPECT_EQ(Bytes(response.begin(), response.begin() + 6), block(0, 0x40, {1, 2}));
}

TEST_F(HalvexTest, ARefusedTimeoutLeavesTheHandlesOwn)
{
    answer_with([](std::span<const std::uint8_t>) { return std::nullopt; });
    const auto handle = connect();
    ASSERT_EQ(api().SetTimeout(handle, 200), HLVX_OK);
    EXPECT_EQ(api().SetTimeout(handle, 0), HLVX_ERR_ARGUMENT);
    EXPECT_EQ(api().SetTimeout(handle, -100), HLVX_ERR_ARGUMENT);
    EXPECT_EQ(api().SetTimeout(handle + 1000, 5000), HLVX_ERR_HANDLE);
    Bytes response = filled(16);
    int result = HLVX_OK;
    const auto took = time_of([&] { result = send(handle, command(0, 0x10), response); });
    EXPECT_EQ(result, HLVX_ERR_TIMEOUT);
    EXPECT_GE(took, milliseconds(200));
    EXPECT_LT(took, milliseconds(1200));
}

// --- the cable --------------------------------------------------------------

TEST_F(HalvexTest, ADroppedConnectionFailsAtOnce)
{
    const auto handle = connect();
    Bytes response = filled(16);
    ASSERT_EQ(send(handle, command(0, 0x50), response), HLVX_OK);

    endpoint.drop_connections();
    response = filled(16);
    int result = HLVX_OK;
    const auto took = time_of([&] { result = send(handle, command(0, 0x51), response); });
    EXPECT_EQ(result, HLVX_ERR_LINK_LOST);
    EXPECT_LT(took, milliseconds(500));
    EXPECT_TRUE(untouched(response));
}

TEST_F(HalvexTest, ADropWhileWaitingEndsTheWaitAtOnce)
{
    answer_with([](std::span<const std::uint8_t>) { return std::nullopt; });
    const auto handle = connect();
    ASSERT_EQ(api().SetTimeout(handle, 10000), HLVX_OK);
    std::jthread puller([&] {
        std::this_thread::sleep_for(milliseconds(200));
        endpoint.drop_connections();
    });
    Bytes response = filled(16);
    int result = HLVX_OK;
    const auto took = time_of([&] { result = send(handle, command(0, 0x52), response); });
    EXPECT_EQ(result, HLVX_ERR_LINK_LOST);
    EXPECT_LT(took, milliseconds(2000));
    EXPECT_TRUE(untouched(response));
}

TEST_F(HalvexTest, AfterADropConnectingFailsAtOnceUntilReconnectIsAllowed)
{
    connect();
    endpoint.drop_connections();
    std::uint32_t handle = 0;
    int result = HLVX_OK;
    const auto took = time_of([&] { result = api().Connect(0, &handle); });
    // The simulator takes the connection and closes it: said as such.
    EXPECT_EQ(result, HLVX_ERR_LINK_LOST);
    EXPECT_LT(took, milliseconds(HLVX_CONNECT_WAIT_MS / 2));

    endpoint.reconnect_allowed(true);
    ASSERT_EQ(api().Connect(0, &handle), HLVX_OK);
    Bytes response = filled(8);
    ASSERT_EQ(send(handle, command(0, 0x53, {9}), response), HLVX_OK);
    EXPECT_EQ(Bytes(response.begin(), response.begin() + 5), block(0, 0x53, {9}));
}

// --- handles ----------------------------------------------------------------

TEST_F(HalvexTest, TwoHandlesWorkIndependently)
{
    const auto first = connect();
    const auto second = connect();
    ASSERT_NE(first, 0u);
    ASSERT_NE(second, 0u);
    ASSERT_NE(first, second);

    // Both at once from two threads: each answer belongs to its own command.
    std::atomic<int> mismatches{0};
    auto run = [&](std::uint32_t handle, std::uint8_t tag) {
        for (int i = 0; i < 100; ++i) {
            const Bytes data{tag, static_cast<std::uint8_t>(i)};
            Bytes response = filled(8);
            if (send(handle, command(0, 0x60, data), response) != HLVX_OK ||
                Bytes(response.begin(), response.begin() + 6) != block(0, 0x60, data)) {
                ++mismatches;
            }
        }
    };
    {
        std::jthread a(run, first, std::uint8_t{1});
        std::jthread b(run, second, std::uint8_t{2});
    }
    EXPECT_EQ(mismatches.load(), 0);
    EXPECT_EQ(endpoint.commands().size(), 200u);

    // One handle's time-out and end leave the other alone.
    ASSERT_EQ(api().SetTimeout(first, 100), HLVX_OK);
    ASSERT_EQ(api().Disconnect(first), HLVX_OK);
    Bytes response = filled(8);
    EXPECT_EQ(send(first, command(0, 0x61), response), HLVX_ERR_HANDLE);
    answer_with([](std::span<const std::uint8_t> cmd) {
        std::this_thread::sleep_for(milliseconds(300));
        return echo(cmd);
    });
    ASSERT_EQ(send(second, command(0, 0x62, {7}), response), HLVX_OK);
    EXPECT_EQ(Bytes(response.begin(), response.begin() + 5), block(0, 0x62, {7}));
}

TEST_F(HalvexTest, DisconnectThenSendFailsAndTheHandleIsNotReused)
{
    const auto handle = connect();
    ASSERT_EQ(api().Disconnect(handle), HLVX_OK);
    Bytes response = filled(16);
    EXPECT_EQ(send(handle, command(0, 0x70), response), HLVX_ERR_HANDLE);
    EXPECT_TRUE(untouched(response));
    EXPECT_EQ(api().Disconnect(handle), HLVX_ERR_HANDLE);
    EXPECT_EQ(api().Disconnect(0), HLVX_ERR_HANDLE);
    EXPECT_TRUE(endpoint.commands().empty());

    const auto next = connect();
    EXPECT_NE(next, handle);
    EXPECT_EQ(send(handle, command(0, 0x71), response), HLVX_ERR_HANDLE);
    EXPECT_EQ(send(next, command(0, 0x72), response), HLVX_OK);
}

TEST_F(HalvexTest, GetInfoGivesTheSocketPathWithinItsCapacity)
{
    const auto handle = connect();
    const std::string path = halvex::socket_path();
    const int needed = static_cast<int>(path.size() + 1);
    Bytes buffer = filled(path.size() + 8);
    int length = 0;

    EXPECT_EQ(api().GetInfo(handle, HLVX_INFO_SOCKET_PATH, buffer.data(), needed - 1, &length, 0),
              HLVX_ERR_BUFFER_SMALL);
    EXPECT_EQ(length, needed);
    EXPECT_TRUE(untouched(buffer));

    length = 0;
    ASSERT_EQ(api().GetInfo(handle, HLVX_INFO_SOCKET_PATH, buffer.data(), needed, &length, 0),
              HLVX_OK);
    EXPECT_EQ(length, needed);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer.data())), path);

    length = -1;
    buffer = filled(buffer.size());
    EXPECT_EQ(api().GetInfo(handle, 99, buffer.data(), 256, &length, 0), HLVX_ERR_ARGUMENT);
    EXPECT_EQ(api().GetInfo(handle + 1000, HLVX_INFO_SOCKET_PATH, buffer.data(),
                            static_cast<int>(buffer.size()), &length, 0),
              HLVX_ERR_HANDLE);
    EXPECT_EQ(length, -1);
    EXPECT_TRUE(untouched(buffer));
}

// --- the endpoint itself ----------------------------------------------------

// Without a runtime folder the socket is in /tmp under a name of the user's
// own, so that users never meet.
TEST(HalvexSocket, WithoutARuntimeFolderIsTheUsersOwnInTmp)
{
    const std::filesystem::path in_runtime_folder = halvex::socket_path();
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(halvex::socket_path(), "/tmp/quillon-halvex-" + std::to_string(::getuid()) + ".sock");
    ::setenv("XDG_RUNTIME_DIR", in_runtime_folder.parent_path().c_str(), 1);
}

TEST(HalvexEndpoint, ReplacesAStaleSocketFileAndRemovesItsOwn)
{
    {
        // A simulator that died without cleaning up leaves its file behind.
        DeafListener died;
        ASSERT_TRUE(died.ok());
        died.close_keeping_the_file();
        ASSERT_TRUE(std::filesystem::exists(halvex::socket_path()));

        ampsim::UsbEndpoint endpoint([](std::span<const std::uint8_t> cmd) { return echo(cmd); });
        std::uint32_t handle = 0;
        EXPECT_EQ(api().Connect(0, &handle), HLVX_OK);
    }
    EXPECT_FALSE(std::filesystem::exists(halvex::socket_path()));
}

TEST(HalvexEndpoint, DoesNotTakeOverALiveOneAndSaysWhichPathIsTaken)
{
    ampsim::UsbEndpoint first([](std::span<const std::uint8_t> cmd) { return echo(cmd); });
    try {
        ampsim::UsbEndpoint second([](std::span<const std::uint8_t>) { return std::nullopt; });
        ADD_FAILURE() << "a second endpoint took the socket over";
    } catch (const std::system_error& error) {
        EXPECT_NE(std::string(error.what()).find(first.path()), std::string::npos) << error.what();
    }
    std::uint32_t handle = 0;
    ASSERT_EQ(api().Connect(0, &handle), HLVX_OK);
    Bytes response = filled(8);
    EXPECT_EQ(send(handle, command(0, 0x80, {1}), response), HLVX_OK);
}

TEST(HalvexEndpoint, AnswersAMalformedCommandAsABadRequestWithoutTheHandler)
{
    std::atomic<int> calls{0};
    ampsim::UsbEndpoint endpoint([&](std::span<const std::uint8_t> cmd) {
        ++calls;
        return echo(cmd);
    });
    const common::UniqueFd client(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0));
    const int fd = client.get();
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, endpoint.path().c_str(), endpoint.path().size() + 1);
    ASSERT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);

    namespace wire = halvex::wire;
    const Bytes says_two_has_one{2, 0, 0x90, 1};
    const Bytes message = wire::request(wire::Kind::Command, 41, says_two_has_one);
    ASSERT_EQ(::send(fd, message.data(), message.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(message.size()));
    pollfd entry{fd, POLLIN, 0};
    ASSERT_EQ(::poll(&entry, 1, 2000), 1);
    std::uint8_t buffer[wire::kReceiveBuffer];
    const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
    ASSERT_GT(got, 0);
    const auto answer =
        wire::parse_answer(std::span<const std::uint8_t>(buffer, static_cast<std::size_t>(got)));
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->sequence, 41u);
    EXPECT_EQ(answer->status, static_cast<std::uint8_t>(wire::Status::BadRequest));
    EXPECT_EQ(calls.load(), 0);
    EXPECT_TRUE(endpoint.commands().empty());
}

}  // namespace
