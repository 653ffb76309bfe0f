// QUILLON_TEXT("Message", "...") marks a fixed English text of a library
// below the windows that a window shows in the user's language: the text
// itself here (the command line and the files keep English); lupdate
// collects it under the context "Message", where the message boxes look it
// up.
// A text with numbers in it is marked with %1, %2 ... in their places and
// filled by with_numbers, so that the message boxes find it again.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#define QUILLON_TEXT(context, text) text

namespace quillon {

// text with %1 .. %9 each replaced by the number of that place.
inline std::string with_numbers(std::string_view text, std::initializer_list<long long> numbers)
{
    std::string filled;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool placeholder = text[i] == '%' && i + 1 < text.size() && text[i + 1] >= '1' &&
                                 text[i + 1] <= '9' &&
                                 std::size_t(text[i + 1] - '1') < numbers.size();
        if (placeholder) {
            filled += std::to_string(numbers.begin()[text[i + 1] - '1']);
            ++i;
        } else {
            filled += text[i];
        }
    }
    return filled;
}

}  // namespace quillon
