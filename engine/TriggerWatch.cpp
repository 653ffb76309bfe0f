#include "TriggerWatch.h"

#include "AutoSave.h"
#include "LogAnalysis.h"
#include "LogTimeline.h"

#include <algorithm>
#include <exception>

namespace quillon {

TriggerPoll poll_trigger(const AmplifierSend& send)
{
    const auto status = read_log_status(send);
    if (!status) {
        return {TriggerState::Failed, status.failure};
    }
    switch (*status) {
    case LogStatus::Logging: return {TriggerState::Logging};
    case LogStatus::Cancelled: return {TriggerState::Cancelled};
    case LogStatus::Idle: break;
    }
    return {TriggerState::Fired};
}

bool trigger_fired_before_stop(const LogCapture& capture, bool wide_mode)
{
    if (!capture.condition || capture.condition->trigger_index == kNoStopCondition) {
        return false;
    }
    const auto stop = file_stop_condition(*capture.condition, send_offset(wide_mode));
    if (!stop || stop->byte >= kDirectionBytes) {
        return false;
    }
    const RecordCondition condition{stop->direction, stop->byte, stop->mask, stop->value};
    const auto& records = capture.blocks.records;
    const auto written = records.begin() + written_records(records);
    return std::any_of(records.begin(), written,
                       [&](const LogRecord& record) { return meets(record, condition); });
}

bool rearm(const AmplifierSend& send, const StopCondition& condition)
{
    if (condition.trigger_index == kNoStopCondition) {
        return false;
    }
    return send_log_control(send, log_restart_parameters(condition));
}

AutoSaveOutcome save_log_automatically(const std::optional<QString>& folder, const QDateTime& when,
                                       std::string_view text)
{
    if (!folder) {
        return {std::nullopt, "The automatic save folder cannot be made."};
    }
    try {
        return {write_auto_save(*folder, when, text), {}};
    } catch (const std::exception& error) {
        return {std::nullopt, error.what()};
    }
}

}  // namespace quillon
