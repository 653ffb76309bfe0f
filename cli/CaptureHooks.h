// wait --on-capture CMD: after each capture of a series, CMD through
// /bin/sh -c with the capture in its environment (QUILLON_FILE,
// QUILLON_INDEX, QUILLON_FIRED_RECORD, QUILLON_STOP_CONDITION). The series
// does not wait for it: one runs at a time and the next waits its turn, its
// standard output goes to standard error (standard output is the series'
// own, read by scripts), and a failure is reported there and ends nothing.
#pragma once

#include <sys/types.h>

#include <deque>
#include <optional>
#include <string>

namespace quillon::cli {

struct CaptureFacts {
    std::string file;
    int index = 0;
    std::optional<int> fired_record;
    std::string stop_condition;  // as the file's line 2 writes it
};

class CaptureHooks {
public:
    // Without a command, nothing is ever run.
    explicit CaptureHooks(std::optional<std::string> command);
    CaptureHooks(const CaptureHooks&) = delete;
    CaptureHooks& operator=(const CaptureHooks&) = delete;

    // CMD for this capture: at once, or after those before it.
    void add(CaptureFacts capture);
    // Notes a command that has ended (and how, when it failed) and starts
    // the next; never waits.
    void poll();
    // Waits until every command has run, or the program is interrupted.
    void finish();

private:
    void start_next();
    void report_end(int wait_status) const;

    std::optional<std::string> command_;
    std::deque<CaptureFacts> waiting_;
    std::optional<CaptureFacts> running_;
    pid_t pid_ = -1;
};

}  // namespace quillon::cli
