// The values of one column of a log over its written records, as a plot
// shows them: a byte position's value or a field's scaled value, placed at
// the record's offset from the fired record.
#pragma once

#include "Fields.h"
#include "LogFile.h"
#include "RecordColumns.h"

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quillon {

struct ColumnPlotPoint {
    double x = 0;  // the offset from the fired record, or the record's number
    double y = 0;  // the byte, or the field's scaled value
    int record = 0;
    std::string value;  // as the log's table shows it: "0A", "12.34 mm"
};

struct ColumnPlot {
    std::vector<ColumnPlotPoint> points;  // in the order of the records
    std::string y_title;                  // "Recv 3", "position (mm)"
    // 0, the fired record, when the log has one (x is then the offset from
    // it, else the record's number).
    std::optional<double> marked_x;
};

// The points of a byte column (byte_columns()) or a field column
// (field_columns(fields)) over the log's written records; a record where a
// field has no value (its condition not met) is left out. A decoded column
// has no points.
ColumnPlot column_plot(const LogFile& log, const RecordColumn& column,
                       std::span<const FieldSpec> fields);

}  // namespace quillon
