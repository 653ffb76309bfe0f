// The simulated amplifier's side of the protocol, driven byte by byte from
// the program's end of the pseudo-terminal: what it does with broken input.
#include "SimulatedPort.h"
#include "UniqueFd.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <chrono>

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
constexpr std::uint8_t ENQ = 0x05, EOT = 0x04, ACK = 0x06, NAK = 0x15;

// The program's end of the line, opened directly.
class HostEnd {
public:
    explicit HostEnd(const std::string& path)
        : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK))
    {
    }
    bool ok() const { return fd_.valid(); }

    void send(const Bytes& bytes)
    {
        ASSERT_EQ(::write(fd_.get(), bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }

    // Whatever arrives within the wait, once the line has gone quiet.
    Bytes take(std::chrono::milliseconds wait = std::chrono::milliseconds(300))
    {
        Bytes got;
        const auto until = Clock::now() + wait;
        while (Clock::now() < until) {
            pollfd entry{fd_.get(), POLLIN, 0};
            if (::poll(&entry, 1, 20) > 0) {
                std::uint8_t chunk[512];
                const ssize_t n = ::read(fd_.get(), chunk, sizeof chunk);
                if (n > 0) {
                    got.insert(got.end(), chunk, chunk + n);
                }
            } else if (!got.empty()) {
                break;
            }
        }
        return got;
    }

private:
    common::UniqueFd fd_;
};

class PeerBehaviour : public ::testing::Test {
protected:
    testsupport::SimulatedPort com1{1, 0, testsupport::fixed_reply({0x77})};
    HostEnd host{com1.line.link_path()};

    // The response block the peer sends for command byte cmd.
    static Bytes reply_for(std::uint8_t cmd)
    {
        const std::uint8_t sum = static_cast<std::uint8_t>(0x01 + 0x00 + cmd + 0x77);
        return {0x01, 0x00, cmd, 0x77, static_cast<std::uint8_t>(0u - sum)};
    }
};

TEST_F(PeerBehaviour, AnswersAWholeExchange)
{
    ASSERT_TRUE(host.ok());
    host.send({ENQ});
    EXPECT_EQ(host.take(), Bytes{EOT});
    host.send({0x00, 0x00, 0xAF, 0x51});
    EXPECT_EQ(host.take(), (Bytes{ACK, ENQ}));
    host.send({EOT});
    EXPECT_EQ(host.take(), reply_for(0xAF));
    host.send({NAK});  // asked again: the same block after a fresh ENQ
    EXPECT_EQ(host.take(), Bytes{ENQ});
    host.send({EOT});
    EXPECT_EQ(host.take(), reply_for(0xAF));
    host.send({ACK});
    EXPECT_EQ(com1.peer.responses_sent(), 2);
}

TEST_F(PeerBehaviour, NakForABadChecksumAndNoiseBetweenExchangesIsIgnored)
{
    ASSERT_TRUE(host.ok());
    host.send({0x00, 0x42, 0x13});  // noise, no ENQ
    EXPECT_TRUE(host.take(std::chrono::milliseconds(100)).empty());
    host.send({ENQ});
    EXPECT_EQ(host.take(), Bytes{EOT});
    host.send({0x00, 0x00, 0xAF, 0x52});
    EXPECT_EQ(host.take(), Bytes{NAK});
    EXPECT_TRUE(com1.peer.commands().empty());
}

TEST_F(PeerBehaviour, ABlockCutOffIsAbandonedAndAFreshEnqIsServed)
{
    ASSERT_TRUE(host.ok());
    host.send({ENQ});
    EXPECT_EQ(host.take(), Bytes{EOT});
    host.send({0x08, 0x00, 0xEA, 0x01});  // 8 parameters announced, 1 sent
    EXPECT_TRUE(host.take(ampsim::BlockPeer::kBlockGap + std::chrono::milliseconds(150)).empty());
    host.send({ENQ});
    EXPECT_EQ(host.take(), Bytes{EOT});
    host.send({0x00, 0x00, 0xDF, 0x21});
    EXPECT_EQ(host.take(), (Bytes{ACK, ENQ}));
    ASSERT_EQ(com1.peer.commands().size(), 1u);
    EXPECT_EQ(com1.peer.commands()[0], (Bytes{0x00, 0x00, 0xDF, 0x21}));
}

TEST_F(PeerBehaviour, AFreshEnqInsteadOfEotStartsTheNextExchange)
{
    ASSERT_TRUE(host.ok());
    host.send({ENQ});
    EXPECT_EQ(host.take(), Bytes{EOT});
    host.send({0x00, 0x00, 0xAF, 0x51});
    EXPECT_EQ(host.take(), (Bytes{ACK, ENQ}));
    host.send({ENQ});  // the host gave up on that response and starts over
    EXPECT_EQ(host.take(), Bytes{EOT});
    host.send({0x00, 0x00, 0xDF, 0x21});
    EXPECT_EQ(host.take(), (Bytes{ACK, ENQ}));
    EXPECT_EQ(com1.peer.commands().size(), 2u);
}

TEST_F(PeerBehaviour, ALongDelayCalledOffOffersTheResponseAtOnce)
{
    ASSERT_TRUE(host.ok());
    ampsim::Faults slow;
    slow.response_delay = std::chrono::hours(1);
    com1.peer.set_faults(slow);
    host.send({ENQ});
    EXPECT_EQ(host.take(), Bytes{EOT});
    host.send({0x00, 0x00, 0xAF, 0x51});
    EXPECT_EQ(host.take(), Bytes{ACK});
    com1.peer.set_faults({});
    EXPECT_EQ(host.take(), Bytes{ENQ});
    host.send({EOT});
    EXPECT_EQ(host.take(), reply_for(0xAF));
}

TEST(LinePacer, DeparturesKeepTheWireTimeAndFollowArrivals)
{
    ampsim::LinePacer pacer(9600);  // about 1.04 ms a byte
    EXPECT_EQ(pacer.wire_time(96), std::chrono::milliseconds(100));
    const auto start = Clock::now();
    pacer.note_arrival(48);     // 50 ms of inbound bytes
    pacer.await_departure(48);  // then 50 ms outbound
    pacer.await_departure(96);  // then 100 ms more, back to back
    const auto took = Clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(200));
    EXPECT_LT(took, std::chrono::milliseconds(1000));

    ampsim::LinePacer instant(0);
    EXPECT_EQ(instant.wire_time(1000), Clock::duration::zero());
}

}  // namespace
