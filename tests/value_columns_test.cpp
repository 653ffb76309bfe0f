// Value columns: an operand at a place read as typed, and its value in a
// hand-made log (tests/golden/decoded.txt: fired at record 5, records 0-7
// written) with the fields of decoded-fields.json.
#include "ValueColumns.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;
using namespace quillon;

const fs::path kGolden = QUILLON_GOLDEN_DIR;

Operand field(const std::string& name)
{
    return {Operand::Kind::Field, name, Direction::Recv, 0};
}

Operand byte(Direction direction, int number)
{
    return {Operand::Kind::Byte, "", direction, number};
}

TEST(ValueColumns, AColumnIsAnOperandAtAPlaceFromTheFiredRecord)
{
    const struct {
        const char* text;
        Operand operand;
        int offset;
    } read[] = {
        {"position@T-3", field("position"), -3},
        {"send[3]@T0", byte(Direction::Send, 3), 0},
        {"recv[5]@T+2", byte(Direction::Recv, 5), 2},
        // The log's own spelling of a byte, and a lower-case t.
        {"Recv[15]@t-255", byte(Direction::Recv, 15), -255},
        {"send[03]@T+0", byte(Direction::Send, 3), 0},
        // Backquotes hold any name; a direction's word alone is a name.
        {"`my field`@T-1", field("my field"), -1},
        {"`send`@T+1", field("send"), 1},
        {"send@T0", field("send"), 0},
        {"_x9@T+12", field("_x9"), 12},
    };
    for (const auto& c : read) {
        const ValueColumnRead column = read_value_column(c.text);
        ASSERT_TRUE(column.column) << c.text << ": column " << column.error->column;
        EXPECT_EQ(*column.column, (ValueColumn{c.text, c.operand, c.offset})) << c.text;
    }
}

TEST(ValueColumns, ATextThatIsNoColumnSaysWhatIsWrongAndWhere)
{
    using enum SyntaxProblem;
    const struct {
        const char* text;
        SyntaxError error;
    } refused[] = {
        {"", {NoOperand, 1}},
        {"@T0", {NoOperand, 1}},
        {"3@T0", {NoOperand, 1}},
        {"position", {NoPlace, 9}},
        {"position T0", {TextAfter, 9}},
        {"position@", {NoPlaceOffset, 10}},
        {"position@X3", {NoPlaceOffset, 10}},
        {"position@T3", {NoPlaceOffset, 10}},
        {"position@T-", {NoPlaceOffset, 10}},
        {"position@-3", {NoPlaceOffset, 10}},
        {"position@T-256", {OffsetOutOfRange, 10}},
        {"position@T+99999", {OffsetOutOfRange, 10}},
        {"position@T-3 ", {TextAfter, 13}},
        {"position@T-3x", {TextAfter, 13}},
        {"send[3]@T0@T1", {TextAfter, 11}},
        {"send[16]@T0", {ByteOutOfRange, 6}},
        {"send[99999999999]@T0", {ByteOutOfRange, 6}},
        {"send[]@T0", {NoByte, 6}},
        {"send[x]@T0", {NoByte, 6}},
        {"send[3@T0", {NoByte, 7}},
        {"send[3", {NoByte, 7}},
        {"speed[3]@T0", {NotIndexable, 6}},
        {"`my field@T0", {UnclosedQuote, 1}},
        {"``@T0", {EmptyQuote, 1}},
        {"`a\tb`@T0", {ControlInQuote, 3}},
        // Columns count characters, not the bytes of UTF-8.
        {"`位置`@T-", {NoPlaceOffset, 6}},
    };
    for (const auto& c : refused) {
        const ValueColumnRead column = read_value_column(c.text);
        EXPECT_FALSE(column.column) << c.text;
        ASSERT_TRUE(column.error) << c.text;
        EXPECT_EQ(column.error->problem, c.error.problem) << c.text;
        EXPECT_EQ(column.error->column, c.error.column) << c.text;
    }
    // Read from within a longer text, an operand ends where its grammar
    // does, for the text around it to go on.
    const OperandRead inside = read_operand("a + recv[2] = 1", 4);
    ASSERT_TRUE(inside.operand);
    EXPECT_EQ(*inside.operand, byte(Direction::Recv, 2));
    EXPECT_EQ(inside.end, 11U);
}

TEST(ValueColumns, AValueIsTheByteOrTheFieldsValueOrNameOrNothing)
{
    const LogFile log = read_log_file((kGolden / "decoded.txt").string());
    const LogTimeline timeline = log_timeline(log);
    ASSERT_EQ(timeline.fired, 5);
    const FieldsFile fields = read_fields_file((kGolden / "decoded-fields.json").string());

    using Kind = PlacedValue::Kind;
    const struct {
        const char* column;
        std::optional<PlacedValue> value;
        const char* shown;
    } cases[] = {
        {"cmd@T0", PlacedValue{Kind::Name, 64, "status", ""}, "status"},
        {"cmd@T-2", PlacedValue{Kind::Number, 175, "175", ""}, "175"},
        {"level@T0", PlacedValue{Kind::Number, -6625, "-6625.0", "V"}, "-6625.0 V"},
        {"flag@T-5", PlacedValue{Kind::Name, 0, "clear", ""}, "clear"},
        {"send[3]@T+2", PlacedValue{Kind::Byte, 7, "0x07", ""}, "0x07"},
        {"recv[2]@T-3", PlacedValue{Kind::Byte, 0xEA, "0xEA", ""}, "0xEA"},
        {"recv.command@T0", PlacedValue{Kind::Byte, 0x40, "0x40", ""}, "0x40"},
        {"recv.checksum@T0", PlacedValue{Kind::Name, 0, "ok", ""}, "ok"},
        {"send.checksum@T-4", PlacedValue{Kind::Name, 2, "cut", ""}, "cut"},
        // level holds a value only where Recv[2] is 0x40.
        {"level@T-1", std::nullopt, ""},
        // Record 8 was never written; record -1 is none.
        {"recv[0]@T+3", std::nullopt, ""},
        {"cmd@T+3", std::nullopt, ""},
        {"recv[0]@T-6", std::nullopt, ""},
        {"recv[0]@T+255", std::nullopt, ""},
    };
    for (const auto& c : cases) {
        const auto column = read_value_column(c.column).column;
        ASSERT_TRUE(column) << c.column;
        const auto read = operand_column(column->operand, fields.fields);
        ASSERT_TRUE(read) << c.column;
        const auto value = placed_value(*read, column->offset, log, timeline, fields.fields);
        EXPECT_EQ(value.has_value(), c.value.has_value()) << c.column;
        if (value && c.value) {
            EXPECT_EQ(value->kind, c.value->kind) << c.column;
            EXPECT_DOUBLE_EQ(value->number, c.value->number) << c.column;
            EXPECT_EQ(value->text, c.value->text) << c.column;
            EXPECT_EQ(value->unit, c.value->unit) << c.column;
            EXPECT_EQ(placed_value_text(*value), c.shown) << c.column;
        }
    }

    // A field the file does not name is no column.
    EXPECT_FALSE(operand_column(field("speed"), fields.fields));
    EXPECT_FALSE(operand_column(field("cmd"), {}));

    // A log stopped before its trigger fired has no values at all.
    const LogFile early =
        read_log_file((kGolden / "series" / "Autolog_20261209020000_2.txt").string());
    const LogTimeline unfired = log_timeline(early);
    ASSERT_FALSE(unfired.fired);
    ASSERT_GT(unfired.written, 0);
    EXPECT_FALSE(placed_value(byte_columns()[0], 0, early, unfired, {}));
}

}  // namespace
