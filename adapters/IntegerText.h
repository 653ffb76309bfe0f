// The one conversion of typed numbers to integers, used wherever the program
// reads a number from text (port names, edits, drop-down lists).
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quillon {

// A text that is not an integer. The message names the text, for example
// "'COMX' is not a valid integer value.", for the program's error display.
class ConversionError : public std::runtime_error {
public:
    explicit ConversionError(std::string_view text, bool too_large = false);

    const std::string& text() const { return text_; }
    // The text is an integer, only one that does not fit in 32 bits: a
    // caller with a range of its own can say that range instead.
    bool too_large() const { return too_large_; }

private:
    std::string text_;
    bool too_large_;
};

// Reads a signed 32-bit integer:
// - leading blanks (spaces) are skipped;
// - a decimal number may carry one "+" or "-" and must fit in 32 bits signed;
// - "0x", "0X", "$", "x" or "X" introduce a hexadecimal number, digits in
//   either case, without a sign, of at most 32 bits; values from 0x80000000 to
//   0xFFFFFFFF are taken as the 32-bit pattern, so "$FFFFFFFF" gives -1.
// Anything else throws ConversionError: an empty text, a sign or prefix
// without digits, any other character, a trailing blank, a value too large.
std::int32_t integer_from_text(std::string_view text);

// Reads a signed 64-bit integer in the narrower form files write: a decimal
// number with an optional "-", or "0x"/"0X" and hexadecimal digits without a
// sign, either fitting in 64 bits signed. No blanks, no "+", no other prefix.
// Nothing when the text is not such an integer.
std::optional<std::int64_t> integer64_from_text(std::string_view text);

}  // namespace quillon
