// The far end of the scripted serial line that SerialDevice_script.cpp
// stands in for: what the peer sends, and a record of what the library did.
// One per process, like the library's own port object.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tarnlink::fuzz {

// One read or write, in the order the library made them.
struct LineCall {
    bool is_write = false;
    std::vector<std::uint8_t> bytes;  // written, or handed out by the read
};

struct ScriptedLine {
    // Bytes the peer sends, handed to reads in order. Not owned.
    std::span<const std::uint8_t> peer;
    std::size_t handed_out = 0;  // peer bytes given to reads so far
    // Once the peer bytes are gone: false makes a read time out (short
    // count), true makes it report a hang-up.
    bool hang_up_when_dry = false;

    std::size_t read_calls = 0;
    std::size_t write_calls = 0;
    std::size_t purge_calls = 0;
    std::size_t drain_calls = 0;
    std::size_t bytes_written = 0;
    std::vector<LineCall> calls;
    bool hung_up = false;                 // a read has reported the hang-up
    std::size_t calls_after_hang_up = 0;  // device calls made after that

    void reset(std::span<const std::uint8_t> peer_bytes, bool hang_up)
    {
        *this = ScriptedLine{};
        peer = peer_bytes;
        hang_up_when_dry = hang_up;
    }
};

ScriptedLine& scripted_line();

}  // namespace tarnlink::fuzz
