// What the program knows of the amplifier's commands: their words, the
// parameter blocks it sends, and how it reads the replies. No window and no
// link here: the exchanges themselves are AmplifierQueries'.
//
// A response buffer holds, from byte 0: the data length M, two header bytes,
// M data bytes (buffer byte k + 3 is data byte k), the checksum.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quillon {

namespace command_word {
inline constexpr std::uint32_t kConnectionTest = 0x00000;
inline constexpr std::uint32_t kLogBlockRead = 0x1FA00;
inline constexpr std::uint32_t kReadComData = 0xAF00;
inline constexpr std::uint32_t kReadComData32 = 0xDF00;
inline constexpr std::uint32_t kLogControl = 0x8EA00;
}  // namespace command_word

// The program's own command words and what each does: the one table that
// names them wherever a command block is shown.
struct NamedCommandWord {
    std::uint32_t word;
    const char* name;
};
inline constexpr NamedCommandWord kCommandWords[] = {
    {command_word::kConnectionTest, "connection test"},
    {command_word::kLogBlockRead, "log block read"},
    {command_word::kReadComData, "communication data read"},
    {command_word::kReadComData32, "communication data read, 32 bytes"},
    {command_word::kLogControl, "log control"},
};
// The name of the command word that sends parameter_count bytes with
// command_byte; nullptr when it is none of the program's.
const char* command_word_name(std::uint8_t parameter_count, std::uint8_t command_byte);

// The buffers of every exchange the program makes.
inline constexpr std::size_t kParameterBufferSize = 16;
inline constexpr std::size_t kResponseBufferSize = 150;
using ParameterBlock = std::array<std::uint8_t, kParameterBufferSize>;
using ResponseBuffer = std::array<std::uint8_t, kResponseBufferSize>;

// The log: 64 blocks of 4 records; a record is 16 received bytes, then 16
// sent ones.
inline constexpr int kLogBlocks = 64;
inline constexpr int kRecordsPerBlock = 4;
inline constexpr std::size_t kRecordBytes = 32;
using LogRecord = std::array<std::uint8_t, kRecordBytes>;

inline constexpr std::uint8_t kNoStopCondition = 0xFF;

// Where the sent bytes start in a trigger byte index: 16 in 16 byte mode,
// 32 in 32 byte mode.
constexpr int send_offset(bool wide_mode)
{
    return wide_mode ? 32 : 16;
}

// The log status byte of a block reply.
enum class LogStatus { Idle, Logging, Cancelled };
// Bit 0 (logging) is looked at before bit 2 (cancelled).
LogStatus decode_log_status(std::uint8_t status_byte);
// "IDLE", "Logging", "Cancel".
const char* log_status_text(LogStatus status);

// A log block reply: 130 data bytes; false for any other length.
bool is_log_block_reply(std::span<const std::uint8_t, kResponseBufferSize> response);
std::uint8_t log_status_byte(std::span<const std::uint8_t, kResponseBufferSize> response);
LogRecord block_record(std::span<const std::uint8_t, kResponseBufferSize> response, int record);

// The stop condition a log control reply names (the one the log was taken
// under); trigger index kNoStopCondition when there was none.
struct StopCondition {
    std::uint8_t trigger_index = kNoStopCondition;
    std::uint8_t mask = 0;
    std::uint8_t value = 0;
    std::uint8_t count = 0;
};
// A log control reply long enough to hold the stop condition.
bool holds_stop_condition(std::span<const std::uint8_t, kResponseBufferSize> response);
StopCondition decode_stop_condition(std::span<const std::uint8_t, kResponseBufferSize> response);

// The last command and response bytes, 16 or 32 of each, and the phase.
struct ComData {
    std::vector<std::uint8_t> received;
    std::vector<std::uint8_t> sent;
    std::uint8_t phase = 0;
};
std::uint32_t com_data_command(bool wide_mode);
// Nothing when the reply's length is not that of the mode's command.
std::optional<ComData> decode_com_data(std::span<const std::uint8_t, kResponseBufferSize> response,
                                       bool wide_mode);

// The log control block that stops logging (and, sent alone, reads the stop
// condition in effect): eight zero bytes.
ParameterBlock log_stop_parameters();
ParameterBlock log_block_parameters(int block);

// A stop condition as the user typed it: the byte index within the received
// or sent bytes, the mask, the condition value and the count of records
// still logged after the match.
struct StopConditionEntry {
    bool on_sent_bytes = false;
    std::string byte;
    std::string mask;
    std::string value;
    std::string count;
};

// The log control block that starts logging, with the stop condition or
// without one. Each text is converted in the order the fields stand (a text
// that is no integer throws ConversionError) and range-checked before the
// next is read; a value out of range gives the message to show instead.
struct LogStartBlock {
    ParameterBlock params{};
    const char* range_error = nullptr;  // "Mask data is out of range(0-255)!", ...
};
// The byte number of a typed stop condition checked against the bytes the
// log mode has (0-15, or 0-31 in 32 byte mode): the message when it lies
// outside ("Byte data is out of range(0-15)!"). A text that is no integer
// throws ConversionError. START in the window keeps the amplifier's
// wrapping; the command line refuses.
std::optional<std::string> stop_byte_range_error(const std::string& byte, bool wide_mode);

// The log control block that starts logging under a stop condition the
// amplifier named: the same bytes START sends for that condition.
ParameterBlock log_restart_parameters(const StopCondition& condition);

LogStartBlock log_start_parameters(const std::optional<StopConditionEntry>& condition,
                                   bool wide_mode);

}  // namespace quillon
