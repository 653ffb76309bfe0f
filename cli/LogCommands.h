// quillon-cli's commands on saved log files: show, find, diff and series.
// They open no connection.
#pragma once

#include "CommandLine.h"
#include "Conditions.h"
#include "Fields.h"

namespace quillon::cli {

// show FILE [--json | --csv] [--decode]
Exit show_log(const Invocation& call);
// find recv|send BYTE MASK VALUE FILE... [--fired] [--count | --json], or
// find --fired FILE...
Exit find_in_logs(const Invocation& call);
// diff A B [--ignore recv|send BYTE MASK]... [--checksums-by-value] [--json]
Exit diff_logs(const Invocation& call);
// series FILE|DIR... [--reference FILE] [--ignore ...] [--only ...]
// [--fields FILE] [--json | --csv] [--map]
Exit series_of_logs(const Invocation& call);

// Shared by the commands: a line of output, written in one piece; the
// fields of --fields (none without it), nothing when the file cannot be
// read; the rules of --ignore, --only and --checksums-by-value, nothing
// when one is no good (each reason shown).
void print(const std::string& text);
std::optional<FieldsFile> fields_or_report(const Options& options);
std::optional<ComparisonRules> typed_comparison_rules(const Options& options);
// A condition given with an option, read on the fields; nothing when it is
// no good ("OPTION: TEXT: reason (column N)" shown).
std::optional<Condition> typed_condition(const char* option, const std::string& text,
                                         const Options& options, const FieldsFile& fields);

}  // namespace quillon::cli
