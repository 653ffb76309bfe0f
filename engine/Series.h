// A series of captures (a night's Autolog files) read as one: each capture
// summed up, held against a reference capture, and where they vary around
// the trigger, offset by offset and byte by byte.
#pragma once

#include "Conditions.h"
#include "Fields.h"
#include "LogAnalysis.h"
#include "LogFile.h"
#include "LogTimeline.h"
#include "RecordColumns.h"

#include <array>
#include <bitset>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quillon {

struct SeriesCapture {
    std::string file;
    // When it was captured: the local wall-clock time of its
    // Autolog_yyyymmddhhnnss name, else of the file's modification time,
    // in seconds counted as if that clock were UTC (so that no time zone
    // is looked up for each file; format it in UTC). An _N index too large
    // for an int counts as the largest, after the smaller ones.
    std::int64_t time = 0;
    int name_index = 0;  // N of an Autolog_..._N name, 1 without one
    LogFile log;
    LogTimeline timeline;
    std::optional<std::uint8_t> command;  // the fired record's command byte (Recv[2])
    std::string command_name;             // its name where Quillon knows it, else ""
    int meets = 0;                        // records that meet the stop condition
    // Against the reference, lined up by the fired records (by number when
    // either has none); empty for the reference itself.
    LogComparison against_reference;
};

struct UnreadableFile {
    std::string file;
    std::string reason;  // the reader's: "FILE:LINE: reason"
};

struct Series {
    std::vector<SeriesCapture> captures;  // in the order they were captured
    std::vector<UnreadableFile> unreadable;
    // Among captures: as read, the first with a fired record.
    std::size_t reference = 0;
    // The comparison's rules, and per byte the bits compared under them
    // and the fields compared with (compared_bits less the bits of the
    // fields not compared).
    std::vector<IgnoreRule> ignore;
    std::vector<OnlyRule> only;
    ChecksumComparison checksums = ChecksumComparison::ByState;
    LogRecord compared = compared_bits({}, {});
};

// What a series is read from: the files named, and the entries of the
// folders named whose names end in ".txt" (whatever they are: a pipe, a
// folder or a link to nothing there is named by its reading, never passed
// over); a folder that cannot be listed or holds no such entry, with why.
// Names are the bytes they are, UTF-8 or not.
struct SeriesFiles {
    std::vector<std::string> files;
    std::vector<UnreadableFile> refused;  // folders, "FOLDER: reason"
};
SeriesFiles series_files(std::span<const std::string> files_or_folders);

// Reads the files on every core and orders them as captured (time, then
// the _N index, then the name); the files that cannot be read are listed
// with their reason, after the folders refused. The reference is the first
// capture.
Series read_series(const SeriesFiles& named);
Series read_series(std::span<const std::string> files);

// Compares every capture with captures[reference] under the rules of diff,
// the bits of the fields not compared left out.
void compare_with_reference(Series& series, std::size_t reference, const ComparisonRules& rules,
                            std::span<const FieldSpec> fields = {});
// The same, checksums compared by whether they hold.
void compare_with_reference(Series& series, std::size_t reference,
                            std::span<const IgnoreRule> ignore = {},
                            std::span<const OnlyRule> only = {});

// Whether a condition (read on the fields given) holds at the capture's
// fired record, its T places counted from there; a capture without a fired
// record meets nothing.
bool capture_meets(const Condition& condition, const SeriesCapture& capture,
                   std::span<const FieldSpec> fields);

// The captures a condition left out of a series, and the reference among
// those kept.
struct KeptCaptures {
    std::vector<std::string> left_out;  // their files, in the series' order
    // The reference chosen, or the first capture kept when it was left out
    // (reference_left_out); 0 when none is kept.
    std::size_t reference = 0;
    bool reference_left_out = false;
};
// Keeps in the series only the captures that meet the condition, in their
// order; reference: the capture chosen as the reference before.
KeptCaptures keep_captures(Series& series, const Condition& condition,
                           std::span<const FieldSpec> fields, std::size_t reference);

// "2026-12-09 03:15:00": a capture's time as its clock read.
std::string capture_time_text(std::int64_t time);

// The fired record's command as a table shows it: "0x44", with its name
// where Quillon knows it ("0x44 name"); "" without a fired record.
std::string fired_command_text(const SeriesCapture& capture);

// A byte position (record byte 0-31) and how many records or captures
// differ there.
using PositionCount = std::pair<std::size_t, int>;

// The byte positions in which a capture's records differ from the
// reference's, most records first.
std::vector<PositionCount> positions_differing(const LogComparison& comparison);
// How many of them a capture's row names as "differing most".
inline constexpr std::size_t kMostDifferingShown = 3;
// The first kMostDifferingShown of positions_differing.
std::vector<PositionCount> most_differing_positions(const LogComparison& comparison);
// The byte positions in which some capture differs from the reference,
// with how many captures do, most first.
std::vector<PositionCount> positions_varying(const Series& series);

// One cell of the variation map: how many captures differ there from the
// reference (under the series' rules: a field through the bits of its
// bytes left compared, none when no bit is), and how many distinct values
// the captures written there hold (the reference's among them).
struct VariationCell {
    int differing = 0;
    int distinct = 0;

    // A capture differs there, or the captures hold two values or more.
    bool varies() const { return differing > 0 || distinct > 1; }
};

// A cell of the map: its row, and its column among map_columns.
struct MapCell {
    int row = 0;
    int column = 0;
    bool operator==(const MapCell&) const = default;
};

// Offsets from the fired record down, the map's columns (map_columns: the
// 32 byte positions, then each field) across. Only captures with a fired
// record take part, and only when the reference has one; rows run from the
// lowest to the highest offset that any of them wrote.
struct VariationMap {
    int first_offset = 0;
    int rows = 0;
    std::vector<RecordColumn> columns = map_columns({});
    std::vector<std::array<VariationCell, kRecordBytes>> bytes;  // [row][byte]
    std::vector<std::vector<VariationCell>> fields;              // [row][field]
    int captures_mapped = 0;

    int offset_of(int row) const { return first_offset + row; }
    const VariationCell& cell(MapCell at) const;
    bool varies(int row) const;   // any cell of the row varies
    bool differs(int row) const;  // a capture differs from the reference in the row
    // The offsets of the rows where a capture differs, in order.
    std::vector<int> offsets_differing() const;
    // The cell where most captures differ, the nearest to the fired record
    // among equals (then the first); none when no capture differs.
    std::optional<MapCell> most_differing_cell() const;
};
VariationMap variation_map(const Series& series, std::span<const FieldSpec> fields = {});

// Each capture's value at an offset from its fired record in one of the
// map's columns (fields: those the map was made with): the capture's index,
// the value (the byte, or the field's scaled value) and its text; captures
// without a written record there, or whose field holds no value, are left
// out.
struct CaptureValue {
    std::size_t capture = 0;
    double value = 0;
    std::string text;  // "0x0A" (a byte as the windows write one), "12.34 mm", "home"
    // Differs there from the reference's record under the series' rules, as
    // the map counts it.
    bool differs = false;
};
std::vector<CaptureValue> values_at(const Series& series, int offset, const RecordColumn& column,
                                    std::span<const FieldSpec> fields = {});

}  // namespace quillon
