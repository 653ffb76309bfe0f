#include "LogCommands.h"

#include "Fields.h"
#include "HexText.h"
#include "JsonLine.h"
#include "LogAnalysis.h"
#include "LogExport.h"
#include "LogText.h"
#include "LogTimeline.h"
#include "Messages.h"
#include "NoteCommand.h"
#include "Output.h"
#include "ParallelFiles.h"
#include "RecordColumns.h"

#include <algorithm>
#include <cstdio>

namespace quillon::cli {

namespace {

// recv or send as typed; nothing when it is neither (the reason shown).
std::optional<Direction> typed_direction(const char* what, const std::string& word)
{
    const auto direction = direction_of_key(word);
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
std::string block_text(const RecordReading& reading, Direction direction)
{
    std::string text = direction_key(direction);
    for (const RecordColumn& column : decoded_columns(direction)) {
        text += (column.word.empty() ? "" : " " + column.word) + " " + reading.text(column);
    }
    return text;
}

// A record's line, then as asked its blocks read and the fields that hold
// a value in it, each group after " | ".
std::string record_text(const LogRecord& record, bool decoded, std::span<const FieldSpec> fields)
{
    std::string text = record_line(record);
    if (!decoded && fields.empty()) {
        return text;
    }
    const RecordReading reading(record, fields);
    if (decoded) {
        text += " | " + block_text(reading, Direction::Recv) + " | " +
                block_text(reading, Direction::Send);
        if (const std::string name = reading.text(command_name_column()); !name.empty()) {
            text += " | " + name;
        }
    }
    if (const std::string values = fields_text(reading); !values.empty()) {
        text += " | " + values;
    }
    return text;
}

// "> " for the fired record, "* " for another that meets the stop
// condition, "  " else.
const char* record_mark(const StopConditionMatch& match, const LogTimeline& timeline, int record)
{
    if (timeline.fired == record) {
        return "> ";
    }
    const bool checked = match.answer == StopConditionMatch::Answer::Checked;
    return checked && match.meets_record[std::size_t(record)] ? "* " : "  ";
}

// "1 record meets", "2 records meet": a number and its words.
std::string counted(int number, const char* one, const char* more)
{
    return std::to_string(number) + " " + (number == 1 ? one : more);
}

// "16 records meet the stop condition Send[2] & 0x0F = 0x01", or why the
// stop condition finds nothing.
std::string stop_condition_finding(const TimelineSummary& summary)
{
    switch (summary.stop_condition) {
    case StopConditionMatch::Answer::NotRecorded:
        return "A log view file does not record the stop condition.";
    case StopConditionMatch::Answer::NoStopCondition: return "No stop condition in this log.";
    case StopConditionMatch::Answer::BeyondLoggedBytes:
        return "The stop condition " + summary.condition +
               " tests a byte beyond the 16 logged bytes of each direction.";
    case StopConditionMatch::Answer::Checked: break;
    }
    return counted(summary.records_meeting, "record meets", "records meet") +
           " the stop condition " + summary.condition;
}

// The line under a log: "fired at record 127, count 128; 1 record meets the
// stop condition Send[3] & 0xFF = 0x00; 24 records never written".
std::string timeline_text(const TimelineSummary& summary)
{
    const std::string finding = stop_condition_finding(summary);
    const std::string never =
        counted(summary.never_written, "record never written", "records never written");
    if (summary.trigger == TimelineSummary::Trigger::NotTold) {
        return summary.never_written > 0 ? finding + " " + never + "." : finding;
    }
    std::string text = summary.trigger == TimelineSummary::Trigger::Fired
                           ? "fired at record " + std::to_string(summary.fired) + ", count " +
                                 std::to_string(summary.count)
                           : "no fired record: the log was stopped before its trigger fired";
    text += "; " + finding;
    if (summary.never_written > 0) {
        text += "; " + never;
    }
    return text;
}

// The log's own notes follow its header; a record's, the record.
std::string show_text(const std::string& file, const LogFile& log, bool decoded,
                      std::span<const FieldSpec> fields, const std::vector<Note>& notes)
{
    const StopConditionMatch match = match_stop_condition(log);
    const LogTimeline timeline = log_timeline(log);
    std::string text = "File: " + file + "\nFormat: " + log_format_name(log.format) +
                       "\nDate and time: " + with_control_characters_escaped(log.date_time) +
                       "\nStop condition: " + stop_condition_text(log) + "\n";
    if (timeline.fired) {
        text += "Marked >: the record that fired the trigger; T: each record's offset from it\n";
    }
    if (match.answer == StopConditionMatch::Answer::Checked) {
        text += "Marked *: the records that meet it\n";
    }
    for (const Note& note : notes_on(notes, std::nullopt)) {
        text += note_line(note) + "\n";
    }
    text += "\n";
    // "T-127 ": wide enough for any offset of a log of 256 records.
    constexpr std::size_t kOffsetWidth = 6;
    for (int i = 0; i < kLogRecords; ++i) {
        const LogRecord& record = log.records[std::size_t(i)];
        text += record_mark(match, timeline, i) + padded_number(i, 3) + " ";
        if (timeline.fired) {
            const std::string offset = offset_text(timeline.offset(i));
            text += offset + std::string(kOffsetWidth - offset.size(), ' ');
        }
        text += (timeline.is_written(i) ? record_text(record, decoded, fields) : "never written") +
                "\n";
        for (const Note& note : notes_on(notes, i)) {
            text += "      " + note_line(note) + "\n";
        }
    }
    return text + "\n" + timeline_text(timeline_summary(log, match, timeline)) + "\n";
}

// Under the bytes of a record line that are marked, "^^"; blanks elsewhere.
std::string difference_marks(const LogRecord& differing_bits, std::size_t indent)
{
    std::string marks;
    for (std::size_t k = 0; k < kRecordBytes; ++k) {
        if (differing_bits[k] != 0) {
            const std::size_t at = indent + record_byte_column(k);
            marks.resize(std::max(marks.size(), at + 2), ' ');
            marks.replace(at, 2, "^^");
        }
    }
    return marks;
}

// What follows the two stop conditions.
const char* stop_conditions_verdict(ComparisonReport::StopConditions verdict)
{
    switch (verdict) {
    case ComparisonReport::StopConditions::NotCompared:
        return " (not compared: a log view file records none)";
    case ComparisonReport::StopConditions::Differ: return " (they differ)";
    case ComparisonReport::StopConditions::Same: break;
    }
    return " (the same)";
}

// How diff paired the records: "fired record (A 5, B 7)", "record number
// (A has no fired record)".
std::string pairing_text(const ComparisonReport& report)
{
    using Pairing = ComparisonReport::Pairing;
    switch (report.pairing) {
    case Pairing::FiredRecords:
        return "fired record (A " + std::to_string(report.a_fired) + ", B " +
               std::to_string(report.b_fired) + ")";
    case Pairing::NumberAsAsked: return "record number (as --by-number asks)";
    case Pairing::NumberNoneFiredInA: return "record number (A has no fired record)";
    case Pairing::NumberNoneFiredInB: return "record number (B has no fired record)";
    case Pairing::NumberNoneFiredInEither: break;
    }
    return "record number (neither log has a fired record)";
}

std::string diff_text(const std::string& a_name, const LogFile& a, const std::string& b_name,
                      const LogFile& b, const LogComparison& comparison,
                      std::span<const FieldSpec> fields)
{
    const ComparisonReport report = comparison_report(comparison);
    std::string text = "A: " + a_name + "\nB: " + b_name + "\n";
    text += "Stop condition: A " + stop_condition_text(a) + ", B " + stop_condition_text(b) +
            stop_conditions_verdict(report.stop_conditions) + "\n";
    text += "Aligned by: " + pairing_text(report) + "\n";
    text += "Records only in A: " + std::to_string(report.only_in_a) +
            ", only in B: " + std::to_string(report.only_in_b) + "\n";
    text += "Records differing: " + std::to_string(report.records_differing) + " of " +
            std::to_string(report.records_compared) + "\n";
    std::string positions;
    for (const auto& [position, count] : report.positions_differing) {
        positions += (positions.empty() ? "" : ", ") + position + ": " + std::to_string(count);
    }
    text += "Records differing per byte: " + (positions.empty() ? "none" : positions) + "\n";
    for (const RecordDifference& difference : comparison.records) {
        const std::string offset = offset_text(difference.offset);
        text += "\nRecord A " + std::to_string(difference.record) + " / B " +
                std::to_string(difference.b_record) + (offset.empty() ? "" : " (" + offset + ")") +
                "\n";
        text +=
            "  A " + record_text(a.records[std::size_t(difference.record)], false, fields) + "\n";
        text +=
            "  B " + record_text(b.records[std::size_t(difference.b_record)], false, fields) + "\n";
        text += difference_marks(difference.differing_bits, 4) + "\n";
    }
    return text;
}

// A record's bytes, and its fields' values when there are fields (columns,
// their field_columns).
JsonLine bytes_json(const LogRecord& record, std::span<const FieldSpec> fields,
                    std::span<const RecordColumn> columns)
{
    JsonLine bytes;
    add_record_bytes(bytes, record);
    if (!fields.empty()) {
        bytes.add("fields", fields_json(RecordReading(record, fields), columns));
    }
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
                      const LogFile& b, const LogComparison& comparison,
                      std::span<const FieldSpec> fields)
{
    const std::vector<RecordColumn> columns = field_columns(fields);
    std::vector<JsonLine> records;
    for (const RecordDifference& difference : comparison.records) {
        std::vector<int> recv;
        std::vector<int> send;
        for (std::size_t k = 0; k < kRecordBytes; ++k) {
            if (difference.differing_bits[k] != 0) {
                (k < kDirectionBytes ? recv : send).push_back(int(k % kDirectionBytes));
            }
        }
        records.push_back(
            JsonLine()
                .add("a_record", difference.record)
                .add("b_record", difference.b_record)
                .add("offset", number_or_null(difference.offset))
                .add("a", bytes_json(a.records[std::size_t(difference.record)], fields, columns))
                .add("b", bytes_json(b.records[std::size_t(difference.b_record)], fields, columns))
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
        .add("aligned_by",
             comparison.aligned_by == Alignment::FiredRecord ? "fired record" : "record number")
        .add("fired_record", JsonLine()
                                 .add("a", number_or_null(comparison.a_fired))
                                 .add("b", number_or_null(comparison.b_fired)))
        .add("only_in_a", comparison.only_in_a)
        .add("only_in_b", comparison.only_in_b)
        .add("records_compared", comparison.records_compared)
        .add("records_differing", comparison.records_differing)
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

// What find looks for: the records that meet a byte condition, those
// where the --where conditions hold, the fired record; each given must
// hold.
struct FindQuery {
    std::optional<RecordCondition> condition;
    bool fired = false;
    std::vector<Condition> where;
    FieldsFile fields;
};

std::vector<int> records_found(const LogFile& log, const FindQuery& query)
{
    const LogTimeline timeline = log_timeline(log);
    std::vector<int> records;
    for (int i = 0; i < kLogRecords; ++i) {
        const bool candidate = query.fired ? timeline.fired == i : timeline.is_written(i);
        if (candidate &&
            (!query.condition || meets(log.records[std::size_t(i)], *query.condition)) &&
            std::ranges::all_of(query.where, [&](const Condition& condition) {
                return holds(condition, log, timeline, i, query.fields.fields);
            })) {
            records.push_back(i);
        }
    }
    return records;
}

FileFinding find_in_file(const std::string& path, const FindQuery& query, const Options& options)
{
    FileFinding finding;
    std::optional<LogFile> log;
    try {
        log = read_log_file(path);
    } catch (const std::exception& error) {
        finding.error = error.what();
        return finding;
    }
    const std::vector<int> records = records_found(*log, query);
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
            finding.output +=
                path + ":" + std::to_string(record) + ": " +
                record_text(log->records[std::size_t(record)], false, query.fields.fields) + "\n";
        }
    }
    return finding;
}

}  // namespace

// Written in one piece; a failed write is reported when the program ends.
void print(const std::string& text)
{
    static_cast<void>(write_output(text));
}

// The fields of --fields, none without it; nothing when the file cannot be
// read (the reason shown).
std::optional<FieldsFile> fields_or_report(const Options& options)
{
    if (!options.fields) {
        return FieldsFile{};
    }
    try {
        return read_fields_file(*options.fields);
    } catch (const LogReadError& error) {
        show_error(error.what());
        return std::nullopt;
    }
}

namespace {

// The rules of an option given as recv|send BYTE MASK; nothing when one is
// no good (the reason shown).
std::optional<std::vector<MaskedByte>> typed_masked_bytes(
    const char* option, const std::vector<std::array<std::string, 3>>& typed)
{
    std::vector<MaskedByte> rules;
    for (const auto& [word, byte, mask] : typed) {
        const auto direction = typed_direction(option, word);
        if (!direction) {
            return std::nullopt;
        }
        const TypedIgnoreRule rule = ignore_rule_from_text(*direction, byte, mask);
        if (!rule.rule) {
            show_error(rule.range_error);
            return std::nullopt;
        }
        rules.push_back(*rule.rule);
    }
    return rules;
}

}  // namespace

std::optional<ComparisonRules> typed_comparison_rules(const Options& options)
{
    auto ignore = typed_masked_bytes("--ignore", options.ignore);
    auto only = typed_masked_bytes("--only", options.only);
    if (!ignore || !only) {
        return std::nullopt;
    }
    return ComparisonRules{
        std::move(*ignore), std::move(*only),
        options.checksums_by_value ? ChecksumComparison::ByValue : ChecksumComparison::ByState};
}

Exit show_log(const Invocation& call)
{
    const Options& options = call.line.options;
    const auto fields = fields_or_report(options);
    if (!fields) {
        return kUnreadableLog;
    }
    const std::string& path = call.line.arguments[0];
    const auto log = read_log_file_or_show_why(path);
    if (!log) {
        return kUnreadableLog;
    }
    if (options.json) {
        print(log_json(path, *log, options.decode, fields->fields, notes_or_say_why(path)) + "\n");
    } else if (options.csv) {
        print(log_csv(*log, options.decode, fields->fields));
    } else {
        print(show_text(path, *log, options.decode, fields->fields, notes_or_say_why(path)));
    }
    return kDone;
}

std::optional<Condition> typed_condition(const char* option, const std::string& text,
                                         const Options& options, const FieldsFile& fields)
{
    ConditionRead read = read_condition(text, fields.fields);
    if (read.condition) {
        return std::move(read.condition);
    }
    std::string reason = condition_problem_text(*read.error);
    if (const auto at = reason.find("%1"); at != std::string::npos) {
        reason.replace(at, 2, condition_error_after(text, *read.error));
    }
    const bool without_fields =
        read.error->problem == ConditionProblem::UnknownField && !options.fields;
    show_error(std::string(option) + ": " + with_control_characters_escaped(text) + ": " + reason +
               " (column " + std::to_string(read.error->column) + ")" +
               (without_fields ? "; fields are named with --fields FILE" : ""));
    return std::nullopt;
}

// The conditions of --where on the fields; nothing when one is no good (the
// reason shown).
std::optional<std::vector<Condition>> typed_where(const Options& options, const FieldsFile& fields)
{
    std::vector<Condition> conditions;
    for (const std::string& text : options.where) {
        auto condition = typed_condition("--where", text, options, fields);
        if (!condition) {
            return std::nullopt;
        }
        conditions.push_back(std::move(*condition));
    }
    return conditions;
}

// The query of find's arguments, and where its files begin; nothing when
// they are no good (the reason shown).
std::optional<FindQuery> find_query(std::span<const std::string> args, const Options& options,
                                    FieldsFile fields, std::size_t& first_file)
{
    const auto where = typed_where(options, fields);
    if (!where) {
        return std::nullopt;
    }
    FindQuery query{std::nullopt, options.fired, *where, std::move(fields)};
    constexpr std::size_t kConditionWords = 4;
    const bool has_condition = direction_of_key(args[0]).has_value();
    if (!has_condition && (options.fired || !query.where.empty())) {
        first_file = 0;
        return query;
    }
    if (args.size() <= kConditionWords) {
        show_error(std::string("find takes recv|send BYTE MASK VALUE FILE...") +
                   (options.fired ? "" : ", or --fired FILE..."));
        return std::nullopt;
    }
    const auto direction = typed_direction("find", args[0]);
    if (!direction) {
        return std::nullopt;
    }
    const TypedRecordCondition typed =
        record_condition_from_text(*direction, args[1], args[2], args[3]);
    if (!typed.condition) {
        show_error(typed.range_error);
        return std::nullopt;
    }
    first_file = kConditionWords;
    query.condition = typed.condition;
    return query;
}

Exit find_in_logs(const Invocation& call)
{
    if (finds_notes(call.line.options)) {
        return find_notes(call);
    }
    const auto& args = call.line.arguments;
    std::size_t first_file = 0;
    auto fields = fields_or_report(call.line.options);
    if (!fields) {
        return kUnreadableLog;
    }
    const auto query = find_query(args, call.line.options, std::move(*fields), first_file);
    if (!query) {
        return kUsage;
    }
    const std::span<const std::string> paths = std::span(args).subspan(first_file);
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
            findings[i] = find_in_file(batch[i], *query, call.line.options);
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
    const Options& options = call.line.options;
    const auto rules = typed_comparison_rules(options);
    if (!rules) {
        return kUsage;
    }
    const auto fields = fields_or_report(options);
    if (!fields) {
        return kUnreadableLog;
    }
    const std::string& a_name = call.line.arguments[0];
    const std::string& b_name = call.line.arguments[1];
    const auto a = read_log_file_or_show_why(a_name);
    const auto b = read_log_file_or_show_why(b_name);
    if (!a || !b) {
        return kUnreadableLog;
    }
    const LogComparison comparison =
        compare_logs(*a, *b, with_fields_left_out(*rules, fields->fields),
                     options.by_number ? Alignment::RecordNumber : Alignment::FiredRecord);
    print(options.json ? diff_json(a_name, *a, b_name, *b, comparison, fields->fields) + "\n"
                       : diff_text(a_name, *a, b_name, *b, comparison, fields->fields));
    return comparison.equal() ? kDone : kNoMatch;
}

}  // namespace quillon::cli
