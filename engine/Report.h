// A report in one HTML file, for people: a series of captures (the
// reference and the rules, the captures' table with the values at places,
// the variation map and the plots as pictures, the likely causes, each
// capture's fired record with the records around it, every note), or one
// log as the browser shows it (its header, the summary, the records around
// the fired record, its notes). Everything is inside the file: the styles
// in a <style> element, the pictures as data: PNGs, no script and no link
// to anything outside, so that a browser shows it offline; printable on A4
// with a page break before each section. Worded from the program's
// catalogue (QCoreApplication::translate, context "Report"): in the
// language whose catalogue is installed. The pictures need a
// QGuiApplication.
#pragma once

#include "Fields.h"
#include "LikelyCauses.h"
#include "LogFile.h"
#include "Series.h"
#include "SeriesTable.h"

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quillon {

// The records shown around a fired record when not told: K before, K after.
inline constexpr int kDefaultReportContext = 5;

struct SeriesReport {
    // What the series was read from: a folder, or the files named, as typed.
    std::vector<std::string> named;
    const Series* series = nullptr;  // compared with its reference
    std::span<const FieldSpec> fields;
    std::optional<std::string> fields_file;
    std::optional<KeptCaptures> kept;
    std::string keep_if;  // the condition as typed, with kept
    const VariationMap* map = nullptr;
    const ValueTable* values = nullptr;
    // What each value column reads (operand_column), one a column.
    std::span<const RecordColumn> value_reads;
    std::optional<CauseFinding> causes;  // when asked for
    int context = kDefaultReportContext;
    std::string language = "en";  // of the catalogue installed: the document's lang
};

// The HTML5 document, UTF-8.
std::string series_report_html(const SeriesReport& report);

struct LogReport {
    std::string file;
    const LogFile* log = nullptr;
    std::span<const FieldSpec> fields;
    std::optional<std::string> fields_file;
    int context = kDefaultReportContext;
    std::string language = "en";
};

std::string log_report_html(const LogReport& report);

// A text escaped for HTML's text and attributes: & < > " '.
std::string html_escaped(std::string_view text);

}  // namespace quillon
