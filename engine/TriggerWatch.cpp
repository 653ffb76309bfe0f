#include "TriggerWatch.h"

#include "AutoSave.h"

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
    const StopCondition& condition = *capture.condition;
    const int offset = send_offset(wide_mode);
    const bool sent = condition.trigger_index >= offset;
    const int byte = condition.trigger_index - (sent ? offset : 0);
    constexpr int kKeptBytes = int(kRecordBytes / 2);
    if (byte >= kKeptBytes) {
        return false;
    }
    const auto& records = capture.blocks.records;
    const auto written = std::find_if(records.rbegin(), records.rend(), [](const LogRecord& r) {
                             return std::any_of(r.begin(), r.end(), [](auto b) { return b != 0; });
                         }).base();
    const std::size_t at = std::size_t(byte) + (sent ? std::size_t{kKeptBytes} : 0);
    return std::any_of(records.begin(), written, [&](const LogRecord& record) {
        return (record[at] & condition.mask) == condition.value;
    });
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
