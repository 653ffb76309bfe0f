// The host whose exchanges the amplifier records in its log: the controller
// that, on a real machine, talks to the amplifier's command interface.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace ampsim {

inline constexpr std::size_t kExchangeBytes = 32;  // bytes of each direction kept as "last"

// One exchange: the command block received and the response block sent,
// each cut off or zero-padded to kExchangeBytes.
struct HostExchange {
    std::array<std::uint8_t, kExchangeBytes> received{};
    std::array<std::uint8_t, kExchangeBytes> sent{};
};

// Lays a block [count][header1][header2][bytes...][checksum] into out, cut
// off at out's end as a fixed-size log field would be.
void lay_block(std::array<std::uint8_t, kExchangeBytes>& out, std::uint8_t header1,
               std::uint8_t header2, std::vector<std::uint8_t> bytes);

class SyntheticHost {
public:
    virtual ~SyntheticHost() = default;
    // The next exchange between the host and the amplifier.
    virtual HostExchange next_exchange() = 0;
};

}  // namespace ampsim
