// The block transfer protocol: command block layout and one exchange.
#pragma once

#include "Tcomm.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace tarnlink {

inline constexpr std::uint8_t ENQ = 0x05;
inline constexpr std::uint8_t EOT = 0x04;
inline constexpr std::uint8_t ACK = 0x06;
inline constexpr std::uint8_t NAK = 0x15;

// Block lengths travel in one byte: N + 4 must stay within 255.
inline constexpr std::size_t kMaxParameterCount = 251;
inline constexpr std::size_t kMaxCommandBlock = kMaxParameterCount + 4;
inline constexpr std::size_t kMaxResponseBlock = 255 + 4;
inline constexpr std::size_t kScratchSize = 1024;

using ResponseBlock = std::span<std::uint8_t, kMaxResponseBlock>;

// Builds [N][address][high*16+low][params...][checksum] into out. Returns its
// length, or 0 when N is above the limit or out is too small.
std::size_t build_command_block(std::uint8_t n, std::uint8_t address, std::uint8_t low_nibble,
                                std::uint8_t high_nibble, std::span<const std::uint8_t> params,
                                std::span<std::uint8_t> out);

// One exchange: offers the block and takes the response into response, with
// retry_limit + 1 tries per phase. True when an intact response is there.
bool run_exchange(TComm& port, std::span<const std::uint8_t> block, ResponseBlock response,
                  int retry_limit);

}  // namespace tarnlink
