#include "SeriesTable.h"

#include "HexText.h"
#include "LogAnalysis.h"
#include "LogExport.h"

#include <algorithm>
#include <utility>

namespace quillon {

namespace {

// A value as CSV holds it: "0x44", "20.12", a name; "" for none.
std::string value_csv(const std::optional<PlacedValue>& value)
{
    return value ? csv_field(value->text) : "";
}

}  // namespace

ValueTable value_table(const Series& series, std::vector<ValueColumn> columns,
                       std::span<const RecordColumn> reads, std::span<const FieldSpec> fields)
{
    ValueTable table{std::move(columns), {}};
    for (const SeriesCapture& capture : series.captures) {
        std::vector<std::optional<PlacedValue>>& row = table.rows.emplace_back();
        for (std::size_t i = 0; i < std::min(reads.size(), table.columns.size()); ++i) {
            row.push_back(placed_value(reads[i], table.columns[i].offset, capture.log,
                                       capture.timeline, fields));
        }
    }
    return table;
}

std::string series_csv(const Series& series, const ValueTable& values)
{
    std::string text =
        "time,file,fired_record,command,command_name,meets,reference,records_differing,"
        "positions_differing";
    for (const ValueColumn& column : values.columns) {
        text += ',';
        text += csv_field(column.key);
    }
    text += "\r\n";
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
        if (c < values.rows.size()) {
            for (const auto& value : values.rows[c]) {
                text += ',';
                text += value_csv(value);
            }
        }
        text += "\r\n";
    }
    return text;
}

}  // namespace quillon
