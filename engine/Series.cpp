#include "Series.h"

#include "DifferingFields.h"
#include "HexText.h"
#include "ParallelFiles.h"
#include "Wording.h"

#include <QDateTime>
#include <QTimeZone>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <numeric>
#include <string_view>
#include <tuple>

namespace quillon {

namespace {

// The time and index of an Autolog_yyyymmddhhnnss[_N].txt name, read as
// the bytes it is.
struct NamedTime {
    std::int64_t time = 0;
    int index = 1;
};

bool all_digits(std::string_view text)
{
    return !text.empty() && std::ranges::all_of(text, [](char c) { return c >= '0' && c <= '9'; });
}

// The number that digits spell; one too large for an int is the largest.
int number_of(std::string_view digits)
{
    int number = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    return error == std::errc::result_out_of_range ? std::numeric_limits<int>::max() : number;
}

std::optional<NamedTime> autolog_time(std::string_view path)
{
    constexpr std::string_view kPrefix = "Autolog_";
    constexpr std::string_view kSuffix = ".txt";
    constexpr std::size_t kStampDigits = 14;  // yyyymmddhhnnss
    const std::string_view name = path.substr(path.rfind('/') + 1);
    if (!name.starts_with(kPrefix) || !name.ends_with(kSuffix)) {
        return std::nullopt;
    }
    const std::string_view stamp =
        name.substr(kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size());
    const std::string_view index = stamp.substr(std::min(stamp.size(), kStampDigits));
    if (!all_digits(stamp.substr(0, kStampDigits)) || stamp.size() < kStampDigits ||
        (!index.empty() && (!index.starts_with('_') || !all_digits(index.substr(1))))) {
        return std::nullopt;
    }
    using namespace std::chrono;
    const auto part = [&](std::size_t at, std::size_t size) {
        return number_of(stamp.substr(at, size));
    };
    const year_month_day day{year(part(0, 4)), month(unsigned(part(4, 2))),
                             std::chrono::day(unsigned(part(6, 2)))};
    if (!day.ok() || part(8, 2) > 23 || part(10, 2) > 59 || part(12, 2) > 59) {
        return std::nullopt;
    }
    // Counted as UTC: no time zone is looked up for each of thousands of
    // files.
    const auto time =
        sys_days(day) + hours(part(8, 2)) + minutes(part(10, 2)) + seconds(part(12, 2));
    return NamedTime{time.time_since_epoch().count(),
                     index.empty() ? 1 : number_of(index.substr(1))};
}

// When the capture was made: by its Autolog name, else by the file's
// modification time (its local wall clock, counted as the names' are).
// A file that cannot be looked at counts as the oldest; its reading says
// why.
NamedTime capture_time(const std::string& path)
{
    if (const auto named = autolog_time(path)) {
        return *named;
    }
    std::error_code error;
    const auto written = std::filesystem::last_write_time(path, error);
    if (error) {
        return NamedTime{};
    }
    const auto since_epoch = std::chrono::file_clock::to_sys(written).time_since_epoch();
    QDateTime modified = QDateTime::fromSecsSinceEpoch(
        std::chrono::duration_cast<std::chrono::seconds>(since_epoch).count());
    modified.setTimeZone(QTimeZone::utc());
    return NamedTime{modified.toSecsSinceEpoch(), 1};
}

// The capture's fired record, its command and the records that meet, from
// its log.
void sum_up(SeriesCapture& capture)
{
    const LogFile& log = capture.log;
    capture.timeline = log_timeline(log);
    if (capture.timeline.fired) {
        const DecodedRecord fired =
            decode_record(log.records[std::size_t(*capture.timeline.fired)]);
        capture.command = fired.recv.third;
        capture.command_name = fired.command != nullptr ? fired.command : "";
    }
    capture.meets = int(match_stop_condition(log).records.size());
}

// The values seen in one cell of the map.
using SeenValues = std::bitset<256>;

}  // namespace

SeriesFiles series_files(std::span<const std::string> files_or_folders)
{
    namespace fs = std::filesystem;
    SeriesFiles named;
    for (const std::string& name : files_or_folders) {
        std::error_code error;
        if (!fs::is_directory(name, error)) {
            named.files.push_back(name);
            continue;
        }
        std::vector<std::string> in_folder;
        fs::directory_iterator entry(name, error);
        for (; !error && entry != fs::directory_iterator(); entry.increment(error)) {
            if (entry->path().extension() == ".txt") {
                in_folder.push_back(entry->path().string());
            }
        }
        if (error) {
            named.refused.push_back({name, name + ": " + error.message()});
        } else if (in_folder.empty()) {
            named.refused.push_back(
                {name,
                 name + ": " + QUILLON_TEXT("Message", "no log files (*.txt) in the folder")});
        }
        std::sort(in_folder.begin(), in_folder.end());
        named.files.insert(named.files.end(), in_folder.begin(), in_folder.end());
    }
    return named;
}

Series read_series(const SeriesFiles& named)
{
    Series series = read_series(named.files);
    series.unreadable.insert(series.unreadable.begin(), named.refused.begin(), named.refused.end());
    return series;
}

Series read_series(std::span<const std::string> files)
{
    // When each was captured is known before it is read (by its name or
    // its modification time), so that each log is read straight into its
    // place: a week of captures is 80 MB of records, not to be moved.
    std::vector<NamedTime> times(files.size());
    for_each_index_in_parallel(files.size(),
                               [&](std::size_t i) { times[i] = capture_time(files[i]); });
    std::vector<std::size_t> order(files.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return std::tie(times[a].time, times[a].index, files[a]) <
               std::tie(times[b].time, times[b].index, files[b]);
    });
    Series series;
    series.captures.resize(files.size());
    std::vector<std::string> reasons(files.size());
    for_each_index_in_parallel(files.size(), [&](std::size_t i) {
        const std::size_t file = order[i];
        SeriesCapture& capture = series.captures[i];
        capture.file = files[file];
        capture.time = times[file].time;
        capture.name_index = times[file].index;
        try {
            capture.log = read_log_file(files[file]);
            sum_up(capture);
        } catch (const std::exception& error) {
            reasons[file] = error.what();
        }
    });
    // The files that could not be read, in the order given.
    for (std::size_t file = 0; file < files.size(); ++file) {
        if (!reasons[file].empty()) {
            series.unreadable.push_back({files[file], reasons[file]});
        }
    }
    if (!series.unreadable.empty()) {
        std::size_t i = 0;
        std::erase_if(series.captures,
                      [&](const SeriesCapture&) { return !reasons[order[i++]].empty(); });
    }
    // The others are lined up at the reference's fired record: the first
    // capture that has one (a log stopped before its trigger fired has none).
    const auto fired = std::find_if(
        series.captures.begin(), series.captures.end(),
        [](const SeriesCapture& capture) { return capture.timeline.fired.has_value(); });
    series.reference =
        fired == series.captures.end() ? 0 : std::size_t(fired - series.captures.begin());
    return series;
}

void compare_with_reference(Series& series, std::size_t reference,
                            std::span<const IgnoreRule> ignore, std::span<const OnlyRule> only)
{
    compare_with_reference(
        series, reference,
        ComparisonRules{{ignore.begin(), ignore.end()}, {only.begin(), only.end()}});
}

void compare_with_reference(Series& series, std::size_t reference, const ComparisonRules& rules,
                            std::span<const FieldSpec> fields)
{
    series.reference = reference;
    series.ignore = rules.ignore;
    series.only = rules.only;
    series.checksums = rules.checksums;
    const ComparisonRules with_fields = with_fields_left_out(rules, fields);
    series.compared = compared_bits(with_fields.ignore, with_fields.only);
    if (reference >= series.captures.size()) {
        return;
    }
    const LogFile& reference_log = series.captures[reference].log;
    for_each_index_in_parallel(series.captures.size(), [&](std::size_t i) {
        series.captures[i].against_reference =
            i == reference ? LogComparison{}
                           : compare_logs(series.captures[i].log, reference_log, with_fields,
                                          Alignment::FiredRecord, Pairs::Counted);
    });
}

bool capture_meets(const Condition& condition, const SeriesCapture& capture,
                   std::span<const FieldSpec> fields)
{
    return capture.timeline.fired &&
           holds(condition, capture.log, capture.timeline, *capture.timeline.fired, fields);
}

KeptCaptures keep_captures(Series& series, const Condition& condition,
                           std::span<const FieldSpec> fields, std::size_t reference)
{
    KeptCaptures kept;
    std::vector<SeriesCapture> meeting;
    std::optional<std::size_t> kept_reference;
    for (std::size_t c = 0; c < series.captures.size(); ++c) {
        SeriesCapture& capture = series.captures[c];
        if (!capture_meets(condition, capture, fields)) {
            kept.left_out.push_back(std::move(capture.file));
            continue;
        }
        if (c == reference) {
            kept_reference = meeting.size();
        }
        meeting.push_back(std::move(capture));
    }
    series.captures = std::move(meeting);
    kept.reference = kept_reference.value_or(0);
    kept.reference_left_out = !kept_reference && !series.captures.empty();
    series.reference = kept.reference;
    return kept;
}

std::string capture_time_text(std::int64_t time)
{
    return QDateTime::fromSecsSinceEpoch(time, QTimeZone::utc())
        .toString("yyyy-MM-dd HH:mm:ss")
        .toStdString();
}

std::string fired_command_text(const SeriesCapture& capture)
{
    if (!capture.command) {
        return "";
    }
    return "0x" + hex_byte(*capture.command) +
           (capture.command_name.empty() ? "" : " " + capture.command_name);
}

namespace {

// The positions counted more than none, most first (in order among equals).
std::vector<PositionCount> counted_positions(const std::array<int, kRecordBytes>& counts)
{
    std::vector<PositionCount> positions;
    for (std::size_t k = 0; k < kRecordBytes; ++k) {
        if (counts[k] > 0) {
            positions.emplace_back(k, counts[k]);
        }
    }
    std::stable_sort(positions.begin(), positions.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    return positions;
}

}  // namespace

std::vector<PositionCount> positions_differing(const LogComparison& comparison)
{
    return counted_positions(comparison.records_per_byte);
}

std::vector<PositionCount> most_differing_positions(const LogComparison& comparison)
{
    std::vector<PositionCount> positions = positions_differing(comparison);
    positions.resize(std::min(positions.size(), kMostDifferingShown));
    return positions;
}

std::vector<PositionCount> positions_varying(const Series& series)
{
    std::array<int, kRecordBytes> captures{};
    for (const SeriesCapture& capture : series.captures) {
        for (std::size_t k = 0; k < kRecordBytes; ++k) {
            captures[k] += capture.against_reference.records_per_byte[k] > 0 ? 1 : 0;
        }
    }
    return counted_positions(captures);
}

const VariationCell& VariationMap::cell(MapCell at) const
{
    const auto row = std::size_t(at.row);
    const auto column = std::size_t(at.column);
    return column < kRecordBytes ? bytes[row][column] : fields[row][column - kRecordBytes];
}

bool VariationMap::varies(int row) const
{
    const auto varying = [](const VariationCell& cell) { return cell.varies(); };
    return std::ranges::any_of(bytes[std::size_t(row)], varying) ||
           std::ranges::any_of(fields[std::size_t(row)], varying);
}

bool VariationMap::differs(int row) const
{
    const auto differing = [](const VariationCell& cell) { return cell.differing > 0; };
    return std::ranges::any_of(bytes[std::size_t(row)], differing) ||
           std::ranges::any_of(fields[std::size_t(row)], differing);
}

std::vector<int> VariationMap::offsets_differing() const
{
    std::vector<int> offsets;
    for (int row = 0; row < rows; ++row) {
        if (differs(row)) {
            offsets.push_back(offset_of(row));
        }
    }
    return offsets;
}

std::optional<MapCell> VariationMap::most_differing_cell() const
{
    std::optional<MapCell> most;
    int most_differing = 0;
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < int(columns.size()); ++column) {
            const int differing = cell({row, column}).differing;
            const bool nearer = most && differing == most_differing &&
                                std::abs(offset_of(row)) < std::abs(offset_of(most->row));
            if (differing > most_differing || nearer) {
                most = MapCell{row, column};
                most_differing = differing;
            }
        }
    }
    return most;
}

namespace {

// What one share of the captures adds to the map: per row, byte and field,
// the captures that differ and the values seen.
struct PartialMap {
    std::vector<std::array<int, kRecordBytes>> bytes_differing;
    std::vector<std::array<SeenValues, kRecordBytes>> bytes_seen;

    explicit PartialMap(int rows)
        : bytes_differing(std::size_t(rows)), bytes_seen(std::size_t(rows))
    {
    }
};

// Adds captures [from, to) to partial: each written record at its row
// (offset - first), against the reference's record at the same offset,
// in the bits compared.
void map_captures(const Series& series, const LogRecord& compared, int first, std::size_t from,
                  std::size_t to, PartialMap& partial)
{
    const SeriesCapture& reference = series.captures[series.reference];
    const int reference_fired = *reference.timeline.fired;
    for (std::size_t c = from; c < to; ++c) {
        const SeriesCapture& capture = series.captures[c];
        if (!capture.timeline.fired) {
            continue;
        }
        const bool is_reference = c == series.reference;
        for (int r = 0; r < capture.timeline.written; ++r) {
            const int offset = r - *capture.timeline.fired;
            const int paired = reference_fired + offset;
            const bool has_pair =
                !is_reference && paired >= 0 && reference.timeline.is_written(paired);
            const auto row = std::size_t(offset - first);
            const LogRecord& record = capture.log.records[std::size_t(r)];
            auto& seen = partial.bytes_seen[row];
            for (std::size_t k = 0; k < kRecordBytes; ++k) {
                seen[k].set(record[k]);
            }
            const LogRecord* pair =
                has_pair ? &reference.log.records[std::size_t(paired)] : nullptr;
            LogRecord bits;
            if (pair != nullptr &&
                differing_bits(record, *pair, compared, series.checksums, bits)) {
                auto& differing = partial.bytes_differing[row];
                for (std::size_t k = 0; k < kRecordBytes; ++k) {
                    differing[k] += bits[k] != 0 ? 1 : 0;
                }
            }
        }
    }
}

// The written record of a capture at an offset from its fired record.
const LogRecord* record_at(const SeriesCapture& capture, int offset)
{
    const auto record = capture.timeline.record_at(offset);
    return record ? &capture.log.records[std::size_t(*record)] : nullptr;
}

// The fields' cells of the map, a share of its rows a task: each cell's
// values gathered from the captures there, so that thousands of fields
// need no more than a capture's values at a time. A capture differs in a
// field where the bits of it compared differ, or one record holds it and
// the other not; in no field none of whose bits is compared.
void map_fields(const Series& series, std::span<const FieldSpec> fields, const LogRecord& compared,
                VariationMap& map)
{
    map.fields.assign(std::size_t(map.rows), std::vector<VariationCell>(fields.size()));
    std::vector<std::uint32_t> bits_compared;
    for (const FieldSpec& field : fields) {
        bits_compared.push_back(field_bits_compared(field, compared));
    }
    const SeriesCapture& reference = series.captures[series.reference];
    std::vector<const SeriesCapture*> mapped;
    for (const SeriesCapture& capture : series.captures) {
        if (capture.timeline.fired && &capture != &reference) {
            mapped.push_back(&capture);
        }
    }
    for_each_index_in_parallel(std::size_t(map.rows), [&](std::size_t row) {
        const int offset = map.offset_of(int(row));
        const LogRecord* reference_record = record_at(reference, offset);
        std::vector<std::int64_t> seen;
        for (std::size_t f = 0; f < fields.size(); ++f) {
            seen.clear();
            VariationCell& cell = map.fields[row][f];
            const FieldSpec& field = fields[f];
            const std::uint32_t bits = bits_compared[f];
            if (reference_record != nullptr) {
                if (const auto raw = field_raw(field, *reference_record)) {
                    seen.push_back(*raw);
                }
            }
            for (const SeriesCapture* capture : mapped) {
                const LogRecord* record = record_at(*capture, offset);
                if (record == nullptr) {
                    continue;
                }
                if (const auto raw = field_raw(field, *record)) {
                    seen.push_back(*raw);
                }
                cell.differing += reference_record != nullptr &&
                                          field_differs(field, bits, *record, *reference_record)
                                      ? 1
                                      : 0;
            }
            std::sort(seen.begin(), seen.end());
            cell.distinct = int(std::unique(seen.begin(), seen.end()) - seen.begin());
        }
    });
}

// The bits the series was compared in, less those of these fields not
// compared, should it have been compared without them.
LogRecord bits_compared_with(const Series& series, std::span<const FieldSpec> fields)
{
    LogRecord compared = series.compared;
    const LogRecord outside_fields = compared_bits(with_fields_left_out({}, fields).ignore, {});
    for (std::size_t k = 0; k < kRecordBytes; ++k) {
        compared[k] &= outside_fields[k];
    }
    return compared;
}

// Whether record differs from the reference's in column, as the map counts
// a cell: a byte in the bits compared (a checksum by whether it holds), a
// field in its bits compared.
bool differs_in(const RecordColumn& column, const LogRecord& record, const LogRecord& reference,
                const Series& series, const LogRecord& compared, std::span<const FieldSpec> fields)
{
    if (column.kind == ColumnKind::Byte) {
        LogRecord bits;
        return differing_bits(record, reference, compared, series.checksums, bits) &&
               bits[std::size_t(column.index)] != 0;
    }
    if (column.kind != ColumnKind::Field) {
        return false;
    }
    const FieldSpec& field = fields[std::size_t(column.index)];
    return field_differs(field, field_bits_compared(field, compared), record, reference);
}

}  // namespace

VariationMap variation_map(const Series& series, std::span<const FieldSpec> fields)
{
    VariationMap map;
    map.columns = map_columns(fields);
    if (series.reference >= series.captures.size()) {
        return map;
    }
    const SeriesCapture& reference = series.captures[series.reference];
    if (!reference.timeline.fired) {
        return map;
    }
    int first = 0;
    int last = -1;
    for (const SeriesCapture& capture : series.captures) {
        if (capture.timeline.fired) {
            first = std::min(first, -*capture.timeline.fired);
            last = std::max(last, capture.timeline.written - 1 - *capture.timeline.fired);
            ++map.captures_mapped;
        }
    }
    map.first_offset = first;
    map.rows = last - first + 1;
    // On every core, each task a share of the captures and a map of its
    // own: every record is read once, and no two tasks write to one cell.
    constexpr std::size_t kTasks = 8;
    const std::size_t share = (series.captures.size() + kTasks - 1) / kTasks;
    const LogRecord compared = bits_compared_with(series, fields);
    std::vector<PartialMap> partials(kTasks, PartialMap(map.rows));
    for_each_index_in_parallel(kTasks, [&](std::size_t task) {
        const std::size_t from = std::min(task * share, series.captures.size());
        const std::size_t to = std::min(from + share, series.captures.size());
        map_captures(series, compared, first, from, to, partials[task]);
    });
    map.bytes.assign(std::size_t(map.rows), {});
    PartialMap& whole = partials.front();
    for (std::size_t row = 0; row < std::size_t(map.rows); ++row) {
        for (std::size_t task = 1; task < kTasks; ++task) {
            const PartialMap& part = partials[task];
            for (std::size_t k = 0; k < kRecordBytes; ++k) {
                whole.bytes_differing[row][k] += part.bytes_differing[row][k];
                whole.bytes_seen[row][k] |= part.bytes_seen[row][k];
            }
        }
        for (std::size_t k = 0; k < kRecordBytes; ++k) {
            map.bytes[row][k] = {whole.bytes_differing[row][k],
                                 int(whole.bytes_seen[row][k].count())};
        }
    }
    map_fields(series, fields, compared, map);
    return map;
}

std::vector<CaptureValue> values_at(const Series& series, int offset, const RecordColumn& column,
                                    std::span<const FieldSpec> fields)
{
    const LogRecord* reference = series.reference < series.captures.size()
                                     ? record_at(series.captures[series.reference], offset)
                                     : nullptr;
    const LogRecord compared = bits_compared_with(series, fields);
    std::vector<CaptureValue> values;
    for (std::size_t c = 0; c < series.captures.size(); ++c) {
        if (const LogRecord* record = record_at(series.captures[c], offset)) {
            if (auto value = column_value(column, *record, fields)) {
                const bool differs =
                    c != series.reference && reference != nullptr &&
                    differs_in(column, *record, *reference, series, compared, fields);
                std::string text = column.kind == ColumnKind::Byte
                                       ? hex_byte_value(record->at(std::size_t(column.index)))
                                       : std::move(value->text);
                values.push_back({c, value->number, std::move(text), differs});
            }
        }
    }
    return values;
}

}  // namespace quillon
