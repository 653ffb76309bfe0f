// The reads that the window and the command-line tool both run, each as one
// function returning what it read and where it stopped: the front-ends only
// show or print it.
#pragma once

#include "AmplifierQueries.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quillon {

// The exchanges of the status check, in the order they are made.
enum class StatusStep { Connection, LogStatus, ComData };

struct StatusFailure {
    StatusStep step = StatusStep::Connection;
    AmplifierFailure failure = AmplifierFailure::CantTalk;
};

// The status check: the connection test, the log status, the communication
// data. What was read before a failure stays: a failed com data read still
// has the log status.
struct StatusCheck {
    std::optional<LogStatus> log_status;
    std::optional<ComData> com_data;
    std::optional<StatusFailure> failure;
};
StatusCheck check_status(const AmplifierSend& send, bool wide_mode);

// The log read into the lines of its text file.
struct LogTextRead {
    // The date and time line, then what was read (log_text_lines), also
    // after a failure. Empty when only a triggered log was wanted and the
    // log control reply named no stop condition.
    std::vector<std::string> lines;
    std::optional<StopCondition> condition;  // nothing when the log control command failed
    bool fired_before_stop = false;          // see trigger_fired_before_stop
    std::optional<AmplifierFailure> failure;
};
// capture_log (capture_triggered_log with only_triggered), progress as
// theirs; date_time is the first line of the text.
LogTextRead read_log_text(const AmplifierSend& send, const std::string& date_time, bool wide_mode,
                          const std::function<void(int exchanges)>& progress,
                          bool only_triggered = false);

}  // namespace quillon
