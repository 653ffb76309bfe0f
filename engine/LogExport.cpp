#include "LogExport.h"

#include "LogTimeline.h"
#include "RecordColumns.h"

#include "HexText.h"
#include "JsonLine.h"
#include "LogAnalysis.h"

namespace quillon {

namespace {

QString hex_value(std::uint8_t byte)
{
    return QString::fromStdString(hex_byte(byte));
}

// A decoded block: its columns' keys and values, its data bytes before its
// checksum.
JsonLine block_json(const RecordReading& reading, Direction direction)
{
    const DecodedBlock& block =
        direction == Direction::Recv ? reading.decoded().recv : reading.decoded().send;
    JsonLine object;
    for (const RecordColumn& column : decoded_columns(direction)) {
        if (DecodedPart(column.index) == DecodedPart::Checksum) {
            object.add("data", hex_array(block.data));
        }
        object.add(column.json_key().c_str(), QString::fromStdString(reading.text(column)));
    }
    return object;
}

JsonLine decoded_json(const RecordReading& reading)
{
    const RecordColumn& command = command_name_column();
    const std::string name = reading.text(command);
    return JsonLine()
        .add("recv", block_json(reading, Direction::Recv))
        .add("send", block_json(reading, Direction::Send))
        .add(command.json_key().c_str(),
             name.empty() ? QJsonValue() : QJsonValue(QString::fromStdString(name)));
}

QJsonValue meets_value(const StopConditionMatch& match, int record)
{
    if (match.answer != StopConditionMatch::Answer::Checked) {
        return {};
    }
    return bool(match.meets_record[std::size_t(record)]);
}

}  // namespace

std::string csv_field(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c == '"' ? "\"\"" : std::string(1, c);
    }
    return quoted + "\"";
}

QJsonArray hex_array(std::span<const std::uint8_t> bytes)
{
    QJsonArray array;
    for (const std::uint8_t byte : bytes) {
        array.append(hex_value(byte));
    }
    return array;
}

JsonLine& add_record_bytes(JsonLine& object, const LogRecord& record)
{
    const auto bytes = std::span(record);
    return object.add("recv", hex_array(bytes.first<kDirectionBytes>()))
        .add("send", hex_array(bytes.last<kDirectionBytes>()));
}

JsonLine& add_stop_condition(JsonLine& object, const char* key,
                             const std::optional<FileStopCondition>& stop)
{
    if (!stop) {
        return object.add(key, QJsonValue());
    }
    return object.add(key, JsonLine()
                               .add("direction", direction_key(stop->direction))
                               .add("byte", stop->byte)
                               .add("mask", stop->mask)
                               .add("value", stop->value)
                               .add("count", stop->count));
}

JsonLine& add_stop_condition(JsonLine& object, const char* key, const LogFile& log)
{
    if (!log.stop_condition_recorded()) {
        return object.add(key, kStopConditionNotRecorded);
    }
    return add_stop_condition(object, key, log.stop_condition);
}

std::string log_json(const std::string& file, const LogFile& log, bool decoded,
                     std::span<const FieldSpec> fields, std::span<const Note> notes)
{
    const StopConditionMatch match = match_stop_condition(log);
    const LogTimeline timeline = log_timeline(log);
    const std::vector<RecordColumn> columns = field_columns(fields);
    std::vector<JsonLine> records;
    records.reserve(kLogRecords);
    for (int i = 0; i < kLogRecords; ++i) {
        const LogRecord& bytes = log.records[std::size_t(i)];
        JsonLine record;
        const auto& [meets_key, offset_key, written_key] = kRecordStateKeys;
        add_record_bytes(record.add(kRecordNumberKey, i), bytes)
            .add(meets_key, meets_value(match, i))
            .add(offset_key, number_or_null(timeline.offset(i)))
            .add(written_key, timeline.is_written(i));
        if (decoded || !fields.empty()) {
            const RecordReading reading(bytes, fields, timeline.is_written(i));
            if (decoded) {
                record.add("decoded", decoded_json(reading));
            }
            if (!fields.empty()) {
                record.add("fields", fields_json(reading, columns));
            }
        }
        records.push_back(std::move(record));
    }
    JsonLine object;
    add_file_name(object, "file", file)
        .add("format", log_format_name(log.format))
        .add("date_time", QString::fromLocal8Bit(log.date_time));
    add_stop_condition(object, "stop_condition", log);
    return object.add("written_records", timeline.written)
        .add("fired_record", number_or_null(timeline.fired))
        .add("records", records)
        .add("notes", notes_json(notes))
        .text();
}

JsonLine fields_json(const RecordReading& reading, std::span<const RecordColumn> columns)
{
    JsonLine object;
    for (std::size_t i = 0; i < reading.field_count(); ++i) {
        const auto& value = reading.field(i);
        const char* key = columns[i].key.c_str();
        if (!value) {
            object.add(key, QJsonValue());
            continue;
        }
        JsonLine field;
        field.add("raw", qint64(value->raw)).add("value", value->value);
        if (value->name) {
            field.add("name", QString::fromStdString(*value->name));
        }
        object.add(key, field);
    }
    return object;
}

std::string log_csv(const LogFile& log, bool decoded, std::span<const FieldSpec> fields)
{
    // After the bytes and what the log tells of each record: the decoded
    // blocks when asked, then the fields.
    std::vector<RecordColumn> more;
    if (decoded) {
        for (const Direction direction : {Direction::Recv, Direction::Send}) {
            const auto& block = decoded_columns(direction);
            more.insert(more.end(), block.begin(), block.end());
        }
        more.push_back(command_name_column());
    }
    const std::vector<RecordColumn> field_keys = field_columns(fields);
    more.insert(more.end(), field_keys.begin(), field_keys.end());

    std::string text = kRecordNumberKey;
    for (const RecordColumn& column : byte_columns()) {
        text += ',';
        text += column.key;
    }
    for (const char* key : kRecordStateKeys) {
        text += ',';
        text += key;
    }
    for (const RecordColumn& column : more) {
        text += ',';
        text += csv_field(column.key);
    }
    text += "\r\n";
    const StopConditionMatch match = match_stop_condition(log);
    const LogTimeline timeline = log_timeline(log);
    for (int i = 0; i < kLogRecords; ++i) {
        const LogRecord& record = log.records[std::size_t(i)];
        text += std::to_string(i);
        for (const std::uint8_t byte : record) {
            text += ',';
            append_hex_byte(text, byte);
        }
        const QJsonValue meets = meets_value(match, i);
        text += meets.isNull() ? "," : meets.toBool() ? ",true" : ",false";
        const auto offset = timeline.offset(i);
        text += ',';
        text += offset ? std::to_string(*offset) : std::string();
        text += timeline.is_written(i) ? ",true" : ",false";
        if (!more.empty()) {
            const RecordReading reading(record, fields, timeline.is_written(i));
            for (const RecordColumn& column : more) {
                text += ',';
                text += csv_field(column.kind == ColumnKind::Field
                                      ? reading.field_number(std::size_t(column.index))
                                      : reading.text(column));
            }
        }
        text += "\r\n";
    }
    return text;
}

}  // namespace quillon
