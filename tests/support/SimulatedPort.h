// A simulated amplifier on a pseudo-terminal published as COMn.
#pragma once

#include "BlockPeer.h"
#include "PtyEndpoint.h"

#include <cstdint>
#include <vector>

namespace testsupport {

// Answers every command with the same data.
inline ampsim::Responder fixed_reply(std::vector<std::uint8_t> data)
{
    return [data = std::move(data)](std::span<const std::uint8_t> block) {
        return ampsim::Reply::to(block, data);
    };
}

struct SimulatedPort {
    explicit SimulatedPort(int port_number, unsigned bits_per_second = 0,
                           ampsim::Responder responder = fixed_reply({0x00}))
        : line(port_number), peer(line, std::move(responder), bits_per_second)
    {
    }

    ampsim::PtyEndpoint line;
    ampsim::BlockPeer peer;
};

}  // namespace testsupport
