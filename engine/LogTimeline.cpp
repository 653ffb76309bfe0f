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

std::optional<int> LogTimeline::record_at(int offset) const
{
    if (!fired) {
        return std::nullopt;
    }
    const int record = *fired + offset;
    if (record < 0 || !is_written(record)) {
        return std::nullopt;
    }
    return record;
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

TimelineSummary timeline_summary(const LogFile& log, const StopConditionMatch& match,
                                 const LogTimeline& timeline)
{
    using Answer = StopConditionMatch::Answer;
    TimelineSummary summary;
    summary.stop_condition = match.answer;
    summary.never_written = kLogRecords - timeline.written;
    if (match.answer != Answer::Checked && match.answer != Answer::BeyondLoggedBytes) {
        return summary;
    }
    const FileStopCondition& stop = *log.stop_condition;
    summary.condition = condition_text(stop.direction, stop.byte, stop.mask, stop.value);
    summary.records_meeting = int(match.records.size());
    summary.trigger =
        timeline.fired ? TimelineSummary::Trigger::Fired : TimelineSummary::Trigger::NotFired;
    summary.fired = timeline.fired.value_or(0);
    summary.count = stop.count;
    return summary;
}

}  // namespace quillon
