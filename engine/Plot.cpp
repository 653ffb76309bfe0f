#include "Plot.h"

#include "HexText.h"
#include "LogTimeline.h"

#include <algorithm>
#include <cmath>

namespace quillon {

namespace {

// Whether a plotted value is one of the named values, which are computed
// from the raw values as the field's are, to the last bit or nearly.
bool among(double value, const std::vector<std::pair<double, std::string>>& names)
{
    return std::any_of(names.begin(), names.end(), [value](const auto& named) {
        return std::abs(named.first - value) <= 1e-9 * std::max(1.0, std::abs(value));
    });
}

}  // namespace

PlotScale plot_scale(const RecordColumn& column, std::span<const FieldSpec> fields,
                     std::span<const double> values)
{
    if (column.kind == ColumnKind::Byte) {
        return {PlotScale::Kind::Byte, {}};
    }
    if (column.kind != ColumnKind::Field) {
        return {};
    }
    const FieldSpec& field = fields[std::size_t(column.index)];
    if (field.names.empty()) {
        return {};
    }
    PlotScale named{PlotScale::Kind::Named, {}};
    for (const auto& [raw, name] : field.names) {
        named.names.emplace_back(double(raw) * field.scale, name);
    }
    std::sort(named.names.begin(), named.names.end());
    const bool all_named = std::all_of(values.begin(), values.end(),
                                       [&](double value) { return among(value, named.names); });
    return all_named ? named : PlotScale{};
}

ColumnPlot column_plot(const LogFile& log, const RecordColumn& column,
                       std::span<const FieldSpec> fields, std::optional<int> origin)
{
    const LogTimeline timeline = log_timeline(log);
    ColumnPlot plot;
    plot.y_title = column.label;
    plot.origin = origin.value_or(timeline.fired.value_or(0));
    if (timeline.fired) {
        plot.marked_x = double(*timeline.fired - plot.origin);
    }
    const bool field = column.kind == ColumnKind::Field;
    if (field) {
        const FieldSpec& described = fields[std::size_t(column.index)];
        if (!described.unit.empty()) {
            plot.y_title += " (" + described.unit + ")";
        }
    } else if (column.kind != ColumnKind::Byte) {
        return plot;
    }
    std::vector<double> values;
    for (int record = 0; record < timeline.written; ++record) {
        const RecordReading reading(log.records[std::size_t(record)], fields);
        double y = 0;
        std::string text;
        if (field) {
            const auto& value = reading.field(std::size_t(column.index));
            if (!value) {
                continue;
            }
            y = value->value;
            text = reading.text(column);
        } else {
            const std::uint8_t byte = reading.record()[std::size_t(column.index)];
            y = double(byte);
            text = hex_byte_value(byte);
        }
        plot.points.push_back({double(record - plot.origin), y, record, std::move(text)});
        values.push_back(y);
    }
    plot.scale = plot_scale(column, fields, values);
    return plot;
}

std::array<ColumnPlot, 2> compared_column_plots(const LogFile& a, const LogFile& b,
                                                const LogComparison& comparison,
                                                const RecordColumn& column,
                                                std::span<const FieldSpec> fields)
{
    ColumnPlot a_plot = column_plot(a, column, fields);
    ColumnPlot b_plot = column_plot(b, column, fields, a_plot.origin + comparison.b_shift);
    // One axis for both: named only when both logs' values are.
    if (a_plot.scale != b_plot.scale) {
        a_plot.scale = b_plot.scale = PlotScale{};
    }
    return {std::move(a_plot), std::move(b_plot)};
}

}  // namespace quillon
