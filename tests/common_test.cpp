// The small shared pieces: the block checksum and the descriptor owner.
#include "UniqueFd.h"
#include "ZeroSumChecksum.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <cstdint>
#include <utility>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

bool is_open(int fd)
{
    return ::fcntl(fd, F_GETFD) != -1 || errno != EBADF;
}

// Both ends of a fresh pipe, not yet owned.
std::pair<int, int> raw_pipe()
{
    int ends[2] = {-1, -1};
    EXPECT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    return {ends[0], ends[1]};
}

TEST(ZeroSumChecksum, BringsTheBlocksSumToZero)
{
    // 0x01 + 0x00 + 0xFA + 0x33 = 0x12E; 0x2E + 0xD2 = 0x100.
    EXPECT_EQ(common::zero_sum_checksum(Bytes{0x01, 0x00, 0xFA, 0x33}), 0xD2);
    EXPECT_EQ(common::zero_sum_checksum(Bytes{0x00, 0x00, 0x00}), 0x00);
    EXPECT_EQ(common::zero_sum_checksum(Bytes{0xFF}), 0x01);
    EXPECT_EQ(common::zero_sum_checksum(Bytes{}), 0x00);
}

TEST(ZeroSumChecksum, TellsAnIntactBlockFromADamagedOne)
{
    EXPECT_TRUE(common::sums_to_zero(Bytes{0x01, 0x00, 0xFA, 0x33, 0xD2}));
    EXPECT_FALSE(common::sums_to_zero(Bytes{0x01, 0x00, 0xFA, 0x33, 0xD3}));
    EXPECT_FALSE(common::sums_to_zero(Bytes{0x01, 0x00, 0xFB, 0x33, 0xD2}));
}

TEST(UniqueFd, ClosesItsDescriptorWhenItGoes)
{
    const auto [read_end, write_end] = raw_pipe();
    {
        const common::UniqueFd owner(read_end);
        EXPECT_TRUE(owner.valid());
        EXPECT_EQ(owner.get(), read_end);
    }
    EXPECT_FALSE(is_open(read_end));
    ::close(write_end);
}

TEST(UniqueFd, AMoveHandsTheDescriptorOnAndLeavesNothingBehind)
{
    const auto [read_end, write_end] = raw_pipe();
    common::UniqueFd first(read_end);
    common::UniqueFd second(write_end);
    {
        common::UniqueFd moved(std::move(first));
        EXPECT_FALSE(first.valid());
        EXPECT_EQ(moved.get(), read_end);
        // Assigning closes what the target held.
        second = std::move(moved);
        EXPECT_FALSE(moved.valid());
        EXPECT_FALSE(is_open(write_end));
    }
    EXPECT_EQ(second.get(), read_end);
    EXPECT_TRUE(is_open(read_end));
}

TEST(UniqueFd, ResetClosesTheOldOneAndReleaseGivesItUpOpen)
{
    const auto [read_end, write_end] = raw_pipe();
    common::UniqueFd owner(read_end);
    owner.reset(write_end);
    EXPECT_FALSE(is_open(read_end));
    EXPECT_EQ(owner.release(), write_end);
    EXPECT_FALSE(owner.valid());
    EXPECT_TRUE(is_open(write_end));
    ::close(write_end);
}

}  // namespace
