#include "AmplifierProtocol.h"

#include "IntegerText.h"

#include <algorithm>

namespace quillon {

namespace {

constexpr std::uint8_t kStatusLogging = 0x01;
constexpr std::uint8_t kStatusCancelled = 0x04;

constexpr std::uint8_t kBlockReplyLength = 130;
constexpr std::size_t kFirstRecordByte = 4;
constexpr std::size_t kLogStatusByte = 132;

// Trigger index, mask, value and count are data bytes 0 to 3.
constexpr std::size_t kStopConditionByte = 3;
constexpr std::uint8_t kLogControlReplyLength = 4;

constexpr std::size_t kFirstDataByte = 3;

constexpr std::uint8_t kLogStart = 1;
constexpr int kCountLimit16 = 255;
constexpr int kCountLimit32 = 127;

}  // namespace

const char* command_word_name(std::uint8_t parameter_count, std::uint8_t command_byte)
{
    // Bits 16-23: the parameter count; bits 8-15: the command byte; the
    // program's words have no leading parameter byte.
    const std::uint32_t word = std::uint32_t(parameter_count) << 16 | std::uint32_t(command_byte)
                                                                          << 8;
    for (const auto& [known, name] : kCommandWords) {
        if (known == word) {
            return name;
        }
    }
    return nullptr;
}

LogStatus decode_log_status(std::uint8_t status_byte)
{
    if ((status_byte & kStatusLogging) != 0) {
        return LogStatus::Logging;
    }
    if ((status_byte & kStatusCancelled) != 0) {
        return LogStatus::Cancelled;
    }
    return LogStatus::Idle;
}

const char* log_status_text(LogStatus status)
{
    switch (status) {
    case LogStatus::Logging: return "Logging";
    case LogStatus::Cancelled: return "Cancel";
    case LogStatus::Idle: break;
    }
    return "IDLE";
}

bool is_log_block_reply(std::span<const std::uint8_t, kResponseBufferSize> response)
{
    return response[0] == kBlockReplyLength;
}

std::uint8_t log_status_byte(std::span<const std::uint8_t, kResponseBufferSize> response)
{
    return response[kLogStatusByte];
}

LogRecord block_record(std::span<const std::uint8_t, kResponseBufferSize> response, int record)
{
    LogRecord bytes{};
    const auto first =
        response.begin() +
        static_cast<std::ptrdiff_t>(kFirstRecordByte + std::size_t(record) * kRecordBytes);
    std::copy_n(first, kRecordBytes, bytes.begin());
    return bytes;
}

bool holds_stop_condition(std::span<const std::uint8_t, kResponseBufferSize> response)
{
    return response[0] >= kLogControlReplyLength;
}

StopCondition decode_stop_condition(std::span<const std::uint8_t, kResponseBufferSize> response)
{
    return {response[kStopConditionByte], response[kStopConditionByte + 1],
            response[kStopConditionByte + 2], response[kStopConditionByte + 3]};
}

std::uint32_t com_data_command(bool wide_mode)
{
    return wide_mode ? command_word::kReadComData32 : command_word::kReadComData;
}

std::optional<ComData> decode_com_data(std::span<const std::uint8_t, kResponseBufferSize> response,
                                       bool wide_mode)
{
    const std::size_t width = wide_mode ? 32 : 16;
    if (response[0] != 2 * width + 2) {
        return std::nullopt;
    }
    const auto received = response.begin() + kFirstDataByte;
    const auto sent = received + static_cast<std::ptrdiff_t>(width);
    ComData data;
    data.received.assign(received, sent);
    data.sent.assign(sent, sent + static_cast<std::ptrdiff_t>(width));
    data.phase = response[kFirstDataByte + 2 * width];
    return data;
}

ParameterBlock log_stop_parameters()
{
    return {};
}

ParameterBlock log_block_parameters(int block)
{
    ParameterBlock params{};
    params[0] = static_cast<std::uint8_t>(block);
    return params;
}

ParameterBlock log_restart_parameters(const StopCondition& condition)
{
    ParameterBlock params{};
    params[0] = kLogStart;
    params[1] = condition.trigger_index;
    params[2] = condition.mask;
    params[3] = condition.value;
    params[4] = condition.count;
    return params;
}

std::optional<std::string> stop_byte_range_error(const std::string& byte, bool wide_mode)
{
    const std::int32_t last = send_offset(wide_mode) - 1;
    const std::int32_t number = integer_from_text(byte);
    if (number >= 0 && number <= last) {
        return std::nullopt;
    }
    return "Byte data is out of range(0-" + std::to_string(last) + ")!";
}

LogStartBlock log_start_parameters(const std::optional<StopConditionEntry>& condition,
                                   bool wide_mode)
{
    LogStartBlock start;
    auto& params = start.params;
    params[0] = kLogStart;
    params[1] = kNoStopCondition;
    if (!condition) {
        return start;
    }
    const auto byte = static_cast<std::uint8_t>(integer_from_text(condition->byte));
    // The index is not checked: it wraps as a byte, as the amplifier reads it.
    params[1] =
        condition->on_sent_bytes ? static_cast<std::uint8_t>(byte + send_offset(wide_mode)) : byte;
    const struct {
        const std::string& text;
        int limit;
        const char* error;
    } fields[] = {
        {condition->mask, 255, "Mask data is out of range(0-255)!"},
        {condition->value, 255, "Condition data is out of range(0-255)!"},
        {condition->count, wide_mode ? kCountLimit32 : kCountLimit16,
         "Count data is out of range!"},
    };
    std::size_t slot = 2;
    for (const auto& field : fields) {
        const std::int32_t number = integer_from_text(field.text);
        if (number < 0 || number > field.limit) {
            start.range_error = field.error;
            return start;
        }
        params[slot++] = static_cast<std::uint8_t>(number);
    }
    return start;
}

}  // namespace quillon
