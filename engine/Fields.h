// Fields: named values that a user's file lays over a record's bytes (a
// position, a state code), and their values read from a record.
#pragma once

#include "LogAnalysis.h"
#include "LogFile.h"

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

enum class ByteOrder { Little, Big };

// One field as the file describes it. What the file may leave out takes
// the default written here.
struct FieldSpec {
    std::string name;  // [A-Za-z_][A-Za-z0-9_]*, unique in its file
    Direction direction = Direction::Recv;
    int byte = 0;   // the first byte, 0-15 within the direction
    int width = 1;  // 1, 2 or 4 bytes, all within the direction's 16
    ByteOrder order = ByteOrder::Little;
    bool is_signed = false;
    // The bits kept of the bytes read; none for all of the width's. A
    // signed field's sign is the highest bit kept.
    std::optional<std::uint32_t> mask;
    double scale = 1.0;                         // the value is raw x scale
    std::string unit;                           // "" for none
    std::map<std::int64_t, std::string> names;  // raw value -> its name
    // Only a record that meets it holds the field.
    std::optional<RecordCondition> when;
    // False ("compare": false, a counter or a time stamp): shown, but its
    // bits are left out of every comparison.
    bool compared = true;
    int line = 0;  // where its entry begins in its file

    bool operator==(const FieldSpec&) const = default;
};

struct FieldsFile {
    std::string path;
    std::vector<FieldSpec> fields;
};

// The largest fields file read.
inline constexpr std::size_t kLargestFieldsFile = 1 << 20;

// Reads a fields file, a JSON object:
//   {"fields": [{"name": "position", "direction": "send", "byte": 3,
//                "width": 4, "order": "little", "signed": true,
//                "mask": "0xFFFFFFFF", "scale": 0.01, "unit": "mm",
//                "names": {"0": "home", "0x10": "limit"},
//                "when": {"direction": "recv", "byte": 2, "mask": 255,
//                         "value": 65}, "compare": true}, ...]}
// name, direction and byte are required; width is 1, order "little",
// signed false, scale 1, unit "" and compare true when left out. A number (byte, width,
// mask, a condition's byte, mask and value) is a JSON integer or a text
// in decimal or 0x hexadecimal, as the names' keys are; a key of names
// may be negative for a signed field. A condition's mask is 0xFF when
// left out, and its value must lie within its mask.
// A scale is a JSON number other than 0 by which no raw value of the field
// passes the largest number.
// Throws LogReadError (the file, the line, what is wrong), as for a log
// file: not JSON, no "fields" list, an entry with a missing, unknown or
// wrong key, a name given twice, a key given twice in one object (however
// spelt: QJsonDocument would keep the last); the line is the entry's first,
// or the second key's. Read in time linear in the file's size.
FieldsFile read_fields_file(const std::string& path);

// The same for bytes already read; name stands for the file in a reason.
FieldsFile parse_fields(std::string_view bytes, const std::string& name);

// A field's value in one record.
struct FieldValue {
    std::int64_t raw = 0;             // the bytes read, masked, then signed
    double value = 0.0;               // raw x scale, to the scale's decimals
    std::optional<std::string> name;  // raw's, when the field names it

    bool operator==(const FieldValue&) const = default;
};

// Nothing when the record does not meet the field's condition.
std::optional<FieldValue> field_value(const FieldSpec& field, const LogRecord& record);
// Its raw value alone: enough to compare and count values, without the
// scaled number and the name.
std::optional<std::int64_t> field_raw(const FieldSpec& field, const LogRecord& record);

// The value as a number with as many decimals as the scale has: "12.34",
// "-5"; value is already rounded to them, so the text reads back as it.
std::string field_number_text(const FieldSpec& field, const FieldValue& value);

// As a column shows it: the name when the raw value has one ("home"), else
// the value with as many decimals as the scale has and the unit ("12.34 mm",
// "-5", "1.5 V"); "" when the record holds no value.
std::string field_value_text(const FieldSpec& field, const std::optional<FieldValue>& value);

// The bits of each of a record's 32 bytes that the field is read from:
// those its mask keeps, else all of its width's.
LogRecord field_bits(const FieldSpec& field);

// The rules with the bits of the fields not compared added to those
// ignored, as an ignore rule on them would leave them out: what a
// comparison under a fields file looks at.
ComparisonRules with_fields_left_out(ComparisonRules rules, std::span<const FieldSpec> fields);

// Which of the field's kept bits (numbered as in its value, before any
// sign) a comparison looks at, given per byte the bits compared
// (compared_bits): those left by the rules; none for a field not compared.
std::uint32_t field_bits_compared(const FieldSpec& field, const LogRecord& compared);
// The field's bits compared (field_bits_compared) as a record holds them;
// nothing when the record does not meet the field's condition. Two records
// differ in the field when these differ.
std::optional<std::uint32_t> field_compared_value(const FieldSpec& field, std::uint32_t bits,
                                                  const LogRecord& record);

// A test of a field's value: the field (its place in its file), how it
// compares and with what, in the field's scaled unit.
enum class FieldComparison { Equal, NotEqual, Less, LessOrEqual, Greater, GreaterOrEqual };
struct FieldCondition {
    std::size_t field = 0;
    FieldComparison comparison = FieldComparison::Equal;
    double value = 0.0;
};
// "NAME OP VALUE" as typed ("position >= 12.5", "alarm=overcurrent"),
// spaces and tabs around its parts: OP one of = != < <= > >=, VALUE a
// finite number (decimal, or 0x hexadecimal) or one of the field's names.
// Nothing and why when it is no good, what was typed quoted with its
// control characters escaped; a name that VALUE spells but that cannot be
// chosen (it reads as a number other than its value, or has blanks at its
// ends) is named in the reason.
struct TypedFieldCondition {
    std::optional<FieldCondition> condition;
    std::string error;
};
TypedFieldCondition field_condition_from_text(std::string_view text,
                                              std::span<const FieldSpec> fields);
// A record whose field holds no value never meets it.
bool meets(const LogRecord& record, const FieldCondition& condition,
           std::span<const FieldSpec> fields);

}  // namespace quillon
