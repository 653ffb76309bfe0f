#include "LogCommands.h"

#include "HexText.h"
#include "JsonLine.h"
#include "LogAnalysis.h"
#include "LogExport.h"
#include "LogText.h"
#include "Messages.h"
#include "Output.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <thread>

namespace quillon::cli {

namespace {

// Written in one piece; a failed write is reported when the program ends.
void print(const std::string& text)
{
    static_cast<void>(write_output(text));
}

std::optional<LogFile> read_or_report(const std::string& path)
{
    try {
        return read_log_file(path);
    } catch (const LogReadError& error) {
        show_error(error.what());
        return std::nullopt;
    }
}

std::optional<Direction> direction_of(const std::string& word)
{
    if (word == "recv") {
        return Direction::Recv;
    }
    if (word == "send") {
        return Direction::Send;
    }
    return std::nullopt;
}

// recv or send as typed; nothing when it is neither (the reason shown).
std::optional<Direction> typed_direction(const char* what, const std::string& word)
{
    const auto direction = direction_of(word);
    if (!direction) {
        show_error(std::string(what) + " takes recv or send, not " + word);
    }
    return direction;
}

std::string padded_number(int number, std::size_t width)
{
    std::string text = std::to_string(number);
    return std::string(width > text.size() ? width - text.size() : 0, ' ') + text;
}

// "recv length 01 address 00 command FA checksum ok", "send length 82
// header 00 FA checksum cut".
std::string block_text(const char* direction, const DecodedBlock& block)
{
    const bool sent = std::string_view(direction) == "send";
    return std::string(direction) + " length " + hex_byte(block.length) +
           (sent ? " header " : " address ") + hex_byte(block.second) + (sent ? " " : " command ") +
           hex_byte(block.third) + " checksum " + checksum_text(block.checksum);
}

std::string decoded_text(const LogRecord& record)
{
    const DecodedRecord decoded = decode_record(record);
    std::string text =
        " | " + block_text("recv", decoded.recv) + " | " + block_text("send", decoded.send);
    if (decoded.command != nullptr) {
        text += std::string(" | ") + decoded.command;
    }
    return text;
}

std::string show_text(const std::string& file, const LogFile& log, bool decoded)
{
    const StopConditionMatch match = match_stop_condition(log);
    const bool checked = match.answer == StopConditionMatch::Answer::Checked;
    std::string text = "File: " + file + "\nFormat: " + log_format_name(log.format) +
                       "\nDate and time: " + with_control_characters_escaped(log.date_time) +
                       "\nStop condition: " + stop_condition_text(log) + "\n";
    if (checked) {
        text += "Marked *: the records that meet it\n";
    }
    text += "\n";
    for (int i = 0; i < kLogRecords; ++i) {
        const LogRecord& record = log.records[std::size_t(i)];
        text += checked && match.meets_record[std::size_t(i)] ? "* " : "  ";
        text += padded_number(i, 3) + " " + record_line(record);
        text += decoded ? decoded_text(record) + "\n" : "\n";
    }
    return text + "\n" + stop_condition_summary(log, match) + "\n";
}

// Under the bytes of a record line that are marked, "^^"; blanks elsewhere.
std::string difference_marks(const LogRecord& differing_bits, std::size_t indent)
{
    constexpr std::size_t kRecordLineLength = 106;
    std::string marks(indent + kRecordLineLength, ' ');
    for (std::size_t k = 0; k < kRecordBytes; ++k) {
        if (differing_bits[k] != 0) {
            // "Recv" then ",XX" each; ", Send" before the sent bytes.
            const std::size_t at = indent + 4 + 3 * k + 1 + (k >= kDirectionBytes ? 6 : 0);
            marks.replace(at, 2, "^^");
        }
    }
    const auto end = marks.find_last_not_of(' ');
    return marks.substr(0, end + 1);
}

std::string position_name(std::size_t k)
{
    return (k < kDirectionBytes ? "Recv " : "Send ") + std::to_string(k % kDirectionBytes);
}

// What follows the two stop conditions.
const char* stop_conditions_verdict(const LogComparison& comparison)
{
    if (!comparison.stop_conditions_compared) {
        return " (not compared: a log view file records none)";
    }
    return comparison.stop_conditions_differ ? " (they differ)" : " (the same)";
}

std::string diff_text(const std::string& a_name, const LogFile& a, const std::string& b_name,
                      const LogFile& b, const LogComparison& comparison)
{
    std::string text = "A: " + a_name + "\nB: " + b_name + "\n";
    text += "Stop condition: A " + stop_condition_text(a) + ", B " + stop_condition_text(b) +
            stop_conditions_verdict(comparison) + "\n";
    text += "Records differing: " + std::to_string(comparison.records.size()) + " of 256\n";
    std::string positions;
    for (std::size_t k = 0; k < kRecordBytes; ++k) {
        if (const int count = comparison.records_per_byte[k]; count > 0) {
            positions +=
                (positions.empty() ? "" : ", ") + position_name(k) + ": " + std::to_string(count);
        }
    }
    text += "Records differing per byte: " + (positions.empty() ? "none" : positions) + "\n";
    for (const RecordDifference& difference : comparison.records) {
        const auto i = std::size_t(difference.record);
        text += "\nRecord " + std::to_string(difference.record) + "\n";
        text += "  A " + record_line(a.records[i]) + "\n";
        text += "  B " + record_line(b.records[i]) + "\n";
        text += difference_marks(difference.differing_bits, 4) + "\n";
    }
    return text;
}

JsonLine bytes_json(const LogRecord& record)
{
    JsonLine bytes;
    add_record_bytes(bytes, record);
    return bytes;
}

QJsonArray numbers_json(std::span<const int> numbers)
{
    QJsonArray array;
    for (const int number : numbers) {
        array.append(number);
    }
    return array;
}

std::string diff_json(const std::string& a_name, const LogFile& a, const std::string& b_name,
                      const LogFile& b, const LogComparison& comparison)
{
    std::vector<JsonLine> records;
    for (const RecordDifference& difference : comparison.records) {
        std::vector<int> recv;
        std::vector<int> send;
        for (std::size_t k = 0; k < kRecordBytes; ++k) {
            if (difference.differing_bits[k] != 0) {
                (k < kDirectionBytes ? recv : send).push_back(int(k % kDirectionBytes));
            }
        }
        const auto i = std::size_t(difference.record);
        records.push_back(
            JsonLine()
                .add("record", difference.record)
                .add("a", bytes_json(a.records[i]))
                .add("b", bytes_json(b.records[i]))
                .add("differing_bytes",
                     JsonLine().add("recv", numbers_json(recv)).add("send", numbers_json(send))));
    }
    const auto per_byte = std::span(comparison.records_per_byte);
    JsonLine stop_conditions;
    add_stop_condition(stop_conditions, "a", a);
    add_stop_condition(stop_conditions, "b", b);
    stop_conditions.add("differ", comparison.stop_conditions_differ);
    JsonLine object;
    add_file_name(object, "a", a_name);
    add_file_name(object, "b", b_name);
    return object.add("equal", comparison.equal())
        .add("records_differing", qint64(comparison.records.size()))
        .add("records_per_byte", JsonLine()
                                     .add("recv", numbers_json(per_byte.first<kDirectionBytes>()))
                                     .add("send", numbers_json(per_byte.last<kDirectionBytes>())))
        .add("stop_conditions", stop_conditions)
        .add("records", records)
        .text();
}

// What find makes of one file: its output, or why it could not be read.
struct FileFinding {
    std::string output;
    std::string error;
    bool found = false;
};

FileFinding find_in_file(const std::string& path, const RecordCondition& condition,
                         const Options& options)
{
    FileFinding finding;
    std::optional<LogFile> log;
    try {
        log = read_log_file(path);
    } catch (const std::exception& error) {
        finding.error = error.what();
        return finding;
    }
    const std::vector<int> records = records_meeting(*log, condition);
    finding.found = !records.empty();
    if (options.json) {
        JsonLine object;
        finding.output = add_file_name(object, "file", path)
                             .add("count", qint64(records.size()))
                             .add("records", numbers_json(records))
                             .text() +
                         "\n";
    } else if (options.count_records) {
        finding.output = path + ":" + std::to_string(records.size()) + "\n";
    } else {
        for (const int record : records) {
            finding.output += path + ":" + std::to_string(record) + ": " +
                              record_line(log->records[std::size_t(record)]) + "\n";
        }
    }
    return finding;
}

// Runs work(0) .. work(count - 1) on the machine's cores: reading many files
// is mostly waiting on the system, which several threads share.
void for_each_index_in_parallel(std::size_t count, const std::function<void(std::size_t)>& work)
{
    const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1U, 8U);
    std::atomic<std::size_t> next{0};
    const auto run = [&] {
        for (std::size_t i = next++; i < count; i = next++) {
            work(i);
        }
    };
    std::vector<std::jthread> helpers;
    for (unsigned t = 1; t < threads && t < count; ++t) {
        helpers.emplace_back(run);
    }
    run();
}

}  // namespace

Exit show_log(const Invocation& call)
{
    const std::string& path = call.line.arguments[0];
    const auto log = read_or_report(path);
    if (!log) {
        return kUnreadableLog;
    }
    const Options& options = call.line.options;
    if (options.json) {
        print(log_json(path, *log, options.decode) + "\n");
    } else if (options.csv) {
        print(log_csv(*log, options.decode));
    } else {
        print(show_text(path, *log, options.decode));
    }
    return kDone;
}

Exit find_in_logs(const Invocation& call)
{
    const auto& args = call.line.arguments;
    const auto direction = typed_direction("find", args[0]);
    if (!direction) {
        return kUsage;
    }
    const TypedRecordCondition typed =
        record_condition_from_text(*direction, args[1], args[2], args[3]);
    if (!typed.condition) {
        show_error(typed.range_error);
        return kUsage;
    }
    const RecordCondition& condition = *typed.condition;
    const std::span<const std::string> paths = std::span(args).subspan(4);
    bool unreadable = false;
    bool found = false;
    // In batches, so that the output comes as it goes and what waits to be
    // printed stays small.
    constexpr std::size_t kBatch = 1024;
    std::vector<FileFinding> findings;
    for (std::size_t first = 0; first < paths.size(); first += kBatch) {
        const auto batch = paths.subspan(first, std::min(kBatch, paths.size() - first));
        findings.assign(batch.size(), {});
        for_each_index_in_parallel(batch.size(), [&](std::size_t i) {
            findings[i] = find_in_file(batch[i], condition, call.line.options);
        });
        for (const FileFinding& finding : findings) {
            if (!finding.error.empty()) {
                show_error(finding.error);
                unreadable = true;
            }
            found = found || finding.found;
            print(finding.output);
        }
    }
    if (unreadable) {
        return kUnreadableLog;
    }
    return found ? kDone : kNoMatch;
}

Exit diff_logs(const Invocation& call)
{
    std::vector<IgnoreRule> rules;
    for (const auto& [word, byte, mask] : call.line.options.ignore) {
        const auto direction = typed_direction("--ignore", word);
        if (!direction) {
            return kUsage;
        }
        const TypedIgnoreRule typed = ignore_rule_from_text(*direction, byte, mask);
        if (!typed.rule) {
            show_error(typed.range_error);
            return kUsage;
        }
        rules.push_back(*typed.rule);
    }
    const std::string& a_name = call.line.arguments[0];
    const std::string& b_name = call.line.arguments[1];
    const auto a = read_or_report(a_name);
    const auto b = read_or_report(b_name);
    if (!a || !b) {
        return kUnreadableLog;
    }
    const LogComparison comparison = compare_logs(*a, *b, rules);
    print(call.line.options.json ? diff_json(a_name, *a, b_name, *b, comparison) + "\n"
                                 : diff_text(a_name, *a, b_name, *b, comparison));
    return comparison.equal() ? kDone : kNoMatch;
}

}  // namespace quillon::cli
