// quillon-cli series: a night's captures as one, each against a reference,
// as a table (text or CSV), as JSON, or as the variation map.
#include "SeriesCommand.h"
#include "AtomicFile.h"
#include "HexText.h"
#include "JsonLine.h"
#include "LikelyCauses.h"
#include "LogCommands.h"
#include "LogExport.h"
#include "LogTimeline.h"
#include "Messages.h"
#include "NoteCommand.h"
#include "Series.h"
#include "SeriesDatabase.h"
#include "SeriesTable.h"
#include "ValueColumns.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <optional>
#include <span>
#include <utility>

namespace quillon::cli {

namespace {

// "0x44 name", or "-" without a fired record.
std::string command_text(const SeriesCapture& capture)
{
    const std::string text = fired_command_text(capture);
    return text.empty() ? "-" : text;
}

bool differs(const SeriesCapture& capture)
{
    return !capture.against_reference.equal();
}

// "12 of 212", or "reference".
std::string differing_text(const Series& series, std::size_t c)
{
    if (c == series.reference) {
        return "reference";
    }
    const LogComparison& comparison = series.captures[c].against_reference;
    return std::to_string(comparison.records_differing) + " of " +
           std::to_string(comparison.records_compared);
}

// "Send 3 (12), Recv 3 (12), Send 4 (9)": the positions that differ most.
std::string most_differing_text(const LogComparison& comparison)
{
    std::string text;
    for (const auto& [k, records] : most_differing_positions(comparison)) {
        text += (text.empty() ? "" : ", ") + byte_position(k, PositionSpelling::Label) + " (" +
                std::to_string(records) + ")";
    }
    return text;
}

std::string padded(const std::string& text, std::size_t width, bool right)
{
    const std::string pad(width > text.size() ? width - text.size() : 0, ' ');
    return right ? pad + text : text + pad;
}

// "--value 'position@T-3x'": the option as typed, quoted and escaped.
std::string value_option_text(const std::string& typed)
{
    return "--value '" + with_control_characters_escaped(typed) + "'";
}

// The columns of --value, each read against the fields; nothing when one
// is no good (the reason shown).
std::optional<std::pair<std::vector<ValueColumn>, std::vector<RecordColumn>>> typed_value_columns(
    const Options& options, const FieldsFile& fields)
{
    std::vector<ValueColumn> columns;
    std::vector<RecordColumn> reads;
    for (const std::string& typed : options.values) {
        ValueColumnRead read = read_value_column(typed);
        if (!read.column) {
            show_error(value_option_text(typed) + ": column " + std::to_string(read.error->column) +
                       ": " + syntax_problem_text(read.error->problem));
            return std::nullopt;
        }
        const auto column = operand_column(read.column->operand, fields.fields);
        if (!column) {
            const std::string name = with_control_characters_escaped(read.column->operand.field);
            show_error(value_option_text(typed) + ": " +
                       (options.fields ? *options.fields + " names no field " + name
                                       : name + " is a field: give its fields file with --fields"));
            return std::nullopt;
        }
        columns.push_back(std::move(*read.column));
        reads.push_back(*column);
    }
    return std::pair(std::move(columns), std::move(reads));
}

// A value as text shows it, "-" for none.
std::string value_text(const std::optional<PlacedValue>& value)
{
    return value ? with_control_characters_escaped(placed_value_text(*value)) : "-";
}

// A byte as its number, a field's value in its unit or its name, null for
// none.
QJsonValue value_json(const std::optional<PlacedValue>& value)
{
    if (!value) {
        return {};
    }
    if (value->kind == PlacedValue::Kind::Name) {
        return QString::fromStdString(value->text);
    }
    return value->number;
}

// The byte positions in which captures differ, each with how many do,
// most first: "Send 3 (7 captures), Recv 3 (7)".
std::string varying_positions_text(const Series& series)
{
    std::string text;
    for (const auto& [k, captures] : positions_varying(series)) {
        const char* unit = !text.empty() ? ")" : captures == 1 ? " capture)" : " captures)";
        text += (text.empty() ? "" : ", ") + byte_position(k, PositionSpelling::Label) + " (" +
                std::to_string(captures) + unit;
    }
    return text.empty() ? "none" : text;
}

// "T-12 to T+3 (9 offsets)": the offsets at which a capture differs.
std::string varying_offsets_text(const VariationMap& map)
{
    const std::vector<int> offsets = map.offsets_differing();
    if (offsets.empty()) {
        return "none";
    }
    if (offsets.size() == 1) {
        return offset_text(offsets.front()) + " (1 offset)";
    }
    return offset_text(offsets.front()) + " to " + offset_text(offsets.back()) + " (" +
           std::to_string(offsets.size()) + " offsets)";
}

// "Left out by --keep-if: 2 of 5 captures", then each file; "" when
// nothing was left out.
std::string left_out_text(const Series& series, const KeptCaptures& kept)
{
    if (kept.left_out.empty()) {
        return "";
    }
    const std::size_t all = kept.left_out.size() + series.captures.size();
    std::string text = "Left out by --keep-if: " + std::to_string(kept.left_out.size()) + " of " +
                       std::to_string(all) + (all == 1 ? " capture\n" : " captures\n");
    for (const std::string& file : kept.left_out) {
        text += "  " + file + "\n";
    }
    return text;
}

std::string series_text(const Series& series, const VariationMap& map, const ValueTable& values,
                        const std::optional<KeptCaptures>& kept)
{
    std::vector<std::string> heads = {"Time", "Fired", "Command", "Meets", "Differing"};
    for (const ValueColumn& column : values.columns) {
        heads.push_back(with_control_characters_escaped(column.key));
    }
    std::vector<std::vector<std::string>> rows;
    for (std::size_t c = 0; c < series.captures.size(); ++c) {
        const SeriesCapture& capture = series.captures[c];
        rows.push_back({capture_time_text(capture.time),
                        capture.timeline.fired ? std::to_string(*capture.timeline.fired) : "-",
                        command_text(capture), std::to_string(capture.meets),
                        differing_text(series, c)});
        for (const auto& value : values.rows[c]) {
            rows.back().push_back(value_text(value));
        }
    }
    std::vector<std::size_t> widths;
    for (std::size_t i = 0; i < heads.size(); ++i) {
        std::size_t width = heads[i].size();
        for (const auto& row : rows) {
            width = std::max(width, row[i].size());
        }
        widths.push_back(width);
    }
    // The numbers to the right, the values too; the texts to the left.
    const std::array<bool, 5> right = {false, true, false, true, true};
    const auto line = [&](const std::vector<std::string>& cells) {
        std::string text;
        for (std::size_t i = 0; i < cells.size(); ++i) {
            text += padded(cells[i], widths[i], i >= right.size() || right[i]) + "  ";
        }
        return text;
    };
    std::string text = "Reference: " + series.captures[series.reference].file + "\n";
    if (kept && kept->reference_left_out) {
        text +=
            "(the reference chosen was left out by --keep-if: the first capture kept is the "
            "reference)\n";
    }
    text += "\n";
    text += line(heads) + "File\n";
    for (std::size_t c = 0; c < series.captures.size(); ++c) {
        const std::string positions = most_differing_text(series.captures[c].against_reference);
        text += line(rows[c]) + series.captures[c].file +
                (positions.empty() ? "" : ": " + positions) + "\n";
    }
    text += "\nVarying offsets: " + varying_offsets_text(map) + "\n";
    text += "Varying positions: " + varying_positions_text(series) + "\n";
    if (const int left_out = int(series.captures.size()) - map.captures_mapped; left_out > 0) {
        text += std::to_string(left_out) + (left_out == 1 ? " capture" : " captures") +
                " without a fired record (or against a reference without one) left out of the "
                "offsets\n";
    }
    if (kept) {
        text += left_out_text(series, *kept);
    }
    return text;
}

QJsonValue text_or_null(const std::string& text)
{
    return text.empty() ? QJsonValue() : QJsonValue(QString::fromStdString(text));
}

// A cell of the map where the captures vary: {"offset", "direction",
// "byte", ...} for a byte position, {"offset", "field", ...} for a field.
std::vector<JsonLine> map_json(const VariationMap& map)
{
    std::vector<JsonLine> cells;
    for (int row = 0; row < map.rows; ++row) {
        for (std::size_t c = 0; c < map.columns.size(); ++c) {
            const VariationCell& cell = map.cell({row, int(c)});
            if (!cell.varies()) {
                continue;
            }
            const RecordColumn& column = map.columns[c];
            JsonLine object;
            object.add("offset", map.offset_of(row));
            if (column.kind == ColumnKind::Byte) {
                object.add("direction", direction_key(*column.direction))
                    .add("byte", column.index % int(kDirectionBytes));
            } else {
                object.add("field", QString::fromStdString(column.label));
            }
            object.add("differing", cell.differing).add("distinct", cell.distinct);
            cells.push_back(std::move(object));
        }
    }
    return cells;
}

JsonLine capture_json(const Series& series, std::size_t c, const ValueTable& values)
{
    const SeriesCapture& capture = series.captures[c];
    const bool reference = c == series.reference;
    std::vector<JsonLine> positions;
    for (const auto& [k, records] : positions_differing(capture.against_reference)) {
        positions.push_back(JsonLine()
                                .add("direction", k >= kDirectionBytes ? "send" : "recv")
                                .add("byte", int(k % kDirectionBytes))
                                .add("records", records));
    }
    JsonLine object;
    add_file_name(object, "file", capture.file)
        .add("time", QString::fromStdString(capture_time_text(capture.time)))
        .add("fired_record", number_or_null(capture.timeline.fired))
        .add("command", capture.command ? text_or_null(hex_byte(*capture.command)) : QJsonValue())
        .add("command_name", text_or_null(capture.command_name))
        .add("meets", capture.meets)
        .add("reference", reference)
        .add("records_differing",
             reference ? QJsonValue() : QJsonValue(capture.against_reference.records_differing))
        .add("positions_differing", positions);
    if (!values.columns.empty()) {
        JsonLine placed;
        for (std::size_t i = 0; i < values.columns.size(); ++i) {
            placed.add(values.columns[i].key.c_str(), value_json(values.rows[c][i]));
        }
        object.add("values", placed);
    }
    return object.add("notes", notes_json(notes_or_say_why(capture.file)));
}

constexpr const char* kNoLikelyCause =
    "No likely cause: nothing held before the trigger in most captures that seldom holds "
    "otherwise.";

// "position >= 42.68 @T-3  15/15 captures  baseline 12%  score 9.3".
std::string cause_line(const LikelyCause& cause)
{
    return cause.condition + "  " + std::to_string(cause.captures) + "/" +
           std::to_string(cause.of) + " captures  baseline " +
           cause_share_text(cause.baseline_share) + "  score " + cause_score_text(cause.score);
}

// The likely causes, ranked, each with the candidates folded into it; or
// that none stands out, with the best candidate.
std::string causes_text(const CauseFinding& finding)
{
    std::string text = "\nLikely causes (" + std::to_string(finding.anchors) + " anchors):\n";
    if (finding.anchors < kFewestAnchors) {
        text += "Only " + std::to_string(finding.anchors) +
                " anchors: the baseline is weak. --baseline FILE|DIR with logs saved while "
                "nothing was wrong makes a better one.\n";
    }
    if (finding.causes.empty()) {
        text += std::string(kNoLikelyCause) + "\n";
        if (finding.best) {
            text += "  (the strongest candidate: " + cause_line(*finding.best) + ")\n";
        }
        return text;
    }
    int rank = 0;
    for (const LikelyCause& cause : finding.causes) {
        text += std::to_string(++rank) + ". " + cause_line(cause) + "\n";
        for (const std::string& folded : cause.folded) {
            text += "     also " + folded + "\n";
        }
    }
    return text;
}

void add_causes_json(JsonLine& object, const CauseFinding& finding)
{
    std::vector<JsonLine> causes;
    for (const LikelyCause& cause : finding.causes) {
        QJsonArray folded;
        for (const std::string& condition : cause.folded) {
            folded.append(QString::fromStdString(condition));
        }
        // Rounded as the text shows them, so that a line reads the same.
        causes.push_back(JsonLine()
                             .add("condition", QString::fromStdString(cause.condition))
                             .add("captures", cause.captures)
                             .add("of", cause.of)
                             .add("baseline_share", std::round(cause.baseline_share * 1e4) / 1e4)
                             .add("score", std::round(cause.score * 100) / 100)
                             .add("folded", folded));
    }
    object.add("causes", causes).add("anchors", finding.anchors);
}

std::string series_json(const Series& series, const VariationMap& map, const ValueTable& values,
                        const std::optional<KeptCaptures>& kept,
                        const std::optional<CauseFinding>& causes)
{
    std::vector<JsonLine> captures;
    for (std::size_t c = 0; c < series.captures.size(); ++c) {
        captures.push_back(capture_json(series, c, values));
    }
    std::vector<JsonLine> unreadable;
    for (const UnreadableFile& file : series.unreadable) {
        JsonLine object;
        add_file_name(object, "file", file.file).add("reason", QString::fromStdString(file.reason));
        unreadable.push_back(std::move(object));
    }
    JsonLine object;
    if (series.captures.empty()) {
        object.add("reference", QJsonValue());
    } else {
        add_file_name(object, "reference", series.captures[series.reference].file);
    }
    object.add("captures", captures).add("unreadable", unreadable);
    if (kept) {
        std::vector<JsonLine> left_out;
        for (const std::string& file : kept->left_out) {
            JsonLine named;
            left_out.push_back(std::move(add_file_name(named, "file", file)));
        }
        object.add("left_out", left_out).add("reference_left_out", kept->reference_left_out);
    }
    object.add("map", map_json(map));
    if (causes) {
        add_causes_json(object, *causes);
    }
    return object.text() + "\n";
}

// "Offset  R0 R1 ... SF  name ...", then a row for each offset where a
// capture differs from the reference: how many do in each cell, "." for
// none, each column two wider than its heading.
std::string map_text(const VariationMap& map)
{
    constexpr std::size_t kOffsetWidth = 7;
    constexpr std::size_t kGap = 2;
    std::string text = padded("Offset", kOffsetWidth, false);
    std::vector<std::size_t> widths;
    for (const RecordColumn& column : map.columns) {
        const std::string heading = column_heading(column);
        widths.push_back(heading.size() + kGap);
        text += padded(heading, widths.back(), true);
    }
    text += "\n";
    const auto count = [](int differing) {
        return differing == 0 ? std::string(".") : std::to_string(differing);
    };
    for (int row = 0; row < map.rows; ++row) {
        if (!map.differs(row)) {
            continue;
        }
        text += padded(offset_text(map.offset_of(row)), kOffsetWidth, false);
        for (std::size_t c = 0; c < map.columns.size(); ++c) {
            text += padded(count(map.cell({row, int(c)}).differing), widths[c], true);
        }
        text += "\n";
    }
    return text;
}

bool same_file(const std::string& a, const std::string& b)
{
    std::error_code error;
    return a == b || std::filesystem::equivalent(a, b, error);
}

std::optional<std::size_t> reference_index(const Series& series, const std::string& reference)
{
    for (std::size_t c = 0; c < series.captures.size(); ++c) {
        if (same_file(series.captures[c].file, reference)) {
            return c;
        }
    }
    return std::nullopt;
}

// The likely causes of the series, against the logs of --baseline when
// given; nothing when one of those could not be read (the reason shown).
std::optional<CauseFinding> explained(const Series& series, std::span<const FieldSpec> fields,
                                      const ComparisonRules& rules, const Options& options)
{
    CauseSearch search;
    search.window = options.window.value_or(kDefaultCauseWindow);
    search.rules = with_fields_left_out(rules, fields);
    Series baseline;
    if (!options.baseline.empty()) {
        baseline = read_series(series_files(options.baseline));
        for (const UnreadableFile& file : baseline.unreadable) {
            show_error(file.reason);
        }
        if (!baseline.unreadable.empty()) {
            return std::nullopt;
        }
        search.baseline = &baseline;
    }
    return likely_causes(series, fields, search);
}

// --sqlite: the whole series written as a database, each capture that
// --keep-if leaves out marked so; the reference chosen, else (left out)
// the first capture kept.
Exit series_database(const Series& series, std::size_t reference,
                     const std::optional<Condition>& keep_if, std::span<const FieldSpec> fields,
                     const std::string& path)
{
    DatabaseCaptures captures;
    if (keep_if) {
        for (const SeriesCapture& capture : series.captures) {
            captures.kept.push_back(capture_meets(*keep_if, capture, fields));
        }
        const auto first_kept = std::ranges::find(captures.kept, true);
        if (!captures.kept[reference] && first_kept != captures.kept.end()) {
            reference = std::size_t(first_kept - captures.kept.begin());
        }
    }
    if (captures.kept.empty() || captures.kept[reference]) {
        captures.reference = reference;
    }
    const DatabaseWrite written = write_series_database(path, series, fields, captures);
    for (const UnreadNotes& unread : written.unread_notes) {
        show_error(notes_problem_text(unread.file, unread.read.problem, unread.read.detail) +
                   "; its notes are left out");
    }
    if (!written.written()) {
        show_error(written.error);
        return kFileError;
    }
    return series.unreadable.empty() ? kDone : kUnreadableLog;
}

}  // namespace

Exit read_series_input(const Invocation& call, const std::string& command, SeriesInput& input)
{
    const Options& options = call.line.options;
    const auto rules = typed_comparison_rules(options);
    if (!rules) {
        return kUsage;
    }
    input.rules = *rules;
    auto fields = fields_or_report(options);
    if (!fields) {
        return kUnreadableLog;
    }
    input.fields = std::move(*fields);
    auto value_columns = typed_value_columns(options, input.fields);
    if (!value_columns) {
        return kUsage;
    }
    input.value_columns = std::move(value_columns->first);
    input.value_reads = std::move(value_columns->second);
    SeriesFiles named = series_files(call.line.arguments);
    // A reference from elsewhere joins the series.
    if (options.reference && std::ranges::none_of(named.files, [&](const std::string& file) {
            return same_file(file, *options.reference);
        })) {
        named.files.push_back(*options.reference);
    }
    if (options.keep_if) {
        input.keep_if = typed_condition("--keep-if", *options.keep_if, options, input.fields);
        if (!input.keep_if) {
            return kUsage;
        }
    }
    input.series = read_series(named);
    for (const UnreadableFile& file : input.series.unreadable) {
        show_error(file.reason);
    }
    if (input.series.captures.empty()) {
        show_error(command + ": no log file could be read");
        return kUnreadableLog;
    }
    input.reference = input.series.reference;
    if (options.reference) {
        const auto chosen = reference_index(input.series, *options.reference);
        if (!chosen) {
            return kUnreadableLog;  // why it could not be read was shown
        }
        input.reference = *chosen;
    }
    return kDone;
}

Exit compare_series_input(SeriesInput& input, const Options& options, const std::string& command,
                          ComparedSeries& compared)
{
    Series& series = input.series;
    const std::span<const FieldSpec> fields = input.fields.fields;
    std::size_t reference = input.reference;
    if (input.keep_if) {
        compared.kept = keep_captures(series, *input.keep_if, fields, reference);
        reference = compared.kept->reference;
        if (series.captures.empty()) {
            show_error(command + ": no capture meets --keep-if");
            return series.unreadable.empty() ? kNoMatch : kUnreadableLog;
        }
    }
    compare_with_reference(series, reference, input.rules, fields);
    compared.map = variation_map(series, fields);
    compared.values = value_table(series, input.value_columns, input.value_reads, fields);
    if (options.explain) {
        compared.causes = explained(series, fields, input.rules, options);
        if (!compared.causes) {
            return kUnreadableLog;
        }
    }
    return kDone;
}

Exit series_of_logs(const Invocation& call)
{
    const Options& options = call.line.options;
    if (options.json && options.csv) {
        show_error("series takes --json or --csv, not both");
        return kUsage;
    }
    if (options.sqlite && (options.json || options.csv || options.map || options.explain ||
                           !options.values.empty())) {
        show_error(
            "series --sqlite writes the database alone: not with --json, --csv, --map, "
            "--explain or --value");
        return kUsage;
    }
    SeriesInput input;
    if (const Exit read = read_series_input(call, "series", input); read != kDone) {
        if (read == kUnreadableLog && input.series.captures.empty() && options.json) {
            print(series_json(input.series, VariationMap{}, ValueTable{}, std::nullopt,
                              std::nullopt));
        }
        return read;
    }
    const Series& series = input.series;
    if (options.sqlite) {
        return series_database(input.series, input.reference, input.keep_if, input.fields.fields,
                               *options.sqlite);
    }
    ComparedSeries compared;
    if (const Exit status = compare_series_input(input, options, "series", compared);
        status != kDone) {
        if (compared.kept && series.captures.empty()) {
            if (options.json) {
                print(
                    series_json(series, VariationMap{}, ValueTable{}, compared.kept, std::nullopt));
            } else if (!options.csv && !options.map) {
                print(left_out_text(series, *compared.kept));
            }
        }
        return status;
    }
    const VariationMap& map = compared.map;
    const ValueTable& values = compared.values;
    const std::optional<KeptCaptures>& kept = compared.kept;
    const std::optional<CauseFinding>& causes = compared.causes;
    if (options.json) {
        print(series_json(series, map, values, kept, causes));
    } else if (options.csv) {
        print(series_csv(series, values));
    } else if (options.map) {
        print(map_text(map));
    } else {
        print(series_text(series, map, values, kept) + (causes ? causes_text(*causes) : ""));
    }
    if (!series.unreadable.empty()) {
        return kUnreadableLog;
    }
    return std::ranges::any_of(series.captures, differs) ? kNoMatch : kDone;
}

}  // namespace quillon::cli
