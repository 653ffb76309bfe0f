// Work on many files at once, on the machine's cores: reading a file is
// mostly waiting on the system, which several threads share.
#pragma once

#include "LogFile.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quillon {

// Runs work(0) .. work(count - 1), each once, on up to eight threads (the
// caller's among them), and returns when all have run. When work throws, no
// further index is started and the first exception is thrown here.
void for_each_index_in_parallel(std::size_t count, const std::function<void(std::size_t)>& work);

// One file of read_log_files: the log, or why it could not be read.
struct LogFileRead {
    std::optional<LogFile> log;
    std::string error;  // with no log: the file and the reason
};

// Reads each path as read_log_file does, in parallel; the answers are in
// the order of paths.
std::vector<LogFileRead> read_log_files(std::span<const std::string> paths);

}  // namespace quillon
