#include "CaptureSeries.h"

#include "AtomicFile.h"
#include "LogText.h"
#include "LogTimeline.h"

#include <utility>

namespace quillon {

namespace {

SeriesEnd ending(SeriesEndCause cause)
{
    SeriesEnd end;
    end.cause = cause;
    return end;
}

SeriesEnd failing(AmplifierFailure failure, SeriesExchange exchange)
{
    SeriesEnd end = ending(SeriesEndCause::Failed);
    end.failure = failure;
    end.exchange = exchange;
    return end;
}

}  // namespace

bool is_capture(std::string_view log_text, bool fired_before_stop)
{
    return fired_before_stop || fired_record_of_text(log_text).has_value();
}

CaptureSeries::CaptureSeries(CaptureSeriesRules rules, CaptureSeriesSeams seams, SeriesBegin begin)
    : rules_(std::move(rules)), seams_(std::move(seams)),
      state_(begin == SeriesBegin::AsFound ? State::Begin
             : begin == SeriesBegin::Armed ? State::Watch
                                           : State::Lost),
      deadline_(rules_.timeout ? seams_.now() + *rules_.timeout
                               : std::chrono::steady_clock::time_point::max())
{
    if (!seams_.progress) {
        seams_.progress = [](int) {};
    }
}

SeriesStep CaptureSeries::Advance()
{
    if (state_ == State::Ended) {
        return {ending(SeriesEndCause::Completed)};
    }
    for (;;) {
        Next next{State::Ended};
        switch (state_) {
        case State::Begin: next = Begin(); break;
        case State::Watch: next = Watch(); break;
        case State::Resume: next = Resume(); break;
        case State::Rearm: next = Rearm(); break;
        case State::Arm: next = Arm(); break;
        case State::Lost:
        case State::Reconnect: next = Reconnect(); break;
        case State::Ended: break;
        }
        state_ = next.state;
        if (next.end || next.wait.count() > 0) {
            return {std::move(next.end), next.wait};
        }
    }
}

void CaptureSeries::Tell(SeriesNews news) const
{
    if (seams_.tell) {
        seams_.tell(news);
    }
}

bool CaptureSeries::TimedOut() const
{
    return seams_.now() >= deadline_;
}

// The end with failure, unless the way in was lost and is to be tried again.
CaptureSeries::Next CaptureSeries::Failed(AmplifierFailure failure, SeriesExchange exchange)
{
    if (failure != AmplifierFailure::CantTalk || !rules_.reconnect) {
        return {State::Ended, failing(failure, exchange)};
    }
    Tell(SeriesNews::CantTalk);
    return {State::Lost};
}

// The log as the series finds it: stopped (read, if a trigger ended it),
// or running, when it is stopped and read in case no condition can end it.
// Under a condition whose trigger has not fired it is started again; one
// whose trigger has fired is saved; one without a condition is started
// under the series' own.
CaptureSeries::Next CaptureSeries::Begin()
{
    const TriggerPoll poll = poll_trigger(seams_.send);
    switch (poll.state) {
    case TriggerState::Fired: return Fired();
    case TriggerState::Cancelled:
        return {State::Ended, failing(AmplifierFailure::Cancelled, SeriesExchange::Poll)};
    case TriggerState::Failed: return Failed(poll.failure, SeriesExchange::Poll);
    case TriggerState::Logging: break;
    }
    const LogTextRead read = read_log_text(seams_.send, date_time_line(seams_.wall_now()),
                                           seams_.wide_mode, seams_.progress);
    if (read.failure) {
        return Failed(*read.failure, SeriesExchange::Read);
    }
    if (read.condition->trigger_index == kNoStopCondition) {
        if (rules_.start_without_condition) {
            return {State::Arm};
        }
        return {State::Ended, ending(SeriesEndCause::RunningWithoutCondition)};
    }
    condition_ = read.condition;
    if (read.fired_before_stop) {
        Tell(SeriesNews::FiredBeforeBegin);
        return Save(read, rules_.reconnect);
    }
    return {State::Rearm};
}

// Polls the log status until logging has ended by itself. The time-out
// counts only after a poll, so that a trigger that has fired is seen even
// with a time-out of 0.
CaptureSeries::Next CaptureSeries::Watch()
{
    const TriggerPoll poll = poll_trigger(seams_.send);
    switch (poll.state) {
    case TriggerState::Fired: return Fired();
    case TriggerState::Failed: return Failed(poll.failure, SeriesExchange::Poll);
    case TriggerState::Cancelled:
        if (rules_.cancel_ends) {
            return {State::Ended, failing(AmplifierFailure::Cancelled, SeriesExchange::Poll)};
        }
        Tell(SeriesNews::Cancelled);
        break;
    case TriggerState::Logging: Tell(SeriesNews::Logging); break;
    }
    if (TimedOut()) {
        return {State::Ended, ending(SeriesEndCause::TimedOut)};
    }
    return {State::Watch, std::nullopt, std::chrono::seconds(1)};
}

// The log has stopped by itself: read and saved, unless nothing is to be.
CaptureSeries::Next CaptureSeries::Fired()
{
    if (!rules_.save) {
        return {State::Ended, ending(SeriesEndCause::TriggerFired)};
    }
    return Read(false);
}

// The stopped log read; after_loss: it stopped while the way in was lost.
CaptureSeries::Next CaptureSeries::Read(bool after_loss)
{
    Tell(SeriesNews::Reading);
    const LogTextRead read =
        read_log_text(seams_.send, date_time_line(seams_.wall_now()), seams_.wide_mode,
                      seams_.progress, rules_.only_triggered);
    if (read.failure) {
        return Failed(*read.failure, SeriesExchange::Read);
    }
    if (read.condition->trigger_index != kNoStopCondition) {
        condition_ = read.condition;
    }
    if (read.lines.empty()) {
        // No log (an amplifier restarted has none), or one without a
        // condition: started under the series' condition.
        if (condition_) {
            Tell(SeriesNews::NoLogStartedAgain);
            return {State::Rearm};
        }
        if (rules_.start_without_condition) {
            return {State::Arm};
        }
        return {State::Ended, ending(SeriesEndCause::NoStopCondition)};
    }
    // A series that outlives lost ways in does not end at a log that was
    // stopped before its trigger fired: it starts it again.
    return Save(read, after_loss || rules_.reconnect);
}

// rearm_stopped: a log stopped before its trigger fired is started again,
// not saved.
CaptureSeries::Next CaptureSeries::Save(const LogTextRead& read, bool rearm_stopped)
{
    const std::string text = crlf_text(read.lines);
    const bool capture = is_capture(text, read.fired_before_stop);
    if (!capture && rearm_stopped) {
        Tell(SeriesNews::StoppedBeforeTrigger);
        return {State::Rearm};
    }
    // The name takes the time after the read; the text's first line took
    // it before.
    const QDateTime now = seams_.wall_now();
    const AutoSaveOutcome saved = seams_.save(now, text);
    if (!saved.path) {
        SeriesEnd end = ending(SeriesEndCause::NotSaved);
        end.why = saved.failure;
        return {State::Ended, end};
    }
    if (!capture) {
        // Saved, as nothing the amplifier logged may be lost, but no
        // capture: STOP, another program or a log read ended it.
        SeriesEnd end = ending(SeriesEndCause::NotACapture);
        end.file = *saved.path;
        return {State::Ended, end};
    }
    rearm_due_ = true;
    if (!Kept(text)) {
        ++left_out_;
        ++left_out_since_kept_;
        if (seams_.leave_out) {
            seams_.leave_out({*saved.path, left_out_, captures_});
        }
        return {State::Rearm};
    }
    ++captures_;
    if (seams_.saved) {
        seams_.saved({*saved.path, now, captures_, fired_record_of_text(text), *read.condition,
                      std::exchange(left_out_since_kept_, 0)});
    }
    if (!rules_.rearm || (rules_.count && captures_ >= *rules_.count)) {
        return {State::Ended, ending(SeriesEndCause::Completed)};
    }
    return {State::Rearm};
}

// Whether a capture's text meets the series' keep condition (any does
// without one).
bool CaptureSeries::Kept(const std::string& text) const
{
    if (!rules_.keep_if) {
        return true;
    }
    try {
        const LogFile log = parse_log_file(text, "capture");
        const LogTimeline timeline = log_timeline(log);
        return timeline.fired && holds(rules_.keep_if->condition, log, timeline, *timeline.fired,
                                       rules_.keep_if->fields);
    } catch (const LogReadError&) {
        // A text of our own that does not read back: kept, as no capture
        // is put aside that nobody could test.
        return true;
    }
}

CaptureSeries::Next CaptureSeries::Rearm()
{
    if (!condition_ || !rearm(seams_.send, *condition_)) {
        return Failed(AmplifierFailure::CantTalk, SeriesExchange::Start);
    }
    if (std::exchange(rearm_due_, false)) {
        Tell(SeriesNews::Rearmed);
    }
    // Polled again after a second, as while it runs.
    return {State::Watch, std::nullopt, std::chrono::seconds(1)};
}

// A log without a condition started under the series' own.
CaptureSeries::Next CaptureSeries::Arm()
{
    if (!send_log_control(seams_.send, *rules_.start_without_condition)) {
        return Failed(AmplifierFailure::CantTalk, SeriesExchange::Start);
    }
    Tell(SeriesNews::StartedWithoutCondition);
    return {State::Watch};
}

// After the way in came back: a saved capture still to start again is
// started again, never read again.
CaptureSeries::Next CaptureSeries::Resume()
{
    const TriggerPoll poll = poll_trigger(seams_.send);
    switch (poll.state) {
    case TriggerState::Logging: return {State::Watch};
    case TriggerState::Cancelled:
        return {State::Ended, failing(AmplifierFailure::Cancelled, SeriesExchange::Poll)};
    case TriggerState::Failed: return Failed(poll.failure, SeriesExchange::Poll);
    case TriggerState::Fired: break;
    }
    return rearm_due_ ? Next{State::Rearm} : Read(true);
}

// The way in tried again every kReconnectInterval, the time-out looked at
// before each try.
CaptureSeries::Next CaptureSeries::Reconnect()
{
    if (state_ == State::Lost) {
        Tell(SeriesNews::WayInLost);
        return {State::Reconnect, std::nullopt, kReconnectInterval};
    }
    if (TimedOut()) {
        return {State::Ended, ending(SeriesEndCause::TimedOut)};
    }
    if (seams_.reopen && seams_.reopen() &&
        poll_trigger(seams_.send).state != TriggerState::Failed) {
        Tell(SeriesNews::AnswersAgain);
        return {State::Resume};
    }
    return {State::Reconnect, std::nullopt, kReconnectInterval};
}

}  // namespace quillon
