// The block transfer protocol and its exports.
#include "BlockProtocol.h"

#include "ZeroSumChecksum.h"
#include "tarnlink.h"

#include <algorithm>
#include <array>

namespace tarnlink {

namespace {

enum class State {
    SendEnq,
    WaitEot,
    SendBlock,
    WaitAck,
    RetrySend,
    WaitEnq,
    SendEot,
    ReadLength,
    ReadBody,
    SendAck,
    SendNak,
};

// Reads one byte and tells whether it is the expected one. A lost link is
// passed on so that the exchange can end at once.
Io expect_byte(TComm& port, std::uint8_t expected)
{
    std::uint8_t got = 0;
    const Io io = port.ReadByte(got);
    if (io != Io::Ok) {
        return io;
    }
    return got == expected ? Io::Ok : Io::Failed;
}

}  // namespace

std::size_t build_command_block(std::uint8_t n, std::uint8_t address, std::uint8_t low_nibble,
                                std::uint8_t high_nibble, std::span<const std::uint8_t> params,
                                std::span<std::uint8_t> out)
{
    const std::size_t length = std::size_t{n} + 4;
    if (n > kMaxParameterCount || out.size() < length || params.size() < n) {
        return 0;
    }
    out[0] = n;
    out[1] = address;
    out[2] = static_cast<std::uint8_t>(high_nibble * 16 + low_nibble);
    std::copy_n(params.begin(), n, out.begin() + 3);
    out[length - 1] = common::zero_sum_checksum(out.first(length - 1));
    return length;
}

bool run_exchange(TComm& port, std::span<const std::uint8_t> block, ResponseBlock response,
                  int retry_limit)
{
    if (block.size() < 4 || block.size() > kMaxCommandBlock) {
        return false;
    }
    port.Purge();  // once: stale bytes of an earlier exchange must not be read as replies
    int retries = 0;
    State state = State::SendEnq;
    for (;;) {
        Io io = Io::Ok;
        switch (state) {
        case State::SendEnq:
            io = port.WriteByte(ENQ);
            state = State::WaitEot;
            break;
        case State::WaitEot:
            io = expect_byte(port, EOT);
            state = io == Io::Ok ? State::SendBlock : State::RetrySend;
            break;
        case State::SendBlock:
            io = port.WriteBlock(block);
            state = State::WaitAck;
            break;
        case State::WaitAck:
            io = expect_byte(port, ACK);
            if (io == Io::Ok) {
                retries = 0;
                state = State::WaitEnq;
            } else {
                state = State::RetrySend;
            }
            break;
        case State::RetrySend:
            if (++retries > retry_limit) {
                port.Drain();
                return false;
            }
            state = State::SendEnq;
            break;
        case State::WaitEnq:
            io = expect_byte(port, ENQ);
            state = io == Io::Ok ? State::SendEot : State::SendNak;
            break;
        case State::SendEot:
            io = port.WriteByte(EOT);
            state = State::ReadLength;
            break;
        case State::ReadLength:
            io = port.ReadByte(response[0]);
            state = io == Io::Ok ? State::ReadBody : State::SendNak;
            break;
        case State::ReadBody: {
            // The body lands right behind the length byte: M + 3 further bytes
            // make at most the 259 that the response span holds.
            const auto whole = response.first(std::size_t{response[0]} + 4);
            io = port.ReadBlock(whole.subspan(1));
            state = io == Io::Ok && common::sums_to_zero(whole) ? State::SendAck : State::SendNak;
            break;
        }
        case State::SendAck:
            io = port.WriteByte(ACK);
            if (io != Io::LinkLost) {
                port.Drain();
            }
            return io != Io::LinkLost;
        case State::SendNak:
            io = port.WriteByte(NAK);
            if (io != Io::LinkLost && ++retries > retry_limit) {
                port.Drain();
                return false;
            }
            state = State::WaitEnq;
            break;
        }
        if (io == Io::LinkLost) {
            return false;
        }
    }
}

}  // namespace tarnlink

extern "C" {

int dfComMakeData(uint8_t n, uint8_t address, uint8_t low_nibble, uint8_t high_nibble,
                  const uint8_t* params, uint8_t* block_out, int* length_out)
{
    if (n > tarnlink::kMaxParameterCount || block_out == nullptr || length_out == nullptr ||
        (n > 0 && params == nullptr)) {
        return 1;
    }
    const std::size_t length = std::size_t{n} + 4;
    const auto built = tarnlink::build_command_block(n, address, low_nibble, high_nibble,
                                                     std::span<const std::uint8_t>(params, n),
                                                     std::span<std::uint8_t>(block_out, length));
    *length_out = static_cast<int>(built);
    return 0;
}

bool _CommLoop(const uint8_t* block, int block_length, uint8_t* response, int retry_limit)
{
    if (block == nullptr || response == nullptr || block_length < 4 ||
        block_length > static_cast<int>(tarnlink::kMaxCommandBlock)) {
        return false;
    }
    return tarnlink::run_exchange(
        tarnlink::port(),
        std::span<const std::uint8_t>(block, static_cast<std::size_t>(block_length)),
        tarnlink::ResponseBlock(response, tarnlink::kMaxResponseBlock), retry_limit);
}

int dfComCommunication(void* /*owner_window*/, const uint8_t* n, const uint8_t* address,
                       const uint8_t* low_nibble, const uint8_t* high_nibble, const uint8_t* params,
                       uint8_t* response, int retry_limit, int* /*reserved*/)
{
    if (n == nullptr || address == nullptr || low_nibble == nullptr || high_nibble == nullptr) {
        return 1;
    }
    std::array<std::uint8_t, tarnlink::kScratchSize> scratch{};
    int length = 0;
    if (dfComMakeData(*n, *address, *low_nibble, *high_nibble, params, scratch.data(), &length) !=
        0) {
        return 1;
    }
    return _CommLoop(scratch.data(), scratch[0] + 4, response, retry_limit) ? 0 : 1;
}

}  // extern "C"
