#include "AmplifierReads.h"

#include "LogText.h"
#include "TriggerWatch.h"

namespace quillon {

StatusCheck check_status(const AmplifierSend& send, bool wide_mode)
{
    StatusCheck check;
    if (!test_connection(send)) {
        check.failure = StatusFailure{StatusStep::Connection, AmplifierFailure::CantTalk};
        return check;
    }
    const auto status = read_log_status(send);
    if (!status) {
        check.failure = StatusFailure{StatusStep::LogStatus, status.failure};
        return check;
    }
    check.log_status = *status;
    auto data = read_com_data(send, wide_mode);
    if (!data) {
        check.failure = StatusFailure{StatusStep::ComData, data.failure};
        return check;
    }
    check.com_data = std::move(data.value);
    return check;
}

LogTextRead read_log_text(const AmplifierSend& send, const std::string& date_time, bool wide_mode,
                          const std::function<void(int exchanges)>& progress, bool only_triggered)
{
    const LogCapture capture =
        only_triggered ? capture_triggered_log(send, progress) : capture_log(send, progress);
    LogTextRead read;
    read.condition = capture.condition;
    read.failure = capture.failure();
    if (only_triggered && !read.failure && capture.condition->trigger_index == kNoStopCondition) {
        return read;
    }
    read.lines = log_text_lines(date_time, capture, send_offset(wide_mode));
    read.fired_before_stop = !read.failure && trigger_fired_before_stop(capture, wide_mode);
    return read;
}

}  // namespace quillon
