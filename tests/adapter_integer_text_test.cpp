// The one conversion of typed numbers, rule by rule.
#include "IntegerText.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <utility>

namespace {

using quillon::ConversionError;
using quillon::integer64_from_text;
using quillon::integer_from_text;

struct Good {
    std::string text;
    std::int32_t value;
};

TEST(IntegerText, ReadsTheseTexts)
{
    const Good cases[] = {
        // decimal, with or without a sign
        {"0", 0},
        {"7", 7},
        {"31", 31},
        {"007", 7},
        {"+7", 7},
        {"-7", -7},
        {"+0", 0},
        {"-0", 0},
        {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN},
        {"+2147483647", INT_MAX},
        // leading blanks
        {" 7", 7},
        {"   -12", -12},
        {"  $10", 16},
        // the five hexadecimal prefixes, digits in either case
        {"0x1F", 31},
        {"0X1f", 31},
        {"$1f", 31},
        {"$1F", 31},
        {"x1F", 31},
        {"X1f", 31},
        {"0x100", 256},
        {"0xabcdef", 0xABCDEF},
        {"$0", 0},
        {"0x0000000000FF", 255},  // leading zeros do not count against 32 bits
        // up to 32 bits, taken as the pattern
        {"0x7FFFFFFF", INT_MAX},
        {"0x80000000", INT_MIN},
        {"$FFFFFFFF", -1},
        {"xFFFFFFFE", -2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("text '" + c.text + "'");
        EXPECT_EQ(integer_from_text(c.text), c.value);
    }
}

TEST(IntegerText, RefusesTheseTexts)
{
    const std::string cases[] = {
        // nothing to read
        "",
        " ",
        "+",
        "-",
        "0x",
        "0X",
        "$",
        "x",
        "X",
        " $",
        // trailing or inner blanks, other blanks
        "7 ",
        "0x1F ",
        "- 1",
        "0x 1",
        "1 2",
        "\t7",
        "7\n",
        // other characters
        "1F",
        "abc",
        "COMX",
        "1.5",
        "1,000",
        "7h",
        "0x1G",
        "$-1",
        "0b101",
        "１",
        std::string("7\0", 2),
        // a sign belongs to decimal numbers only
        "-0x10",
        "+$10",
        "-$1",
        "--1",
        "+-1",
        "++1",
        // no second prefix, no prefix after digits
        "00x10",
        "0x0x1",
        "$$1",
        "10x",
        // too large for 32 bits
        "2147483648",
        "-2147483649",
        "+2147483648",
        "4294967295",
        "99999999999999999999",
        "0x100000000",
        "$1FFFFFFFF",
        "x123456789",
    };
    for (const auto& text : cases) {
        SCOPED_TRACE("text '" + text + "'");
        EXPECT_THROW(integer_from_text(text), ConversionError);
    }
}

TEST(IntegerText, ErrorNamesTheConvertedText)
{
    // Only an integer that does not fit is too large; a text that is no
    // integer is not.
    const std::pair<std::string, bool> cases[] = {
        {"COMX", false},        {"", false},          {"7 ", false},
        {"0x100000000", true},  {"2147483648", true}, {" -999999999999", true},
        {"$1FFFFFFFFG", false}, {"-", false},         {"0x", false},
    };
    for (const auto& [text, too_large] : cases) {
        SCOPED_TRACE("text '" + text + "'");
        try {
            integer_from_text(text);
            ADD_FAILURE() << "no conversion error";
        } catch (const ConversionError& error) {
            EXPECT_EQ(error.text(), text);
            EXPECT_EQ(std::string(error.what()), "'" + text + "' is not a valid integer value.");
            EXPECT_EQ(error.too_large(), too_large);
        }
    }
    // A runtime_error, for the program's one error display.
    EXPECT_THROW(integer_from_text("X"), std::runtime_error);
}

// The narrower form files write, up to 64 bits: what the typed form adds
// (blanks, "+", "$", "x") is refused here.
TEST(IntegerText, ReadsWrittenIntegersOf64Bits)
{
    constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
    constexpr auto kMin = std::numeric_limits<std::int64_t>::min();
    const std::pair<std::string, std::optional<std::int64_t>> cases[] = {
        {"0", 0},
        {"-0", 0},
        {"007", 7},
        {"-12", -12},
        {"0x1F", 31},
        {"0XfF", 255},
        {"4294967296", 4294967296},
        {"0xFFFFFFFF", 0xFFFFFFFF},  // no 32-bit pattern: a positive value
        {"9223372036854775807", kMax},
        {"-9223372036854775808", kMin},
        {"0x7FFFFFFFFFFFFFFF", kMax},
        {"9223372036854775808", std::nullopt},
        {"-9223372036854775809", std::nullopt},
        {"0x8000000000000000", std::nullopt},
        {"99999999999999999999", std::nullopt},
        {"+7", std::nullopt},
        {" 7", std::nullopt},
        {"7 ", std::nullopt},
        {"$1F", std::nullopt},
        {"x1F", std::nullopt},
        {"0x", std::nullopt},
        {"0x-1", std::nullopt},
        {"-0x1", std::nullopt},
        {"0x0x1", std::nullopt},
        {"-", std::nullopt},
        {"", std::nullopt},
        {"1.5", std::nullopt},
        {"1F", std::nullopt},
    };
    for (const auto& [text, value] : cases) {
        SCOPED_TRACE("text '" + text + "'");
        EXPECT_EQ(integer64_from_text(text), value);
    }
}

}  // namespace
