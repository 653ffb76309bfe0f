// A series of captures: the log watched until its trigger fires, read,
// saved when it is a capture, and started again under the same condition.
// One state machine for quillon-cli's wait and the main window's re-arm:
// it makes the exchanges and every decision; a front-end drives it (wait
// with its sleeps, the window with its timer), writes the files where it
// keeps them and words what the series tells it.
#pragma once

#include "AmplifierProtocol.h"
#include "AmplifierQueries.h"
#include "AmplifierReads.h"
#include "Conditions.h"
#include "Fields.h"
#include "TriggerWatch.h"

#include <QDateTime>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// Whether a log read is a capture: its trigger fired, so the log stopped by
// itself (its text has a fired record) or was stopped while it ran after
// the trigger had fired.
bool is_capture(std::string_view log_text, bool fired_before_stop);

// How often a lost way in is tried again.
inline constexpr std::chrono::seconds kReconnectInterval{5};

// A condition that a capture must meet at its fired record to be kept,
// and the fields it was read on.
struct KeepCondition {
    Condition condition;
    std::vector<FieldSpec> fields;
};

struct CaptureSeriesRules {
    // Start the log again after each capture; without, the series ends at
    // its first.
    bool rearm = false;
    // With rearm: the series ends at this many captures.
    std::optional<int> count;
    // A lost way in is tried again every kReconnectInterval and the series
    // goes on from the log status the amplifier then gives; a log stopped
    // before its trigger fired is then started again, not saved.
    bool reconnect = false;
    // A log cancelled by a waveform or FFT function ends the series; without,
    // it is watched on (it may be started again).
    bool cancel_ends = true;
    // A fired trigger is read and saved; without, the series ends there.
    bool save = true;
    // Only a log that a stop condition ended is read once it has stopped;
    // without, any stopped log is read and saved (and is no capture).
    bool only_triggered = true;
    // No trigger within it ends the series.
    std::optional<std::chrono::seconds> timeout;
    // The block that starts a log found without a stop condition.
    std::optional<ParameterBlock> start_without_condition;
    // A capture saved that does not meet it is left out (seams.leave_out):
    // not counted, and the log is started again at once, rearm or not.
    std::optional<KeepCondition> keep_if;
};

// Where a series begins: on the log as it finds it (running, stopped or
// without a way in yet), or on a log just started under a stop condition.
enum class SeriesBegin { AsFound, Armed, WayInLost };

// What the series says while it runs.
enum class SeriesNews {
    Logging,                  // a poll found the log still running
    Reading,                  // the trigger fired: the log is read
    Cancelled,                // a poll found it cancelled, and it is watched on
    StartedWithoutCondition,  // a log without condition started under the series' own
    NoLogStartedAgain,        // the amplifier had no log (restarted): started again
    StoppedBeforeTrigger,     // a log stopped before its trigger fired: started again
    FiredBeforeBegin,         // a running log's trigger had fired: saved early
    CantTalk,                 // an exchange failed, and the way in is tried again
    WayInLost,                // tried again every kReconnectInterval
    AnswersAgain,
    Rearmed,  // the log started again after a capture
};

// A capture saved.
struct SavedCapture {
    QString path;
    QDateTime saved;
    int index = 0;  // 1 for the series' first
    std::optional<int> fired_record;
    StopCondition condition;
    int left_out_before = 0;  // captures left out since the one kept before
};

// A capture saved that keep_if left out.
struct LeftOutCapture {
    QString path;      // as saved
    int left_out = 0;  // of the series, this one included
    int kept = 0;      // captures kept so far
};

// Why a series ended.
enum class SeriesEndCause {
    Completed,                // its last capture saved
    TriggerFired,             // the trigger fired, and nothing was to be saved
    NotACapture,              // a log stopped before its trigger fired, saved (file)
    NoStopCondition,          // a stopped log with no condition, and none to start it under
    RunningWithoutCondition,  // a log running without condition, stopped now
    Failed,                   // an exchange failed (failure, exchange)
    NotSaved,                 // the log could not be written (why)
    TimedOut,
};

// The exchange a failure ended the series in.
enum class SeriesExchange { Poll, Read, Start };

struct SeriesEnd {
    SeriesEndCause cause = SeriesEndCause::Completed;
    AmplifierFailure failure = AmplifierFailure::CantTalk;  // with Failed
    SeriesExchange exchange = SeriesExchange::Poll;         // with Failed
    QString file;                                           // with NotACapture: the log saved
    std::string why;  // with NotSaved: the save's reason, empty when it was told
};

// After one Advance: the series has ended, or wants to be advanced again
// after wait.
struct SeriesStep {
    std::optional<SeriesEnd> end;
    std::chrono::seconds wait{0};
};

// What the series needs of its front-end. The exchanges go through send;
// the clock is a seam, so that time-outs are tested without waiting.
struct CaptureSeriesSeams {
    AmplifierSend send;
    bool wide_mode = false;
    // Each exchange of a log read done, for a progress display.
    std::function<void(int exchanges)> progress;
    // Writes a capture's text as a new automatic save named for when: the
    // file, or why none was written (why empty when the front-end has told
    // it already).
    std::function<AutoSaveOutcome(const QDateTime& when, const std::string& text)> save;
    // Opens the way in again; false when it does not.
    std::function<bool()> reopen;
    std::function<void(SeriesNews)> tell;
    std::function<void(const SavedCapture&)> saved;
    // Moves a capture left out aside, and says so.
    std::function<void(const LeftOutCapture&)> leave_out;
    std::function<std::chrono::steady_clock::time_point()> now = std::chrono::steady_clock::now;
    std::function<QDateTime()> wall_now = QDateTime::currentDateTime;
};

class CaptureSeries {
public:
    CaptureSeries(CaptureSeriesRules rules, CaptureSeriesSeams seams, SeriesBegin begin);

    // Runs the series until it must wait or has ended.
    SeriesStep Advance();

    // Whether the series is to start the log again after its next capture:
    // the window's check box may change it while the series runs.
    void SetRearm(bool rearm) { rules_.rearm = rearm; }
    bool Rearming() const { return rules_.rearm; }

private:
    enum class State { Begin, Watch, Resume, Rearm, Arm, Lost, Reconnect, Ended };
    struct Next {
        State state;
        std::optional<SeriesEnd> end{};
        std::chrono::seconds wait{0};
    };

    Next Begin();
    Next Watch();
    Next Resume();
    Next Fired();
    Next Read(bool after_loss);
    Next Save(const LogTextRead& read, bool rearm_stopped);
    Next Rearm();
    Next Arm();
    Next Reconnect();
    Next Failed(AmplifierFailure failure, SeriesExchange exchange);
    bool TimedOut() const;
    void Tell(SeriesNews news) const;

    CaptureSeriesRules rules_;
    CaptureSeriesSeams seams_;
    State state_;
    std::chrono::steady_clock::time_point deadline_;
    std::optional<StopCondition> condition_;
    bool Kept(const std::string& text) const;

    bool rearm_due_ = false;
    int captures_ = 0;
    int left_out_ = 0;
    int left_out_since_kept_ = 0;
};

}  // namespace quillon
