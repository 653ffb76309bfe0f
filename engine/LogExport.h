// A log read back as JSON and as CSV: the same bytes for quillon-cli show
// and for the log browser's export.
#pragma once

#include "Fields.h"
#include "JsonLine.h"
#include "LogFile.h"
#include "Notes.h"

#include <QJsonArray>

#include <span>
#include <string>

namespace quillon {

// One JSON object on one line, without a line end: the file (and
// file_bytes when its name is not UTF-8), its format, date and time, stop
// condition, how many records were written and which fired the trigger
// (null when none did), and records, each record with whether it meets the
// stop condition (null when the log cannot tell), its offset from the fired
// record (null without one, or when never written), whether it was written
// and, with decoded, its blocks read; with fields, each field's value
// (fields_json); then its notes (note_json, in the order written).
std::string log_json(const std::string& file, const LogFile& log, bool decoded,
                     std::span<const FieldSpec> fields = {}, std::span<const Note> notes = {});

class RecordReading;
struct RecordColumn;
// The fields of a record: {"KEY": {"raw": R, "value": V, "name": N}, ...},
// KEY the key of the field's column (field_columns(fields), of the same
// fields), "name" only where the raw value has one, null where the field
// holds no value in the record.
JsonLine fields_json(const RecordReading& reading, std::span<const RecordColumn> columns);

// Bytes as an array of two-digit hexadecimal strings: ["01", "FA", ...].
QJsonArray hex_array(std::span<const std::uint8_t> bytes);
// A record's bytes as "recv" and "send", each a hex_array of 16.
JsonLine& add_record_bytes(JsonLine& object, const LogRecord& record);
// A stop condition as {"direction", "byte", "mask", "value", "count"}, or
// null.
JsonLine& add_stop_condition(JsonLine& object, const char* key,
                             const std::optional<FileStopCondition>& stop);
// The file's: as above, or "not recorded" for a log view file.
JsonLine& add_stop_condition(JsonLine& object, const char* key, const LogFile& log);

// A CSV field (RFC 4180), quoted when it holds a comma, a quote or a line
// break. A field's unit and names never reach CSV: its column holds the
// value as a number.
std::string csv_field(const std::string& text);

// RFC 4180: a header row, then one row per record, CR LF after each; the
// offset column empty where JSON has null; with fields, a column for each,
// named by its column's key (field_columns), holding its value as a number
// (empty where it holds none).
std::string log_csv(const LogFile& log, bool decoded, std::span<const FieldSpec> fields = {});

}  // namespace quillon
