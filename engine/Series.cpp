#include "Series.h"

#include "HexText.h"
#include "ParallelFiles.h"

#include <QDateTime>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimeZone>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <tuple>

namespace quillon {

namespace {

// The time and index of an Autolog_yyyymmddhhnnss[_N].txt name.
struct NamedTime {
    std::int64_t time = 0;
    int index = 1;
};
std::optional<NamedTime> autolog_time(const std::string& path)
{
    static const QRegularExpression name(
        R"(^Autolog_(\d{4})(\d{2})(\d{2})(\d{2})(\d{2})(\d{2})(?:_(\d+))?\.txt$)");
    const auto match = name.match(QFileInfo(QFile::decodeName(path.c_str())).fileName());
    if (!match.hasMatch()) {
        return std::nullopt;
    }
    using namespace std::chrono;
    const auto number = [&](int group) { return match.captured(group).toInt(); };
    const year_month_day day{year(number(1)), month(unsigned(number(2))),
                             std::chrono::day(unsigned(number(3)))};
    if (!day.ok() || number(4) > 23 || number(5) > 59 || number(6) > 59) {
        return std::nullopt;
    }
    // Counted as UTC: no time zone is looked up for each of thousands of
    // files.
    const auto time = sys_days(day) + hours(number(4)) + minutes(number(5)) + seconds(number(6));
    const int index = match.captured(7).isEmpty() ? 1 : match.captured(7).toInt();
    return NamedTime{time.time_since_epoch().count(), index};
}

SeriesCapture capture_of(const std::string& path, LogFile log)
{
    SeriesCapture capture;
    capture.file = path;
    if (const auto named = autolog_time(path)) {
        capture.time = named->time;
        capture.name_index = named->index;
    } else {
        // The modification time's local wall clock, counted as the names'.
        QDateTime modified = QFileInfo(QFile::decodeName(path.c_str())).lastModified();
        modified.setTimeZone(QTimeZone::utc());
        capture.time = modified.toSecsSinceEpoch();
    }
    capture.timeline = log_timeline(log);
    if (capture.timeline.fired) {
        const DecodedRecord fired =
            decode_record(log.records[std::size_t(*capture.timeline.fired)]);
        capture.command = fired.recv.third;
        capture.command_name = fired.command != nullptr ? fired.command : "";
    }
    const StopConditionMatch match = match_stop_condition(log);
    capture.meets = int(match.records.size());
    capture.log = std::move(log);
    return capture;
}

// The values seen in one cell of the map.
using SeenValues = std::bitset<256>;

}  // namespace

std::vector<std::string> series_files(std::span<const std::string> files_or_folders)
{
    std::vector<std::string> files;
    for (const std::string& name : files_or_folders) {
        std::error_code error;
        if (!std::filesystem::is_directory(name, error)) {
            files.push_back(name);
            continue;
        }
        std::vector<std::string> in_folder;
        for (const auto& entry : std::filesystem::directory_iterator(name, error)) {
            std::error_code kind_error;
            if (entry.is_regular_file(kind_error) && entry.path().extension() == ".txt") {
                in_folder.push_back(entry.path().string());
            }
        }
        std::sort(in_folder.begin(), in_folder.end());
        files.insert(files.end(), in_folder.begin(), in_folder.end());
    }
    return files;
}

Series read_series(std::span<const std::string> files)
{
    std::vector<std::optional<SeriesCapture>> read(files.size());
    std::vector<std::string> reasons(files.size());
    for_each_index_in_parallel(files.size(), [&](std::size_t i) {
        try {
            read[i] = capture_of(files[i], read_log_file(files[i]));
        } catch (const std::exception& error) {
            reasons[i] = error.what();
        }
    });
    // Ordered by index, so that each capture (its 8 KiB of records) moves
    // once.
    std::vector<std::size_t> order;
    Series series;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (read[i]) {
            order.push_back(i);
        } else {
            series.unreadable.push_back({files[i], reasons[i]});
        }
    }
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return std::tie(read[a]->time, read[a]->name_index, read[a]->file) <
               std::tie(read[b]->time, read[b]->name_index, read[b]->file);
    });
    series.captures.reserve(order.size());
    for (const std::size_t i : order) {
        series.captures.push_back(std::move(*read[i]));
    }
    return series;
}

void compare_with_reference(Series& series, std::size_t reference,
                            std::span<const IgnoreRule> ignore, std::span<const OnlyRule> only)
{
    series.reference = reference;
    series.ignore.assign(ignore.begin(), ignore.end());
    series.only.assign(only.begin(), only.end());
    if (reference >= series.captures.size()) {
        return;
    }
    const LogFile& reference_log = series.captures[reference].log;
    for_each_index_in_parallel(series.captures.size(), [&](std::size_t i) {
        series.captures[i].against_reference =
            i == reference ? LogComparison{}
                           : compare_logs(series.captures[i].log, reference_log, ignore, only,
                                          Alignment::FiredRecord, Pairs::Counted);
    });
}

std::string capture_time_text(std::int64_t time)
{
    return QDateTime::fromSecsSinceEpoch(time, QTimeZone::utc())
        .toString("yyyy-MM-dd HH:mm:ss")
        .toStdString();
}

std::vector<std::pair<std::size_t, int>> positions_differing(const LogComparison& comparison)
{
    std::vector<std::pair<std::size_t, int>> positions;
    for (std::size_t k = 0; k < kRecordBytes; ++k) {
        if (comparison.records_per_byte[k] > 0) {
            positions.emplace_back(k, comparison.records_per_byte[k]);
        }
    }
    std::stable_sort(positions.begin(), positions.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    return positions;
}

bool VariationMap::varies(int row) const
{
    const auto busy = [](const VariationCell& cell) {
        return cell.differing > 0 || cell.distinct > 1;
    };
    const auto& fields_row = fields[std::size_t(row)];
    return std::ranges::any_of(bytes[std::size_t(row)], busy) ||
           std::ranges::any_of(fields_row, busy);
}

bool VariationMap::differs(int row) const
{
    const auto differing = [](const VariationCell& cell) { return cell.differing > 0; };
    return std::ranges::any_of(bytes[std::size_t(row)], differing) ||
           std::ranges::any_of(fields[std::size_t(row)], differing);
}

VariationMap variation_map(const Series& series, std::span<const FieldSpec> fields)
{
    VariationMap map;
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
    map.bytes.assign(std::size_t(map.rows), {});
    map.fields.assign(std::size_t(map.rows), std::vector<VariationCell>(fields.size()));
    std::vector<std::array<SeenValues, kRecordBytes>> seen(std::size_t(map.rows));
    // Per row and field: the distinct raw values seen, in order.
    std::vector<std::vector<std::vector<std::int64_t>>> field_seen(
        std::size_t(map.rows), std::vector<std::vector<std::int64_t>>(fields.size()));
    const LogRecord compared = compared_bits(series.ignore, series.only);
    const int reference_fired = *reference.timeline.fired;
    // Calls look(row, record, the reference's record at its offset or
    // null) for each written record of each mapped capture.
    const auto each_record = [&](const auto& look) {
        for (std::size_t c = 0; c < series.captures.size(); ++c) {
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
                look(std::size_t(offset - first), capture.log.records[std::size_t(r)],
                     has_pair ? &reference.log.records[std::size_t(paired)] : nullptr);
            }
        }
    };
    // On every core: each task its own byte positions (or the fields), so
    // that no two write to one cell.
    constexpr std::size_t kBytesATask = 8;
    constexpr std::size_t kByteTasks = kRecordBytes / kBytesATask;
    for_each_index_in_parallel(kByteTasks + 1, [&](std::size_t task) {
        if (task < kByteTasks) {
            const std::size_t from = task * kBytesATask;
            each_record([&](std::size_t row, const LogRecord& record, const LogRecord* pair) {
                for (std::size_t k = from; k < from + kBytesATask; ++k) {
                    seen[row][k].set(record[k]);
                    if (pair != nullptr && ((record[k] ^ (*pair)[k]) & compared[k]) != 0) {
                        ++map.bytes[row][k].differing;
                    }
                }
            });
            return;
        }
        each_record([&](std::size_t row, const LogRecord& record, const LogRecord* pair) {
            for (std::size_t f = 0; f < fields.size(); ++f) {
                const auto value = field_value(fields[f], record);
                if (value) {
                    auto& values = field_seen[row][f];
                    const auto at = std::lower_bound(values.begin(), values.end(), value->raw);
                    if (at == values.end() || *at != value->raw) {
                        values.insert(at, value->raw);
                    }
                }
                if (pair != nullptr && value != field_value(fields[f], *pair)) {
                    ++map.fields[row][f].differing;
                }
            }
        });
    });
    for (std::size_t row = 0; row < std::size_t(map.rows); ++row) {
        for (std::size_t k = 0; k < kRecordBytes; ++k) {
            map.bytes[row][k].distinct = int(seen[row][k].count());
        }
        for (std::size_t f = 0; f < fields.size(); ++f) {
            map.fields[row][f].distinct = int(field_seen[row][f].size());
        }
    }
    return map;
}

namespace {

// The written record of a capture at an offset from its fired record.
const LogRecord* record_at(const SeriesCapture& capture, int offset)
{
    if (!capture.timeline.fired) {
        return nullptr;
    }
    const int record = *capture.timeline.fired + offset;
    if (record < 0 || !capture.timeline.is_written(record)) {
        return nullptr;
    }
    return &capture.log.records[std::size_t(record)];
}

}  // namespace

std::vector<CaptureValue> byte_values_at(const Series& series, int offset, std::size_t byte)
{
    std::vector<CaptureValue> values;
    for (std::size_t c = 0; c < series.captures.size(); ++c) {
        if (const LogRecord* record = record_at(series.captures[c], offset)) {
            values.push_back({c, double((*record)[byte]), hex_byte((*record)[byte])});
        }
    }
    return values;
}

std::vector<CaptureValue> field_values_at(const Series& series, int offset, const FieldSpec& field)
{
    std::vector<CaptureValue> values;
    for (std::size_t c = 0; c < series.captures.size(); ++c) {
        if (const LogRecord* record = record_at(series.captures[c], offset)) {
            if (const auto value = field_value(field, *record)) {
                values.push_back({c, value->value, field_value_text(field, value)});
            }
        }
    }
    return values;
}

}  // namespace quillon
