// Where a log's records stand: which the amplifier wrote and which record
// fired its trigger. START clears the log and it is read oldest first, so
// records of 32 zero bytes at its end were never written (a real record of
// 32 zeros at the very end reads as one: accepted). The amplifier stops
// count records after the record that met its stop condition, so that
// record is the written one numbered (last written - count), when it meets
// the condition; a log without one was stopped before its trigger fired.
// Every view of a log, diff and the capture series use this one answer.
#pragma once

#include "LogAnalysis.h"
#include "LogFile.h"

#include <optional>
#include <span>
#include <string>

namespace quillon {

struct LogTimeline {
    int written = 0;           // records 0 to written - 1 were written
    std::optional<int> fired;  // the record that fired the trigger

    bool is_written(int record) const { return record < written; }
    // The record's offset from the fired record (-3, 0, +5); nothing for a
    // record never written, or in a log without a fired record.
    std::optional<int> offset(int record) const;
    // The written record at an offset from the fired record; nothing for
    // one before the log's first or never written, or without a fired
    // record.
    std::optional<int> record_at(int offset) const;
};

// The number of records up to the last with a byte that is not zero.
int written_records(std::span<const LogRecord> records);

// A log view file records no stop condition, so it has no fired record. A
// condition on a byte beyond the 16 a direction keeps cannot be checked:
// the record at the fired record's place is taken as it.
LogTimeline log_timeline(const LogFile& log);

// The record that fired the trigger of the log text just read from the
// amplifier (a log text file's lines); nothing when it has none: the log
// was stopped before its trigger fired, and is no capture.
std::optional<int> fired_record_of_text(std::string_view text);

// "T0", "T-3", "T+5"; "" for nothing.
std::string offset_text(std::optional<int> offset);

// The line under a log, for each front-end to word: where its trigger
// fired ("fired at record 127, count 128"), what its stop condition finds
// ("1 record meets the stop condition Send[3] & 0xFF = 0x00") or why it
// finds nothing, and how many records were never written.
struct TimelineSummary {
    // Told only of a log with a condition to fire (Checked or
    // BeyondLoggedBytes): that it fired, at which record and after which
    // count, or that it did not.
    enum class Trigger { NotTold, Fired, NotFired };
    Trigger trigger = Trigger::NotTold;
    int fired = 0;  // with Fired
    int count = 0;
    StopConditionMatch::Answer stop_condition = StopConditionMatch::Answer::NotRecorded;
    std::string condition;    // with Checked and BeyondLoggedBytes: "Send[3] & 0xFF = 0x00"
    int records_meeting = 0;  // with Checked
    int never_written = 0;
};
TimelineSummary timeline_summary(const LogFile& log, const StopConditionMatch& match,
                                 const LogTimeline& timeline);

}  // namespace quillon
