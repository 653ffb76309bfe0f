// quillon-cli's standard output. Every command writes through here, so that
// a write that fails (a full disk, /dev/full, a reader that has gone away)
// ends the program with the reason and status 5 instead of a success.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillon::cli {

// Writes text to standard output, and with now also flushes it, for a
// script that reads each line as it comes. After a failed write nothing
// more is written and the result is false.
bool write_output(std::string_view text, bool now = false);

// Why the output failed: the system's reason for the first failure.
struct OutputFailure {
    int error = 0;  // errno
    std::string reason() const;
    bool reader_left() const;  // a pipe whose reader has closed it
};

// The failure of a write so far, if one failed.
std::optional<OutputFailure> output_failure();

// Flushes and closes standard output; the failure, of that or of an earlier
// write, when there was one.
std::optional<OutputFailure> finish_output();

}  // namespace quillon::cli
