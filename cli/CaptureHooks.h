// wait --on-capture CMD: after each capture of a series, CMD through
// /bin/sh -c with the capture in its environment (QUILLON_FILE,
// QUILLON_INDEX, QUILLON_FIRED_RECORD, QUILLON_STOP_CONDITION). The series
// does not wait for it: one runs at a time and the next waits its turn, its
// standard output goes to standard error (standard output is the series'
// own, read by scripts), and a failure is reported there and ends nothing.
//
// Each command runs in a process group of its own, so that one past its
// time, or running when the program is interrupted, is ended whole: the
// group is sent SIGTERM, then SIGKILL 5 s later. No command outlives the
// series.
#pragma once

#include <sys/types.h>

#include <chrono>
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

// The command under way, and its ending once it has begun.
struct RunningHook {
    CaptureFacts capture;
    pid_t group = -1;  // its process, the leader of its group
    std::chrono::steady_clock::time_point limit;
    std::optional<std::chrono::steady_clock::time_point> terminated;  // when SIGTERM went
    bool killed = false;
};

class CaptureHooks {
public:
    using Clock = std::chrono::steady_clock;

    // Without a command, nothing is ever run. time_limit bounds each
    // command while the series runs; without it a command runs as long as
    // it takes until the series ends.
    CaptureHooks(std::optional<std::string> command,
                 std::optional<std::chrono::seconds> time_limit);
    // A command still running is ended (its group killed).
    ~CaptureHooks();
    CaptureHooks(const CaptureHooks&) = delete;
    CaptureHooks& operator=(const CaptureHooks&) = delete;

    // CMD for this capture: at once, or after those before it.
    void add(CaptureFacts capture);
    // Notes a command that has ended (and how, when it failed), ends one
    // past its time or the program's interruption, and starts the next;
    // never waits.
    void poll();
    // At the end of the series: runs the commands still due, each for at
    // most the time limit (60 s without one) and none past last; those
    // that cannot run (interrupted, or last reached) are named.
    void finish(Clock::time_point last);

private:
    void start_next();
    // Sends the command's group SIGTERM; why follows its file on standard
    // error.
    void end_running(const std::string& why);
    // Whether the command's process has ended, reaped and reported.
    bool reaped_running();
    // When a command started at start is ended.
    Clock::time_point limit_from(Clock::time_point start) const;
    // No command is started any more.
    bool stopping() const;

    std::optional<std::string> command_;
    std::optional<std::chrono::seconds> time_limit_;
    std::deque<CaptureFacts> waiting_;
    std::optional<RunningHook> running_;
    // Set by finish(): the bound of each command from then on, and the end
    // that none passes.
    std::optional<std::chrono::seconds> finishing_limit_;
    Clock::time_point last_ = Clock::time_point::max();
};

}  // namespace quillon::cli
