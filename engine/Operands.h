// Operands: what a condition or a value column reads of one record, written
// as the user types it. A field of the fields file by its name
// ("position"), or by any name in backquotes ("`my field`"), and a byte of
// a direction: "recv[5]", "send[3]" (the direction in either case, the
// byte 0-15 in decimal). Read from a position in a longer text, so that a
// larger grammar (conditions, places) reads its operands here and goes on
// after them.
#pragma once

#include "LogFile.h"
#include "RecordColumns.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace quillon {

struct Operand {
    enum class Kind { Field, Byte, Decoded };
    Kind kind = Kind::Byte;
    std::string field;                       // Field: its name, without backquotes
    Direction direction = Direction::Recv;   // Byte, Decoded
    int byte = 0;                            // Byte: 0-15 within its direction
    DecodedPart part = DecodedPart::Length;  // Decoded: never CommandName

    bool operator==(const Operand&) const = default;
};

// What is wrong with a text that should hold an operand (and, for the
// grammars built on it, what follows one). The front-ends word each.
enum class SyntaxProblem {
    NoOperand,         // the text ends, or holds no name, where an operand belongs
    UnclosedQuote,     // a backquote opened and never closed
    EmptyQuote,        // nothing between two backquotes
    ControlInQuote,    // a control character between backquotes
    NotIndexable,      // "[" or "." after a name other than recv or send
    NoByte,            // "recv[" without a byte number 0-15 and "]"
    NoDecodedPart,     // "recv." without a part of the decoded block
    ByteOutOfRange,    // a byte number above 15
    NoPlace,           // a value column without "@" and its place
    NoPlaceOffset,     // "@" without T0, T-K or T+K
    OffsetOutOfRange,  // K beyond the records a log holds
    TextAfter,         // something after the end of what was read
};

// Where a text is wrong: the problem, and its column (from 1, counted in
// characters of UTF-8).
struct SyntaxError {
    SyntaxProblem problem = SyntaxProblem::NoOperand;
    int column = 1;

    bool operator==(const SyntaxError&) const = default;
};

// What is wrong, in English (marked for the windows' catalogue).
const char* syntax_problem_text(SyntaxProblem problem);

// The column of text[at], from 1.
int text_column(std::string_view text, std::size_t at);

// An operand read from text at `at`: the operand and where it ends, or
// what is wrong and where.
struct OperandRead {
    std::optional<Operand> operand;
    std::size_t end = 0;  // just after the operand
    std::optional<SyntaxError> error;
};
OperandRead read_operand(std::string_view text, std::size_t at = 0);

}  // namespace quillon
