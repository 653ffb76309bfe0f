#include "Operands.h"

#include "Wording.h"

#include <algorithm>
#include <cctype>

namespace quillon {

namespace {

bool is_name_start(char c)
{
    return std::isalpha(static_cast<unsigned char>(c)) != 0 || c == '_';
}

bool is_name_part(char c)
{
    return is_name_start(c) || std::isdigit(static_cast<unsigned char>(c)) != 0;
}

bool is_control(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

OperandRead failed(std::string_view text, std::size_t at, SyntaxProblem problem)
{
    return {std::nullopt, at, SyntaxError{problem, text_column(text, at)}};
}

// "`name`" from the backquote at text[at].
OperandRead read_quoted(std::string_view text, std::size_t at)
{
    const std::size_t close = text.find('`', at + 1);
    if (close == std::string_view::npos) {
        return failed(text, at, SyntaxProblem::UnclosedQuote);
    }
    const std::string_view name = text.substr(at + 1, close - at - 1);
    if (name.empty()) {
        return failed(text, at, SyntaxProblem::EmptyQuote);
    }
    if (const auto control = std::find_if(name.begin(), name.end(), is_control);
        control != name.end()) {
        return failed(text, at + 1 + std::size_t(control - name.begin()),
                      SyntaxProblem::ControlInQuote);
    }
    Operand operand;
    operand.kind = Operand::Kind::Field;
    operand.field = std::string(name);
    return {std::move(operand), close + 1, std::nullopt};
}

// "[5]" of a direction's byte, from the "[" at text[at].
OperandRead read_byte(std::string_view text, std::size_t at, Direction direction)
{
    std::size_t end = at + 1;
    while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end])) != 0) {
        ++end;
    }
    const std::string_view digits = text.substr(at + 1, end - at - 1);
    if (digits.empty() || end == text.size() || text[end] != ']') {
        return failed(text, digits.empty() ? at + 1 : end, SyntaxProblem::NoByte);
    }
    // More digits than a byte number has are out of its range all the same.
    constexpr std::size_t kMostDigits = 3;
    const int byte = digits.size() > kMostDigits ? kDirectionBytes : std::stoi(std::string(digits));
    if (byte >= kDirectionBytes) {
        return failed(text, at + 1, SyntaxProblem::ByteOutOfRange);
    }
    Operand operand;
    operand.direction = direction;
    operand.byte = byte;
    return {std::move(operand), end + 1, std::nullopt};
}

// ".command" of a direction's decoded block, from the "." at text[at]: a
// part's name as its column's key within the direction names it.
OperandRead read_decoded_part(std::string_view text, std::size_t at, Direction direction)
{
    std::size_t end = at + 1;
    while (end < text.size() && is_name_part(text[end])) {
        ++end;
    }
    const std::string_view name = text.substr(at + 1, end - at - 1);
    for (const RecordColumn& column : decoded_columns(direction)) {
        if (column.json_key() == name) {
            Operand operand;
            operand.kind = Operand::Kind::Decoded;
            operand.direction = direction;
            operand.part = DecodedPart(column.index);
            return {std::move(operand), end, std::nullopt};
        }
    }
    return failed(text, at + 1, SyntaxProblem::NoDecodedPart);
}

}  // namespace

const char* syntax_problem_text(SyntaxProblem problem)
{
    switch (problem) {
    case SyntaxProblem::NoOperand:
        return QUILLON_TEXT("Message",
                            "a field's name, recv[N], send[N], recv.PART or send.PART expected");
    case SyntaxProblem::UnclosedQuote: return QUILLON_TEXT("Message", "a backquote is not closed");
    case SyntaxProblem::EmptyQuote:
        return QUILLON_TEXT("Message", "no name between the backquotes");
    case SyntaxProblem::ControlInQuote:
        return QUILLON_TEXT("Message", "a control character in a name");
    case SyntaxProblem::NotIndexable:
        return QUILLON_TEXT("Message", "only recv and send take a byte [N] or a .PART");
    case SyntaxProblem::NoByte: return QUILLON_TEXT("Message", "a byte 0-15 and ] expected");
    case SyntaxProblem::NoDecodedPart:
        return QUILLON_TEXT("Message",
                            "a part of the decoded block expected (recv: length, address, "
                            "command, checksum; send: length, header_1, header_2, checksum)");
    case SyntaxProblem::ByteOutOfRange: return QUILLON_TEXT("Message", "a byte beyond 15");
    case SyntaxProblem::NoPlace:
        return QUILLON_TEXT("Message", "@ and a place expected (@T0, @T-K, @T+K)");
    case SyntaxProblem::NoPlaceOffset: return QUILLON_TEXT("Message", "a place is T0, T-K or T+K");
    case SyntaxProblem::OffsetOutOfRange:
        return QUILLON_TEXT("Message", "a place beyond the records a log holds (T-255 to T+255)");
    case SyntaxProblem::TextAfter: break;
    }
    return QUILLON_TEXT("Message", "unexpected text");
}

int text_column(std::string_view text, std::size_t at)
{
    const std::string_view before = text.substr(0, std::min(at, text.size()));
    // Each character counted once: UTF-8's continuation bytes are not.
    return 1 + int(std::count_if(before.begin(), before.end(), [](char c) {
               return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
           }));
}

OperandRead read_operand(std::string_view text, std::size_t at)
{
    if (at < text.size() && text[at] == '`') {
        return read_quoted(text, at);
    }
    if (at >= text.size() || !is_name_start(text[at])) {
        return failed(text, at, SyntaxProblem::NoOperand);
    }
    std::size_t end = at;
    while (end < text.size() && is_name_part(text[end])) {
        ++end;
    }
    const std::string_view name = text.substr(at, end - at);
    if (end < text.size() && (text[end] == '[' || text[end] == '.')) {
        std::string lower(name);
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](char c) { return char(std::tolower(static_cast<unsigned char>(c))); });
        const auto direction = direction_of_key(lower);
        if (!direction) {
            return failed(text, end, SyntaxProblem::NotIndexable);
        }
        return text[end] == '[' ? read_byte(text, end, *direction)
                                : read_decoded_part(text, end, *direction);
    }
    Operand operand;
    operand.kind = Operand::Kind::Field;
    operand.field = std::string(name);
    return {std::move(operand), end, std::nullopt};
}

}  // namespace quillon
