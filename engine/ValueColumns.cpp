#include "ValueColumns.h"

#include "HexText.h"

#include <algorithm>
#include <cctype>

namespace quillon {

namespace {

ValueColumnRead failed(std::string_view text, std::size_t at, SyntaxProblem problem)
{
    return {std::nullopt, SyntaxError{problem, text_column(text, at)}};
}

bool is_digit(char c)
{
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

}  // namespace

ValueColumnRead read_value_column(std::string_view text)
{
    OperandRead operand = read_operand(text);
    if (!operand.operand) {
        return {std::nullopt, operand.error};
    }
    std::size_t at = operand.end;
    if (at == text.size() || text[at] != '@') {
        return failed(text, at,
                      at == text.size() ? SyntaxProblem::NoPlace : SyntaxProblem::TextAfter);
    }
    const std::size_t place = ++at;
    if (at == text.size() || (text[at] != 'T' && text[at] != 't')) {
        return failed(text, place, SyntaxProblem::NoPlaceOffset);
    }
    ++at;
    const bool signed_offset = at < text.size() && (text[at] == '-' || text[at] == '+');
    const bool negative = signed_offset && text[at] == '-';
    at += signed_offset ? 1 : 0;
    const std::size_t digits = at;
    while (at < text.size() && is_digit(text[at])) {
        ++at;
    }
    const std::string_view number = text.substr(digits, at - digits);
    // T0 alone goes without a sign; any other offset has one.
    if (number.empty() || (!signed_offset && number != "0")) {
        return failed(text, place, SyntaxProblem::NoPlaceOffset);
    }
    constexpr std::size_t kMostDigits = 4;
    const int size = number.size() > kMostDigits ? kLogRecords : std::stoi(std::string(number));
    if (size >= kLogRecords) {
        return failed(text, place, SyntaxProblem::OffsetOutOfRange);
    }
    if (at != text.size()) {
        return failed(text, at, SyntaxProblem::TextAfter);
    }
    return {ValueColumn{std::string(text), std::move(*operand.operand), negative ? -size : size},
            std::nullopt};
}

std::optional<RecordColumn> operand_column(const Operand& operand,
                                           std::span<const FieldSpec> fields)
{
    if (operand.kind == Operand::Kind::Byte) {
        return byte_columns()[record_byte_index(operand.direction, operand.byte)];
    }
    if (operand.kind == Operand::Kind::Decoded) {
        for (const RecordColumn& column : decoded_columns(operand.direction)) {
            if (DecodedPart(column.index) == operand.part) {
                return column;
            }
        }
        return std::nullopt;
    }
    const auto field = std::find_if(fields.begin(), fields.end(), [&](const FieldSpec& named) {
        return named.name == operand.field;
    });
    if (field == fields.end()) {
        return std::nullopt;
    }
    return field_columns(fields)[std::size_t(field - fields.begin())];
}

std::optional<PlacedValue> placed_value(const RecordColumn& read, int offset, const LogFile& log,
                                        const LogTimeline& timeline,
                                        std::span<const FieldSpec> fields)
{
    const auto record = timeline.record_at(offset);
    if (!record || std::size_t(*record) >= log.records.size()) {
        return std::nullopt;
    }
    const LogRecord& bytes = log.records[std::size_t(*record)];
    if (read.kind == ColumnKind::Byte) {
        const std::uint8_t byte = bytes[std::size_t(read.index)];
        return PlacedValue{PlacedValue::Kind::Byte, double(byte), hex_byte_value(byte), ""};
    }
    if (read.kind == ColumnKind::Decoded && read.direction) {
        const auto part = DecodedPart(read.index);
        const int value = decoded_part_value(bytes, *read.direction, part);
        if (part == DecodedPart::Checksum) {
            return PlacedValue{PlacedValue::Kind::Name, double(value),
                               checksum_text(ChecksumState(value)), ""};
        }
        const auto byte = std::uint8_t(value);
        return PlacedValue{PlacedValue::Kind::Byte, double(byte), hex_byte_value(byte), ""};
    }
    if (read.kind != ColumnKind::Field) {
        return std::nullopt;
    }
    const FieldSpec& field = fields[std::size_t(read.index)];
    const auto value = field_value(field, bytes);
    if (!value) {
        return std::nullopt;
    }
    if (value->name) {
        return PlacedValue{PlacedValue::Kind::Name, value->value, *value->name, ""};
    }
    return PlacedValue{PlacedValue::Kind::Number, value->value, field_number_text(field, *value),
                       field.unit};
}

std::string placed_value_text(const PlacedValue& value)
{
    return value.unit.empty() ? value.text : value.text + " " + value.unit;
}

}  // namespace quillon
