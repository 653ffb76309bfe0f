// The values of one column of a log over its written records, as a plot
// shows them: a byte position's value or a field's scaled value, placed at
// the record's offset from the fired record; and the two logs of a
// comparison plotted together, paired records at the same x.
#pragma once

#include "Fields.h"
#include "LogAnalysis.h"
#include "LogFile.h"
#include "RecordColumns.h"

#include <array>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace quillon {

// How a plot's y axis reads its values: numbers (a field's in its unit),
// bytes (0x00-0xFF), or the names a field gives its values.
struct PlotScale {
    enum class Kind { Number, Byte, Named };
    Kind kind = Kind::Number;
    // With Named: each named value, as y is plotted, and its name, in the
    // order of the values.
    std::vector<std::pair<double, std::string>> names;

    bool operator==(const PlotScale&) const = default;
};
// Byte for a byte column; Named for a field that names its values when
// every value plotted (values, as y) is one of them; else Number.
PlotScale plot_scale(const RecordColumn& column, std::span<const FieldSpec> fields,
                     std::span<const double> values);

struct ColumnPlotPoint {
    double x = 0;  // the record's number less the plot's origin
    double y = 0;  // the byte, or the field's scaled value
    int record = 0;
    std::string value;  // a byte as "0x0A", a field as its column shows it: "12.34 mm"
};

struct ColumnPlot {
    std::vector<ColumnPlotPoint> points;  // in the order of the records
    std::string y_title;                  // "Recv 3", "position (mm)"
    // The record at x = 0: the fired record, else 0 (x is then the record's
    // number).
    int origin = 0;
    // 0, the fired record, when the log has one (x is then the offset from
    // it, else the record's number).
    std::optional<double> marked_x;
    PlotScale scale;
};

// The points of a byte column (byte_columns()) or a field column
// (field_columns(fields)) over the log's written records; a record where a
// field has no value (its condition not met) is left out. A decoded column
// has no points. origin: the record placed at x = 0, when not the log's
// fired record (or 0 without one).
ColumnPlot column_plot(const LogFile& log, const RecordColumn& column,
                       std::span<const FieldSpec> fields, std::optional<int> origin = std::nullopt);

// A column of both logs of a comparison, A's as column_plot gives it and
// B's placed so that each record of B stands at the x of A's record paired
// with it: aligned at their fired records when the comparison is.
std::array<ColumnPlot, 2> compared_column_plots(const LogFile& a, const LogFile& b,
                                                const LogComparison& comparison,
                                                const RecordColumn& column,
                                                std::span<const FieldSpec> fields);

}  // namespace quillon
