#include "LogFile.h"

#include "LogText.h"
#include "Messages.h"
#include "SmallFile.h"
#include "Wording.h"

#include <algorithm>
#include <cstring>

namespace quillon {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kDateTimePrefix = "#Date and Time  : ";
constexpr std::string_view kStopConditionPrefix = "#Stop Condition : ";

// The characters of one direction's bytes: three for each.
constexpr std::size_t kDirectionText = 3 * std::size_t(kDirectionBytes);

constexpr std::size_t record_line_length(const RecordLayout& layout)
{
    return layout.recv_prefix.size() + layout.send_prefix.size() + 2 * kDirectionText;
}

// Each character's value as a hexadecimal digit, or -1.
constexpr std::array<int, 256> kHexDigits = [] {
    std::array<int, 256> digits{};
    digits.fill(-1);
    for (std::size_t c = 0; c < 10; ++c) {
        digits['0' + c] = int(c);
    }
    for (std::size_t c = 0; c < 6; ++c) {
        digits['A' + c] = int(10 + c);
        digits['a' + c] = int(10 + c);
    }
    return digits;
}();

// Two characters' value as hexadecimal digits, or a value beyond 0xFF when
// either is none.
int pair_value(const char* two)
{
    const int high = kHexDigits[static_cast<unsigned char>(two[0])];
    const int low = kHexDigits[static_cast<unsigned char>(two[1])];
    return (high << 4) | (low & 0xFFF);
}

// Whether text holds expected at at; a loop, as the texts are a few
// characters.
bool holds_at(std::string_view text, std::size_t at, std::string_view expected)
{
    if (at + expected.size() > text.size()) {
        return false;
    }
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (text[at + i] != expected[i]) {
            return false;
        }
    }
    return true;
}

// Two hexadecimal digits at text[at], or -1 when they are not (or the text
// ends first).
int hex_pair(std::string_view text, std::size_t at)
{
    if (at + 2 > text.size()) {
        return -1;
    }
    const int value = pair_value(text.data() + at);
    return value > 0xFF || value < 0 ? -1 : value;
}

// Sixteen bytes at text[at], each "XX" with a comma before or after; the
// caller has checked that the text holds them. Any wrong character is
// looked for once, at the end: most lines are right.
template <bool CommaFirst>
bool read_direction(const char* piece, std::span<std::uint8_t, kDirectionBytes> bytes)
{
    constexpr std::size_t kDigits = CommaFirst ? 1 : 0;
    constexpr std::size_t kComma = CommaFirst ? 0 : 2;
    int wrong = 0;
    for (std::size_t i = 0; i < kDirectionBytes; ++i, piece += 3) {
        const int byte = pair_value(piece + kDigits);
        wrong |= (byte & ~0xFF) | (piece[kComma] ^ ',');
        bytes[i] = static_cast<std::uint8_t>(byte);
    }
    return wrong == 0;
}

bool read_record(std::string_view line, const RecordLayout& layout, LogRecord& record)
{
    if (line.size() != record_line_length(layout) || !holds_at(line, 0, layout.recv_prefix)) {
        return false;
    }
    const std::size_t recv_at = layout.recv_prefix.size();
    const std::size_t send_at = recv_at + kDirectionText + layout.send_prefix.size();
    const auto bytes = std::span(record);
    if (!holds_at(line, recv_at + kDirectionText, layout.send_prefix)) {
        return false;
    }
    const char* text = line.data();
    return layout.comma_first
               ? read_direction<true>(text + recv_at, bytes.first<kDirectionBytes>()) &&
                     read_direction<true>(text + send_at, bytes.last<kDirectionBytes>())
               : read_direction<false>(text + recv_at, bytes.first<kDirectionBytes>()) &&
                     read_direction<false>(text + send_at, bytes.last<kDirectionBytes>());
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
    const int mask = hex_pair(text, at);
    at += 2;
    if (mask < 0 || !take(text, at, " = 0x")) {
        return false;
    }
    const int value = hex_pair(text, at);
    at += 2;
    if (value < 0 || !take(text, at, " ,count ")) {
        return false;
    }
    const auto count = small_decimal(text, at);
    if (!count || at != text.size()) {
        return false;
    }
    read.byte = *byte;
    read.mask = static_cast<std::uint8_t>(mask);
    read.value = static_cast<std::uint8_t>(value);
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

    // The next line when it is length characters long, found without a
    // search; else as next() finds it.
    std::optional<std::string_view> next_of_length(std::size_t length)
    {
        const bool lf = rest_.size() > length && length > 0 && rest_[length] == '\n' &&
                        rest_[length - 1] != '\r';
        const bool crlf =
            rest_.size() > length + 1 && rest_[length] == '\r' && rest_[length + 1] == '\n';
        if (!lf && !crlf) {
            return next();
        }
        ++number_;
        const std::string_view line = rest_.substr(0, length);
        rest_.remove_prefix(length + (crlf ? 2 : 1));
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

const char* not_regular_reason(NotRegularKind kind)
{
    switch (kind) {
    case NotRegularKind::Folder: return QUILLON_TEXT("Message", "a folder, not a regular file");
    case NotRegularKind::NamedPipe:
        return QUILLON_TEXT("Message", "a named pipe (FIFO), not a regular file");
    case NotRegularKind::Socket: return QUILLON_TEXT("Message", "a socket, not a regular file");
    case NotRegularKind::Device: return QUILLON_TEXT("Message", "a device, not a regular file");
    case NotRegularKind::Other: break;
    }
    return QUILLON_TEXT("Message", "not a regular file");
}

// The first CR that is not in a CR LF, or npos; a CR that ends the text is
// let be, as the lines are read.
std::size_t first_stray_cr(std::string_view text)
{
    std::size_t cr = text.find('\r');
    while (cr != std::string_view::npos && cr + 1 < text.size() && text[cr + 1] == '\n') {
        cr = text.find('\r', cr + 2);
    }
    return cr != std::string_view::npos && cr + 1 < text.size() ? cr : std::string_view::npos;
}

// "CR CR LF" for the CRs from text[at] on when an LF follows them, else
// "CR only".
std::string line_end_name(std::string_view text, std::size_t at)
{
    const std::size_t after = text.find_first_not_of('\r', at);
    if (after == std::string_view::npos || text[after] != '\n') {
        return "CR only";
    }
    std::string name;
    for (; at < after; ++at) {
        name += "CR ";
    }
    return name + "LF";
}

// A line end other than CR LF or LF: the line it ends (0 when each line
// ends with a CR alone) and what is wrong.
struct LineEndFault {
    int line = 0;
    std::string reason;
};

std::optional<LineEndFault> first_line_end_fault(std::string_view text)
{
    constexpr std::string_view kExpected = " (expected CR LF or LF)";
    const std::size_t cr = first_stray_cr(text);
    if (cr == std::string_view::npos) {
        return std::nullopt;
    }
    if (text.find('\n') == std::string_view::npos) {
        return LineEndFault{0, "line ends are CR only" + std::string(kExpected)};
    }
    const auto lf_before = std::count(text.begin(), text.begin() + std::ptrdiff_t(cr), '\n');
    return LineEndFault{int(lf_before) + 1,
                        "the line ends with " + line_end_name(text, cr) + std::string(kExpected)};
}

LogFile parse_log_lines(std::string_view bytes, const std::string& name)
{
    if (bytes.starts_with(kByteOrderMark)) {
        bytes.remove_prefix(kByteOrderMark.size());
    }
    if (bytes.empty()) {
        throw LogReadError(
            name, 0,
            QUILLON_TEXT("Message", "the file is empty, not a log (a cleared log view saves one)"));
    }
    Lines lines(bytes);
    LogFile log;
    const auto first = lines.next();
    if (!first || !first->starts_with(kDateTimePrefix)) {
        throw LogReadError(
            name, 1, QUILLON_TEXT("Message", "not a log file: no \"#Date and Time  : \" line"));
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
            throw LogReadError(
                name, 3,
                QUILLON_TEXT("Message", "the empty line after the stop condition is missing"));
        }
    } else if (second.empty()) {
        log.format = LogFormat::LogView;
    } else {
        throw LogReadError(
            name, 2, QUILLON_TEXT("Message", "neither a stop condition line nor an empty line"));
    }
    const RecordLayout& layout = log.format == LogFormat::LogText ? kLogTextRecord : kLogViewRecord;
    const char* const expected = log.format == LogFormat::LogText
                                     ? "not a record line: \"Recv\" and \", Send\", each with "
                                       "16 bytes \",XX\" of two hexadecimal digits"
                                     : "not a record line: \"Recv : \" and \" Send : \", each "
                                       "with 16 bytes \"XX,\" of two hexadecimal digits";
    for (int i = 0; i < kLogRecords; ++i) {
        const auto line = lines.next_of_length(record_line_length(layout));
        if (!line) {
            // Named at its last line, as every other refusal names one.
            throw LogReadError(
                name, lines.number(),
                with_numbers(
                    QUILLON_TEXT("Message", "the file ends after %1 records; a log has %2"),
                    {i, kLogRecords}));
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
                               ? QUILLON_TEXT("Message", "more than 256 records; a log has 256")
                               : QUILLON_TEXT("Message", "text after the last of the 256 records"));
    }
    return log;
}

}  // namespace

std::optional<FileStopCondition> file_stop_condition(const StopCondition& condition,
                                                     int send_offset)
{
    if (condition.trigger_index == kNoStopCondition) {
        return std::nullopt;
    }
    const bool sent = condition.trigger_index >= send_offset;
    return FileStopCondition{sent ? Direction::Send : Direction::Recv,
                             condition.trigger_index - (sent ? send_offset : 0), condition.mask,
                             condition.value, condition.count};
}

const char* log_format_name(LogFormat format)
{
    return format == LogFormat::LogText ? "log text" : "log view";
}

const char* direction_key(Direction direction)
{
    return direction == Direction::Recv ? "recv" : "send";
}

std::optional<Direction> direction_of_key(std::string_view key)
{
    for (const Direction direction : {Direction::Recv, Direction::Send}) {
        if (key == direction_key(direction)) {
            return direction;
        }
    }
    return std::nullopt;
}

namespace {

// "FILE:LINE: reason", or "FILE: reason" for the file as a whole.
std::string read_error_text(const std::string& file, int line, const std::string& reason)
{
    std::string text = file;
    if (line > 0) {
        text += ':';
        text += std::to_string(line);
    }
    text += ": ";
    text += reason;
    return text;
}

}  // namespace

LogReadError::LogReadError(const std::string& file, int line, const std::string& reason)
    : std::runtime_error(read_error_text(file, line, reason)), line_(line), reason_(reason)
{
}

LogFile parse_log_file(std::string_view bytes, const std::string& name)
{
    try {
        return parse_log_lines(bytes, name);
    } catch (const LogReadError& refused) {
        // Looked for only in a refused file, so that a good one is read at
        // full speed: a stray CR explains the refusal better than what the
        // lines cut at each LF made of the file.
        const auto fault = first_line_end_fault(bytes);
        if (fault && (refused.line() == 0 || fault->line <= refused.line())) {
            throw LogReadError(name, fault->line, fault->reason);
        }
        throw;
    }
}

std::string read_small_text(const std::string& path, std::size_t largest, const char* kind)
{
    std::string bytes;
    const SmallFileRead read = read_small_file(path, largest, bytes);
    switch (read.state) {
    case SmallFileState::Read: break;
    case SmallFileState::Missing:
        throw LogReadError(
            path, 0,
            read.dangling_link
                ? QUILLON_TEXT("Message", "a symbolic link to a file that is not there")
                : system_reason(read.error));
    case SmallFileState::Failed: throw LogReadError(path, 0, system_reason(read.error));
    case SmallFileState::NotRegular: throw LogReadError(path, 0, not_regular_reason(read.kind));
    case SmallFileState::TooLarge:
        throw LogReadError(path, 0, "larger than 1 MiB, not " + std::string(kind));
    }
    return bytes;
}

LogFile read_log_file(const std::string& path)
{
    return parse_log_file(read_small_text(path, kLargestLogFile, "a log"), path);
}

std::optional<LogFile> read_log_file_or_show_why(const std::string& path)
{
    try {
        return read_log_file(path);
    } catch (const LogReadError& error) {
        show_error(error.what());
        return std::nullopt;
    }
}

}  // namespace quillon
