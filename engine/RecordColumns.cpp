#include "RecordColumns.h"

#include "HexText.h"

#include <algorithm>
#include <iterator>
#include <unordered_set>

namespace quillon {

namespace {

std::vector<RecordColumn> make_byte_columns()
{
    std::vector<RecordColumn> columns;
    for (std::size_t byte = 0; byte < kRecordBytes; ++byte) {
        const Direction direction = byte < kDirectionBytes ? Direction::Recv : Direction::Send;
        columns.push_back({ColumnKind::Byte, int(byte), direction,
                           byte_position(byte, PositionSpelling::Key),
                           byte_position(byte, PositionSpelling::Label), ""});
    }
    return columns;
}

// A decoded column: its key and label made of its direction and name
// ("recv_length", "Recv length").
RecordColumn decoded_column(Direction direction, DecodedPart part, const std::string& name,
                            const std::string& word)
{
    const bool recv = direction == Direction::Recv;
    std::string label = name;
    std::replace(label.begin(), label.end(), '_', ' ');
    return {ColumnKind::Decoded,
            int(part),
            direction,
            std::string(direction_key(direction)) + "_" + name,
            (recv ? "Recv " : "Send ") + label,
            word};
}

std::vector<RecordColumn> make_decoded_columns(Direction direction)
{
    if (direction == Direction::Recv) {
        return {decoded_column(direction, DecodedPart::Length, "length", "length"),
                decoded_column(direction, DecodedPart::Second, "address", "address"),
                decoded_column(direction, DecodedPart::Third, "command", "command"),
                decoded_column(direction, DecodedPart::Checksum, "checksum", "checksum")};
    }
    return {decoded_column(direction, DecodedPart::Length, "length", "length"),
            decoded_column(direction, DecodedPart::Second, "header_1", "header"),
            decoded_column(direction, DecodedPart::Third, "header_2", ""),
            decoded_column(direction, DecodedPart::Checksum, "checksum", "checksum")};
}

std::string decoded_text(const DecodedRecord& decoded, const RecordColumn& column)
{
    const auto part = DecodedPart(column.index);
    if (part == DecodedPart::CommandName) {
        return decoded.command != nullptr ? decoded.command : "";
    }
    const DecodedBlock& block = column.direction == Direction::Send ? decoded.send : decoded.recv;
    switch (part) {
    case DecodedPart::Length: return hex_byte(block.length);
    case DecodedPart::Second: return hex_byte(block.second);
    case DecodedPart::Third: return hex_byte(block.third);
    case DecodedPart::Checksum:
    case DecodedPart::CommandName: break;
    }
    return checksum_text(block.checksum);
}

}  // namespace

std::string RecordColumn::json_key() const
{
    if (!direction) {
        return key;
    }
    return key.substr(std::string_view(direction_key(*direction)).size() + 1);
}

const std::vector<RecordColumn>& byte_columns()
{
    static const std::vector<RecordColumn> columns = make_byte_columns();
    return columns;
}

const std::vector<RecordColumn>& decoded_columns(Direction direction)
{
    static const std::vector<RecordColumn> recv = make_decoded_columns(Direction::Recv);
    static const std::vector<RecordColumn> send = make_decoded_columns(Direction::Send);
    return direction == Direction::Recv ? recv : send;
}

const RecordColumn& command_name_column()
{
    static const RecordColumn column{
        ColumnKind::Decoded, int(DecodedPart::CommandName), std::nullopt, "command", "Command", ""};
    return column;
}

int decoded_part_value(const LogRecord& record, Direction direction, DecodedPart part)
{
    const std::size_t first = record_byte_index(direction, 0);
    switch (part) {
    case DecodedPart::Length: return record[first];
    case DecodedPart::Second: return record[first + 1];
    case DecodedPart::Third: return record[first + 2];
    case DecodedPart::Checksum: return int(block_checksum(record, direction));
    case DecodedPart::CommandName: break;
    }
    return 0;
}

std::vector<RecordColumn> field_columns(std::span<const FieldSpec> fields)
{
    static const std::unordered_set<std::string> taken = [] {
        std::unordered_set<std::string> keys{kRecordNumberKey, command_name_column().key};
        keys.insert(std::begin(kRecordStateKeys), std::end(kRecordStateKeys));
        for (const auto* columns : {&byte_columns(), &decoded_columns(Direction::Recv),
                                    &decoded_columns(Direction::Send)}) {
            for (const RecordColumn& column : *columns) {
                keys.insert(column.key);
            }
        }
        return keys;
    }();
    std::vector<RecordColumn> columns;
    columns.reserve(fields.size());
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const std::string& name = fields[i].name;
        // A field's name holds no ".", so that the prefixed key is no other field's.
        columns.push_back({ColumnKind::Field, int(i), std::nullopt,
                           taken.contains(name) ? "field." + name : name, name, name});
    }
    return columns;
}

std::vector<RecordColumn> map_columns(std::span<const FieldSpec> fields)
{
    std::vector<RecordColumn> columns = byte_columns();
    std::vector<RecordColumn> of_fields = field_columns(fields);
    columns.insert(columns.end(), std::make_move_iterator(of_fields.begin()),
                   std::make_move_iterator(of_fields.end()));
    return columns;
}

std::string column_heading(const RecordColumn& column)
{
    return column.kind == ColumnKind::Byte
               ? byte_position(std::size_t(column.index), PositionSpelling::Heading)
               : column.label;
}

std::optional<ColumnValue> column_value(const RecordColumn& column, const LogRecord& record,
                                        std::span<const FieldSpec> fields)
{
    if (column.kind == ColumnKind::Byte) {
        const std::uint8_t byte = record[std::size_t(column.index)];
        return ColumnValue{double(byte), hex_byte(byte)};
    }
    if (column.kind != ColumnKind::Field) {
        return std::nullopt;
    }
    const FieldSpec& field = fields[std::size_t(column.index)];
    const auto value = field_value(field, record);
    if (!value) {
        return std::nullopt;
    }
    return ColumnValue{value->value, field_value_text(field, value)};
}

RecordReading::RecordReading(const LogRecord& record, std::span<const FieldSpec> fields,
                             bool written)
    : record_(record), fields_(fields), decoded_(decode_record(record))
{
    values_.reserve(fields.size());
    for (const FieldSpec& field : fields) {
        values_.push_back(written ? field_value(field, record) : std::nullopt);
    }
}

std::string RecordReading::text(const RecordColumn& column) const
{
    switch (column.kind) {
    case ColumnKind::Byte: return hex_byte(record_[std::size_t(column.index)]);
    case ColumnKind::Decoded: return decoded_text(decoded_, column);
    case ColumnKind::Field: break;
    }
    const auto index = std::size_t(column.index);
    return field_value_text(fields_[index], values_[index]);
}

std::string RecordReading::field_number(std::size_t index) const
{
    const auto& value = values_[index];
    return value ? field_number_text(fields_[index], *value) : std::string();
}

std::string fields_text(const RecordReading& reading)
{
    std::string text;
    for (std::size_t i = 0; i < reading.field_count(); ++i) {
        if (const auto& value = reading.field(i)) {
            text += (text.empty() ? "" : "; ") + reading.described_field(i).name + "=" +
                    with_control_characters_escaped(
                        field_value_text(reading.described_field(i), value));
        }
    }
    return text;
}

}  // namespace quillon
