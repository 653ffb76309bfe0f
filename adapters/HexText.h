// Bytes as the program shows and writes them: two upper-case hexadecimal
// digits each, leading zero included.
#pragma once

#include <cstdint>
#include <string>

namespace quillon {

inline void append_hex_byte(std::string& text, std::uint8_t byte)
{
    constexpr char kDigits[] = "0123456789ABCDEF";
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
}

inline std::string hex_byte(std::uint8_t byte)
{
    std::string text;
    append_hex_byte(text, byte);
    return text;
}

// A byte as a value of its own, in a list, a cell or on an axis: "0x44".
inline std::string hex_byte_value(std::uint8_t byte)
{
    std::string text = "0x";
    append_hex_byte(text, byte);
    return text;
}

}  // namespace quillon
