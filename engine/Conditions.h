// Conditions: one small language for a test over the records of a log,
// read once and then held at any record. Comparisons of an operand (a field
// by name, a byte with an optional "& MASK") with a number, a field's value
// name or another operand, "in LOW..HIGH", places ("@T-3" from the fired record, "@-3"
// from the record tested), any/all/count over a range of places, not, and,
// or, and "A then B within K". The old "NAME OP REST" of --where reads as
// before. Errors are values (what and the column), worded by front-ends.
#pragma once

#include "Fields.h"
#include "LogFile.h"
#include "LogTimeline.h"
#include "Operands.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// Limits that keep any text cheap to read and to hold.
inline constexpr std::size_t kLongestCondition = 4096;  // bytes
inline constexpr int kDeepestCondition = 64;            // brackets, not, any/all/count
inline constexpr std::size_t kMostConditionNodes = 512;
// Comparisons made to hold a condition at one record, any/all/count
// multiplying their inside by their range's length.
inline constexpr std::int64_t kMostConditionCost = 1 << 16;

// A record a place names: from the record tested ("@-3") or from the fired
// record ("@T-3").
struct Place {
    bool from_fired = false;
    int offset = 0;

    bool operator==(const Place&) const = default;
};

// The places first to last, both from the same record.
struct PlaceRange {
    Place first;
    Place last;

    bool operator==(const PlaceRange&) const = default;
};

enum class ConditionOp { Equal, NotEqual, Less, LessOrEqual, Greater, GreaterOrEqual };

// What an operand reads of a record besides its bytes: whether it was
// written (1, or 0 for a record of the log never written) and its offset
// from the fired record.
enum class RecordState { None, Written, Offset };

// An operand as a comparison reads it: a field, a byte or a decoded part
// (with its mask), or the record's state, at its place or at the record
// tested.
struct ConditionOperand {
    Operand operand;
    RecordState state = RecordState::None;  // when not None, operand is unused
    std::size_t field = 0;                  // a Field operand's place in its file
    std::uint8_t mask = 0xFF;               // a Byte operand's, or a decoded byte's
    std::optional<Place> place;
};

struct ConditionNode {
    enum class Kind { Compare, InRange, Not, And, Or, Then, Any, All, Count };
    Kind kind = Kind::Compare;

    // Compare and InRange: the operand, and what it is compared with: a
    // value, or (Compare) another operand.
    ConditionOperand left;
    std::optional<ConditionOperand> right;
    ConditionOp op = ConditionOp::Equal;  // Compare, and Count's count
    double value = 0;                     // InRange's low end
    double high = 0;                      // InRange's high end
    // A value given by the field's name for it: compared as its raw value.
    bool by_raw = false;

    // Not, And, Or (its terms), Then (A, B), Any, All, Count (its inside).
    std::vector<int> children;
    int within = 0;    // Then's K
    PlaceRange range;  // Any, All, Count
};

struct Condition {
    std::vector<ConditionNode> nodes;
    int root = 0;
};

// What is wrong with a condition's text. The front-ends word each.
enum class ConditionProblem {
    Operand,       // an operand is wrong (operand says how)
    Empty,         // no condition at all
    ReservedWord,  // a word of the language where a name belongs: backquote it
    UnknownField,  // no field of the fields file has the name
    NoComparison,  // neither = != < <= > >= nor "in" after an operand
    NoValue,       // no number or quoted value name where one belongs
    UnclosedValueName,
    UnknownValueName,  // the field names no value so
    NameOnByte,        // a value name compared with what has none (a byte, written)
    MaskOnField,       // "&" after what is no byte: only a byte takes a mask
    NoMask,            // "&" without a number 0-0xFF
    NoRangeDots,       // "in LOW" without "..HIGH"
    EmptyRange,        // LOW above HIGH, or a range of places backwards
    NoClosingBracket,
    NoOpeningBracket,  // any, all, count without "("
    NoPlace,           // "@" without 0, -K, +K, T0, T-K or T+K
    PlaceOutOfRange,   // K beyond the records a log holds
    NoPlaceRange,      // any, all, count without "@FIRST..LAST"
    MixedPlaceRange,   // a range from the fired record to one from the tested
    NoCount,           // count(...) @RANGE without OP and a whole number
    NoWithin,          // "A then B" without "within K"
    WithinOutOfRange,  // K not in 1-255
    TextAfter,         // something after the end of the condition
    TooLong,
    TooDeep,
    TooManyNodes,
    TooCostly,
};

struct ConditionError {
    ConditionProblem problem = ConditionProblem::Empty;
    int column = 1;  // from 1, in characters
    // With Operand: what read_operand found wrong.
    SyntaxProblem operand = SyntaxProblem::NoOperand;

    bool operator==(const ConditionError&) const = default;
};

// A field's name as a condition's operand: as it is, or in backquotes
// where the language would read it otherwise (a word of the language, a
// blank, an operator).
std::string operand_name(const std::string& name);

// What is wrong, in English (marked for the windows' catalogue); "%1"
// stands for condition_error_after.
const char* condition_problem_text(const ConditionError& error);
// What the text holds just before the error's column (the comparison a
// value should follow: ">"), for "%1".
std::string condition_error_after(std::string_view text, const ConditionError& error);

struct ConditionRead {
    std::optional<Condition> condition;
    std::optional<ConditionError> error;
};
// Reads a condition on the fields given (names and value names are looked
// up in them); a text that the language refuses but that is one
// "NAME OP REST" (field_condition_from_text) reads as that.
ConditionRead read_condition(std::string_view text, std::span<const FieldSpec> fields);

// Whether the condition holds at a record of the log, with the fields it
// was read on. A record not written meets nothing; an operand at a place
// outside the written records, or at a T place of a log without a fired
// record, has no value, and a comparison without a value is false.
bool holds(const Condition& condition, const LogFile& log, const LogTimeline& timeline, int record,
           std::span<const FieldSpec> fields);

}  // namespace quillon
