// Every column a record can show, described once: its 32 bytes, its two
// blocks decoded, and the fields of a user's fields file. The browser's
// table, show's text, CSV and JSON, find and diff take their columns' names
// and values from here, each view laying them out in its own order.
#pragma once

#include "Fields.h"
#include "LogAnalysis.h"
#include "LogFile.h"

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quillon {

enum class ColumnKind { Byte, Decoded, Field };

// The parts of a decoded block, and the command word's name after both.
enum class DecodedPart { Length, Second, Third, Checksum, CommandName };

struct RecordColumn {
    ColumnKind kind = ColumnKind::Byte;
    int index = 0;  // a byte 0-31, a DecodedPart, or a field of the fields file
    // A byte's or a decoded block's direction; none for the command word's
    // name and for a field.
    std::optional<Direction> direction;
    std::string key;    // CSV's header, and JSON's within its direction: "recv_3", "recv_length"
    std::string label;  // the windows': "Recv 3", "Recv length", a field's name
    // The command line's word before the value in a decoded block's text
    // ("length", "header"); "" for the second of a sent block's header bytes.
    std::string word;

    // The key inside its direction's JSON object: "length", "header_1";
    // the whole key for a column without a direction.
    std::string json_key() const;
};

// The 32 byte columns, the received first.
const std::vector<RecordColumn>& byte_columns();
// A direction's decoded block: length, address and command (received) or
// the two header bytes (sent), checksum.
const std::vector<RecordColumn>& decoded_columns(Direction direction);
// The command word's name, when it is one the program sends.
const RecordColumn& command_name_column();
// What CSV and JSON tell of a record besides its bytes: its number, and
// whether it meets the stop condition, its offset from the fired record and
// whether it was written.
inline constexpr const char* kRecordNumberKey = "record";
inline constexpr const char* kRecordStateKeys[] = {"meets_condition", "offset", "written"};
// One column for each field of the file, in its order. Its key is the
// field's name where no other column of a record has that key (its bytes,
// what the log tells of it, its blocks decoded, the command word's name),
// else "field." and the name ("field.command"): the same with or without
// the decoded columns, in CSV and JSON alike.
std::vector<RecordColumn> field_columns(std::span<const FieldSpec> fields);

// The variation map's columns: the 32 byte columns, then one for each
// field of the file.
std::vector<RecordColumn> map_columns(std::span<const FieldSpec> fields);
// A column's narrow heading: "R5", "SF" for a byte, else its label.
std::string column_heading(const RecordColumn& column);

// A decoded block's part as a number: its byte, or a checksum's
// ChecksumState; CommandName has none (0).
int decoded_part_value(const LogRecord& record, Direction direction, DecodedPart part);

// A byte's or a field's value in a record, as a number and as a column
// shows it: 10 and "0A", 12.34 and "12.34 mm"; none for a field that holds
// no value there and for a decoded column.
struct ColumnValue {
    double number = 0;
    std::string text;
};
std::optional<ColumnValue> column_value(const RecordColumn& column, const LogRecord& record,
                                        std::span<const FieldSpec> fields);

// One record as its columns read it: the bytes, the blocks decoded and the
// fields' values, each worked out once. A record never written holds no
// field's value.
class RecordReading {
public:
    RecordReading(const LogRecord& record, std::span<const FieldSpec> fields, bool written = true);

    const LogRecord& record() const { return record_; }
    const DecodedRecord& decoded() const { return decoded_; }
    const std::optional<FieldValue>& field(std::size_t index) const { return values_[index]; }
    const FieldSpec& described_field(std::size_t index) const { return fields_[index]; }
    std::size_t field_count() const { return values_.size(); }

    // What a column shows: a byte and a decoded byte in hexadecimal
    // ("0A"), a checksum as "ok", "bad" or "cut", the command word's name,
    // a field as field_value_text ("12.34 mm", "home"); "" for nothing.
    std::string text(const RecordColumn& column) const;
    // A field as a number for CSV: "12.34", "" without a value.
    std::string field_number(std::size_t index) const;

private:
    const LogRecord& record_;
    std::span<const FieldSpec> fields_;
    DecodedRecord decoded_;
    std::vector<std::optional<FieldValue>> values_;
};

// The fields that hold a value in the record, as the command line shows
// them: "position=12.34 mm; alarm=overcurrent"; "" when none does. A unit's
// or a name's control characters are escaped
// (with_control_characters_escaped), so that a value from a fields file
// neither splits a line nor reaches the terminal as a command.
std::string fields_text(const RecordReading& reading);

}  // namespace quillon
