// The messages between libhalvex.so and the simulated amplifier, written
// once here for both sides. Each is one SOCK_SEQPACKET message, so the
// socket keeps the boundaries and no framing is needed.
//
//   request: kind (1 byte), sequence (4 bytes, little-endian), payload
//   answer:  kind, sequence (both copied from the request), status (1 byte),
//            payload
//
//   kind Ping     payload none. Answered at once (status Ok, no payload): an
//                 amplifier is there.
//   kind Command  payload the N + 3 command bytes. Answered with the whole
//                 response block (M + 4 bytes) exactly as the amplifier made
//                 it, or not at all while the amplifier stays silent.
//   status BadRequest: the request was not understood (unknown kind, or a
//                 command whose length is not N + 3); no payload.
//
// The library numbers its requests on each connection; an answer that
// carries another number is a late one to an earlier request and is
// dropped, so it is never taken for the answer to the current one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace halvex::wire {

enum class Kind : std::uint8_t { Ping = 1, Command = 2 };
enum class Status : std::uint8_t { Ok = 0, BadRequest = 1 };

constexpr std::size_t kRequestHeader = 5;
constexpr std::size_t kAnswerHeader = 6;
constexpr std::size_t kMaxCommand = 255 + 3;
constexpr std::size_t kMaxBlock = 255 + 4;
// Room for any well-formed message with plenty to spare: a longer one is
// cut off by the receive and counted as malformed.
constexpr std::size_t kReceiveBuffer = 1024;

using Bytes = std::vector<std::uint8_t>;

// The N + 3 command bytes: 3..258 of them, and N = the first one.
inline bool command_well_formed(std::span<const std::uint8_t> command)
{
    return command.size() >= 3 && command.size() == std::size_t{command[0]} + 3;
}

// A whole response block: M + 4 bytes, M = the first one.
inline bool block_well_formed(std::span<const std::uint8_t> block)
{
    return block.size() >= 4 && block.size() == std::size_t{block[0]} + 4;
}

namespace detail {

inline void put_sequence(Bytes& out, std::uint32_t sequence)
{
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<std::uint8_t>(sequence >> shift));
    }
}

inline std::uint32_t get_sequence(std::span<const std::uint8_t> four)
{
    std::uint32_t sequence = 0;
    for (int i = 3; i >= 0; --i) {
        sequence = (sequence << 8) | four[static_cast<std::size_t>(i)];
    }
    return sequence;
}

}  // namespace detail

inline Bytes request(Kind kind, std::uint32_t sequence, std::span<const std::uint8_t> payload = {})
{
    Bytes out;
    out.reserve(kRequestHeader + payload.size());
    out.push_back(static_cast<std::uint8_t>(kind));
    detail::put_sequence(out, sequence);
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

inline Bytes answer(std::uint8_t kind, std::uint32_t sequence, Status status,
                    std::span<const std::uint8_t> payload = {})
{
    Bytes out;
    out.reserve(kAnswerHeader + payload.size());
    out.push_back(kind);
    detail::put_sequence(out, sequence);
    out.push_back(static_cast<std::uint8_t>(status));
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

// The kind stays a raw byte, so that an unknown one can still be answered.
struct Request {
    std::uint8_t kind;
    std::uint32_t sequence;
    std::span<const std::uint8_t> payload;
};

struct Answer {
    std::uint8_t kind;
    std::uint32_t sequence;
    std::uint8_t status;
    std::span<const std::uint8_t> payload;
};

// Nothing when the message is too short to carry the header.
inline std::optional<Request> parse_request(std::span<const std::uint8_t> message)
{
    if (message.size() < kRequestHeader) {
        return std::nullopt;
    }
    return Request{message[0], detail::get_sequence(message.subspan(1, 4)),
                   message.subspan(kRequestHeader)};
}

inline std::optional<Answer> parse_answer(std::span<const std::uint8_t> message)
{
    if (message.size() < kAnswerHeader) {
        return std::nullopt;
    }
    return Answer{message[0], detail::get_sequence(message.subspan(1, 4)), message[5],
                  message.subspan(kAnswerHeader)};
}

}  // namespace halvex::wire
