#include "RandomHost.h"

namespace ampsim {

namespace {

// Command bytes the random host sends; any will do, as long as the log
// looks like the traffic of a real command interface.
constexpr std::array<std::uint8_t, 12> kHostCommands{0x10, 0x21, 0x32, 0x48, 0x5A, 0x61,
                                                     0x7C, 0x98, 0xA3, 0xB5, 0xCE, 0xF0};
constexpr std::size_t kMaxHostParameters = 12;
constexpr std::size_t kMaxHostData = 24;

}  // namespace

RandomHost::RandomHost(std::uint64_t seed) : random_(seed) {}

std::size_t RandomHost::draw(std::size_t below)
{
    return static_cast<std::size_t>(random_() % below);
}

std::vector<std::uint8_t> RandomHost::random_bytes(std::size_t count)
{
    std::vector<std::uint8_t> out(count);
    for (auto& byte : out) {
        byte = static_cast<std::uint8_t>(random_());
    }
    return out;
}

HostExchange RandomHost::next_exchange()
{
    // The draws keep this order: a seed gives the same traffic as it always has.
    const auto address = static_cast<std::uint8_t>(draw(2));
    const std::uint8_t cmd = kHostCommands[draw(kHostCommands.size())];
    HostExchange exchange;
    lay_block(exchange.received, address, cmd, random_bytes(draw(kMaxHostParameters + 1)));
    lay_block(exchange.sent, address, cmd, random_bytes(draw(kMaxHostData + 1)));
    return exchange;
}

}  // namespace ampsim
