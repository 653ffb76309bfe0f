// A log read back as JSON and as CSV: the same bytes for quillon-cli show
// and for the log browser's export.
#pragma once

#include "LogFile.h"

#include <string>

namespace quillon {

// One JSON object on one line, without a line end: the file, its format,
// date and time, stop condition and records, each record with whether it
// meets the stop condition (null when the log cannot tell) and, with
// decoded, its blocks read.
std::string log_json(const std::string& file, const LogFile& log, bool decoded);

// RFC 4180: a header row, then one row per record, CR LF after each.
std::string log_csv(const LogFile& log, bool decoded);

}  // namespace quillon
