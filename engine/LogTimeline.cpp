#include "LogTimeline.h"

#include "LogAnalysis.h"

#include <algorithm>

namespace quillon {

std::optional<int> LogTimeline::offset(int record) const
{
    if (!fired || !is_written(record)) {
        return std::nullopt;
    }
    return record - *fired;
}

int written_records(std::span<const LogRecord> records)
{
    const auto last = std::find_if(records.rbegin(), records.rend(), [](const LogRecord& record) {
        return std::any_of(record.begin(), record.end(), [](std::uint8_t b) { return b != 0; });
    });
    return int(records.rend() - last);
}

LogTimeline log_timeline(const LogFile& log)
{
    LogTimeline timeline;
    timeline.written = written_records(log.records);
    if (!log.stop_condition_recorded() || !log.stop_condition) {
        return timeline;
    }
    const FileStopCondition& stop = *log.stop_condition;
    const int candidate = timeline.written - 1 - stop.count;
    if (candidate < 0) {
        return timeline;
    }
    const bool checkable = stop.byte < kDirectionBytes;
    if (!checkable || meets(log.records[std::size_t(candidate)],
                            RecordCondition{stop.direction, stop.byte, stop.mask, stop.value})) {
        timeline.fired = candidate;
    }
    return timeline;
}

std::optional<int> fired_record_of_text(std::string_view text)
{
    return log_timeline(parse_log_file(text, "the log read")).fired;
}

std::string offset_text(std::optional<int> offset)
{
    if (!offset) {
        return {};
    }
    std::string text = *offset > 0 ? "T+" : "T";
    text += std::to_string(*offset);
    return text;
}

namespace {

std::string never_written_text(int never_written)
{
    return std::to_string(never_written) +
           (never_written == 1 ? " record never written" : " records never written");
}

}  // namespace

std::string timeline_summary(const LogFile& log, const StopConditionMatch& match,
                             const LogTimeline& timeline)
{
    const int never_written = kLogRecords - timeline.written;
    const std::string summary = stop_condition_summary(log, match);
    if (match.answer != StopConditionMatch::Answer::Checked &&
        match.answer != StopConditionMatch::Answer::BeyondLoggedBytes) {
        return never_written > 0 ? summary + " " + never_written_text(never_written) + "."
                                 : summary;
    }
    std::string text = timeline.fired ? "fired at record " + std::to_string(*timeline.fired) +
                                            ", count " + std::to_string(log.stop_condition->count)
                                      : std::string(
                                            "no fired record: the log was stopped before its "
                                            "trigger fired");
    text += "; " + summary;
    if (never_written > 0) {
        text += "; " + never_written_text(never_written);
    }
    return text;
}

}  // namespace quillon
