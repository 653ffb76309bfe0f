// The condition language: what it reads and refuses (with the column), and
// what it holds at each record of a hand-made log.
#include "Conditions.h"
#include "LogAnalysis.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace quillon {
// The problem's number and the column, for a failure's message.
void PrintTo(const ConditionError& error, std::ostream* out)
{
    *out << "problem " << int(error.problem) << " column " << error.column << " operand "
         << int(error.operand);
}
}  // namespace quillon

namespace {

using namespace quillon;
using P = ConditionProblem;

std::vector<FieldSpec> test_fields()
{
    return parse_fields(R"({"fields": [
        {"name": "position", "direction": "send", "byte": 3, "scale": 0.5, "unit": "mm"},
        {"name": "alarm", "direction": "recv", "byte": 1,
         "names": {"0": "none", "3": "überlast", "5": "overload", "7": "excess deviation"}},
        {"name": "moving", "direction": "recv", "byte": 2, "names": {"0": "still", "1": "moving"}},
        {"name": "speed", "direction": "recv", "byte": 4, "signed": true,
         "when": {"direction": "recv", "byte": 5, "mask": 1, "value": 1}},
        {"name": "count", "direction": "recv", "byte": 6},
        {"name": "x", "direction": "recv", "byte": 7}]})",
                        "fields.json")
        .fields;
}

// Records 0-9 written, 10 on never; the trigger fired at record 6 (recv[0]
// = 0x55, count 3).
LogFile test_log(bool with_fired_record)
{
    struct Row {
        int alarm, moving, position, speed, speed_valid;
    };
    const Row rows[] = {{0, 0, 10, 0xFE, 1}, {0, 1, 20, 0, 0}, {0, 1, 100, 3, 1}, {7, 1, 100, 0, 0},
                        {0, 0, 100, 0, 0},   {0, 1, 30, 0, 0}, {5, 1, 40, 0, 0},  {0, 0, 40, 0, 0},
                        {7, 0, 0, 0, 0},     {0, 0, 1, 0, 0}};
    LogFile log;
    int record = 0;
    for (const Row& row : rows) {
        LogRecord& bytes = log.records[std::size_t(record++)];
        bytes[record_byte_index(Direction::Recv, 0)] = 0x11;
        bytes[record_byte_index(Direction::Recv, 1)] = std::uint8_t(row.alarm);
        bytes[record_byte_index(Direction::Recv, 2)] = std::uint8_t(row.moving);
        bytes[record_byte_index(Direction::Recv, 4)] = std::uint8_t(row.speed);
        bytes[record_byte_index(Direction::Recv, 5)] = std::uint8_t(row.speed_valid);
        bytes[record_byte_index(Direction::Send, 3)] = std::uint8_t(row.position);
    }
    log.records[6][record_byte_index(Direction::Recv, 0)] = 0x55;
    log.records[9][record_byte_index(Direction::Send, 1)] = 0x81;
    if (with_fired_record) {
        log.stop_condition = FileStopCondition{Direction::Recv, 0, 0xFF, 0x55, 3};
    }
    return log;
}

std::string repeated(const std::string& part, int times)
{
    std::string text;
    for (int i = 0; i < times; ++i) {
        text += part;
    }
    return text;
}

TEST(Condition, ReadsEachConstructAndRefusesWithTheColumn)
{
    const auto fields = test_fields();
    struct Case {
        std::string text;
        std::optional<ConditionError> error;
    };
    const auto at = [](P problem, int column) {
        return ConditionError{problem, column, SyntaxProblem::NoOperand};
    };
    const auto operand = [](SyntaxProblem problem, int column) {
        return ConditionError{P::Operand, column, problem};
    };
    const std::string deep = repeated("(", 65) + "x = 0" + repeated(")", 65);
    const std::string nots = repeated("not ", 65) + "x = 0";
    const std::string wide = repeated("x=0or ", 600) + "x=0";
    const Case cases[] = {
        {"position >= 12.5", {}},
        {"alarm = \"excess deviation\" and not moving = \"still\"", {}},
        {"recv[3] & 0x0F != 0x0A or send[1] in 1..0xFF", {}},
        {"position@T-3 < 2.5 and (speed > -3 or x = 0) @-2", {}},
        {"any(alarm = 7) @T-10..T-1 and all(x = 0) @-5..-1", {}},
        {"count(moving = 1) @T-50..T0 >= 3 then alarm = 7 within 5", {}},
        {"`count` = 0 and alarm in \"none\"..\"overload\"", {}},
        {"alarm=excess deviation", {}},
        {"position@T-3 > position@T-4 and recv[1] & 3 != send[2]", {}},
        {"recv.command = 0x43 then send[1] & 0x80 = 0x80 within 5", {}},
        {"send.checksum != \"ok\" and written@+1 = 0 and offset in -3..0", {}},
        {"recv.bogus = 1", operand(SyntaxProblem::NoDecodedPart, 6)},
        {"x.y = 1", operand(SyntaxProblem::NotIndexable, 2)},
        {"recv.checksum & 1 = 1", at(P::MaskOnField, 15)},
        {"written@-1 & 1 = 1", at(P::MaskOnField, 12)},
        {"recv.command = \"ok\"", at(P::NameOnByte, 16)},
        {"offset = \"none\"", at(P::NameOnByte, 10)},
        {"send.checksum = \"fine\"", at(P::UnknownValueName, 17)},
        {"moving = moving and x = 0", at(P::NoValue, 10)},
        {"position > nosuch", at(P::NoValue, 12)},
        {"x = recv[20]", operand(SyntaxProblem::ByteOutOfRange, 10)},
        {"", at(P::Empty, 1)},
        {"position > _", at(P::NoValue, 12)},
        {"position >", at(P::NoValue, 11)},
        {"nosuch = 1", at(P::UnknownField, 1)},
        {"and = 1", at(P::ReservedWord, 1)},
        {"alarm = \"bogus\"", at(P::UnknownValueName, 9)},
        {"alarm = \"none", at(P::UnclosedValueName, 9)},
        {"alarm = \"überlast\" )", at(P::TextAfter, 20)},
        {"recv[3] = \"none\"", at(P::NameOnByte, 11)},
        {"position & 0x0F = 1", at(P::MaskOnField, 10)},
        {"recv[3] & 0x100 = 1", at(P::NoMask, 11)},
        {"recv[16] = 1", operand(SyntaxProblem::ByteOutOfRange, 6)},
        {"`position = 1", operand(SyntaxProblem::UnclosedQuote, 1)},
        {"x = 0 and in = 1", at(P::ReservedWord, 11)},
        {"x = 0 and = 1", operand(SyntaxProblem::NoOperand, 11)},
        {"position 5", at(P::NoComparison, 10)},
        {"position in 5", at(P::NoRangeDots, 14)},
        {"position in 5..1", at(P::EmptyRange, 16)},
        {"(alarm = 0", at(P::NoClosingBracket, 11)},
        {"any alarm = 0", at(P::NoOpeningBracket, 5)},
        {"any(alarm = 0)", at(P::NoPlaceRange, 15)},
        {"any(alarm = 0) @T-3..-1", at(P::MixedPlaceRange, 22)},
        {"any(alarm = 0) @-1..-3", at(P::EmptyRange, 21)},
        {"alarm = 0 @5", at(P::NoPlace, 12)},
        {"alarm = 0 @--1", at(P::NoPlace, 12)},
        {"alarm = 0 @T-256", at(P::PlaceOutOfRange, 14)},
        {"count(alarm = 0) @-3..-1", at(P::NoCount, 25)},
        {"alarm = 0 then alarm = 7", at(P::NoWithin, 25)},
        {"alarm = 0 then alarm = 7 within 0", at(P::WithinOutOfRange, 33)},
        {"alarm = 0 )", at(P::TextAfter, 11)},
        {std::string(kLongestCondition + 1, ' '), at(P::TooLong, 4097)},
        {deep, at(P::TooDeep, 65)},
        {nots, at(P::TooDeep, 257)},
        {wide, at(P::TooManyNodes, 512 * 6 + 4)},
        {"any(any(any(x=0) @-255..0) @-255..0) @-255..0", at(P::TooCostly, 1)},
        {"x=0 then x=0 within 255 then x=0 within 255 then x=0 within 2", at(P::TooCostly, 45)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 80));
        const ConditionRead read = read_condition(c.text, fields);
        EXPECT_EQ(read.error, c.error);
        EXPECT_EQ(read.condition.has_value(), !c.error.has_value());
        // No text cut short throws or reads past its end.
        for (std::size_t length = 0; length < std::min<std::size_t>(c.text.size(), 200); ++length) {
            const ConditionRead prefix = read_condition(c.text.substr(0, length), fields);
            EXPECT_NE(prefix.condition.has_value(), prefix.error.has_value());
        }
    }
}

TEST(Condition, AnErrorIsWordedWithWhatCameJustBeforeIt)
{
    const auto fields = test_fields();
    const struct {
        const char* text;
        const char* after;
        const char* reason;
    } cases[] = {
        {"position > _", ">", "a value expected after '%1'"},
        {"alarm = \"überlast\" and x <= ", "<=", "a value expected after '%1'"},
        {"position 5", "position", "=, !=, <, <=, >, >= or in expected after '%1'"},
        {"any alarm = 0", "any", "'(' expected after '%1'"},
        {"recv[3] = 1 and recv[16] = 1", "recv[", "a byte beyond 15"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const ConditionRead read = read_condition(c.text, fields);
        ASSERT_TRUE(read.error);
        EXPECT_EQ(condition_error_after(c.text, *read.error), c.after);
        EXPECT_STREQ(condition_problem_text(*read.error), c.reason);
    }
}

TEST(Condition, ANameTheLanguageWouldReadOtherwiseIsBackquoted)
{
    const auto fields = test_fields();
    for (const auto& [name, operand] :
         std::vector<std::pair<std::string, std::string>>{{"position", "position"},
                                                          {"count", "`count`"},
                                                          {"end_sensor", "end_sensor"},
                                                          {"2nd", "`2nd`"},
                                                          {"my field", "`my field`"},
                                                          {"a-b", "`a-b`"}}) {
        EXPECT_EQ(operand_name(name), operand);
    }
    // As written, each reads back as the field it names.
    EXPECT_TRUE(read_condition(operand_name("count") + " = 1", fields).condition);
}

TEST(Condition, HoldsAtTheRecordsOfAHandMadeLog)
{
    const auto fields = test_fields();
    const LogFile fired_log = test_log(true);
    const LogFile plain_log = test_log(false);
    const LogTimeline fired_timeline = log_timeline(fired_log);
    const LogTimeline plain_timeline = log_timeline(plain_log);
    ASSERT_EQ(fired_timeline.written, 10);
    ASSERT_EQ(fired_timeline.fired, 6);
    ASSERT_FALSE(plain_timeline.fired);
    struct Case {
        std::string text;
        int record;
        bool expected;
        bool fired = true;  // on the log with a fired record
    };
    const Case cases[] = {
        // Values: names, numbers in the field's unit, bytes and masks.
        {"alarm = \"excess deviation\"", 3, true},
        {"alarm = \"excess deviation\"", 4, false},
        {"alarm = 7", 3, true},
        {"position = 50", 2, true},
        {"position = 100", 2, false},
        {"position in 10..20", 6, true},
        {"position in 10..20", 0, false},
        {"send[3] = 100", 2, true},
        {"send[1] & 0x80 = 0x80", 9, true},
        {"send[1] & 0x80 = 0x80", 8, false},
        {"`count` = 0", 4, true},
        // A record never written meets nothing, != included.
        {"alarm = \"none\"", 10, false},
        {"alarm != 7", 10, false},
        {"not alarm = 7", 10, false},
        // A field without a value in a record meets nothing there.
        {"speed < 0", 0, true},
        {"speed != 5", 1, false},
        {"speed = 3", 2, true},
        // Places: before the first record and after the last have no value.
        {"alarm != 7 @-1", 0, false},
        {"alarm = 0 @-1", 1, true},
        {"position@-1 > 5 and position@0 < 5", 8, true},
        {"position@-1 > 5 and position@0 < 5", 7, false},
        {"position > 10 @T-4", 9, true},
        {"moving = \"moving\" @T-4", 0, true},
        {"moving = \"moving\" @T+4", 0, false},
        {"alarm = \"overload\" @T0", 0, true},
        {"moving = \"moving\" @T-4", 0, false, false},
        {"alarm = 0 @T0 or alarm = 0", 0, true, false},
        // A place after a comparison places only its operand; after a
        // bracket, every operand inside without one of its own.
        {"alarm != \"none\" and moving = \"moving\" @-4", 6, true},
        {"alarm != \"none\" and moving = \"moving\" @-4", 3, false},
        {"(alarm != \"none\" and moving = \"moving\") @-3", 6, true},
        {"(alarm != \"none\" and moving = \"moving\") @-3", 7, false},
        {"(alarm = 0 and position@-1 = 50) @+1", 3, true},
        {"(alarm = 0 and position@-2 = 50) @+1", 3, false},
        // Two operands compared; either without a value makes it false.
        {"position@-1 > position", 8, true},
        {"position@-1 > position", 2, false},
        {"position < position@-1", 0, false},
        {"position@T-1 < position@T-2", 0, true},
        {"position < position@-1 @+1", 7, true},
        {"speed > recv[2]", 2, true},
        {"speed > recv[2]", 3, false},
        // any, all, count.
        {"alarm != \"none\" and any(position = 50) @T-6..T-1", 3, true},
        {"any(alarm = 7) @-2..-1", 5, true},
        {"any(alarm = 7) @-2..-1", 3, false},
        {"any(alarm = 7) @-5..-1", 0, false},
        {"all(alarm = 0) @-5..-1", 0, false},
        {"count(alarm = 0) @-5..-1 = 0", 0, true},
        {"(x = 0 and any(alarm = 7) @-1..-1) @T0", 4, true},
        {"all(alarm = 0) @-3..-1", 3, true},
        {"all(alarm = 0) @-3..-1", 4, false},
        {"all(alarm = 0) @+1..+5", 9, false},
        {"count(moving = \"moving\") @T-6..T0 >= 5", 0, true},
        {"count(moving = \"moving\") @T-6..T0 >= 6", 0, false},
        {"count(alarm = 0) @T-6..T0 = 0", 0, true, false},
        // then/within: where B holds and A held within K records before.
        {"alarm = 7 then send[1] & 0x80 = 0x80 within 1", 9, true},
        {"alarm = 5 then position < 1 within 2", 8, true},
        {"alarm = 5 then position < 1 within 1", 8, false},
        {"position = 50 then alarm = \"excess deviation\" within 1", 3, true},
        {"position = 50 then alarm = \"excess deviation\" within 1", 8, false},
        // Decoded parts, and the record's own state.
        {"recv.command = 1", 1, true},
        {"recv.length & 0xF0 = 0x50 @T0", 0, true},
        {"recv.checksum = \"cut\"", 0, true},
        {"send.checksum = \"ok\"", 8, true},
        {"send.checksum = \"ok\"", 9, false},
        {"send.checksum = \"bad\"", 9, true},
        {"written@+1 = 0", 9, true},
        {"written@+1 = 0", 8, false},
        {"written@T+3 = 1 and written@T+4 = 0", 0, true},
        {"written@-1 = 0", 0, false},
        {"offset = -2", 4, true},
        {"offset in -1..1", 6, true},
        {"offset in -1..1", 6, false, false},
        // Precedence: not, then and, then or, then then.
        {"not alarm = 0 and moving = 1", 4, false},
        {"alarm = 7 or alarm = 0 and moving = 1", 8, true},
        {"moving = 1 or alarm = 7 then alarm = 0 within 1", 1, false},
        {"moving = 1 or alarm = 7 then alarm = 0 within 1", 4, true},
        // The old form, its value's name unquoted.
        {"alarm=excess deviation", 3, true},
        {"alarm=excess deviation", 6, false},
        {"count=0", 0, true},
        {"moving=moving", 0, false},
        {"moving=moving", 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text + " at " + std::to_string(c.record));
        const ConditionRead read = read_condition(c.text, fields);
        ASSERT_TRUE(read.condition);
        EXPECT_EQ(holds(*read.condition, c.fired ? fired_log : plain_log,
                        c.fired ? fired_timeline : plain_timeline, c.record, fields),
                  c.expected);
    }
}

}  // namespace
