#include "Reply.h"

#include "ZeroSumChecksum.h"

#include <algorithm>

namespace ampsim {

Reply Reply::to(std::span<const std::uint8_t> command, std::vector<std::uint8_t> data)
{
    Reply reply;
    reply.header1 = command.size() > 1 ? command[1] : 0;
    reply.header2 = command.size() > 2 ? command[2] : 0;
    reply.data = std::move(data);
    return reply;
}

std::vector<std::uint8_t> Reply::framed() const
{
    const std::size_t count = std::min<std::size_t>(data.size(), 255);
    std::vector<std::uint8_t> block;
    block.reserve(count + 4);
    block.push_back(static_cast<std::uint8_t>(count));
    block.push_back(header1);
    block.push_back(header2);
    block.insert(block.end(), data.begin(), data.begin() + static_cast<std::ptrdiff_t>(count));
    block.push_back(common::zero_sum_checksum(block));
    return block;
}

}  // namespace ampsim
