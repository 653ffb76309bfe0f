// What series and report share: a series named on the command line read
// under its options, then compared with its reference.
#pragma once

#include "CommandLine.h"
#include "Conditions.h"
#include "Fields.h"
#include "LikelyCauses.h"
#include "Series.h"
#include "SeriesTable.h"

#include <optional>
#include <string>
#include <vector>

namespace quillon::cli {

// The options read and the series read.
struct SeriesInput {
    ComparisonRules rules;
    FieldsFile fields;
    std::vector<ValueColumn> value_columns;  // of --value, as typed
    std::vector<RecordColumn> value_reads;   // what each reads
    std::optional<Condition> keep_if;
    Series series;
    std::size_t reference = 0;  // --reference's, else the series'
};

// Reads the options of a series (--ignore, --only, --fields, --value,
// --keep-if) and the files and folders named, --reference's file among
// them. kDone, or what went wrong with its reason shown: kUsage, or
// kUnreadableLog (the fields file, the reference, or no file read:
// input.series then holds the files not read). command names the command
// in a message.
Exit read_series_input(const Invocation& call, const std::string& command, SeriesInput& input);

// The series compared: the captures of --keep-if kept, each held against
// the reference, the map, the values at places, the likely causes of
// --explain.
struct ComparedSeries {
    std::optional<KeptCaptures> kept;
    VariationMap map;
    ValueTable values;
    std::optional<CauseFinding> causes;
};

// kDone; when no capture is kept, kNoMatch (kUnreadableLog when a file was
// not read) with compared.kept saying what was left out; kUnreadableLog
// when a file of --baseline cannot be read. Reasons shown.
Exit compare_series_input(SeriesInput& input, const Options& options, const std::string& command,
                          ComparedSeries& compared);

}  // namespace quillon::cli
