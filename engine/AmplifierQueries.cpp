#include "AmplifierQueries.h"

#include "Messages.h"
#include "Wording.h"

namespace quillon {

namespace {

// One exchange with the buffers every exchange owns; the response, or
// nothing when the exchange failed.
std::optional<ResponseBuffer> exchange(const AmplifierSend& send, std::uint32_t command_word,
                                       const ParameterBlock& params)
{
    ResponseBuffer response{};
    if (!send(command_word, params, response)) {
        return std::nullopt;
    }
    return response;
}

}  // namespace

const char* failure_text(AmplifierFailure failure)
{
    switch (failure) {
    case AmplifierFailure::NoLogFunction:
        return QUILLON_TEXT("Message", "This Amplifier doesn't support Log function!");
    case AmplifierFailure::NoComData:
        return QUILLON_TEXT("Message",
                            "This Amplifier doesn't support this command(MOT_READ_COM_DATA)!");
    case AmplifierFailure::NoComData32:
        return QUILLON_TEXT("Message",
                            "This Amplifier doesn't support this command(MOT_READ_COM_DATA_32)!");
    case AmplifierFailure::NowLogging: return QUILLON_TEXT("Message", "Now Logging Error.");
    case AmplifierFailure::Cancelled:
        return QUILLON_TEXT("Message", "Waveform or FFT function Error.");
    case AmplifierFailure::CantTalk: break;
    }
    return QUILLON_TEXT("Message", "Can't talk with Amplifier.");
}

void show_failure(AmplifierFailure failure)
{
    show_error(failure_text(failure));
}

bool test_connection(const AmplifierSend& send)
{
    return exchange(send, command_word::kConnectionTest, {}).has_value();
}

Outcome<LogStatus> read_log_status(const AmplifierSend& send)
{
    const auto response = exchange(send, command_word::kLogBlockRead, log_block_parameters(0));
    if (!response) {
        return {};
    }
    if (!is_log_block_reply(*response)) {
        return {std::nullopt, AmplifierFailure::NoLogFunction};
    }
    return {decode_log_status(log_status_byte(*response))};
}

Outcome<ComData> read_com_data(const AmplifierSend& send, bool wide_mode)
{
    const auto response = exchange(send, com_data_command(wide_mode), {});
    if (!response) {
        return {};
    }
    auto data = decode_com_data(*response, wide_mode);
    if (!data) {
        return {std::nullopt,
                wide_mode ? AmplifierFailure::NoComData32 : AmplifierFailure::NoComData};
    }
    return {std::move(data)};
}

bool send_log_control(const AmplifierSend& send, const ParameterBlock& params)
{
    return exchange(send, command_word::kLogControl, params).has_value();
}

Outcome<StopCondition> stop_logging(const AmplifierSend& send)
{
    const auto response = exchange(send, command_word::kLogControl, log_stop_parameters());
    // A reply too short to hold the stop condition is no good reply: no
    // file may hold bytes that the amplifier did not send.
    if (!response || !holds_stop_condition(*response)) {
        return {};
    }
    return {decode_stop_condition(*response)};
}

LogBlocks read_log_blocks(const AmplifierSend& send,
                          const std::function<void(int block)>& after_block)
{
    LogBlocks log;
    log.records.reserve(std::size_t{kLogBlocks} * kRecordsPerBlock);
    for (int block = 0; block < kLogBlocks; ++block) {
        const auto response =
            exchange(send, command_word::kLogBlockRead, log_block_parameters(block));
        if (!response || !is_log_block_reply(*response)) {
            log.failure = AmplifierFailure::CantTalk;
            return log;
        }
        switch (decode_log_status(log_status_byte(*response))) {
        case LogStatus::Logging: log.failure = AmplifierFailure::NowLogging; return log;
        case LogStatus::Cancelled: log.failure = AmplifierFailure::Cancelled; return log;
        case LogStatus::Idle: break;
        }
        for (int record = 0; record < kRecordsPerBlock; ++record) {
            log.records.push_back(block_record(*response, record));
        }
        after_block(block);
    }
    return log;
}

std::optional<AmplifierFailure> LogCapture::failure() const
{
    return condition ? blocks.failure : AmplifierFailure::CantTalk;
}

namespace {

LogCapture capture(const AmplifierSend& send, const std::function<void(int exchanges)>& progress,
                   bool only_triggered)
{
    LogCapture capture;
    progress(0);
    const auto condition = stop_logging(send);
    if (!condition) {
        return capture;
    }
    capture.condition = *condition;
    if (only_triggered && condition->trigger_index == kNoStopCondition) {
        return capture;
    }
    progress(1);
    capture.blocks = read_log_blocks(send, [&progress](int block) { progress(2 + block); });
    return capture;
}

}  // namespace

LogCapture capture_log(const AmplifierSend& send,
                       const std::function<void(int exchanges)>& progress)
{
    return capture(send, progress, false);
}

LogCapture capture_triggered_log(const AmplifierSend& send,
                                 const std::function<void(int exchanges)>& progress)
{
    return capture(send, progress, true);
}

}  // namespace quillon
