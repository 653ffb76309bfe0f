// Log files read back: the log text of "SAVE LOG" and the automatic save
// (259 lines) and the file of the log view window (258 lines), as one value.
#pragma once

#include "AmplifierProtocol.h"

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quillon {

inline constexpr int kLogRecords = kLogBlocks * kRecordsPerBlock;
// What a direction of a record holds: 16 bytes, in either log mode.
inline constexpr int kDirectionBytes = 16;

enum class LogFormat { LogText, LogView };
// "log text", "log view".
const char* log_format_name(LogFormat format);

enum class Direction { Recv, Send };
// "recv", "send".
const char* direction_key(Direction direction);
// The direction of "recv" or "send", as typed; nothing for any other word.
std::optional<Direction> direction_of_key(std::string_view key);

// A stop condition as a log text file writes it: the byte numbered within
// its direction (16 or more in 32 byte mode, or for an index beyond both).
struct FileStopCondition {
    Direction direction = Direction::Recv;
    int byte = 0;
    std::uint8_t mask = 0;
    std::uint8_t value = 0;
    int count = 0;

    bool operator==(const FileStopCondition&) const = default;
};

// The stop condition a log control reply named, as a log text file writes
// it; nothing for kNoStopCondition. send_offset: where the sent bytes start
// in the trigger byte index (16 or 32).
std::optional<FileStopCondition> file_stop_condition(const StopCondition& condition,
                                                     int send_offset);

struct LogFile {
    LogFormat format = LogFormat::LogText;
    std::string date_time;  // line 1 after "#Date and Time  : ", as written
    // Empty for None, and in a log view file, which records none.
    std::optional<FileStopCondition> stop_condition;
    std::array<LogRecord, kLogRecords> records{};

    // A log text file records its stop condition (None included); a log
    // view file records none.
    bool stop_condition_recorded() const { return format == LogFormat::LogText; }
};

// A file that is no log file: the file, the line (0 when the reason is the
// file's as a whole) and what is wrong, together in what().
class LogReadError : public std::runtime_error {
public:
    LogReadError(const std::string& file, int line, const std::string& reason);

    int line() const { return line_; }
    const std::string& reason() const { return reason_; }

private:
    int line_;
    std::string reason_;
};

// The largest log file read: a log is 27 KiB.
inline constexpr std::size_t kLargestLogFile = 1 << 20;

// Reads a log file of either format: CR LF or LF line ends, a leading UTF-8
// byte-order mark skipped. Throws LogReadError for anything else, an empty
// file included, and for a file that is not a regular one or is larger than
// kLargestLogFile (looked at first, opened without blocking). Of a refused
// file the first other line end (CR alone, CR CR LF) is named when it comes
// no later than what the lines made of it.
LogFile read_log_file(const std::string& path);

// The same, a file that is no log shown as an error (FILE:LINE: reason)
// through the program's messages: nothing then.
std::optional<LogFile> read_log_file_or_show_why(const std::string& path);

// The same for bytes already read; name stands for the file in a reason.
LogFile parse_log_file(std::string_view bytes, const std::string& name);

// The bytes of a regular file of at most largest bytes (1 MiB here), opened
// without blocking; throws LogReadError naming what the file was meant to be
// (kind: "a log", "a fields file") when it is larger.
std::string read_small_text(const std::string& path, std::size_t largest, const char* kind);

}  // namespace quillon
