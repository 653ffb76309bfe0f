// The checksum of the block transfer protocol: the last byte of a block
// brings the 8-bit sum of the whole block to zero. The host (the serial link
// library) and the amplifier (the simulator) compute and check it alike.
#pragma once

#include <cstdint>
#include <numeric>
#include <span>

namespace common {

// The 8-bit sum of bytes.
inline std::uint8_t byte_sum(std::span<const std::uint8_t> bytes)
{
    return static_cast<std::uint8_t>(std::accumulate(bytes.begin(), bytes.end(), 0u));
}

// The checksum byte that makes the 8-bit sum of bytes plus it zero.
inline std::uint8_t zero_sum_checksum(std::span<const std::uint8_t> bytes)
{
    return static_cast<std::uint8_t>(0u - byte_sum(bytes));
}

// Whether a whole block, its checksum included, is intact.
inline bool sums_to_zero(std::span<const std::uint8_t> block)
{
    return byte_sum(block) == 0;
}

}  // namespace common
