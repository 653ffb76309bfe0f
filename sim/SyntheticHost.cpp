#include "SyntheticHost.h"

#include "Reply.h"

#include <algorithm>

namespace ampsim {

void lay_block(std::array<std::uint8_t, kExchangeBytes>& out, std::uint8_t header1,
               std::uint8_t header2, std::vector<std::uint8_t> bytes)
{
    const std::vector<std::uint8_t> block = Reply{header1, header2, std::move(bytes)}.framed();
    out.fill(0);
    std::copy_n(block.begin(), std::min(block.size(), out.size()), out.begin());
}

}  // namespace ampsim
