#include "PrettyJson.h"

#include <cstddef>

namespace testsupport {

namespace {

bool is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string not_one_line(std::size_t at, std::string_view text)
{
    return "not quillon-cli's one-line JSON at byte " + std::to_string(at) + ":\n" +
           std::string(text);
}

}  // namespace

std::string pretty_json(std::string_view text)
{
    std::string pretty;
    std::size_t depth = 0;
    const auto new_line = [&] { pretty += '\n' + std::string(2 * depth, ' '); };
    // A separator is its character and one space, then the next token.
    const auto separator_at = [&](std::size_t i) {
        return i + 2 < text.size() && text[i + 1] == ' ' && !is_blank(text[i + 2]);
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        switch (c) {
        case '"': {
            const std::size_t start = i;
            for (++i; i < text.size() && text[i] != '"'; ++i) {
                if (text[i] == '\\') {
                    ++i;  // the escaped character, a quote too
                }
            }
            if (i >= text.size()) {
                return not_one_line(start, text);
            }
            pretty += text.substr(start, i - start + 1);
            break;
        }
        case '{':
        case '[':
            if (i + 1 < text.size() && text[i + 1] == (c == '{' ? '}' : ']')) {
                pretty += text.substr(i++, 2);
                break;
            }
            if (i + 1 >= text.size() || is_blank(text[i + 1])) {
                return not_one_line(i + 1, text);
            }
            pretty += c;
            ++depth;
            new_line();
            break;
        case '}':
        case ']':
            if (depth == 0) {
                return not_one_line(i, text);
            }
            --depth;
            new_line();
            pretty += c;
            break;
        case ',':
            if (depth == 0 || !separator_at(i)) {
                return not_one_line(i, text);
            }
            pretty += c;
            new_line();
            ++i;
            break;
        case ':':
            if (depth == 0 || !separator_at(i)) {
                return not_one_line(i, text);
            }
            pretty += ": ";
            ++i;
            break;
        case '\n':
            // The end of a value's line only.
            if (depth != 0) {
                return not_one_line(i, text);
            }
            pretty += c;
            break;
        default:
            if (is_blank(c)) {
                return not_one_line(i, text);
            }
            pretty += c;
        }
    }
    if (depth != 0 || (!text.empty() && !text.ends_with('\n'))) {
        return not_one_line(text.size(), text);
    }
    return pretty;
}

}  // namespace testsupport
