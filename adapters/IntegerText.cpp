#include "IntegerText.h"

#include <algorithm>
#include <limits>
#include <optional>

namespace quillon {

namespace {

constexpr std::uint64_t kLargestPattern = std::numeric_limits<std::uint32_t>::max();
constexpr std::uint64_t kLargestPositive = std::numeric_limits<std::int32_t>::max();
constexpr std::uint64_t kLargestNegative = kLargestPositive + 1;

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
// the base, or the value passes limit (checked per digit, so no overflow).
std::optional<std::uint64_t> digits_value(std::string_view digits, unsigned base,
                                          std::uint64_t limit)
{
    if (digits.empty()) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (char c : digits) {
        const auto digit = digit_value(c, base);
        if (!digit) {
            return std::nullopt;
        }
        value = value * base + *digit;
        if (value > limit) {
            return std::nullopt;
        }
    }
    return value;
}

bool all_digits(std::string_view digits, unsigned base)
{
    return !digits.empty() && std::all_of(digits.begin(), digits.end(),
                                          [base](char c) { return digit_value(c, base); });
}

std::string_view without_hex_prefix(std::string_view text, bool& is_hex)
{
    is_hex = true;
    if (text.starts_with("0x") || text.starts_with("0X")) {
        return text.substr(2);
    }
    if (text.starts_with('$') || text.starts_with('x') || text.starts_with('X')) {
        return text.substr(1);
    }
    is_hex = false;
    return text;
}

}  // namespace

ConversionError::ConversionError(std::string_view text, bool too_large)
    : std::runtime_error("'" + std::string(text) + "' is not a valid integer value."), text_(text),
      too_large_(too_large)
{
}

std::int32_t integer_from_text(std::string_view text)
{
    std::string_view rest = text;
    while (rest.starts_with(' ')) {
        rest.remove_prefix(1);
    }

    bool is_hex = false;
    const std::string_view hex_digits = without_hex_prefix(rest, is_hex);
    if (is_hex) {
        const auto value = digits_value(hex_digits, 16, kLargestPattern);
        if (!value) {
            throw ConversionError(text, all_digits(hex_digits, 16));
        }
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(*value));
    }

    const bool negative = rest.starts_with('-');
    if (negative || rest.starts_with('+')) {
        rest.remove_prefix(1);
    }
    const auto value = digits_value(rest, 10, negative ? kLargestNegative : kLargestPositive);
    if (!value) {
        throw ConversionError(text, all_digits(rest, 10));
    }
    // Through 64 bits, so that -2147483648 needs no overflowing negation.
    return static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(*value)
                                              : static_cast<std::int64_t>(*value));
}

}  // namespace quillon
