// quillon-cli series: a night's captures as one, each against a reference,
// as a table (text or CSV), as JSON, or as the variation map.
#include "HexText.h"
#include "JsonLine.h"
#include "LogCommands.h"
#include "LogExport.h"
#include "LogTimeline.h"
#include "Messages.h"
#include "Series.h"

#include <algorithm>
#include <filesystem>

namespace quillon::cli {

namespace {

// How many of the most differing positions a capture's row names.
constexpr std::size_t kPositionsShown = 3;

std::string command_text(const SeriesCapture& capture)
{
    if (!capture.command) {
        return "-";
    }
    return hex_byte(*capture.command) +
           (capture.command_name.empty() ? "" : " " + capture.command_name);
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
    const auto positions = positions_differing(comparison);
    for (std::size_t i = 0; i < positions.size() && i < kPositionsShown; ++i) {
        text += (text.empty() ? "" : ", ") +
                byte_position(positions[i].first, PositionSpelling::Label) + " (" +
                std::to_string(positions[i].second) + ")";
    }
    return text;
}

std::string padded(const std::string& text, std::size_t width, bool right)
{
    const std::string pad(width > text.size() ? width - text.size() : 0, ' ');
    return right ? pad + text : text + pad;
}

// The byte positions in which captures differ, each with how many do,
// most first: "Send 3 (7 captures), Recv 3 (7)".
std::string varying_positions_text(const Series& series)
{
    std::array<int, kRecordBytes> captures{};
    for (const SeriesCapture& capture : series.captures) {
        for (std::size_t k = 0; k < kRecordBytes; ++k) {
            captures[k] += capture.against_reference.records_per_byte[k] > 0 ? 1 : 0;
        }
    }
    std::vector<std::size_t> order;
    for (std::size_t k = 0; k < kRecordBytes; ++k) {
        if (captures[k] > 0) {
            order.push_back(k);
        }
    }
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return captures[a] > captures[b]; });
    std::string text;
    for (const std::size_t k : order) {
        const char* unit = !text.empty() ? ")" : captures[k] == 1 ? " capture)" : " captures)";
        text += (text.empty() ? "" : ", ") + byte_position(k, PositionSpelling::Label) + " (" +
                std::to_string(captures[k]) + unit;
    }
    return text.empty() ? "none" : text;
}

// "T-12 to T+3 (9 offsets)": the offsets at which a capture differs.
std::string varying_offsets_text(const VariationMap& map)
{
    std::vector<int> offsets;
    for (int row = 0; row < map.rows; ++row) {
        if (map.differs(row)) {
            offsets.push_back(map.offset_of(row));
        }
    }
    if (offsets.empty()) {
        return "none";
    }
    if (offsets.size() == 1) {
        return offset_text(offsets.front()) + " (1 offset)";
    }
    return offset_text(offsets.front()) + " to " + offset_text(offsets.back()) + " (" +
           std::to_string(offsets.size()) + " offsets)";
}

std::string series_text(const Series& series, const VariationMap& map)
{
    const std::vector<std::string> heads = {"Time", "Fired", "Command", "Meets", "Differing"};
    std::vector<std::vector<std::string>> rows;
    for (std::size_t c = 0; c < series.captures.size(); ++c) {
        const SeriesCapture& capture = series.captures[c];
        rows.push_back({capture_time_text(capture.time),
                        capture.timeline.fired ? std::to_string(*capture.timeline.fired) : "-",
                        command_text(capture), std::to_string(capture.meets),
                        differing_text(series, c)});
    }
    std::vector<std::size_t> widths;
    for (std::size_t i = 0; i < heads.size(); ++i) {
        std::size_t width = heads[i].size();
        for (const auto& row : rows) {
            width = std::max(width, row[i].size());
        }
        widths.push_back(width);
    }
    // The numbers to the right; the texts to the left.
    const std::array<bool, 5> right = {false, true, false, true, true};
    const auto line = [&](const std::vector<std::string>& cells) {
        std::string text;
        for (std::size_t i = 0; i < cells.size(); ++i) {
            text += padded(cells[i], widths[i], right[i]) + "  ";
        }
        return text;
    };
    std::string text = "Reference: " + series.captures[series.reference].file + "\n\n";
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
    return text;
}

std::string series_csv(const Series& series)
{
    std::string text =
        "time,file,fired_record,command,command_name,meets,reference,records_differing,"
        "positions_differing\r\n";
    for (std::size_t c = 0; c < series.captures.size(); ++c) {
        const SeriesCapture& capture = series.captures[c];
        std::string positions;
        for (const auto& [k, records] : positions_differing(capture.against_reference)) {
            if (!positions.empty()) {
                positions += ' ';
            }
            positions += byte_position(k, PositionSpelling::Key);
            positions += ':';
            positions += std::to_string(records);
        }
        const bool reference = c == series.reference;
        text += capture_time_text(capture.time);
        text += ',';
        text += csv_field(capture.file);
        text += ',';
        text += capture.timeline.fired ? std::to_string(*capture.timeline.fired) : "";
        text += ',';
        text += capture.command ? hex_byte(*capture.command) : "";
        text += ',';
        text += csv_field(capture.command_name);
        text += ',';
        text += std::to_string(capture.meets);
        text += reference ? ",true," : ",false,";
        text += reference ? "" : std::to_string(capture.against_reference.records_differing);
        text += ',';
        text += positions;
        text += "\r\n";
    }
    return text;
}

QJsonValue text_or_null(const std::string& text)
{
    return text.empty() ? QJsonValue() : QJsonValue(QString::fromStdString(text));
}

bool busy(const VariationCell& cell)
{
    return cell.differing > 0 || cell.distinct > 1;
}

std::vector<JsonLine> map_json(const VariationMap& map, std::span<const FieldSpec> fields)
{
    std::vector<JsonLine> cells;
    for (int row = 0; row < map.rows; ++row) {
        for (std::size_t k = 0; k < kRecordBytes; ++k) {
            const VariationCell& cell = map.bytes[std::size_t(row)][k];
            if (busy(cell)) {
                cells.push_back(JsonLine()
                                    .add("offset", map.offset_of(row))
                                    .add("direction", k >= kDirectionBytes ? "send" : "recv")
                                    .add("byte", int(k % kDirectionBytes))
                                    .add("differing", cell.differing)
                                    .add("distinct", cell.distinct));
            }
        }
        for (std::size_t f = 0; f < fields.size(); ++f) {
            const VariationCell& cell = map.fields[std::size_t(row)][f];
            if (busy(cell)) {
                cells.push_back(JsonLine()
                                    .add("offset", map.offset_of(row))
                                    .add("field", QString::fromStdString(fields[f].name))
                                    .add("differing", cell.differing)
                                    .add("distinct", cell.distinct));
            }
        }
    }
    return cells;
}

JsonLine capture_json(const Series& series, std::size_t c)
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
    return object;
}

std::string series_json(const Series& series, const VariationMap& map,
                        std::span<const FieldSpec> fields)
{
    std::vector<JsonLine> captures;
    for (std::size_t c = 0; c < series.captures.size(); ++c) {
        captures.push_back(capture_json(series, c));
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
    return object.add("captures", captures)
               .add("unreadable", unreadable)
               .add("map", map_json(map, fields))
               .text() +
           "\n";
}

// "Offset  R0 R1 ... SF  name ...", then a row for each offset where a
// capture differs from the reference: how many do in each cell, "." for
// none.
std::string map_text(const VariationMap& map, std::span<const FieldSpec> fields)
{
    constexpr std::size_t kOffsetWidth = 7;
    constexpr std::size_t kCellWidth = 4;
    std::string text = padded("Offset", kOffsetWidth, false);
    for (std::size_t k = 0; k < kRecordBytes; ++k) {
        text += padded(byte_position(k, PositionSpelling::Heading), kCellWidth, true);
    }
    for (const FieldSpec& field : fields) {
        text += "  " + field.name;
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
        for (const VariationCell& cell : map.bytes[std::size_t(row)]) {
            text += padded(count(cell.differing), kCellWidth, true);
        }
        for (std::size_t f = 0; f < fields.size(); ++f) {
            text += padded(count(map.fields[std::size_t(row)][f].differing),
                           fields[f].name.size() + 2, true);
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

}  // namespace

Exit series_of_logs(const Invocation& call)
{
    const Options& options = call.line.options;
    const auto rules = typed_comparison_rules(options);
    if (!rules) {
        return kUsage;
    }
    if (options.json && options.csv) {
        show_error("series takes --json or --csv, not both");
        return kUsage;
    }
    const auto fields = fields_or_report(options);
    if (!fields) {
        return kUnreadableLog;
    }
    SeriesFiles named = series_files(call.line.arguments);
    // A reference from elsewhere joins the series.
    if (options.reference && std::ranges::none_of(named.files, [&](const std::string& file) {
            return same_file(file, *options.reference);
        })) {
        named.files.push_back(*options.reference);
    }
    Series series = read_series(named);
    for (const UnreadableFile& file : series.unreadable) {
        show_error(file.reason);
    }
    if (series.captures.empty()) {
        show_error("series: no log file could be read");
        if (options.json) {
            print(series_json(series, VariationMap{}, fields->fields));
        }
        return kUnreadableLog;
    }
    std::size_t reference = 0;
    if (options.reference) {
        const auto chosen = reference_index(series, *options.reference);
        if (!chosen) {
            return kUnreadableLog;  // why it could not be read was shown
        }
        reference = *chosen;
    }
    compare_with_reference(series, reference, rules->ignore, rules->only);
    const VariationMap map = variation_map(series, fields->fields);
    if (options.json) {
        print(series_json(series, map, fields->fields));
    } else if (options.csv) {
        print(series_csv(series));
    } else if (options.map) {
        print(map_text(map, fields->fields));
    } else {
        print(series_text(series, map));
    }
    if (!series.unreadable.empty()) {
        return kUnreadableLog;
    }
    return std::ranges::any_of(series.captures, differs) ? kNoMatch : kDone;
}

}  // namespace quillon::cli
