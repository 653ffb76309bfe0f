#include "Plot.h"

#include "LogTimeline.h"

namespace quillon {

ColumnPlot column_plot(const LogFile& log, const RecordColumn& column,
                       std::span<const FieldSpec> fields)
{
    const LogTimeline timeline = log_timeline(log);
    ColumnPlot plot;
    plot.y_title = column.label;
    if (timeline.fired) {
        plot.marked_x = 0.0;
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
    for (int record = 0; record < timeline.written; ++record) {
        const RecordReading reading(log.records[std::size_t(record)], fields);
        double y = 0;
        if (field) {
            const auto& value = reading.field(std::size_t(column.index));
            if (!value) {
                continue;
            }
            y = value->value;
        } else {
            y = double(reading.record()[std::size_t(column.index)]);
        }
        plot.points.push_back(
            {double(timeline.offset(record).value_or(record)), y, record, reading.text(column)});
    }
    return plot;
}

}  // namespace quillon
