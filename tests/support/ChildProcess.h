// A program of ours run as a separate process, with its standard input and
// output on pipes: for tests that start ampsim (or quillon) as a user would.
#pragma once

#include "UniqueFd.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

class ChildProcess {
public:
    // Where the child's standard error goes.
    enum class Errors { ToOutput, Inherited };

    // Starts program (a path) with args; the environment is this process's.
    // Throws std::system_error when it cannot.
    ChildProcess(const std::string& program, const std::vector<std::string>& args,
                 Errors errors = Errors::ToOutput);
    ~ChildProcess();  // kills the child if it still runs
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // The next line of its output, or nothing when none came within wait
    // (or the output ended).
    std::optional<std::string> read_line(std::chrono::milliseconds wait);
    // Reads lines until one contains text; nothing when none did within wait.
    std::optional<std::string> wait_for_line(const std::string& text,
                                             std::chrono::milliseconds wait);
    void write_line(const std::string& line);

    void signal(int number);
    // Waits for the child to end; its exit status, or -(signal) when a signal
    // ended it, or nothing when it still runs after wait.
    std::optional<int> wait_for_exit(std::chrono::milliseconds wait);
    // Waits for the child to end but leaves it unreaped (a zombie), as a
    // parent that has not called wait yet does; whether it ended within wait.
    // wait_for_exit reaps it later.
    bool wait_for_end_unreaped(std::chrono::milliseconds wait);

private:
    // Returns once the child has ended or wait has passed.
    void await_end(std::chrono::milliseconds wait) const;

    int pid_ = -1;
    common::UniqueFd input_;
    common::UniqueFd output_;
    std::string pending_;
    std::optional<int> status_;
};

}  // namespace testsupport
