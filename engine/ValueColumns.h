// Values at places: a column of one value per capture, an operand read at a
// place counted from the fired record. "position@T-3" is the field
// position three records before the fired record, "send[3]@T0" the sent
// byte 3 of the fired record, "recv[5]@T+2" two records after it.
//
// How a front-end uses it (series --value, the series window's columns):
//   1. read_value_column(text) for each column chosen; a text that is no
//      good gives the problem and its column to word.
//   2. operand_column(column.operand, fields) once for the fields in use:
//      the RecordColumn it reads, or nothing for a field that the fields
//      file does not name (worded by the front-end, naming the file).
//   3. placed_value(read, column.offset, capture.log, capture.timeline,
//      fields) for each capture: nothing where there is no value, else the
//      value to show (placed_value_text) and to sort by (number). Key the
//      column by column.key, the text as written.
#pragma once

#include "Fields.h"
#include "LogFile.h"
#include "LogTimeline.h"
#include "Operands.h"
#include "RecordColumns.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace quillon {

struct ValueColumn {
    std::string key;  // as written: "position@T-3"
    Operand operand;
    int offset = 0;  // the place: from the fired record

    bool operator==(const ValueColumn&) const = default;
};

// OPERAND@T0, OPERAND@T-K or OPERAND@T+K (T in either case), nothing
// before or after; K within the records a log holds.
struct ValueColumnRead {
    std::optional<ValueColumn> column;
    std::optional<SyntaxError> error;
};
ValueColumnRead read_value_column(std::string_view text);

// The column an operand reads: a byte's of byte_columns(), a decoded
// part's of decoded_columns, a field's of field_columns(fields); nothing
// for a field the fields do not name.
std::optional<RecordColumn> operand_column(const Operand& operand,
                                           std::span<const FieldSpec> fields);

// A value at a place.
struct PlacedValue {
    enum class Kind { Byte, Number, Name };
    Kind kind = Kind::Byte;
    // The byte, or the field's value in its unit (a named value's too, so
    // that a column sorts by value).
    double number = 0;
    // "0x44"; the value with the scale's decimals ("20.12"); the value's name.
    std::string text;
    std::string unit;  // a Number's unit, "" for none
};
// Nothing where the log has no fired record, the record at the place was
// never written (or lies outside the log), or the field holds no value
// there.
std::optional<PlacedValue> placed_value(const RecordColumn& read, int offset, const LogFile& log,
                                        const LogTimeline& timeline,
                                        std::span<const FieldSpec> fields);

// As a table shows it: "0x44", "20.12 mm", "overload".
std::string placed_value_text(const PlacedValue& value);

}  // namespace quillon
