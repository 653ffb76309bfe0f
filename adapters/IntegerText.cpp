#include "IntegerText.h"

#include <algorithm>
#include <limits>

namespace quillon {

namespace {

std::optional<unsigned> digit_value(char c, unsigned base)
{
    unsigned value = 0;
    if (c >= '0' && c <= '9') {
        value = static_cast<unsigned>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
        value = static_cast<unsigned>(c - 'a' + 10);
    } else if (c >= 'A' && c <= 'F') {
        value = static_cast<unsigned>(c - 'A' + 10);
    } else {
        return std::nullopt;
    }
    if (value >= base) {
        return std::nullopt;
    }
    return value;
}

// The digits' value, or nothing when there are none, one is not a digit of
// the base, or the value passes limit (checked before each step, so no
// overflow even for a 64-bit limit).
std::optional<std::uint64_t> digits_value(std::string_view digits, unsigned base,
                                          std::uint64_t limit)
{
    if (digits.empty()) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (char c : digits) {
        const auto digit = digit_value(c, base);
        if (!digit || value > (limit - *digit) / base) {
            return std::nullopt;
        }
        value = value * base + *digit;
    }
    return value;
}

bool all_digits(std::string_view digits, unsigned base)
{
    return !digits.empty() && std::all_of(digits.begin(), digits.end(),
                                          [base](char c) { return digit_value(c, base); });
}

// What a reading accepts besides a decimal number with an optional "-" and
// "0x"/"0X" with hexadecimal digits, and the largest values it takes.
struct IntegerForm {
    bool lenient;  // leading blanks, a "+" and the prefixes "$", "x", "X" too
    std::uint64_t largest_hex;
    std::uint64_t largest_positive;  // a negative number may be one larger
};

constexpr IntegerForm kTyped{true, std::numeric_limits<std::uint32_t>::max(),
                             std::numeric_limits<std::int32_t>::max()};
constexpr IntegerForm kWritten{false, std::numeric_limits<std::int64_t>::max(),
                               std::numeric_limits<std::int64_t>::max()};

// The value read, or nothing and whether the text is an integer too large.
struct IntegerReading {
    std::optional<std::int64_t> value;
    bool too_large = false;
};

// The hexadecimal digits after a prefix, or nothing when there is no prefix.
std::optional<std::string_view> hex_digits(std::string_view text, bool lenient)
{
    if (text.starts_with("0x") || text.starts_with("0X")) {
        return text.substr(2);
    }
    if (lenient && (text.starts_with('$') || text.starts_with('x') || text.starts_with('X'))) {
        return text.substr(1);
    }
    return std::nullopt;
}

IntegerReading read_integer(std::string_view text, const IntegerForm& form)
{
    while (form.lenient && text.starts_with(' ')) {
        text.remove_prefix(1);
    }

    if (const auto digits = hex_digits(text, form.lenient)) {
        const auto value = digits_value(*digits, 16, form.largest_hex);
        if (!value) {
            return {std::nullopt, all_digits(*digits, 16)};
        }
        return {static_cast<std::int64_t>(*value)};
    }

    const bool negative = text.starts_with('-');
    if (negative || (form.lenient && text.starts_with('+'))) {
        text.remove_prefix(1);
    }
    const auto value = digits_value(text, 10, form.largest_positive + (negative ? 1 : 0));
    if (!value) {
        return {std::nullopt, all_digits(text, 10)};
    }
    if (negative) {
        // The magnitude may be 2^63: negated one below it, so nothing overflows.
        return {(*value == 0) ? 0 : -static_cast<std::int64_t>(*value - 1) - 1};
    }
    return {static_cast<std::int64_t>(*value)};
}

}  // namespace

ConversionError::ConversionError(std::string_view text, bool too_large)
    : std::runtime_error("'" + std::string(text) + "' is not a valid integer value."), text_(text),
      too_large_(too_large)
{
}

std::int32_t integer_from_text(std::string_view text)
{
    const IntegerReading reading = read_integer(text, kTyped);
    if (!reading.value) {
        throw ConversionError(text, reading.too_large);
    }
    // A hexadecimal value above 0x7FFFFFFF is taken as the 32-bit pattern.
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(*reading.value));
}

std::optional<std::int64_t> integer64_from_text(std::string_view text)
{
    return read_integer(text, kWritten).value;
}

}  // namespace quillon
