// The block transfer protocol, through the real library (libtarnlink.so, or
// Tarnlink.dll under Wine) against the scripted amplifier peer.
#include "ScriptedPort.h"
#include "TarnlinkApi.h"
#include "TestEnvironment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <numeric>
#include <thread>

namespace {

using testsupport::Bytes;
using testsupport::ScriptedPort;
using testsupport::tarnlink;
using Clock = std::chrono::steady_clock;

constexpr std::uint8_t ENQ = 0x05, EOT = 0x04, ACK = 0x06, NAK = 0x15;

// A response buffer with a fill pattern behind what the library may write.
struct ResponseBuffer {
    std::array<std::uint8_t, 1024> bytes;
    ResponseBuffer() { bytes.fill(0xA5); }
    Bytes block() const { return Bytes(bytes.begin(), bytes.begin() + bytes[0] + 4); }
    bool untouched_from(std::size_t offset) const
    {
        return std::all_of(bytes.begin() + static_cast<long>(offset), bytes.end(),
                           [](std::uint8_t b) { return b == 0xA5; });
    }
};

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

// Worked out here on its own rather than with the libraries' function, so
// that a fault in that function shows.
std::uint8_t checksum(const Bytes& bytes)
{
    return static_cast<std::uint8_t>(0u - std::accumulate(bytes.begin(), bytes.end(), 0u));
}

class BlockProtocol : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(tarnlink().dfComSetReady(9600, 1), 0); }
    void TearDown() override { tarnlink().dfComSetClose(); }

    void reply_with(Bytes data, std::uint8_t h1 = 0x00, std::uint8_t h2 = 0xFA)
    {
        com1.reply_with(std::move(data), h1, h2);
    }

    int send(std::uint8_t command, const Bytes& params, ResponseBuffer& response,
             int retry_limit = 1)
    {
        return tarnlink().communicate(command, params.data(),
                                      static_cast<std::uint8_t>(params.size()),
                                      response.bytes.data(), retry_limit);
    }

    // What the peer heard once the exchange is over (its last byte may still
    // be on its way through the pty).
    Bytes heard(std::size_t expected_size)
    {
        const auto until = Clock::now() + std::chrono::seconds(2);
        Bytes got = com1.received();
        while (got.size() < expected_size && Clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            got = com1.received();
        }
        return got;
    }

    ScriptedPort com1{1};
};

TEST(CommandBlock, WorkedExamplesAndLimits)
{
    const auto& api = tarnlink();
    struct Example {
        std::uint8_t n, command;
        Bytes params, wire;
    };
    const Example examples[] = {
        {0, 0x00, {}, {0x00, 0x00, 0x00, 0x00}},
        {0, 0xDF, {}, {0x00, 0x00, 0xDF, 0x21}},
        {0, 0xAF, {}, {0x00, 0x00, 0xAF, 0x51}},
        {1, 0xFA, {0x00}, {0x01, 0x00, 0xFA, 0x00, 0x05}},
        {8,
         0xEA,
         {1, 0x10, 0xFF, 0x42, 5, 0, 0, 0},
         {0x08, 0x00, 0xEA, 1, 0x10, 0xFF, 0x42, 5, 0, 0, 0, 0xB7}},
    };
    for (const auto& example : examples) {
        std::array<std::uint8_t, 300> out{};
        int length = -1;
        EXPECT_EQ(api.dfComMakeData(example.n, 0, example.command & 0x0F, example.command >> 4,
                                    example.params.data(), out.data(), &length),
                  0);
        ASSERT_EQ(length, static_cast<int>(example.wire.size()));
        EXPECT_EQ(Bytes(out.begin(), out.begin() + length), example.wire);
    }
    // Nibbles above 15 are kept to 8 bits; the address byte is taken as given.
    std::array<std::uint8_t, 8> out{};
    int length = 0;
    api.dfComMakeData(0, 0x7E, 0x1F, 0x13, nullptr, out.data(), &length);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 4),
              (Bytes{0x00, 0x7E, 0x4F, checksum({0x00, 0x7E, 0x4F})}));

    // 251 parameters make the longest block; 252 would not fit its length byte.
    Bytes params(255, 0x01);
    std::array<std::uint8_t, 300> big{};
    big.fill(0xEE);
    EXPECT_EQ(api.dfComMakeData(251, 0, 0, 0, params.data(), big.data(), &length), 0);
    EXPECT_EQ(length, 255);
    EXPECT_EQ(big[255], 0xEE) << "written past the block";
    big.fill(0xEE);
    length = -1;
    EXPECT_NE(api.dfComMakeData(252, 0, 0, 0, params.data(), big.data(), &length), 0);
    EXPECT_EQ(big[0], 0xEE);
    EXPECT_EQ(length, -1);
}

TEST_F(BlockProtocol, CleanExchangeOnTheWire)
{
    reply_with({0x11, 0x22});
    ResponseBuffer response;
    ASSERT_EQ(send(0xDF, {}, response), 0);
    EXPECT_EQ(heard(7), (Bytes{ENQ, 0x00, 0x00, 0xDF, 0x21, EOT, ACK}));
    // 02 00 FA 11 22 D1 sums to zero; exactly M + 4 bytes land in the buffer.
    EXPECT_EQ(response.block(), (Bytes{0x02, 0x00, 0xFA, 0x11, 0x22, 0xD1}));
    EXPECT_TRUE(response.untouched_from(6));
}

TEST_F(BlockProtocol, RefusedEnqIsOfferedAgainThenGivenUp)
{
    ResponseBuffer response;
    com1.set_faults({.refuse_enq = 1});
    ASSERT_EQ(send(0xDF, {}, response), 0);
    EXPECT_EQ(heard(8), (Bytes{ENQ, ENQ, 0x00, 0x00, 0xDF, 0x21, EOT, ACK}));

    com1.clear_records();
    com1.set_faults({.refuse_enq = 2});
    EXPECT_EQ(send(0xDF, {}, response), 1);
    EXPECT_EQ(heard(2), (Bytes{ENQ, ENQ})) << "no block without an EOT";
    EXPECT_TRUE(com1.commands().empty());

    // With retry limit 0 there is one try only.
    com1.clear_records();
    com1.set_faults({.refuse_enq = 1});
    EXPECT_EQ(send(0xDF, {}, response, 0), 1);
    EXPECT_EQ(heard(1), (Bytes{ENQ}));
}

TEST_F(BlockProtocol, RetryCounterStartsAgainAfterTheBlocksAck)
{
    // One refused block and one bad response: two failures, but the ACK of
    // the block sits between them, so retry limit 1 still carries it.
    reply_with({0x33});
    com1.set_faults({.nak_block = 1, .corrupt_response = 1});
    ResponseBuffer response;
    ASSERT_EQ(send(0xAF, {}, response), 0);
    const Bytes block{0x00, 0x00, 0xAF, 0x51};
    EXPECT_EQ(heard(14), concat({{ENQ}, block, {ENQ}, block, {EOT, NAK, EOT, ACK}}));
    EXPECT_EQ(response.block(),
              (Bytes{0x01, 0x00, 0xFA, 0x33, checksum({0x01, 0x00, 0xFA, 0x33})}));
    EXPECT_EQ(com1.responses_sent(), 2);
}

TEST_F(BlockProtocol, BadResponseIsNakedUntilTheLimitThenTheExchangeFails)
{
    reply_with({0x01, 0x02, 0x03});
    com1.set_faults({.corrupt_response = 2});
    ResponseBuffer response;
    EXPECT_EQ(send(0xAF, {}, response), 1);
    // NAK goes out on the last failed try as well.
    EXPECT_EQ(heard(9), (Bytes{ENQ, 0x00, 0x00, 0xAF, 0x51, EOT, NAK, EOT, NAK}));
}

TEST_F(BlockProtocol, NoPurgeBetweenRetries)
{
    // The peer sends its EOT for the retry right behind the NAK, and its ENQ
    // for the second response right behind the bad one. A host that purged
    // between tries would lose them and fail.
    reply_with({0x44});
    com1.set_faults({.nak_block = 1,
                     .corrupt_response = 1,
                     .early_eot_after_nak = true,
                     .early_enq_after_corrupt = true});
    ResponseBuffer response;
    ASSERT_EQ(send(0xAF, {}, response), 0);
    EXPECT_EQ(response.bytes[3], 0x44);
}

TEST_F(BlockProtocol, StaleInputBeforeTheExchangeIsPurged)
{
    // Leftovers of an earlier, abandoned exchange wait in the host's queue.
    ASSERT_TRUE(com1.leave_stale_input({ACK, EOT, ENQ, 0x02}));
    reply_with({0x55});
    ResponseBuffer response;
    ASSERT_EQ(send(0xAF, {}, response), 0);
    EXPECT_EQ(response.bytes[3], 0x55);
    EXPECT_EQ(heard(7), (Bytes{ENQ, 0x00, 0x00, 0xAF, 0x51, EOT, ACK}));
}

TEST_F(BlockProtocol, EveryByteValuePassesUnchangedBothWays)
{
    // Parameters 0x00..0xFA, then 0xFB..0xFF; the replies carry all 256
    // values in their data, header and checksum positions.
    Bytes first(251), second;
    std::iota(first.begin(), first.end(), 0);
    for (int value = 251; value < 256; ++value) {
        second.push_back(static_cast<std::uint8_t>(value));
    }
    Bytes data_a(255), data_b{0x13, 0x11};
    std::iota(data_a.begin(), data_a.end(), 1);  // 0x01..0xFF
    for (const auto& [params, data] : {std::pair{first, data_a}, std::pair{second, data_b}}) {
        com1.clear_records();
        reply_with(data, 0x00, 0xFF);
        ResponseBuffer response;
        ASSERT_EQ(send(0x7F, params, response), 0);
        ASSERT_EQ(com1.commands().size(), 1u);
        const Bytes sent = com1.commands()[0];
        const Bytes expected_block =
            concat({{static_cast<std::uint8_t>(params.size()), 0x00, 0x7F}, params});
        EXPECT_EQ(Bytes(sent.begin(), sent.end() - 1), expected_block);
        const Bytes header{static_cast<std::uint8_t>(data.size()), 0x00, 0xFF};
        const Bytes body = concat({header, data});
        EXPECT_EQ(response.block(), concat({body, {checksum(body)}}));
        EXPECT_TRUE(response.untouched_from(body.size() + 1));
    }
}

TEST_F(BlockProtocol, SilenceAfterTheBlockIsWaitedOutTwiceWithNaks)
{
    com1.answer_nothing();
    ASSERT_EQ(tarnlink().dfComSetTimeout2(1), 0);
    ResponseBuffer response;
    const auto start = Clock::now();
    EXPECT_EQ(send(0xDF, {}, response), 1);
    const auto took = Clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(1950));
    EXPECT_LT(took, std::chrono::milliseconds(2900));
    EXPECT_EQ(heard(7), (Bytes{ENQ, 0x00, 0x00, 0xDF, 0x21, NAK, NAK}));
}

TEST_F(BlockProtocol, UnansweredEnqTimesOutPerTry)
{
    com1.set_faults({.ignore_enq = 2});
    ASSERT_EQ(tarnlink().dfComSetTimeout2(1), 0);
    ResponseBuffer response;
    const auto start = Clock::now();
    EXPECT_EQ(send(0xDF, {}, response), 1);
    const auto took = Clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(1950));
    EXPECT_LT(took, std::chrono::milliseconds(2900));
    EXPECT_EQ(heard(2), (Bytes{ENQ, ENQ}));
}

TEST_F(BlockProtocol, LongerReplyTimeoutWaitsForASlowAmplifier)
{
    // 2 s is too short for a reply that comes after 2.5 s; 16 s is not.
    reply_with({0x66});
    com1.set_faults({.response_delay = std::chrono::milliseconds(2500)});
    ResponseBuffer response;
    ASSERT_EQ(tarnlink().dfComSetTimeout2(16), 0);
    EXPECT_EQ(send(0xDF, {}, response), 0);
    EXPECT_EQ(response.bytes[3], 0x66);
}

TEST_F(BlockProtocol, APulledCableEndsTheExchangeAtOnce)
{
    // Wine learns of a hang-up on a pseudo-terminal only when the wait that
    // runs then is over: there each wait is made 1 s, and one of them may
    // pass (silence would be waited out twice).
    const bool wine = testsupport::under_wine();
    const auto bound = std::chrono::milliseconds(wine ? 1900 : 1000);
    for (auto point : {ampsim::HangUpPoint::OnEnq, ampsim::HangUpPoint::AfterBlockAck,
                       ampsim::HangUpPoint::MidResponse}) {
        tarnlink().dfComSetClose();
        ScriptedPort com3(3, {0x01, 0x02, 0x03, 0x04});
        ASSERT_EQ(tarnlink().dfComSetReady(9600, 3), 0);
        if (wine) {
            ASSERT_EQ(tarnlink().dfComSetTimeout2(1), 0);
        }
        com3.set_faults({.hang_up = point});
        ResponseBuffer response;
        auto start = Clock::now();
        EXPECT_EQ(send(0xDF, {}, response), 1);
        EXPECT_LT(Clock::now() - start, bound) << "a hang-up must not be waited out as silence";
        // Nor is a line that is gone waited on again.
        start = Clock::now();
        EXPECT_EQ(send(0xDF, {}, response), 1);
        EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));
    }
}

TEST_F(BlockProtocol, OversizedCommandBlocksAreRefusedWithoutSending)
{
    Bytes params(255, 0x00);
    ResponseBuffer response;
    for (int n : {252, 255}) {
        EXPECT_EQ(send(0x10, Bytes(params.begin(), params.begin() + n), response), 1);
    }
    const Bytes block{0x00, 0x00, 0x00, 0x00};
    EXPECT_FALSE(tarnlink().CommLoop(block.data(), 3, response.bytes.data(), 1));
    EXPECT_FALSE(tarnlink().CommLoop(params.data(), 256, response.bytes.data(), 1));
    EXPECT_FALSE(tarnlink().CommLoop(nullptr, 4, response.bytes.data(), 1));
    EXPECT_FALSE(tarnlink().CommLoop(block.data(), 4, nullptr, 1));
    EXPECT_TRUE(response.untouched_from(0));
    // The next good exchange is the first thing on the wire.
    ASSERT_TRUE(tarnlink().CommLoop(block.data(), 4, response.bytes.data(), 1));
    EXPECT_EQ(heard(7), (Bytes{ENQ, 0x00, 0x00, 0x00, 0x00, EOT, ACK}));
}

TEST_F(BlockProtocol, NotOpenFailsEveryExchange)
{
    tarnlink().dfComSetClose();
    ResponseBuffer response;
    const auto start = Clock::now();
    EXPECT_EQ(send(0xDF, {}, response), 1);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_TRUE(com1.received().empty());
}

TEST_F(BlockProtocol, ABlockedLineFailsAtTheWriteDeadline)
{
    // No peer reads this line, and nothing written on it leaves.
    tarnlink().dfComSetClose();
    const testsupport::HeldLine held(4);
    ASSERT_EQ(tarnlink().dfComSetReady(9600, 4), 0);
    ASSERT_EQ(tarnlink().dfComSetTimeout2(1), 0);
    ResponseBuffer response;
    const auto start = Clock::now();
    EXPECT_EQ(send(0xDF, {}, response), 1);
    // Two tries, each a write held for its bound (the read's 1 s, as no
    // write time-out is set) and a read that waits out its 1 s.
    const auto took = Clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(3900));
    EXPECT_LT(took, std::chrono::seconds(6));
}

TEST_F(BlockProtocol, BackToBackExchangesLoseNoHandshakeByte)
{
    reply_with(Bytes(130, 0x5A));
    ResponseBuffer response;
    constexpr int kExchanges = 200;
    for (int i = 0; i < kExchanges; ++i) {
        ASSERT_EQ(send(0xFA, {static_cast<std::uint8_t>(i % 64)}, response), 0) << i;
    }
    // ENQ + 5 block bytes + EOT + ACK per exchange: every ACK arrived. The
    // peer counts a response before it reads its ACK, so once the last ACK
    // is heard the counts below are final. Under Wine the purge before an
    // exchange flushes the pseudo-terminal's output, and with it an ACK that
    // the peer had yet to read: there only the rest is sure to arrive.
    const std::size_t heard_bytes = heard(kExchanges * 8).size();
    if (testsupport::under_wine()) {
        EXPECT_GE(heard_bytes, static_cast<std::size_t>(kExchanges * 7));
        EXPECT_LE(heard_bytes, static_cast<std::size_t>(kExchanges * 8));
    } else {
        EXPECT_EQ(heard_bytes, static_cast<std::size_t>(kExchanges * 8));
    }
    EXPECT_EQ(com1.commands().size(), static_cast<std::size_t>(kExchanges));
    EXPECT_EQ(com1.responses_sent(), kExchanges);
}

}  // namespace
