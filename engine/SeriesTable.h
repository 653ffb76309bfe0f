// A series as one table: a row a capture, with its fired record, command,
// comparison with the reference, and the values at places asked for
// ("position@T-3"), a column each. quillon-cli series --csv and the series
// window's "Export Table..." write it alike.
#pragma once

#include "Fields.h"
#include "RecordColumns.h"
#include "Series.h"
#include "ValueColumns.h"

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quillon {

// The values of the value columns: a row a capture, a column each.
struct ValueTable {
    std::vector<ValueColumn> columns;
    std::vector<std::vector<std::optional<PlacedValue>>> rows;
};

// Each capture's value in each column; reads: what each column reads
// (operand_column under the fields), one a column.
ValueTable value_table(const Series& series, std::vector<ValueColumn> columns,
                       std::span<const RecordColumn> reads, std::span<const FieldSpec> fields);

// RFC 4180: "time,file,fired_record,command,command_name,meets,reference,
// records_differing,positions_differing", then a column for each value
// column keyed as written; a row a capture, CR LF after each; a value as
// placed_value gives its text ("0x44", "20.12", a name), empty for none.
std::string series_csv(const Series& series, const ValueTable& values);

}  // namespace quillon
