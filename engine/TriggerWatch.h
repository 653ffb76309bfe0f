// The exchanges of a watch for the trigger while a stop condition is armed,
// and the automatic save of the log it ended: the steps of the capture
// series (CaptureSeries.h) that the window and quillon-cli's wait drive.
#pragma once

#include "AmplifierQueries.h"

#include <QDateTime>
#include <QString>

#include <optional>
#include <string>
#include <string_view>

namespace quillon {

enum class TriggerState {
    Logging,    // still logging: the trigger has not fired
    Cancelled,  // a waveform or FFT function cancelled the log
    Fired,      // the log has stopped by itself
    Failed,     // the status could not be read (the failure says why)
};

struct TriggerPoll {
    TriggerState state = TriggerState::Failed;
    AmplifierFailure failure = AmplifierFailure::CantTalk;  // when Failed
};

// One look at the log status.
TriggerPoll poll_trigger(const AmplifierSend& send);

// Whether the trigger had fired in a log that was stopped while it ran (the
// amplifier names the stop condition in effect only in its answer to the
// block that stops the log). The first record that meets the condition
// fires it, so a written record that meets it says it has; the records at
// the end that are all zero were never written and do not count. False too
// when the condition tests a byte beyond the 16 a record keeps of each
// direction, as nothing then tells.
bool trigger_fired_before_stop(const LogCapture& capture, bool wide_mode);

// Starts the log anew under condition, the one a log read's control reply
// named: the log control block that START sends for it (start flag set).
// False when there is no condition to re-arm or the exchange failed.
bool rearm(const AmplifierSend& send, const StopCondition& condition);

// The outcome of an automatic save: the file written, or why none was.
struct AutoSaveOutcome {
    std::optional<QString> path;
    std::string failure;  // "Cannot write the file ...: ...."
};

// Writes text as a new Autolog_ file named for when in folder (nothing: the
// automatic save folder could not be made), never over another file.
AutoSaveOutcome save_log_automatically(const std::optional<QString>& folder, const QDateTime& when,
                                       std::string_view text);

}  // namespace quillon
