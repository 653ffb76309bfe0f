#include "LogFile.h"

#include "SmallFile.h"

#include <cstring>

namespace quillon {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kDateTimePrefix = "#Date and Time  : ";
constexpr std::string_view kStopConditionPrefix = "#Stop Condition : ";

// One record line of each format, with the place of each byte's two digits.
struct RecordLayout {
    std::string_view recv_prefix;  // before the first received byte
    std::string_view send_prefix;  // between the received and the sent bytes
    bool comma_first;              // ",XX" (log text) or "XX," (log view)
};
constexpr RecordLayout kLogTextRecord{"Recv", ", Send", true};
constexpr RecordLayout kLogViewRecord{"Recv : ", " Send : ", false};

constexpr std::size_t record_line_length(const RecordLayout& layout)
{
    return layout.recv_prefix.size() + layout.send_prefix.size() + 2 * 3 * kDirectionBytes;
}

int hex_digit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// Two hexadecimal digits at text[at]; nothing when they are not.
std::optional<std::uint8_t> hex_pair(std::string_view text, std::size_t at)
{
    if (at + 2 > text.size()) {
        return std::nullopt;
    }
    const int high = hex_digit(text[at]);
    const int low = hex_digit(text[at + 1]);
    if (high < 0 || low < 0) {
        return std::nullopt;
    }
    return static_cast<std::uint8_t>(high << 4 | low);
}

// Sixteen bytes at text[at], each "XX" with a comma before or after.
bool read_direction(std::string_view text, std::size_t at, bool comma_first,
                    std::span<std::uint8_t, kDirectionBytes> bytes)
{
    for (std::size_t i = 0; i < kDirectionBytes; ++i, at += 3) {
        const std::size_t digits = comma_first ? at + 1 : at;
        const std::size_t comma = comma_first ? at : at + 2;
        const auto byte = hex_pair(text, digits);
        if (!byte || text[comma] != ',') {
            return false;
        }
        bytes[i] = *byte;
    }
    return true;
}

bool read_record(std::string_view line, const RecordLayout& layout, LogRecord& record)
{
    if (line.size() != record_line_length(layout) || !line.starts_with(layout.recv_prefix)) {
        return false;
    }
    const std::size_t recv_at = layout.recv_prefix.size();
    const std::size_t send_at = recv_at + 3 * kDirectionBytes + layout.send_prefix.size();
    const auto bytes = std::span(record);
    return read_direction(line, recv_at, layout.comma_first, bytes.first<kDirectionBytes>()) &&
           line.substr(recv_at + 3 * kDirectionBytes, layout.send_prefix.size()) ==
               layout.send_prefix &&
           read_direction(line, send_at, layout.comma_first, bytes.last<kDirectionBytes>());
}

// A decimal number of one to three digits, at most 255, at text[at].
std::optional<int> small_decimal(std::string_view text, std::size_t& at)
{
    int number = 0;
    std::size_t digits = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 3) {
        number = number * 10 + (text[at++] - '0');
        ++digits;
    }
    if (digits == 0 || number > 255) {
        return std::nullopt;
    }
    return number;
}

bool take(std::string_view text, std::size_t& at, std::string_view expected)
{
    if (text.substr(at, expected.size()) != expected) {
        return false;
    }
    at += expected.size();
    return true;
}

// "None", or e.g. "Send[2] & 0x0F = 0x01 ,count 5".
bool read_stop_condition(std::string_view text, std::optional<FileStopCondition>& condition)
{
    if (text == "None") {
        condition.reset();
        return true;
    }
    FileStopCondition read;
    std::size_t at = 0;
    if (take(text, at, "Send[")) {
        read.direction = Direction::Send;
    } else if (!take(text, at, "Recv[")) {
        return false;
    }
    const auto byte = small_decimal(text, at);
    if (!byte || !take(text, at, "] & 0x")) {
        return false;
    }
    const auto mask = hex_pair(text, at);
    at += 2;
    if (!mask || !take(text, at, " = 0x")) {
        return false;
    }
    const auto value = hex_pair(text, at);
    at += 2;
    if (!value || !take(text, at, " ,count ")) {
        return false;
    }
    const auto count = small_decimal(text, at);
    if (!count || at != text.size()) {
        return false;
    }
    read.byte = *byte;
    read.mask = *mask;
    read.value = *value;
    read.count = *count;
    condition = read;
    return true;
}

// The lines of a text, each without its LF or CR LF; a last line without a
// line end counts.
class Lines {
public:
    explicit Lines(std::string_view text) : rest_(text) {}

    std::optional<std::string_view> next()
    {
        if (rest_.empty()) {
            return std::nullopt;
        }
        ++number_;
        const std::size_t end = rest_.find('\n');
        std::string_view line = rest_.substr(0, end);
        rest_.remove_prefix(end == std::string_view::npos ? rest_.size() : end + 1);
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        return line;
    }

    int number() const { return number_; }

private:
    std::string_view rest_;
    int number_ = 0;
};

std::string system_reason(int error)
{
    return std::strerror(error);
}

}  // namespace

const char* log_format_name(LogFormat format)
{
    return format == LogFormat::LogText ? "log text" : "log view";
}

const char* direction_key(Direction direction)
{
    return direction == Direction::Recv ? "recv" : "send";
}

LogReadError::LogReadError(const std::string& file, int line, const std::string& reason)
    : std::runtime_error(file + (line > 0 ? ":" + std::to_string(line) : std::string()) + ": " +
                         reason),
      line_(line), reason_(reason)
{
}

LogFile parse_log_file(std::string_view bytes, const std::string& name)
{
    if (bytes.starts_with(kByteOrderMark)) {
        bytes.remove_prefix(kByteOrderMark.size());
    }
    if (bytes.empty()) {
        throw LogReadError(name, 0, "the file is empty, not a log (a cleared log view saves one)");
    }
    Lines lines(bytes);
    LogFile log;
    const auto first = lines.next();
    if (!first || !first->starts_with(kDateTimePrefix)) {
        throw LogReadError(name, 1, "not a log file: no \"#Date and Time  : \" line");
    }
    log.date_time = first->substr(kDateTimePrefix.size());
    const auto second = lines.next().value_or("");
    if (second.starts_with(kStopConditionPrefix)) {
        log.format = LogFormat::LogText;
        if (!read_stop_condition(second.substr(kStopConditionPrefix.size()), log.stop_condition)) {
            throw LogReadError(name, 2,
                               "not a stop condition: None, or for example "
                               "\"Send[2] & 0x0F = 0x01 ,count 5\"");
        }
        if (lines.next().value_or("x") != "") {
            throw LogReadError(name, 3, "the empty line after the stop condition is missing");
        }
    } else if (second.empty()) {
        log.format = LogFormat::LogView;
    } else {
        throw LogReadError(name, 2, "neither a stop condition line nor an empty line");
    }
    const RecordLayout& layout = log.format == LogFormat::LogText ? kLogTextRecord : kLogViewRecord;
    const char* const expected = log.format == LogFormat::LogText
                                     ? "not a record line: \"Recv\" and \", Send\", each with "
                                       "16 bytes \",XX\" of two hexadecimal digits"
                                     : "not a record line: \"Recv : \" and \" Send : \", each "
                                       "with 16 bytes \"XX,\" of two hexadecimal digits";
    for (int i = 0; i < kLogRecords; ++i) {
        const auto line = lines.next();
        if (!line) {
            throw LogReadError(
                name, 0, "the file ends after " + std::to_string(i) + " records; a log has 256");
        }
        if (!read_record(*line, layout, log.records[std::size_t(i)])) {
            throw LogReadError(name, lines.number(), expected);
        }
    }
    // Empty lines after the last record (an editor's) are let be.
    while (const auto line = lines.next()) {
        if (line->empty()) {
            continue;
        }
        LogRecord extra{};
        throw LogReadError(name, lines.number(),
                           read_record(*line, layout, extra)
                               ? "more than 256 records; a log has 256"
                               : "text after the last of the 256 records");
    }
    return log;
}

LogFile read_log_file(const std::string& path)
{
    std::string bytes;
    const SmallFileRead read = read_small_file(path, kLargestLogFile, bytes);
    switch (read.state) {
    case SmallFileState::Read: break;
    case SmallFileState::Missing:
    case SmallFileState::Failed: throw LogReadError(path, 0, system_reason(read.error));
    case SmallFileState::NotRegular: throw LogReadError(path, 0, "not a regular file");
    case SmallFileState::TooLarge: throw LogReadError(path, 0, "larger than 1 MiB, not a log");
    }
    return parse_log_file(bytes, path);
}

}  // namespace quillon
