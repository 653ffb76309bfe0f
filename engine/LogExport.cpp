#include "LogExport.h"

#include "LogTimeline.h"

#include "HexText.h"
#include "JsonLine.h"
#include "LogAnalysis.h"

namespace quillon {

namespace {

QString hex_value(std::uint8_t byte)
{
    return QString::fromStdString(hex_byte(byte));
}

// second and third name the bytes after the length: "address" and
// "command" of a received block, "header_1" and "header_2" of a sent one.
JsonLine block_json(const DecodedBlock& block, const char* second, const char* third)
{
    return JsonLine()
        .add("length", hex_value(block.length))
        .add(second, hex_value(block.second))
        .add(third, hex_value(block.third))
        .add("data", hex_array(block.data))
        .add("checksum", checksum_text(block.checksum));
}

JsonLine decoded_json(const DecodedRecord& decoded)
{
    return JsonLine()
        .add("recv", block_json(decoded.recv, "address", "command"))
        .add("send", block_json(decoded.send, "header_1", "header_2"))
        .add("command", decoded.command != nullptr ? QJsonValue(decoded.command) : QJsonValue());
}

// ",LL,SS,TT,checksum": a block's length, its two bytes after it, its checksum.
void append_block_csv(std::string& text, const DecodedBlock& block)
{
    for (const std::uint8_t byte : {block.length, block.second, block.third}) {
        text += ',';
        append_hex_byte(text, byte);
    }
    text += std::string(",") + checksum_text(block.checksum);
}

QJsonValue meets_value(const StopConditionMatch& match, int record)
{
    if (match.answer != StopConditionMatch::Answer::Checked) {
        return {};
    }
    return bool(match.meets_record[std::size_t(record)]);
}

// A CSV field, quoted when it holds a comma, a quote or a line break.
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

QJsonValue optional_number(std::optional<int> number)
{
    return number ? QJsonValue(*number) : QJsonValue();
}

}  // namespace

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

std::string log_json(const std::string& file, const LogFile& log, bool decoded)
{
    const StopConditionMatch match = match_stop_condition(log);
    const LogTimeline timeline = log_timeline(log);
    std::vector<JsonLine> records;
    records.reserve(kLogRecords);
    for (int i = 0; i < kLogRecords; ++i) {
        JsonLine record;
        add_record_bytes(record.add("record", i), log.records[std::size_t(i)])
            .add("meets_condition", meets_value(match, i))
            .add("offset", optional_number(timeline.offset(i)))
            .add("written", timeline.is_written(i));
        if (decoded) {
            record.add("decoded", decoded_json(decode_record(log.records[std::size_t(i)])));
        }
        records.push_back(std::move(record));
    }
    JsonLine object;
    add_file_name(object, "file", file)
        .add("format", log_format_name(log.format))
        .add("date_time", QString::fromLocal8Bit(log.date_time));
    add_stop_condition(object, "stop_condition", log);
    return object.add("written_records", timeline.written)
        .add("fired_record", optional_number(timeline.fired))
        .add("records", records)
        .text();
}

std::string log_csv(const LogFile& log, bool decoded)
{
    std::string text = "record";
    for (const char* direction : {"recv", "send"}) {
        for (int k = 0; k < kDirectionBytes; ++k) {
            text += std::string(",") + direction + "_" + std::to_string(k);
        }
    }
    text += ",meets_condition,offset,written";
    if (decoded) {
        text +=
            ",recv_length,recv_address,recv_command,recv_checksum,send_length,send_header_1,"
            "send_header_2,send_checksum,command";
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
        text += "," + (offset ? std::to_string(*offset) : std::string());
        text += timeline.is_written(i) ? ",true" : ",false";
        if (decoded) {
            const DecodedRecord blocks = decode_record(record);
            append_block_csv(text, blocks.recv);
            append_block_csv(text, blocks.send);
            text += "," + csv_field(blocks.command != nullptr ? blocks.command : "");
        }
        text += "\r\n";
    }
    return text;
}

}  // namespace quillon
