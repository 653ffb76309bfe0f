// What the amplifier answers to one command, before framing.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace ampsim {

struct Reply {
    std::uint8_t header1 = 0;
    std::uint8_t header2 = 0;
    std::vector<std::uint8_t> data;  // up to 255 bytes; more are cut off

    // A reply whose header echoes the command's address and command byte.
    static Reply to(std::span<const std::uint8_t> command, std::vector<std::uint8_t> data);

    // The response block on the wire: M, the two header bytes, M data bytes
    // and the checksum that makes the block's 8-bit sum zero.
    std::vector<std::uint8_t> framed() const;
};

}  // namespace ampsim
