// A simulated amplifier on a pseudo-terminal published as COMn, answering
// every command with a reply whose data a test can set.
#pragma once

#include "BlockPeer.h"
#include "PtyEndpoint.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace testsupport {

struct SimulatedPort {
    explicit SimulatedPort(int port_number, unsigned bits_per_second = 0,
                           std::vector<std::uint8_t> reply_data = {0x00})
        : line(port_number),
          peer(line,
               [data = std::move(reply_data)](std::span<const std::uint8_t> block) {
                   return ampsim::Reply::to(block, data);
               },
               bits_per_second)
    {
    }

    ampsim::PtyEndpoint line;
    ampsim::BlockPeer peer;
};

}  // namespace testsupport
